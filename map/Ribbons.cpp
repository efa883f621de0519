#include "map/Ribbons.h"

#include "chart/ChartGeometry.h"
#include "chart/LineRaster.h"
#include "chart/TArrowSeries.h"
#include "chart/TCanvas.h"
#include "chart/TChart.h"
#include "core/Catalogue.h"
#include "map/BlockReport.h"
#include "map/Connectors.h"
#include "map/RowScales.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace {
// genoPlotR's convention: direct links red, inverted ones blue; a grey scale as clinker's.
constexpr TColor kDirectHue = RGBToColor(200, 30, 30);
constexpr TColor kInvertedHue = RGBToColor(30, 70, 200);
constexpr TColor kGreyHue = RGBToColor(50, 50, 50);
// The share of the hue at the lowest identity: low enough to tell identities apart, high
// enough that the faintest ribbon still reads on white (TBLASTX hits of 10-30 %).
constexpr double kLightest = 0.3;

// Past this many links, a group of repeats (every upper point joined to every lower one) is
// drawn as one ribbon between the spans it covers on the two rows.
constexpr qint64 kMostGroupLinks = 100000;

int Channel(TColor c, int shift)
{
    return int((c >> shift) & 0xff);
}

TColor OnWhite(TColor hue, double share)
{
    const auto mix = [&](int shift) {
        return int(std::lround(255 - (255 - Channel(hue, shift)) * share));
    };
    return RGBToColor(mix(0), mix(8), mix(16));
}

// Those without identity first (genes joined by name or group, in the whole hue, under the
// identities measured), then the lowest identity first: where ribbons overlap, the higher
// identity stands over the lower.
bool DrawnBefore(const TRibbon &a, const TRibbon &b)
{
    return a.Identity < b.Identity;
}

// The row's series index for each chromosome shown.
std::vector<int> RowOfChromosome(const TChart &chart, std::size_t chromosomes)
{
    std::vector<int> rows(chromosomes, -1);
    for (int s = 1; s < chart.SeriesCount(); ++s) {
        const qint32 c = chart.Series(s).Tag;
        if (c >= 0 && std::size_t(c) < rows.size())
            rows[std::size_t(c)] = s;
    }
    return rows;
}

// The pixel edge where a span's end stands: the outer edge of its end pixel, as arrows are drawn.
int EdgePixel(const TChartGeometry &g, double value, double other)
{
    const int px = g.XPixel(value);
    return value >= other ? px + 1 : px;
}

// The part of an aligned pair of stretches that lies within [lowA, highA] of its first row and
// [lowB, highB] of its second (a row cut to regions holds less than its file), each cut carried
// over to the other stretch in proportion, so that a ribbon never reaches past its rows; nothing
// when no part is left.
std::optional<TRegionAlignment> ClippedToRows(TRegionAlignment a, qint32 lowA, qint32 highA,
                                              qint32 lowB, qint32 highB)
{
    // Cuts [from, to] of one stretch to [low, high], moving the other's ends alike.
    const auto cut = [](qint32 &from, qint32 &to, qint32 low, qint32 high, qint32 &otherFrom,
                        qint32 &otherTo, bool reverse) {
        if (from > high || to < low)
            return false;
        const double length = std::max(1.0, double(to) - from);
        const double other = double(otherTo) - otherFrom;
        const double cutFront = std::max(0.0, double(low) - from) / length;
        const double cutBack = std::max(0.0, double(to) - high) / length;
        const double keepFrom = reverse ? cutBack : cutFront, keepTo = reverse ? cutFront : cutBack;
        from = std::max(from, low);
        to = std::min(to, high);
        const auto newFrom = qint32(std::lround(otherFrom + other * keepFrom));
        const auto newTo = qint32(std::lround(otherTo - other * keepTo));
        otherFrom = newFrom;
        otherTo = std::max(newFrom, newTo);
        return true;
    };
    if (!cut(a.StartA, a.EndA, lowA, highA, a.StartB, a.EndB, a.Reverse) ||
        !cut(a.StartB, a.EndB, lowB, highB, a.StartA, a.EndA, a.Reverse))
        return std::nullopt;
    a.StartA = std::clamp(a.StartA, lowA, highA);
    a.EndA = std::clamp(a.EndA, lowA, highA);
    return a;
}

// What a row holds: its records' extent, or the part of it each of its stretches holds.
std::size_t HeldParts(const ChromosomeView &view)
{
    return std::max<std::size_t>(1, view.Stretches.size());
}
std::pair<qint32, qint32> HeldPart(const ChromosomeView &view, std::size_t i)
{
    if (view.Stretches.empty())
        return {view.MinCoord, view.MaxCoord};
    const tStretch &s = view.Stretches[i];
    return {std::max(s.From, view.MinCoord), std::min(s.To, view.MaxCoord)};
}

// A straight ribbon's corners in pixels: its upper side on row Top, its lower side on Bottom.
struct TQuad
{
    int U0, U1, L0, L1, Top, Bottom;
    // Less than three device pixels across: drawn as the line of its middle, which keeps it
    // whole where a fill that narrow would break up. On whole pixels (scale 1) across the slant
    // from its upper middle to its lower one, its wider end taken, since lines cost little
    // there; on a scaled surface, where a line costs several fills, at both ends.
    bool Thin(double scale) const
    {
        const double wide = std::max(std::abs(U1 - U0), std::abs(L1 - L0)) * scale;
        if (scale != 1)
            return wide < 3;
        const double rise = Bottom - Top, run = (L0 + L1 - U0 - U1) / 2.0;
        return wide * wide * rise * rise < 9 * (run * run + rise * rise);
    }
    // Where the two sides cross the height y, in order.
    std::pair<double, double> Span(double y) const
    {
        const double t = std::clamp((y - Top) / double(Bottom - Top), 0.0, 1.0);
        const double a = U0 + (L0 - U0) * t, b = U1 + (L1 - U1) * t;
        return {std::min(a, b), std::max(a, b)};
    }
    // The pixel rows from first to last outside which what the sides enclose lies wholly
    // beside [left, right]: zoomed in, a ribbon whose ends lie far off on both sides crosses
    // the area within a few rows. Between Top and Bottom (a row's span joins the heights of
    // its two edges); widened by a row each way for the rounding.
    std::pair<int, int> RowsMeeting(double left, double right) const
    {
        // Over t in [0, 1], each side's part at or right of left, and at or left of right.
        const auto part = [](double from, double to, double c, bool above) {
            if (from == to)
                return (above ? from >= c : from <= c) ? std::pair(0.0, 1.0) : std::pair(1.0, 0.0);
            const double t = (c - from) / (to - from);
            const bool rising = (to > from) == above;
            return rising ? std::pair(std::max(0.0, t), 1.0) : std::pair(0.0, std::min(1.0, t));
        };
        const std::pair<double, double> parts[2][2] = {
            {part(U0, L0, left, true), part(U1, L1, left, true)},
            {part(U0, L0, right, false), part(U1, L1, right, false)}};
        double first = 2, last = -1;
        for (const auto &a : parts[0])
            for (const auto &b : parts[1]) {
                const double from = std::max(a.first, b.first), to = std::min(a.second, b.second);
                if (from <= to) {
                    first = std::min(first, from);
                    last = std::max(last, to);
                }
            }
        if (first > last)
            return {0, -1};
        const double height = Bottom - Top;
        return {first <= 0 ? std::numeric_limits<int>::min()
                           : int(std::floor(Top + first * height)) - 2,
                last >= 1 ? std::numeric_limits<int>::max()
                          : int(std::ceil(Top + last * height)) + 1};
    }
};

// Which straight ribbons show: a ribbon whose every pixel later ribbons paint over changes no
// pixel. Walked from the last ribbon drawn to the first, keeping per pixel row of the area one
// stretch that later ribbons are known to cover: each ribbon claims, per row, what its sides
// enclose over the whole height of the row, less a pixel and a half each way, and is passed
// over when, widened by as much (its outline, the rounding of a scaled surface), every row it
// reaches lies inside what is claimed there. Both hold in logical pixels at any scale.
class TCoverage
{
public:
    explicit TCoverage(const QRect &area)
        : m_area(area), m_rows(std::size_t(std::max(0, area.height())), {0.0, -1.0})
    {
    }
    bool Covered(const TQuad &q) const
    {
        constexpr double kMargin = 1.5;
        const double left = m_area.left(), right = m_area.right() + 1;
        const auto [first, last] = q.RowsMeeting(left - kMargin - 1, right + kMargin + 1);
        for (int y = std::max({q.Top - 2, m_area.top(), first});
             y <= std::min({q.Bottom + 2, m_area.bottom(), last}); ++y) {
            const auto [a0, b0] = q.Span(y);
            const auto [a1, b1] = q.Span(y + 1);
            const double from = std::max(std::min(a0, a1) - kMargin, left);
            const double to = std::min(std::max(b0, b1) + kMargin, right);
            if (from >= to)
                continue; // beside the area on this row
            const auto &held = m_rows[std::size_t(y - m_area.top())];
            if (from < held.first || to > held.second)
                return false;
        }
        return true;
    }
    void Claim(const TQuad &q)
    {
        constexpr double kMargin = 1.5;
        // Only what lies over the area is asked about: a claim is cut to it, with room for the
        // margins, so that one beside it never takes the place of one over it.
        const double left = m_area.left() - 2 * kMargin, right = m_area.right() + 1 + 2 * kMargin;
        const auto [first, last] = q.RowsMeeting(left, right);
        for (int y = std::max({q.Top + 1, m_area.top(), first});
             y <= std::min({q.Bottom - 2, m_area.bottom(), last}); ++y) {
            const auto [a0, b0] = q.Span(y);
            const auto [a1, b1] = q.Span(y + 1);
            const double from = std::max({a0, a1, left}) + kMargin;
            const double to = std::min({b0, b1, right}) - kMargin;
            if (from < to)
                Take(y, from, to);
        }
    }
    // The same for a line whose pixels are known (TLineRaster::LineRuns): covered when every
    // pixel lies inside what is claimed on its row; it claims its pixels.
    bool Covered(const std::vector<TLineRaster::TRun> &runs) const
    {
        for (const TLineRaster::TRun &run : runs) {
            if (!run.Column) {
                if (!Holds(run.Cross, run.From, run.To + 1))
                    return false;
                continue;
            }
            for (int y = run.From; y <= run.To; ++y)
                if (!Holds(y, run.Cross, run.Cross + 1))
                    return false;
        }
        return true;
    }
    void Claim(const std::vector<TLineRaster::TRun> &runs)
    {
        for (const TLineRaster::TRun &run : runs) {
            if (!run.Column) {
                if (run.Cross >= m_area.top() && run.Cross <= m_area.bottom())
                    Take(run.Cross, run.From, run.To + 1);
                continue;
            }
            for (int y = std::max(run.From, m_area.top()); y <= std::min(run.To, m_area.bottom());
                 ++y)
                Take(y, run.Cross, run.Cross + 1);
        }
    }

private:
    bool Holds(int y, double from, double to) const
    {
        if (y < m_area.top() || y > m_area.bottom())
            return false;
        const auto &held = m_rows[std::size_t(y - m_area.top())];
        return from >= held.first && to <= held.second;
    }
    // Row y's stretch takes [from, to] in: joined when they meet, else the longer kept.
    void Take(int y, double from, double to)
    {
        auto &held = m_rows[std::size_t(y - m_area.top())];
        if (held.first > held.second || from > held.second || to < held.first) {
            if (to - from > held.second - held.first)
                held = {from, to};
        } else {
            held = {std::min(held.first, from), std::max(held.second, to)};
        }
    }

    QRect m_area;
    std::vector<std::pair<double, double>> m_rows;
};

// Per row (series index): the pixel rows of its arrows' bottom edge (under the row's own scale,
// when the scales are drawn) and top edge, where its ribbons end.
struct TRowEdges
{
    std::vector<int> Bottom, Top;
};

TRowEdges RowEdgesOf(const TChart &chart, const TViewOptions &view)
{
    const TChartGeometry &g = chart.Geometry();
    const int n = chart.SeriesCount();
    TRowEdges rows{std::vector<int>(std::size_t(n), 0), std::vector<int>(std::size_t(n), 0)};
    const int scaleDepth = view.RowScales ? RowScaleDepth(chart) : 0;
    for (int s = 1; s < n; ++s) {
        const TArrowSeries &series = chart.Series(s);
        if (series.Count() == 0)
            continue;
        const int y = g.YPixel(series.StartY(0));
        const int half = (std::abs(series.ArrowWidth()) + 1) / 2;
        rows.Bottom[std::size_t(s)] = y + half + scaleDepth;
        rows.Top[std::size_t(s)] = y - half + 1;
    }
    return rows;
}

// A ribbon's reach along the axis: from the lowest to the highest of its four ends.
std::pair<double, double> Reach(const TRibbon &r)
{
    return {std::min({r.Upper0, r.Upper1, r.Lower0, r.Lower1}),
            std::max({r.Upper0, r.Upper1, r.Lower0, r.Lower1})};
}

bool FiniteEnds(const TRibbon &r)
{
    return std::isfinite(r.Upper0) && std::isfinite(r.Upper1) && std::isfinite(r.Lower0) &&
           std::isfinite(r.Lower1);
}

void DrawSequence(const TChart &chart, TCanvas &canvas, const std::vector<const TRibbon *> &ribbons,
                  const TRowEdges &rows, const TViewOptions &view, std::pair<float, float> range,
                  bool writeLines);
} // namespace

void TRibbonIndex::Clear()
{
    m_built = false;
    m_reach.reset();
    m_pairs.clear();
    m_classes.clear();
    m_entries.clear();
}

bool TRibbonIndex::AllWithin(const std::vector<TRibbon> &ribbons, double low, double high)
{
    if (!m_reach) {
        double lowest = std::numeric_limits<double>::infinity(), highest = -lowest;
        for (const TRibbon &r : ribbons) {
            if (!FiniteEnds(r)) {
                lowest = highest = std::numeric_limits<double>::quiet_NaN();
                break;
            }
            const auto [a, b] = Reach(r);
            lowest = std::min(lowest, a);
            highest = std::max(highest, b);
        }
        m_reach = std::pair(lowest, highest);
    }
    return m_reach->first >= low && m_reach->second <= high; // false for NaN
}

void TRibbonIndex::Build(const std::vector<TRibbon> &ribbons)
{
    Clear();
    // Class 0 holds reaches of no length, 1 to 125 those of 2^(class - 64) up to twice that
    // (the few shorter or longer ones at the ends), 127 those whose ends are not all finite.
    constexpr int kEverywhere = 127;
    struct TFiled
    {
        double Low, High;
        quint32 Index, Pair;
        int Class;
    };
    std::vector<TFiled> filed;
    filed.reserve(ribbons.size());
    QHash<quint64, quint32> pairOf;
    quint64 lastKey = ~quint64(0);
    quint32 lastPair = 0;
    for (std::size_t i = 0; i < ribbons.size(); ++i) {
        const TRibbon &r = ribbons[i];
        const quint64 key = quint64(quint32(r.Upper)) << 32 | quint32(r.Lower);
        if (key != lastKey) {
            const auto found = pairOf.constFind(key);
            if (found != pairOf.constEnd()) {
                lastPair = *found;
            } else {
                lastPair = quint32(m_pairs.size());
                pairOf.insert(key, lastPair);
                m_pairs.push_back({r.Upper, r.Lower, 0, 0});
            }
            lastKey = key;
        }
        const auto [low, high] = Reach(r);
        int c = kEverywhere;
        if (FiniteEnds(r))
            c = high > low ? std::clamp(std::ilogb(high - low), -63, 61) + 64 : 0;
        filed.push_back({low, high, quint32(i), lastPair, c});
    }
    std::sort(filed.begin(), filed.end(), [](const TFiled &a, const TFiled &b) {
        if (a.Pair != b.Pair)
            return a.Pair < b.Pair;
        if (a.Class != b.Class)
            return a.Class < b.Class;
        return a.Low < b.Low || (a.Low == b.Low && a.Index < b.Index);
    });
    m_entries.reserve(filed.size());
    for (std::size_t i = 0; i < filed.size(); ++i) {
        const TFiled &f = filed[i];
        const bool newClass =
            i == 0 || f.Pair != filed[i - 1].Pair || f.Class != filed[i - 1].Class;
        if (newClass) {
            if (i == 0 || f.Pair != filed[i - 1].Pair)
                m_pairs[f.Pair].FirstClass = quint32(m_classes.size());
            m_classes.push_back({0, quint32(i), quint32(i), f.Class == kEverywhere});
        }
        TClass &c = m_classes.back();
        c.Longest = std::max(c.Longest, f.High - f.Low);
        c.End = quint32(i + 1);
        m_pairs[f.Pair].EndClass = quint32(m_classes.size());
        m_entries.push_back({f.Low, f.High, f.Index});
    }
    m_built = true;
}

void TRibbonIndex::Reaching(std::size_t pair, double low, double high,
                            std::vector<quint32> &into) const
{
    const TPair &p = m_pairs[pair];
    for (quint32 k = p.FirstClass; k < p.EndClass; ++k) {
        const TClass &c = m_classes[k];
        const TEntry *begin = m_entries.data() + c.Begin, *end = m_entries.data() + c.End;
        if (c.Everywhere) {
            for (const TEntry *e = begin; e != end; ++e)
                into.push_back(e->Index);
            continue;
        }
        // A reach of this class that starts further left than its longest ends before low.
        const TEntry *from = std::lower_bound(begin, end, low - c.Longest,
                                              [](const TEntry &e, double v) { return e.Low < v; });
        const TEntry *to =
            std::upper_bound(from, end, high, [](double v, const TEntry &e) { return v < e.Low; });
        for (const TEntry *e = from; e != to; ++e)
            if (e->High >= low)
                into.push_back(e->Index);
    }
}

TColor RibbonColour(TLinkColours colours, float identity, bool inverted, float lowest,
                    float highest)
{
    if (colours == TLinkColours::Black)
        return clBlack;
    const TColor hue = colours == TLinkColours::Grey ? kGreyHue
                       : inverted                    ? kInvertedHue
                                                     : kDirectHue;
    if (identity < 0 || lowest < 0)
        return hue;
    const double span = double(highest) - double(lowest);
    const double t = span > 1e-6 ? std::clamp((double(identity) - lowest) / span, 0.0, 1.0) : 1.0;
    return OnWhite(hue, kLightest + (1 - kLightest) * t);
}

void TRibbons::Find(const TChart &chart, const TCatalogue &catalogue,
                    const std::vector<TRegionAlignment> &stretches)
{
    m_ribbons.clear();
    ForEachLinkGroup(chart, [&](int s, const int *upper, int k, int t, const int *lower, int m) {
        const TArrowSeries &a = chart.Series(s);
        const TArrowSeries &b = chart.Series(t);
        if (qint64(k) * m > kMostGroupLinks) {
            TRibbon r{s,
                      t,
                      a.StartX(upper[0]),
                      a.StartX(upper[0]),
                      b.StartX(lower[0]),
                      b.StartX(lower[0]),
                      -1};
            const auto widen = [](double &low, double &high, double x0, double x1) {
                low = std::min({low, x0, x1});
                high = std::max({high, x0, x1});
            };
            for (int i = 0; i < k; ++i)
                widen(r.Upper0, r.Upper1, a.StartX(upper[i]), a.EndX(upper[i]));
            for (int j = 0; j < m; ++j)
                widen(r.Lower0, r.Lower1, b.StartX(lower[j]), b.EndX(lower[j]));
            m_ribbons.push_back(r);
            return;
        }
        for (int i = 0; i < k; ++i)
            for (int j = 0; j < m; ++j) {
                const int p = upper[i], q = lower[j];
                m_ribbons.push_back({s, t, a.StartX(p), a.EndX(p), b.StartX(q), b.EndX(q),
                                     LinkIdentity(catalogue, a.HitKey(p), b.HitKey(q))});
            }
    });
    // Stretches join the rows of their two chromosomes, the upper row's first.
    const std::vector<int> rowOf = RowOfChromosome(chart, catalogue.FChromosomes.size());
    for (const TRegionAlignment &link : stretches) {
        if (link.ChromosomeA < 0 || link.ChromosomeB < 0 ||
            std::size_t(std::max(link.ChromosomeA, link.ChromosomeB)) >= rowOf.size())
            continue;
        const int ra = rowOf[std::size_t(link.ChromosomeA)];
        const int rb = rowOf[std::size_t(link.ChromosomeB)];
        if (ra < 0 || rb < 0 || ra == rb)
            continue;
        const ChromosomeView &va = catalogue.FChromosomes[std::size_t(link.ChromosomeA)];
        const ChromosomeView &vb = catalogue.FChromosomes[std::size_t(link.ChromosomeB)];
        // On a row of stretches drawn apart, each stretch takes the part of the link it holds.
        for (std::size_t i = 0; i < HeldParts(va); ++i)
            for (std::size_t j = 0; j < HeldParts(vb); ++j) {
                const auto [lowA, highA] = HeldPart(va, i);
                const auto [lowB, highB] = HeldPart(vb, j);
                std::optional<TRegionAlignment> shown =
                    ClippedToRows(link, lowA, highA, lowB, highB);
                if (!shown)
                    continue;
                const double a0 = double(MapCoordinate(va, shown->StartA));
                const double a1 = double(MapCoordinate(va, shown->EndA));
                double b0 = double(MapCoordinate(vb, shown->StartB));
                double b1 = double(MapCoordinate(vb, shown->EndB));
                if (link.Reverse)
                    std::swap(b0, b1);
                if (ra < rb)
                    m_ribbons.push_back({ra, rb, a0, a1, b0, b1, link.Identity});
                else
                    m_ribbons.push_back({rb, ra, b0, b1, a0, a1, link.Identity});
            }
    }
    std::stable_sort(m_ribbons.begin(), m_ribbons.end(), DrawnBefore);
    m_ribbons.shrink_to_fit();
    m_pairs.clear();
    QSet<quint64> pairs;
    for (const TRibbon &r : m_ribbons) {
        const quint64 key = quint64(quint32(r.Upper)) << 32 | quint32(r.Lower);
        if ((m_pairs.empty() || m_pairs.back() != std::pair(r.Upper, r.Lower)) &&
            !pairs.contains(key)) {
            pairs.insert(key);
            m_pairs.emplace_back(r.Upper, r.Lower);
        }
    }
    m_ribbonIndex.Clear();
    m_blocksFound = false;
    m_blockIndex.Clear();
    m_medianWidth.assign(std::size_t(chart.SeriesCount()), 0);
    for (int s = 1; s < chart.SeriesCount(); ++s) {
        const TArrowSeries &series = chart.Series(s);
        std::vector<double> widths(std::size_t(series.Count()));
        for (int i = 0; i < series.Count(); ++i)
            widths[std::size_t(i)] = std::abs(series.EndX(i) - series.StartX(i));
        if (widths.empty())
            continue;
        std::nth_element(widths.begin(), widths.begin() + std::ptrdiff_t(widths.size() / 2),
                         widths.end());
        m_medianWidth[std::size_t(s)] = widths[widths.size() / 2];
    }
    m_lowest = m_highest = -1;
    for (const TRibbon &r : m_ribbons) {
        if (r.Identity < 0)
            continue;
        m_lowest = m_lowest < 0 ? r.Identity : std::min(m_lowest, r.Identity);
        m_highest = std::max(m_highest, r.Identity);
    }
}

const std::vector<TRibbon> &TRibbons::Of(const TChart &chart, const TCatalogue &catalogue,
                                         const std::vector<TRegionAlignment> &stretches)
{
    bool same = m_rows.size() == std::size_t(chart.SeriesCount()) &&
                m_stretches == stretches.data() && m_stretchCount == stretches.size();
    for (int s = 0; same && s < chart.SeriesCount(); ++s)
        same =
            m_rows[std::size_t(s)] == std::make_pair(&chart.Series(s), chart.Series(s).Revision());
    if (!same) {
        Find(chart, catalogue, stretches);
        m_rows.clear();
        for (int s = 0; s < chart.SeriesCount(); ++s)
            m_rows.emplace_back(&chart.Series(s), chart.Series(s).Revision());
        m_stretches = stretches.data();
        m_stretchCount = stretches.size();
    }
    return m_ribbons;
}

const std::vector<TRibbon> &TRibbons::BlocksOf(const TChart &chart, const TCatalogue &catalogue,
                                               const std::vector<TRegionAlignment> &stretches,
                                               const TBlockOptions &options)
{
    Of(chart, catalogue, stretches);
    const bool sameOptions = m_blockOptions.MaxGap == options.MaxGap &&
                             m_blockOptions.MaxGapLength == options.MaxGapLength &&
                             m_blockOptions.MinAnchors == options.MinAnchors;
    if (m_blocksFound && sameOptions)
        return m_blocks;
    const std::vector<TSyntenyBlock> blocks = SyntenyBlocksOf(chart, catalogue, stretches, options);
    std::vector<char> inBlock(m_ribbons.size(), 0);
    std::vector<TSyntenyBlock> drawn;
    for (const TSyntenyBlock &b : blocks) {
        for (const qint32 a : b.Anchors)
            if (a >= 0 && std::size_t(a) < inBlock.size())
                inBlock[std::size_t(a)] = 1;
        drawn.push_back(b);
    }
    m_blocks.clear();
    m_blockIndex.Clear();
    for (std::size_t i = 0; i < m_ribbons.size(); ++i)
        if (!inBlock[i])
            m_blocks.push_back(m_ribbons[i]);
    std::stable_sort(drawn.begin(), drawn.end(),
                     [](const TSyntenyBlock &a, const TSyntenyBlock &b) {
                         return a.UpperEnd - a.UpperStart > b.UpperEnd - b.UpperStart;
                     });
    for (const TSyntenyBlock &b : drawn)
        m_blocks.push_back({b.Upper, b.Lower, b.UpperStart, b.UpperEnd,
                            b.Inverted ? b.LowerEnd : b.LowerStart,
                            b.Inverted ? b.LowerStart : b.LowerEnd, b.Identity});
    m_blockOptions = options;
    m_blocksFound = true;
    return m_blocks;
}

bool TRibbons::AsBlocks(const TChart &chart, int upper, int lower, double scale) const
{
    constexpr double kNarrowest = 2; // device pixels
    const double perValue = chart.Geometry().XScale * scale;
    const auto narrow = [&](int row) {
        return row >= 0 && std::size_t(row) < m_medianWidth.size() &&
               m_medianWidth[std::size_t(row)] * perValue < kNarrowest;
    };
    return narrow(upper) || narrow(lower);
}

void TRibbons::Draw(const TChart &chart, TCanvas &canvas, const TCatalogue &catalogue,
                    const TViewOptions &view, const std::vector<TRegionAlignment> &stretches)
{
    Of(chart, catalogue, stretches);
    const double scale = std::abs(canvas.Painter().deviceTransform().m11());
    // Level of detail: the pairs of rows whose genes are too narrow to tell apart show their
    // blocks, the others their ribbons; the ribbons first, then the blocks.
    bool any = view.LinkStyle == TLinkStyle::Blocks, all = true;
    if (!any)
        for (const auto &[upper, lower] : m_pairs) {
            const bool asBlocks = AsBlocks(chart, upper, lower, scale);
            any = any || asBlocks;
            all = all && asBlocks;
        }
    struct TList
    {
        const std::vector<TRibbon> *Ribbons;
        TRibbonIndex *Index;
        bool Blocks;
    };
    std::vector<TList> lists;
    if (any && all) {
        lists.push_back({&BlocksOf(chart, catalogue, stretches, view.Blocks), &m_blockIndex, true});
    } else if (any) {
        lists.push_back({&m_ribbons, &m_ribbonIndex, false});
        lists.push_back({&BlocksOf(chart, catalogue, stretches, view.Blocks), &m_blockIndex, true});
    } else {
        lists.push_back({&m_ribbons, &m_ribbonIndex, false});
    }
    const bool mixed = lists.size() > 1;
    const auto wanted = [&](const TList &list, qint32 upper, qint32 lower) {
        return !mixed || AsBlocks(chart, upper, lower, scale) == list.Blocks;
    };

    const bool skip = chart.SkipHiddenWork;
    const QRect area = canvas.VisibleArea();
    if (skip && !area.isValid())
        return;
    const TRowEdges rows = RowEdgesOf(chart, view);
    // The axis values a ribbon must reach to touch the area's pixels, with two pixels to spare
    // each way for the rounding of its edges.
    const TChartGeometry &g = chart.Geometry();
    double low = -std::numeric_limits<double>::infinity(), high = -low;
    if (g.XScale != 0) {
        const double a = g.XValue(area.left() - 2), b = g.XValue(area.right() + 3);
        if (std::isfinite(a) && std::isfinite(b)) {
            low = std::min(a, b);
            high = std::max(a, b);
        }
    }
    std::vector<const TRibbon *> drawn;
    std::vector<quint32> found;
    for (const TList &list : lists) {
        const std::vector<TRibbon> &ribbons = *list.Ribbons;
        // The whole map shown: every ribbon of the wanted pairs, no index made for it.
        if (!skip || list.Index->AllWithin(ribbons, low, high)) {
            for (const TRibbon &r : ribbons)
                if (wanted(list, r.Upper, r.Lower))
                    drawn.push_back(&r);
            continue;
        }
        if (!list.Index->Built())
            list.Index->Build(ribbons);
        found.clear();
        const std::vector<TRibbonIndex::TPair> &pairs = list.Index->Pairs();
        for (std::size_t p = 0; p < pairs.size(); ++p) {
            const TRibbonIndex::TPair &pair = pairs[p];
            // Ribbons run from the upper row's bottom edge to the lower row's top edge.
            if (!wanted(list, pair.Upper, pair.Lower) ||
                rows.Top[std::size_t(pair.Lower)] < area.top() ||
                rows.Bottom[std::size_t(pair.Upper)] > area.bottom() + 1)
                continue;
            list.Index->Reaching(p, low, high, found);
        }
        // Back into the list's order, which is the order of drawing: sorted when few, else
        // marked and read through.
        if (found.size() * 16 < ribbons.size()) {
            std::sort(found.begin(), found.end());
            for (const quint32 i : found)
                drawn.push_back(&ribbons[i]);
        } else {
            std::vector<char> shows(ribbons.size(), 0);
            for (const quint32 i : found)
                shows[i] = 1;
            for (std::size_t i = 0; i < ribbons.size(); ++i)
                if (shows[i])
                    drawn.push_back(&ribbons[i]);
        }
    }
    bool writeLines = skip && chart.WriteLines && canvas.ExactPixels();
    if (writeLines) {
        if (!m_rasterAgrees)
            m_rasterAgrees = LineRasterAgreesWithPainter();
        writeLines = *m_rasterAgrees;
    }
    DrawSequence(chart, canvas, drawn, rows, view, IdentityRange(), writeLines);
}

void DrawRibbons(const TChart &chart, TCanvas &canvas, const std::vector<TRibbon> &ribbons,
                 const TViewOptions &view, std::pair<float, float> range, bool writeLines)
{
    std::vector<const TRibbon *> all;
    all.reserve(ribbons.size());
    for (const TRibbon &r : ribbons)
        all.push_back(&r);
    DrawSequence(chart, canvas, all, RowEdgesOf(chart, view), view, range, writeLines);
}

namespace {
void DrawSequence(const TChart &chart, TCanvas &canvas, const std::vector<const TRibbon *> &ribbons,
                  const TRowEdges &rows, const TViewOptions &view, std::pair<float, float> range,
                  bool writeLines)
{
    if (ribbons.empty())
        return;
    const TChartGeometry &g = chart.Geometry();
    const QRect area = canvas.VisibleArea();
    const bool skip = chart.SkipHiddenWork;
    if (skip && !area.isValid())
        return;
    const bool curved = view.RibbonShape == TRibbonShape::Curved;
    const auto quadOf = [&](const TRibbon &r) {
        return TQuad{EdgePixel(g, r.Upper0, r.Upper1),  EdgePixel(g, r.Upper1, r.Upper0),
                     EdgePixel(g, r.Lower0, r.Lower1),  EdgePixel(g, r.Lower1, r.Lower0),
                     rows.Bottom[std::size_t(r.Upper)], rows.Top[std::size_t(r.Lower)]};
    };
    const double scale = std::abs(canvas.Painter().deviceTransform().m11());
    QPainter &painter = canvas.Painter();
    painter.save();
    std::optional<TLineRaster> raster;
    if (writeLines && !curved)
        raster.emplace(painter, false);
    // Straight ribbons under later ones are left out (curved sides are not followed).
    std::vector<char> hidden;
    if (skip && !curved) {
        hidden.assign(ribbons.size(), 0);
        TCoverage coverage(area);
        // Where lines are written here, a thin ribbon's pixels are known before it is drawn:
        // zoomed in, the thousands that cross the area level between two rows lie under the
        // last few.
        const bool linesKnown =
            raster && raster->Available() && raster->UsePen(QPen(QColor(Qt::black), 0));
        // Finding a line's pixels costs about as much as writing them: where less than half of
        // a batch of lines turns out hidden (the whole map, lines short and apart, or steep
        // between rows far apart), the next lines are left to the ribbons' own test a while.
        constexpr int kBatch = 512, kPause = 4096;
        int tried = 0, found = 0, paused = 0;
        std::vector<TLineRaster::TRun> runs;
        for (std::size_t i = ribbons.size(); i-- > 0;) {
            const TQuad q = quadOf(*ribbons[i]);
            const bool thin = q.Thin(scale);
            if (thin && linesKnown && paused > 0) {
                --paused;
            } else if (thin && linesKnown &&
                       raster->LineRuns(QPoint((q.U0 + q.U1) / 2, q.Top),
                                        QPoint((q.L0 + q.L1) / 2, q.Bottom), runs)) {
                const bool covered = coverage.Covered(runs);
                if (covered)
                    hidden[i] = 1;
                else
                    coverage.Claim(runs);
                found += covered;
                if (++tried == kBatch) {
                    paused = found * 2 < tried ? kPause : 0;
                    tried = found = 0;
                }
                continue;
            }
            if (q.Bottom - q.Top < 4)
                continue; // too short to follow
            if (coverage.Covered(q))
                hidden[i] = 1;
            else if (!thin) // a line paints too little to claim
                coverage.Claim(q);
        }
    }
    bool rasterPen = false;
    TColor current = ~TColor(0);
    bool currentThin = false;
    QColor colour;
    // Ribbons at genome scale fall on a few pixels each: one drawn over the last one with the
    // same corners, rows and colour changes no pixel.
    int last[7] = {0, 0, 0, 0, 0, 0, -1};
    for (std::size_t i = 0; i < ribbons.size(); ++i) {
        if (!hidden.empty() && hidden[i])
            continue;
        const TRibbon &r = *ribbons[i];
        const TQuad q = quadOf(r);
        const int yu = q.Top, yl = q.Bottom;
        const int u0 = q.U0, u1 = q.U1, l0 = q.L0, l1 = q.L1;
        if (skip) {
            const int left = std::min({u0, u1, l0, l1}), right = std::max({u0, u1, l0, l1});
            if (right < area.left() || left > area.right() + 1 || yl < area.top() ||
                yu > area.bottom() + 1)
                continue;
        }
        const TColor c =
            RibbonColour(view.LinkColours, r.Identity, r.Inverted(), range.first, range.second);
        // The rows too: a gene joined to two rows below can end on the same columns of both.
        const int corners[7] = {u0, u1, l0, l1, yu, yl, int(c)};
        if (std::equal(corners, corners + 7, last))
            continue;
        std::copy(corners, corners + 7, last);
        const bool thin = q.Thin(scale);
        if (c != current || thin != currentThin) {
            current = c;
            currentThin = thin;
            colour = ToQColor(c);
            painter.setPen(thin ? QPen(colour, 0) : QPen(Qt::NoPen));
            painter.setBrush(thin ? QBrush(Qt::NoBrush) : QBrush(colour));
            rasterPen = thin && raster && raster->Available() && raster->UsePen(painter.pen());
        }
        const int um = (u0 + u1) / 2, lm = (l0 + l1) / 2;
        if (!curved) {
            if (thin && rasterPen) {
                raster->Line(QPoint(um, yu), QPoint(lm, yl));
                continue;
            }
            if (thin) {
                painter.drawLine(um, yu, lm, yl);
                continue;
            }
            const QPoint quad[4] = {{u0, yu}, {u1, yu}, {l1, yl}, {l0, yl}};
            painter.drawPolygon(quad, 4, Qt::OddEvenFill);
            continue;
        }
        const double ym = (yu + yl) / 2.0;
        QPainterPath path;
        if (thin) {
            path.moveTo(um, yu);
            path.cubicTo(um, ym, lm, ym, lm, yl);
            painter.drawPath(path);
            continue;
        }
        path.setFillRule(Qt::OddEvenFill);
        path.moveTo(u0, yu);
        path.lineTo(u1, yu);
        path.cubicTo(u1, ym, l1, ym, l1, yl);
        path.lineTo(l0, yl);
        path.cubicTo(l0, ym, u0, ym, u0, yu);
        painter.drawPath(path);
    }
    painter.restore();
}
} // namespace

std::vector<TRibbonRowSums> RibbonRowSums(const TChart &chart, const std::vector<TRibbon> &ribbons)
{
    std::vector<TRibbonRowSums> sums(std::size_t(std::max(chart.SeriesCount(), 0)));
    for (const TRibbon &r : ribbons) {
        if (r.Lower < 0 || std::size_t(r.Lower) >= sums.size())
            continue;
        TRibbonRowSums &row = sums[std::size_t(r.Lower)];
        ++row.Count;
        if (r.Identity >= 0) {
            ++row.WithIdentity;
            row.IdentitySum += r.Identity;
        }
    }
    return sums;
}
