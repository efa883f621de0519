// Disentangle benchmark: loads workload W1 (20 chromosomes, 60,000 gene names) and times
// Disentangle on its catalogue, with the number of chromosomes it turns round.
//
//   bench_disentangle [RUNS]     (default 5 runs; the figures are the median and the best)
#include "Workloads.h"

#include "app/core/Catalogue.h"
#include "app/core/MapOperations.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

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
    } catch (const std::exception &error) {
        std::fprintf(stderr, "bench_disentangle: %s\n", error.what());
        return 1;
    }
    return 0;
}
