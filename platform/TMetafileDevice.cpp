#include "platform/TMetafileDevice.h"

#include "platform/MetafileEngine.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

TMetafileDevice::TMetafileDevice(TMetafileKind kind, QSize size, double dpi)
    : m_kind(kind), m_size(size.expandedTo(QSize(1, 1))), m_dpi(dpi > 0 ? dpi : ScreenDpi()),
      m_engine(std::make_unique<TMetafileEngine>())
{
}

TMetafileDevice::~TMetafileDevice() = default;

QPaintEngine *TMetafileDevice::paintEngine() const
{
    return m_engine.get();
}

double TMetafileDevice::ScreenDpi()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        return screen->logicalDotsPerInchY();
    return 96.0;
}

int TMetafileDevice::metric(PaintDeviceMetric metric) const
{
    switch (metric) {
    case PdmWidth:
        return m_size.width();
    case PdmHeight:
        return m_size.height();
    case PdmWidthMM:
        return int(std::lround(m_size.width() * 25.4 / m_dpi));
    case PdmHeightMM:
        return int(std::lround(m_size.height() * 25.4 / m_dpi));
    case PdmNumColors:
        return 0x1000000;
    case PdmDepth:
        return 24;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return int(std::lround(m_dpi));
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return int(devicePixelRatioFScale());
    }
    return 0;
}
