#include "core/Regions.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
// A stretch of a chromosome, both ends included.
struct TSpan
{
    qint64 From = 0;
    qint64 To = 0;
};

QString RegionText(const TRegion &region)
{
    return QStringLiteral("%1:%2-%3")
        .arg(DisplayText(region.Chromosome))
        .arg(region.From)
        .arg(region.To);
}

// The regions of one chromosome sorted once and merged where they overlap or touch: disjoint,
// ascending stretches, so that a record is found among them by bisection and is kept once
// however many of the regions it lies in.
std::vector<TSpan> MergedSpans(const std::vector<TRegion> &regions,
                               const std::vector<std::size_t> &ofChromosome)
{
    std::vector<TSpan> spans;
    spans.reserve(ofChromosome.size());
    for (const std::size_t r : ofChromosome)
        spans.push_back({regions[r].From, regions[r].To});
    std::sort(spans.begin(), spans.end(),
              [](const TSpan &a, const TSpan &b) { return a.From < b.From; });
    std::vector<TSpan> merged;
    for (const TSpan &span : spans) {
        if (!merged.empty() && (span.From <= merged.back().To ||
                                (merged.back().To < std::numeric_limits<qint64>::max() &&
                                 span.From == merged.back().To + 1)))
            merged.back().To = std::max(merged.back().To, span.To);
        else
            merged.push_back(span);
    }
    return merged;
}

// Appends the parts of the record inside the spans, each drawn only over what the figure shows,
// and notes each part's stretch.
void KeepParts(const tGene &record, qint32 hitKey, const std::vector<TSpan> &spans,
               std::vector<tGene> &kept, std::vector<qint32> &keptKeys, std::vector<TSpan> &parts)
{
    const qint64 low = std::min(record.Start, record.End);
    const qint64 high = std::max(record.Start, record.End);
    auto span = std::lower_bound(spans.begin(), spans.end(), low,
                                 [](const TSpan &s, qint64 v) { return s.To < v; });
    for (; span != spans.end() && span->From <= high; ++span) {
        // Inside the record's own coordinates, so 32 bits hold the clipped ends.
        const auto from = qint32(std::max(low, span->From));
        const auto to = qint32(std::min(high, span->To));
        tGene part = record;
        // The part keeps the record's direction.
        part.Start = record.Start <= record.End ? from : to;
        part.End = record.Start <= record.End ? to : from;
        kept.push_back(std::move(part));
        keptKeys.push_back(hitKey);
        parts.push_back({from, to});
    }
}

// Marks each region of the chromosome that some part overlaps: the parts sorted by start, each
// region looks at those starting before its end for one reaching its start.
void MarkFound(std::vector<TSpan> parts, const std::vector<TRegion> &regions,
               const std::vector<std::size_t> &ofChromosome, std::vector<bool> &found)
{
    std::sort(parts.begin(), parts.end(),
              [](const TSpan &a, const TSpan &b) { return a.From < b.From; });
    std::vector<qint64> reach(parts.size()); // the greatest end of the parts up to each
    for (std::size_t i = 0; i < parts.size(); ++i)
        reach[i] = i == 0 ? parts[i].To : std::max(reach[i - 1], parts[i].To);
    for (const std::size_t r : ofChromosome) {
        const auto before = std::upper_bound(parts.begin(), parts.end(), regions[r].To,
                                             [](qint64 v, const TSpan &s) { return v < s.From; });
        const auto count = std::size_t(before - parts.begin());
        found[r] = count > 0 && reach[count - 1] >= regions[r].From;
    }
}

// The break between two stretches of a row, in bases: this share of the longest row's bases.
constexpr double kBreakShare = 0.03;

// Gives each chromosome of two or more regions apart its stretches: each region drawn right after
// the one before it and a break, not where the file has it. The row's ends are its records'.
void SqueezeRegions(TCatalogue &shown, const std::vector<TRegion> &regions,
                    const QHash<QByteArray, std::vector<std::size_t>> &byChromosome)
{
    std::vector<std::vector<TSpan>> spans(shown.FChromosomes.size());
    qint64 longest = 0;
    for (std::size_t c = 0; c < shown.FChromosomes.size(); ++c) {
        const ChromosomeView &view = shown.FChromosomes[c];
        const auto ofChromosome = byChromosome.constFind(At(shown.FChromosomeNames, qint64(c)));
        if (ofChromosome != byChromosome.cend())
            spans[c] = MergedSpans(regions, *ofChromosome);
        // Every region holds a record, so each stretch keeps a part of the row's extent.
        qint64 bases = 0;
        for (TSpan &span : spans[c]) {
            span.From = std::max(span.From, qint64(view.MinCoord));
            span.To = std::min(span.To, qint64(view.MaxCoord));
            bases += span.To - span.From + 1;
        }
        longest = std::max(longest,
                           spans[c].size() > 1 ? bases : qint64(view.MaxCoord) - view.MinCoord + 1);
    }
    const qint64 gap = std::max<qint64>(1, std::llround(double(longest) * kBreakShare));
    for (std::size_t c = 0; c < shown.FChromosomes.size(); ++c) {
        if (spans[c].size() < 2)
            continue;
        std::vector<tStretch> stretches;
        qint64 shift = 0;
        for (std::size_t i = 0; i < spans[c].size(); ++i) {
            const TSpan &span = spans[c][i];
            if (i > 0)
                shift = spans[c][i - 1].To + shift + gap - span.From;
            if (shift < std::numeric_limits<qint32>::min() ||
                shift > std::numeric_limits<qint32>::max())
                throw EIntOverflow();
            stretches.push_back({qint32(span.From), qint32(span.To), qint32(shift)});
        }
        shown.FChromosomes[c].Stretches = std::move(stretches);
    }
}
} // namespace

TCatalogue CatalogueOfRegions(const TCatalogue &catalogue, const std::vector<TRegion> &regions)
{
    QHash<QByteArray, std::vector<std::size_t>> byChromosome;
    for (std::size_t r = 0; r < regions.size(); ++r)
        byChromosome[regions[r].Chromosome].push_back(r);
    std::vector<bool> found(regions.size(), false);
    std::vector<tGene> kept;
    std::vector<qint32> keptKeys; // a part keeps its record's identities
    for (const ChromosomeView &view : catalogue.FChromosomes) {
        const auto ofChromosome =
            byChromosome.constFind(At(catalogue.FChromosomeNames, view.ChromosomeIndex));
        if (ofChromosome == byChromosome.cend())
            continue;
        const std::vector<TSpan> spans = MergedSpans(regions, *ofChromosome);
        std::vector<TSpan> parts;
        const std::vector<tGene> &records = At(catalogue.FRecords, view.ChromosomeIndex);
        const std::vector<qint32> *keys =
            catalogue.FHitKeys.empty() ? nullptr : &At(catalogue.FHitKeys, view.ChromosomeIndex);
        for (std::size_t r = 0; r < records.size(); ++r)
            KeepParts(records[r], keys ? (*keys)[r] : -1, spans, kept, keptKeys, parts);
        MarkFound(std::move(parts), regions, *ofChromosome, found);
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
    TCatalogue shown = CatalogueFromRecords(std::move(kept), catalogue.FGroupNames, keptKeys,
                                            catalogue.FLinkIdentities);
    shown.FChromosomeAliases = catalogue.FChromosomeAliases;
    SqueezeRegions(shown, regions, byChromosome);
    return shown;
}

std::vector<TRegion> RegionsAround(const TCatalogue &catalogue, qint32 g, qint64 flank)
{
    std::vector<TRegion> regions;
    for (const ChromosomeView &view : catalogue.FChromosomes) {
        const qint32 first = FirstRecordOf(catalogue, view.ChromosomeIndex, g);
        if (first < 0)
            continue;
        const tGene &record =
            catalogue.FRecords[std::size_t(view.ChromosomeIndex)][std::size_t(first)];
        regions.push_back({At(catalogue.FChromosomeNames, view.ChromosomeIndex),
                           qint64(std::min(record.Start, record.End)) - flank,
                           qint64(std::max(record.Start, record.End)) + flank});
    }
    return regions;
}
