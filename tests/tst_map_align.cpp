// Aligning on a gene and reversing a chromosome through the real chart: the first pass's drawn
// minimum feeds the second pass, and reversing twice draws the same picture again.
#include "core/MapOperations.h"
#include "chart/TChart.h"
#include "map/Connectors.h"
#include "map/LabelLayout.h"
#include "map/MapBuilder.h"
#include "map/ViewOptions.h"

#include "HandCatalogue.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

namespace {
// The chart, the check states and the options of a main window, wired the way it draws: the
// connectors before the series unless skipped, the labels and names after every drawing.
struct TMapHarness
{
    TCatalogue Catalogue;
    std::vector<bool> ChromosomeChecked;
    std::vector<bool> GeneChecked;
    TViewOptions View;
    tPalette Palette = FirePalette();
    TChart Chart;
    bool SkipConnectors = false;

    explicit TMapHarness(TCatalogue catalogue) : Catalogue(std::move(catalogue))
    {
        ChromosomeChecked.assign(Catalogue.FChromosomes.size(), true);
        GeneChecked.assign(Catalogue.FGeneNames.size(), true);
        SetupMapChart(Chart);
        Chart.OnBeforeDrawSeries = [this](TChart &chart, TCanvas &canvas) {
            if (View.LinkGenes && !SkipConnectors)
                DrawConnectors(chart, canvas);
        };
        Chart.OnAfterDraw = [this](TChart &chart, TCanvas *canvas) {
            const bool moved = LayoutGeneLabels(chart, View.FirstLineNames);
            if (canvas)
                DrawChromosomeNames(chart, *canvas, Catalogue, ChromosomeChecked);
            if (moved)
                chart.RequestRepaint();
        };
    }

    TMapSource Source() const { return {Catalogue, ChromosomeChecked, GeneChecked, View, Palette}; }

    QImage Paint()
    {
        QImage image(900, 400, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        Chart.Paint(painter, image.rect());
        return image;
    }

    QImage RebuildCycle()
    {
        SkipConnectors = true;
        RebuildMap(Chart, Source());
        Paint();
        SkipConnectors = false;
        return Paint();
    }

    // The drawn start X of the point labelled `gene` on the series showing `chromosome`.
    double StartOf(qint32 chromosome, const QByteArray &gene) const
    {
        for (int s = 1; s < Chart.SeriesCount(); ++s) {
            const TArrowSeries &series = Chart.Series(s);
            if (series.Tag != chromosome)
                continue;
            for (int i = 0; i < series.Count(); ++i)
                if (series.Label(i) == gene)
                    return series.StartX(i);
        }
        return qQNaN();
    }
};

// Row A runs 1000..9000 with G at 5000; row B runs 0..8000 with G at 2000 and is inverted.
TCatalogue AlignExample()
{
    TCatalogue catalogue =
        HandCatalogue({{"A", {{"X", 1000, 2000}, {"G", 5000, 6000}, {"Y", 8000, 9000}}},
                       {"B", {{"Z", 0, 1000}, {"G", 2000, 3000}, {"W", 7000, 8000}}}});
    catalogue.FChromosomes[1].Inverted = true;
    return catalogue;
}
} // namespace

class TestMapAlign : public QObject
{
    Q_OBJECT
private slots:
    void alignExample();
    void inverseTwice();
};

void TestMapAlign::alignExample()
{
    TMapHarness map(AlignExample());
    map.RebuildCycle();
    const qint32 g = qint32(std::find(map.Catalogue.FGeneNames.begin(),
                                      map.Catalogue.FGeneNames.end(), QByteArray("G")) -
                            map.Catalogue.FGeneNames.begin());
    QVERIFY(MapItemActions(map.Catalogue, 0, 1).AlignEnabled);

    const tVectorOfBoolean aligned = AlignOffsets(map.Catalogue, g);
    map.SkipConnectors = true;
    RebuildMap(map.Chart, map.Source());
    map.Paint();
    QCOMPARE(map.StartOf(0, "G"), 0.0);
    QCOMPARE(map.StartOf(1, "G"), 0.0);
    const qint32 m = RoundHalfEven(map.Chart.BottomAxisMinimum());
    QCOMPARE(m, -6000);

    ShiftAlignedRows(map.Catalogue, aligned, m);
    RebuildMap(map.Chart, map.Source());
    map.Paint();
    map.SkipConnectors = false;
    map.Paint();
    QCOMPARE(map.Catalogue.FChromosomes[0].Offset, 1000);
    QCOMPARE(map.Catalogue.FChromosomes[1].Offset, -8000);
    QCOMPARE(map.StartOf(0, "G"), 6000.0);
    QCOMPARE(map.StartOf(1, "G"), 6000.0);
    QCOMPARE(map.StartOf(1, "W"), -(7000.0 - 8000.0)); // B now begins at 0
    QCOMPARE(map.Chart.BottomAxisMinimum(), 0.0);
}

void TestMapAlign::inverseTwice()
{
    TMapHarness map(AlignExample());
    const QImage before = map.RebuildCycle();
    InverseChromosome(map.Catalogue, 0);
    const QImage inverted = map.RebuildCycle();
    QVERIFY(inverted != before);
    QCOMPARE(map.StartOf(0, "G"), -4000.0);
    InverseChromosome(map.Catalogue, 0);
    const QImage again = map.RebuildCycle();
    QCOMPARE(map.StartOf(0, "G"), 4000.0);
    QVERIFY(again == before);
}

QTEST_MAIN(TestMapAlign)
#include "tst_map_align.moc"
