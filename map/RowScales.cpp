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

// The labels' face, a little smaller than their text.
QFont ScaleFont(const TChart &chart)
{
    const TChartFont &labels = chart.Series(0).Marks.Font;
    QFont font(labels.Name);
    font.setPixelSize(std::max(6, std::abs(labels.Height) * 8 / 9));
    return font;
}

// The chromosome coordinate drawn at axis value x on a row of this view, and back.
double Coordinate(const ChromosomeView &view, double x)
{
    return (view.Inverted ? -x : x) - view.Offset;
}
double AxisValue(const ChromosomeView &view, double c)
{
    return view.Inverted ? -(c + view.Offset) : c + view.Offset;
}

void DrawScale(QPainter &painter, const TChartGeometry &g, const ChromosomeView &view, int y,
               const QFontMetrics &metrics)
{
    // The part of the chromosome's records the plot shows.
    const double a = Coordinate(view, g.XValue(int(g.PlotLeft)));
    const double b = Coordinate(view, g.XValue(int(g.PlotRight)));
    const double low = std::max(std::min(a, b), double(view.MinCoord));
    const double high = std::min(std::max(a, b), double(view.MaxCoord));
    if (!(low < high) || g.XScale <= 0)
        return;
    const auto px = [&](double c) { return g.XPixel(AxisValue(view, c)); };
    painter.drawLine(px(low), y, px(high), y);
    const double step = RowScaleStep(g.XScale, kTickGap);
    for (double t = std::ceil(low / step) * step; t <= high; t += step) {
        const int x = px(t);
        painter.drawLine(x, y, x, y + 3);
        const QString text = RowScaleText(t, step);
        const int left = x - metrics.horizontalAdvance(text) / 2;
        // A text the chart's edges would cut is left out; its tick stays.
        if (left < g.Rect.left() || left + metrics.horizontalAdvance(text) > g.Rect.right() + 1)
            continue;
        painter.drawText(QPoint(left, y + 4 + metrics.ascent()), text);
    }
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
