// libFuzzer target for the files the program reads: arbitrary bytes go through the reader the
// content chooses (the coordinate file reader, or the GFF3, GTF, BED or GenBank reader) and, when
// they read as a file, through everything a load sets off in the main window: the catalogue,
// a rebuild with every chromosome and gene checked, a drawing with the window's label layout,
// chromosome names and connectors, Disentangle and a rebuild, a click on an arrow with an
// alignment on its gene, a reversed first chromosome, the three picture exports, and an SVG
// picture that must parse as XML.
//
// The program's own exceptions are its answers to bad input: each command is guarded here as
// the window guards it, and the next one runs on what is left. Anything else that leaves a
// command (another exception, a crash, a sanitizer report, a hang) is a finding.
#include "chart/TChart.h"
#include "core/Catalogue.h"
#include "core/MapOperations.h"
#include "core/RecordFile.h"
#include "map/GraphExport.h"
#include "map/MapBuilder.h"
#include "map/MapSession.h"
#include "util/ColorOps.h"

#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// A small chart keeps the drawing and the exports cheap, so that many inputs run per second.
const QRect kRect(0, 0, 320, 200);

QGuiApplication *g_app = nullptr;
// Made once: the exports of every input overwrite the same three files.
std::unique_ptr<QTemporaryDir> g_folder;

// A click on the start of the first arrow of the last row, as the window takes it, then "Align"
// when the pop-up would offer it.
void ClickAndAlign(TChart &chart, TMapSession &session)
{
    if (chart.SeriesCount() < 2)
        return;
    const TArrowSeries &series = chart.Series(chart.SeriesCount() - 1);
    if (series.Count() == 0)
        return;
    const int x = chart.ValueToPixel(chart.BottomAxis, series.StartX(0));
    const qint32 record = session.ClickSeries(series, x);
    if (record < 0 ||
        !MapItemActions(session.FCatalogue, session.FClickedChromosome, record).AlignEnabled)
        return;
    session.AlignOnClicked();
}

// One command as the window runs it: the program's own errors end the command, not the run.
template <typename Command> void Guarded(Command &&command)
{
    try {
        command();
    } catch (const Exception &) {
    }
}

void Run(const QByteArray &text)
{
    TMapSession session;
    try {
        session.Install(CatalogueFromRecords(ParseRecordText(text)));
    } catch (const Exception &) {
        return; // a file that does not load leaves nothing to draw
    }

    TChart chart;
    SetupMapChart(chart);
    session.Wire(chart);
    // What the widget does when it is shown at its size.
    chart.SetChartRect(kRect);
    Guarded([&] { chart.OnResize(chart); });

    QImage screen(kRect.size(), QImage::Format_RGB32);
    screen.fill(Qt::white);
    QPainter painter(&screen);
    session.SetRepaint([&] { chart.Draw(painter, kRect); });
    Guarded([&] { session.RebuildCycle(); });
    Guarded([&] { session.Disentangle(); });
    Guarded([&] { ClickAndAlign(chart, session); });
    Guarded([&] { session.InverseChromosome(0); });
    for (const char *name : {"map.wmf", "map.emf", "map.bmp"})
        Guarded([&] { SaveGraph(chart, g_folder->filePath(QLatin1String(name))); });

    // Whatever the names hold, the SVG picture is XML that parses.
    QBuffer svg;
    svg.open(QIODevice::WriteOnly);
    bool written = false;
    Guarded([&] {
        WriteGraph(chart, QStringLiteral("map.svg"), svg);
        written = true;
    });
    QXmlStreamReader xml(svg.data());
    while (!xml.atEnd())
        xml.readNext();
    if (written && xml.hasError()) {
        std::fprintf(stderr, "fuzz_coordinate_file: the SVG picture does not parse: %s\n",
                     qPrintable(xml.errorString()));
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Qt keeps argc by reference: it must outlive the application object.
    static int argc = 1;
    static char name[] = "fuzz_coordinate_file";
    static char *argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    g_app = new QGuiApplication(argc, argv);
    g_folder = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                               QStringLiteral("/fuzz_coordinate_file-XXXXXX"));
    if (!g_folder->isValid()) {
        std::fprintf(stderr, "fuzz_coordinate_file: cannot make a temporary folder\n");
        std::exit(1);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Run(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
