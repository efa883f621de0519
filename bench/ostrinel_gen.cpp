// Writes a synthetic coordinate file of the benchmarks to a given path.
//
//   ostrinel_gen W1|W2 PATH [SEED]
#include "Workloads.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <exception>

int main(int argc, char **argv)
{
    if (argc < 3 || argc > 4 ||
        (std::strcmp(argv[1], "W1") != 0 && std::strcmp(argv[1], "W2") != 0)) {
        std::fprintf(stderr,
                     "usage: %s W1|W2 PATH [SEED]\n"
                     "  W1: 1,000,000 records, 20 chromosomes, 60,000 gene names\n"
                     "  W2:   100,000 records, 10 chromosomes, 12,000 gene names\n",
                     argv[0]);
        return 2;
    }
    const bench::Workload w =
        std::strcmp(argv[1], "W1") == 0 ? bench::Workload::W1 : bench::Workload::W2;
    unsigned long long seed = 0;
    if (argc == 4) {
        char *end = nullptr;
        seed = std::strtoull(argv[3], &end, 10);
        if (!*argv[3] || *end || seed == 0) {
            std::fprintf(stderr, "%s: the seed must be a positive whole number\n", argv[0]);
            return 2;
        }
    }
    try {
        bench::WriteWorkload(w, QString::fromLocal8Bit(argv[2]), seed);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    return 0;
}
