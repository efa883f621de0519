// The batch renderer as a user runs it: the whole ostrinel-render process (start, load, rebuild
// cycle, picture, exit) for W1 to PNG and to SVG, W2 to PNG and 100,000 one-record chromosomes
// to SVG at the default 1600x900, in wall seconds, processor seconds (the machine may be busy)
// and the process's peak resident memory, the best of several runs. Then parts of the map:
// `--around HOT --flank 1kb` on N = 10,000, 40,000 and 100,000 chromosomes that all carry HOT,
// with the time per chromosome (flat when the cost is linear), and 4,000 `--region`s of W1.
//
// `ribbons`: W2 with 100,000 region alignments drawn as ribbons, to PNG, SVG and PDF.
//
//   bench_render [RUNS] [regions|ribbons]     (regions: only the parts of the map)
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

namespace {
// The best of runs of the renderer with these arguments, or a failed run.
TProcessRun BestRun(const std::vector<std::string> &arguments, int runs)
{
    TProcessRun best;
    for (int r = 0; r < runs; ++r) {
        const TProcessRun run = RunProcess(arguments);
        if (run.Status != 0)
            return run;
        KeepBest(best, run, r == 0);
        best.Status = run.Status;
    }
    return best;
}

// --around on many chromosomes and many --regions on W1: both linear in what they are given.
int RunParts(const std::string &renderer, const QTemporaryDir &out, int runs)
{
    const std::string output = out.filePath(QStringLiteral("part.png")).toStdString();
    std::printf("parts of the map to PNG, best of %d runs\n", runs);
    double first = 0;
    for (const int n : {10000, 40000, 100000}) {
        const QString input = out.filePath(QStringLiteral("hot%1.txt").arg(n));
        QFile file(input);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        for (int i = 0; i < n; ++i) {
            const QByteArray chromosome = "chr" + QByteArray::number(i);
            file.write(chromosome + "\t100\t900\t1\tleft" + QByteArray::number(i % 50) + '\n' +
                       chromosome + "\t2000\t3000\t" + (i % 3 ? "1" : "-1") + "\tHOT\n" +
                       chromosome + "\t3500\t4500\t1\tright" + QByteArray::number(i % 70) + '\n');
        }
        file.close();
        const TProcessRun run = BestRun(
            {renderer, "--around", "HOT", "--flank", "1kb", input.toStdString(), output}, runs);
        if (run.Status != 0) {
            std::printf("  --around on %d chromosomes: the renderer failed (status %d)\n", n,
                        run.Status);
            return 1;
        }
        const double perRow = run.Cpu / n * 1e6;
        if (first == 0)
            first = perRow;
        std::printf(
            "  --around HOT --flank 1kb, N = %6d chromosomes: %.3f s wall, %.3f s "
            "processor, peak %.1f MB, %.1f us processor per chromosome (%.2fx N = 10,000's)\n",
            n, run.Seconds, run.Cpu, run.PeakKb / 1024.0, perRow, perRow / first);
    }
    // W1's chromosomes run to about 180 Mb: 200 regions of 20 kb on each, 900 kb apart.
    std::vector<std::string> arguments{renderer};
    for (int c = 1; c <= 20; ++c)
        for (int k = 0; k < 200; ++k)
            arguments.insert(arguments.end(),
                             {"--region", "chr" + std::to_string(c) + ':' +
                                              std::to_string(k * 900000 + 1) + '-' +
                                              std::to_string(k * 900000 + 20000)});
    arguments.push_back(bench::EnsureWorkload(bench::Workload::W1).toStdString());
    arguments.push_back(output);
    const TProcessRun run = BestRun(arguments, runs);
    if (run.Status != 0) {
        std::printf("  4,000 --regions of W1: the renderer failed (status %d)\n", run.Status);
        return 1;
    }
    std::printf("  4,000 --regions of W1 (1,000,000 records): %.3f s wall, %.3f s processor, "
                "peak %.1f MB\n",
                run.Seconds, run.Cpu, run.PeakKb / 1024.0);
    return 0;
}
// 100,000 region alignments between W2's neighbouring rows, drawn as ribbons: the whole run to
// each picture type, and the memory of the streamed SVG and PDF against the PNG's.
int RunRibbons(const std::string &renderer, const QTemporaryDir &out, int runs)
{
    const QString hits = out.filePath(QStringLiteral("w2-alignments.tsv"));
    QFile file(hits);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    quint32 seed = 12345;
    const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int i = 0; i < 100000; ++i) {
        const int row = int(next() % 9) + 1;
        const qint64 a = next() % 40000000, b = next() % 40000000, length = 500 + next() % 5000;
        const bool reverse = next() % 4 == 0;
        const QByteArray identity = QByteArray::number(60 + next() % 400 / 10.0, 'f', 1);
        file.write("chr" + QByteArray::number(row) + "\tchr" + QByteArray::number(row + 1) + "\t" +
                   identity + "\t" + QByteArray::number(length) + "\t0\t0\t" +
                   QByteArray::number(a + 1) + "\t" + QByteArray::number(a + length) + "\t" +
                   QByteArray::number(reverse ? b + length : b + 1) + "\t" +
                   QByteArray::number(reverse ? b + 1 : b + length) + "\t0\t1\n");
    }
    file.close();
    const QString w2 = bench::EnsureWorkload(bench::Workload::W2);
    std::printf("W2 with 100,000 region alignments as ribbons, 1600x900, best of %d runs\n", runs);
    double pngPeak = 0;
    for (const char *extension : {"png", "svg", "pdf"}) {
        const std::string output =
            out.filePath(QStringLiteral("ribbons.") + QLatin1String(extension)).toStdString();
        const TProcessRun run = BestRun({renderer, "--links", "ribbons", "--alignments",
                                         hits.toStdString(), w2.toStdString(), output},
                                        runs);
        if (run.Status != 0) {
            std::printf("  to %s: the renderer failed (status %d)\n", extension, run.Status);
            return 1;
        }
        if (pngPeak == 0)
            pngPeak = double(run.PeakKb);
        std::printf("  to %s: %.3f s wall, %.3f s processor, peak %.1f MB (%.2fx the PNG's)\n",
                    extension, run.Seconds, run.Cpu, run.PeakKb / 1024.0, run.PeakKb / pngPeak);
    }
    const TProcessRun plain = BestRun(
        {renderer, w2.toStdString(), out.filePath(QStringLiteral("plain.png")).toStdString()},
        runs);
    std::printf("  W2 to png without them: %.3f s wall, %.3f s processor, peak %.1f MB\n",
                plain.Seconds, plain.Cpu, plain.PeakKb / 1024.0);
    return 0;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::string renderer = OSTRINEL_RENDER;
    QTemporaryDir out;
    if (argc > 2 && std::string(argv[2]) == "regions")
        return RunParts(renderer, out, runs);
    if (argc > 2 && std::string(argv[2]) == "ribbons")
        return RunRibbons(renderer, out, runs);
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
    return RunParts(renderer, out, runs);
}
