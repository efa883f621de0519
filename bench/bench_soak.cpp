// Memory soak of the map: the window's rebuild cycle (rebuild, paint without connectors, paint
// with them, the label layout and the chromosome names in the chart's events) run over and over
// on W1, then file loads as the window does them (a fresh catalogue read, swapped in for the old
// one, then a rebuild cycle), alternating between W1 and a variant of it whose gene names are all
// different. After every step it prints the resident set and the live heap; at the end the peak,
// the final figures and a verdict: the live heap must not grow from cycle to cycle, nor from one
// load of a file to a later load of the same file. A growth beyond the stated tolerance ends the
// program with status 1.
//
//   bench_soak            W1: 50 rebuild cycles, 20 loads
//   bench_soak --short    W2: 5 rebuild cycles, 4 loads (for leak checkers)
#include "Workloads.h"

#include "chart/TChart.h"
#include "core/Catalogue.h"
#include "map/MapBuilder.h"
#include "map/MapSession.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

namespace {
const QRect kRect(0, 0, 1900, 900);

// Growth allowed between two comparable steps: what the allocator's own bookkeeping and Qt's
// glyph caches may add, far below one file's worth of measured texts (several MB on W1).
constexpr double kToleranceBytes = 1 << 20;
constexpr double kToleranceShare = 0.005;

struct TMemory
{
    double Rss = 0;  // bytes resident
    double Peak = 0; // high-water mark of the resident set
    double Heap = 0; // bytes handed out by malloc and not freed
};

double StatusField(const char *name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = QByteArray(name) + ':';
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toDouble() * 1024;
    return 0;
}

TMemory Measure()
{
    TMemory m;
    m.Rss = StatusField("VmRSS");
    m.Peak = StatusField("VmHWM");
    const struct mallinfo2 info = mallinfo2();
    // Chunks in the arenas plus the large blocks malloc maps on their own.
    m.Heap = double(info.uordblks) + double(info.hblkhd);
    return m;
}

double MB(double bytes)
{
    return bytes / (1024.0 * 1024.0);
}

// The variant of a workload: the same generator with another seed, and every gene name with a
// "-b" after it ("ostB17" becomes "ostB17-b"), so that no name is shared with the original (the
// generator's names depend on the gene alone, and the reader upper-cases them).
QString EnsureVariant(bench::Workload w)
{
    const bench::TWorkloadSpec shape = bench::SpecOf(w);
    const QString path = QStringLiteral("%1/%2-b-v%3.txt")
                             .arg(bench::WorkloadCacheDir(), QString::fromLatin1(shape.name))
                             .arg(bench::kGeneratorVersion);
    if (QFile::exists(path))
        return path;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error(("cannot write " + path).toStdString());
    // The generator hands over whole lines; the fifth column is the gene name.
    bench::GenerateWorkload(shape, shape.seed + 1000, [&](const std::string &chunk) {
        std::string text;
        text.reserve(chunk.size() + chunk.size() / 8);
        std::size_t line = 0;
        while (line < chunk.size()) {
            std::size_t end = chunk.find('\n', line);
            if (end == std::string::npos)
                end = chunk.size();
            std::size_t at = line;
            for (int tabs = 0; tabs < 4 && at < end; ++at)
                if (chunk[at] == '\t')
                    ++tabs;
            const std::size_t nameEnd = std::min(end, chunk.find('\t', at));
            text.append(chunk, line, nameEnd - line);
            // An empty or blank name stays unnamed.
            if (nameEnd > at && chunk[at] != ' ')
                text += "-b";
            text.append(chunk, nameEnd, end - nameEnd);
            if (end < chunk.size())
                text += '\n';
            line = end + 1;
        }
        if (file.write(text.data(), qint64(text.size())) != qint64(text.size()))
            throw std::runtime_error(("cannot write " + path).toStdString());
    });
    if (!file.commit())
        throw std::runtime_error(("cannot write " + path).toStdString());
    return path;
}

// The window's rebuild cycle onto its screen.
void RebuildCycle(TChart &chart, TMapSession &session, QImage &screen)
{
    QPainter painter(&screen);
    session.RebuildCycle(chart, painter, kRect);
}

struct TStep
{
    std::string Name;
    TMemory Memory;
    std::size_t Texts = 0; // label texts the chart keeps measured
};

void Print(const TStep &s, double seconds)
{
    std::printf("  %-10s rss %8.1f MB  heap %8.1f MB  texts %7zu  (%.2f s)\n", s.Name.c_str(),
                MB(s.Memory.Rss), MB(s.Memory.Heap), s.Texts, seconds);
    std::fflush(stdout);
}

// True when the live heap from 'from' to 'to' stays within the tolerance.
bool Compare(const char *what, const TStep &from, const TStep &to, int steps)
{
    const double growth = to.Memory.Heap - from.Memory.Heap;
    const double allowed = std::max(kToleranceBytes, kToleranceShare * from.Memory.Heap);
    const bool ok = growth <= allowed;
    std::printf("  %s, %s -> %s: heap %+.2f MB (%+.3f MB per step), rss %+.1f MB; allowed %.2f "
                "MB: %s\n",
                what, from.Name.c_str(), to.Name.c_str(), MB(growth), MB(growth) / steps,
                MB(to.Memory.Rss - from.Memory.Rss), MB(allowed), ok ? "ok" : "GROWS");
    return ok;
}

int Run(bool shortRun)
{
    const bench::Workload w = shortRun ? bench::Workload::W2 : bench::Workload::W1;
    const int cycles = shortRun ? 5 : 50;
    const int loads = shortRun ? 4 : 20;
    const QString files[2] = {bench::EnsureWorkload(w), EnsureVariant(w)};

    const TMemory start = Measure();
    std::printf("%s soak: %d rebuild cycles, %d loads alternating %s and %s\n",
                bench::SpecOf(w).name, cycles, loads, qPrintable(files[0]), qPrintable(files[1]));
    std::printf("  %-10s rss %8.1f MB  heap %8.1f MB\n", "start", MB(start.Rss), MB(start.Heap));

    TMapSession session;
    TChart chart;
    SetupMapChart(chart);
    session.Wire(chart);
    QImage screen(kRect.size(), QImage::Format_RGB32);
    QElapsedTimer timer;
    timer.start();
    session.Load({files[0]});
    std::printf("  loaded: %d records on %zu chromosomes, %zu gene names\n",
                int(session.FCatalogue.FRecordCount), session.FCatalogue.FChromosomeNames.size(),
                session.FCatalogue.FGeneNames.size());

    std::vector<TStep> cycleSteps, loadSteps;
    for (int c = 1; c <= cycles; ++c) {
        timer.restart();
        RebuildCycle(chart, session, screen);
        cycleSteps.push_back(
            {"cycle " + std::to_string(c), Measure(), chart.LastDrawStats().MeasuredTexts});
        Print(cycleSteps.back(), timer.nsecsElapsed() / 1e9);
    }
    for (int l = 1; l <= loads; ++l) {
        timer.restart();
        const QString &file = files[(l - 1) % 2];
        session.Load({file});
        RebuildCycle(chart, session, screen);
        loadSteps.push_back({"load " + std::to_string(l) + (l % 2 ? " (A)" : " (B)"), Measure(),
                             chart.LastDrawStats().MeasuredTexts});
        Print(loadSteps.back(), timer.nsecsElapsed() / 1e9);
    }

    const TMemory end = Measure();
    std::printf("peak rss %.1f MB; final rss %.1f MB, heap %.1f MB; %zu texts measured\n",
                MB(end.Peak), MB(end.Rss), MB(end.Heap), chart.LastDrawStats().MeasuredTexts);
    // What of the resident set is free memory the allocator keeps for later (holes left where a
    // replaced catalogue was); informational, the window does not trim.
    malloc_trim(0);
    std::printf("rss after giving free memory back (malloc_trim): %.1f MB\n", MB(Measure().Rss));
    std::printf("tolerance: %.1f MB or %.1f %% of the heap, whichever is larger\n",
                MB(kToleranceBytes), kToleranceShare * 100);

    // Under a leak checker malloc is replaced and reports nothing: no figures to judge.
    if (std::all_of(cycleSteps.begin(), cycleSteps.end(),
                    [](const TStep &s) { return s.Memory.Heap == 0; })) {
        std::printf("verdict: not judged, no live-heap figures (malloc is replaced)\n");
        return 0;
    }
    // Cycles: from one well after the first (caches filled, allocator settled) to the last.
    bool ok = true;
    const int from = std::max(1, std::min(10, cycles / 2)) - 1;
    ok &= Compare("rebuild cycles", cycleSteps[std::size_t(from)], cycleSteps.back(),
                  cycles - 1 - from);
    // Loads: each file's first load against its last one, so that what one file leaves behind
    // shows when the other is loaded and the first comes back.
    for (std::size_t f = 0; f < 2 && f < loadSteps.size(); ++f) {
        std::size_t last = f;
        while (last + 2 < loadSteps.size())
            last += 2;
        if (last == f)
            continue;
        ok &= Compare(f == 0 ? "loads of A" : "loads of B", loadSteps[f], loadSteps[last],
                      int((last - f) / 2));
    }
    std::printf("verdict: %s\n", ok ? "memory stays flat" : "MEMORY GROWS");
    return ok ? 0 : 1;
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    bool shortRun = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--short") == 0) {
            shortRun = true;
        } else {
            std::fprintf(stderr, "usage: bench_soak [--short]\n");
            return 2;
        }
    }
    try {
        return Run(shortRun);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_soak: %s\n", e.what());
        return 1;
    }
}
