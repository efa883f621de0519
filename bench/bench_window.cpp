// The window as a user drives it, offscreen: the file opened through the main window, then the
// chart zoomed to the whole map, a tenth, a hundredth and a thousandth of it, and at each level
// wheel scrolls sent to the chart widget, first one at a time (each waited for), then as a
// burst of one every 16 ms. Printed per level: the time from each input event to the next frame
// on screen (the event handled and the widget painted: the last frame moved as a preview, or the
// exact one), as median and 99th percentile, and the time from the event to the exact frame.
// During the load and during Disentangle, a timer on the GUI thread records the longest stretch
// the thread did not answer.
//
//   bench_window [W1|W2] [--dpr 1|2] [--scrolls N]
#include "Workloads.h"

#include "app/TChartWidget.h"
#include "app/TdlgOstrinel.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {
const QSize kChart(1900, 900);

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const auto k = std::size_t(std::min<double>(v.size() - 1, p * (v.size() - 1) + 0.5));
    return v[k];
}

// The longest time the GUI thread left a 1 ms timer waiting while run ran.
template <typename Run> double LongestStall(Run &&run)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    tick.start(1);
    last = clock.nsecsElapsed();
    run();
    longest = std::max(longest, clock.nsecsElapsed() - last);
    return longest / 1e6;
}

void Scroll(TChartWidget &chart, int notches)
{
    const QPointF at(chart.width() / 2.0, chart.height() / 2.0);
    QWheelEvent wheel(at, chart.mapToGlobal(at), QPoint(), QPoint(0, -120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&chart, &wheel);
}

// Milliseconds from the event to the widget painted, and to the exact frame.
std::pair<double, double> Timed(TChartWidget &chart, int notches)
{
    QElapsedTimer clock;
    clock.start();
    Scroll(chart, notches);
    chart.repaint();
    const double shown = clock.nsecsElapsed() / 1e6;
    while (!chart.FrameExact())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return {shown, clock.nsecsElapsed() / 1e6};
}

void Level(TChartWidget &chart, const char *name, double lo, double hi, int scrolls)
{
    chart.Chart().ZoomTo(lo, hi);
    chart.WaitForFrame();
    std::vector<double> shown, exact, burst;
    for (int i = 0; i < scrolls; ++i) {
        const auto [s, e] = Timed(chart, i % 2 ? 1 : -1);
        shown.push_back(s);
        exact.push_back(e);
    }
    // A burst as a wheel turned on and on: each event is painted at once, the exact frame of
    // the last one follows.
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < scrolls; ++i) {
        QElapsedTimer one;
        one.start();
        Scroll(chart, 1);
        chart.repaint();
        burst.push_back(one.nsecsElapsed() / 1e6);
        while (clock.elapsed() < 16 * (i + 1))
            QApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    QElapsedTimer settle;
    settle.start();
    while (!chart.FrameExact())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf("  %-9s to screen: median %5.1f ms, p99 %5.1f ms; burst p99 %5.1f ms | "
                "exact frame: median %6.1f ms, max %6.1f ms; after the burst %6.1f ms\n",
                name, Percentile(shown, 0.5), Percentile(shown, 0.99), Percentile(burst, 0.99),
                Percentile(exact, 0.5), Percentile(exact, 1), settle.nsecsElapsed() / 1e6);
    std::fflush(stdout);
}
} // namespace

int main(int argc, char **argv)
{
    std::string only = "W2";
    double dpr = 1;
    int scrolls = 30;
    for (int i = 1; i < argc; ++i) {
        const bool more = i + 1 < argc;
        if (std::strcmp(argv[i], "--dpr") == 0 && more)
            dpr = std::atof(argv[++i]);
        else if (std::strcmp(argv[i], "--scrolls") == 0 && more)
            scrolls = std::max(1, std::atoi(argv[++i]));
        else if (argv[i][0] != '-')
            only = argv[i];
        else {
            std::fprintf(stderr, "usage: bench_window [W1|W2] [--dpr 1|2] [--scrolls N]\n");
            return 2;
        }
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_SCALE_FACTOR", QByteArray::number(dpr));
    QApplication app(argc, argv);
    const QString path =
        bench::EnsureWorkload(only == "W1" ? bench::Workload::W1 : bench::Workload::W2);

    TdlgOstrinel window(nullptr);
    window.SetErrorReporter(
        [](const QString &text) { std::fprintf(stderr, "error: %s\n", qPrintable(text)); });
    TChartWidget &chart = *window.ChartWidget();
    window.show();
    QApplication::processEvents();
    window.resize(window.size() + kChart - chart.size());
    QApplication::processEvents();
    std::printf("%s at device pixel ratio %g, chart %dx%d\n", only.c_str(),
                chart.devicePixelRatioF(), chart.width(), chart.height());

    QElapsedTimer clock;
    clock.start();
    const double loadStall = LongestStall([&] { window.LoadFile(path); });
    std::printf("  open: %.2f s, GUI thread at most %.0f ms without answering\n",
                clock.elapsed() / 1e3, loadStall);
    chart.WaitForFrame();
    const auto [lo, hi] = chart.Chart().BottomAxisRange();
    const double middle = (lo + hi) / 2;
    const struct
    {
        const char *Name;
        double Fraction;
    } levels[] = {{"whole", 1}, {"1/10", 0.1}, {"1/100", 0.01}, {"1/1000", 0.001}};
    for (const auto &level : levels) {
        const double width = (hi - lo) * level.Fraction;
        Level(chart, level.Name, middle - width / 2, middle + width / 2, scrolls);
    }
    clock.restart();
    QAction *disentangle = window.findChild<QAction *>(QStringLiteral("mnuDisentangle"));
    const double commandStall = LongestStall([&] { disentangle->trigger(); });
    std::printf("  Disentangle: %.2f s, GUI thread at most %.0f ms without answering\n",
                clock.elapsed() / 1e3, commandStall);
    return 0;
}
