#include "core/MapOperations.h"

#include "util/StatOps.h"

#include <algorithm>
#include <limits>
#include <utility>

std::vector<TGenePosition> GenePositions(const TCatalogue &catalogue, qint32 c)
{
    const qint64 geneCount = qint64(catalogue.FGeneNames.size());
    const bool geneZeroNamed = geneCount > 0 && IsNamedGene(catalogue, 0);
    std::vector<TGenePosition> positions;
    for (const tGene &record : At(catalogue.FRecords, c)) {
        if (record.GeneIndex < 0 || record.GeneIndex >= geneCount)
            throw ERangeError();
        // Index 0 is also carried by unnamed records and by repeats, whose gene's first record
        // is elsewhere in the row: only records of gene 0 itself count for it, by the name that
        // makes their gene (a group's under a homology source).
        if (record.GeneIndex == 0 &&
            !(geneZeroNamed && IdentityName(catalogue, record) == catalogue.FGeneNames[0]))
            continue;
        positions.push_back({record.GeneIndex, double(record.Start)});
    }
    // Stable, so that of gene 0's records the first in the row comes first.
    std::stable_sort(
        positions.begin(), positions.end(),
        [](const TGenePosition &a, const TGenePosition &b) { return a.Gene < b.Gene; });
    positions.erase(std::unique(positions.begin(), positions.end(),
                                [](const TGenePosition &a, const TGenePosition &b) {
                                    return a.Gene == b.Gene;
                                }),
                    positions.end());
    return positions;
}

double LinkCoefficient(const std::vector<TGenePosition> &earlier,
                       const std::vector<TGenePosition> &later)
{
    tVectorOfDouble x;
    tVectorOfDouble y;
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < earlier.size() && j < later.size()) {
        if (earlier[i].Gene < later[j].Gene) {
            ++i;
        } else if (later[j].Gene < earlier[i].Gene) {
            ++j;
        } else {
            x.push_back(earlier[i++].Start);
            y.push_back(later[j++].Start);
        }
    }
    // With fewer than two shared genes there is no order to compare.
    return x.size() < 2 ? 0.0 : Spearman(x, y);
}

tVectorOfDouble LinkCoefficients(const TCatalogue &catalogue)
{
    const std::vector<ChromosomeView> &chromosomes = catalogue.FChromosomes;
    tVectorOfDouble rs(chromosomes.size(), std::numeric_limits<double>::quiet_NaN());
    if (chromosomes.empty())
        return rs;
    // Each row's genes are found once and then serve as the earlier side of the next pair.
    std::vector<TGenePosition> previous = GenePositions(catalogue, chromosomes[0].ChromosomeIndex);
    for (std::size_t i = 1; i < chromosomes.size(); ++i) {
        std::vector<TGenePosition> current =
            GenePositions(catalogue, chromosomes[i].ChromosomeIndex);
        rs[i] = LinkCoefficient(previous, current);
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
        const qint32 first = FirstRecordOf(catalogue, qint32(r), g);
        if (first >= 0) {
            // The gene's start drawn at 0, its stretch's shift included.
            const qint32 start = catalogue.FRecords[r][std::size_t(first)].Start;
            At(offsets, qint64(r)) =
                CheckedNeg(CheckedAdd(start, StretchShift(catalogue.FChromosomes[r], start)));
            At(alignedRows, qint64(r)) = true;
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
    // Undo the drawing's mapping to get a file coordinate, which 32 bits must hold.
    const qint64 own = OwnCoordinate(view, x);
    if (own < std::numeric_limits<qint32>::min() || own > std::numeric_limits<qint32>::max())
        throw EIntOverflow();
    const auto v = qint32(own);

    qint32 result = -1;
    for (std::size_t i = 0; i < row.size(); ++i) {
        const tGene &record = row[i];
        // Between Start and End, both included, whichever of them is the greater.
        if (Sign(v, record.Start) * Sign(v, record.End) <= 0) {
            result = qint32(i);
            if (IdentityName(catalogue, record) != kUnknownGene)
                break;
        }
    }
    return result;
}

TMapItemActions MapItemActions(const TCatalogue &catalogue, qint32 chromosome, qint32 record)
{
    // Every record but "???" is a gene's, repeats and gene 0 among them.
    const qint32 g = GeneOfRecord(catalogue, At(At(catalogue.FRecords, chromosome), record));
    TMapItemActions actions;
    actions.InfoEnabled = g >= 0;
    actions.AlignEnabled = g >= 0 && At(catalogue.FGeneCounts, g) > 1;
    return actions;
}

std::vector<qint32> OrderChromosomes(TCatalogue &catalogue, const std::vector<qint32> &first)
{
    const std::size_t count = catalogue.FChromosomes.size();
    std::vector<bool> placed(count, false);
    std::vector<qint32> order;
    order.reserve(count);
    for (qint32 item : first) {
        if (At(placed, item))
            throw ERangeError();
        placed[std::size_t(item)] = true;
        order.push_back(item);
    }
    for (std::size_t i = 0; i < count; ++i)
        if (!placed[i])
            order.push_back(qint32(i));
    // Chromosome c is item c of every per-chromosome list.
    std::vector<std::vector<tGene>> records(count);
    tVectorOfString names(count);
    std::vector<ChromosomeView> views(count);
    std::vector<std::vector<qint32>> zeroGenes(catalogue.FZeroGenes.size());
    std::vector<std::vector<qint32>> hitKeys(catalogue.FHitKeys.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t from = std::size_t(order[i]);
        if (!zeroGenes.empty())
            zeroGenes[i] = std::move(At(catalogue.FZeroGenes, qint64(from)));
        if (!hitKeys.empty())
            hitKeys[i] = std::move(At(catalogue.FHitKeys, qint64(from)));
        records[i] = std::move(At(catalogue.FRecords, qint64(from)));
        names[i] = At(catalogue.FChromosomeNames, qint64(from));
        views[i] = catalogue.FChromosomes[from];
        views[i].ChromosomeIndex = qint32(i);
        for (tGene &record : records[i])
            record.ChromosomeIndex = qint32(i);
    }
    catalogue.FRecords = std::move(records);
    catalogue.FChromosomeNames = std::move(names);
    catalogue.FChromosomes = std::move(views);
    catalogue.FZeroGenes = std::move(zeroGenes);
    catalogue.FHitKeys = std::move(hitKeys);
    return order;
}
