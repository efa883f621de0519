#include "app/TChartWidget.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {
// A drag shorter than this, either way, is a click.
constexpr int kMinDrag = 4;
// One wheel notch (120 eighths of a degree) scrolls this part of the visible range, or zooms by
// this factor.
constexpr double kNotch = 120;
constexpr double kScrollPerNotch = 0.1;
constexpr double kZoomPerNotch = 1.25;
// Narrower than this part of its values, a range no longer has distinct values per pixel.
constexpr double kMinRelativeWidth = 1e-9;

bool HasPoints(const TChart &chart)
{
    for (int i = 0; i < chart.SeriesCount(); ++i)
        if (chart.Series(i).Active && chart.Series(i).Count() > 0)
            return true;
    return false;
}
} // namespace

TChartWidget::TChartWidget(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_chart.OnInvalidate = [this] { update(); };
}

TChartWidget::~TChartWidget()
{
    m_chart.OnInvalidate = nullptr;
}

void TChartWidget::RepaintNow()
{
    repaint();
}

void TChartWidget::paintEvent(QPaintEvent * /*event*/)
{
    // While a zoom rectangle is dragged the chart itself does not change: show the last frame
    // under the rectangle instead of drawing every gene again for each mouse move.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (m_drag != Drag::Zoom || m_frame.size() != pixels) {
        m_frame = QImage(pixels, QImage::Format_RGB32);
        m_frame.setDevicePixelRatio(ratio);
        QPainter framePainter(&m_frame);
        m_chart.SetChartRect(rect());
        m_chart.Draw(framePainter, rect());
    }
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_frame);
    if (m_drag == Drag::Zoom && m_lastPos != m_pressPos) {
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(m_pressPos, m_lastPos).normalized());
    }
}

void TChartWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_chart.SetChartRect(rect());
    if (m_chart.OnResize)
        m_chart.OnResize(m_chart);
}

void TChartWidget::mousePressEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    m_chart.ResetMouseCancel();
    m_chart.SetChartRect(rect());
    int series = 0, point = 0;
    if (m_chart.HitTest(pos.x(), pos.y(), &series, &point) && m_chart.OnClickSeries)
        m_chart.OnClickSeries(m_chart, m_chart.Series(series), point, event->button(),
                              event->modifiers(), pos.x(), pos.y());
    m_drag = Drag::None;
    if (m_chart.MouseCancelled())
        return;
    if (event->button() == Qt::LeftButton)
        m_drag = Drag::Zoom;
    else if (event->button() == Qt::RightButton)
        m_drag = Drag::Scroll;
    m_pressPos = m_lastPos = pos;
}

void TChartWidget::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (m_drag == Drag::Scroll) {
        // The plot follows the mouse: moving it right shows what lies further left.
        const int dx = pos.x() - m_lastPos.x();
        if (dx != 0)
            m_chart.ScrollBy(m_chart.PixelToValue(m_chart.Series(0), m_lastPos.x()) -
                             m_chart.PixelToValue(m_chart.Series(0), pos.x()));
        m_lastPos = pos;
    } else if (m_drag == Drag::Zoom) {
        m_lastPos = pos;
        update();
    }
}

void TChartWidget::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    const Drag drag = m_drag;
    m_drag = Drag::None;
    if (drag != Drag::Zoom)
        return;
    const int dx = pos.x() - m_pressPos.x();
    const int dy = pos.y() - m_pressPos.y();
    if (dx >= kMinDrag && dy >= kMinDrag) {
        const TArrowSeries &any = m_chart.Series(0);
        m_chart.ZoomTo(m_chart.PixelToValue(any, m_pressPos.x()),
                       m_chart.PixelToValue(any, pos.x()));
    } else if (dx <= -kMinDrag && dy <= -kMinDrag) {
        m_chart.UndoZoom();
    }
    update();
}

void TChartWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    // Only the left button's double click saves; for the others it is one more press.
    if (event->button() != Qt::LeftButton) {
        mousePressEvent(event);
        return;
    }
    m_drag = Drag::None;
    event->accept();
    emit doubleClicked();
}

void TChartWidget::wheelEvent(QWheelEvent *event)
{
    // An empty map has no range to move; under a dragged zoom rectangle the frame is frozen.
    if (m_drag != Drag::None || !HasPoints(m_chart)) {
        event->ignore();
        return;
    }
    event->accept();
    m_chart.SetChartRect(rect());
    const TArrowSeries &any = m_chart.Series(0);
    const auto [lo, hi] = m_chart.BottomAxisRange();
    const QPoint angle = event->angleDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        // Turning the wheel away zooms in; the value under the pointer stays under it.
        const int turn = angle.y() != 0 ? angle.y() : angle.x();
        const double factor = std::pow(kZoomPerNotch, turn / kNotch);
        const double at = m_chart.PixelToValue(any, qRound(event->position().x()));
        const double newLo = at - (at - lo) / factor;
        const double newHi = at + (hi - at) / factor;
        const double scale = std::max({1.0, std::abs(newLo), std::abs(newHi)});
        if (turn != 0 && std::isfinite(newLo) && std::isfinite(newHi) &&
            newHi - newLo > kMinRelativeWidth * scale)
            m_chart.ZoomTo(newLo, newHi);
        return;
    }
    // Either direction scrolls sideways; turning the wheel away or tilting it left shows what
    // lies left, as a horizontal scroll bar does.
    const QPoint pixels = event->pixelDelta();
    if (!pixels.isNull()) {
        // A touchpad: the map follows the fingers pixel for pixel.
        const int px = pixels.x() + pixels.y();
        m_chart.ScrollBy(m_chart.PixelToValue(any, 0) - m_chart.PixelToValue(any, px));
    } else {
        m_chart.ScrollBy(-(angle.x() + angle.y()) / kNotch * kScrollPerNotch * (hi - lo));
    }
}
