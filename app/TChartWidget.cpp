#include "app/TChartWidget.h"

#include "chart/ChartGeometry.h"

#include <QEventLoop>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
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

bool ChartHasPoints(const TChart &chart)
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
    // Raised by the chart on whichever thread holds it; the repaint is asked of the GUI thread.
    m_chart.OnInvalidate = [this] {
        m_stale = true;
        QMetaObject::invokeMethod(this, "update", Qt::QueuedConnection);
    };
    connect(&m_thread, &TMapThread::Finished, this, &TChartWidget::OnThreadFinished);
}

TChartWidget::~TChartWidget()
{
    m_thread.Cancel();
    m_thread.Wait();
    m_chart.OnInvalidate = nullptr;
}

TChart &TChartWidget::Chart()
{
    if (m_thread.OnThread())
        return m_chart;
    Settle();
    ApplyPending();
    MarkStale();
    return m_chart;
}

void TChartWidget::MarkStale()
{
    m_stale = true;
    update();
}

void TChartWidget::Settle()
{
    if (!m_drawing)
        return;
    if (!m_jobDone)
        m_thread.Cancel();
    m_thread.Wait();
    Finish();
}

void TChartWidget::Finish()
{
    m_drawing = false;
    TakeResult();
    if (const std::function<void()> done = std::exchange(m_jobDone, nullptr))
        done();
}

void TChartWidget::RunJob(std::function<void()> job, std::function<void()> done)
{
    Settle();
    if (m_lent || !m_thread.Start(std::move(job)))
        return;
    m_drawing = true;
    m_jobDone = std::move(done);
}

void TChartWidget::RepaintNow()
{
    if (m_thread.OnThread()) {
        m_stale = false;
        TFrame frame = DrawFrame(m_jobRect, m_jobRatio);
        const std::exception_ptr error = frame.Error;
        {
            const std::lock_guard hold(m_resultLock);
            m_result = std::move(frame);
        }
        QMetaObject::invokeMethod(this, "update", Qt::QueuedConnection);
        if (error)
            std::rethrow_exception(error);
        return;
    }
    if (m_lent) {
        update();
        return;
    }
    Settle();
    ApplyPending();
    m_stale = false;
    TFrame frame = DrawFrame(rect(), devicePixelRatioF());
    const std::exception_ptr error = frame.Error;
    Show(std::move(frame));
    repaint();
    if (error)
        std::rethrow_exception(error);
}

TChartWidget::TFrame TChartWidget::DrawFrame(const QRect &rect, qreal ratio)
{
    TFrame frame;
    frame.Image = QImage((QSizeF(rect.size()) * ratio).toSize(), QImage::Format_RGB32);
    frame.Image.setDevicePixelRatio(ratio);
    try {
        QPainter painter(&frame.Image);
        m_chart.SetChartRect(rect);
        m_chart.Draw(painter, rect);
    } catch (...) {
        frame.Error = std::current_exception();
    }
    frame.Cancelled = m_chart.LastDrawCancelled();
    const TChartGeometry &g = m_chart.Geometry();
    frame.View = {g.BottomMin,
                  g.BottomMax,
                  g.AxisLeft,
                  g.XScale,
                  g.PlotLeft,
                  g.PlotRight,
                  ChartHasPoints(m_chart)};
    return frame;
}

void TChartWidget::Show(TFrame frame)
{
    if (frame.Error) {
        m_stale = true;
        return;
    }
    if (frame.Cancelled)
        return;
    m_frame = std::move(frame.Image);
    m_frameView = frame.View;
    if (m_pending.empty())
        m_previewRange.reset();
}

void TChartWidget::TakeResult()
{
    std::optional<TFrame> frame;
    {
        const std::lock_guard hold(m_resultLock);
        frame.swap(m_result);
    }
    if (!frame)
        return;
    const std::exception_ptr error = frame->Error;
    Show(std::move(*frame));
    // Errors of the frames a command draws go out with the command itself.
    if (error && !m_lent)
        emit drawFailed(error);
}

void TChartWidget::OnThreadFinished()
{
    if (m_lent || m_thread.Busy())
        return;
    Finish();
    ApplyPending();
    update();
}

void TChartWidget::StartFrame()
{
    if (m_lent || m_drawing || !isVisible())
        return;
    ApplyPending();
    const qreal ratio = devicePixelRatioF();
    const bool sized =
        m_frame.size() == (QSizeF(size()) * ratio).toSize() && m_frame.devicePixelRatio() == ratio;
    if (!m_stale && sized)
        return;
    m_stale = false;
    m_jobRect = rect();
    m_jobRatio = ratio;
    m_drawing = m_thread.Start([this] {
        // Only a frame for the screen gives way to a newer view; a command's draws run through.
        m_chart.CancelFlag = &m_thread.CancelFlag();
        TFrame frame = DrawFrame(m_jobRect, m_jobRatio);
        m_chart.CancelFlag = nullptr;
        const std::lock_guard hold(m_resultLock);
        m_result = std::move(frame);
    });
    if (!m_drawing)
        m_stale = true;
}

void TChartWidget::ChangeView(std::function<void(TChart &)> change,
                              std::optional<std::pair<double, double>> range)
{
    // Until its own frame is ready, the view is shown from the last frame.
    m_previewRange = range;
    if (ChartFree()) {
        change(m_chart);
        return;
    }
    // A newer view replaces the frame under way; a command's frames are its own.
    m_pending.push_back(std::move(change));
    m_previewKnown = m_previewKnown && range.has_value();
    if (!m_lent)
        m_thread.Cancel();
    update();
}

void TChartWidget::ApplyPending()
{
    if (m_applying || m_drawing || m_lent)
        return;
    m_applying = true;
    std::vector<std::function<void(TChart &)>> pending;
    pending.swap(m_pending);
    for (const auto &change : pending)
        change(m_chart);
    m_previewKnown = true;
    m_applying = false;
}

std::pair<double, double> TChartWidget::Range() const
{
    if (ChartFree())
        return m_chart.BottomAxisRange();
    if (m_previewRange)
        return *m_previewRange;
    return {m_frameView.Lo, m_frameView.Hi};
}

double TChartWidget::ValueAt(int x) const
{
    if (ChartFree())
        return m_chart.PixelToValue(m_chart.Series(0), x);
    const auto [lo, hi] = Range();
    const double scale = m_frameView.XScale * (m_frameView.Hi - m_frameView.Lo) / (hi - lo);
    return lo + (x - m_frameView.AxisLeft) / scale;
}

bool TChartWidget::HasPoints() const
{
    return ChartFree() ? ChartHasPoints(m_chart) : m_frameView.HasPoints;
}

bool TChartWidget::FrameExact() const
{
    return !m_drawing && !m_lent && !m_stale && m_pending.empty() && !m_frame.isNull() &&
           m_frame.size() == (QSizeF(size()) * devicePixelRatioF()).toSize();
}

void TChartWidget::WaitForFrame()
{
    for (int round = 0; round < 8 && !FrameExact(); ++round) {
        if (m_drawing) {
            m_thread.Wait();
            OnThreadFinished();
        }
        StartFrame();
        if (m_drawing) {
            m_thread.Wait();
            OnThreadFinished();
        }
    }
}

void TChartWidget::RunOffThread(const std::function<void()> &work)
{
    Settle();
    ApplyPending();
    m_lent = true;
    m_drag = Drag::None;
    m_jobRect = rect();
    m_jobRatio = devicePixelRatioF();
    std::exception_ptr error;
    m_thread.Start([&] {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
    });
    // The loop answers the window meanwhile; a job's end it hears of may be an earlier one's.
    QEventLoop loop;
    const QMetaObject::Connection quit =
        connect(&m_thread, &TMapThread::Finished, &loop, &QEventLoop::quit);
    while (m_thread.Busy())
        loop.exec();
    disconnect(quit);
    m_lent = false;
    TakeResult();
    update();
    if (error)
        std::rethrow_exception(error);
}

void TChartWidget::paintEvent(QPaintEvent * /*event*/)
{
    TakeResult();
    StartFrame();
    QPainter painter(this);
    const QColor back = Qt::white;
    if (m_frame.isNull()) {
        painter.fillRect(rect(), back);
        return;
    }
    const QSizeF shown = QSizeF(m_frame.size()) / m_frame.devicePixelRatio();
    if (shown.width() < width() || shown.height() < height())
        painter.fillRect(rect(), back);
    const TFrameView &v = m_frameView;
    if (!m_previewRange || !m_previewKnown || !(m_previewRange->second > m_previewRange->first) ||
        !(v.Hi > v.Lo)) {
        painter.drawImage(QPoint(0, 0), m_frame);
    } else {
        // The last frame's plot moved and scaled to the range asked for, until its own frame;
        // each pixel is drawn once, and a scroll is a plain copy at a whole device pixel.
        const auto [a, b] = *m_previewRange;
        const double s = (v.Hi - v.Lo) / (b - a);
        const qreal ratio = m_frame.devicePixelRatio();
        double t = v.AxisLeft + (v.Lo - a) * v.XScale * s - v.AxisLeft * s;
        const bool scroll = std::abs(s - 1) < 1e-9;
        if (scroll)
            t = std::round(t * ratio) / ratio;
        const QRectF plot(v.PlotLeft, 0, v.PlotRight - v.PlotLeft, height());
        painter.save();
        painter.setClipRegion(QRegion(rect()).subtracted(plot.toAlignedRect()));
        painter.drawImage(QPoint(0, 0), m_frame);
        painter.setClipRect(plot);
        // Only the part of the plot the moved frame leaves bare is cleared.
        const double from = s * v.PlotLeft + t, to = s * v.PlotRight + t;
        if (from > v.PlotLeft)
            painter.fillRect(QRectF(v.PlotLeft, 0, from - v.PlotLeft, height()), back);
        if (to < v.PlotRight)
            painter.fillRect(QRectF(to, 0, v.PlotRight - to, height()), back);
        if (scroll) {
            painter.drawImage(QPointF(t, 0), m_frame);
        } else {
            painter.setTransform(QTransform(s, 0, 0, 1, t, 0));
            painter.drawImage(QPoint(0, 0), m_frame);
        }
        painter.restore();
    }
    if (m_drag == Drag::Zoom && m_lastPos != m_pressPos) {
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(m_pressPos, m_lastPos).normalized());
    }
}

void TChartWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const QRect r = rect();
    ChangeView(
        [r](TChart &chart) {
            chart.SetChartRect(r);
            if (chart.OnResize)
                chart.OnResize(chart);
        },
        m_previewRange);
    m_stale = true;
}

void TChartWidget::mousePressEvent(QMouseEvent *event)
{
    m_drag = Drag::None;
    if (m_lent)
        return;
    // The press is tested against the view the user sees: the chart as the pending changes
    // leave it.
    Settle();
    ApplyPending();
    const QPoint pos = event->position().toPoint();
    m_chart.ResetMouseCancel();
    m_chart.SetChartRect(rect());
    int series = 0, point = 0;
    if (m_chart.HitTest(pos.x(), pos.y(), &series, &point) && m_chart.OnClickSeries)
        m_chart.OnClickSeries(m_chart, m_chart.Series(series), point, event->button(),
                              event->modifiers(), pos.x(), pos.y());
    if (m_chart.MouseCancelled() || m_lent)
        return;
    if (event->button() == Qt::LeftButton)
        m_drag = Drag::Zoom;
    else if (event->button() == Qt::RightButton)
        m_drag = Drag::Scroll;
    m_pressPos = m_lastPos = pos;
    update();
}

void TChartWidget::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (m_drag == Drag::Scroll) {
        // The plot follows the mouse: moving it right shows what lies further left.
        const int dx = pos.x() - m_lastPos.x();
        if (dx != 0) {
            const double delta = ValueAt(m_lastPos.x()) - ValueAt(pos.x());
            const auto [lo, hi] = Range();
            ChangeView([delta](TChart &chart) { chart.ScrollBy(delta); },
                       std::pair{lo + delta, hi + delta});
        }
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
        const double lo = ValueAt(m_pressPos.x()), hi = ValueAt(pos.x());
        ChangeView([lo, hi](TChart &chart) { chart.ZoomTo(lo, hi); },
                   lo < hi ? std::optional(std::pair{lo, hi}) : std::nullopt);
    } else if (dx <= -kMinDrag && dy <= -kMinDrag) {
        ChangeView([](TChart &chart) { chart.UndoZoom(); }, std::nullopt);
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
    if (!m_lent)
        emit doubleClicked();
}

void TChartWidget::wheelEvent(QWheelEvent *event)
{
    // An empty map has no range to move; under a dragged zoom rectangle the frame is frozen.
    if (m_lent || m_drag != Drag::None || !HasPoints()) {
        event->ignore();
        return;
    }
    event->accept();
    if (ChartFree())
        m_chart.SetChartRect(rect());
    const auto [lo, hi] = Range();
    const QPoint angle = event->angleDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        // Turning the wheel away zooms in; the value under the pointer stays under it.
        const int turn = angle.y() != 0 ? angle.y() : angle.x();
        const double factor = std::pow(kZoomPerNotch, turn / kNotch);
        const double at = ValueAt(qRound(event->position().x()));
        const double newLo = at - (at - lo) / factor;
        const double newHi = at + (hi - at) / factor;
        const double scale = std::max({1.0, std::abs(newLo), std::abs(newHi)});
        if (turn != 0 && std::isfinite(newLo) && std::isfinite(newHi) &&
            newHi - newLo > kMinRelativeWidth * scale)
            ChangeView([newLo, newHi](TChart &chart) { chart.ZoomTo(newLo, newHi); },
                       std::pair{newLo, newHi});
        return;
    }
    // Either direction scrolls sideways; turning the wheel away or tilting it left shows what
    // lies left, as a horizontal scroll bar does.
    const QPoint pixels = event->pixelDelta();
    double delta = 0;
    if (!pixels.isNull()) {
        // A touchpad: the map follows the fingers pixel for pixel.
        const int px = pixels.x() + pixels.y();
        delta = ValueAt(0) - ValueAt(px);
    } else {
        delta = -(angle.x() + angle.y()) / kNotch * kScrollPerNotch * (hi - lo);
    }
    if (delta == 0 || !std::isfinite(delta))
        return;
    ChangeView([delta](TChart &chart) { chart.ScrollBy(delta); },
               std::pair{lo + delta, hi + delta});
}
