// A catalogue put together by hand for the tests of the map operations and reports, following
// the catalogue's own rules (file order of chromosomes, sorted gene names, GeneIndex only on the
// first record of a name per chromosome, "???" never counted, Offset = -MinCoord), so that those
// tests do not depend on the file reader.
#pragma once

#include "core/Catalogue.h"

#include <algorithm>
#include <initializer_list>
#include <limits>

struct THandRecord
{
    QByteArray Gene;
    qint32 Start = 0;
    qint32 End = 0;
    QByteArray Comment = {};
};

struct THandRow
{
    QByteArray Chromosome;
    std::vector<THandRecord> Records;
};

// extraGenes: gene names in the list that no record carries.
inline TCatalogue HandCatalogue(const std::vector<THandRow> &rows,
                                std::initializer_list<QByteArray> extraGenes = {})
{
    TCatalogue catalogue;
    tVectorOfString names(extraGenes);
    for (const THandRow &row : rows)
        for (const THandRecord &record : row.Records)
            names.push_back(record.Gene);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    catalogue.FGeneNames = names;
    catalogue.FGeneCounts.assign(names.size(), 0);

    for (std::size_t c = 0; c < rows.size(); ++c) {
        catalogue.FChromosomeNames.push_back(rows[c].Chromosome);
        std::vector<tGene> recordRow;
        ChromosomeView view;
        view.ChromosomeIndex = qint32(c);
        tVectorOfBoolean seen(names.size(), false);
        for (const THandRecord &hand : rows[c].Records) {
            tGene record;
            record.ChromosomeName = rows[c].Chromosome;
            record.ChromosomeIndex = qint32(c);
            record.Start = hand.Start;
            record.End = hand.End;
            record.Strand = 1;
            record.GeneName = hand.Gene;
            record.Comment = hand.Comment;
            const auto g = std::size_t(std::lower_bound(names.begin(), names.end(), hand.Gene) -
                                       names.begin());
            if (hand.Gene != kUnknownGene && !seen[g]) {
                seen[g] = true;
                record.GeneIndex = qint32(g);
                ++catalogue.FGeneCounts[g];
            }
            if (recordRow.empty()) {
                view.MinCoord = std::min(hand.Start, hand.End);
                view.MaxCoord = std::max(hand.Start, hand.End);
            } else {
                view.MinCoord = std::min({view.MinCoord, hand.Start, hand.End});
                view.MaxCoord = std::max({view.MaxCoord, hand.Start, hand.End});
            }
            recordRow.push_back(record);
            ++catalogue.FRecordCount;
        }
        // A row reaching the least coordinate has no offset that draws it at 0 (the reader
        // refuses such a file with EIntOverflow); the tests that build one never read it.
        view.Offset = view.MinCoord == std::numeric_limits<qint32>::min() ? 0 : -view.MinCoord;
        catalogue.FRecords.push_back(recordRow);
        catalogue.FChromosomes.push_back(view);
    }
    catalogue.FMaxGeneCount =
        catalogue.FGeneCounts.empty()
            ? 0
            : *std::max_element(catalogue.FGeneCounts.begin(), catalogue.FGeneCounts.end());
    FindZeroGenes(catalogue);
    return catalogue;
}
