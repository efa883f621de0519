// Synteny blocks benchmark: SyntenyBlocksOf on the map as drawn, and the chaining alone.
//
//   PAIR: two rows of 50,000 genes, the lower one the upper cut into runs of 5 to 60 genes,
//         a third of them turned round (their genes' strands too), put in random order, 2 % of
//         the genes moved elsewhere alone, and 5 % of each row's genes its own; the links of
//         the blocks found against the runs planted.
//   STRETCHES: 50,000 aligned stretches in runs the same way, chained alone.
//   W1: 1,000,000 records on 20 rows (bench/Workloads.h), every pair of rows the links join.
//
//   bench_blocks [RUNS]     (default 3 runs; the figures are the best)
#include "Workloads.h"

#include "chart/TChart.h"
#include "core/Catalogue.h"
#include "map/BlockReport.h"
#include "map/MapBuilder.h"
#include "map/MapSession.h"
#include "map/Ribbons.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <numeric>
#include <stdexcept>
#include <vector>

namespace {
constexpr int kGenes = 50000;

const char *Verdict(double value, double target)
{
    return value <= target ? "ok" : "OVER";
}

// The best time of runs calls of fn.
double Best(int runs, const std::function<void()> &fn)
{
    double best = 1e9;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        fn();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e9);
    }
    return best;
}

// The lower row's genes: the upper row's cut into runs of 5 to 60, a third turned round, in
// random order, and a few moved elsewhere alone.
struct TPlanted
{
    std::vector<int> Lower;          // the genes in lower order
    std::vector<signed char> Turned; // per gene: 0 in a run kept, 1 in one turned, -1 moved alone
    int Runs = 0;
};

TPlanted Plant(bench::TRandom &random, int genes)
{
    TPlanted planted;
    planted.Turned.assign(std::size_t(genes), 0);
    std::vector<std::vector<int>> runs;
    for (int g = 0; g < genes;) {
        const int length = std::min(genes - g, 5 + int(random.below(56)));
        std::vector<int> run;
        for (int k = 0; k < length; ++k)
            run.push_back(g + k);
        if (random.chance(33)) {
            std::reverse(run.begin(), run.end());
            for (const int k : run)
                planted.Turned[std::size_t(k)] = 1;
        }
        runs.push_back(std::move(run));
        g += length;
    }
    planted.Runs = int(runs.size());
    for (std::size_t i = runs.size(); i > 1; --i)
        std::swap(runs[i - 1], runs[random.below(quint32(i))]);
    std::vector<int> &order = planted.Lower;
    for (const std::vector<int> &run : runs)
        order.insert(order.end(), run.begin(), run.end());
    for (int moved = 0; moved < genes / 50; ++moved) {
        const std::size_t from = random.below(quint32(order.size()));
        const int g = order[from];
        planted.Turned[std::size_t(g)] = -1;
        order.erase(order.begin() + qsizetype(from));
        order.insert(order.begin() + qsizetype(random.below(quint32(order.size()))), g);
    }
    return planted;
}

// The two rows as a coordinate file: a gene runs the same way on both rows unless its run was
// turned round (at random when moved alone); 5 % of the genes of each row are its own.
QByteArray PairFile(const TPlanted &planted)
{
    bench::TRandom random(8);
    std::vector<char> forward(kGenes);
    for (char &f : forward)
        f = random.chance(50);
    QByteArray text;
    const auto row = [&](const char *name, const std::vector<int> &genes, bool lower) {
        qint64 at = 1000;
        int own = 0;
        for (const int g : genes) {
            const QByteArray gene =
                random.chance(5) ? name + QByteArray::number(own++) : "g" + QByteArray::number(g);
            const signed char turned = lower ? planted.Turned[std::size_t(g)] : 0;
            const bool strand = turned < 0 ? random.chance(50) : forward[std::size_t(g)] != turned;
            const qint64 end = at + 300 + random.below(1500);
            text += name + ('\t' + QByteArray::number(at)) + '\t' + QByteArray::number(end) +
                    (strand ? "\t1\t" : "\t-1\t") + gene + '\n';
            at = end + 50 + random.below(800);
        }
    };
    std::vector<int> upper(kGenes);
    std::iota(upper.begin(), upper.end(), 0);
    row("upper", upper, false);
    row("lower", planted.Lower, true);
    return text;
}

struct TMap
{
    TMapSession Session;
    TChart Chart;
};

void Build(TMap &map, const QString &path)
{
    map.Session.Install(LoadCatalogue(path));
    SetupMapChart(map.Chart);
    RebuildMap(map.Chart, map.Session.Source());
}

// SyntenyBlocksOf timed, with the part TRibbons::Of takes; returns the blocks.
std::vector<TSyntenyBlock> TimeBlocks(const TMap &map, int runs, double target, const char *what)
{
    const TCatalogue &catalogue = map.Session.FCatalogue;
    const std::vector<TRegionAlignment> none;
    std::size_t ribbons = 0;
    const double of = Best(runs, [&] {
        TRibbons fresh;
        ribbons = fresh.Of(map.Chart, catalogue, none).size();
    });
    std::vector<TSyntenyBlock> blocks;
    const double all =
        Best(runs, [&] { blocks = SyntenyBlocksOf(map.Chart, catalogue, none, TBlockOptions()); });
    qint64 anchors = 0;
    for (const TSyntenyBlock &block : blocks)
        anchors += block.AnchorCount;
    std::printf("  %s: %zu ribbons, %zu blocks of %lld links in %.3f s (target %.1f s) %s; "
                "of which TRibbons::Of %.3f s, anchors and chaining %.3f s\n",
                what, ribbons, blocks.size(), static_cast<long long>(anchors), all, target,
                Verdict(all, target), of, all - of);
    return blocks;
}

void RunPair(int runs)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pair.txt"));
    bench::TRandom random(7);
    const TPlanted planted = Plant(random, kGenes);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(PairFile(planted)) < 0)
            throw std::runtime_error("cannot write the two rows");
    }
    TMap map;
    Build(map, path);
    std::printf("PAIR: two rows of %d genes, %d runs planted\n", kGenes, planted.Runs);
    const std::vector<TSyntenyBlock> blocks = TimeBlocks(map, runs, 0.5, "SyntenyBlocksOf");
    // Each link of a block against the run its gene was planted in.
    TRibbons ribbons;
    const std::vector<TRibbon> &all = ribbons.Of(map.Chart, map.Session.FCatalogue, {});
    qint64 kept = 0, wrong = 0, alone = 0;
    for (const TSyntenyBlock &block : blocks)
        for (const qint32 r : block.Anchors) {
            const TArrowSeries &upper = map.Chart.Series(block.Upper);
            const std::vector<double> &starts = upper.StartXValues();
            const auto p =
                std::lower_bound(starts.begin(), starts.end(), all[std::size_t(r)].Upper0) -
                starts.begin();
            const int g = upper.Label(int(p)).mid(1).toInt();
            const signed char turned = planted.Turned[std::size_t(g)];
            (turned < 0 ? alone : turned == block.Inverted ? kept : wrong) += 1;
        }
    const auto inverted = std::count_if(blocks.begin(), blocks.end(),
                                        [](const TSyntenyBlock &b) { return b.Inverted; });
    std::printf("  %lld of the blocks inverted; of their links %lld in the orientation their run "
                "was planted in, %lld in the other, %lld of genes moved alone\n",
                static_cast<long long>(inverted), static_cast<long long>(kept),
                static_cast<long long>(wrong), static_cast<long long>(alone));
}

void RunStretches(int runs)
{
    bench::TRandom random(11);
    const TPlanted planted = Plant(random, kGenes);
    std::vector<qint64> at(planted.Lower.size());
    for (std::size_t k = 0; k < planted.Lower.size(); ++k)
        at[std::size_t(planted.Lower[k])] = qint64(k);
    // Stretch g: 1,000 bases every 2,000 on the upper row, at the lower row's place of g; a
    // run turned round lies on the other strand.
    std::vector<TSyntenyAnchor> anchors;
    for (int g = 0; g < kGenes; ++g) {
        TSyntenyAnchor a;
        a.UpperStart = 2000.0 * g;
        a.UpperEnd = a.UpperStart + 999;
        a.LowerStart = 2000.0 * double(at[std::size_t(g)]);
        a.LowerEnd = a.LowerStart + 999;
        a.Inverted = planted.Turned[std::size_t(g)] > 0;
        a.Identity = 90;
        anchors.push_back(a);
    }
    std::vector<TSyntenyBlock> blocks;
    const double seconds =
        Best(runs, [&] { blocks = ChainSyntenyBlocks(1, 2, anchors, TBlockOptions()); });
    std::printf("STRETCHES: %d aligned stretches, %d runs planted: %zu blocks in %.3f s "
                "(target 0.5 s) %s\n",
                kGenes, planted.Runs, blocks.size(), seconds, Verdict(seconds, 0.5));
}

void RunW1(int runs)
{
    TMap map;
    QElapsedTimer timer;
    timer.start();
    Build(map, bench::EnsureWorkload(bench::Workload::W1));
    std::printf("W1: %d records on %d rows (loaded and built in %.2f s)\n",
                map.Session.FCatalogue.FRecordCount, map.Chart.SeriesCount() - 1,
                double(timer.nsecsElapsed()) / 1e9);
    TimeBlocks(map, runs, 2, "SyntenyBlocksOf");
}
} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    // The map builder lays the labels out in a font.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    try {
        RunPair(runs);
        RunStretches(runs);
        RunW1(runs);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "bench_blocks: %s\n", error.what());
        return 1;
    }
    return 0;
}
