// The batch renderer as a user runs it: the whole ostrinel-render process (start, load, rebuild
// cycle, picture, exit) for W1 to PNG and to SVG, W2 to PNG and 100,000 one-record chromosomes
// to SVG at the default 1600x900, in wall seconds, processor seconds (the machine may be busy)
// and the process's peak resident memory, the best of several runs.
#include "ProcessRun.h"
#include "Workloads.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::string renderer = OSTRINEL_RENDER;
    QTemporaryDir out;
    std::printf("ostrinel-render, whole process, 1600x900 unless said, best of %d runs\n", runs);
    // Rows by the hundred thousand, one record each: what the SVG writer spends per row.
    const QString many = out.filePath(QStringLiteral("many.txt"));
    {
        QFile file(many);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        for (int i = 0; i < 100000; ++i)
            file.write("chr" + QByteArray::number(i) + "\t100\t900\t1\tgene" +
                       QByteArray::number(i % 5000) + "\n");
    }
    struct TCase
    {
        QString Input;
        const char *Name;
        const char *Extension;
        double Target; // seconds; 0 when none is set
        std::vector<std::string> Options = {};
    };
    const QString w1 = bench::EnsureWorkload(bench::Workload::W1);
    const QString w2 = bench::EnsureWorkload(bench::Workload::W2);
    const TCase cases[] = {{w2, "W2", "png", 0.4},
                           {w2,
                            "W2 as a 180 mm figure at 600 dpi",
                            "png",
                            2.0,
                            {"--size", "180x100mm", "--dpi", "600"}},
                           {w1, "W1", "png", 3.0},
                           {w1, "W1, only the labels that fit", "png", 0, {"--labels", "fit"}},
                           {w1, "W1", "svg", 15.0},
                           {many, "100,000 one-record chromosomes", "svg", 0}};
    for (const TCase &c : cases) {
        const QString output = out.filePath(QStringLiteral("map.") + c.Extension);
        TProcessRun best;
        for (int r = 0; r < runs; ++r) {
            std::vector<std::string> arguments{renderer};
            arguments.insert(arguments.end(), c.Options.begin(), c.Options.end());
            arguments.push_back(c.Input.toStdString());
            arguments.push_back(output.toStdString());
            const TProcessRun run = RunProcess(arguments);
            if (run.Status != 0) {
                std::printf("  %s to %s: the renderer failed (status %d)\n", c.Name, c.Extension,
                            run.Status);
                return 1;
            }
            KeepBest(best, run, r == 0);
        }
        std::printf("  %s to %s: %.3f s wall, %.3f s processor, peak %.1f MB, file %.1f MB", c.Name,
                    c.Extension, best.Seconds, best.Cpu, best.PeakKb / 1024.0,
                    QFileInfo(output).size() / 1048576.0);
        if (c.Target > 0)
            std::printf(" (target %.1f s: %s)", c.Target,
                        best.Seconds <= c.Target ? "met" : "MISSED");
        std::printf("\n");
    }
    return 0;
}
