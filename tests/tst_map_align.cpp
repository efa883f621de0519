// Aligning on a gene and reversing a chromosome through the real chart: the first pass's drawn
// minimum feeds the second pass, and reversing twice draws the same picture again.
#include "chart/TChart.h"
#include "core/MapOperations.h"
#include "map/MapSession.h"

#include "HandCatalogue.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

namespace {
// The session with a chart of its own, repainted into one picture, as the window drives it.
struct TMapHarness
{
    TMapSession Session;
    TChart Chart;
    QImage Image{900, 400, QImage::Format_RGB32};
    // Called after each repaint, with the number of repaints so far.
    std::function<void(int)> AfterRepaint;
    int Repaints = 0;

    explicit TMapHarness(TCatalogue catalogue)
    {
        Session.Install(std::move(catalogue));
        SetupMapChart(Chart);
        Session.Wire(Chart);
        Session.SetRepaint([this] {
            Image.fill(Qt::white);
            QPainter painter(&Image);
            Chart.Draw(painter, Image.rect());
            ++Repaints;
            if (AfterRepaint)
                AfterRepaint(Repaints);
        });
    }

    QImage RebuildCycle()
    {
        Session.RebuildCycle();
        return Image;
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
    const TCatalogue &catalogue = map.Session.FCatalogue;
    QVERIFY(MapItemActions(catalogue, 0, 1).AlignEnabled);

    // The first pass draws both G at 0 and gives the chart's own minimum.
    double firstG0 = qQNaN(), firstG1 = qQNaN(), firstMinimum = qQNaN();
    const int before = map.Repaints;
    map.AfterRepaint = [&](int repaints) {
        if (repaints != before + 1)
            return;
        firstG0 = map.StartOf(0, "G");
        firstG1 = map.StartOf(1, "G");
        firstMinimum = map.Chart.BottomAxisMinimum();
    };
    map.Session.FClickedChromosome = 0;
    map.Session.FClickedRecord = 1;
    map.Session.AlignOnClicked();
    QCOMPARE(map.Repaints, before + 3);
    QCOMPARE(firstG0, 0.0);
    QCOMPARE(firstG1, 0.0);
    QCOMPARE(RoundHalfEven(firstMinimum), -6000);

    QCOMPARE(catalogue.FChromosomes[0].Offset, 1000);
    QCOMPARE(catalogue.FChromosomes[1].Offset, -8000);
    QCOMPARE(map.StartOf(0, "G"), 6000.0);
    QCOMPARE(map.StartOf(1, "G"), 6000.0);
    QCOMPARE(map.StartOf(1, "W"), -(7000.0 - 8000.0)); // B now begins at 0
    QCOMPARE(map.Chart.BottomAxisMinimum(), 0.0);
    QVERIFY(!map.Session.FSkipConnectors);
}

void TestMapAlign::inverseTwice()
{
    TMapHarness map(AlignExample());
    const QImage before = map.RebuildCycle();
    map.Session.InverseChromosome(0);
    const QImage inverted = map.Image;
    QVERIFY(inverted != before);
    QCOMPARE(map.StartOf(0, "G"), -4000.0);
    map.Session.InverseChromosome(0);
    QCOMPARE(map.StartOf(0, "G"), 4000.0);
    QVERIFY(map.Image == before);
}

QTEST_MAIN(TestMapAlign)
#include "tst_map_align.moc"
