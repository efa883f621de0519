// Gene label layout on five levels and the chromosome names left of the rows.
#include "MapFixtures.h"
#include "map/LabelLayout.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

namespace {
const QRect kRect(0, 0, 1200, 600);

void DrawOnce(TChart &chart)
{
    QImage image(kRect.size(), QImage::Format_RGB32);
    QPainter painter(&image);
    chart.Draw(painter, kRect);
}

TMapFixture SevenGenes()
{
    return TMapFixture(MakeCatalogue({{"chrA",
                                       {{0, 100, "G1"},
                                        {200, 300, "G2"},
                                        {400, 500, "???"},
                                        {600, 700, "G4"},
                                        {800, 900, "G5"},
                                        {1000, 1100, "G6"},
                                        {1200, 1300, "G7"}}},
                                      {"chrB", {{0, 500, "G1"}}}}));
}

// The ink of an image that started white: its bounding box.
QRect InkBox(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                box |= QRect(x, y, 1, 1);
    return box;
}
} // namespace

class TestMapLabels : public QObject
{
    Q_OBJECT

private slots:
    void sevenLevels();
    void unknownLabelOffScreen();
    void oneDrawingIsTheFrame();
    void notShownByTheOwner();
    void hiddenRowsKeepTheirPlaces();
    void firstLineNames_data();
    void firstLineNames();
    void namesLeftOfRows();
    void noNameWithoutRows();
};

void TestMapLabels::sevenLevels()
{
    TMapFixture f = SevenGenes();
    // The third record, a repeat of G1 in place of "???", keeps index 0 and shows its name.
    f.Catalogue.FRecords[0][2].GeneName = "G1";
    FindZeroGenes(f.Catalogue);
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    QVERIFY(!chart.Series(1).Position(0)); // nothing drawn yet, nothing placed
    DrawOnce(chart);

    const TArrowSeries &row = chart.Series(1);
    QCOMPARE(row.Marks.Arrow.Color, TColor(0x808080));
    QCOMPARE(row.Marks.Arrow.Style, Qt::DotLine);
    const int anchor = chart.ValueToPixel(chart.LeftAxis, -1) - row.Position(0)->LabelHeight / 2;
    QVERIFY(row.Position(0)->LabelHeight > 0);
    const int lifts[7] = {30, 45, 60, 75, 90, 30, 45};
    for (int p = 0; p < 7; ++p) {
        const TSeriesMarkPosition &pos = *row.Position(p);
        const int px = chart.ValueToPixel(chart.BottomAxis, (row.StartX(p) + row.EndX(p)) / 2);
        QVERIFY(pos.Fixed);
        QVERIFY(pos.LabelWidth > 0);
        QCOMPARE(pos.LabelTop, anchor - lifts[p]);
        QCOMPARE(pos.LabelLeft, px - pos.LabelWidth / 2);
        QCOMPARE(pos.LeaderStart, QPoint(pos.LabelLeft + pos.LabelWidth / 2, pos.LabelTop));
        QCOMPARE(pos.LeaderEnd, QPoint(px, anchor));
    }
    // The second row has its own anchor.
    const TArrowSeries &second = chart.Series(2);
    QCOMPARE(second.Position(0)->LeaderEnd.y(),
             chart.ValueToPixel(chart.LeftAxis, -2) - second.Position(0)->LabelHeight / 2);
}

void TestMapLabels::unknownLabelOffScreen()
{
    TMapFixture f = SevenGenes();
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    DrawOnce(chart);
    const TArrowSeries &row = chart.Series(1);
    QCOMPARE(row.Label(2), QByteArray("???"));
    const TSeriesMarkPosition &hidden = *row.Position(2);
    QCOMPARE(hidden.LabelLeft, -9999);
    QCOMPARE(hidden.LabelTop, -9999);
    QVERIFY(hidden.Fixed);
    // Its leader goes with it: no dotted stub stays where the chart first drew the label.
    QCOMPARE(hidden.LeaderStart, QPoint(-9999, -9999));
    QCOMPARE(hidden.LeaderEnd, QPoint(-9999, -9999));
    // Levels follow the point index: the neighbours are not moved down to fill the gap.
    const int anchor = row.Position(0)->LeaderEnd.y();
    QCOMPARE(row.Position(1)->LabelTop, anchor - 45);
    QCOMPARE(row.Position(3)->LabelTop, anchor - 75);
}

// Every label stands where it belongs on the first drawing after a rebuild or a zoom: a second
// drawing changes no pixel.
void TestMapLabels::oneDrawingIsTheFrame()
{
    TMapFixture f = SevenGenes();
    TChart chart;
    SetupMapChart(chart);
    const auto picture = [&] {
        QImage image(kRect.size(), QImage::Format_RGB32);
        QPainter painter(&image);
        chart.Draw(painter, kRect);
        return image;
    };
    f.Rebuild(chart);
    const QImage first = picture();
    QCOMPARE(picture(), first);
    chart.ZoomTo(150, 900);
    const QImage zoomed = picture();
    QVERIFY(zoomed != first);
    QCOMPARE(picture(), zoomed);
}

// A label its owner marks not shown goes out of sight as a "???" one does, and draws nothing.
void TestMapLabels::notShownByTheOwner()
{
    TMapFixture f = SevenGenes();
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    TArrowSeries &row = chart.Series(1);
    TLabelPlan plan = *row.LabelPlan();
    QCOMPARE(plan.Shown, std::vector<char>({1, 1, 0, 1, 1, 1, 1}));
    plan.Shown[4] = 0;
    row.SetLabelPlan(plan);
    DrawOnce(chart);
    QCOMPARE(row.Position(4)->LabelTop, kLabelOutOfSight);
    QCOMPARE(row.Position(4)->LeaderEnd, QPoint(kLabelOutOfSight, kLabelOutOfSight));
    QCOMPARE(row.Position(5)->LabelTop, row.Position(0)->LabelTop);
    // A point added later drops the plan: the chart places its labels itself again.
    row.AppendArrow(1400, -1, 1500, -1, "G8", 0);
    QVERIFY(!row.LabelPlan());
}

// Labels switched off keep the placements of their last drawing.
void TestMapLabels::hiddenRowsKeepTheirPlaces()
{
    TMapFixture f = SevenGenes();
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    DrawOnce(chart);
    ApplyGeneName(chart, false);
    const TSeriesMarkPosition before = *chart.Series(1).Position(1);
    chart.ZoomTo(150, 900);
    DrawOnce(chart);
    QCOMPARE(chart.Series(1).Position(1)->LabelLeft, before.LabelLeft);
    QVERIFY(!chart.Series(1).Marks.Visible);
}

void TestMapLabels::firstLineNames_data()
{
    QTest::addColumn<bool>("firstLineNames");
    QTest::newRow("every row") << false;
    QTest::newRow("first row only") << true;
}

void TestMapLabels::firstLineNames()
{
    QFETCH(bool, firstLineNames);
    TMapFixture f(MakeCatalogue(
        {{"chrA", {{0, 10, "A"}}}, {"chrB", {{0, 10, "A"}}}, {"chrC", {{0, 10, "A"}}}}));
    TChart chart;
    SetupMapChart(chart);
    f.View.FirstLineNames = firstLineNames;
    f.Rebuild(chart);
    DrawOnce(chart);
    QVERIFY(chart.Series(1).Marks.Visible);
    QCOMPARE(chart.Series(2).Marks.Visible, !firstLineNames);
    QCOMPARE(chart.Series(3).Marks.Visible, !firstLineNames);
    // Until the rebuild makes the rows again with the switch off.
    f.View.FirstLineNames = false;
    f.Rebuild(chart);
    QVERIFY(chart.Series(2).Marks.Visible);
}

void TestMapLabels::namesLeftOfRows()
{
    // x = 0 well inside the plot, so that the names have room on its left.
    TMapFixture f(MakeCatalogue({{"chrA", {{-3000, 1000, "A"}}},
                                 {"hidden", {{0, 1000, "A"}}},
                                 {"Chromosome_C", {{0, 1000, "A"}}}}));
    f.ChromosomeChecked[1] = false;
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    DrawOnce(chart);
    const int x0 = chart.ValueToPixel(chart.BottomAxis, 0);
    QVERIFY(x0 > 200);

    const QByteArray shown[2] = {"chrA", "Chromosome_C"};
    for (int k = 0; k < 2; ++k) {
        QImage image(kRect.size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        TCanvas canvas(painter);
        // Only one row's name at a time: the other one is unchecked for this drawing.
        std::vector<bool> checked = f.ChromosomeChecked;
        if (k == 0)
            checked[2] = false;
        else
            checked[0] = false;
        DrawChromosomeNames(chart, canvas, f.Catalogue, checked);
        QVERIFY(painter.font().bold());
        const int width = canvas.TextWidth(shown[k]);
        const int h = canvas.TextHeight("M") / 2;
        painter.end();

        // Only the first shown chromosome gets a name here, on the top row: a lone checked
        // chromosome is the k = 0 row whatever its place in the list.
        const int rowY = chart.ValueToPixel(chart.LeftAxis, -1);
        const QRect ink = InkBox(image);
        QVERIFY(!ink.isEmpty());
        // Right-aligned 40 pixels left of x = 0 (glyph bearings allow a few pixels).
        QVERIFY2(ink.right() <= x0 - 40 && ink.right() >= x0 - 40 - 4,
                 qPrintable(QStringLiteral("right edge %1, x0 %2").arg(ink.right()).arg(x0)));
        QVERIFY(ink.left() >= x0 - 40 - width - 1);
        QVERIFY(ink.left() <= x0 - 40 - width + 4);
        // Drawn from rowY - h down: the text stands across the row's line.
        QVERIFY(ink.top() >= rowY - h);
        QVERIFY(ink.top() < rowY);
        QVERIFY(ink.bottom() > rowY);
    }

    // Both checked: names on rows -1 and -2, the unchecked one skipped.
    QImage image(kRect.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        TCanvas canvas(painter);
        DrawChromosomeNames(chart, canvas, f.Catalogue, f.ChromosomeChecked);
    }
    const int row1 = chart.ValueToPixel(chart.LeftAxis, -1);
    const int row2 = chart.ValueToPixel(chart.LeftAxis, -2);
    const QRect top = InkBox(image.copy(0, 0, kRect.width(), (row1 + row2) / 2));
    const QRect bottom = InkBox(image.copy(0, (row1 + row2) / 2, kRect.width(), kRect.height()));
    QVERIFY(!top.isEmpty());
    QVERIFY(!bottom.isEmpty());
    // The longer name starts further left.
    QVERIFY(bottom.left() < top.left() - 20);
}

void TestMapLabels::noNameWithoutRows()
{
    TMapFixture f(MakeCatalogue({{"chrA", {{0, 1000, "A"}}}}));
    f.ChromosomeChecked[0] = false;
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    DrawOnce(chart);
    QImage image(kRect.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        TCanvas canvas(painter);
        DrawChromosomeNames(chart, canvas, f.Catalogue, f.ChromosomeChecked);
    }
    QVERIFY(InkBox(image).isEmpty());
}

QTEST_MAIN(TestMapLabels)
#include "tst_map_labels.moc"
