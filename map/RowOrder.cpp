#include "map/RowOrder.h"

#include "chart/TChart.h"

#include <QHash>

#include <algorithm>
#include <numeric>
#include <random>

namespace {
// A row's linked points sorted by name, then by map position: the points of one name lie
// together, so two rows' shared names are found by walking both at once.
struct TRowEnds
{
    std::vector<qint32> Names;
    std::vector<double> Xs;
};

std::vector<TRowEnds> RowEnds(const TChart &chart)
{
    const int rows = std::max(0, chart.SeriesCount() - 1);
    // Names as small integers; "???" joins nothing, as on the map.
    QHash<QByteArray, qint32> ids;
    std::vector<TRowEnds> ends(static_cast<std::size_t>(rows));
    std::vector<std::pair<qint32, double>> points;
    for (int s = 1; s <= rows; ++s) {
        const TArrowSeries &series = chart.Series(s);
        points.clear();
        for (int p = 0; p < series.Count(); ++p) {
            const QByteArray &key = series.LinkKey(p);
            if (key == kUnknownGene)
                continue;
            auto it = ids.constFind(key);
            if (it == ids.constEnd())
                it = ids.insert(key, qint32(ids.size()));
            points.emplace_back(it.value(), series.StartX(p));
        }
        std::sort(points.begin(), points.end());
        TRowEnds &row = ends[std::size_t(s - 1)];
        row.Names.reserve(points.size());
        row.Xs.reserve(points.size());
        for (const auto &[name, x] : points) {
            row.Names.push_back(name);
            row.Xs.push_back(x);
        }
    }
    return ends;
}

// The end of the run of one name from i.
std::size_t RunEnd(const std::vector<qint32> &names, std::size_t i)
{
    const qint32 name = names[i];
    while (i < names.size() && names[i] == name)
        ++i;
    return i;
}

tCrossings PairCrossings(const TRowEnds &a, const TRowEnds &b)
{
    TRowLinks links;
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.Names.size() && j < b.Names.size()) {
        if (a.Names[i] < b.Names[j]) {
            i = RunEnd(a.Names, i);
        } else if (b.Names[j] < a.Names[i]) {
            j = RunEnd(b.Names, j);
        } else {
            const std::size_t iEnd = RunEnd(a.Names, i);
            const std::size_t jEnd = RunEnd(b.Names, j);
            links.Join(std::span<const double>(a.Xs).subspan(i, iEnd - i),
                       std::span<const double>(b.Xs).subspan(j, jEnd - j));
            i = iEnd;
            j = jEnd;
        }
    }
    return LinkCrossings(std::move(links));
}

// No sum of crossings reaches it: a cost not found yet.
constexpr tCrossings kNoCost = ~tCrossings(0);
// The best of all orders is worked out for at most this many rows (2^20 x 20 sums).
constexpr qint32 kMostExactRows = 20;
// Rows x rows x starting rows: about the work of every start on 100 rows.
constexpr qint64 kStartsBudget = 1000000;
// Passes of moves over one order; each lowers the sum, so the search ends without it, but a
// pathological matrix could take many small steps.
constexpr int kMostPasses = 1000;
// Moves looked at over all the kicks (about 80 kicks on 50 rows, 280 on 14).
constexpr qint64 kKicksBudget = 20000000;

// Held-Karp over the sets of rows placed first: Rest(S, v) is the least sum of what follows a
// start through the rows S ending at v. Read forward, always taking the lowest row that keeps the
// least sum, it gives the first of the best orders.
std::vector<qint32> ExactOrder(const TCrossingMatrix &m)
{
    const qint32 n = m.Rows;
    const std::size_t rows = std::size_t(n);
    const std::size_t full = (std::size_t(1) << rows) - 1;
    std::vector<tCrossings> rest((full + 1) * rows, kNoCost);
    const auto Rest = [&](std::size_t set, qint32 v) -> tCrossings & {
        return rest[set * rows + std::size_t(v)];
    };
    for (qint32 v = 0; v < n; ++v)
        Rest(full, v) = 0;
    // Every larger set is done before its subsets.
    for (std::size_t set = full; set-- > 1;)
        for (qint32 v = 0; v < n; ++v) {
            if (!(set >> v & 1))
                continue;
            tCrossings best = kNoCost;
            for (qint32 u = 0; u < n; ++u)
                if (!(set >> u & 1))
                    best = std::min(best, m.At(v, u) + Rest(set | std::size_t(1) << u, u));
            Rest(set, v) = best;
        }
    std::vector<qint32> order;
    qint32 first = 0;
    for (qint32 v = 1; v < n; ++v)
        if (Rest(std::size_t(1) << v, v) < Rest(std::size_t(1) << first, first))
            first = v;
    order.push_back(first);
    std::size_t set = std::size_t(1) << first;
    while (set != full) {
        const qint32 v = order.back();
        for (qint32 u = 0; u < n; ++u)
            if (!(set >> u & 1) &&
                m.At(v, u) + Rest(set | std::size_t(1) << u, u) == Rest(set, v)) {
                order.push_back(u);
                set |= std::size_t(1) << u;
                break;
            }
    }
    return order;
}

// From start, the nearest row not yet placed each time (ties to the lowest).
std::vector<qint32> NearestNeighbourOrder(const TCrossingMatrix &m, qint32 start)
{
    std::vector<qint32> order{start};
    std::vector<bool> placed(std::size_t(m.Rows), false);
    placed[std::size_t(start)] = true;
    while (order.size() < std::size_t(m.Rows)) {
        qint32 next = -1;
        for (qint32 u = 0; u < m.Rows; ++u)
            if (!placed[std::size_t(u)] &&
                (next < 0 || m.At(order.back(), u) < m.At(order.back(), next)))
                next = u;
        placed[std::size_t(next)] = true;
        order.push_back(next);
    }
    return order;
}

// One 2-opt pass: each stretch reversed where that lowers the sum. The sum changes only at the
// stretch's two joins (the matrix is symmetric).
bool ReverseStretches(const TCrossingMatrix &m, std::vector<qint32> &p)
{
    const auto n = qsizetype(p.size());
    bool improved = false;
    for (qsizetype i = 0; i + 1 < n; ++i)
        for (qsizetype j = i + 1; j < n; ++j) {
            if (i == 0 && j == n - 1)
                continue; // the whole order turned: the same sum
            tCrossings before = 0;
            tCrossings after = 0;
            if (i > 0) {
                before += m.At(p[i - 1], p[i]);
                after += m.At(p[i - 1], p[j]);
            }
            if (j + 1 < n) {
                before += m.At(p[j], p[j + 1]);
                after += m.At(p[i], p[j + 1]);
            }
            if (after < before) {
                std::reverse(p.begin() + i, p.begin() + j + 1);
                improved = true;
            }
        }
    return improved;
}

// One or-opt pass: each run of one to longest rows moved to another place, turned or not, where
// that lowers the sum.
bool MoveRuns(const TCrossingMatrix &m, std::vector<qint32> &p, qsizetype longest)
{
    const auto n = qsizetype(p.size());
    bool improved = false;
    std::vector<qint32> rest;
    for (qsizetype length = 1; length <= longest && length < n; ++length)
        for (qsizetype i = 0; i + length <= n; ++i) {
            // Taking the run out cuts its two joins and joins its neighbours.
            tCrossings cut = 0;
            tCrossings joined = 0;
            if (i > 0)
                cut += m.At(p[i - 1], p[i]);
            if (i + length < n)
                cut += m.At(p[i + length - 1], p[i + length]);
            if (i > 0 && i + length < n)
                joined = m.At(p[i - 1], p[i + length]);
            rest.assign(p.begin(), p.begin() + i);
            rest.insert(rest.end(), p.begin() + i + length, p.end());
            const auto r = qsizetype(rest.size());
            bool moved = false;
            for (qsizetype t = 0; t <= r && !moved; ++t)
                for (const bool turned : {false, true}) {
                    if (t == i && (!turned || length == 1))
                        continue; // back where it was
                    const qint32 first = turned ? p[i + length - 1] : p[i];
                    const qint32 last = turned ? p[i] : p[i + length - 1];
                    tCrossings removed = cut;
                    tCrossings added = joined;
                    if (t > 0)
                        added += m.At(rest[t - 1], first);
                    if (t < r)
                        added += m.At(last, rest[t]);
                    if (t > 0 && t < r)
                        removed += m.At(rest[t - 1], rest[t]);
                    if (added >= removed)
                        continue;
                    std::vector<qint32> run(p.begin() + i, p.begin() + i + length);
                    if (turned)
                        std::reverse(run.begin(), run.end());
                    rest.insert(rest.begin() + t, run.begin(), run.end());
                    p = rest;
                    improved = moved = true;
                    break;
                }
        }
    return improved;
}

// An order and its reverse have the same sum: the one that comes first stands for both.
void FirstWay(std::vector<qint32> &order)
{
    if (std::lexicographical_compare(order.rbegin(), order.rend(), order.begin(), order.end()))
        std::reverse(order.begin(), order.end());
}

std::vector<qint32> SearchedOrder(const TCrossingMatrix &m)
{
    const qint32 n = m.Rows;
    const qint64 starts = std::clamp<qint64>(kStartsBudget / (qint64(n) * n), 1, n);
    std::vector<std::vector<qint32>> candidates;
    candidates.emplace_back(std::size_t(n));
    std::iota(candidates.back().begin(), candidates.back().end(), 0);
    for (qint64 k = 0; k < starts; ++k)
        candidates.push_back(NearestNeighbourOrder(m, qint32(k * n / starts)));
    const auto improve = [&m](std::vector<qint32> &order, qsizetype longest) {
        for (int pass = 0; pass < kMostPasses; ++pass) {
            const bool reversed = ReverseStretches(m, order);
            if (!MoveRuns(m, order, longest) && !reversed)
                break;
        }
        FirstWay(order);
    };
    std::vector<qint32> best;
    tCrossings bestSum = kNoCost;
    const auto keep = [&](const std::vector<qint32> &order) {
        const tCrossings sum = PathCrossings(m, order);
        if (sum < bestSum || (sum == bestSum && order < best)) {
            best = order;
            bestSum = sum;
        }
    };
    // Runs of any length moved (two neighbouring stretches swapped, which short moves cannot
    // reach one by one) where the rows are few enough for it.
    const qsizetype longest = qint64(n) * n * n * starts <= kStartsBudget * 20 ? n - 1 : 3;
    for (std::vector<qint32> &order : candidates) {
        improve(order, longest);
        keep(order);
    }
    // Kicks out of the best order's hollow: a stretch of up to six rows shuffled and the order
    // improved again, kept when it lowers the sum (or ties it and comes first). The generator's
    // fixed seed gives every run the same order.
    std::minstd_rand kicks(1);
    const qsizetype width = std::min<qsizetype>(n, 6);
    const qint64 tries = std::min<qint64>(20 * qint64(n), kKicksBudget / (qint64(n) * n * longest));
    for (qint64 t = 0; t < tries; ++t) {
        std::vector<qint32> order = best;
        const auto at = qsizetype(kicks() % quint64(n - width + 1));
        for (qsizetype i = width - 1; i > 0; --i)
            std::swap(order[at + i], order[at + qsizetype(kicks() % quint64(i + 1))]);
        improve(order, longest);
        keep(order);
    }
    return best;
}
} // namespace

TCrossingMatrix PairwiseCrossings(const TChart &chart)
{
    const std::vector<TRowEnds> ends = RowEnds(chart);
    TCrossingMatrix matrix;
    matrix.Rows = qint32(ends.size());
    matrix.Counts.assign(ends.size() * ends.size(), 0);
    for (std::size_t a = 0; a < ends.size(); ++a)
        for (std::size_t b = a + 1; b < ends.size(); ++b)
            matrix.Counts[a * ends.size() + b] = matrix.Counts[b * ends.size() + a] =
                PairCrossings(ends[a], ends[b]);
    return matrix;
}

tCrossings PathCrossings(const TCrossingMatrix &matrix, const std::vector<qint32> &order)
{
    tCrossings sum = 0;
    for (std::size_t i = 1; i < order.size(); ++i)
        sum += matrix.At(order[i - 1], order[i]);
    return sum;
}

std::vector<qint32> LeastCrossingOrder(const TCrossingMatrix &matrix, qint32 exactRows)
{
    if (matrix.Rows < 3) {
        std::vector<qint32> order(std::size_t(matrix.Rows));
        std::iota(order.begin(), order.end(), 0);
        return order;
    }
    if (matrix.Rows <= std::min(exactRows, kMostExactRows))
        return ExactOrder(matrix);
    return SearchedOrder(matrix);
}

TRowOrder FewestCrossingsOrder(const TCatalogue &catalogue, const TChart &chart)
{
    // Where each row's chromosome stands in the list: the rows' places, which they share out.
    std::vector<qint32> listIndex(catalogue.FRecords.size(), -1);
    for (std::size_t i = 0; i < catalogue.FChromosomes.size(); ++i)
        At(listIndex, catalogue.FChromosomes[i].ChromosomeIndex) = qint32(i);
    if (chart.SeriesCount() - 1 > kMostOrderRows)
        throw ERowOrderError(QStringLiteral("Order rows orders at most %1 rows, and the map shows "
                                            "%2: check fewer chromosomes")
                                 .arg(kMostOrderRows)
                                 .arg(chart.SeriesCount() - 1));
    std::vector<qint32> places;
    for (int s = 1; s < chart.SeriesCount(); ++s)
        places.push_back(At(listIndex, chart.Series(s).Tag));
    std::vector<qint32> sortedPlaces = places;
    std::sort(sortedPlaces.begin(), sortedPlaces.end());

    const TCrossingMatrix matrix = PairwiseCrossings(chart);
    const std::vector<qint32> order = LeastCrossingOrder(matrix);
    TRowOrder result;
    result.Items.resize(catalogue.FChromosomes.size());
    std::iota(result.Items.begin(), result.Items.end(), 0);
    for (std::size_t r = 0; r < order.size(); ++r)
        result.Items[std::size_t(sortedPlaces[r])] = places[std::size_t(order[r])];
    result.Crossings = PathCrossings(matrix, order);
    result.Exact = matrix.Rows <= kExactOrderRows;
    return result;
}

QString TRowOrderReport::Text() const
{
    return QStringLiteral("Order: crossings %1 before, %2 after")
        .arg(QString::fromLatin1(CrossingsText(Before)), QString::fromLatin1(CrossingsText(After)));
}
