#include "core/MapOperations.h"

#include "util/StatOps.h"

#include <algorithm>
#include <limits>
#include <utility>

tVectorOfDouble GenePositions(const TCatalogue &catalogue, qint32 c)
{
    tVectorOfDouble positions = MakeZeroDoubleVector(qint32(catalogue.FGeneNames.size()));
    // Later records overwrite earlier ones: index 0 is shared by unnamed genes and repeats.
    for (const tGene &record : At(catalogue.FRecords, c))
        At(positions, record.GeneIndex) = double(record.Start);

    double sum = 0.0;
    qint32 count = 0;
    for (double position : positions) {
        if (position > 0.0) {
            sum += position;
            ++count;
        }
    }
    const double mean = count > 0 ? CheckedDiv(sum, double(count)) : 0.0;
    // Absent genes all tie at the mean, so ranking gives them one shared mid-rank; a start at 0
    // counts as absent, negative starts stay where they are.
    for (double &position : positions) {
        if (position == 0.0)
            position = mean;
    }
    return positions;
}

namespace {
// A gene-position vector held sparsely: the genes the chromosome carries, by ascending gene
// index, with their positions as GenePositions gives them, and the position of every other gene
// (the mean). The vector of a chromosome is as long as the gene list; held whole, a catalogue
// of as many chromosomes as gene names would make Disentangle quadratic.
struct TSparsePositions
{
    std::vector<qint32> Genes;
    tVectorOfDouble Positions;
    double Rest = 0.0;
};

TSparsePositions SparseGenePositions(const TCatalogue &catalogue, qint32 c)
{
    const qint64 geneCount = qint64(catalogue.FGeneNames.size());
    std::vector<std::pair<qint32, double>> entries;
    for (const tGene &record : At(catalogue.FRecords, c)) {
        if (record.GeneIndex < 0 || record.GeneIndex >= geneCount)
            throw ERangeError();
        entries.emplace_back(record.GeneIndex, double(record.Start));
    }
    // Stable, so that of several records of one index the last in the row stays last.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    TSparsePositions sparse;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i + 1 < entries.size() && entries[i + 1].first == entries[i].first)
            continue; // a later record of the row wins
        sparse.Genes.push_back(entries[i].first);
        sparse.Positions.push_back(entries[i].second);
    }
    // The mean of the present genes, summed in gene order as over the whole vector.
    double sum = 0.0;
    qint32 count = 0;
    for (double position : sparse.Positions) {
        if (position > 0.0) {
            sum += position;
            ++count;
        }
    }
    sparse.Rest = count > 0 ? CheckedDiv(sum, double(count)) : 0.0;
    for (double &position : sparse.Positions) {
        if (position == 0.0)
            position = sparse.Rest;
    }
    return sparse;
}

double SpearmanOfPositions(const TSparsePositions &a, const TSparsePositions &b, qint64 n)
{
    // The pairs of the genes either carries; all others are (a.Rest, b.Rest).
    tVectorOfDouble x;
    tVectorOfDouble y;
    x.reserve(a.Genes.size() + b.Genes.size());
    y.reserve(a.Genes.size() + b.Genes.size());
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.Genes.size() || j < b.Genes.size()) {
        const qint32 ga = i < a.Genes.size() ? a.Genes[i] : std::numeric_limits<qint32>::max();
        const qint32 gb = j < b.Genes.size() ? b.Genes[j] : std::numeric_limits<qint32>::max();
        x.push_back(ga <= gb ? a.Positions[i] : a.Rest);
        y.push_back(gb <= ga ? b.Positions[j] : b.Rest);
        i += ga <= gb;
        j += gb <= ga;
    }
    return SpearmanWithBackground(x, y, n, a.Rest, b.Rest);
}
} // namespace

tVectorOfDouble LinkCoefficients(const TCatalogue &catalogue)
{
    const std::vector<ChromosomeView> &chromosomes = catalogue.FChromosomes;
    tVectorOfDouble rs(chromosomes.size(), std::numeric_limits<double>::quiet_NaN());
    if (chromosomes.empty())
        return rs;
    const qint64 geneCount = qint64(catalogue.FGeneNames.size());
    // Each vector is built once and then serves as the earlier side of the next pair.
    TSparsePositions previous = SparseGenePositions(catalogue, chromosomes[0].ChromosomeIndex);
    for (std::size_t i = 1; i < chromosomes.size(); ++i) {
        TSparsePositions current = SparseGenePositions(catalogue, chromosomes[i].ChromosomeIndex);
        rs[i] = SpearmanOfPositions(previous, current, geneCount);
        previous = std::move(current);
    }
    return rs;
}

void Disentangle(TCatalogue &catalogue)
{
    std::vector<ChromosomeView> &chromosomes = catalogue.FChromosomes;
    if (chromosomes.empty())
        return;

    // The new flags are collected first, so that a failure leaves the old orientation whole.
    const tVectorOfDouble rs = LinkCoefficients(catalogue);
    tVectorOfBoolean inverted(chromosomes.size(), false);
    for (std::size_t i = 1; i < chromosomes.size(); ++i) {
        // Exactly 0 means no evidence either way: keep the orientation of the row above.
        inverted[i] = rs[i] < 0.0 ? !inverted[i - 1] : bool(inverted[i - 1]);
    }
    for (std::size_t i = 0; i < chromosomes.size(); ++i)
        chromosomes[i].Inverted = inverted[i];
}

void InverseChromosome(TCatalogue &catalogue, qint32 k)
{
    if (k == -1)
        return;
    ChromosomeView &view = At(catalogue.FChromosomes, k);
    view.Inverted = !view.Inverted;
}

tVectorOfBoolean AlignOffsets(TCatalogue &catalogue, qint32 g)
{
    // The new offsets are worked out first: an overflow on one row changes no row.
    tVectorOfBoolean alignedRows(catalogue.FChromosomes.size(), false);
    std::vector<qint32> offsets(catalogue.FChromosomes.size());
    for (std::size_t r = 0; r < catalogue.FRecords.size(); ++r) {
        // Only a row's first record of the gene counts; later repeats are not looked at.
        for (const tGene &record : catalogue.FRecords[r]) {
            if (record.GeneIndex == g) {
                At(offsets, qint64(r)) = CheckedNeg(record.Start);
                At(alignedRows, qint64(r)) = true;
                break;
            }
        }
    }
    for (std::size_t r = 0; r < alignedRows.size(); ++r)
        if (alignedRows[r])
            catalogue.FChromosomes[r].Offset = offsets[r];
    return alignedRows;
}

void ShiftAlignedRows(TCatalogue &catalogue, const tVectorOfBoolean &alignedRows, qint32 m)
{
    std::vector<qint32> offsets(alignedRows.size());
    for (std::size_t r = 0; r < alignedRows.size(); ++r) {
        if (!alignedRows[r])
            continue;
        const ChromosomeView &view = At(catalogue.FChromosomes, qint64(r));
        // An inverted row is drawn at -(c + Offset): adding m moves it by -m like the others.
        offsets[r] = view.Inverted ? CheckedAdd(view.Offset, m) : CheckedSub(view.Offset, m);
    }
    for (std::size_t r = 0; r < alignedRows.size(); ++r)
        if (alignedRows[r])
            catalogue.FChromosomes[r].Offset = offsets[r];
}

namespace {
int Sign(qint32 a, qint32 b)
{
    return (a > b) - (a < b);
}
} // namespace

qint32 RecordAtPosition(const TCatalogue &catalogue, qint32 chromosome, qint32 x)
{
    const ChromosomeView &view = At(catalogue.FChromosomes, chromosome);
    const std::vector<tGene> &row = At(catalogue.FRecords, chromosome);
    // Undo the drawing's mapping (c + Offset, negated when inverted) to get a file coordinate.
    qint32 v = x;
    if (view.Inverted)
        v = CheckedNeg(v);
    v = CheckedSub(v, view.Offset);

    qint32 result = -1;
    for (std::size_t i = 0; i < row.size(); ++i) {
        const tGene &record = row[i];
        // Between Start and End, both included, whichever of them is the greater.
        if (Sign(v, record.Start) * Sign(v, record.End) <= 0) {
            result = qint32(i);
            if (record.GeneIndex != 0)
                break;
        }
    }
    return result;
}

TMapItemActions MapItemActions(const TCatalogue &catalogue, qint32 chromosome, qint32 record)
{
    const qint32 g = At(At(catalogue.FRecords, chromosome), record).GeneIndex;
    TMapItemActions actions;
    actions.InfoEnabled = g != 0;
    actions.AlignEnabled = At(catalogue.FGeneCounts, g) > 1;
    return actions;
}
