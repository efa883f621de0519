// Reader and catalogue benchmark: for the workloads W1 and W2, the time of LoadCoordinateFile and
// of the catalogue steps, records per second, peak memory (VmHWM), and the time of a plain memchr
// line scan of the same file with the ratio. Then the annotation readers: a GFF3 file of 1,000,000
// gene lines and a GenBank file of 100,000 features through LoadRecordFile, with the cost of a
// GFF3 gene line against a line of W1; the GenBank features in one record, as an EMBL file, and
// a GFF3 transcript whose Parent lists a million genes with a million children.
//
//   bench_catalogue [RUNS]     (default 5 runs; the figures are the medians)
#include "AnnotationWorkloads.h"
#include "Workloads.h"

#include "core/Catalogue.h"
#include "core/RecordFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Peak resident memory of the process in MB, from /proc/self/status.
double PeakMegabytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    return -1;
}

// Lets the peak start again from the current resident size (Linux 4.0 and later).
void ResetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

// Reads the file in blocks of the reader's size and counts its LF bytes with memchr.
qint64 PlainScan(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw std::runtime_error("cannot open " + path.toStdString());
    std::vector<char> buffer(4 << 20);
    qint64 lines = 0;
    for (;;) {
        const qint64 got = file.read(buffer.data(), qint64(buffer.size()));
        if (got <= 0)
            break;
        const char *p = buffer.data();
        const char *end = p + got;
        while ((p = static_cast<const char *>(std::memchr(p, '\n', std::size_t(end - p))))) {
            ++lines;
            ++p;
        }
    }
    return lines;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Wall-clock and CPU time of the process since start().
class TStopwatch
{
public:
    void start()
    {
        m_wall.start();
        m_cpu = CpuNow();
    }
    double wallMs() const { return double(m_wall.nsecsElapsed()) / 1e6; }
    double cpuMs() const { return (CpuNow() - m_cpu) * 1e3; }

private:
    static double CpuNow()
    {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
    }
    QElapsedTimer m_wall;
    double m_cpu = 0;
};

struct TTimes
{
    std::vector<double> wall, cpu;
    void add(const TStopwatch &watch)
    {
        wall.push_back(watch.wallMs());
        cpu.push_back(watch.cpuMs());
    }
};

// Returns the reader's time per line of the file in nanoseconds.
double Run(bench::Workload w, int runs)
{
    const QString path = bench::EnsureWorkload(w);
    const qint64 bytes = QFileInfo(path).size();
    PlainScan(path); // the file is in the page cache from here on
    ResetPeak();

    TTimes scan, read, steps;
    qint64 lines = 0;
    std::size_t records = 0;
    std::size_t chromosomes = 0, genes = 0;
    quint32 maxCount = 0;
    double peak = 0;
    for (int r = 0; r < runs; ++r) {
        TStopwatch watch;
        watch.start();
        lines = PlainScan(path);
        scan.add(watch);

        watch.start();
        std::vector<tGene> loaded = LoadCoordinateFile(path);
        read.add(watch);
        records = loaded.size();

        watch.start();
        TCatalogue catalogue = CatalogueFromRecords(std::move(loaded));
        steps.add(watch);
        chromosomes = catalogue.FChromosomeNames.size();
        genes = catalogue.FGeneNames.size();
        maxCount = catalogue.FMaxGeneCount;
        if (r == 0)
            peak = PeakMegabytes();
    }

    const double scanMs = Median(scan.wall), readMs = Median(read.wall),
                 stepsMs = Median(steps.wall);
    const double scanCpu = Median(scan.cpu), readCpu = Median(read.cpu),
                 stepsCpu = Median(steps.cpu);
    std::printf("%s  %s\n", bench::SpecOf(w).name, qPrintable(path));
    std::printf("  file                %.1f MB, %lld lines, %zu records, %zu chromosomes, %zu gene "
                "names, max gene count %u\n",
                double(bytes) / 1e6, static_cast<long long>(lines), records, chromosomes, genes,
                maxCount);
    std::printf("                        wall ms   (CPU ms)   M records/s\n");
    std::printf("  plain memchr scan   %9.1f  (%7.1f)\n", scanMs, scanCpu);
    std::printf("  LoadCoordinateFile  %9.1f  (%7.1f)   %6.2f   %.1fx the plain scan\n", readMs,
                readCpu, double(records) / readMs / 1e3, readMs / scanMs);
    std::printf("  catalogue steps     %9.1f  (%7.1f)   %6.2f\n", stepsMs, stepsCpu,
                double(records) / stepsMs / 1e3);
    std::printf("  read + catalogue    %9.1f  (%7.1f)   %6.2f\n", readMs + stepsMs,
                readCpu + stepsCpu, double(records) / (readMs + stepsMs) / 1e3);
    std::printf("  peak memory (VmHWM) %8.1f MB\n", peak);
    std::printf("  (medians of %d runs)\n", runs);
    return readMs * 1e6 / double(lines);
}

// One annotation file through LoadRecordFile and the catalogue steps; returns the reader's time
// per counted line (gene lines, or features) in nanoseconds.
double RunAnnotation(const char *title, const QString &path, qint64 counted, const char *unit,
                     int runs)
{
    const qint64 bytes = QFileInfo(path).size();
    PlainScan(path);
    ResetPeak();
    TTimes read, steps;
    std::size_t records = 0, chromosomes = 0, genes = 0;
    double peak = 0;
    for (int r = 0; r < runs; ++r) {
        TStopwatch watch;
        watch.start();
        std::vector<tGene> loaded = LoadRecordFile(path);
        read.add(watch);
        records = loaded.size();
        watch.start();
        TCatalogue catalogue = CatalogueFromRecords(std::move(loaded));
        steps.add(watch);
        chromosomes = catalogue.FChromosomeNames.size();
        genes = catalogue.FGeneNames.size();
        if (r == 0)
            peak = PeakMegabytes();
    }
    const double readMs = Median(read.wall), stepsMs = Median(steps.wall);
    std::printf("%s  %s\n", title, qPrintable(path));
    std::printf("  file                %.1f MB, %lld %s, %zu records, %zu chromosomes, %zu gene "
                "names\n",
                double(bytes) / 1e6, static_cast<long long>(counted), unit, records, chromosomes,
                genes);
    std::printf("                        wall ms   (CPU ms)   ns per %s\n", unit);
    std::printf("  LoadRecordFile      %9.1f  (%7.1f)   %6.0f\n", readMs, Median(read.cpu),
                readMs * 1e6 / double(counted));
    std::printf("  catalogue steps     %9.1f  (%7.1f)\n", stepsMs, Median(steps.cpu));
    std::printf("  peak memory (VmHWM) %8.1f MB\n", peak);
    std::printf("  (medians of %d runs)\n", runs);
    return readMs * 1e6 / double(counted);
}

} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    try {
        const double coordinateLine = Run(bench::Workload::W1, runs);
        Run(bench::Workload::W2, runs);
        constexpr qint64 kGeneLines = 1000000, kFeatures = 100000;
        const QString gff3 = bench::EnsureAnnotation(
            "G1.gff3", [](auto out) { bench::GenerateGff3(kGeneLines, out); });
        const double geneLine = RunAnnotation("G1 (GFF3)", gff3, kGeneLines, "gene line", runs);
        std::printf("  a GFF3 gene line costs %.2fx a line of W1 (%.0f ns against %.0f ns)\n",
                    geneLine / coordinateLine, geneLine, coordinateLine);
        const QString genBank = bench::EnsureAnnotation(
            "B1.gbk", [](auto out) { bench::GenerateGenBank(kFeatures, out); });
        RunAnnotation("B1 (GenBank)", genBank, kFeatures, "feature", runs);
        const QString oneRecord = bench::EnsureAnnotation(
            "B2.gbk", [](auto out) { bench::GenerateGenBank(kFeatures, out, 1); });
        RunAnnotation("B2 (GenBank, one record)", oneRecord, kFeatures, "feature", runs);
        const QString embl = bench::EnsureAnnotation(
            "E1.embl", [](auto out) { bench::GenerateEmbl(kFeatures, out); });
        RunAnnotation("E1 (EMBL)", embl, kFeatures, "feature", runs);
        const QString parents = bench::EnsureAnnotation(
            "P1.gff3", [](auto out) { bench::GenerateGff3ParentList(kGeneLines, out); });
        RunAnnotation("P1 (GFF3, one transcript of every gene)", parents, kGeneLines, "gene", runs);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_catalogue: %s\n", e.what());
        return 1;
    }
    return 0;
}
