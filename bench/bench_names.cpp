// Commands whose cost grows with the number of names: the window's load of many one-record
// chromosomes (the two check lists filled), and ostrinel-render checking many chromosomes and
// genes by name, each against the same run without names. Wall seconds, the best of RUNS.
#include "app/TdlgOstrinel.h"
#include "render/RenderRun.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

// n chromosomes of one record each, every one its own gene.
QString WriteMany(const QTemporaryDir &dir, int n)
{
    const QString path = dir.filePath(QStringLiteral("many-%1.txt").arg(n));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        std::exit(1);
    for (int i = 0; i < n; ++i)
        file.write("chr" + QByteArray::number(i) + "\t100\t900\t1\tgene" + QByteArray::number(i) +
                   "\n");
    return path;
}

double Best(int runs, const std::function<void()> &work)
{
    double best = 0;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        timer.start();
        work();
        const double seconds = timer.nsecsElapsed() / 1e9;
        best = r == 0 ? seconds : std::min(best, seconds);
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2;
    QTemporaryDir dir;

    std::printf("Window load of one-record chromosomes (lists filled), best of %d:\n", runs);
    for (int n : {100000, 300000}) {
        const QString path = WriteMany(dir, n);
        TdlgOstrinel window(nullptr);
        window.resize(1600, 900);
        window.show();
        const double seconds = Best(runs, [&] { window.LoadFiles({path}); });
        std::printf("  %7d chromosomes: %.3f s\n", n, seconds);
    }

    std::printf("ostrinel-render --chromosomes and --genes, 30,000 names of 100,000, best of %d:\n",
                runs);
    const QString path = WriteMany(dir, 100000);
    QStringList chromosomes;
    QStringList genes;
    for (int i = 0; i < 100000; i += 10) {
        if (chromosomes.size() < 30000)
            chromosomes << QStringLiteral("chr%1").arg(i);
        genes << QStringLiteral("GENE%1").arg(i);
    }
    const QString output = dir.filePath(QStringLiteral("map.png"));
    const auto render = [&](const QStringList &options) {
        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        if (RunRender(QStringList{"ostrinel-render", "--size", "200x100"} + options +
                          QStringList{path, output},
                      out, err) != kRenderDone) {
            std::printf("  the renderer failed: %s\n", err.data().constData());
            std::exit(1);
        }
    };
    const double plain = Best(runs, [&] { render({}); });
    const double named = Best(runs, [&] {
        render({"--chromosomes", chromosomes.join(','), "--genes", genes.join(',')});
    });
    std::printf("  without names %.3f s, with names %.3f s\n", plain, named);
    return 0;
}
