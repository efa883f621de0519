#include "core/Regions.h"

#include <algorithm>

namespace {
bool Overlaps(const tGene &record, const TRegion &region)
{
    const qint64 low = std::min(record.Start, record.End);
    const qint64 high = std::max(record.Start, record.End);
    return high >= region.From && low <= region.To;
}

QString RegionText(const TRegion &region)
{
    return QStringLiteral("%1:%2-%3")
        .arg(DisplayText(region.Chromosome))
        .arg(region.From)
        .arg(region.To);
}
} // namespace

TCatalogue CatalogueOfRegions(const TCatalogue &catalogue, const std::vector<TRegion> &regions)
{
    std::vector<bool> found(regions.size(), false);
    std::vector<tGene> kept;
    for (const ChromosomeView &view : catalogue.FChromosomes) {
        const QByteArray &name = At(catalogue.FChromosomeNames, view.ChromosomeIndex);
        for (const tGene &record : At(catalogue.FRecords, view.ChromosomeIndex)) {
            bool in = false;
            for (std::size_t r = 0; r < regions.size(); ++r)
                if (regions[r].Chromosome == name && Overlaps(record, regions[r]))
                    in = found[r] = true;
            if (in)
                kept.push_back(record);
        }
    }
    for (std::size_t r = 0; r < regions.size(); ++r) {
        if (found[r])
            continue;
        const bool named =
            std::find(catalogue.FChromosomeNames.begin(), catalogue.FChromosomeNames.end(),
                      regions[r].Chromosome) != catalogue.FChromosomeNames.end();
        throw ERegionError(
            named ? QStringLiteral("The region %1 holds no record").arg(RegionText(regions[r]))
                  : QStringLiteral("No chromosome \"%1\" in the input")
                        .arg(DisplayText(regions[r].Chromosome)));
    }
    return CatalogueFromRecords(std::move(kept), catalogue.FGroupNames);
}

std::vector<TRegion> RegionsAround(const TCatalogue &catalogue, qint32 g, qint64 flank)
{
    std::vector<TRegion> regions;
    for (const ChromosomeView &view : catalogue.FChromosomes) {
        for (const tGene &record : At(catalogue.FRecords, view.ChromosomeIndex)) {
            if (record.GeneIndex != g)
                continue;
            regions.push_back({At(catalogue.FChromosomeNames, view.ChromosomeIndex),
                               qint64(std::min(record.Start, record.End)) - flank,
                               qint64(std::max(record.Start, record.End)) + flank});
            break;
        }
    }
    return regions;
}
