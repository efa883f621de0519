#include "map/FigureLayout.h"

#include "chart/ChartGeometry.h"
#include "chart/TChart.h"
#include "core/Catalogue.h"
#include "map/GroupColours.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace {
constexpr double kMmPerInch = 25.4;
constexpr double kPointsPerInch = 72.0;
// Longer sides no picture type draws in reasonable time or memory.
constexpr double kMaxFigurePixels = 20000;

double PixelsPerUnit(TLengthUnit unit)
{
    switch (unit) {
    case TLengthUnit::Mm:
        return kFigurePixelsPerInch / kMmPerInch;
    case TLengthUnit::In:
        return kFigurePixelsPerInch;
    case TLengthUnit::Pt:
        return kFigurePixelsPerInch / kPointsPerInch;
    case TLengthUnit::Px:
        break;
    }
    return 1.0;
}

QFont DecorFont(const TFigureDecor &decor, double scale, bool bold)
{
    QFont font(decor.FontFamily);
    font.setPixelSize(std::max(1, int(std::lround(decor.FontPixels * scale))));
    font.setBold(bold);
    return font;
}

int TextHeight(const TFigureDecor &decor, double scale)
{
    return QFontMetrics(DecorFont(decor, scale, false)).height();
}

// The bands' heights: a gap of half a label above and below each.
int TitleBand(const TFigureDecor &decor)
{
    return decor.Title.isEmpty() ? 0 : TextHeight(decor, 1.5) + decor.FontPixels;
}

int ScaleBarBand(const TFigureDecor &decor)
{
    return decor.ScaleBar ? TextHeight(decor, 1) + decor.FontPixels + 6 : 0;
}

// The hues the identity bar shows, with their names (none for the one grey).
std::vector<std::pair<QString, bool>> KeyHues(const TIdentityKey &key)
{
    std::vector<std::pair<QString, bool>> hues;
    if (key.Colours == TLinkColours::Grey) {
        hues.emplace_back(QString(), false);
        return hues;
    }
    if (key.Direct)
        hues.emplace_back(QStringLiteral("direct"), false);
    if (key.Inverted)
        hues.emplace_back(QStringLiteral("inverted"), true);
    return hues;
}

QString Percent(float v)
{
    return QString::number(double(v), 'f', v < 10 ? 1 : 0);
}

constexpr int kKeySteps = 24;

// How wide one hue's part of the bar is, its name included.
int HueWidth(const QFontMetrics &metrics, const TIdentityKey &key, const QString &name)
{
    const int side = metrics.ascent();
    const int width = kKeySteps * std::max(2, side / 2);
    return (name.isEmpty() ? 0 : metrics.horizontalAdvance(name) + side / 2) +
           metrics.horizontalAdvance(Percent(key.Lowest)) + 3 + width + 3 +
           metrics.horizontalAdvance(Percent(key.Highest)) + 2 * side;
}

int LegendBand(const TFigureDecor &decor)
{
    // The caption on one line, the swatches on the next ones; the identity bar's caption and
    // bar on two more.
    const int identity = !decor.IdentityKey.Shown    ? 0
                         : decor.IdentityKey.Stacked ? 1 + int(KeyHues(decor.IdentityKey).size())
                                                     : 2;
    return decor.Legend ? (1 + std::max(1, decor.LegendLines) + identity) * TextHeight(decor, 1) +
                              decor.FontPixels
                        : 0;
}

} // namespace

void FitIdentityKey(TFigureDecor &decor, int width)
{
    const QFontMetrics metrics(DecorFont(decor, 1, false));
    int wide = decor.FontPixels / 2;
    for (const auto &hue : KeyHues(decor.IdentityKey))
        wide += HueWidth(metrics, decor.IdentityKey, hue.first);
    decor.IdentityKey.Stacked = wide > width;
}

void DrawIdentityKey(QPainter &painter, const QFontMetrics &metrics, const TIdentityKey &key, int x,
                     int top, bool stacked)
{
    const int left = x;
    const int baseline = top + metrics.ascent();
    painter.setPen(QColor(Qt::black));
    painter.drawText(QPoint(x, baseline), QStringLiteral("Identity of the ribbons (%):"));
    int barBaseline = baseline + metrics.height();
    const int side = metrics.ascent();
    const auto percent = [](float v) { return Percent(v); };
    const std::vector<std::pair<QString, bool>> hues = KeyHues(key);
    constexpr int kSteps = kKeySteps;
    const int stepWidth = std::max(2, side / 2);
    for (const auto &[name, inverted] : hues) {
        if (!name.isEmpty()) {
            painter.drawText(QPoint(x, barBaseline), name);
            x += metrics.horizontalAdvance(name) + side / 2;
        }
        const QString low = percent(key.Lowest), high = percent(key.Highest);
        painter.drawText(QPoint(x, barBaseline), low);
        x += metrics.horizontalAdvance(low) + 3;
        painter.setPen(Qt::NoPen);
        for (int i = 0; i < kSteps; ++i) {
            const float identity =
                key.Lowest + (key.Highest - key.Lowest) * float(i) / float(kSteps - 1);
            painter.setBrush(
                ToQColor(RibbonColour(key.Colours, identity, inverted, key.Lowest, key.Highest)));
            painter.drawRect(x + i * stepWidth, barBaseline - side, stepWidth, side);
        }
        const int width = kSteps * stepWidth;
        painter.setPen(QColor(Qt::black));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(x, barBaseline - side, width, side);
        for (const int tick : {x, x + width / 2, x + width})
            painter.drawLine(tick, barBaseline, tick, barBaseline + 2);
        x += width + 3;
        painter.drawText(QPoint(x, barBaseline), high);
        x += metrics.horizontalAdvance(high) + 2 * side;
        if (stacked) {
            x = left;
            barBaseline += metrics.height();
        }
    }
}

namespace {

// Where each group of the key stands: its line (-1 past the last line) and its left edge, and
// the text that ends the last line when some groups do not fit ("+N more").
struct TGroupKey
{
    std::vector<QPoint> Places;
    QString More;
    QPoint MoreAt;
    int Lines = 0;
};

TGroupKey PlaceGroupKey(const std::vector<TLegendGroup> &groups, const QFontMetrics &metrics,
                        int width, int gap, int maxLines)
{
    TGroupKey key;
    const int side = metrics.ascent();
    const auto extent = [&](const QString &name) {
        return 2 * side + 3 + metrics.horizontalAdvance(name) + 2 * gap;
    };
    int line = 0;
    int x = gap;
    for (const TLegendGroup &group : groups) {
        const int w = extent(group.Name);
        if (x > gap && x + w > width) {
            ++line;
            x = gap;
        }
        key.Places.emplace_back(x, line);
        x += w;
    }
    key.Lines = std::min(line + 1, std::max(1, maxLines));
    if (line < key.Lines)
        return key;
    // Groups past the last line go, and as many of its own as make room for how many they are.
    std::size_t kept = 0;
    while (kept < groups.size() && key.Places[kept].y() < key.Lines)
        ++kept;
    for (;;) {
        key.More = QStringLiteral("+%1 more").arg(groups.size() - kept);
        const int end = kept == 0 || key.Places[kept - 1].y() < key.Lines - 1
                            ? gap
                            : key.Places[kept - 1].x() + extent(groups[kept - 1].Name);
        if (kept == 0 || end + metrics.horizontalAdvance(key.More) <= width ||
            key.Places[kept - 1].y() < key.Lines - 1) {
            key.MoreAt = QPoint(end, key.Lines - 1);
            break;
        }
        --kept;
    }
    for (std::size_t i = kept; i < groups.size(); ++i)
        key.Places[i].setY(-1);
    return key;
}
} // namespace

QSize TFigureSize::Pixels() const
{
    const double k = PixelsPerUnit(Unit);
    return QSize(int(std::lround(Width * k)), int(std::lround(Height * k)));
}

QSizeF TFigureSize::Millimetres() const
{
    const double k = PixelsPerUnit(Unit) / kFigurePixelsPerInch * kMmPerInch;
    return QSizeF(Width * k, Height * k);
}

std::optional<TFigureSize> ParseFigureSize(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{1,6}(?:\\.\\d{1,4})?)[xX](\\d{1,6}(?:\\.\\d{1,4})?)(mm|in|pt|px)?$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    TFigureSize size;
    size.Width = m.captured(1).toDouble();
    size.Height = m.captured(2).toDouble();
    const QString unit = m.captured(3);
    size.Unit = unit == QLatin1String("mm")   ? TLengthUnit::Mm
                : unit == QLatin1String("in") ? TLengthUnit::In
                : unit == QLatin1String("pt") ? TLengthUnit::Pt
                                              : TLengthUnit::Px;
    // Pixels are whole; a figure must come out at one pixel at least and within the limit.
    if (size.Unit == TLengthUnit::Px &&
        (size.Width != std::floor(size.Width) || size.Height != std::floor(size.Height)))
        return std::nullopt;
    const QSize pixels = size.Pixels();
    if (pixels.width() < 1 || pixels.height() < 1 || pixels.width() > kMaxFigurePixels ||
        pixels.height() > kMaxFigurePixels)
        return std::nullopt;
    return size;
}

double BasesPerUnit(const QString &unit)
{
    const QString lower = unit.toLower();
    return lower == QLatin1String("kb")   ? 1e3
           : lower == QLatin1String("mb") ? 1e6
           : lower == QLatin1String("gb") ? 1e9
                                          : 1.0;
}

std::optional<double> ParseBaseLength(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{1,10}(?:\\.\\d{1,6})?)\\s*(bp|kb|mb|gb)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const double bases = m.captured(1).toDouble() * BasesPerUnit(m.captured(2));
    if (!(bases >= 1) || bases > kMaxBaseLength)
        return std::nullopt;
    return bases;
}

QString BaseLengthText(double bases)
{
    const auto number = [](double v) { return QString::number(v, 'g', 6); };
    if (bases >= 1e9)
        return number(bases / 1e9) + QStringLiteral(" Gb");
    if (bases >= 1e6)
        return number(bases / 1e6) + QStringLiteral(" Mb");
    if (bases >= 1e3)
        return number(bases / 1e3) + QStringLiteral(" kb");
    return number(bases) + QStringLiteral(" bp");
}

double AutoScaleBarLength(double span)
{
    const double most = span / 5;
    if (!(most >= 1))
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(most)));
    for (double step : {5.0, 2.0, 1.0})
        if (step * power <= most)
            return step * power;
    return power;
}

int FigureMarginLeft(const TChart &chart, int chartWidth)
{
    QFont font = chart.CanvasFont;
    font.setBold(true);
    const QFontMetrics metrics(font);
    int widest = 0;
    for (int s = 1; s < chart.SeriesCount(); ++s)
        if (chart.Series(s).Active)
            widest =
                std::max(widest, metrics.horizontalAdvance(DisplayText(chart.Series(s).Title)));
    // The names' gap, and a few pixels for the ink past the advance.
    const double needed = widest + 40 + 4;
    const double startShare = chart.BottomAxis.StartPosition / 100.0;
    int margin = std::max(10, chart.MarginLeft);
    // Past half the width the rows would have too little room left: a name that long is cut.
    while (margin < 50 && chartWidth * margin / 100.0 + chartWidth *
                                                            (100 - margin - chart.MarginRight) /
                                                            100.0 * startShare <
                              needed)
        ++margin;
    return margin;
}

int FigureMarginRight(const TChart &chart, int chartWidth)
{
    const TChartGeometry &g = chart.Geometry();
    double needed = 0;
    for (int s = 1; s < chart.SeriesCount(); ++s) {
        const TArrowSeries &series = chart.Series(s);
        if (!series.Active || !series.Marks.Visible)
            continue;
        QFont font(series.Marks.Font.Name);
        font.setPixelSize(std::max(1, std::abs(series.Marks.Font.Height)));
        font.setItalic(series.Marks.Font.Italic);
        const QFontMetrics metrics(font);
        // Points are sorted by start: the last few hold the rightmost middles.
        for (int p = std::max(0, series.Count() - 8); p < series.Count(); ++p) {
            const double middle = (series.StartX(p) + series.EndX(p)) / 2;
            const double half =
                (metrics.horizontalAdvance(QString::fromUtf8(series.Label(p))) + 8) / 2.0;
            needed = std::max(needed,
                              g.AxisLeft + (middle - g.BottomMin) * g.XScale + half - g.AxisRight);
        }
    }
    // What lies past the axis's right end: the rest of the plot and the margin.
    const double endShare = 1 - chart.BottomAxis.EndPosition / 100.0;
    int margin = chart.MarginRight;
    while (margin < 40 && chartWidth * margin / 100.0 + chartWidth *
                                                            (100 - margin - chart.MarginLeft) /
                                                            100.0 * endShare <
                              needed)
        ++margin;
    return margin;
}

TFigureRows FigureRows(const TChart &chart, bool ribbons)
{
    const TArrowSeries &t = chart.Series(0);
    TFigureRows rows;
    rows.ArrowWidth = std::abs(t.ArrowWidth());
    // Rows stand one step apart from -rows to -1, one more step below the top at 0; pixels
    // are rounded, so two rows may stand one pixel closer than the step.
    const int room = int(std::floor(chart.Geometry().YScale));
    bool labels = false;
    for (int s = 1; s < chart.SeriesCount(); ++s)
        labels = labels || (chart.Series(s).Active && chart.Series(s).Marks.Visible &&
                            chart.Series(s).Count() > 0);
    const int text = std::max(1, std::abs(t.Marks.Font.Height));
    const int gap = std::max(1, 5 * text / 9);
    if (!labels) {
        rows.ArrowWidth = std::clamp(ribbons ? room / 3 : room - gap, 1, rows.ArrowWidth);
        return rows;
    }
    // The map's gap of 5 pixels between the lowest label and its arrows, its level step, and
    // the label's own height; the anchor is half a label above the row.
    const int label = chart.LabelHeight(t);
    const int step = 15 * text / 9;
    const auto lift = [&](int arrow) { return label - label / 2 + arrow / 2 + gap; };
    const auto needed = [&](int arrow, int levels) {
        return label / 2 + lift(arrow) + (levels - 1) * step + arrow / 2 + 1;
    };
    const int full = rows.ArrowWidth;
    if (needed(full, 5) <= room)
        return rows;
    // Levels go first while the arrows stay as high as a label, then the arrows grow lower.
    int levels = 5;
    while (levels > 1 && needed(std::min(full, label), levels) > room)
        --levels;
    int arrow = full;
    while (arrow > 4 && needed(arrow, levels) > room)
        --arrow;
    if (needed(arrow, levels) > room) {
        rows.Labels = false;
        rows.ArrowWidth = std::clamp(room - gap, 1, full);
        return rows;
    }
    rows.ArrowWidth = arrow;
    rows.Levels = {levels, lift(arrow)};
    return rows;
}

std::pair<double, double> FigureRowsRange(const TChart &chart, int above, int below)
{
    // The map stands its k rows at -1 .. -k on an axis from -(k + 1) to 0.
    const double rows = chart.SeriesCount() - 1;
    const TChartGeometry &g = chart.Geometry();
    const double height = g.PlotBottom - g.PlotTop;
    const std::pair<double, double> map{-(rows + 1), 0};
    if (rows < 1 || below < 0 || above < 0 || !(height > above + below))
        return map;
    if (above == 0 || rows < 2) {
        // From -(rows + f) to 0 a step is height / (rows + f), and f steps are below pixels.
        return {-(rows + std::min(1.0, below * rows / (height - below))), 0};
    }
    // Both ends fixed in pixels: the rows share the rest.
    const double step = (height - above - below) / (rows - 1);
    if (step < height / (rows + 1))
        return map;
    return {-rows - below / step, -1 + above / step};
}

QImage IdentityKeyImage(const TIdentityKey &key, const QFont &font, qreal devicePixelRatio)
{
    const QFontMetrics metrics(font);
    const int hues = key.Colours == TLinkColours::Grey ? 1 : int(key.Direct) + int(key.Inverted);
    const QSize size(metrics.horizontalAdvance(QStringLiteral("inverted 100 ")) +
                         40 * metrics.ascent(),
                     (2 + hues) * metrics.height());
    QImage image((QSizeF(size) * devicePixelRatio).toSize(), QImage::Format_RGB32);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    DrawIdentityKey(painter, metrics, key, 4, metrics.height() / 2, true);
    return image;
}

void SetColourKey(TFigureDecor &decor, const TCatalogue &catalogue,
                  const std::vector<bool> &chromosomeChecked,
                  const QHash<QByteArray, TColor> &table)
{
    decor.ColourKey = true;
    decor.ColourKeyGroups.clear();
    decor.ColourKeyCount = 0;
    const std::vector<TColor> colours = GroupColours(catalogue, chromosomeChecked, table);
    std::vector<TLegendGroup> groups;
    for (std::size_t g = 0; g < colours.size(); ++g)
        if (colours[g] != kSingleRowColour || table.contains(catalogue.FGeneNames[g]))
            groups.push_back({DisplayText(catalogue.FGeneNames[g]), colours[g]});
    decor.ColourKeyCount = qint64(groups.size());
    if (decor.ColourKeyCount <= kMostColourKey)
        decor.ColourKeyGroups = std::move(groups);
}

TIdentityKey IdentityKeyOf(const std::vector<TRibbon> &ribbons, std::pair<float, float> range,
                           const TViewOptions &view)
{
    TIdentityKey key;
    if (view.LinkStyle == TLinkStyle::Connectors || !view.LinkGenes ||
        view.LinkColours == TLinkColours::Black || range.first < 0)
        return key;
    key.Shown = true;
    key.Lowest = range.first;
    key.Highest = range.second;
    key.Colours = view.LinkColours;
    for (const TRibbon &r : ribbons) {
        if (r.Identity < 0)
            continue;
        (r.Inverted() ? key.Inverted : key.Direct) = true;
    }
    return key;
}

std::vector<TLegendGroup> LegendGroups(const TCatalogue &catalogue, const tPalette &palette)
{
    std::vector<TLegendGroup> groups;
    if (catalogue.FGroupNames.empty())
        return groups;
    const QSet<QByteArray> names(catalogue.FGroupNames.begin(), catalogue.FGroupNames.end());
    // A group is one gene of the list, named and coloured as the map builder colours it.
    for (std::size_t g = 0; g < catalogue.FGeneNames.size(); ++g)
        if (names.contains(catalogue.FGeneNames[g]))
            groups.push_back({DisplayText(catalogue.FGeneNames[g]),
                              ColorOfValue(palette, 0, At(catalogue.FGeneCounts, qint64(g)), 0,
                                           catalogue.FMaxGeneCount, -999999)});
    return groups;
}

int FigureLegendLines(const std::vector<TLegendGroup> &groups, const TFigureDecor &decor,
                      const QSize &picture)
{
    if (!decor.Legend || groups.empty())
        return 1;
    const int line = TextHeight(decor, 1);
    const int most = std::max(1, (picture.height() / 3 - decor.FontPixels) / line - 1);
    return PlaceGroupKey(groups, QFontMetrics(DecorFont(decor, 1, false)), picture.width(),
                         decor.FontPixels / 2, most)
        .Lines;
}

QRect FigureChartRect(const QSize &picture, const TFigureDecor &decor)
{
    const int top = TitleBand(decor);
    const int bottom = ScaleBarBand(decor) + LegendBand(decor);
    return QRect(0, top, picture.width(), std::max(1, picture.height() - top - bottom));
}

void DrawFigureDecor(QPainter &painter, const TChart &chart, const QRect &chartRect,
                     const TCatalogue &catalogue, const tPalette &palette,
                     const TFigureDecor &decor)
{
    painter.save();
    painter.setPen(QColor(Qt::black));
    const int gap = decor.FontPixels / 2;
    if (!decor.Title.isEmpty()) {
        painter.setFont(DecorFont(decor, 1.5, true));
        painter.drawText(QRect(0, gap, chartRect.width(), chartRect.top() - gap),
                         Qt::AlignHCenter | Qt::AlignTop, decor.Title);
    }
    const TChartGeometry &g = chart.Geometry();
    const QFontMetrics metrics(DecorFont(decor, 1, false));
    painter.setFont(DecorFont(decor, 1, false));
    int y = chartRect.bottom() + 1 + gap;
    // Both start where the rows' records start, at the plot's left edge.
    const int left = chartRect.left() + int(std::lround(g.AxisLeft));
    if (decor.ScaleBar) {
        const double span = g.BottomMax - g.BottomMin;
        const double length =
            decor.ScaleBarLength > 0 ? decor.ScaleBarLength : AutoScaleBarLength(span);
        const int width = std::max(1, int(std::lround(length * g.XScale)));
        QPen pen{QColor(Qt::black)};
        pen.setWidth(1);
        painter.setPen(pen);
        const int bar = y + 3;
        painter.drawLine(left, bar, left + width, bar);
        painter.drawLine(left, bar - 3, left, bar + 3);
        painter.drawLine(left + width, bar - 3, left + width, bar + 3);
        const QString text = BaseLengthText(length);
        painter.drawText(QPoint(left + width / 2 - metrics.horizontalAdvance(text) / 2,
                                bar + 4 + metrics.ascent()),
                         text);
        y += ScaleBarBand(decor);
    }
    const std::vector<TLegendGroup> groups =
        decor.ColourKey ? decor.ColourKeyGroups : LegendGroups(catalogue, palette);
    if (decor.Legend && decor.ColourKey && groups.empty()) {
        painter.drawText(
            QPoint(gap, y + metrics.ascent()),
            QStringLiteral("Gene colours: %1 genes or groups, each in a colour of its own; grey: "
                           "found on one row")
                .arg(decor.ColourKeyCount));
    } else if (decor.Legend && !groups.empty()) {
        painter.drawText(QPoint(gap, y + metrics.ascent()),
                         decor.ColourKey ? QStringLiteral("Gene colours:")
                                         : QStringLiteral("Homology groups:"));
        const TGroupKey key =
            PlaceGroupKey(groups, metrics, chartRect.width(), gap, decor.LegendLines);
        const int side = metrics.ascent();
        // Baselines one line apart under the caption's.
        const auto baseline = [&](int line) {
            return y + metrics.ascent() + (line + 1) * metrics.height();
        };
        for (std::size_t i = 0; i < groups.size(); ++i) {
            const QPoint at = key.Places[i];
            if (at.y() < 0)
                continue;
            painter.setPen(QColor(Qt::black));
            painter.setBrush(ToQColor(groups[i].Color));
            painter.drawRect(at.x(), baseline(at.y()) - side, 2 * side, side);
            painter.drawText(QPoint(at.x() + 2 * side + 3, baseline(at.y())), groups[i].Name);
        }
        if (!key.More.isEmpty())
            painter.drawText(QPoint(key.MoreAt.x(), baseline(key.MoreAt.y())), key.More);
    } else if (decor.Legend && catalogue.FMaxGeneCount > 0) {
        const int baseline = y + metrics.ascent();
        painter.drawText(QPoint(gap, baseline), QStringLiteral("Gene shared by chromosomes:"));
        // One swatch per count of chromosomes, as many as the width holds, the last the most.
        const quint32 most = catalogue.FMaxGeneCount;
        const int side = metrics.ascent();
        const int unit =
            3 * side + 3 + metrics.horizontalAdvance(QString::number(most)) + decor.FontPixels;
        const quint32 fit = quint32(std::max(2, (chartRect.width() - gap) / std::max(1, unit)));
        const quint32 step = std::max<quint32>(1, (most + fit - 2) / (fit - 1));
        int x = gap;
        const int swatchBaseline = baseline + metrics.height();
        for (quint32 count = 1; count <= most;
             count = count == most ? most + 1 : std::min(most, count + step)) {
            painter.setPen(QColor(Qt::black));
            painter.setBrush(ToQColor(ColorOfValue(palette, 0, count, 0, most, -999999)));
            painter.drawRect(x, swatchBaseline - side, 2 * side, side);
            const QString n = QString::number(count);
            painter.drawText(QPoint(x + 2 * side + 3, swatchBaseline), n);
            x += unit;
        }
    }
    if (decor.Legend && decor.IdentityKey.Shown) {
        const int keyLines = 1 + std::max(1, decor.LegendLines);
        DrawIdentityKey(painter, metrics, decor.IdentityKey, gap, y + keyLines * metrics.height(),
                        decor.IdentityKey.Stacked);
    }
    painter.restore();
}
