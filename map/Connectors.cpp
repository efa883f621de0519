#include "map/Connectors.h"

#include "chart/LineRaster.h"
#include "chart/TCanvas.h"
#include "chart/TChart.h"
#include "util/CommonDecl.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

namespace {
constexpr int kDropFromUpper = 40;
constexpr int kRiseToLower = 20;
const QPoint &kNoEnd = kNoLeaderEnd;

// Where the connectors of one point go: the points [First, First + Count) of Members of Row.
struct TTarget
{
    int Row = 0; // 0: no lower row has the label
    int First = 0;
    int Count = 0;
};
} // namespace

namespace {
// Per row: the points grouped by label (ascending within a group), and each group with where its
// links go.
struct TJoins
{
    struct TRowGroup
    {
        int First = 0, Count = 0; // into Members of the row
        TTarget Target;
    };
    std::vector<std::vector<int>> Members;
    std::vector<std::vector<TRowGroup>> Groups;
};

// Each label of a row is joined to all its occurrences on the nearest lower row that has it.
// Rescanning the lower rows for every point costs rows x points; instead the rows are walked
// bottom-up once, keeping for every label where it occurs on the nearest row below, so the work
// is one pass over the points.
TJoins FindJoins(const TChart &chart)
{
    TJoins joins;
    const int n = chart.SeriesCount();
    if (n < 3)
        return joins;
    // Labels as small integers; "???" is never joined.
    QHash<QByteArray, int> ids;
    const auto rows = static_cast<std::size_t>(n);
    std::vector<std::vector<int>> labelIds(rows);
    for (int s = 1; s < n; ++s) {
        const TArrowSeries &series = chart.Series(s);
        std::vector<int> &rowIds = labelIds[std::size_t(s)];
        rowIds.resize(std::size_t(series.Count()));
        for (int p = 0; p < series.Count(); ++p) {
            const QByteArray &label = series.LinkKey(p);
            if (label == kUnknownGene) {
                rowIds[std::size_t(p)] = -1;
                continue;
            }
            auto it = ids.constFind(label);
            if (it == ids.constEnd())
                it = ids.insert(label, int(ids.size()));
            rowIds[std::size_t(p)] = it.value();
        }
    }

    const auto labels = static_cast<std::size_t>(ids.size());
    std::vector<std::vector<int>> &members = joins.Members;
    members.resize(rows);
    joins.Groups.resize(rows);
    std::vector<TTarget> nearest(labels); // per label, where it occurs on the nearest row below
    std::vector<int> counts(labels, 0);
    std::vector<int> touched;
    for (int s = n - 1; s >= 1; --s) {
        const std::vector<int> &rowIds = labelIds[std::size_t(s)];
        touched.clear();
        for (std::size_t p = 0; p < rowIds.size(); ++p) {
            const int id = rowIds[p];
            if (id < 0)
                continue;
            if (counts[std::size_t(id)]++ == 0)
                touched.push_back(id);
        }
        // Group this row's points and make it the nearest row for its labels.
        std::vector<int> &rowMembers = members[std::size_t(s)];
        std::vector<TJoins::TRowGroup> &rowGroups = joins.Groups[std::size_t(s)];
        int offset = 0;
        for (int id : touched) {
            TTarget &t = nearest[std::size_t(id)];
            if (t.Row != 0)
                rowGroups.push_back({offset, counts[std::size_t(id)], t});
            t = {s, offset, counts[std::size_t(id)]};
            offset += t.Count;
            counts[std::size_t(id)] = 0;
        }
        rowMembers.resize(std::size_t(offset));
        for (std::size_t p = 0; p < rowIds.size(); ++p) {
            const int id = rowIds[p];
            if (id < 0)
                continue;
            const TTarget &t = nearest[std::size_t(id)];
            rowMembers[std::size_t(t.First + counts[std::size_t(id)]++)] = int(p);
        }
        for (int id : touched)
            counts[std::size_t(id)] = 0;
    }
    return joins;
}
} // namespace

void ForEachLinkGroup(const TChart &chart, const TLinkGroupFn &fn)
{
    const TJoins joins = FindJoins(chart);
    for (std::size_t s = 1; s < joins.Groups.size(); ++s)
        for (const TJoins::TRowGroup &g : joins.Groups[s])
            fn(int(s), joins.Members[s].data() + g.First, g.Count, g.Target.Row,
               joins.Members[std::size_t(g.Target.Row)].data() + g.Target.First, g.Target.Count);
}

void TConnectors::FileInCells(const std::vector<std::pair<int, int>> &pairRows,
                              const std::vector<int> &pairOf)
{
    // About this many links to a cell: few enough that a cell at the edge of the view costs
    // little, enough that the cells cost little beside the links.
    constexpr double kLinksPerCell = 1;
    constexpr int kMostSide = 1024;
    std::vector<std::size_t> links(pairRows.size(), 0);
    for (int k : pairOf)
        ++links[std::size_t(k)];
    m_pairs.assign(pairRows.size(), {});
    const auto points = [this](int row) {
        return m_rowStart[std::size_t(row) + 1] - m_rowStart[std::size_t(row)];
    };
    std::size_t cells = 0;
    for (std::size_t k = 0; k < pairRows.size(); ++k) {
        TRowPair &pair = m_pairs[k];
        pair.Upper = pairRows[k].first;
        pair.Lower = pairRows[k].second;
        pair.Side = std::clamp(int(std::sqrt(double(links[k]) / kLinksPerCell)), 1, kMostSide);
        const auto stepOver = [&pair](int points) {
            return std::max(1, (points + pair.Side - 1) / pair.Side);
        };
        pair.UpperStep = stepOver(points(pair.Upper));
        pair.LowerStep = stepOver(points(pair.Lower));
        pair.FirstCell = cells;
        cells += std::size_t(pair.Side) * std::size_t(pair.Side);
    }
    // A stable counting sort: within a cell the links keep their drawing order.
    std::vector<quint32> cellOf(m_links.size());
    m_cellStart.assign(cells + 1, 0);
    for (std::size_t i = 0; i < m_links.size(); ++i) {
        const TRowPair &pair = m_pairs[std::size_t(pairOf[i])];
        const int p = m_links[i].Upper - m_rowStart[std::size_t(pair.Upper)];
        const int q = m_links[i].Lower - m_rowStart[std::size_t(pair.Lower)];
        cellOf[i] = quint32(pair.FirstCell +
                            std::size_t(p / pair.UpperStep * pair.Side + q / pair.LowerStep));
        ++m_cellStart[cellOf[i] + 1];
    }
    for (std::size_t c = 0; c < cells; ++c)
        m_cellStart[c + 1] += m_cellStart[c];
    m_cellLinks.resize(m_links.size());
    std::vector<quint32> next(m_cellStart.begin(), m_cellStart.end() - 1);
    m_linked.assign(std::size_t(m_rowStart.back()), 0);
    for (std::size_t i = 0; i < m_links.size(); ++i) {
        m_cellLinks[next[cellOf[i]]++] = m_links[i];
        m_linked[std::size_t(m_links[i].Upper)] = m_linked[std::size_t(m_links[i].Lower)] = 1;
    }
}

template <typename Surface, typename DrawLink>
void TConnectors::DrawByCells(const Surface &raster, const QRect &area, const QPoint *ends,
                              const DrawLink &drawLink)
{
    // An end lies beyond an edge when the connector's box misses the view on that side and
    // the writer cuts its upright stroke away whole.
    const auto [keptLeft, keptRight] = raster.ColumnsKept();
    const int farLeft = std::min(area.left(), keptLeft);    // ends left of it
    const int farRight = std::max(area.right(), keptRight); // ends right of it
    // Row by row: the points before LeftEnd all lie beyond the left edge, those from
    // RightStart on beyond the right one (or have no end: their links are never drawn), and
    // the rows of pixels the ends span.
    struct TReach
    {
        int LeftEnd = 0, RightStart = 0;
        int Top = std::numeric_limits<int>::max(), Bottom = std::numeric_limits<int>::min();
    };
    std::vector<TReach> reach(m_rowStart.size() - 1);
    for (std::size_t s = 0; s + 1 < m_rowStart.size(); ++s) {
        const QPoint *row = ends + m_rowStart[s];
        const int count = m_rowStart[s + 1] - m_rowStart[s];
        TReach &r = reach[s];
        // Points without links (no gene name) may stand anywhere.
        const char *linked = m_linked.data() + m_rowStart[s];
        while (r.LeftEnd < count && (row[r.LeftEnd].x() < farLeft || !linked[r.LeftEnd]))
            ++r.LeftEnd;
        r.RightStart = count;
        while (r.RightStart > r.LeftEnd &&
               (row[r.RightStart - 1].x() > farRight || row[r.RightStart - 1] == kNoEnd ||
                !linked[r.RightStart - 1]))
            --r.RightStart;
        for (int p = 0; p < count; ++p)
            if (linked[p] && row[p] != kNoEnd) {
                r.Top = std::min(r.Top, row[p].y());
                r.Bottom = std::max(r.Bottom, row[p].y());
            }
    }
    const auto drawCells = [&](std::size_t from, std::size_t to) {
        // The cells of a run hold ends from anywhere in the two rows: asked for a few links
        // ahead, they are at hand when their turn comes.
        constexpr quint32 kAhead = 8;
        const quint32 end = m_cellStart[to];
        for (quint32 i = m_cellStart[from]; i < end; ++i) {
            if (i + kAhead < end) {
                __builtin_prefetch(&ends[std::size_t(m_cellLinks[i + kAhead].Upper)]);
                __builtin_prefetch(&ends[std::size_t(m_cellLinks[i + kAhead].Lower)]);
            }
            drawLink(m_cellLinks[i]);
        }
    };
    for (const TRowPair &pair : m_pairs) {
        const TReach &up = reach[std::size_t(pair.Upper)];
        const TReach &down = reach[std::size_t(pair.Lower)];
        // Along each row of the pair, the cells before upLeft (downLeft) hold only points
        // beyond the left edge, those from upRight (downRight) on only points beyond the right.
        const int upLeft = up.LeftEnd / pair.UpperStep;
        const int upRight = (up.RightStart + pair.UpperStep - 1) / pair.UpperStep;
        const int downLeft = down.LeftEnd / pair.LowerStep;
        const int downRight = (down.RightStart + pair.LowerStep - 1) / pair.LowerStep;
        // Across the view, only the slants show; they keep to the rows between the ends'
        // drops and rises, and once those rows are full the crossing cells need no look.
        // Asked again for every cell until true: the cells drawn fill the rows.
        bool crossingHidden = false;
        const auto crossing = [&] {
            if (!crossingHidden)
                crossingHidden =
                    up.Top <= up.Bottom && down.Top <= down.Bottom &&
                    raster.RowsFullAround(
                        QPoint(0, std::min(up.Top + kDropFromUpper, down.Top - kRiseToLower)),
                        QPoint(0,
                               std::max(up.Bottom + kDropFromUpper, down.Bottom - kRiseToLower)));
            return crossingHidden;
        };
        const std::size_t side = std::size_t(pair.Side);
        for (int cp = 0; cp < pair.Side; ++cp) {
            const std::size_t first = pair.FirstCell + std::size_t(cp) * side;
            if (cp >= upLeft && cp < upRight) {
                drawCells(first, first + side);
                continue;
            }
            const bool left = cp < upLeft;
            // Beyond the same edge as the upper ends: passed over. Beyond the other: crossing.
            if (!left && !crossing())
                drawCells(first, first + std::size_t(downLeft));
            drawCells(first + std::size_t(downLeft), first + std::size_t(downRight));
            if (left && !crossing())
                drawCells(first + std::size_t(downRight), first + side);
        }
    }
}

void TConnectors::Draw(TChart &chart, TCanvas &canvas, const std::vector<QPoint> &givenEnds)
{
    canvas.SetPen(clBlack, 1, Qt::SolidLine);
    const int n = chart.SeriesCount();
    // Revisions are unique across all series ever made: the same pair means the same labels.
    bool fresh = m_rows.size() == std::size_t(n);
    for (int s = 0; fresh && s < n; ++s)
        fresh = m_rows[std::size_t(s)] ==
                std::make_pair(static_cast<const TArrowSeries *>(&chart.Series(s)),
                               chart.Series(s).Revision());
    if (!fresh) {
        m_rowStart.assign(std::size_t(n) + 1, 0);
        for (int s = 0; s < n; ++s)
            m_rowStart[std::size_t(s) + 1] = m_rowStart[std::size_t(s)] + chart.Series(s).Count();
        m_links.clear();
        // The pairs of rows linked: an upper row links to few lower ones, so a short search
        // among those of the last upper row finds a link's pair.
        std::vector<std::pair<int, int>> pairRows;
        std::vector<int> pairOf;
        std::size_t firstOfUpper = 0;
        m_groupPoints.clear();
        m_groups.clear();
        ForEachLinkGroup(
            chart, [&](int s, const int *upper, int k, int t, const int *lower, int m) {
                const qint32 upperStart = m_rowStart[std::size_t(s)];
                const qint32 lowerStart = m_rowStart[std::size_t(t)];
                // Every upper point joins every lower one: past a few each way, that is more
                // links than points, and most of them share their ends at any zoom.
                if (qint64(k) * m > 4 * (qint64(k) + m)) {
                    const auto first = quint32(m_groupPoints.size());
                    for (int i = 0; i < k; ++i)
                        m_groupPoints.push_back(upperStart + upper[i]);
                    for (int j = 0; j < m; ++j)
                        m_groupPoints.push_back(lowerStart + lower[j]);
                    m_groups.push_back({first, quint32(k), first + quint32(k), quint32(m)});
                    return;
                }
                if (firstOfUpper < pairRows.size() && pairRows[firstOfUpper].first != s)
                    firstOfUpper = pairRows.size();
                std::size_t pair = firstOfUpper;
                while (pair < pairRows.size() && pairRows[pair].second != t)
                    ++pair;
                if (pair == pairRows.size())
                    pairRows.emplace_back(s, t);
                for (int i = 0; i < k; ++i)
                    for (int j = 0; j < m; ++j) {
                        m_links.push_back({upperStart + upper[i], lowerStart + lower[j]});
                        pairOf.push_back(int(pair));
                    }
            });
        m_groupPoints.shrink_to_fit();
        m_links.shrink_to_fit();
        FileInCells(pairRows, pairOf);
        m_rows.clear();
        for (int s = 0; s < n; ++s)
            m_rows.emplace_back(&chart.Series(s), chart.Series(s).Revision());
    }
    const bool plain = !chart.SkipHiddenWork;
    // A drawing whose clip lets nothing through shows nothing.
    if (!plain && !canvas.VisibleArea().isValid())
        return;
    OSTRINEL_ASSERT(givenEnds.size() == std::size_t(m_rowStart.back()),
                    "Connector ends of other rows", "TConnectors");
    const QPoint *ends = givenEnds.data();
    // One pixel more: a pen scaled on the way to the surface spreads a little.
    const QRect area = plain ? QRect() : canvas.VisibleArea().adjusted(-1, -1, 1, 1);
    // On exact pixels the lines are written straight into the surface, where the engine would
    // put them: that costs less than asking whether they would change anything.
    std::optional<TLineRaster> raster;
    if (!plain && chart.WriteLines && canvas.ExactPixels()) {
        if (!m_rasterAgrees)
            m_rasterAgrees = LineRasterAgreesWithPainter();
        if (*m_rasterAgrees) {
            raster.emplace(canvas.Painter());
            if (!raster->UsePen(canvas.Painter().pen()))
                raster.reset();
            // Under the label boxes drawn next no connector shows: those pixels count as
            // written, and lines over nothing else are passed over.
            else if (const TPixelMask *later = canvas.PaintedOverLater())
                raster->TakeAsWritten(*later);
        }
    }
    // Elsewhere (a scaled image) the pixels are not stepped here; rows read back black tell
    // instead.
    std::optional<TBlackRows> rows;
    if (!plain && !raster) {
        // Under the label boxes drawn next no connector shows: those pixels count as done.
        rows.emplace(canvas.Painter(), canvas.PaintedOverLater());
        if (!rows->Available())
            rows.reset();
    }
    if (rows) {
        m_endsDone.assign(std::size_t(m_rowStart.back()), 0);
        // Zoomed out, many points of a row share an end: one drop or rise serves them all.
        m_sameEndAs.resize(m_endsDone.size());
        for (std::size_t i = 0; i < m_sameEndAs.size(); ++i)
            m_sameEndAs[i] =
                i > 0 && givenEnds[i] == givenEnds[i - 1] ? m_sameEndAs[i - 1] : qint32(i);
    }
    QPoint fullBetween = kNoEnd; // the rows of upper and lower ends whose slant rows are full
    // Where rows are read back, per pair of end rows: the columns done across the rows their
    // slants reach.
    constexpr int kFirstReading = 64;
    struct TBand
    {
        QPoint Rows;
        std::vector<quint64> Columns;
        int Missed = 0;
        int ReadAfter = kFirstReading; // misses
    };
    std::vector<TBand> bands;
    std::size_t lastBand = 0;
    const auto bandOf = [&](int upperY, int lowerY) -> TBand & {
        const QPoint key(upperY, lowerY);
        if (lastBand < bands.size() && bands[lastBand].Rows == key)
            return bands[lastBand];
        lastBand = 0;
        while (lastBand < bands.size() && bands[lastBand].Rows != key)
            ++lastBand;
        // Read first after a few lines: most pairs of rows have too few to fill their rows.
        if (lastBand == bands.size())
            bands.push_back({key, {}, 0, kFirstReading});
        return bands[lastBand];
    };
    // Drops and rises repeat two runs: each is drawn by the painter once and copied.
    const bool stamped = rows && m_stamps.Begin(canvas.Painter(), canvas.Painter().pen());
    // Draws the drop and the rise of a line apart, each where it can change a pixel.
    const auto dropAndRise = [&](const QPoint *line, bool drop, bool rise) {
        for (const QPoint *part : {drop ? line : nullptr, rise ? line + 2 : nullptr})
            if (part && !rows->PolylineHidden(part, 2) &&
                !(stamped && m_stamps.Line(part[0], part[1])))
                canvas.Polyline(part, 2);
    };
    // Where rows are read back: whether the line needs no more drawing (cut to its drop and
    // rise, or found to change nothing). Kept out of line: written lines go the other way at
    // full speed.
    const auto scaledDone = [&](const QPoint *line, qint32 upper, qint32 lower)
        __attribute__((noinline))
    {
        const QPoint a = line[0], b = line[3];
        // Zoomed in, most connectors crossing the view have their drop and rise outside it, and
        // cross rows that earlier ones have made black.
        if (rows->ColumnCutAway(a.x()) && rows->ColumnCutAway(b.x())) {
            if (QPoint(a.y(), b.y()) == fullBetween)
                return true;
            if (rows->RowsFullAround(line[1], line[2])) {
                fullBetween = QPoint(a.y(), b.y());
                return true;
            }
            if (rows->StrokeHidden(line[1], line[2]))
                return true;
        }
        TBand &band = bandOf(a.y(), b.y());
        if (rows->ColumnsDone(band.Columns, a.x(), b.x())) {
            // Its slant and joins lie on pixels done: outside those rows the line is its drop
            // above them and its rise below them, and a scan line there meets only the drop's
            // (or the rise's) own edges. So every line from this upper end makes the same
            // pixels there, and so does the drop drawn alone: each drop and each rise is drawn
            // once, where it is not done.
            bool drop = !rows->ColumnCutAway(a.x()), rise = !rows->ColumnCutAway(b.x());
            if (upper >= 0) {
                char &up = m_endsDone[std::size_t(m_sameEndAs[std::size_t(upper)])];
                char &down = m_endsDone[std::size_t(m_sameEndAs[std::size_t(lower)])];
                drop = drop && !(up & kDropDone);
                rise = rise && !(down & kRiseDone);
                up |= kDropDone;
                down |= kRiseDone;
            }
            dropAndRise(line, drop, rise);
            return true;
        }
        // Read again now and then: the lines drawn meanwhile fill the rows. While that finds
        // nothing new, less and less often.
        if (++band.Missed == band.ReadAfter) {
            const std::vector<quint64> before = band.Columns;
            rows->DoneAcrossRows(line[1], line[2], band.Columns);
            band.Missed = 0;
            band.ReadAfter = band.Columns == before ? 2 * band.ReadAfter : kFirstReading;
        }
        // A slant and joins on pixels done leave the drop and the rise, as above.
        if (rows->PolylineHidden(line + 1, 2)) {
            dropAndRise(line, !rows->ColumnCutAway(a.x()), !rows->ColumnCutAway(b.x()));
            return true;
        }
        return false;
    };
    const auto drawEnds = [&](const QPoint a, const QPoint b, qint32 upper = -1,
                              qint32 lower = -1) {
        const QPoint line[4] = {a, QPoint(a.x(), a.y() + kDropFromUpper),
                                QPoint(b.x(), b.y() - kRiseToLower), b};
        if (!plain) {
            // A line of one pixel stays inside the box of its points.
            const auto [left, right] = std::minmax({line[0].x(), line[2].x()});
            const int top = std::min({line[0].y(), line[2].y(), line[3].y()});
            const int bottom = std::max({line[1].y(), line[2].y(), line[3].y()});
            if (right < area.left() || left > area.right() || bottom < area.top() ||
                top > area.bottom())
                return;
            if (raster) {
                // Zoomed in, most connectors crossing the view have their drop and rise
                // outside it, and cross rows that earlier ones have filled already.
                if (raster->ColumnCutAway(a.x()) && raster->ColumnCutAway(b.x())) {
                    // The links between two rows cross the same rows of pixels: once those are
                    // full, the rest of them need no look at the writer.
                    if (QPoint(a.y(), b.y()) == fullBetween)
                        return;
                    if (raster->RowsFullAround(line[1], line[2])) {
                        fullBetween = QPoint(a.y(), b.y());
                        return;
                    }
                    if (raster->StrokeChangesNothing(line[1], line[2]))
                        return;
                }
                if (raster->PolylineHidden(line, 4))
                    return;
                if (raster->Polyline(line, 4))
                    return;
            }
            if (rows && scaledDone(line, upper, lower))
                return;
            // Zoomed in, a connector with an end beside the picture crosses it on a few rows,
            // yet the engine steps every row between its ends: through a clip of those rows it
            // steps those only, and a clip leaves the pixels inside it as they were.
            if (rows && (rows->ColumnCutAway(a.x()) || rows->ColumnCutAway(b.x()))) {
                const QRect window = rows->StrokeWindow(line, 4);
                if (window.isEmpty())
                    return;
                QPainter &painter = canvas.Painter();
                painter.save();
                painter.setClipRect(window, Qt::IntersectClip);
                canvas.Polyline(line, 4);
                painter.restore();
                return;
            }
        }
        canvas.Polyline(line, 4);
    };
    const auto drawLink = [&](const TLink &link) {
        const QPoint a = ends[std::size_t(link.Upper)];
        const QPoint b = ends[std::size_t(link.Lower)];
        if (a != kNoEnd && b != kNoEnd)
            drawEnds(a, b, link.Upper, link.Lower);
    };
    if (raster)
        DrawByCells(raster.value(), area, ends, drawLink);
    else if (rows)
        DrawByCells(rows.value(), area, ends, drawLink);
    else {
        constexpr std::size_t kAhead = 16;
        for (std::size_t k = 0; k < m_links.size(); ++k) {
            // The lower ends come in no order: asked for a few links ahead, they are at hand
            // when their turn comes.
            if (k + kAhead < m_links.size())
                __builtin_prefetch(&ends[std::size_t(m_links[k + kAhead].Lower)]);
            drawLink(m_links[k]);
        }
    }
    DrawGroups(
        ends, area,
        [&](const QPoint &from, const QPoint &to) {
            return raster ? raster->RowsFullAround(from, to)
                          : rows && rows->RowsFullAround(from, to);
        },
        [&](const QPoint &a, const QPoint &b) { drawEnds(a, b); });
}

template <typename RowsFull, typename DrawEnds>
void TConnectors::DrawGroups(const QPoint *ends, const QRect &area, const RowsFull &rowsFull,
                             const DrawEnds &drawEnds) const
{
    // Links with the same two ends are the same line: each distinct pair is drawn once.
    std::vector<QPoint> ups, downs;
    const auto endsOf = [&](std::vector<QPoint> &out, quint32 first, quint32 count) {
        out.clear();
        for (quint32 i = first; i < first + count; ++i)
            if (const QPoint end = ends[std::size_t(m_groupPoints[i])]; end != kNoEnd)
                out.push_back(end);
        const auto before = [](const QPoint &p, const QPoint &q) {
            return std::pair(p.x(), p.y()) < std::pair(q.x(), q.y());
        };
        std::sort(out.begin(), out.end(), before);
        out.erase(std::unique(out.begin(), out.end()), out.end());
    };
    for (const TGroup &group : m_groups) {
        endsOf(ups, group.UpperFirst, group.UpperCount);
        endsOf(downs, group.LowerFirst, group.LowerCount);
        if (ups.empty() || downs.empty())
            continue;
        // Once the rows between the drops and the rises are full, a line adds only its drop
        // and its rise (their joins lie in those rows): one line per end is left to draw.
        int top = std::numeric_limits<int>::max(), bottom = std::numeric_limits<int>::min();
        for (const QPoint &p : ups)
            top = std::min(top, p.y() + kDropFromUpper),
            bottom = std::max(bottom, p.y() + kDropFromUpper);
        for (const QPoint &p : downs)
            top = std::min(top, p.y() - kRiseToLower),
            bottom = std::max(bottom, p.y() - kRiseToLower);
        bool full = false;
        const auto slantsHidden = [&] {
            if (!full)
                full = rowsFull(QPoint(0, top), QPoint(0, bottom));
            return full;
        };
        std::size_t risesDrawn = 0; // downs [0, risesDrawn) have had a line
        for (const QPoint &up : ups) {
            if (slantsHidden()) {
                drawEnds(up, downs.front());
                continue;
            }
            // An upper end beyond an edge of the view joins lower ends beyond the same edge
            // out of sight: those (whose rises do not show either) are passed over.
            std::size_t from = 0, to = downs.size();
            if (area.isValid() && up.x() < area.left())
                from = std::size_t(
                    std::partition_point(downs.begin(), downs.end(),
                                         [&area](const QPoint &p) { return p.x() < area.left(); }) -
                    downs.begin());
            else if (area.isValid() && up.x() > area.right())
                to = std::size_t(std::partition_point(
                                     downs.begin(), downs.end(),
                                     [&area](const QPoint &p) { return p.x() <= area.right(); }) -
                                 downs.begin());
            std::size_t j = from;
            // Asked now and then: the question costs a look along every row between.
            for (; j < to && ((j - from) % 64 != 63 || !slantsHidden()); ++j)
                drawEnds(up, downs[j]);
            risesDrawn = std::max(risesDrawn, j == to ? downs.size() : j);
        }
        for (std::size_t j = risesDrawn; j < downs.size(); ++j)
            drawEnds(ups.front(), downs[j]);
    }
}

void DrawConnectors(TChart &chart, TCanvas &canvas)
{
    TConnectorEnds ends;
    TConnectors().Draw(chart, canvas, ends.Of(chart));
}
