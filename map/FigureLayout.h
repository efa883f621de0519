// A figure for print: the picture's size in physical units and its resolution, and what stands
// around the map in it (a title above the rows; a scale bar and a colour key below them). A
// figure is laid out in figure pixels of 1/96 inch whatever the output, so one size gives the
// same figure in every picture type; only the pixels of a raster picture follow its dpi.
#pragma once

#include "map/LabelLayout.h"
#include "map/Ribbons.h"
#include "map/ViewOptions.h"
#include "util/ColorOps.h"

#include <QFontMetrics>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

class QPainter;
class TChart;
struct TCatalogue;

// Figure pixels per inch: the chart's pixel-sized fonts and constants keep the size in inches
// they have on a common screen.
constexpr double kFigurePixelsPerInch = 96.0;

enum class TLengthUnit
{
    Px,
    Mm,
    In,
    Pt
};

struct TFigureSize
{
    double Width = 0;
    double Height = 0;
    TLengthUnit Unit = TLengthUnit::Px;

    bool Physical() const { return Unit != TLengthUnit::Px; }
    // Pixels as given, physical sizes at kFigurePixelsPerInch.
    QSize Pixels() const;
    QSizeF Millimetres() const;
};

// "WxH" with an optional unit mm, in, pt or px (px when none): nothing when the text is not one,
// or when a side is not above 0.
std::optional<TFigureSize> ParseFigureSize(const QString &text);
// Bases in one bp, kb, Mb or Gb, in any case (1 for none).
double BasesPerUnit(const QString &unit);
// The longest length a map takes, in bases.
constexpr double kMaxBaseLength = 4.3e9;
// A length on the map in bases: "500", "500bp", "10kb", "1.5Mb"; nothing when it is none.
std::optional<double> ParseBaseLength(const QString &text);
// "500 bp", "10 kb", "1.5 Mb", "4 Gb".
QString BaseLengthText(double bases);
// The longest 1, 2 or 5 times a power of ten that is at most a fifth of span (1 at least).
double AutoScaleBarLength(double span);

// The identity colour bar of the ribbons, under the key: the identities present and the hues
// that occur (direct, inverted, or the one grey).
struct TIdentityKey
{
    bool Shown = false;
    float Lowest = -1, Highest = -1;
    bool Direct = false, Inverted = false;
    TLinkColours Colours = TLinkColours::Identity;
    bool Stacked = false; // each hue on a line of its own, where one line is too narrow
};
// The key the ribbons of the map ask for: shown with the legend while ribbons are drawn in
// colours and some ribbon has an identity.
TIdentityKey IdentityKeyOf(const std::vector<TRibbon> &ribbons, std::pair<float, float> range,
                           const TViewOptions &view);

// Draws the identity bar from the line whose top is top: a caption, then per hue its name, the
// lowest identity, the bar from the lightest to the darkest colour with ticks at its ends and
// middle, and the highest identity; stacked: each hue on a line of its own.
void DrawIdentityKey(QPainter &painter, const QFontMetrics &metrics, const TIdentityKey &key, int x,
                     int top, bool stacked);

// Stacks the decor's identity bar when its hues side by side are wider than width.
void FitIdentityKey(struct TFigureDecor &decor, int width);

// The identity bar stacked, on white, in that font: the window's legend shows it.
QImage IdentityKeyImage(const TIdentityKey &key, const QFont &font, qreal devicePixelRatio);

// What the figure shows around the map.
struct TFigureDecor
{
    QString Title;
    bool ScaleBar = false;
    double ScaleBarLength = 0; // bases; 0 for AutoScaleBarLength of the shown range
    bool Legend = false;
    QString FontFamily = QStringLiteral("Arial");
    int FontPixels = 9;       // the labels' height; the title is half as high again
    int LegendLines = 1;      // the key's lines under its caption (FigureLegendLines)
    TIdentityKey IdentityKey; // with the legend: two lines more
    // With colours by group: the genes or groups in colours of their own, listed when at most
    // kMostColourKey, else only counted (ColourKeyCount).
    bool ColourKey = false;
    std::vector<struct TLegendGroup> ColourKeyGroups;
    qint64 ColourKeyCount = 0;

    bool Any() const { return !Title.isEmpty() || ScaleBar || Legend; }
};

// The chart's left margin (percent of its width, the map's own 10 at least) at which the widest
// name of a shown row fits left of the rows, where the names stand 40 pixels left of position 0.
int FigureMarginLeft(const TChart &chart, int chartWidth);

// The chart's right margin (percent of its width, the map's own at least) at which the labels of
// each row's last records, centred on their arrows, end inside the chart.
int FigureMarginRight(const TChart &chart, int chartWidth);

// How a figure's rows hold their arrows and labels. The room from one row to the next (and
// above the top row) takes the arrows' height, the gap over them, the label levels and the
// arrows of the row above: when the map's own do not fit, the labels stack on fewer levels, then
// the arrows grow lower (down to 4 pixels), and when not even one level fits, no label is shown.
struct TFigureRows
{
    int ArrowWidth = 35; // across the row, as the template's
    TLabelLevels Levels;
    bool Labels = true; // false: the gene names are left out
};
// ribbons: the links are drawn as ribbons, which need the room between rows: rows without
// labels then keep their arrows to a third of the step.
TFigureRows FigureRows(const TChart &chart, bool ribbons = false);

// The left axis's range at which a figure's last row stands `below` pixels over the plot's
// bottom edge (its arrows' lower half, its scale, a little room), instead of the map's whole
// step under it, and its first row `above` pixels under the top edge (its arrows' upper half and
// its name, for rows without labels; 0 keeps the step above it, where labels stand): the rows
// then use the height. Never a closer step than the map's own, one step above and below.
std::pair<double, double> FigureRowsRange(const TChart &chart, int above, int below);

// The homology groups the key shows, in the gene list's order: each group's name as the list
// gives it and the colour of its arrows. None without a homology source.
struct TLegendGroup
{
    QString Name;
    TColor Color;
};
std::vector<TLegendGroup> LegendGroups(const TCatalogue &catalogue, const tPalette &palette);

// The key of colours by group: each gene or group given a colour of its own (on two or more
// shown rows, or named by the colour table) with that colour, in the gene list's order; the
// decor lists them when there are at most kMostColourKey.
constexpr qint64 kMostColourKey = 30;
void SetColourKey(TFigureDecor &decor, const TCatalogue &catalogue,
                  const std::vector<bool> &chromosomeChecked,
                  const QHash<QByteArray, TColor> &table);

// The lines the key takes under its caption in a picture of that size: one for the colours of
// the counts; with homology groups, the lines their swatches and names wrap to, at most as many
// as fill a third of the picture's height (the key then ends with how many more there are).
int FigureLegendLines(const std::vector<TLegendGroup> &groups, const TFigureDecor &decor,
                      const QSize &picture);

// Where the chart stands in a picture of the given size: the title's band above it, the scale
// bar's and the key's bands below it.
QRect FigureChartRect(const QSize &picture, const TFigureDecor &decor);
// Draws the title, scale bar and key into a painter whose origin is the picture's top-left, for
// a chart drawn at chartRect (its geometry that of its last drawing). The key gives the colour of
// a gene shared by 1 to FMaxGeneCount chromosomes, as the map builder colours it; with homology
// groups, each group's colour and name instead.
void DrawFigureDecor(QPainter &painter, const TChart &chart, const QRect &chartRect,
                     const TCatalogue &catalogue, const tPalette &palette,
                     const TFigureDecor &decor);
