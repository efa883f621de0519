// "Order rows" benchmark: maps whose rows were made along a chain, each row from the one before
// it, then listed in a shuffled order; the command (the pairwise crossings, the order, the
// rebuild cycle into a 1900 by 900 picture) timed on 10 rows of 5,000 genes (the best of all
// orders) and 50 rows of 1,000 genes (the search), with the crossings before, after and along the
// chain. Two kinds of chain:
//   swaps   each row the one before with random neighbouring genes swapped: the chain's order
//           bounds the best from above
//   blocks  each row the one before with one more block of genes moved past the gene after it,
//           so two rows cross as often as the blocks between them hold genes: the chain's order
//           is the best, and the only one with its reverse
//   random  no chain: each row three quarters of the genes in an order of its own
// Then 200 rows of 250 genes, and the search against the best of all orders on maps of 11 to 14
// rows of each kind.
//
//   bench_roworder [SEED]
#include "chart/TChart.h"
#include "core/Catalogue.h"
#include "map/MapSession.h"
#include "map/RowOrder.h"
#include "map/ViewOptions.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <numeric>
#include <vector>

namespace {
const QRect kRect(0, 0, 1900, 900);

enum class TChain
{
    Swaps,
    Blocks,
    Random
};

const char *NameOf(TChain chain)
{
    return chain == TChain::Swaps ? "swaps" : chain == TChain::Blocks ? "blocks" : "random";
}

// The gene order of each row along the chain.
std::vector<std::vector<int>> ChainOrders(TChain chain, int rows, int genes,
                                          QRandomGenerator &random)
{
    std::vector<std::vector<int>> orders(static_cast<std::size_t>(rows));
    std::vector<int> order(static_cast<std::size_t>(genes));
    std::iota(order.begin(), order.end(), 0);
    if (chain == TChain::Random) {
        // No chain: each row the genes in an order of its own, a quarter of them left out.
        for (int r = 0; r < rows; ++r) {
            std::shuffle(order.begin(), order.end(), random);
            orders[std::size_t(r)].assign(order.begin(), order.begin() + genes * 3 / 4);
        }
        return orders;
    }
    if (chain == TChain::Swaps) {
        for (int r = 0; r < rows; ++r) {
            if (r > 0)
                for (int k = 0; k < genes / 20; ++k) {
                    const int at = int(random.bounded(genes - 1));
                    std::swap(order[std::size_t(at)], order[std::size_t(at) + 1]);
                }
            orders[std::size_t(r)] = order;
        }
        return orders;
    }
    // Block u: genes [start, start + width) then one gene; moving that gene before its block
    // makes width crossings with every row that has not.
    const int unit = genes / (rows - 1);
    for (int r = 0; r < rows; ++r) {
        if (r > 0) {
            const int start = (r - 1) * unit;
            const int width = 1 + int(random.bounded(unit - 1));
            std::rotate(order.begin() + start, order.begin() + start + width,
                        order.begin() + start + width + 1);
        }
        orders[std::size_t(r)] = order;
    }
    return orders;
}

// The chain's rows listed in a shuffled order; returns the list item of each chain row.
std::vector<int> ShuffledMap(const std::vector<std::vector<int>> &orders, QRandomGenerator &random,
                             TCatalogue &catalogue)
{
    std::vector<int> listed(orders.size());
    std::iota(listed.begin(), listed.end(), 0);
    std::shuffle(listed.begin(), listed.end(), random);
    std::vector<int> chainRow(orders.size());
    for (std::size_t i = 0; i < listed.size(); ++i)
        chainRow[std::size_t(listed[i])] = int(i);
    std::vector<tGene> records;
    for (const int r : listed) {
        const QByteArray chromosome = "row" + QByteArray::number(r);
        const std::vector<int> &order = orders[std::size_t(r)];
        for (std::size_t k = 0; k < order.size(); ++k) {
            const qint32 start = qint32(k) * 100;
            records.push_back({chromosome,
                               0,
                               0,
                               start,
                               start + 80,
                               1,
                               -1,
                               "g" + QByteArray::number(order[k]),
                               {}});
        }
    }
    catalogue = CatalogueFromRecords(std::move(records));
    return chainRow;
}

void RunMap(TChain chain, int rows, int genes, double target, QRandomGenerator &random)
{
    TCatalogue catalogue;
    const std::vector<int> chainRow =
        ShuffledMap(ChainOrders(chain, rows, genes, random), random, catalogue);
    TMapSession session;
    session.Install(std::move(catalogue));
    TChart chart;
    SetupMapChart(chart);
    session.Wire(chart);
    QImage screen(kRect.size(), QImage::Format_RGB32);
    QPainter painter(&screen);
    session.SetRepaint([&] { chart.Draw(painter, kRect); });
    session.Redraw();

    QElapsedTimer timer;
    timer.start();
    const TCrossingMatrix matrix = PairwiseCrossings(chart);
    const double matrixSeconds = double(timer.nsecsElapsed()) / 1e9;
    timer.restart();
    const std::vector<qint32> order = LeastCrossingOrder(matrix);
    const double orderSeconds = double(timer.nsecsElapsed()) / 1e9;
    std::vector<qint32> planted(chainRow.begin(), chainRow.end());
    const tCrossings plantedSum = PathCrossings(matrix, planted);

    timer.restart();
    const TRowOrderReport report = session.OrderRowsAuto();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const bool exact = rows <= kExactOrderRows;
    std::printf("%d rows of %d genes (%s): Order rows %.3f s (target %.0f s) %s "
                "[pairwise crossings %.3f s, %s %.3f s]\n",
                rows, genes, NameOf(chain), seconds, target, seconds <= target ? "ok" : "OVER",
                matrixSeconds, exact ? "best of all orders" : "search", orderSeconds);
    std::printf("  crossings %s before, %s after; along the chain %s (%s); reached %.4f of it%s\n",
                CrossingsText(report.Before).constData(), CrossingsText(report.After).constData(),
                CrossingsText(plantedSum).constData(),
                chain == TChain::Blocks ? "the best" : "a bound on the best",
                plantedSum == 0 ? 1.0 : double(report.After) / double(plantedSum),
                PathCrossings(matrix, order) == report.After ? "" : "; SUM DIFFERS FROM REPORT");
}

// The search against the best of all orders on matrices of chains small enough for both.
void RunAgainstExact(TChain chain, QRandomGenerator &random)
{
    int same = 0;
    int cases = 0;
    double worst = 1;
    for (int rows = 11; rows <= 14; ++rows)
        for (int round = 0; round < 10; ++round) {
            TCatalogue catalogue;
            ShuffledMap(ChainOrders(chain, rows, 40 * rows, random), random, catalogue);
            TMapSession session;
            session.Install(std::move(catalogue));
            TChart chart;
            SetupMapChart(chart);
            session.SetChart(chart);
            session.RebuildMapNow();
            const TCrossingMatrix matrix = PairwiseCrossings(chart);
            const tCrossings best = PathCrossings(matrix, LeastCrossingOrder(matrix, rows));
            const tCrossings found = PathCrossings(matrix, LeastCrossingOrder(matrix, 0));
            ++cases;
            same += found == best;
            worst = std::max(worst, best == 0 ? 1.0 : double(found) / double(best));
        }
    std::printf("Search against the best of all orders (%s, 11 to 14 rows): %d of %d the best, "
                "worst %.4f of the best\n",
                NameOf(chain), same, cases, worst);
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QRandomGenerator random(argc > 1 ? quint32(std::atoi(argv[1])) : 7);
    try {
        for (const TChain chain : {TChain::Swaps, TChain::Blocks}) {
            RunMap(chain, 10, 5000, 2, random);
            RunMap(chain, 50, 1000, 5, random);
        }
        // How the search grows past the targets.
        RunMap(TChain::Swaps, 200, 250, 10, random);
        for (const TChain chain : {TChain::Swaps, TChain::Blocks, TChain::Random})
            RunAgainstExact(chain, random);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "bench_roworder: %s\n", error.what());
        return 1;
    }
    return 0;
}
