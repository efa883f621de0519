#include "chart/SeriesPainter.h"

#include "chart/LineRaster.h"

#include "chart/TCanvas.h"

#include "util/CommonDecl.h"

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPen>
#include <QPointF>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {
// Parts of one label to draw.
constexpr quint8 kDrawLeader = 1;
constexpr quint8 kDrawBox = 2; // fill and frame
constexpr quint8 kDrawText = 4;
constexpr quint8 kDrawGlyphs = 8; // with kDrawText: only the glyphs m_labelGlyphs gives

QFont MarksFont(const TChartFont &f)
{
    QFont font(f.Name);
    // Like a window-system font height: negative is the character height in pixels; the chart
    // treats a positive height the same way.
    font.setPixelSize(std::max(1, std::abs(f.Height)));
    font.setBold(f.Bold);
    font.setItalic(f.Italic);
    return font;
}

QPen PenOf(const TChartPen &p)
{
    QPen pen(ToQColor(p.Color));
    pen.setWidth(std::max(0, p.Width));
    pen.setStyle(p.Style);
    return pen;
}

quint64 Mix(quint64 h)
{
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

qint32 PenKey(const TChartPen &p)
{
    return qint32(p.Style) | (std::clamp(p.Width, 0, 0xFFFF) << 8);
}

quint64 NextCacheGeneration()
{
    // Charts drawn on two threads take generations from the one counter.
    static std::atomic<quint64> counter{0};
    return ++counter;
}

// Hands a vector's memory back when it holds far more room than the drawings now need.
template <typename T> void ShrinkOversized(std::vector<T> &v, std::size_t need)
{
    if (v.capacity() > 4 * std::max<std::size_t>(need, 256))
        std::vector<T>().swap(v);
}
} // namespace

TFontCache::TFontCache(const QFont &font)
    : Font(font), Metrics(font), Height(Metrics.height()), Ascent(Metrics.ascent()),
      Generation(NextCacheGeneration())
{
}

int TFontCache::Id(const QByteArray &label)
{
    const auto it = Index.constFind(label);
    if (it != Index.constEnd())
        return it.value();
    TTextInfo info;
    info.Text = DisplayText(label);
    info.Width = Metrics.horizontalAdvance(info.Text);
    info.Height = Height;
    info.Ascent = Ascent;
    const int id = int(Infos.size());
    HasText.push_back(!info.Text.isEmpty());
    Inks.emplace_back();
    Infos.push_back(std::move(info));
    Index.insert(label, id);
    return id;
}

const TTextGlyphs &TFontCache::GlyphsOf(int id)
{
    TTextInfo &info = Infos[std::size_t(id)];
    if (!info.Glyphs)
        info.Glyphs = std::make_unique<TTextGlyphs>(LayOutGlyphs(info.Text, Font));
    return *info.Glyphs;
}

const QRect &TFontCache::InkOf(int id)
{
    QRect &ink = Inks[std::size_t(id)];
    if (ink.isNull()) {
        // boundingRect covers every pixel the text touches drawn at the origin's baseline; one
        // more pixel round it absorbs antialiasing at fractional glyph edges (and keeps the
        // rectangle from being null).
        const TTextInfo &info = Infos[std::size_t(id)];
        ink = Metrics.boundingRect(info.Text).translated(0, info.Ascent).adjusted(-1, -1, 1, 1);
    }
    return ink;
}

std::vector<int> TFontCache::Keep(const std::vector<char> &used)
{
    std::vector<int> renumbered(Infos.size(), -1);
    std::vector<TTextInfo> kept;
    std::vector<char> keptHasText;
    std::vector<QRect> keptInks;
    kept.reserve(std::size_t(std::count(used.begin(), used.end(), char(1))));
    for (std::size_t id = 0; id < Infos.size(); ++id) {
        if (!used[id])
            continue;
        renumbered[id] = int(kept.size());
        kept.push_back(std::move(Infos[id]));
        keptHasText.push_back(HasText[id]);
        keptInks.push_back(Inks[id]);
    }
    HasText = std::move(keptHasText);
    Inks = std::move(keptInks);
    // Built anew rather than erased from: a hash never gives back the room of erased entries.
    QHash<QByteArray, int> index;
    index.reserve(qsizetype(kept.size()));
    for (auto it = Index.cbegin(); it != Index.cend(); ++it)
        if (const int id = renumbered[std::size_t(it.value())]; id >= 0)
            index.insert(it.key(), id);
    Infos = std::move(kept);
    Index = std::move(index);
    Generation = NextCacheGeneration();
    return renumbered;
}

void TShapeSet::Reset(std::size_t expected)
{
    std::size_t capacity = 16;
    while (capacity < expected * 2)
        capacity *= 2;
    m_mask = capacity - 1;
    m_peak = std::max(m_peak, capacity);
    m_ready = false;
}

void TShapeSet::MakeRoom()
{
    // Kept at its largest until Trim: drawings of one frame ask for different sizes, and
    // a table grown anew each time costs its pages again. A key is read only where its slot
    // is marked used: the keys are neither cleared nor even written before use, so a table
    // costs only the pages the drawing fills.
    const std::size_t capacity = m_mask + 1;
    if (m_room < capacity) {
        m_keys.reset();
        m_keys.reset(new Key[capacity]);
        m_room = capacity;
        m_used.resize(capacity);
    }
    std::fill(m_used.begin(), m_used.begin() + std::ptrdiff_t(capacity), false);
    m_ready = true;
}

void TShapeSet::Trim()
{
    // A drawing that never asked (not on exact pixels) says nothing about the need.
    if (m_peak == 0)
        return;
    // Only once the need has stayed small for a while: the drawings of one frame alternate
    // between small and large needs, and a table given back on every small one is grown anew
    // on the next large one.
    constexpr int kSmallDrawings = 8;
    if (m_room <= 4 * std::max<std::size_t>(m_peak, 16)) {
        m_smallDrawings = 0;
    } else if (++m_smallDrawings >= kSmallDrawings) {
        m_keys.reset();
        m_room = 0;
        std::vector<bool>().swap(m_used);
        m_ready = false;
        m_smallDrawings = 0;
    }
    m_peak = 0;
}

bool TShapeSet::Insert(const Key &key)
{
    if (!m_ready)
        MakeRoom();
    quint64 h = 0;
    for (qint32 v : key)
        h = Mix(h ^ quint32(v));
    for (std::size_t i = h & m_mask;; i = (i + 1) & m_mask) {
        if (!m_used[i]) {
            m_used[i] = true;
            m_keys[i] = key;
            return true;
        }
        if (m_keys[i] == key)
            return false;
    }
}

TBandCoverage::TBandCoverage(int left, int right) : m_left(left)
{
    m_uncovered.Reset(std::size_t(std::max(0, right - left + 2)));
}

bool TBandCoverage::Covered(int from, int to)
{
    return m_uncovered.Next(from - m_left) > to - m_left;
}

void TBandCoverage::Cover(int from, int to)
{
    for (int c = m_uncovered.Next(from - m_left); c <= to - m_left; c = m_uncovered.Next(c))
        m_uncovered.Take(c);
}

TFontCache &TSeriesPainter::FontCacheFor(const TChartFont &font)
{
    const QFont wanted = MarksFont(font);
    for (const auto &f : m_fonts)
        if (f->Font == wanted)
            return *f;
    m_fonts.push_back(std::make_unique<TFontCache>(wanted));
    return *m_fonts.back();
}

const std::vector<int> &TSeriesPainter::TextIds(const TArrowSeries &series, TFontCache &cache)
{
    // Each label is looked up once per change of the points, not once per drawing.
    if (series.m_textIdsRevision != series.Revision() ||
        series.m_textIdsCache != cache.Generation ||
        series.m_textIds.size() != std::size_t(series.Count())) {
        series.m_textIds.resize(std::size_t(series.Count()));
        series.m_labelWidths.resize(std::size_t(series.Count()));
        qint32 widest = 0;
        for (int i = 0; i < series.Count(); ++i) {
            const int id = cache.Id(series.Label(i));
            series.m_textIds[std::size_t(i)] = id;
            const qint32 width = cache.Infos[std::size_t(id)].Width + 2 * kLabelPadX;
            series.m_labelWidths[std::size_t(i)] = width;
            widest = std::max(widest, width);
        }
        series.m_labelWidest = widest;
        series.m_textIdsRevision = series.Revision();
        series.m_textIdsCache = cache.Generation;
        m_textsChanged = true;
    }
    return series.m_textIds;
}

// Every file loaded, every rebuild with other names brings texts the cache has not seen; those
// of rows gone would stay for good. A text counts as in use while a row of this drawing holds
// its id, shown or not (a row whose labels are hidden keeps its ids for when they come back).
// Checked only when the rows or their labels changed, and then one pass over the ids.
void TSeriesPainter::DropUnusedTexts(const std::vector<TArrowSeries *> &series)
{
    std::vector<quint64> revisions;
    revisions.reserve(series.size());
    for (const TArrowSeries *s : series)
        revisions.push_back(s->Revision());
    if (!m_textsChanged && revisions == m_lastRevisions)
        return;
    m_lastRevisions = std::move(revisions);
    m_textsChanged = false;

    const auto holds = [](const TArrowSeries &s, const TFontCache &cache) {
        return s.m_textIdsCache == cache.Generation && s.m_textIdsRevision == s.Revision() &&
               s.m_textIds.size() == std::size_t(s.Count());
    };
    for (auto f = m_fonts.begin(); f != m_fonts.end();) {
        TFontCache &cache = **f;
        std::vector<char> used(cache.Infos.size(), 0);
        std::size_t inUse = 0;
        for (const TArrowSeries *s : series) {
            if (!holds(*s, cache))
                continue;
            for (int id : s->m_textIds) {
                char &u = used[std::size_t(id)];
                inUse += !u;
                u = 1;
            }
        }
        const bool drawing =
            std::find(m_seriesFonts.begin(), m_seriesFonts.end(), &cache) != m_seriesFonts.end();
        // A font no row uses any more goes as a whole.
        if (inUse == 0 && !drawing) {
            f = m_fonts.erase(f);
            continue;
        }
        const std::size_t unused = cache.Infos.size() - inUse;
        if (unused >= std::max(kMinDroppedTexts, inUse / 2)) {
            std::vector<const TArrowSeries *> holders;
            for (const TArrowSeries *s : series)
                if (holds(*s, cache))
                    holders.push_back(s);
            const std::vector<int> renumbered = cache.Keep(used);
            for (const TArrowSeries *s : holders) {
                for (int &id : s->m_textIds)
                    id = renumbered[std::size_t(id)];
                s->m_textIdsCache = cache.Generation;
            }
        }
        ++f;
    }
}

namespace {
// The pixel rectangles one label can paint: its leader line, its box with the frame drawn
// round it, and its text.
struct TLabelShape
{
    const TSeriesMarks &Marks;
    bool HasBox;
    int Spill; // a frame drawn on the box's edge reaches this far out
    int LeaderReach;

    explicit TLabelShape(const TSeriesMarks &marks)
        : Marks(marks), HasBox(!marks.Transparent || marks.Frame.Visible),
          Spill(marks.Frame.Visible && marks.Frame.Style != Qt::SolidLine
                    ? std::max(1, marks.Frame.Width)
                    : 0),
          LeaderReach(std::max(1, marks.Arrow.Width) + 1)
    {
    }
    QRect Leader(const TSeriesMarkPosition &pos) const
    {
        return QRect(pos.LeaderStart, pos.LeaderEnd)
            .normalized()
            .adjusted(-LeaderReach, -LeaderReach, LeaderReach, LeaderReach);
    }
    static QRect Box(const TSeriesMarkPosition &pos)
    {
        return QRect(pos.LabelLeft, pos.LabelTop, pos.LabelWidth, pos.LabelHeight);
    }
    QRect Framed(const QRect &box) const { return box.adjusted(-Spill, -Spill, Spill, Spill); }
    static QRect Ink(TFontCache &cache, int id, const TSeriesMarkPosition &pos)
    {
        return cache.InkOf(id).translated(pos.LabelLeft + kLabelPadX, pos.LabelTop + kLabelPadY);
    }
    // Whether any part can put a pixel into area (the text measured only when it must).
    bool Reaches(const TSeriesMarkPosition &pos, TFontCache &cache, int id, const QRect &area) const
    {
        if (Marks.Arrow.Visible && Leader(pos).intersects(area))
            return true;
        const QRect box = Box(pos);
        if (HasBox && !box.isEmpty() && Framed(box).intersects(area))
            return true;
        return cache.HasText[std::size_t(id)] && Ink(cache, id, pos).intersects(area);
    }
};

// A value of the bottom axis whose pixel, and that of every smaller value, lies left of px.
// The mapping only ever rounds, so it keeps the order of the values.
double ValueLeftOf(const TChartGeometry &g, int px)
{
    double v = g.XValue(px - 2);
    for (double step = 2 / g.XScale + std::abs(v) * 1e-12; g.XPixel(v) >= px; step *= 2)
        v -= step;
    return v;
}

// A value whose pixel, and that of every larger value, lies right of px.
double ValueRightOf(const TChartGeometry &g, int px)
{
    double v = g.XValue(px + 2);
    for (double step = 2 / g.XScale + std::abs(v) * 1e-12; g.XPixel(v) <= px; step *= 2)
        v += step;
    return v;
}

// Brings the series' reach up to date with its points.
void UpdateExtent(const TArrowSeries &series, double &forward, double &backward, double &minY,
                  double &maxY, bool &known)
{
    const std::vector<double> &sx = series.StartXValues(), &ex = series.EndXValues();
    const std::vector<double> &sy = series.StartYValues(), &ey = series.EndYValues();
    forward = backward = 0;
    minY = std::numeric_limits<double>::infinity();
    maxY = -minY;
    known = true;
    for (std::size_t i = 0; i < sx.size() && known; ++i) {
        known = std::isfinite(sx[i]) && std::isfinite(ex[i]) && std::isfinite(sy[i]) &&
                std::isfinite(ey[i]) && (i == 0 || sx[i - 1] <= sx[i]);
        forward = std::max(forward, ex[i] - sx[i]);
        backward = std::max(backward, sx[i] - ex[i]);
        minY = std::min({minY, sy[i], ey[i]});
        maxY = std::max({maxY, sy[i], ey[i]});
    }
}
} // namespace

// How far the ink of any of the series' texts reaches past its box's columns (the leader's pen
// and the frame are the caller's). Measures every text's ink once, which the test of whether a
// label reaches the area did for every label off the area anyway.
qint32 TSeriesPainter::LabelReach(const TArrowSeries &series, TFontCache &cache)
{
    if (series.m_labelReachRevision != series.Revision() ||
        series.m_labelReachCache != cache.Generation) {
        std::vector<char> seen(cache.Infos.size(), 0);
        qint32 reach = 0;
        for (const int id : series.m_textIds) {
            if (seen[std::size_t(id)])
                continue;
            seen[std::size_t(id)] = 1;
            const TTextInfo &info = cache.Infos[std::size_t(id)];
            if (info.Text.isEmpty())
                continue;
            // The ink as the text is drawn, against the box's columns [0, width + 2 pad).
            const QRect ink = cache.InkOf(id).translated(kLabelPadX, 0);
            reach = std::max({reach, -ink.left(), ink.right() - (info.Width + 2 * kLabelPadX - 1)});
        }
        series.m_labelReach = reach;
        series.m_labelReachRevision = series.Revision();
        series.m_labelReachCache = cache.Generation;
    }
    return series.m_labelReach;
}

// The labels of a row without a plan get their records and measured sizes, seen or not, and
// the chart places those their owner has not fixed. Those that can reach the area become
// candidates, with their placements alongside.
void TSeriesPainter::PlaceLabels(const TChartGeometry &g, TArrowSeries &series, TFontCache &cache,
                                 const QRect &labelArea, bool cull)
{
    const std::vector<int> &ids = TextIds(series, cache);
    const qint32 *widths = series.m_labelWidths.data();
    auto &positions = series.Marks.Positions;
    if (positions.size() < std::size_t(series.Count()))
        positions.resize(std::size_t(series.Count()));
    const int lift = series.Marks.ArrowLength;
    const TLabelShape shape(series.Marks);
    const bool collect = !labelArea.isEmpty();
    const bool test = collect && cull;
    const qint32 height = cache.Height + 2 * kLabelPadY;
    const int count = series.Count();
    for (int i = 0; i < count; ++i) {
        auto &slot = positions[std::size_t(i)];
        if (!slot)
            slot.emplace();
        TSeriesMarkPosition &pos = *slot;
        pos.LabelWidth = widths[i];
        pos.LabelHeight = height;
        if (!pos.Fixed) {
            // The chart's own placement: centred above the point's start, ArrowLength up.
            const int x = g.XPixel(series.StartX(i));
            const int y = g.YPixel(series.StartY(i));
            pos.LeaderEnd = QPoint(x, y);
            pos.LeaderStart = QPoint(x, y - lift);
            pos.LabelLeft = x - pos.LabelWidth / 2;
            pos.LabelTop = y - lift - pos.LabelHeight;
        }
        if (!collect || (test && !shape.Reaches(pos, cache, ids[std::size_t(i)], labelArea)))
            continue;
        m_labelPoints.push_back(i);
        m_labelPlaced.push_back(pos);
    }
}

// A planned row's labels stand where its plan puts them in this view: only those whose
// columns can come near the area are placed at all, found by a search on the points' starts
// (sorted) widened by how far a middle lies from its start and the row's widest box.
void TSeriesPainter::PlanLabels(const TChartGeometry &g, const TArrowSeries &series,
                                TFontCache &cache, const QRect &labelArea, bool cull, bool ownView)
{
    const std::vector<int> &ids = TextIds(series, cache);
    const qint32 *widths = series.m_labelWidths.data();
    const qint32 height = cache.Height + 2 * kLabelPadY;
    const int anchor = series.LabelAnchor(g, height);
    if (ownView)
        series.m_labelView = {g.AxisLeft, g.BottomMin, g.XScale, anchor, height, series.Revision()};
    if (labelArea.isEmpty() || series.Count() == 0)
        return;
    const TLabelShape shape(series.Marks);
    const std::vector<char> &shown = series.m_plan->Shown;
    int from = 0, to = series.Count();
    qint64 areaLeft = std::numeric_limits<qint64>::min(), areaRight = -(areaLeft + 1);
    if (cull) {
        const qint64 reach = std::max({LabelReach(series, cache), shape.LeaderReach, shape.Spill});
        areaLeft = qint64(labelArea.left()) - reach;
        areaRight = qint64(labelArea.right()) + reach;
        if (series.m_extentRevision != series.Revision()) {
            UpdateExtent(series, series.m_reachForward, series.m_reachBackward, series.m_minY,
                         series.m_maxY, series.m_extentKnown);
            series.m_extentRevision = series.Revision();
        }
        if (series.m_extentKnown && g.XScale > 0 && std::isfinite(g.XScale)) {
            const qint64 widest = series.m_labelWidest + 2;
            const int leftPx = int(std::clamp<qint64>(areaLeft - widest, -(1 << 29), 1 << 29));
            const int rightPx = int(std::clamp<qint64>(areaRight + widest, -(1 << 29), 1 << 29));
            const double left = ValueLeftOf(g, leftPx);
            const double right = ValueRightOf(g, rightPx);
            // A middle lies at most half the longest arrow from its start.
            const double fwd = series.m_reachForward * (1 + 1e-12);
            const double bwd = series.m_reachBackward * (1 + 1e-12);
            const double lo = left - fwd - (std::abs(left) + fwd) * 1e-12;
            const double hi = right + bwd + (std::abs(right) + bwd) * 1e-12;
            const std::vector<double> &xs = series.StartXValues();
            from = int(std::lower_bound(xs.begin(), xs.end(), lo) - xs.begin());
            to = std::max(from, int(std::upper_bound(xs.begin(), xs.end(), hi) - xs.begin()));
        }
    }
    m_columns.resize(std::size_t(to - from));
    g.XPixels(series.Middles().data() + from, m_columns.data(), m_columns.size());
    for (int i = from; i < to; ++i) {
        if (!shown[std::size_t(i)])
            continue;
        const int px = m_columns[std::size_t(i - from)];
        const int w = widths[i];
        // Leader and box lie within these columns, widened by the reach.
        if (qint64(px) + w < areaLeft || qint64(px) - w > areaRight)
            continue;
        const TSeriesMarkPosition pos = series.PlannedPosition(i, px, anchor, w, height);
        if (cull && !shape.Reaches(pos, cache, ids[std::size_t(i)], labelArea))
            continue;
        m_labelPoints.push_back(i);
        m_labelPlaced.push_back(pos);
    }
}

// Decides, from the last label drawn backwards, which parts of which labels can still change a
// pixel. A label body whose every pixel lies under the opaque boxes of later labels of the same
// height and top is painted over whole; a leader that a later leader repeats exactly is
// repainted by it. Both hold only for exact pixels; anywhere, what lies outside the visible area
// is left out. Only the candidates are looked at: the others reach nothing visible.
namespace {
constexpr std::size_t kAhead = 12; // labels looked at ahead of the one chosen
} // namespace

void TSeriesPainter::ChooseLabelWork(const TChartGeometry &g,
                                     const std::vector<TArrowSeries *> &series,
                                     const std::vector<std::size_t> &labelIndex, const QRect &area,
                                     const QRect &plot, bool exact)
{
    m_labelWork.assign(m_labelPoints.size(), 0);
    m_labelGlyphs.clear();
    if (exact)
        m_labelShapes.Reset(m_labelPoints.size());
    QHash<qint64, int> bandIndex;
    std::vector<TBandCoverage> bands;
    std::vector<QRect> bandRowsOf; // alongside bands
    const QRect deviceArea = exact ? Reach(area) : QRect();

    // A series' arrows come before its labels: they are chosen once the walk has passed
    // both, at the next series or after the last.
    for (std::size_t n = series.size(); n-- > 0;) {
        if (n + 1 < series.size())
            CollectArrows(g, *series[n + 1], n + 1, exact);
        const std::size_t k = labelIndex[n];
        if (k == std::size_t(-1))
            continue;
        const TArrowSeries &s = *series[n];
        TFontCache &cache = *m_seriesFonts[k];
        const std::vector<int> &ids = s.m_textIds;
        const TSeriesMarks &marks = s.Marks;
        const QRect labelArea = marks.Clip ? (area & plot) : area;
        if (labelArea.isEmpty())
            continue;
        const TLabelShape shape(marks);
        const qint32 leaderPen = PenKey(marks.Arrow);
        // A leader written straight into the image costs less than finding out that a later
        // one repeats it (which then paints the same pixels over it anyway).
        const bool leadersWritten =
            m_exact && LinesAgree() && TLineRaster::Draws(PenOf(marks.Arrow));
        const qint32 leaderColor = qint32(marks.Arrow.Color);
        if (m_occlude && cache.GlyphsAgreeScale != m_scale) {
            cache.GlyphsAgreeScale = m_scale;
            cache.GlyphsAgree = GlyphsAgreeWithStaticText(cache.Font, m_scale);
        }
        const bool glyphsAgree = m_occlude && cache.GlyphsAgree;
        // Leaders written straight: the few met lately, which a row's labels repeat as they
        // take turns over the levels, are looked through instead of the index of all.
        const QPoint kNowhere(std::numeric_limits<int>::min(), std::numeric_limits<int>::min());
        std::array<std::pair<QPoint, QPoint>, 8> recentLeaders;
        recentLeaders.fill({kNowhere, kNowhere});
        std::size_t nextLeader = 0;
        const auto repeatsRecent = [&](const TSeriesMarkPosition &pos) {
            const std::pair<QPoint, QPoint> leader(pos.LeaderStart, pos.LeaderEnd);
            return std::find(recentLeaders.begin(), recentLeaders.end(), leader) !=
                   recentLeaders.end();
        };
        const auto rememberLeader = [&](const TSeriesMarkPosition &pos) {
            recentLeaders[nextLeader] = {pos.LeaderStart, pos.LeaderEnd};
            nextLeader = (nextLeader + 1) % recentLeaders.size();
            return true;
        };
        int lastBandTop = 0, lastBandHeight = -1, lastBand = -1;
        const QRect *bandRows = nullptr; // the device rows a fill of the band's boxes paints
        std::array<std::pair<qint64, int>, 8> recentBands;
        recentBands.fill({std::numeric_limits<qint64>::min(), -1});
        std::size_t nextRecent = 0;

        for (std::size_t j = m_labelFrom[k + 1]; j-- > m_labelFrom[k];) {
            const int i = m_labelPoints[j];
            // The candidates lie far apart among a million records, and their texts' ink in
            // no order: both asked for a few labels ahead.
            if (j >= m_labelFrom[k] + kAhead) {
                const int ahead = m_labelPoints[j - kAhead];
                __builtin_prefetch(&cache.Inks[std::size_t(ids[std::size_t(ahead)])]);
            }
            const TSeriesMarkPosition &pos = m_labelPlaced[j];
            quint8 parts = 0;

            const QRect box = TLabelShape::Box(pos);
            const QRect framed = shape.Framed(box);
            const int id = ids[std::size_t(i)];
            bool drawBox = shape.HasBox && !box.isEmpty() && framed.intersects(labelArea);
            bool drawText = cache.HasText[std::size_t(id)] != 0;
            const QRect ink = drawText ? TLabelShape::Ink(cache, id, pos) : QRect();
            drawText = drawText && ink.intersects(labelArea);
            if (exact && (drawBox || drawText) && !box.isEmpty()) {
                if (box.top() != lastBandTop || box.height() != lastBandHeight) {
                    // Labels take turns over a few levels: the bands met lately are looked
                    // through before the index of all.
                    const qint64 key = (qint64(box.top()) << 32) | quint32(box.height());
                    const auto recent = std::find_if(
                        recentBands.begin(), recentBands.end(),
                        [key](const std::pair<qint64, int> &b) { return b.first == key; });
                    if (recent != recentBands.end()) {
                        lastBand = recent->second;
                    } else {
                        auto it = bandIndex.constFind(key);
                        if (it == bandIndex.constEnd()) {
                            it = bandIndex.insert(key, int(bands.size()));
                            bands.emplace_back(deviceArea.left(), deviceArea.right());
                            bandRowsOf.push_back(Painted(box, box));
                        }
                        lastBand = it.value();
                        recentBands[nextRecent] = {key, lastBand};
                        nextRecent = (nextRecent + 1) % recentBands.size();
                    }
                    lastBandTop = box.top();
                    lastBandHeight = box.height();
                    bandRows = &bandRowsOf[std::size_t(lastBand)];
                }
                TBandCoverage &coverage = bands[std::size_t(lastBand)];
                // Only what stays inside the band's rows can lie under its later boxes. The
                // box and the text are judged apart: the text, the dear part, is often covered
                // where the box's left edge still shows.
                // Judged in device pixels: scaled, a shape reaches past the columns its box's
                // neighbours cover. Out of line, so that whole pixels keep theirs inline.
                const auto coveredScaled = [&](const QRect &r) __attribute__((noinline))
                {
                    const QRect d = Reach(r & labelArea);
                    return !d.isEmpty() && d.top() >= bandRows->top() &&
                           d.bottom() <= bandRows->bottom() &&
                           coverage.Covered(std::max(d.left(), deviceArea.left()),
                                            std::min(d.right(), deviceArea.right()));
                };
                const auto covered = [&](const QRect &r) {
                    if (m_scale != 1)
                        return coveredScaled(r);
                    return r.top() >= box.top() && r.bottom() <= box.bottom() &&
                           coverage.Covered(std::max(r.left(), labelArea.left()) + m_toDevice.x(),
                                            std::min(r.right(), labelArea.right()) +
                                                m_toDevice.x());
                };
                // What the band leaves open may still lie under boxes of other heights and
                // tops, or of rows drawn later: the text and the box are dear enough to ask.
                drawBox =
                    drawBox && !covered(framed) && !m_paintedOver.AllSet(Reach(framed & labelArea));
                drawText =
                    drawText && !covered(ink) && !m_paintedOver.AllSet(Reach(ink & labelArea));
                // A text partly under later boxes: only the glyphs that still show, most often
                // the first one or two, past the left edge of the next box.
                if (drawText && glyphsAgree && m_paintedOver.AnySet(Reach(ink & labelArea))) {
                    const TTextGlyphs &glyphs = cache.GlyphsOf(id);
                    const QPoint corner(pos.LabelLeft + kLabelPadX, pos.LabelTop + kLabelPadY);
                    // Scaled, glyphs are checked to land as in the whole text only at corners
                    // on the surface (rounding goes the other way left of it).
                    const auto onSurface = [&] {
                        const QRect device = Reach(QRect(corner, corner));
                        return device.left() >= 0 && device.top() >= 0;
                    };
                    if (glyphs.Usable && (m_scale == 1 || onSurface())) {
                        quint64 shown = 0;
                        for (std::size_t g = 0; g < glyphs.Inks.size(); ++g) {
                            const QRect r = glyphs.Inks[g].translated(corner) & labelArea;
                            if (!r.isEmpty() && !m_paintedOver.AllSet(Reach(r)))
                                shown |= quint64(1) << g;
                        }
                        const std::size_t n = glyphs.Inks.size();
                        const quint64 all = n >= 64 ? ~quint64(0) : (quint64(1) << n) - 1;
                        drawText = shown != 0;
                        if (drawText && shown != all) {
                            parts |= kDrawGlyphs;
                            m_labelGlyphs.emplace_back(j, shown);
                        }
                    }
                }
                // The fill paints every pixel of the box that its clip lets through.
                const QRect painted = box & labelArea;
                if (drawBox && !marks.Transparent) {
                    const QRect device = Painted(box, painted);
                    const int from = std::max(device.left(), deviceArea.left());
                    const int to = std::min(device.right(), deviceArea.right());
                    if (painted.top() == box.top() && painted.bottom() == box.bottom() &&
                        !device.isEmpty() && from <= to)
                        coverage.Cover(from, to);
                    m_paintedOver.Set(device);
                }
            }
            if (drawBox)
                parts |= kDrawBox;
            if (drawText)
                parts |= kDrawText;
            else
                parts &= quint8(~kDrawGlyphs);

            // The leader comes before its own box: that box, and every later one, may hide it.
            // An earlier leader on the same pixels is left out whether this one is drawn
            // (it paints them again) or hidden (the same boxes come after that one too).
            const QRect leader = marks.Arrow.Visible ? shape.Leader(pos) & labelArea : QRect();
            const auto shown = [&] { return !m_paintedOver.AllSet(Reach(leader)); };
            if (!leader.isEmpty() &&
                (!exact ||
                 (leadersWritten && !repeatsRecent(pos) && rememberLeader(pos) && shown()) ||
                 (!leadersWritten &&
                  m_labelShapes.Insert({pos.LeaderStart.x(), pos.LeaderStart.y(), pos.LeaderEnd.x(),
                                        pos.LeaderEnd.y(), leaderColor, leaderPen,
                                        marks.Clip ? 1 : 0, 0}) &&
                  shown())))
                parts |= kDrawLeader;
            m_labelWork[j] = parts;
        }
    }
    if (!series.empty())
        CollectArrows(g, *series[0], 0, exact);
    OrderArrows(series.size());
}

// Finds, for each series, the points whose arrows can reach the area; CollectArrows then picks
// them from the last arrow drawn backwards over every series. Points are sorted by start X, so
// the ones that can reach the area lie in one run found by two searches (widened by the row's
// longest arrow either way); a row whose every point lies above or below the area has none. On
// exact pixels an arrow is also left out when a later one of the same shape and outline, in
// this series or a later one, repaints all of its pixels: everything drawn in between (labels)
// lies under that later arrow too.
void TSeriesPainter::ChooseArrows(const TChartGeometry &g,
                                  const std::vector<TArrowSeries *> &series, const QRect &area,
                                  bool exact, bool cull)
{
    std::vector<std::pair<int, int>> &ranges = m_arrowRanges;
    ranges.assign(series.size(), {0, 0});
    m_arrowBands.assign(series.size(), QRect());
    m_arrowArea = area;
    std::size_t total = 0;
    for (std::size_t k = 0; k < series.size(); ++k) {
        const TArrowSeries &s = *series[k];
        const int reach = ArrowReach(s);
        std::pair<int, int> &range = ranges[k];
        range = {0, s.Count()};
        if (area.isEmpty()) {
            range = {0, 0};
        } else if (cull && s.Count() > 0 && g.XScale > 0 && std::isfinite(g.XScale)) {
            if (s.m_extentRevision != s.Revision()) {
                UpdateExtent(s, s.m_reachForward, s.m_reachBackward, s.m_minY, s.m_maxY,
                             s.m_extentKnown);
                s.m_extentRevision = s.Revision();
            }
            if (s.m_extentKnown) {
                const int ya = g.YPixel(s.m_minY), yb = g.YPixel(s.m_maxY);
                if (std::max(ya, yb) + reach < area.top() ||
                    std::min(ya, yb) - reach > area.bottom()) {
                    range = {0, 0};
                } else {
                    // Every arrow of the row keeps within these rows.
                    m_arrowBands[k] = QRect(QPoint(area.left(), std::min(ya, yb) - reach),
                                            QPoint(area.right(), std::max(ya, yb) + reach)) &
                                      area;
                    const double left = ValueLeftOf(g, area.left() - reach);
                    const double right = ValueRightOf(g, area.right() + reach);
                    const double fwd = s.m_reachForward * (1 + 1e-12);
                    const double bwd = s.m_reachBackward * (1 + 1e-12);
                    const double lo = left - fwd - (std::abs(left) + fwd) * 1e-12;
                    const double hi = right + bwd + (std::abs(right) + bwd) * 1e-12;
                    const std::vector<double> &xs = s.StartXValues();
                    range.first = int(std::lower_bound(xs.begin(), xs.end(), lo) - xs.begin());
                    range.second = int(std::upper_bound(xs.begin(), xs.end(), hi) - xs.begin());
                    range.second = std::max(range.first, range.second);
                }
            }
        }
        total += std::size_t(range.second - range.first);
    }

    m_arrowPoints.clear();
    m_arrowFrom.assign(series.size() + 1, 0);
    m_arrowTo.assign(series.size(), 0);
    if (exact)
        m_arrowShapes.Reset(total);
}

int TSeriesPainter::ArrowReach(const TArrowSeries &s)
{
    const TChartPen &outline = s.Pointer.Pen;
    return int(std::ceil(std::abs(s.ArrowWidth()) / 2.0)) + (outline.Visible ? outline.Width : 0) +
           2;
}

// The arrows of series[k] that can change a pixel, last first, once the labels drawn after
// them are chosen: on exact pixels, one whose every pixel lies under boxes drawn later is left
// out, and so is every arrow of a row whose rows those boxes cover across the area.
void TSeriesPainter::CollectArrows(const TChartGeometry &g, const TArrowSeries &s, std::size_t k,
                                   bool exact)
{
    const QRect &area = m_arrowArea;
    const int reach = ArrowReach(s);
    const TChartPen &outline = s.Pointer.Pen;
    const qint32 outlineKey = outline.Visible ? PenKey(outline) : -1;
    const std::size_t from = m_arrowPoints.size();
    m_arrowFrom[k] = from;
    m_arrowTo[k] = from;
    const QRect &band = m_arrowBands[k];
    if (exact && !band.isEmpty() && m_paintedOver.AllSet(Reach(band)))
        return;
    for (int i = m_arrowRanges[k].second; i-- > m_arrowRanges[k].first;) {
        const int x0 = g.XPixel(s.StartX(i)), y0 = g.YPixel(s.StartY(i));
        const int x1 = g.XPixel(s.EndX(i)), y1 = g.YPixel(s.EndY(i));
        if (x0 == x1 && y0 == y1)
            continue; // no length, no direction: nothing to draw
        const QRect bounds(QPoint(std::min(x0, x1) - reach, std::min(y0, y1) - reach),
                           QPoint(std::max(x0, x1) + reach, std::max(y0, y1) + reach));
        if (!bounds.intersects(area))
            continue;
        if (exact && m_paintedOver.AllSet(Reach(bounds & area)))
            continue;
        if (exact && !m_arrowShapes.Insert({x0, y0, x1, y1, std::abs(s.ArrowWidth()),
                                            std::abs(s.ArrowHeight()), outlineKey, 0}))
            continue;
        m_arrowPoints.push_back(i);
    }
    m_arrowTo[k] = m_arrowPoints.size();
}

// Series were collected last first: the runs become offsets in series order.
void TSeriesPainter::OrderArrows(std::size_t count)
{
    std::vector<int> ordered;
    ordered.reserve(m_arrowPoints.size());
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t from = m_arrowFrom[k];
        m_arrowFrom[k] = ordered.size();
        ordered.insert(ordered.end(), m_arrowPoints.begin() + std::ptrdiff_t(from),
                       m_arrowPoints.begin() + std::ptrdiff_t(m_arrowTo[k]));
    }
    m_arrowFrom[count] = ordered.size();
    m_arrowPoints.swap(ordered);
}

void TSeriesPainter::DrawArrows(QPainter &painter, const TChartGeometry &g,
                                const TArrowSeries &series, std::size_t index)
{
    const std::size_t from = m_arrowFrom[index], to = m_arrowFrom[index + 1];
    if (from == to)
        return;
    const double halfWidth = std::abs(series.ArrowWidth()) / 2.0;
    const double halfShaft = std::abs(series.ArrowWidth()) / 4.0;
    const double headLength = std::abs(series.ArrowHeight());
    const TChartPen &outline = series.Pointer.Pen;

    painter.setPen(outline.Visible ? PenOf(outline) : QPen(Qt::NoPen));
    // The run holds the last point first; arrows are drawn in point order.
    const int firstDrawn = m_arrowPoints[to - 1];
    TColor brushColor = series.ColorEachPoint ? ~series.Color(firstDrawn) : ~series.SeriesColor;
    for (std::size_t j = to; j-- > from;) {
        const int i = m_arrowPoints[j];
        const TColor color = series.ColorEachPoint ? series.Color(i) : series.SeriesColor;
        if (color != brushColor) {
            painter.setBrush(ToQColor(color));
            brushColor = color;
        }
        // Through the pixel centres, so that a bar is symmetric about its row, and from the
        // outer edge of the start pixel to the outer edge of the end pixel.
        const double px0 = g.XPixel(series.StartX(i)) + 0.5, py0 = g.YPixel(series.StartY(i)) + 0.5;
        const double px1 = g.XPixel(series.EndX(i)) + 0.5, py1 = g.YPixel(series.EndY(i)) + 0.5;
        const double centres = std::hypot(px1 - px0, py1 - py0);
        const double ux = (px1 - px0) / centres, uy = (py1 - py0) / centres;
        const double ax = px0 - ux * 0.5, ay = py0 - uy * 0.5;
        const double bx = px1 + ux * 0.5, by = py1 + uy * 0.5;
        const double length = centres + 1;
        const double nx = -uy, ny = ux;
        const double head = std::min(headLength, length);
        const double cx = bx - ux * head, cy = by - uy * head;
        if (head >= length) {
            const QPointF shape[3] = {{ax + nx * halfWidth, ay + ny * halfWidth},
                                      {bx, by},
                                      {ax - nx * halfWidth, ay - ny * halfWidth}};
            painter.drawPolygon(shape, 3);
        } else {
            const QPointF shape[7] = {{ax + nx * halfShaft, ay + ny * halfShaft},
                                      {cx + nx * halfShaft, cy + ny * halfShaft},
                                      {cx + nx * halfWidth, cy + ny * halfWidth},
                                      {bx, by},
                                      {cx - nx * halfWidth, cy - ny * halfWidth},
                                      {cx - nx * halfShaft, cy - ny * halfShaft},
                                      {ax - nx * halfShaft, ay - ny * halfShaft}};
            painter.drawPolygon(shape, 7);
        }
    }
}

bool TSeriesPainter::LinesAgree()
{
    if (!m_writeLines)
        return false;
    if (!m_linesAgree)
        m_linesAgree = LineRasterAgreesWithPainter();
    return *m_linesAgree;
}

void TSeriesPainter::DrawLabels(QPainter &painter, TArrowSeries &series, std::size_t index,
                                const QRect &plot, bool exact)
{
    const std::size_t from = m_labelFrom[index], to = m_labelFrom[index + 1];
    if (std::find_if(
            m_labelWork.begin() + std::ptrdiff_t(from), m_labelWork.begin() + std::ptrdiff_t(to),
            [](quint8 parts) { return parts != 0; }) == m_labelWork.begin() + std::ptrdiff_t(to))
        return;
    TFontCache &cache = *m_seriesFonts[index];
    const TSeriesMarks &marks = series.Marks;
    const std::vector<int> &ids = series.m_textIds;
    if (marks.Clip) {
        painter.save();
        painter.setClipRect(plot, Qt::IntersectClip);
    }
    const QPen leaderPen = PenOf(marks.Arrow);
    const QColor back = ToQColor(marks.BackColor);
    const QPen framePen = PenOf(marks.Frame);
    const QColor frameColor = ToQColor(marks.Frame.Color);
    const bool frameInside = marks.Frame.Visible && marks.Frame.Style == Qt::SolidLine;
    const QPen textPen(ToQColor(marks.Font.Color));
    painter.setFont(cache.Font);
    painter.setBrush(Qt::NoBrush);
    // On exact pixels the leaders are written straight into the surface where the engine
    // would put them, without the pen changes between leader and text.
    // So are the boxes.
    std::optional<TLineRaster> direct;
    if (exact) {
        if (LinesAgree())
            direct.emplace(painter, false);
    }
    const bool leadersDirect = direct && direct->UsePen(leaderPen);
    // On a scaled image a row's leaders repeat a few runs: each is drawn once and copied.
    const bool leadersStamped =
        !exact && m_occlude && marks.Arrow.Visible && m_leaderStamps.Begin(painter, leaderPen);
    const auto fillBox = [&](const QRect &r, const QColor &color) {
        if (!direct || !direct->FillRect(r, color))
            painter.fillRect(r, color);
    };

    bool textPenSet = false;
    QGlyphRun glyphRun;
    for (std::size_t j = from; j < to; ++j) {
        const quint8 parts = m_labelWork[j];
        if (!parts)
            continue;
        const int i = m_labelPoints[j];
        const TSeriesMarkPosition &pos = m_labelPlaced[j];
        if ((parts & kDrawLeader) && leadersDirect) {
            direct->Line(pos.LeaderStart, pos.LeaderEnd);
        } else if ((parts & kDrawLeader) &&
                   !(leadersStamped && m_leaderStamps.Line(pos.LeaderStart, pos.LeaderEnd))) {
            textPenSet = false;
            painter.setPen(leaderPen);
            painter.drawLine(pos.LeaderStart, pos.LeaderEnd);
        }
        if (parts & kDrawBox) {
            const QRect box(pos.LabelLeft, pos.LabelTop, pos.LabelWidth, pos.LabelHeight);
            // A solid frame lies inside the box, so that the box is all the label covers.
            const int t = std::clamp(marks.Frame.Width, 1,
                                     std::max(1, std::min(box.width(), box.height()) / 2));
            if (frameInside && !marks.Transparent) {
                // The same pixels as a fill and a frame inside it, in two steps instead of five.
                fillBox(box, frameColor);
                fillBox(box.adjusted(t, t, -t, -t), back);
            } else if (frameInside) {
                fillBox(QRect(box.left(), box.top(), box.width(), t), frameColor);
                fillBox(QRect(box.left(), box.bottom() - t + 1, box.width(), t), frameColor);
                fillBox(QRect(box.left(), box.top() + t, t, box.height() - 2 * t), frameColor);
                fillBox(QRect(box.right() - t + 1, box.top() + t, t, box.height() - 2 * t),
                        frameColor);
            } else {
                if (!marks.Transparent)
                    fillBox(box, back);
                if (marks.Frame.Visible) {
                    textPenSet = false;
                    painter.setPen(framePen);
                    painter.drawRect(box.adjusted(0, 0, -1, -1));
                }
            }
        }
        if (!(parts & kDrawText))
            continue;
        TTextInfo &info = cache.Infos[std::size_t(ids[std::size_t(i)])];
        // Only leaders and frames drawn by the painter change its pen.
        if (!textPenSet)
            painter.setPen(textPen);
        textPenSet = true;
        const QPointF corner(pos.LabelLeft + kLabelPadX, pos.LabelTop + kLabelPadY);
        if (parts & kDrawGlyphs) {
            // Only the glyphs that later boxes leave showing, where the whole text puts them.
            const auto it = std::lower_bound(m_labelGlyphs.begin(), m_labelGlyphs.end(), j,
                                             [](const std::pair<std::size_t, quint64> &e,
                                                std::size_t at) { return e.first > at; });
            if (it != m_labelGlyphs.end() && it->first == j && info.Glyphs) {
                DrawGlyphs(painter, corner, *info.Glyphs, it->second, glyphRun);
                continue;
            }
        }
        if (!info.Static) {
            info.Static.emplace(info.Text);
            info.Static->setTextFormat(Qt::PlainText);
            info.Static->prepare(QTransform(), cache.Font);
        }
        // The same pixels as drawText with the baseline one ascent below this corner.
        painter.drawStaticText(corner, *info.Static);
    }
    if (marks.Clip)
        painter.restore();
}

QRect TSeriesPainter::Reach(const QRect &r) const
{
    if (m_scale == 1 || r.isEmpty())
        return r.translated(m_toDevice);
    // Scaled, a shape's pixels are among those its scaled bounds touch: every shape's logical
    // bounds here keep a pixel of room already (a text's ink, a stroke's pen and caps).
    constexpr int kMargin = 0;
    const double s = m_scale;
    return QRect(QPoint(int(std::floor(r.left() * s)) - kMargin + m_toDevice.x(),
                        int(std::floor(r.top() * s)) - kMargin + m_toDevice.y()),
                 QPoint(int(std::ceil((r.right() + 1) * s)) + kMargin - 1 + m_toDevice.x(),
                        int(std::ceil((r.bottom() + 1) * s)) + kMargin - 1 + m_toDevice.y()));
}

namespace {
// The pixel edge nearest to logical edge v at this scale, halves up.
int NearestPixelEdge(int v, double scale)
{
    return int(std::floor(v * scale + 0.5));
}

// Whether, at this scale, the painter puts every edge of a filled box at the pixel edge nearest
// to it (halves up): boxes at every sub-pixel phase the scale gives are filled and read back.
bool ScaledFillsRoundToNearest(double scale)
{
    constexpr int kBoxes = 24;
    const auto left = [](int k) { return 1 + 6 * k + k % 3; };
    const int side = int(std::ceil(scale * left(kBoxes))) + 4;
    QImage image(side, side, QImage::Format_RGB32);
    const auto edge = [scale](int v) { return NearestPixelEdge(v, scale); };
    for (int width = 1; width <= 3; ++width) {
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            painter.scale(scale, scale);
            for (int k = 0; k < kBoxes; ++k)
                painter.fillRect(QRect(left(k), left(k), width, width), Qt::black);
        }
        for (int k = 0; k < kBoxes; ++k) {
            const int a = edge(left(k)), b = edge(left(k) + width) - 1;
            const QRect expected(QPoint(a, a), QPoint(b, b));
            // The diagonal through the box and one pixel past each of its corners.
            for (int d = expected.left() - 1; d <= expected.right() + 1; ++d)
                if ((image.pixel(d, d) == qRgb(0, 0, 0)) != expected.contains(d, d))
                    return false;
        }
    }
    return true;
}
} // namespace

QRect TSeriesPainter::Painted(const QRect &box, const QRect &r) const
{
    if (m_scale == 1 || r.isEmpty())
        return r.translated(m_toDevice);
    // A scaled fill rounds its edges to the nearest pixel edge, when found to, or either way:
    // the pixels wholly inside are painted whichever way it rounds. A clip's edges are rounded
    // by rules of their own: where the clip cuts the box, only those pixels count.
    const double s = m_scale;
    const auto inner = [s](int v, bool low) {
        return low ? int(std::ceil(v * s)) : int(std::floor(v * s));
    };
    const auto edge = [&](int v, bool own, bool low) {
        return own && m_fillsRound ? NearestPixelEdge(v, s) : inner(v, low);
    };
    const QRect inside(
        QPoint(edge(r.left(), r.left() == box.left(), true) + m_toDevice.x(),
               edge(r.top(), r.top() == box.top(), true) + m_toDevice.y()),
        QPoint(edge(r.right() + 1, r.right() == box.right(), false) - 1 + m_toDevice.x(),
               edge(r.bottom() + 1, r.bottom() == box.bottom(), false) - 1 + m_toDevice.y()));
    return inside.isValid() ? inside : QRect();
}

void TSeriesPainter::Prepare(QPainter &painter, const TChartGeometry &g,
                             const std::vector<TArrowSeries *> &series, bool skipHidden,
                             bool ownView)
{
    const QRect everything(QPoint(-(1 << 29), -(1 << 29)), QPoint(1 << 29, 1 << 29));
    const QRect area = skipHidden ? VisibleArea(painter, g.Rect) : everything;
    const QRect plot = g.PlotRect();
    const bool exact = skipHidden && ExactPixels(painter);
    const double scale = exact ? 1 : skipHidden ? ScaledPixels(painter) : 0;
    const bool occlude = scale > 0;
    painter.setRenderHint(QPainter::Antialiasing, false);
    m_stats = {};

    std::vector<TArrowSeries *> labelled;
    std::vector<std::size_t> &labelIndex = m_labelIndex;
    labelIndex.assign(series.size(), std::size_t(-1));
    m_seriesFonts.clear();
    m_labelPoints.clear();
    m_labelPlaced.clear();
    m_labelFrom.assign(1, 0);
    for (std::size_t k = 0; k < series.size(); ++k) {
        TArrowSeries *s = series[k];
        m_stats.Arrows += std::size_t(s->Count());
        if (!s->Marks.Visible)
            continue;
        TFontCache &cache = FontCacheFor(s->Marks.Font);
        const QRect labelArea = s->Marks.Clip ? (area & plot) : area;
        if (s->LabelPlan())
            PlanLabels(g, *s, cache, labelArea, skipHidden, ownView);
        else
            PlaceLabels(g, *s, cache, labelArea, skipHidden);
        labelIndex[k] = labelled.size();
        labelled.push_back(s);
        m_seriesFonts.push_back(&cache);
        m_labelFrom.push_back(m_labelPoints.size());
        m_stats.Labels += std::size_t(s->Count());
    }
    DropUnusedTexts(series);
    m_exact = exact;
    m_occlude = occlude;
    m_plot = plot;
    if (occlude) {
        const QTransform t = painter.combinedTransform();
        m_scale = scale;
        if (m_fillRoundingScale != scale) {
            m_fillRoundingScale = scale;
            m_fillsRound = ScaledFillsRoundToNearest(scale);
        }
        m_toDevice = QPoint(int(std::floor(t.dx())), int(std::floor(t.dy())));
        // Scaled, a shift of a fraction of a pixel is not worth the care.
        if (t.dx() != m_toDevice.x() || t.dy() != m_toDevice.y())
            m_occlude = false;
        const QImage &image = *static_cast<const QImage *>(painter.device());
        m_paintedOver.Reset(image.size());
    }
    ChooseArrows(g, series, area & plot.adjusted(-1, -1, 1, 1), m_occlude, skipHidden);
    ChooseLabelWork(g, series, labelIndex, area, plot, m_occlude);
    for (quint8 parts : m_labelWork) {
        m_stats.LabelBoxesDrawn += (parts & kDrawBox) != 0;
        m_stats.LabelTextsDrawn += (parts & kDrawText) != 0;
        m_stats.LeadersDrawn += (parts & kDrawLeader) != 0;
    }
    m_stats.ArrowsDrawn = m_arrowPoints.size();
}

void TSeriesPainter::DrawPrepared(QPainter &painter, const TChartGeometry &g,
                                  const std::vector<TArrowSeries *> &series,
                                  const std::function<void(std::size_t, bool)> &group,
                                  const std::atomic<bool> *cancel)
{
    const QRect &plot = m_plot;
    const bool exact = m_exact;
    const std::vector<std::size_t> &labelIndex = m_labelIndex;
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (std::size_t k = 0; k < series.size(); ++k) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            break;
        if (group)
            group(k, true);
        // Arrows stay inside the plot; labels go where their placement puts them.
        if (m_arrowFrom[k] != m_arrowFrom[k + 1]) {
            painter.save();
            painter.setClipRect(plot, Qt::IntersectClip);
            DrawArrows(painter, g, *series[k], k);
            painter.restore();
        }
        if (labelIndex[k] != std::size_t(-1))
            DrawLabels(painter, *series[k], labelIndex[k], plot, exact);
        if (group)
            group(k, false);
    }
    // Room sized for a larger map before goes back once a drawing needs far less.
    const std::size_t need = std::max(m_labelPoints.size(), m_arrowPoints.size());
    m_labelShapes.Trim();
    m_arrowShapes.Trim();
    ShrinkOversized(m_labelPoints, need);
    ShrinkOversized(m_labelPlaced, need);
    ShrinkOversized(m_columns, need);
    ShrinkOversized(m_labelWork, need);
    ShrinkOversized(m_arrowPoints, need);
    m_stats.MeasuredTexts = 0;
    for (const auto &f : m_fonts)
        m_stats.MeasuredTexts += f->Infos.size();
}
