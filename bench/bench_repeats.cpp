// A name repeated on two rows: N records named alike on each of two chromosomes make N x N
// connectors. The whole ostrinel-render process to PNG and to SVG with its row report (the
// connectors' crossings), at the default 1600x900, in wall seconds, processor seconds and the
// process's peak resident memory, the best of several runs.
#include "ProcessRun.h"

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
    std::printf("ostrinel-render, two rows of N records all named G, 1600x900, with the row "
                "report, best of %d runs\n",
                runs);
    for (const int n : {2000, 5000, 20000}) {
        const QString input = out.filePath(QStringLiteral("repeats%1.txt").arg(n));
        {
            QFile file(input);
            if (!file.open(QIODevice::WriteOnly))
                return 1;
            // The second row in another order, so that the connectors cross.
            for (int i = 0; i < n; ++i)
                file.write("upper\t" + QByteArray::number(i * 1000 + 100) + '\t' +
                           QByteArray::number(i * 1000 + 900) + "\t1\tG\n");
            for (int i = 0; i < n; ++i)
                file.write("lower\t" + QByteArray::number(i * 700 + 100) + '\t' +
                           QByteArray::number(i * 700 + 600) + '\t' + (i % 3 ? "1" : "-1") +
                           "\tG\n");
        }
        for (const char *extension : {"png", "svg"}) {
            const QString output = out.filePath(QStringLiteral("map.") + extension);
            const QString report = out.filePath(QStringLiteral("rows.tsv"));
            TProcessRun best;
            for (int r = 0; r < runs; ++r) {
                const TProcessRun run =
                    RunProcess({renderer, input.toStdString(), output.toStdString(), "--report",
                                report.toStdString()});
                if (run.Status != 0) {
                    std::printf("  N = %d to %s: the renderer failed (status %d)\n", n, extension,
                                run.Status);
                    return 1;
                }
                KeepBest(best, run, r == 0);
            }
            std::printf("  N = %5d to %s: %.3f s wall, %.3f s processor, peak %.1f MB, file "
                        "%.1f MB (target 2 s: %s)\n",
                        n, extension, best.Seconds, best.Cpu, best.PeakKb / 1024.0,
                        QFileInfo(output).size() / 1048576.0,
                        best.Seconds <= 2.0 ? "met" : "MISSED");
        }
    }
    return 0;
}
