#include "app/core/MapOperations.h"

#include "util/StatOps.h"

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

void Disentangle(TCatalogue &catalogue)
{
    std::vector<ChromosomeView> &chromosomes = catalogue.FChromosomes;
    if (chromosomes.empty())
        return;

    // The new flags are collected first, so that a failure leaves the old orientation whole.
    tVectorOfBoolean inverted(chromosomes.size(), false);
    // Each vector is built once and then serves as the earlier side of the next pair.
    tVectorOfDouble previous = GenePositions(catalogue, chromosomes[0].ChromosomeIndex);
    for (std::size_t i = 1; i < chromosomes.size(); ++i) {
        tVectorOfDouble current = GenePositions(catalogue, chromosomes[i].ChromosomeIndex);
        const double rs = Spearman(previous, current);
        // Exactly 0 means no evidence either way: keep the orientation of the row above.
        inverted[i] = rs < 0.0 ? !inverted[i - 1] : bool(inverted[i - 1]);
        previous = std::move(current);
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
