// Small hand-made catalogues for the map tests: rows of (start, end, name) records with gene
// indices and counts filled in the way a load fills them.
#pragma once

#include "chart/TChart.h"
#include "core/Catalogue.h"
#include "map/MapBuilder.h"
#include "map/ViewOptions.h"
#include "util/ColorOps.h"

#include <algorithm>
#include <utility>

struct TRecordSpec
{
    qint32 Start;
    qint32 End;
    const char *Name;
};

struct TRowSpec
{
    const char *Chromosome;
    std::vector<TRecordSpec> Records;
};

// Only the first record of a name on a chromosome carries the name's index; later ones carry 0,
// as do records named "???". Offsets stay 0 so that tests see the coordinates as written.
inline TCatalogue MakeCatalogue(const std::vector<TRowSpec> &rows)
{
    TCatalogue c;
    for (const TRowSpec &row : rows)
        for (const TRecordSpec &r : row.Records)
            c.FGeneNames.push_back(QByteArray(r.Name));
    std::sort(c.FGeneNames.begin(), c.FGeneNames.end());
    c.FGeneNames.erase(std::unique(c.FGeneNames.begin(), c.FGeneNames.end()), c.FGeneNames.end());
    c.FGeneCounts.assign(c.FGeneNames.size(), 0);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const qint32 ci = qint32(i);
        c.FChromosomeNames.push_back(QByteArray(rows[i].Chromosome));
        ChromosomeView view;
        view.ChromosomeIndex = ci;
        c.FChromosomes.push_back(view);
        std::vector<tGene> records;
        std::vector<QByteArray> seen;
        for (const TRecordSpec &shape : rows[i].Records) {
            tGene g;
            g.ChromosomeName = rows[i].Chromosome;
            g.ChromosomeIndex = ci;
            g.Start = shape.Start;
            g.End = shape.End;
            g.Strand = shape.Start <= shape.End ? 1 : -1;
            g.GeneName = shape.Name;
            const auto at = std::lower_bound(c.FGeneNames.begin(), c.FGeneNames.end(), g.GeneName);
            const qint32 gi = qint32(at - c.FGeneNames.begin());
            if (g.GeneName != kUnknownGene &&
                std::find(seen.begin(), seen.end(), g.GeneName) == seen.end()) {
                seen.push_back(g.GeneName);
                g.GeneIndex = gi;
                ++c.FGeneCounts[std::size_t(gi)];
            }
            records.push_back(g);
            ++c.FRecordCount;
        }
        c.FRecords.push_back(std::move(records));
    }
    c.FMaxGeneCount =
        c.FGeneCounts.empty() ? 0 : *std::max_element(c.FGeneCounts.begin(), c.FGeneCounts.end());
    FindZeroGenes(c);
    return c;
}

inline qint32 GeneIndexOf(const TCatalogue &c, const char *name)
{
    const auto at = std::find(c.FGeneNames.begin(), c.FGeneNames.end(), QByteArray(name));
    return at == c.FGeneNames.end() ? -1 : qint32(at - c.FGeneNames.begin());
}

// The main window's state around one catalogue: both check lists (all checked), the View
// switches and the palette.
struct TMapFixture
{
    TCatalogue Catalogue;
    std::vector<bool> ChromosomeChecked;
    std::vector<bool> GeneChecked;
    TViewOptions View;
    tPalette Palette = FirePalette();

    explicit TMapFixture(TCatalogue catalogue)
        : Catalogue(std::move(catalogue)),
          ChromosomeChecked(Catalogue.FChromosomeNames.size(), true),
          GeneChecked(Catalogue.FGeneNames.size(), true)
    {
    }

    TMapSource Source() const
    {
        return TMapSource{Catalogue, ChromosomeChecked, GeneChecked, View, Palette};
    }

    void Rebuild(TChart &chart) const { RebuildMap(chart, Source()); }
};
