// Times the map on the synthetic workloads W1 and W2: RebuildMap, one full drawing of the map
// into a 1900 by 900 image with every arrow and label, and the whole rebuild cycle as the main
// window runs it (rebuild and paint without connectors, then paint with them), with the label
// layout, the chromosome names and the connectors in the chart's events. "MANY" times the same
// for files of 25,000 to 100,000 chromosomes of one record each, to show how it scales.
#include "Workloads.h"

#include "chart/TChart.h"
#include "core/Catalogue.h"
#include "map/Connectors.h"
#include "map/LabelLayout.h"
#include "map/MapBuilder.h"
#include "map/MapSession.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <utility>

namespace {
const QRect kRect(0, 0, 1900, 900);

double Seconds(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e9;
}

const char *Verdict(double value, double target)
{
    return value <= target ? "ok" : "OVER";
}

struct TCycleTimes
{
    double Rebuild = 0;
    double FirstPaint = 0;
    double SecondPaint = 0;
    int Drawings = 0;
    double Total() const { return Rebuild + FirstPaint + SecondPaint; }
};

// The session's rebuild cycle, each of its three steps timed.
TCycleTimes RebuildCycle(TChart &chart, TMapSession &session, QImage &screen, int &drawings)
{
    TCycleTimes t;
    const int before = drawings;
    QPainter painter(&screen);
    QElapsedTimer timer;
    timer.start();
    session.RebuildCycle(chart, painter, kRect, [&t, &timer](TMapSession::CycleStep step) {
        const double seconds = Seconds(timer);
        switch (step) {
        case TMapSession::CycleStep::Rebuilt:
            t.Rebuild = seconds;
            break;
        case TMapSession::CycleStep::PaintedWithoutConnectors:
            t.FirstPaint = seconds;
            break;
        case TMapSession::CycleStep::PaintedWithConnectors:
            t.SecondPaint = seconds;
            break;
        }
        timer.restart();
    });
    t.Drawings = drawings - before;
    return t;
}

// The window's connectors, timed.
void TimeConnectors(TMapSession &session, double &connectorSeconds)
{
    session.ConnectorDrawer = [&connectorSeconds](TChart &c, TCanvas &canvas) {
        QElapsedTimer timer;
        timer.start();
        DrawConnectors(c, canvas);
        connectorSeconds += Seconds(timer);
    };
}

void Run(bench::Workload w, double rebuildTarget, double drawTarget, double cycleTarget)
{
    const bench::TWorkloadSpec shape = bench::SpecOf(w);
    TMapSession session;
    QElapsedTimer timer;
    timer.start();
    session.Install(LoadCatalogue(bench::EnsureWorkload(w)));
    std::printf("%s: %d records on %zu chromosomes, %zu gene names (loaded in %.2f s)\n",
                shape.name, int(session.FCatalogue.FRecordCount),
                session.FCatalogue.FChromosomeNames.size(), session.FCatalogue.FGeneNames.size(),
                Seconds(timer));

    // RebuildMap alone: onto an empty chart, then over the rows it made (freeing them first).
    TChart chart;
    SetupMapChart(chart);
    timer.restart();
    RebuildMap(chart, session.Source());
    const double firstRebuild = Seconds(timer);
    timer.restart();
    RebuildMap(chart, session.Source());
    const double rebuild = Seconds(timer);
    std::printf(
        "  RebuildMap: %.3f s onto an empty chart, %.3f s over its rows (target %.1f s) %s\n",
        firstRebuild, rebuild, rebuildTarget,
        Verdict(std::max(firstRebuild, rebuild), rebuildTarget));

    // One full drawing of the planned map: a first drawing measures the label texts
    // (their sizes get measured), then the timed drawing.
    QImage image(kRect.size(), QImage::Format_RGB32);
    {
        QPainter painter(&image);
        timer.restart();
        chart.Draw(painter, kRect);
        const double first = Seconds(timer);
        timer.restart();
        chart.Draw(painter, kRect);
        const double full = Seconds(timer);
        std::printf("  first drawing after the rebuild %.3f s\n", first);
        std::printf("  full drawing, %d series, every arrow and label: %.3f s (target %.1f s) %s\n",
                    chart.SeriesCount() - 1, full, drawTarget, Verdict(full, drawTarget));
    }
    {
        QImage blank(kRect.size(), QImage::Format_RGB32);
        blank.fill(Qt::white);
        QPainter painter(&blank);
        TCanvas canvas(painter);
        qint64 connectors = 0;
        timer.restart();
        ForEachLinkGroup(chart, [&connectors](int, const int *, int ps, int, const int *, int qs) {
            connectors += qint64(ps) * qs;
        });
        const double find = Seconds(timer);
        timer.restart();
        DrawConnectors(chart, canvas);
        const double firstDraw = Seconds(timer);
        timer.restart();
        DrawConnectors(chart, canvas);
        std::printf("  connectors: %lld found in %.3f s, found and drawn in %.3f s, again %.3f s\n",
                    static_cast<long long>(connectors), find, firstDraw, Seconds(timer));
    }

    // The rebuild cycle with the window's event handlers; the second run is the steady state.
    TChart windowChart;
    SetupMapChart(windowChart);
    double connectorSeconds = 0;
    session.Wire(windowChart);
    TimeConnectors(session, connectorSeconds);
    int drawings = 0;
    auto after = windowChart.OnAfterDraw;
    windowChart.OnAfterDraw = [after, &drawings](TChart &c, TCanvas *canvas) {
        ++drawings;
        after(c, canvas);
    };
    QImage screen(kRect.size(), QImage::Format_RGB32);
    for (int run = 1; run <= 2; ++run) {
        connectorSeconds = 0;
        const TCycleTimes t = RebuildCycle(windowChart, session, screen, drawings);
        std::printf(
            "  rebuild cycle %d: %.3f s (target %.1f s) %s  [rebuild %.3f, paint without "
            "connectors %.3f, paint with connectors %.3f of which connectors %.3f; %d drawings]\n",
            run, t.Total(), cycleTarget, Verdict(t.Total(), cycleTarget), t.Rebuild, t.FirstPaint,
            t.SecondPaint, connectorSeconds, t.Drawings);
    }
}
// n chromosomes of one record each, every tenth gene name shared by ten chromosomes.
void RunMany(int n, double &perChromosome)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("many.txt"));
    {
        QByteArray text;
        for (int i = 0; i < n; ++i)
            text += "contig" + QByteArray::number(i) + "\t" + QByteArray::number(i * 7) + "\t" +
                    QByteArray::number(i * 7 + 500) + "\t1\tg" + QByteArray::number(i / 10) + "\n";
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            throw std::runtime_error("cannot write the file of many chromosomes");
    }
    TMapSession session;
    QElapsedTimer timer;
    timer.start();
    TCatalogue loaded = LoadCatalogue(path);
    const double load = Seconds(timer);
    timer.restart();
    CheckMapCoordinates(loaded);
    const double check = Seconds(timer);
    session.Install(std::move(loaded));

    TChart chart;
    SetupMapChart(chart);
    double connectorSeconds = 0;
    session.Wire(chart);
    TimeConnectors(session, connectorSeconds);
    int drawings = 0;
    QImage screen(kRect.size(), QImage::Format_RGB32);
    const TCycleTimes first = RebuildCycle(chart, session, screen, drawings);
    const TCycleTimes second = RebuildCycle(chart, session, screen, drawings);
    std::printf("  %6d chromosomes: load %.3f s, check %.3f s; rebuild cycle %.3f s, again %.3f s "
                "[rebuild %.3f, paints %.3f + %.3f, connectors %.3f]\n",
                n, load, check, first.Total(), second.Total(), second.Rebuild, second.FirstPaint,
                second.SecondPaint, connectorSeconds);
    perChromosome = (load + second.Total()) / n;
}

void RunMany()
{
    std::printf("Many chromosomes of one record each, rebuild cycle as the window runs it:\n");
    double least = 0;
    double most = 0;
    for (int n : {25000, 50000, 100000}) {
        double perChromosome = 0;
        RunMany(n, perChromosome);
        least = least == 0 ? perChromosome : std::min(least, perChromosome);
        most = std::max(most, perChromosome);
    }
    // Linear work costs the same per chromosome at every size; quadratic work 4 times as much
    // at 100,000 as at 25,000.
    std::printf("  load and cycle per chromosome: %.1f to %.1f us, ratio %.2f (linear ~1, "
                "quadratic ~4) %s\n",
                least * 1e6, most * 1e6, most / least, Verdict(most / least, 2.0));
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // One workload may be named on the command line, for profiling.
    const QByteArray only = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    try {
        if (only.isEmpty() || only == "W2")
            Run(bench::Workload::W2, 0.3, 0.3, 0.5);
        if (only.isEmpty() || only == "W1")
            Run(bench::Workload::W1, 0.3, 3.0, 6.0);
        if (only.isEmpty() || only == "MANY")
            RunMany();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_map: %s\n", e.what());
        return 1;
    }
    return 0;
}
