// Disentangle benchmark: loads workload W1 (20 chromosomes, 60,000 gene names) and times
// Disentangle on its catalogue, with the number of chromosomes it turns round.
//
// Then Disentangle on catalogues of 12,500 to 100,000 chromosomes with a gene name of their own
// (and two shared by all), where the gene list is as long as the chromosome list: the time per
// chromosome tells linear from quadratic work.
//
//   bench_disentangle [RUNS]     (default 5 runs; the figures are the median and the best)
#include "Workloads.h"

#include "core/Catalogue.h"
#include "core/MapOperations.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

namespace {
// k chromosomes, each with its own gene and the two shared ones, in orders that turn every other.
TCatalogue OwnGenes(int k)
{
    std::vector<tGene> records;
    for (int i = 0; i < k; ++i) {
        const QByteArray chromosome = "c" + QByteArray::number(i);
        const qint32 first = 100 + 10 * (i % 2);
        const qint32 second = 110 - 10 * (i % 2);
        records.push_back({chromosome, 0, 0, 50, 55, 1, -1, "G" + QByteArray::number(i), {}});
        records.push_back({chromosome, 0, 0, first, first + 5, 1, -1, "SHARED1", {}});
        records.push_back({chromosome, 0, 0, second, second + 5, 1, -1, "SHARED2", {}});
    }
    return CatalogueFromRecords(std::move(records));
}

void RunOwnGenes()
{
    double least = 0;
    double most = 0;
    for (int k : {12500, 25000, 50000, 100000}) {
        TCatalogue catalogue = OwnGenes(k);
        QElapsedTimer timer;
        timer.start();
        Disentangle(catalogue);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        const auto inverted =
            std::count_if(catalogue.FChromosomes.begin(), catalogue.FChromosomes.end(),
                          [](const ChromosomeView &v) { return v.Inverted; });
        std::printf("Disentangle, %d chromosomes with %zu gene names: %.3f s, %lld inverted\n", k,
                    catalogue.FGeneNames.size(), seconds, static_cast<long long>(inverted));
        const double perChromosome = seconds / k;
        least = least == 0 ? perChromosome : std::min(least, perChromosome);
        most = std::max(most, perChromosome);
    }
    std::printf("  per chromosome %.2f to %.2f us, ratio %.2f (linear ~1, quadratic ~8) %s\n",
                least * 1e6, most * 1e6, most / least, most / least <= 2.0 ? "ok" : "OVER");
}
} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    try {
        const QString path = bench::EnsureWorkload(bench::Workload::W1);
        QElapsedTimer load;
        load.start();
        TCatalogue catalogue = LoadCatalogue(path);
        const double loadSeconds = double(load.nsecsElapsed()) / 1e9;
        std::printf("W1: %d records, %zu chromosomes, %zu gene names (load %.2f s)\n",
                    catalogue.FRecordCount, catalogue.FChromosomes.size(),
                    catalogue.FGeneNames.size(), loadSeconds);

        std::vector<double> seconds;
        int inverted = 0;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            Disentangle(catalogue);
            seconds.push_back(double(timer.nsecsElapsed()) / 1e9);
            inverted =
                int(std::count_if(catalogue.FChromosomes.begin(), catalogue.FChromosomes.end(),
                                  [](const ChromosomeView &v) { return v.Inverted; }));
        }
        std::sort(seconds.begin(), seconds.end());
        std::printf("Disentangle: median %.3f s, best %.3f s over %d runs (target 0.5 s); "
                    "%d of %zu chromosomes inverted\n",
                    seconds[seconds.size() / 2], seconds.front(), runs, inverted,
                    catalogue.FChromosomes.size());
        RunOwnGenes();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "bench_disentangle: %s\n", error.what());
        return 1;
    }
    return 0;
}
