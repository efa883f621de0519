// Draws the arrows and labels of the active series, in list order (each series' arrows, then
// its labels), creating and measuring the label placements on the way. Keeps what it measured
// per label text and font between drawings, since the same gene names come back every time, but
// only for texts the rows still show: when the rows change, texts no row uses any more are
// dropped once they outnumber half the texts in use, so loading file after file stays bounded.
#pragma once

#include "chart/ChartGeometry.h"
#include "chart/GlyphSubset.h"
#include "chart/PixelMask.h"
#include "chart/PixelMemo.h"
#include "chart/TArrowSeries.h"
#include "util/NextFree.h"

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QPainter>
#include <QRect>
#include <QStaticText>
#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The label box around the text: this many pixels of room on each side.
constexpr int kLabelPadX = 2;
constexpr int kLabelPadY = 1;

// One label text measured in one font.
struct TTextInfo
{
    QString Text;
    int Width = 0;
    int Height = 0;
    int Ascent = 0;
    // Laid out once, the first time the text is drawn: drawing it then costs a third, and the
    // map draws the same texts on every drawing.
    std::optional<QStaticText> Static;
    // Laid out glyph by glyph the first time later boxes hide part of the text.
    std::unique_ptr<TTextGlyphs> Glyphs;
};

// The texts measured in one marks font.
struct TFontCache
{
    QFont Font;
    QFontMetrics Metrics;
    int Height;
    int Ascent;
    QHash<QByteArray, int> Index;
    std::vector<TTextInfo> Infos;
    // Alongside Infos, small enough to stay at hand when a million labels look them up in no
    // order: whether the text shows anything, and the rectangle covering every pixel it can
    // touch, relative to its top-left corner (null until InkOf measures it).
    std::vector<char> HasText;
    std::vector<QRect> Inks;
    // Changes whenever ids are renumbered; unique across caches, so that ids a series keeps
    // never pass for those of a cache made later at the same address.
    quint64 Generation;

    // Whether texts of this font may be drawn glyph by glyph at GlyphsAgreeScale; asked again
    // when the scale changes.
    bool GlyphsAgree = false;
    double GlyphsAgreeScale = 0;

    explicit TFontCache(const QFont &font);
    // The text's glyphs, laid out on first asking.
    const TTextGlyphs &GlyphsOf(int id);
    int Id(const QByteArray &label);
    const QRect &InkOf(int id);
    // Keeps only the texts whose used[id] is set, in their order; returns the new id of every
    // old one (-1 for dropped ones) and moves to a new generation.
    std::vector<int> Keep(const std::vector<char> &used);
};

// Fewer unused texts than this are never worth dropping.
constexpr std::size_t kMinDroppedTexts = 1024;

// A set of small integer tuples, for finding a drawing that a later one repeats exactly.
class TShapeSet
{
public:
    using Key = std::array<qint32, 8>;
    void Reset(std::size_t expected);
    // True when the key was new.
    bool Insert(const Key &key);
    // Gives back the table when it has been far larger than any Reset asked for over several
    // calls, so that one large map does not hold its memory through every smaller one after it.
    void Trim();
    std::size_t Capacity() const { return m_room; }

private:
    void MakeRoom();

    // Made at the first Insert after a Reset: many drawings ask for a table and never use it.
    std::unique_ptr<Key[]> m_keys;
    std::size_t m_room = 0;
    std::vector<bool> m_used;
    bool m_ready = false; // m_used cleared for the table Reset asked for
    std::size_t m_mask = 0;
    std::size_t m_peak = 0;  // largest table asked for since the last Trim
    int m_smallDrawings = 0; // Trims in a row that found the table far too large
};

// Columns of one horizontal band of label boxes that later, opaque boxes paint over.
class TBandCoverage
{
public:
    TBandCoverage(int left, int right);
    bool Covered(int from, int to); // inclusive, already inside the band's columns
    void Cover(int from, int to);

private:
    int m_left;
    TNextFree m_uncovered; // columns from m_left
};

class TSeriesPainter
{
public:
    // A drawing of the series in two steps: the placements and the choice of what to draw,
    // then the drawing, with the painter as it was for the first step. Exact: the painter
    // draws straight into pixels with an integer offset, so a shape that a later identical or
    // opaque one paints over can be left out without changing the picture. With skipHidden off
    // every arrow and label part is drawn (the plain drawing). ownView: the drawing is of the
    // chart's own rectangle, whose view the planned rows' placements are read back in.
    // group(k, true) and group(k, false) bracket the drawing of series[k], when given.
    void Prepare(QPainter &painter, const TChartGeometry &g,
                 const std::vector<TArrowSeries *> &series, bool skipHidden, bool ownView);
    // Off: leaders and boxes go through the painter even where the writer's check passes.
    void SetWriteLines(bool on) { m_writeLines = on; }
    // Stops before the next row once cancel is set.
    void DrawPrepared(QPainter &painter, const TChartGeometry &g,
                      const std::vector<TArrowSeries *> &series,
                      const std::function<void(std::size_t, bool)> &group,
                      const std::atomic<bool> *cancel = nullptr);
    // After Prepare on exact pixels or a scaled image: the device pixels the opaque label boxes
    // will paint over; null otherwise.
    const TPixelMask *PaintedOver() const { return m_occlude ? &m_paintedOver : nullptr; }

    const TChartDrawStats &Stats() const { return m_stats; }
    // The height of a label box in this marks font, as a drawing sizes it.
    int LabelHeight(const TChartFont &font) { return FontCacheFor(font).Height + 2 * kLabelPadY; }

private:
    TFontCache &FontCacheFor(const TChartFont &font);
    const std::vector<int> &TextIds(const TArrowSeries &series, TFontCache &cache);
    void DropUnusedTexts(const std::vector<TArrowSeries *> &series);
    // How far any label of the series reaches past its leader ends' and box's columns.
    qint32 LabelReach(const TArrowSeries &series, TFontCache &cache);
    // The labels whose leader, box or text can reach labelArea become the series' candidates
    // (all of them when cull is off), their placements alongside: from the row's plan, or
    // (no plan) the records the chart keeps, sized and, where not fixed, placed.
    void PlanLabels(const TChartGeometry &g, const TArrowSeries &series, TFontCache &cache,
                    const QRect &labelArea, bool cull, bool ownView);
    void PlaceLabels(const TChartGeometry &g, TArrowSeries &series, TFontCache &cache,
                     const QRect &labelArea, bool cull);
    // Walks the series from the last drawn backwards; on exact pixels also leaves out the
    // arrows of series[k] that the boxes drawn after them paint over.
    void ChooseLabelWork(const TChartGeometry &g, const std::vector<TArrowSeries *> &series,
                         const std::vector<std::size_t> &labelIndex, const QRect &area,
                         const QRect &plot, bool exact);
    void ChooseArrows(const TChartGeometry &g, const std::vector<TArrowSeries *> &series,
                      const QRect &area, bool exact, bool cull);
    static int ArrowReach(const TArrowSeries &s);
    void CollectArrows(const TChartGeometry &g, const TArrowSeries &s, std::size_t k, bool exact);
    void OrderArrows(std::size_t count);
    void DrawArrows(QPainter &painter, const TChartGeometry &g, const TArrowSeries &series,
                    std::size_t index);
    void DrawLabels(QPainter &painter, TArrowSeries &series, std::size_t index, const QRect &plot,
                    bool exact);

    std::vector<std::unique_ptr<TFontCache>> m_fonts;
    // Per labelled series of the drawing under way: its font cache, its candidate labels
    // (m_labelPoints[m_labelFrom[k] .. m_labelFrom[k + 1]), ascending) and which parts of each
    // to draw (m_labelWork, alongside).
    std::vector<TFontCache *> m_seriesFonts;
    std::vector<int> m_labelPoints;
    std::vector<TSeriesMarkPosition> m_labelPlaced; // alongside m_labelPoints
    std::vector<int> m_columns;                     // scratch: the columns of a row's middles
    std::vector<std::size_t> m_labelFrom;
    std::vector<quint8> m_labelWork;
    // For labels whose text is drawn only in part: (index into m_labelPoints, glyphs to
    // draw), by descending index.
    std::vector<std::pair<std::size_t, quint64>> m_labelGlyphs;
    // Per series of the drawing under way: the arrows to draw, last point first
    // (m_arrowPoints[m_arrowFrom[k] .. m_arrowFrom[k + 1])).
    std::vector<int> m_arrowPoints;
    std::vector<std::size_t> m_arrowFrom;
    // Per series, while choosing: the points that can reach the area, the rows all of them
    // keep within (empty: not known), and where its arrows end in m_arrowPoints.
    std::vector<std::pair<int, int>> m_arrowRanges;
    std::vector<QRect> m_arrowBands;
    std::vector<std::size_t> m_arrowTo;
    QRect m_arrowArea;
    // Device pixels under boxes drawn later, while choosing; logical times m_scale plus
    // m_toDevice.
    TPixelMask m_paintedOver;
    QPoint m_toDevice;
    double m_scale = 1;
    // The device pixels a shape reaching logical r may touch, and those a fill of box paints
    // through a clip that lets r of it through.
    QRect Reach(const QRect &r) const;
    QRect Painted(const QRect &box, const QRect &r) const;
    // Whether a fill at m_scale was found to put its edges at the nearest pixel edges (asked
    // again when the scale changes); otherwise only the pixels wholly inside count as painted.
    bool m_fillsRound = false;
    double m_fillRoundingScale = 0;
    // What Prepare found, for DrawPrepared. Exact: pixels known stroke by stroke. Occlude:
    // exact, or scaled, where a shape is known to lie under opaque boxes drawn later.
    bool m_exact = false;
    bool m_occlude = false;
    QRect m_plot;
    std::vector<std::size_t> m_labelIndex;
    // Apart, so that neither is resized for the other on every drawing.
    TShapeSet m_labelShapes;
    TShapeSet m_arrowShapes;
    // The revisions of the rows of the last drawing, and whether some row's text ids were
    // looked up anew since: either means the texts in use may have changed.
    std::vector<quint64> m_lastRevisions;
    bool m_textsChanged = false;
    TChartDrawStats m_stats;
    std::optional<bool> m_linesAgree; // whether leaders may be written past the painter
    bool m_writeLines = true;
    TLineStamps m_leaderStamps; // on a scaled image
    bool LinesAgree();
};
