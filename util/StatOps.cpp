#include "util/StatOps.h"

#include <algorithm>
#include <cmath>
#include <utility>

tVectorOfDouble CopyVector(const tVectorOfDouble &source)
{
    tVectorOfDouble result(source.size());
    for (std::size_t i = 0; i < source.size(); ++i)
        result[i] = source[i];
    return result;
}

tVectorOfDouble MakeZeroDoubleVector(qint32 n)
{
    tVectorOfDouble result(n > 0 ? std::size_t(n) : 0);
    for (double &element : result)
        element = 0.0;
    return result;
}

namespace {
// Places the element held in (keyA, keyB) into the heap rooted at position `root` (counted from
// 1) of the heap a[1..last]; a larger child moves up only when strictly greater than the key.
void SiftDown(double *a, double *b, std::size_t root, std::size_t last, double keyA, double keyB)
{
    std::size_t parent = root;
    std::size_t child = 2 * root;
    while (child <= last) {
        if (child < last && a[child - 1] < a[child])
            ++child;
        if (!(keyA < a[child - 1]))
            break;
        a[parent - 1] = a[child - 1];
        b[parent - 1] = b[child - 1];
        parent = child;
        child = 2 * parent;
    }
    a[parent - 1] = keyA;
    b[parent - 1] = keyB;
}
} // namespace

void SortPaired(qint32 n, tVectorOfDouble &a, tVectorOfDouble &b)
{
    if (n < 2)
        return;
    if (std::size_t(n) > a.size() || std::size_t(n) > b.size())
        throw ERangeError();
    // Bounds are checked once above; the sort itself then runs on raw storage.
    double *pa = a.data();
    double *pb = b.data();
    const std::size_t count = std::size_t(n);
    for (std::size_t root = count / 2; root >= 1; --root)
        SiftDown(pa, pb, root, count, pa[root - 1], pb[root - 1]);
    for (std::size_t last = count; last >= 2; --last) {
        const double keyA = pa[last - 1];
        const double keyB = pb[last - 1];
        pa[last - 1] = pa[0];
        pb[last - 1] = pb[0];
        SiftDown(pa, pb, 1, last - 1, keyA, keyB);
    }
}

TRanks RankSorted(const tVectorOfDouble &w)
{
    TRanks result;
    const std::size_t n = w.size();
    result.Ranks.assign(n, 0.0);
    if (n == 0)
        return result;
    // Positions j run from 1, as in the ranks themselves; w[j - 1] is the element at j.
    std::size_t j = 1;
    while (j < n) {
        if (w[j] != w[j - 1]) {
            result.Ranks[j - 1] = double(j);
            ++j;
        } else {
            std::size_t jt = j + 1;
            while (jt <= n && w[jt - 1] == w[j - 1])
                ++jt;
            const double midRank = 0.5 * double(j + jt - 1);
            for (std::size_t k = j; k < jt; ++k)
                result.Ranks[k - 1] = midRank;
            const double t = double(jt - j);
            result.TieSum += t * t * t - t;
            j = jt;
        }
    }
    if (j == n)
        result.Ranks[n - 1] = double(n);
    return result;
}

namespace {
// The tie-corrected coefficient from the count, both tie sums and the sum of squared rank
// differences; 0 when it cannot be normalised (all values of one side tied).
double Coefficient(double en, double sf, double sg, double d)
{
    const double en3n = en * en * en - en;
    const double fac = (1.0 - CheckedDiv(sf, en3n)) * (1.0 - CheckedDiv(sg, en3n));
    if (fac == 0.0)
        return 0.0;
    const double numerator = 1.0 - CheckedDiv(6.0, en3n) * (CheckedDiv(sf + sg, 12.0) + d);
    return CheckedDiv(numerator, CheckedResult(std::sqrt(fac)));
}
} // namespace

double Spearman(const tVectorOfDouble &x, const tVectorOfDouble &y)
{
    OSTRINEL_ASSERT(x.size() == y.size(), "X and Y must have the same length.", "StatOps");
    const std::size_t n = x.size();
    // One pair has no order to compare and n^3 - n would be 0: no correlation to report.
    if (n < 2)
        return 0.0;

    tVectorOfDouble wx = CopyVector(x);
    tVectorOfDouble wy = CopyVector(y);
    SortPaired(qint32(n), wx, wy);
    TRanks rx = RankSorted(wx);
    const double sf = rx.TieSum;
    wx = std::move(rx.Ranks);
    // wx now moves along as the companion, so each pair keeps its X rank next to its Y value.
    SortPaired(qint32(n), wy, wx);
    TRanks ry = RankSorted(wy);
    const double sg = ry.TieSum;
    wy = std::move(ry.Ranks);

    double d = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const double diff = wx[k] - wy[k];
        d += diff * diff;
    }
    return Coefficient(double(n), sf, sg, d);
}
