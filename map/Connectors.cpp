#include "map/Connectors.h"

#include "chart/TChart.h"
#include "util/CommonDecl.h"

#include <QHash>

#include <functional>
#include <vector>

namespace {
constexpr int kDropFromUpper = 40;
constexpr int kRiseToLower = 20;

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

void DrawConnectors(TChart &chart, TCanvas &canvas)
{
    canvas.SetPen(clBlack, 1, Qt::SolidLine);
    ForEachConnector(chart, [&chart, &canvas](int s, int p, int t, int q) {
        // Ends the chart has not drawn yet have no placement: that connector waits.
        const TSeriesMarkPosition *a = chart.Series(s).Position(p);
        const TSeriesMarkPosition *b = chart.Series(t).Position(q);
        if (!a || !b)
            return;
        const QPoint line[4] = {
            a->LeaderEnd, QPoint(a->LeaderEnd.x(), a->LeaderEnd.y() + kDropFromUpper),
            QPoint(b->LeaderEnd.x(), b->LeaderEnd.y() - kRiseToLower), b->LeaderEnd};
        canvas.Polyline(line, 4);
    });
}
