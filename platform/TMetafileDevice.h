// A paint device that records QPainter drawing as a Windows metafile: a placeable WMF (22-byte
// header, 96 units per inch, anisotropic mapping) or an enhanced metafile. Lines, polygons, paths,
// rectangles and text become metafile records with their pens, brushes and fonts, so other
// programs can open and edit the picture. Images are not recorded.
#pragma once

#include <QByteArray>
#include <QPaintDevice>
#include <QSize>

#include <memory>

class TMetafileEngine;

enum class TMetafileKind
{
    Wmf,
    Emf
};

class TMetafileDevice : public QPaintDevice
{
public:
    // A picture of size pixels (each side at least 1) whose physical size follows from dpi
    // pixels per inch; dpi <= 0 takes the primary screen's resolution (96 without a screen).
    TMetafileDevice(TMetafileKind kind, QSize size, double dpi = 0);
    ~TMetafileDevice() override;

    TMetafileKind Kind() const { return m_kind; }
    QSize Size() const { return m_size; }
    double Dpi() const { return m_dpi; }

    // The whole file once a painter has ended on the device; empty before, or when the
    // metafile could not be built.
    const QByteArray &Bytes() const { return m_bytes; }

    QPaintEngine *paintEngine() const override;

    // The resolution a metafile takes when none is given.
    static double ScreenDpi();

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    friend class TMetafileEngine;
    TMetafileKind m_kind;
    QSize m_size;
    double m_dpi;
    QByteArray m_bytes;
    std::unique_ptr<TMetafileEngine> m_engine;
};
