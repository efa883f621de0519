#include "map/RowReport.h"

#include "chart/TChart.h"
#include "core/MapOperations.h"
#include "map/Connectors.h"

#include <algorithm>
#include <cmath>

namespace {
// Pairs i < j with lower[i] > lower[j], counted while merge-sorting lower[from, to).
tCrossings Inversions(std::vector<double> &lower, std::vector<double> &scratch, std::size_t from,
                      std::size_t to)
{
    if (to - from < 2)
        return 0;
    const std::size_t mid = from + (to - from) / 2;
    tCrossings count = Inversions(lower, scratch, from, mid) + Inversions(lower, scratch, mid, to);
    std::size_t i = from;
    std::size_t j = mid;
    std::size_t k = from;
    while (i < mid || j < to) {
        if (j == to || (i < mid && lower[i] <= lower[j])) {
            scratch[k++] = lower[i++];
        } else {
            // Every element left in the first half is greater than this one.
            count += mid - i;
            scratch[k++] = lower[j++];
        }
    }
    std::copy(scratch.begin() + qsizetype(from), scratch.begin() + qsizetype(to),
              lower.begin() + qsizetype(from));
    return count;
}

// Pairs (x, y), x from a and y from b, with x < y; both sorted. A count of pairs of records
// fits 64 bits; their products, the crossings, take tCrossings.
qint64 PairsBelow(const std::vector<double> &a, const std::vector<double> &b)
{
    qint64 count = 0;
    std::size_t i = 0;
    for (const double y : b) {
        while (i < a.size() && a[i] < y)
            ++i;
        count += qint64(i);
    }
    return count;
}

// Pairs of the sorted values that differ.
qint64 UnequalPairs(const std::vector<double> &v)
{
    const auto n = qint64(v.size());
    qint64 count = n * (n - 1) / 2;
    for (std::size_t i = 0; i < v.size();) {
        std::size_t j = i;
        while (j < v.size() && v[j] == v[i])
            ++j;
        count -= qint64(j - i) * qint64(j - i - 1) / 2;
        i = j;
    }
    return count;
}

qint64 Below(const std::vector<double> &v, double x)
{
    return std::lower_bound(v.begin(), v.end(), x) - v.begin();
}

qint64 Above(const std::vector<double> &v, double x)
{
    return v.end() - std::upper_bound(v.begin(), v.end(), x);
}

// The crossings of the links of two rows without listing a product's every link: within a
// product each pair of distinct upper ends and of distinct lower ends makes one crossing;
// between two products, or a product and a link, the ends on either side multiply.
tCrossings Times(qint64 a, qint64 b)
{
    return tCrossings(a) * tCrossings(b);
}

} // namespace

tCrossings LinkCrossings(TRowLinks row)
{
    using TProduct = TRowLinks::TProduct;
    tCrossings count = 0;
    for (std::size_t g = 0; g < row.Products.size(); ++g) {
        const TProduct &a = row.Products[g];
        count += Times(UnequalPairs(a.Upper), UnequalPairs(a.Lower));
        for (std::size_t h = g + 1; h < row.Products.size(); ++h) {
            const TProduct &b = row.Products[h];
            count += Times(PairsBelow(a.Upper, b.Upper), PairsBelow(b.Lower, a.Lower)) +
                     Times(PairsBelow(b.Upper, a.Upper), PairsBelow(a.Lower, b.Lower));
        }
        for (const auto &[u, l] : row.Links)
            count += Times(Below(a.Upper, u), Above(a.Lower, l)) +
                     Times(Above(a.Upper, u), Below(a.Lower, l));
    }
    return count + CountCrossings(std::move(row.Links));
}

void TRowLinks::Join(std::span<const double> upper, std::span<const double> lower)
{
    const auto k = qint64(upper.size());
    const auto m = qint64(lower.size());
    // A name repeated on both rows links every pair: counted from its two lists instead.
    if (k * m > 4 * (k + m)) {
        TProduct product{{upper.begin(), upper.end()}, {lower.begin(), lower.end()}};
        std::sort(product.Upper.begin(), product.Upper.end());
        std::sort(product.Lower.begin(), product.Lower.end());
        Products.push_back(std::move(product));
        return;
    }
    for (const double u : upper)
        for (const double l : lower)
            Links.emplace_back(u, l);
}

namespace {

// The genes a chromosome carries, each once, by ascending index: those Disentangle compares.
std::vector<qint32> GenesOf(const TCatalogue &catalogue, qint32 chromosome)
{
    std::vector<qint32> genes;
    for (const TGenePosition &position : GenePositions(catalogue, chromosome))
        genes.push_back(position.Gene);
    return genes;
}
} // namespace

QByteArray CrossingsText(tCrossings count)
{
    // QByteArray::number stops at 64 bits: the digits are taken off one by one.
    QByteArray digits;
    do {
        digits.prepend(char('0' + int(count % 10)));
        count /= 10;
    } while (count != 0);
    return digits;
}

tCrossings CountCrossings(std::vector<std::pair<double, double>> ends)
{
    // In upper order, ties by lower: then a crossing is a strict inversion of the lower ends.
    std::sort(ends.begin(), ends.end());
    std::vector<double> lower(ends.size());
    for (std::size_t i = 0; i < ends.size(); ++i)
        lower[i] = ends[i].second;
    std::vector<double> scratch(lower.size());
    return Inversions(lower, scratch, 0, lower.size());
}

std::vector<tCrossings> ConnectorCrossings(const TChart &chart)
{
    // The connectors from each row to the row right below it, by their map positions.
    const int rows = std::max(0, chart.SeriesCount() - 1);
    std::vector<TRowLinks> links(std::size_t(rows) + 1);
    ForEachLinkGroup(chart, [&](int upper, const int *p, int k, int lower, const int *q, int m) {
        if (lower != upper + 1)
            return;
        const TArrowSeries &up = chart.Series(upper);
        const TArrowSeries &down = chart.Series(lower);
        std::vector<double> upperEnds(static_cast<std::size_t>(k));
        std::vector<double> lowerEnds(static_cast<std::size_t>(m));
        for (int i = 0; i < k; ++i)
            upperEnds[std::size_t(i)] = up.StartX(p[i]);
        for (int j = 0; j < m; ++j)
            lowerEnds[std::size_t(j)] = down.StartX(q[j]);
        links[std::size_t(lower)].Join(upperEnds, lowerEnds);
    });

    std::vector<tCrossings> crossings(links.size(), 0);
    for (std::size_t s = 0; s < links.size(); ++s)
        crossings[s] = LinkCrossings(std::move(links[s]));
    return crossings;
}

tCrossings TotalConnectorCrossings(const TChart &chart)
{
    tCrossings total = 0;
    for (const tCrossings count : ConnectorCrossings(chart))
        total += count;
    return total;
}

std::vector<TRowReportLine> RowReport(const TCatalogue &catalogue, const TChart &chart,
                                      const std::vector<TRegionAlignment> &stretches)
{
    TRibbons ribbons;
    const std::vector<TRibbonRowSums> sums =
        RibbonRowSums(chart, ribbons.Of(chart, catalogue, stretches));
    // Where each chromosome stands in the list, for its view and its coefficient.
    std::vector<qint64> listIndex(catalogue.FRecords.size(), -1);
    for (std::size_t i = 0; i < catalogue.FChromosomes.size(); ++i)
        At(listIndex, catalogue.FChromosomes[i].ChromosomeIndex) = qint64(i);
    const tVectorOfDouble rs = LinkCoefficients(catalogue);

    const std::vector<tCrossings> crossings = ConnectorCrossings(chart);
    const int rows = chart.SeriesCount() - 1;
    std::vector<TRowReportLine> lines;
    std::vector<qint32> above;
    for (int s = 1; s <= rows; ++s) {
        const TArrowSeries &series = chart.Series(s);
        const qint64 i = At(listIndex, series.Tag);
        const ChromosomeView &view = At(catalogue.FChromosomes, i);
        TRowReportLine line;
        line.Name = DisplayText(At(catalogue.FChromosomeNames, series.Tag));
        line.Row = s;
        line.Inverted = view.Inverted;
        line.Offset = view.Offset;
        line.Records = qint64(At(catalogue.FRecords, series.Tag).size());
        std::vector<qint32> genes = GenesOf(catalogue, series.Tag);
        if (s > 1) {
            std::vector<qint32> shared;
            std::set_intersection(above.begin(), above.end(), genes.begin(), genes.end(),
                                  std::back_inserter(shared));
            line.SharedGenes = qint64(shared.size());
        }
        line.Spearman = At(rs, i);
        line.Crossings = crossings[std::size_t(s)];
        const TRibbonRowSums &sum = sums[std::size_t(s)];
        line.Ribbons = sum.Count;
        if (sum.WithIdentity > 0)
            line.MeanIdentity = sum.IdentitySum / double(sum.WithIdentity);
        lines.push_back(line);
        above = std::move(genes);
    }
    return lines;
}

QByteArray ReportField(QString name)
{
    for (QChar &c : name)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    return name.toUtf8();
}

QByteArray RowReportText(const std::vector<TRowReportLine> &lines)
{
    QByteArray text = "chromosome\trow\tinverted\toffset\trecords\tshared genes\tspearman\t"
                      "crossings\tribbons\tmean identity\n";
    for (const TRowReportLine &line : lines) {
        text +=
            ReportField(line.Name) + '\t' + QByteArray::number(line.Row) + '\t' +
            (line.Inverted ? "yes" : "no") + '\t' + QByteArray::number(line.Offset) + '\t' +
            QByteArray::number(line.Records) + '\t' + QByteArray::number(line.SharedGenes) + '\t' +
            (std::isnan(line.Spearman) ? QByteArray() : QByteArray::number(line.Spearman, 'g', 6)) +
            '\t' + CrossingsText(line.Crossings) + '\t' + QByteArray::number(line.Ribbons) + '\t' +
            (line.MeanIdentity < 0 ? QByteArray() : QByteArray::number(line.MeanIdentity, 'f', 1)) +
            '\n';
    }
    return text;
}
