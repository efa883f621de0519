#include "map/Connectors.h"

#include "chart/LineRaster.h"
#include "chart/TCanvas.h"
#include "chart/TChart.h"
#include "util/CommonDecl.h"

#include <QHash>

#include <algorithm>
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

// Each label of a row is joined to all its occurrences on the nearest lower row that has it.
// Rescanning the lower rows for every point costs rows x points; instead the rows are walked
// bottom-up once, keeping for every label where it occurs on the nearest row below, so the work
// is one pass over the points plus one step per connector. The order (upper row, its points,
// then the lower points) stays that of a top-down search.
void ForEachConnector(const TChart &chart, const std::function<void(int, int, int, int)> &fn)
{
    const int n = chart.SeriesCount();
    if (n < 3)
        return;
    // Labels as small integers; "???" is never joined.
    QHash<QByteArray, int> ids;
    const auto rows = static_cast<std::size_t>(n);
    std::vector<std::vector<int>> labelIds(rows);
    for (int s = 1; s < n; ++s) {
        const TArrowSeries &series = chart.Series(s);
        std::vector<int> &rowIds = labelIds[std::size_t(s)];
        rowIds.resize(std::size_t(series.Count()));
        for (int p = 0; p < series.Count(); ++p) {
            const QByteArray &label = series.Label(p);
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

    // Members[t]: the points of row t grouped by label, ascending within a group.
    const auto labels = static_cast<std::size_t>(ids.size());
    std::vector<std::vector<int>> members(rows);
    std::vector<std::vector<TTarget>> targets(rows);
    std::vector<TTarget> nearest(labels); // per label, where it occurs on the nearest row below
    std::vector<int> counts(labels, 0);
    std::vector<int> touched;
    for (int s = n - 1; s >= 1; --s) {
        const std::vector<int> &rowIds = labelIds[std::size_t(s)];
        std::vector<TTarget> &rowTargets = targets[std::size_t(s)];
        rowTargets.resize(rowIds.size());
        touched.clear();
        for (std::size_t p = 0; p < rowIds.size(); ++p) {
            const int id = rowIds[p];
            if (id < 0)
                continue;
            rowTargets[p] = nearest[std::size_t(id)];
            if (counts[std::size_t(id)]++ == 0)
                touched.push_back(id);
        }
        // Group this row's points and make it the nearest row for its labels.
        std::vector<int> &rowMembers = members[std::size_t(s)];
        int offset = 0;
        for (int id : touched) {
            TTarget &t = nearest[std::size_t(id)];
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

    for (int s = 1; s < n - 1; ++s) {
        const std::vector<TTarget> &rowTargets = targets[std::size_t(s)];
        for (std::size_t p = 0; p < rowTargets.size(); ++p) {
            const TTarget &t = rowTargets[p];
            const std::vector<int> &rowMembers = members[std::size_t(t.Row)];
            for (int m = t.First; m < t.First + t.Count; ++m)
                fn(s, int(p), t.Row, rowMembers[std::size_t(m)]);
        }
    }
}

void CopyLeaderEnds(const TArrowSeries &series, QPoint *out)
{
    const auto &list = series.Marks.Positions;
    for (int p = 0; p < series.Count(); ++p)
        out[p] = std::size_t(p) < list.size() && list[std::size_t(p)]
                     ? list[std::size_t(p)]->LeaderEnd
                     : kNoLeaderEnd;
}

void TConnectors::Draw(TChart &chart, TCanvas &canvas, const std::vector<QPoint> *givenEnds)
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
        ForEachConnector(chart, [this](int s, int p, int t, int q) {
            m_links.push_back({m_rowStart[std::size_t(s)] + p, m_rowStart[std::size_t(t)] + q});
        });
        m_links.shrink_to_fit();
        m_rows.clear();
        for (int s = 0; s < n; ++s)
            m_rows.emplace_back(&chart.Series(s), chart.Series(s).Revision());
    }
    const bool plain = !chart.SkipHiddenWork;
    // A drawing that only places the labels shows nothing: the ends need no copying.
    if (!plain && !canvas.VisibleArea().isValid())
        return;
    // The ends copied row by row into one small array: the links visit them in no useful order,
    // and the placements themselves are five times larger.
    const bool given = givenEnds && givenEnds->size() == std::size_t(m_rowStart.back());
    if (!given)
        m_ends.resize(std::size_t(m_rowStart.back()));
    for (int s = 0; !given && s < n; ++s)
        CopyLeaderEnds(chart.Series(s), m_ends.data() + m_rowStart[std::size_t(s)]);

    const QPoint *ends = given ? givenEnds->data() : m_ends.data();
    // One pixel more: a pen scaled on the way to the surface spreads a little.
    const QRect area = plain ? QRect() : canvas.VisibleArea().adjusted(-1, -1, 1, 1);
    const bool exact = !plain && canvas.ExactPixels();
    // On exact pixels the lines are written straight into the surface, where the engine would
    // put them: that costs less than asking whether they would change anything.
    std::optional<TLineRaster> raster;
    if (exact) {
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
    // Without it, a connector repeating an earlier one is left out.
    const bool dedupe = exact && !raster;
    if (dedupe)
        m_drawn.Reset(m_links.size());
    // Only black is drawn here, so what is found black stays black.
    TBlackPixels black(canvas.Painter());
    constexpr std::size_t kAhead = 16;
    QPoint fullBetween = kNoEnd; // the rows of upper and lower ends whose slant rows are full
    for (std::size_t k = 0; k < m_links.size(); ++k) {
        const TLink &link = m_links[k];
        // The lower ends come in no order: asked for a few links ahead, they are at hand when
        // their turn comes.
        if (k + kAhead < m_links.size())
            __builtin_prefetch(&ends[std::size_t(m_links[k + kAhead].Lower)]);
        // Ends the chart has not drawn yet have no placement: that connector waits.
        const QPoint a = ends[std::size_t(link.Upper)];
        const QPoint b = ends[std::size_t(link.Lower)];
        if (a == kNoEnd || b == kNoEnd)
            continue;
        const QPoint line[4] = {a, QPoint(a.x(), a.y() + kDropFromUpper),
                                QPoint(b.x(), b.y() - kRiseToLower), b};
        if (!plain) {
            // A line of one pixel stays inside the box of its points.
            const auto [left, right] = std::minmax({line[0].x(), line[2].x()});
            const int top = std::min({line[0].y(), line[2].y(), line[3].y()});
            const int bottom = std::max({line[1].y(), line[2].y(), line[3].y()});
            if (right < area.left() || left > area.right() || bottom < area.top() ||
                top > area.bottom())
                continue;
            if (raster) {
                // Zoomed in, most connectors crossing the view have their drop and rise
                // outside it, and cross rows that earlier ones have filled already.
                if (raster->ColumnCutAway(a.x()) && raster->ColumnCutAway(b.x())) {
                    // The links between two rows cross the same rows of pixels: once those are
                    // full, the rest of them need no look at the writer.
                    if (QPoint(a.y(), b.y()) == fullBetween)
                        continue;
                    if (raster->RowsFullAround(line[1], line[2])) {
                        fullBetween = QPoint(a.y(), b.y());
                        continue;
                    }
                    if (raster->StrokeChangesNothing(line[1], line[2]))
                        continue;
                }
                if (raster->PolylineHidden(line, 4))
                    continue;
                if (raster->Polyline(line, 4))
                    continue;
            }
            // Where connectors cross in numbers their pixels are all black already. That is
            // the cheaper question, so it comes first; a connector found black need not be
            // remembered, since a later one on the same pixels will be found black too.
            // A drop or a rise whose column (one either side) lies outside the area touches
            // nothing there; zoomed in, that is both of them for most connectors.
            const auto unseen = [&area](int x) {
                return x + 1 < area.left() || x - 1 > area.right();
            };
            if (black.Available() && black.AllBlackAlong(line[1], line[2]) &&
                (unseen(line[0].x()) || black.AllBlackAlong(line[0], line[1])) &&
                (unseen(line[3].x()) || black.AllBlackAlong(line[2], line[3])))
                continue;
            if (dedupe &&
                !m_drawn.Insert({line[0].x(), line[0].y(), line[3].x(), line[3].y(), 0, 0, 0, 0}))
                continue;
        }
        canvas.Polyline(line, 4);
    }
    m_drawn.Trim();
}

void DrawConnectors(TChart &chart, TCanvas &canvas)
{
    TConnectors().Draw(chart, canvas);
}
