// Ribbons: the links between rows drawn as bands from the span of one arrow (or aligned stretch)
// to the span of the other, coloured by the link's orientation as drawn and shaded by its
// identity, drawn before the rows so that arrows and labels stand over them.
#pragma once

#include "core/RegionAlignments.h"
#include "core/SyntenyBlocks.h"
#include "map/ViewOptions.h"
#include "util/ColorOps.h"

#include <QtGlobal>

#include <optional>
#include <utility>
#include <vector>

class TArrowSeries;
class TCanvas;
class TChart;
struct TCatalogue;
struct TChartGeometry;

// The colour of a link of identity (per cent, below 0 for none) among links whose identities
// run from lowest to highest: the hue of its orientation blended on white, from three tenths of the
// hue at the lowest identity to the whole hue at the highest; a link without identity takes
// the whole hue. Opaque, so that every picture type shows the same.
TColor RibbonColour(TLinkColours colours, float identity, bool inverted, float lowest,
                    float highest);

// One ribbon as drawn: two rows (series) and the two ends of each span in axis values, the
// first end of the upper span joined to the first end of the lower one.
struct TRibbon
{
    qint32 Upper = 0, Lower = 0;
    double Upper0 = 0, Upper1 = 0, Lower0 = 0, Lower1 = 0;
    float Identity = -1;
    // Whether the two spans run in opposite directions as drawn.
    bool Inverted() const { return (Upper1 < Upper0) != (Lower1 < Lower0); }
};

// What the ribbons of one map say, per row (series index): the ribbons to rows above it and
// their mean identity.
struct TRibbonRowSums
{
    qint64 Count = 0;
    qint64 WithIdentity = 0;
    double IdentitySum = 0;
};

// A list of ribbons filed per pair of rows, and within a pair by the length of their reach
// along the axis (from the lowest to the highest of their four ends; lengths within a factor
// of two share a class) and its low end, so that a drawing finds the ribbons that can reach its
// x range by binary search, however few of them show.
class TRibbonIndex
{
public:
    struct TPair
    {
        qint32 Upper = 0, Lower = 0;
        quint32 FirstClass = 0, EndClass = 0;
    };
    void Build(const std::vector<TRibbon> &ribbons);
    void Clear();
    bool Built() const { return m_built; }
    // Whether every ribbon of the list (the one Build takes) reaches only within [low, high],
    // ends not finite never: then a drawing takes them all and needs no index. The reach of
    // the whole list is found at the first asking after Clear.
    bool AllWithin(const std::vector<TRibbon> &ribbons, double low, double high);
    const std::vector<TPair> &Pairs() const { return m_pairs; }
    // Adds to into the places in the list of pair's ribbons whose reach meets [low, high], in
    // no order; a ribbon with an end that is not a finite value is always added.
    void Reaching(std::size_t pair, double low, double high, std::vector<quint32> &into) const;

private:
    struct TClass
    {
        double Longest = 0;
        quint32 Begin = 0, End = 0;
        bool Everywhere = false; // ends that are not finite values
    };
    struct TEntry
    {
        double Low = 0, High = 0;
        quint32 Index = 0;
    };
    bool m_built = false;
    std::optional<std::pair<double, double>> m_reach; // of the whole list, NaN when not finite
    std::vector<TPair> m_pairs;
    std::vector<TClass> m_classes;
    std::vector<TEntry> m_entries;
};

// The ribbons of one map, found again when a row or the stretches change, and drawn on every
// drawing over the area the canvas lets through. Draws into the canvas only: nothing it finds
// while drawing is kept beyond the index of each list, made at the first drawing after the list.
class TRibbons
{
public:
    void Draw(const TChart &chart, TCanvas &canvas, const TCatalogue &catalogue,
              const TViewOptions &view, const std::vector<TRegionAlignment> &stretches);
    // The ribbons of the rows as the chart holds them: those without identity, then the
    // lowest identity first.
    const std::vector<TRibbon> &Of(const TChart &chart, const TCatalogue &catalogue,
                                   const std::vector<TRegionAlignment> &stretches);
    // The lowest and highest identity of the ribbons Of found, both -1 when none has one.
    std::pair<float, float> IdentityRange() const { return {m_lowest, m_highest}; }
    // The same links with each synteny block as one ribbon (its first anchor to its last on
    // both rows, its mean identity), the links outside blocks as they are: those, then the
    // blocks longest first, so that a block within another stands over it.
    const std::vector<TRibbon> &BlocksOf(const TChart &chart, const TCatalogue &catalogue,
                                         const std::vector<TRegionAlignment> &stretches,
                                         const TBlockOptions &options);
    // Whether the links between rows upper and lower are drawn as blocks at this drawing with
    // ribbons: where either row's genes (their median width) fall under two device pixels.
    bool AsBlocks(const TChart &chart, int upper, int lower, double scale) const;

private:
    void Find(const TChart &chart, const TCatalogue &catalogue,
              const std::vector<TRegionAlignment> &stretches);
    std::vector<std::pair<const TArrowSeries *, quint64>> m_rows; // what m_ribbons was found for
    const TRegionAlignment *m_stretches = nullptr; // the buffer of the stretches found for
    std::size_t m_stretchCount = 0;
    std::vector<TRibbon> m_ribbons;
    float m_lowest = -1, m_highest = -1;
    std::vector<double> m_medianWidth; // per row, its arrows' median width in axis values
    bool m_blocksFound = false;        // m_blocks holds BlocksOf for what m_ribbons was found for
    TBlockOptions m_blockOptions;
    std::vector<TRibbon> m_blocks;
    std::vector<std::pair<qint32, qint32>> m_pairs; // the pairs of rows m_ribbons joins
    TRibbonIndex m_ribbonIndex;                     // of m_ribbons, made again after Find
    TRibbonIndex m_blockIndex;          // of m_blocks, made again after BlocksOf finds them
    std::optional<bool> m_rasterAgrees; // whether lines may be written past the painter
};

// Draws the ribbons in order, each ribbon's colour as RibbonColour gives it over range.
// writeLines: the thin ones may be written straight into the image where its pixels are
// exact (TLineRaster, once it is known to agree with the painter).
void DrawRibbons(const TChart &chart, TCanvas &canvas, const std::vector<TRibbon> &ribbons,
                 const TViewOptions &view, std::pair<float, float> range, bool writeLines = false);

// Per row of the chart (series index), the ribbons joining it to the rows above.
std::vector<TRibbonRowSums> RibbonRowSums(const TChart &chart, const std::vector<TRibbon> &ribbons);
