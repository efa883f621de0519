#include "map/RowScales.h"

#include "chart/ChartGeometry.h"
#include "chart/TArrowSeries.h"
#include "chart/TCanvas.h"
#include "chart/TChart.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
// Where the names stand, as the chromosome names' layout puts them: right-aligned this far left
// of position 0.
constexpr int kNameGap = 40;
// Ticks at least this far apart, so that their texts keep clear of each other.
constexpr double kTickGap = 70;
// The scale's line this far under the row's arrows.
constexpr int kBelowArrows = 3;
// A break mark's two strokes: their half height at most, and how far each stands from the
// middle of the break.
constexpr int kBreakHalf = 10;
constexpr int kBreakApart = 3;
// The least room between two texts of different stretches.
constexpr int kTextGap = 4;

// The labels' face, a little smaller than their text.
QFont ScaleFont(const TChart &chart)
{
    const TChartFont &labels = chart.Series(0).Marks.Font;
    QFont font(labels.Name);
    font.setPixelSize(std::max(6, std::abs(labels.Height) * 8 / 9));
    return font;
}

// The chromosome coordinate drawn at axis value x on a row of this view, within a stretch of
// that shift, and back.
double Coordinate(const ChromosomeView &view, double x, double shift)
{
    return (view.Inverted ? -x : x) - view.Offset - shift;
}
double AxisValue(const ChromosomeView &view, double c, double shift)
{
    return view.Inverted ? -(c + shift + view.Offset) : c + shift + view.Offset;
}

// A scale text's pixels across.
struct TTextSpan
{
    int Left, Right;
};

// One run of the scale: the coordinates from..to of a stretch drawn with that shift. With texts,
// those that would overlap one of an earlier run's are left out, and this run's are added.
void DrawScaleRun(QPainter &painter, const TChartGeometry &g, const ChromosomeView &view,
                  double from, double to, double shift, int y, const QFontMetrics &metrics,
                  std::vector<TTextSpan> *texts)
{
    // The part of the run the plot shows.
    const double a = Coordinate(view, g.XValue(int(g.PlotLeft)), shift);
    const double b = Coordinate(view, g.XValue(int(g.PlotRight)), shift);
    const double low = std::max(std::min(a, b), from);
    const double high = std::min(std::max(a, b), to);
    if (!(low < high) || g.XScale <= 0)
        return;
    const auto px = [&](double c) { return g.XPixel(AxisValue(view, c, shift)); };
    painter.drawLine(px(low), y, px(high), y);
    const double step = RowScaleStep(g.XScale, kTickGap);
    const std::size_t earlier = texts ? texts->size() : 0;
    for (double t = std::ceil(low / step) * step; t <= high; t += step) {
        const int x = px(t);
        painter.drawLine(x, y, x, y + 3);
        const QString text = RowScaleText(t, step);
        const int left = x - metrics.horizontalAdvance(text) / 2;
        const int right = left + metrics.horizontalAdvance(text);
        // A text the chart's edges would cut is left out; its tick stays.
        if (left < g.Rect.left() || right > g.Rect.right() + 1)
            continue;
        const auto clash = [&](const TTextSpan &o) {
            return left < o.Right + kTextGap && o.Left < right + kTextGap;
        };
        if (texts && std::any_of(texts->begin(), texts->begin() + std::ptrdiff_t(earlier), clash))
            continue;
        painter.drawText(QPoint(left, y + 4 + metrics.ascent()), text);
        if (texts)
            texts->push_back({left, right});
    }
}

void DrawScale(QPainter &painter, const TChartGeometry &g, const ChromosomeView &view, int y,
               const QFontMetrics &metrics)
{
    if (view.Stretches.empty()) {
        DrawScaleRun(painter, g, view, view.MinCoord, view.MaxCoord, 0, y, metrics, nullptr);
        return;
    }
    // Each stretch its own coordinates, over what the row's records reach of it.
    std::vector<TTextSpan> texts;
    for (const tStretch &s : view.Stretches)
        DrawScaleRun(painter, g, view, std::max(s.From, view.MinCoord),
                     std::min(s.To, view.MaxCoord), s.Shift, y, metrics, &texts);
}

} // namespace

int RowScaleDepth(const TChart &chart)
{
    return kBelowArrows + 4 + QFontMetrics(ScaleFont(chart)).height();
}

double RowScaleStep(double pixelsPerBase, double minGap)
{
    if (!(pixelsPerBase > 0))
        return 1;
    const double least = minGap / pixelsPerBase;
    double power = std::pow(10.0, std::floor(std::log10(std::max(least, 1.0))));
    for (;; power *= 10)
        for (const double m : {1.0, 2.0, 5.0})
            if (m * power >= least)
                return m * power;
}

QString RowScaleText(double position, double step)
{
    const auto in = [&](double unit, const char *name) {
        // As many decimals as the step needs in that unit.
        const int decimals = std::clamp(int(std::ceil(-std::log10(step / unit) - 1e-9)), 0, 3);
        return QString::number(position / unit, 'f', decimals) + QLatin1Char(' ') +
               QLatin1String(name);
    };
    if (step >= 1e6)
        return in(1e6, "Mb");
    if (step >= 1e3)
        return in(1e3, "kb");
    return QString::number(qint64(std::llround(position)));
}

void DrawRowScales(const TChart &chart, TCanvas &canvas, const TCatalogue &catalogue)
{
    const TChartGeometry &g = chart.Geometry();
    QPainter &painter = canvas.Painter();
    const QRect area = canvas.VisibleArea();
    painter.save();
    const QFont font = ScaleFont(chart);
    painter.setFont(font);
    painter.setPen(QPen(QColor(Qt::black), 1));
    const QFontMetrics metrics(font);
    const int nameRight = chart.ValueToPixel(chart.BottomAxis, 0) - kNameGap;
    for (int s = 1; s < chart.SeriesCount(); ++s) {
        const TArrowSeries &series = chart.Series(s);
        if (series.Count() == 0 || series.Tag < 0 ||
            std::size_t(series.Tag) >= catalogue.FChromosomes.size())
            continue;
        const int row = g.YPixel(series.StartY(0));
        const int y = row + (std::abs(series.ArrowWidth()) + 1) / 2 + kBelowArrows;
        if (chart.SkipHiddenWork && area.isValid() &&
            (y + 4 + metrics.height() < area.top() || row - metrics.height() > area.bottom()))
            continue;
        const ChromosomeView &view = catalogue.FChromosomes[std::size_t(series.Tag)];
        DrawScale(painter, g, view, y, metrics);
        if (view.Inverted) {
            const QString mark = QStringLiteral("reversed");
            painter.drawText(QPoint(nameRight - metrics.horizontalAdvance(mark),
                                    row + metrics.height() + metrics.ascent() / 2),
                             mark);
        }
    }
    painter.restore();
}

void DrawRowBreaks(const TChart &chart, TCanvas &canvas, const TCatalogue &catalogue)
{
    const TChartGeometry &g = chart.Geometry();
    const QRect area = canvas.VisibleArea();
    QPainter *painter = nullptr;
    for (int s = 1; s < chart.SeriesCount(); ++s) {
        const TArrowSeries &series = chart.Series(s);
        if (series.Count() == 0 || series.Tag < 0 ||
            std::size_t(series.Tag) >= catalogue.FChromosomes.size())
            continue;
        const ChromosomeView &view = catalogue.FChromosomes[std::size_t(series.Tag)];
        if (view.Stretches.size() < 2)
            continue;
        const int y = g.YPixel(series.StartY(0));
        // As tall as the arrows and a little more, but short beside tall arrows.
        const int half = std::min(kBreakHalf, (std::abs(series.ArrowWidth()) + 1) / 2 + 2);
        if (chart.SkipHiddenWork && area.isValid() &&
            (y + half + 2 < area.top() || y - half - 2 > area.bottom()))
            continue;
        if (!painter) {
            painter = &canvas.Painter();
            painter->save();
            painter->setPen(QPen(QColor(Qt::black), 1));
        }
        for (std::size_t i = 1; i < view.Stretches.size(); ++i) {
            // The middle of the break: after the last base of one stretch, before the next.
            const tStretch &before = view.Stretches[i - 1], &after = view.Stretches[i];
            const double middle =
                (double(before.To) + before.Shift + double(after.From) + after.Shift) / 2 +
                view.Offset;
            const int x = g.XPixel(view.Inverted ? -middle : middle);
            for (const int side : {-kBreakApart, kBreakApart})
                painter->drawLine(x + side - half / 2, y + half, x + side + half / 2, y - half);
        }
    }
    if (painter)
        painter->restore();
}
