#include "map/RowReport.h"

#include "chart/TChart.h"
#include "core/MapOperations.h"
#include "map/Connectors.h"

#include <algorithm>
#include <cmath>

namespace {
// Pairs i < j with lower[i] > lower[j], counted while merge-sorting lower[from, to).
qint64 Inversions(std::vector<double> &lower, std::vector<double> &scratch, std::size_t from,
                  std::size_t to)
{
    if (to - from < 2)
        return 0;
    const std::size_t mid = from + (to - from) / 2;
    qint64 count = Inversions(lower, scratch, from, mid) + Inversions(lower, scratch, mid, to);
    std::size_t i = from;
    std::size_t j = mid;
    std::size_t k = from;
    while (i < mid || j < to) {
        if (j == to || (i < mid && lower[i] <= lower[j])) {
            scratch[k++] = lower[i++];
        } else {
            // Every element left in the first half is greater than this one.
            count += qint64(mid - i);
            scratch[k++] = lower[j++];
        }
    }
    std::copy(scratch.begin() + qsizetype(from), scratch.begin() + qsizetype(to),
              lower.begin() + qsizetype(from));
    return count;
}

// The genes a chromosome carries, each once, by ascending index: those Disentangle compares.
std::vector<qint32> GenesOf(const TCatalogue &catalogue, qint32 chromosome)
{
    std::vector<qint32> genes;
    for (const TGenePosition &position : GenePositions(catalogue, chromosome))
        genes.push_back(position.Gene);
    return genes;
}
} // namespace

qint64 CountCrossings(std::vector<std::pair<double, double>> ends)
{
    // In upper order, ties by lower: then a crossing is a strict inversion of the lower ends.
    std::sort(ends.begin(), ends.end());
    std::vector<double> lower(ends.size());
    for (std::size_t i = 0; i < ends.size(); ++i)
        lower[i] = ends[i].second;
    std::vector<double> scratch(lower.size());
    return Inversions(lower, scratch, 0, lower.size());
}

std::vector<TRowReportLine> RowReport(const TCatalogue &catalogue, const TChart &chart)
{
    // Where each chromosome stands in the list, for its view and its coefficient.
    std::vector<qint64> listIndex(catalogue.FRecords.size(), -1);
    for (std::size_t i = 0; i < catalogue.FChromosomes.size(); ++i)
        At(listIndex, catalogue.FChromosomes[i].ChromosomeIndex) = qint64(i);
    const tVectorOfDouble rs = LinkCoefficients(catalogue);

    // The connectors from each row to the row right below it, by their map positions.
    const int rows = chart.SeriesCount() - 1;
    std::vector<std::vector<std::pair<double, double>>> links(std::size_t(std::max(0, rows)) + 1);
    ForEachConnector(chart, [&](int upper, int p, int lower, int q) {
        if (lower == upper + 1)
            links[std::size_t(lower)].emplace_back(chart.Series(upper).StartX(p),
                                                   chart.Series(lower).StartX(q));
    });

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
        line.Crossings = CountCrossings(std::move(links[std::size_t(s)]));
        lines.push_back(line);
        above = std::move(genes);
    }
    return lines;
}

QByteArray RowReportText(const std::vector<TRowReportLine> &lines)
{
    QByteArray text = "chromosome\trow\tinverted\toffset\trecords\tshared genes\tspearman\t"
                      "crossings\n";
    for (const TRowReportLine &line : lines) {
        QString name = line.Name;
        // A tab or line break in a name would split its line.
        for (QChar &c : name)
            if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
                c = QLatin1Char(' ');
        text +=
            name.toUtf8() + '\t' + QByteArray::number(line.Row) + '\t' +
            (line.Inverted ? "yes" : "no") + '\t' + QByteArray::number(line.Offset) + '\t' +
            QByteArray::number(line.Records) + '\t' + QByteArray::number(line.SharedGenes) + '\t' +
            (std::isnan(line.Spearman) ? QByteArray() : QByteArray::number(line.Spearman, 'g', 6)) +
            '\t' + QByteArray::number(line.Crossings) + '\n';
    }
    return text;
}
