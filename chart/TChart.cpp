#include "chart/TChart.h"

#include "chart/ChartGeometry.h"
#include "chart/SeriesPainter.h"
#include "util/CommonDecl.h"

#include <QFontMetrics>
#include <QPaintEngine>

#include <cmath>
#include <tuple>

namespace {
bool SameAxis(const TChartAxis &a, const TChartAxis &b)
{
    if (a.Visible != b.Visible || a.Automatic != b.Automatic || a.GridVisible != b.GridVisible ||
        a.StartPosition != b.StartPosition || a.EndPosition != b.EndPosition)
        return false;
    // An automatic range is the chart's own business; it is keyed by the series instead.
    return a.Automatic || (a.Minimum == b.Minimum && a.Maximum == b.Maximum);
}

// Everything the geometry depends on; a geometry is reused while this stays the same.
struct TGeometryKey
{
    QRect Rect;
    int MarginLeft = 0;
    int MarginRight = 0;
    TChartAxis Left;
    TChartAxis Bottom;
    std::vector<std::tuple<const TArrowSeries *, quint64, bool>> Series;
};

} // namespace

struct TChart::Impl
{
    std::vector<std::unique_ptr<TArrowSeries>> Series;
    QRect ClientRect;
    bool ClientRectSet = false;

    // The geometry of the client rectangle, derived lazily.
    mutable TGeometryKey CachedKey;
    mutable std::optional<TChartGeometry> Cached;

    // During a drawing: its geometry and rectangle.
    const TChartGeometry *Drawing = nullptr;
    std::optional<double> LastDrawnBottomMinimum;

    bool MouseCancelled = false;
    bool Zoomed = false;
    bool LastDrawCancelled = false;

    TSeriesPainter Painter;
    // Texts the handlers measured, per font.
    std::vector<TCanvasTextSizes> TextSizes;
};

TChart::TChart() : CanvasFont(ChartCanvasFont()), d(std::make_unique<Impl>())
{
    BottomAxis.StartPosition = 2;
    BottomAxis.EndPosition = 98;
    LeftAxis.Visible = false;
    LeftAxis.Automatic = false;
    LeftAxis.Minimum = 11;
    LeftAxis.Maximum = 1495;
    // The template series the map copies its row settings from.
    d->Series.push_back(CreateArrowSeries());
}

TChart::~TChart() = default;

int TChart::SeriesCount() const
{
    return int(d->Series.size());
}

TArrowSeries &TChart::Series(int index)
{
    return *At(d->Series, index);
}

const TArrowSeries &TChart::Series(int index) const
{
    return *At(d->Series, index);
}

std::unique_ptr<TArrowSeries> TChart::CreateArrowSeries() const
{
    return std::make_unique<TArrowSeries>();
}

TArrowSeries &TChart::AddSeries(std::unique_ptr<TArrowSeries> series)
{
    OSTRINEL_ASSERT(series != nullptr, "No series to add", "TChart");
    d->Series.push_back(std::move(series));
    Invalidate();
    return *d->Series.back();
}

void TChart::FreeSeries(int index)
{
    At(d->Series, index); // range check
    d->Series.erase(d->Series.begin() + index);
    // A series created next may get the freed one's address and revision, which the geometry
    // key cannot tell apart: drop the cached geometry.
    d->Cached.reset();
    Invalidate();
}

void TChart::SetAxisRange(TChartAxis &axis, double minimum, double maximum)
{
    axis.Automatic = false;
    axis.Minimum = minimum;
    axis.Maximum = maximum;
    Invalidate();
}

namespace {
TGeometryKey KeyOf(const QRect &rect, const TChart &chart,
                   const std::vector<std::unique_ptr<TArrowSeries>> &series)
{
    TGeometryKey key;
    key.Rect = rect;
    key.MarginLeft = chart.MarginLeft;
    key.MarginRight = chart.MarginRight;
    key.Left = chart.LeftAxis;
    key.Bottom = chart.BottomAxis;
    key.Series.reserve(series.size());
    for (const auto &s : series)
        key.Series.emplace_back(s.get(), s->Revision(), s->Active);
    return key;
}

// The automatic bottom range: both ends of every point of the active series.
std::pair<double, double> DataRange(const std::vector<std::unique_ptr<TArrowSeries>> &series)
{
    double lo = 0, hi = 0;
    bool any = false;
    for (const auto &s : series) {
        if (!s->Active || s->Count() == 0)
            continue;
        for (const auto *values : {&s->StartXValues(), &s->EndXValues()}) {
            for (double v : *values) {
                if (!any) {
                    lo = hi = v;
                    any = true;
                } else if (v < lo) {
                    lo = v;
                } else if (v > hi) {
                    hi = v;
                }
            }
        }
    }
    return {lo, hi};
}
} // namespace

// The one place that turns the chart's settings and a rectangle into a geometry.
static TChartGeometry GeometryFor(const QRect &rect, const TChart &chart,
                                  const std::vector<std::unique_ptr<TArrowSeries>> &series)
{
    TChartGeometryInput in;
    in.Rect = rect;
    in.MarginLeft = chart.MarginLeft;
    in.MarginRight = chart.MarginRight;
    in.Left = chart.LeftAxis;
    in.Bottom = chart.BottomAxis;
    if (chart.BottomAxis.Automatic) {
        const auto [lo, hi] = DataRange(series);
        in.Bottom.Minimum = lo;
        in.Bottom.Maximum = hi;
    }
    return ComputeChartGeometry(in);
}

const TChartGeometry &TChart::CurrentGeometry() const
{
    if (d->Drawing)
        return *d->Drawing;
    // Compared in place: the map asks for a pixel once per label.
    const TGeometryKey &k = d->CachedKey;
    bool same = d->Cached && k.Rect == ChartRect() && k.MarginLeft == MarginLeft &&
                k.MarginRight == MarginRight && SameAxis(k.Left, LeftAxis) &&
                SameAxis(k.Bottom, BottomAxis) && k.Series.size() == d->Series.size();
    for (std::size_t i = 0; same && i < d->Series.size(); ++i) {
        const TArrowSeries *s = d->Series[i].get();
        same = k.Series[i] == std::make_tuple(s, s->Revision(), s->Active);
    }
    if (!same) {
        TGeometryKey key = KeyOf(ChartRect(), *this, d->Series);
        d->Cached = GeometryFor(key.Rect, *this, d->Series);
        d->CachedKey = std::move(key);
    }
    return *d->Cached;
}

int TChart::ValueToPixel(const TChartAxis &axis, double value) const
{
    const TChartGeometry &g = CurrentGeometry();
    if (&axis == &LeftAxis)
        return g.YPixel(value);
    OSTRINEL_ASSERT(&axis == &BottomAxis, "Only the left and bottom axes are mapped", "TChart");
    return g.XPixel(value);
}

double TChart::PixelToValue(const TArrowSeries & /*series*/, int px) const
{
    // Every series is drawn against the bottom axis.
    return CurrentGeometry().XValue(px);
}

double TChart::BottomAxisMinimum() const
{
    if (d->LastDrawnBottomMinimum)
        return *d->LastDrawnBottomMinimum;
    return CurrentGeometry().BottomMin;
}

QRect TChart::ChartRect() const
{
    if (d->Drawing)
        return d->Drawing->Rect;
    return d->ClientRect;
}

void TChart::SetChartRect(const QRect &rect)
{
    d->ClientRect = rect;
    d->ClientRectSet = true;
}

namespace {
// Restores what a drawing changes, also when a handler throws.
class TDrawingScope
{
public:
    TDrawingScope(QPainter &painter, const TChartGeometry *&drawing, const TChartGeometry &g)
        : m_painter(painter), m_drawing(drawing), m_outer(drawing)
    {
        m_painter.save();
        m_drawing = &g;
    }
    ~TDrawingScope()
    {
        m_drawing = m_outer;
        m_painter.restore();
    }
    TDrawingScope(const TDrawingScope &) = delete;
    TDrawingScope &operator=(const TDrawingScope &) = delete;

private:
    QPainter &m_painter;
    const TChartGeometry *&m_drawing;
    const TChartGeometry *m_outer;
};

// The painter's state around a handler, restored also when the handler throws.
class TPainterSaver
{
public:
    explicit TPainterSaver(QPainter &painter) : m_painter(painter) { m_painter.save(); }
    ~TPainterSaver() { m_painter.restore(); }
    TPainterSaver(const TPainterSaver &) = delete;
    TPainterSaver &operator=(const TPainterSaver &) = delete;

private:
    QPainter &m_painter;
};

// The pen and font every handler starts from.
void ResetCanvasState(QPainter &painter, const QFont &font)
{
    painter.setPen(QPen(Qt::black, 1, Qt::SolidLine));
    painter.setBrush(Qt::NoBrush);
    painter.setFont(font);
    painter.setRenderHint(QPainter::Antialiasing, false);
}
} // namespace

void TChart::Draw(QPainter &painter, const QRect &rect)
{
    if (!d->ClientRectSet)
        d->ClientRect = rect;
    // The client rectangle's geometry is usually derived already; an export rectangle gets its
    // own from the same routine.
    const bool ownView = rect == d->ClientRect;
    const TChartGeometry g = (ownView && !d->Drawing) ? TChartGeometry(CurrentGeometry())
                                                      : GeometryFor(rect, *this, d->Series);
    if (BottomAxis.Automatic) {
        BottomAxis.Minimum = g.BottomMin;
        BottomAxis.Maximum = g.BottomMax;
    }
    d->LastDrawnBottomMinimum = g.BottomMin;
    d->LastDrawCancelled = false;

    TDrawingScope scope(painter, d->Drawing, g);
    painter.setClipRect(rect, painter.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(rect, ToQColor(Color));
    DrawAxesBehind(painter, g, BottomAxis);

    // Texts measured for rows gone would stay for good: past a bound the sizes are measured anew.
    std::size_t measured = 0;
    for (const TCanvasTextSizes &sizes : d->TextSizes)
        measured += std::size_t(sizes.Widths.size());
    if (measured > std::max<std::size_t>(4096, 4 * d->Series.size()))
        d->TextSizes.clear();
    TCanvas canvas(painter, &d->TextSizes);
    std::vector<TArrowSeries *> active;
    for (const auto &s : d->Series)
        if (s->Active)
            active.push_back(s.get());
    // A handler that leaves the series alone lets their work be chosen before it runs, so
    // that what it draws under the label boxes can be left out.
    const bool prepareFirst = OnBeforeDrawSeries && BeforeDrawKeepsSeries;
    d->Painter.SetWriteLines(WriteLines);
    if (prepareFirst) {
        d->Painter.Prepare(painter, g, active, SkipHiddenWork, ownView);
        canvas.SetPaintedOverLater(d->Painter.PaintedOver());
    }
    if (OnBeforeDrawSeries) {
        const TPainterSaver saved(painter);
        ResetCanvasState(painter, CanvasFont);
        OnBeforeDrawSeries(*this, canvas);
    }
    canvas.SetPaintedOverLater(nullptr);
    if (!prepareFirst)
        d->Painter.Prepare(painter, g, active, SkipHiddenWork, ownView);
    if (DrawCancelled()) {
        d->LastDrawCancelled = true;
        return;
    }

    std::function<void(std::size_t, bool)> group;
    if (OnSeriesGroup)
        group = [&](std::size_t k, bool begin) {
            OnSeriesGroup(*this, painter, *active[k], begin);
        };
    d->Painter.DrawPrepared(painter, g, active, group, CancelFlag);
    if (DrawCancelled()) {
        d->LastDrawCancelled = true;
        return;
    }
    DrawAxesInFront(painter, g, BottomAxis);

    if (OnAfterDraw) {
        const TPainterSaver saved(painter);
        ResetCanvasState(painter, CanvasFont);
        OnAfterDraw(*this, &canvas);
    }
}

bool TChart::LastDrawCancelled() const
{
    return d->LastDrawCancelled;
}

const TChartDrawStats &TChart::LastDrawStats() const
{
    return d->Painter.Stats();
}

int TChart::LabelHeight(const TArrowSeries &series) const
{
    return d->Painter.LabelHeight(series.Marks.Font);
}

void TChart::Invalidate()
{
    if (OnInvalidate)
        OnInvalidate();
}

bool TChart::HitTest(int x, int y, int *series, int *point) const
{
    const TChartGeometry &g = CurrentGeometry();
    const QRect plot = g.PlotRect();
    for (int s = 0; s < int(d->Series.size()); ++s) {
        const TArrowSeries &ser = *d->Series[std::size_t(s)];
        if (!ser.Active)
            continue;
        const int w = std::abs(ser.ArrowWidth());
        const int h = std::abs(ser.ArrowHeight());
        for (int p = 0; p < ser.Count(); ++p) {
            const int px = g.XPixel(ser.StartX(p));
            if (std::abs(x - px) >= w)
                continue;
            const int py = g.YPixel(ser.StartY(p));
            if (std::abs(y - py) >= h || !plot.contains(px, py))
                continue;
            if (series)
                *series = s;
            if (point)
                *point = p;
            return true;
        }
    }
    return false;
}

void TChart::CancelMouse()
{
    d->MouseCancelled = true;
}

bool TChart::MouseCancelled() const
{
    return d->MouseCancelled;
}

void TChart::ResetMouseCancel()
{
    d->MouseCancelled = false;
}

void TChart::ZoomTo(double minimum, double maximum)
{
    if (!(minimum < maximum))
        return;
    BottomAxis.Automatic = false;
    BottomAxis.Minimum = minimum;
    BottomAxis.Maximum = maximum;
    d->Zoomed = true;
    Invalidate();
}

std::pair<double, double> TChart::BottomAxisRange() const
{
    const TChartGeometry &g = CurrentGeometry();
    return {g.BottomMin, g.BottomMax};
}

void TChart::ScrollBy(double delta)
{
    if (delta == 0 || !std::isfinite(delta))
        return;
    const TChartGeometry &g = CurrentGeometry();
    const double lo = g.BottomMin + delta;
    const double hi = g.BottomMax + delta;
    BottomAxis.Automatic = false;
    BottomAxis.Minimum = lo;
    BottomAxis.Maximum = hi;
    d->Zoomed = true;
    Invalidate();
}

void TChart::UndoZoom()
{
    BottomAxis.Automatic = true;
    d->Zoomed = false;
    Invalidate();
}

bool TChart::Zoomed() const
{
    return d->Zoomed;
}
