// Frame times of the map while the user explores it: the file opened through the map session,
// the window's rebuild cycle at 1900 by 900, then the bottom axis zoomed to the whole map, a
// tenth, a hundredth and a thousandth of it, each scrolled a few steps as a drag does, with one
// drawing per frame. Every frame is compared with the plain drawing of the same state (the
// chart's SkipHiddenWork off) pixel for pixel, and the placements read back must be the same
// after both. At the end, frames are repeated at a hundredth without the checks
// and the live heap is compared between the twentieth and the last. Times are the processor
// time of the drawing thread (the wall clock follows in brackets); targets are judged on the
// median frame.
//
//   bench_frames [W1|W2|MANY] [--frames N] [--no-check] [--level whole|10|100|1000]
//                [--scrolls N] [--stats] [--dpr 1|1.5|2] [--painter]
//                [--links connectors|ribbons|blocks] [--alignments FILE] [--row-scales]
//
// --dpr draws as a screen of that device pixel ratio shows the window: an image of ratio times
// as many pixels each way, the chart in its own (logical) pixels; the plain drawing compared
// with is made at the same ratio.
// --level draws only that zoom level (1/10, 1/100, 1/1000 of the map), and --scrolls sets the
// frames of dragging after each zoom: with many frames of one level, a profiler sees frames only.
// --stats prints after each frame how many arrows, label parts and leaders it drew.
// --painter draws lines and boxes through the painter, as where the line writer's check fails.
// --links ribbons draws the links as ribbons instead of connectors, --links blocks as synteny
// blocks; --alignments adds the region alignments of FILE to them.
// MANY is a file of 100,000 chromosomes of one record each. The exit status is 1 when a frame
// differs from its plain drawing.
#include "Workloads.h"

#include "chart/TArrowSeries.h"
#include "chart/TChart.h"
#include "core/Catalogue.h"
#include "map/MapSession.h"
#include "map/ViewOptions.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {
const QRect kRect(0, 0, 1900, 900);
constexpr int kScrollFrames = 5;     // frames of dragging per zoom level, after the zoom itself
constexpr double kScrollStep = 0.03; // of the shown range per frame

struct TTargets
{
    double Whole = 0; // seconds a frame; 0: no target
    double Tenth = 0;
    double Deep = 0; // a hundredth and deeper
    double Cycle = 0;
};

struct TFrameRun
{
    std::vector<double> Seconds; // processor time
    std::vector<double> Wall;
    int Identical = 0;
    int Checked = 0;
};

double Elapsed(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e9;
}

// Processor time of this thread: on a machine shared with other work the wall clock mostly
// measures the others.
double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double HeapBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks) + double(info.hblkhd);
}

using TPlacements = std::vector<std::vector<std::optional<TSeriesMarkPosition>>>;

// Copied into the same room every frame: a check that took and gave back forty megabytes of
// heap each time would leave the timed frame to pay for handing them to the system.
void Placements(const TChart &chart, TPlacements &into)
{
    into.resize(std::size_t(chart.SeriesCount()));
    for (int s = 0; s < chart.SeriesCount(); ++s) {
        const TArrowSeries &series = chart.Series(s);
        auto &row = into[std::size_t(s)];
        row.resize(std::size_t(series.Count()));
        for (int p = 0; p < series.Count(); ++p) {
            const TSeriesMarkPosition *pos = series.Position(p);
            row[std::size_t(p)] = pos ? std::optional(*pos) : std::nullopt;
        }
    }
}

bool SamePlacements(const TPlacements &a, const TPlacements &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t s = 0; s < a.size(); ++s) {
        if (a[s].size() != b[s].size())
            return false;
        for (std::size_t p = 0; p < a[s].size(); ++p) {
            const auto &x = a[s][p], &y = b[s][p];
            if (x.has_value() != y.has_value())
                return false;
            if (x && (x->LeaderStart != y->LeaderStart || x->LeaderEnd != y->LeaderEnd ||
                      x->Fixed != y->Fixed || x->LabelHeight != y->LabelHeight ||
                      x->LabelLeft != y->LabelLeft || x->LabelTop != y->LabelTop ||
                      x->LabelWidth != y->LabelWidth))
                return false;
        }
    }
    return true;
}

class TFrames
{
public:
    TFrames(TChart &chart, bool check, double dpr, bool stats = false)
        : m_chart(chart), m_check(check), m_stats(stats), m_screen(ScreenImage(dpr)),
          m_plain(ScreenImage(dpr))
    {
    }

    // The window's frame on a screen of that ratio.
    static QImage ScreenImage(double dpr)
    {
        QImage image((QSizeF(kRect.size()) * dpr).toSize(), QImage::Format_RGB32);
        image.setDevicePixelRatio(dpr);
        return image;
    }

    // One frame: a drawing onto the screen, timed; then, when checking, the plain drawing of the
    // state it left, which must match it and move no placement.
    void Frame(TFrameRun &run)
    {
        QPainter painter(&m_screen);
        QElapsedTimer timer;
        timer.start();
        const double cpu = CpuSeconds();
        m_chart.Draw(painter, kRect);
        run.Seconds.push_back(CpuSeconds() - cpu);
        run.Wall.push_back(Elapsed(timer));
        painter.end();
        if (m_stats) {
            const TChartDrawStats &st = m_chart.LastDrawStats();
            std::printf("    drawn: %zu of %zu arrows, %zu label boxes, %zu texts, %zu leaders of "
                        "%zu labels\n",
                        st.ArrowsDrawn, st.Arrows, st.LabelBoxesDrawn, st.LabelTextsDrawn,
                        st.LeadersDrawn, st.Labels);
        }
        if (!m_check)
            return;
        Placements(m_chart, m_before);
        m_chart.SkipHiddenWork = false;
        {
            QPainter plain(&m_plain);
            m_chart.Draw(plain, kRect);
        }
        m_chart.SkipHiddenWork = true;
        ++run.Checked;
        Placements(m_chart, m_after);
        if (m_screen == m_plain && SamePlacements(m_before, m_after))
            ++run.Identical;
    }

    QImage &Screen() { return m_screen; }

private:
    TChart &m_chart;
    bool m_check;
    bool m_stats; // print what each frame drew
    QImage m_screen;
    QImage m_plain;
    TPlacements m_before, m_after;
};

bool Report(const char *what, const TFrameRun &run, double target)
{
    const double median = Median(run.Seconds);
    const double worst = *std::max_element(run.Seconds.begin(), run.Seconds.end());
    double sum = 0;
    for (double s : run.Seconds)
        sum += s;
    std::printf("  %-11s %2zu frames: median %8.1f ms, mean %8.1f, max %8.1f (wall median %.1f)",
                what, run.Seconds.size(), median * 1e3, sum / double(run.Seconds.size()) * 1e3,
                worst * 1e3, Median(run.Wall) * 1e3);
    if (target > 0)
        std::printf("  (target %5.0f ms) %s", target * 1e3, median <= target ? "ok" : "OVER");
    if (run.Checked)
        std::printf("  identical %d/%d", run.Identical, run.Checked);
    std::printf("\n");
    std::fflush(stdout);
    return run.Identical == run.Checked;
}

// n chromosomes of one record each, every tenth gene name shared by ten chromosomes.
QString WriteMany(const QTemporaryDir &dir, int n)
{
    const QString path = dir.filePath(QStringLiteral("many.txt"));
    QByteArray text;
    for (int i = 0; i < n; ++i)
        text += "contig" + QByteArray::number(i) + "\t" + QByteArray::number(i * 7) + "\t" +
                QByteArray::number(i * 7 + 500) + "\t1\tg" + QByteArray::number(i / 10) + "\n";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        throw std::runtime_error("cannot write the file of many chromosomes");
    return path;
}

struct TOptions
{
    bool Check = true;
    int MemoryFrames = 200;
    QByteArray Level; // empty: every level
    int Scrolls = kScrollFrames;
    bool Stats = false;
    double Dpr = 1;
    bool Painter = false;
    TLinkStyle Links = TLinkStyle::Connectors;
    bool RowScales = false;
    QString Alignments; // region alignments drawn as ribbons
};

bool Run(const char *name, const QString &path, const TTargets &targets, const TOptions &options)
{
    const bool check = options.Check;
    const int memoryFrames = options.MemoryFrames;
    TMapSession session;
    session.View.LinkStyle = options.Links;
    session.View.RowScales = options.RowScales;
    if (!options.Alignments.isEmpty())
        session.FAlignmentPaths = {options.Alignments};
    QElapsedTimer timer;
    timer.start();
    session.Load({path});
    std::printf("%s: %d records on %zu chromosomes (loaded in %.2f s), device pixel ratio %g\n",
                name, int(session.FCatalogue.FRecordCount),
                session.FCatalogue.FChromosomeNames.size(), Elapsed(timer), options.Dpr);

    TChart chart;
    SetupMapChart(chart);
    chart.WriteLines = !options.Painter;
    chart.SetChartRect(kRect);
    session.Wire(chart);
    TFrames frames(chart, check, options.Dpr, options.Stats);

    for (int run = 1; run <= 2; ++run) {
        QPainter painter(&frames.Screen());
        timer.restart();
        const double cpu = CpuSeconds();
        session.RebuildCycle(chart, painter, kRect);
        const double cycle = CpuSeconds() - cpu;
        std::printf("  rebuild cycle %d: %.3f s (wall %.3f s)", run, cycle, Elapsed(timer));
        if (targets.Cycle > 0)
            std::printf("  (target %.1f s) %s", targets.Cycle,
                        cycle <= targets.Cycle ? "ok" : "OVER");
        std::printf("\n");
        std::fflush(stdout);
    }

    const double lo = chart.BottomAxis.Minimum, hi = chart.BottomAxis.Maximum;
    const double middle = (lo + hi) / 2;
    bool identical = true;
    const struct
    {
        const char *Name;
        const char *Option;
        double Fraction;
        double Target;
    } levels[] = {{"whole map", "whole", 1, targets.Whole},
                  {"1/10", "10", 0.1, targets.Tenth},
                  {"1/100", "100", 0.01, targets.Deep},
                  {"1/1000", "1000", 0.001, targets.Deep}};
    for (const auto &level : levels) {
        if (!options.Level.isEmpty() && options.Level != level.Option)
            continue;
        const double width = (hi - lo) * level.Fraction;
        TFrameRun run;
        chart.ZoomTo(middle - width / 2, middle + width / 2);
        frames.Frame(run);
        for (int f = 0; f < options.Scrolls; ++f) {
            chart.ScrollBy(width * kScrollStep);
            frames.Frame(run);
        }
        identical &= Report(level.Name, run, level.Target);
    }

    if (memoryFrames > 0) {
        const double width = (hi - lo) * 0.01;
        chart.ZoomTo(middle - width / 2, middle + width / 2);
        TFrames quick(chart, false, options.Dpr);
        TFrameRun run;
        double settled = 0, halfway = 0;
        for (int f = 1; f <= memoryFrames; ++f) {
            // Back and forth, so that a long run stays over the same part of the map.
            chart.ScrollBy(width * kScrollStep * ((f / 20) % 2 ? -1 : 1));
            quick.Frame(run);
            if (f == std::min(20, memoryFrames))
                settled = HeapBytes();
            if (f == memoryFrames / 2)
                halfway = HeapBytes();
        }
        // A cache of what the frames showed fills and stops; a leak goes on in the second half.
        std::printf("  %d frames at 1/100: median %.1f ms; live heap %+.2f MB from frame %d to "
                    "the last, %+.2f MB over the second half\n",
                    memoryFrames, Median(run.Seconds) * 1e3, (HeapBytes() - settled) / 1048576.0,
                    std::min(20, memoryFrames), (HeapBytes() - halfway) / 1048576.0);
    }
    std::fflush(stdout);
    return identical;
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QByteArray only;
    TOptions options;
    const auto usage = [] {
        std::fprintf(stderr, "usage: bench_frames [W1|W2|MANY] [--frames N] [--no-check] "
                             "[--level whole|10|100|1000] [--scrolls N] [--stats] "
                             "[--dpr 1|1.5|2] [--painter] [--links connectors|ribbons|blocks] "
                             "[--alignments FILE] [--row-scales]\n");
        return 2;
    };
    for (int i = 1; i < argc; ++i) {
        const bool more = i + 1 < argc;
        if (std::strcmp(argv[i], "--no-check") == 0) {
            options.Check = false;
        } else if (std::strcmp(argv[i], "--stats") == 0) {
            options.Stats = true;
        } else if (std::strcmp(argv[i], "--painter") == 0) {
            options.Painter = true;
        } else if (std::strcmp(argv[i], "--row-scales") == 0) {
            options.RowScales = true;
        } else if (std::strcmp(argv[i], "--alignments") == 0 && more) {
            options.Alignments = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argv[i], "--links") == 0 && more) {
            const std::string links = argv[++i];
            if (links == "connectors")
                options.Links = TLinkStyle::Connectors;
            else if (links == "ribbons")
                options.Links = TLinkStyle::Ribbons;
            else if (links == "blocks")
                options.Links = TLinkStyle::Blocks;
            else
                return usage();
        } else if (std::strcmp(argv[i], "--frames") == 0 && more) {
            options.MemoryFrames = std::max(0, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--scrolls") == 0 && more) {
            options.Scrolls = std::max(0, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--dpr") == 0 && more) {
            options.Dpr = std::atof(argv[++i]);
            if (options.Dpr != 1 && options.Dpr != 1.5 && options.Dpr != 2)
                return usage();
        } else if (std::strcmp(argv[i], "--level") == 0 && more) {
            options.Level = argv[++i];
            if (options.Level != "whole" && options.Level != "10" && options.Level != "100" &&
                options.Level != "1000")
                return usage();
        } else if (argv[i][0] != '-' && only.isEmpty()) {
            only = argv[i];
        } else {
            return usage();
        }
    }
    try {
        bool identical = true;
        if (only.isEmpty() || only == "W2")
            identical &= Run("W2", bench::EnsureWorkload(bench::Workload::W2), {0.100, 0, 0.016, 0},
                             options);
        if (only.isEmpty() || only == "W1")
            identical &= Run("W1", bench::EnsureWorkload(bench::Workload::W1),
                             {0.400, 0, 0.060, 1.5}, options);
        if (only.isEmpty() || only == "MANY") {
            const QTemporaryDir dir;
            identical &=
                Run("100,000 chromosomes", WriteMany(dir, 100000), {0, 0, 0, 1.5}, options);
        }
        if (options.Check)
            std::printf("identity with the plain drawing: %s\n",
                        identical ? "every frame" : "SOME FRAMES DIFFER");
        return identical ? 0 : 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_frames: %s\n", e.what());
        return 1;
    }
}
