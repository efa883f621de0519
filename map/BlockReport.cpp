#include "map/BlockReport.h"

#include "chart/TChart.h"
#include "map/Ribbons.h"
#include "map/RowReport.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <tuple>
#include <utility>

namespace {
auto KeyOf(const TRibbon &r)
{
    return std::make_tuple(r.Upper, r.Lower, r.Upper0, r.Upper1, r.Lower0, r.Lower1, r.Identity);
}

// Per ribbon of all, whether it joins aligned stretches: the ribbons of the same chart without
// the alignments (genes) are the gene links, and taking them out of all one for one leaves the
// stretches, whatever order the ribbons come in.
std::vector<char> StretchRibbons(const std::vector<TRibbon> &all, const std::vector<TRibbon> &genes)
{
    const auto sorted = [](const std::vector<TRibbon> &ribbons) {
        std::vector<qint32> order(ribbons.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&](qint32 a, qint32 b) {
            return KeyOf(ribbons[std::size_t(a)]) < KeyOf(ribbons[std::size_t(b)]);
        });
        return order;
    };
    const std::vector<qint32> a = sorted(all), g = sorted(genes);
    std::vector<char> stretch(all.size(), 1);
    std::size_t j = 0;
    for (const qint32 i : a) {
        const auto key = KeyOf(all[std::size_t(i)]);
        while (j < g.size() && KeyOf(genes[std::size_t(g[j])]) < key)
            ++j;
        if (j < g.size() && KeyOf(genes[std::size_t(g[j])]) == key) {
            stretch[std::size_t(i)] = 0;
            ++j;
        }
    }
    return stretch;
}

// The index of the point of the row whose span is [from, to] as the ribbon gives it, or -1 (a
// ribbon over a whole group of repeats spans several points).
qint64 RankOf(const TArrowSeries &row, double from, double to)
{
    const std::vector<double> &starts = row.StartXValues();
    for (auto at = std::lower_bound(starts.begin(), starts.end(), from);
         at != starts.end() && *at == from; ++at) {
        const auto p = at - starts.begin();
        if (row.EndX(int(p)) == to)
            return qint64(p);
    }
    return -1;
}

// The links between one pair of rows, and the ribbon each stands for.
struct TPairAnchors
{
    std::vector<TSyntenyAnchor> Anchors;
    std::vector<qint32> Ribbons;
};

// An axis value of a row back in its chromosome's coordinates: MapCoordinate undone.
qint64 CoordinateOf(const ChromosomeView &view, double value)
{
    return OwnCoordinate(view, qint64(std::llround(value)));
}
} // namespace

std::vector<TSyntenyBlock> SyntenyBlocksOf(const TChart &chart, const TCatalogue &catalogue,
                                           const std::vector<TRegionAlignment> &alignments,
                                           const TBlockOptions &options)
{
    TRibbons ribbons;
    const std::vector<TRibbon> &all = ribbons.Of(chart, catalogue, alignments);
    std::vector<char> stretch(all.size(), 0);
    if (!alignments.empty()) {
        TRibbons genes;
        stretch = StretchRibbons(all, genes.Of(chart, catalogue, {}));
    }
    std::map<std::pair<qint32, qint32>, TPairAnchors> pairs;
    TPairAnchors *last = nullptr;
    std::pair<qint32, qint32> lastRows{-1, -1};
    for (std::size_t i = 0; i < all.size(); ++i) {
        const TRibbon &r = all[i];
        if (r.Upper < 1 || r.Lower < 1 || r.Upper >= chart.SeriesCount() ||
            r.Lower >= chart.SeriesCount())
            continue;
        TSyntenyAnchor anchor;
        anchor.UpperStart = std::min(r.Upper0, r.Upper1);
        anchor.UpperEnd = std::max(r.Upper0, r.Upper1);
        anchor.LowerStart = std::min(r.Lower0, r.Lower1);
        anchor.LowerEnd = std::max(r.Lower0, r.Lower1);
        anchor.Inverted = r.Inverted();
        anchor.Identity = r.Identity;
        if (!stretch[i]) {
            anchor.UpperRank = RankOf(chart.Series(r.Upper), r.Upper0, r.Upper1);
            anchor.LowerRank = RankOf(chart.Series(r.Lower), r.Lower0, r.Lower1);
            if (anchor.Stretch())
                continue; // a group of repeats: no order to follow
        }
        if (!last || lastRows != std::make_pair(r.Upper, r.Lower)) {
            lastRows = {r.Upper, r.Lower};
            last = &pairs[lastRows];
        }
        last->Anchors.push_back(anchor);
        last->Ribbons.push_back(qint32(i));
    }
    std::vector<TSyntenyBlock> blocks;
    for (const auto &[rows, pair] : pairs)
        for (TSyntenyBlock &block :
             ChainSyntenyBlocks(rows.first, rows.second, pair.Anchors, options)) {
            for (qint32 &anchor : block.Anchors)
                anchor = pair.Ribbons[std::size_t(anchor)];
            blocks.push_back(std::move(block));
        }
    return blocks;
}

std::vector<TBlockReportLine> BlockReport(const TChart &chart, const TCatalogue &catalogue,
                                          const std::vector<TSyntenyBlock> &blocks)
{
    // Where each chromosome stands in the list, for its view.
    std::vector<qint64> listIndex(catalogue.FRecords.size(), -1);
    for (std::size_t i = 0; i < catalogue.FChromosomes.size(); ++i)
        At(listIndex, catalogue.FChromosomes[i].ChromosomeIndex) = qint64(i);
    // A row's name and its ends, in its chromosome's coordinates, lowest first.
    const auto own = [&](qint32 row, double from, double to, QString &name, qint64 &start,
                         qint64 &end) {
        const qint32 c = chart.Series(row).Tag;
        const ChromosomeView &view = At(catalogue.FChromosomes, At(listIndex, c));
        name = DisplayText(At(catalogue.FChromosomeNames, c));
        const qint64 a = CoordinateOf(view, from), b = CoordinateOf(view, to);
        start = std::min(a, b);
        end = std::max(a, b);
    };
    std::vector<TBlockReportLine> lines;
    lines.reserve(blocks.size());
    for (const TSyntenyBlock &block : blocks) {
        TBlockReportLine line;
        own(block.Upper, block.UpperStart, block.UpperEnd, line.Upper, line.UpperStart,
            line.UpperEnd);
        own(block.Lower, block.LowerStart, block.LowerEnd, line.Lower, line.LowerStart,
            line.LowerEnd);
        line.Anchors = block.AnchorCount;
        line.Inverted = block.Inverted;
        line.MeanIdentity = block.Identity;
        lines.push_back(std::move(line));
    }
    return lines;
}

QByteArray BlockReportText(const std::vector<TBlockReportLine> &lines)
{
    QByteArray text = "upper\tlower\tupper start\tupper end\tlower start\tlower end\tanchors\t"
                      "orientation\tmean identity\n";
    for (const TBlockReportLine &line : lines)
        text +=
            ReportField(line.Upper) + '\t' + ReportField(line.Lower) + '\t' +
            QByteArray::number(line.UpperStart) + '\t' + QByteArray::number(line.UpperEnd) + '\t' +
            QByteArray::number(line.LowerStart) + '\t' + QByteArray::number(line.LowerEnd) + '\t' +
            QByteArray::number(line.Anchors) + '\t' + (line.Inverted ? "-" : "+") + '\t' +
            (line.MeanIdentity < 0 ? QByteArray() : QByteArray::number(line.MeanIdentity, 'f', 1)) +
            '\n';
    return text;
}
