// The chart form and template settings, and what each View switch does to the chart.
#include "MapFixtures.h"
#include "map/LabelLayout.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

namespace {
const QRect kRect(0, 0, 900, 400);

QImage Picture(TChart &chart)
{
    QImage image(kRect.size(), QImage::Format_RGB32);
    QPainter painter(&image);
    chart.Draw(painter, kRect);
    return image;
}

TMapFixture TwoRows()
{
    return TMapFixture(MakeCatalogue(
        {{"chrA", {{0, 400, "ALPHA"}, {500, 900, "BETA"}}}, {"chrB", {{100, 600, "ALPHA"}}}}));
}

// The four in-place switches by number: gene name, frame gene names, frame arrows, grid.
void Apply(TChart &chart, int which, bool checked)
{
    switch (which) {
    case 0:
        ApplyGeneName(chart, checked);
        break;
    case 1:
        ApplyFrameGeneName(chart, checked);
        break;
    case 2:
        ApplyFrameArrows(chart, checked);
        break;
    default:
        ApplyGrid(chart, checked);
        break;
    }
}
} // namespace

class TestMapViewOptions : public QObject
{
    Q_OBJECT

private slots:
    void chartForm();
    void templateSeries();
    void switchesActOnAllSeries_data();
    void switchesActOnAllSeries();
    void geneNameOffThenRebuild();
    void frameFollowsMenuNotTemplate();
    void switchesChangeThePicture_data();
    void switchesChangeThePicture();
};

void TestMapViewOptions::chartForm()
{
    TChart chart;
    SetupMapChart(chart);
    QCOMPARE(chart.Color, clWhite);
    QCOMPARE(chart.MarginLeft, 10);
    QCOMPARE(chart.MarginRight, 0);
    QVERIFY(chart.BottomAxis.Visible);
    QVERIFY(chart.BottomAxis.Automatic);
    QCOMPARE(chart.BottomAxis.StartPosition, 2.0);
    QCOMPARE(chart.BottomAxis.EndPosition, 98.0);
    // Agrees with the checked "G&rid" item from the start.
    QCOMPARE(chart.BottomAxis.GridVisible, TViewOptions().Grid);
    QVERIFY(!chart.LeftAxis.Visible);
    QVERIFY(!chart.LeftAxis.Automatic);
    QCOMPARE(chart.LeftAxis.Minimum, 11.0);
    QCOMPARE(chart.LeftAxis.Maximum, 1495.0);
}

void TestMapViewOptions::templateSeries()
{
    TChart chart;
    SetupMapChart(chart);
    QCOMPARE(chart.SeriesCount(), 1);
    const TArrowSeries &t = chart.Series(0);
    QVERIFY(!t.Active);
    QVERIFY(t.ColorEachPoint);
    QVERIFY(t.Marks.Visible);
    QVERIFY(t.Marks.Transparent);
    QCOMPARE(t.Marks.Style, TSeriesMarksStyle::Label);
    QCOMPARE(t.Marks.BackColor, TColor(0x80FFFF));
    QCOMPARE(t.Marks.Arrow.Color, clGray);
    QCOMPARE(t.Marks.ArrowLength, 10);
    QVERIFY(t.Marks.Clip);
    QCOMPARE(t.Marks.Font.Name, QStringLiteral("Arial"));
    QCOMPARE(t.Marks.Font.Height, -9);
    QCOMPARE(t.Marks.Font.Color, clBlack);
    QVERIFY(!t.Marks.Frame.Visible);
    QCOMPARE(t.SeriesColor, clRed);
    QCOMPARE(t.ArrowWidth(), 35);
    QCOMPARE(t.ArrowHeight(), 5);
    QVERIFY(!t.Pointer.Pen.Visible);
    QVERIFY(t.Pointer.Visible);
    // Setting up again does not add a second template.
    SetupMapChart(chart);
    QCOMPARE(chart.SeriesCount(), 1);
}

void TestMapViewOptions::switchesActOnAllSeries_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<bool>("checked");
    for (bool checked : {false, true}) {
        const char *state = checked ? "on" : "off";
        QTest::addRow("gene name %s", state) << 0 << checked;
        QTest::addRow("frame gene names %s", state) << 1 << checked;
        QTest::addRow("frame arrows %s", state) << 2 << checked;
        QTest::addRow("grid %s", state) << 3 << checked;
    }
}

void TestMapViewOptions::switchesActOnAllSeries()
{
    QFETCH(int, which);
    QFETCH(bool, checked);
    TMapFixture f = TwoRows();
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    // Start from the opposite state so that every switch has something to change.
    Apply(chart, which, !checked);
    int invalidated = 0;
    chart.OnInvalidate = [&invalidated] { ++invalidated; };
    Apply(chart, which, checked);
    QVERIFY(invalidated > 0);
    if (which == 3) {
        QCOMPARE(chart.BottomAxis.GridVisible, checked);
        return;
    }
    QCOMPARE(chart.SeriesCount(), 3);
    for (int s = 0; s < chart.SeriesCount(); ++s) {
        const TArrowSeries &series = chart.Series(s);
        if (which == 0) {
            QCOMPARE(series.Marks.Visible, checked);
        } else if (which == 1) {
            QCOMPARE(series.Marks.Frame.Visible, checked);
            QCOMPARE(series.Marks.Transparent, !checked);
        } else {
            QCOMPARE(series.Pointer.Pen.Visible, checked);
        }
    }
}

void TestMapViewOptions::geneNameOffThenRebuild()
{
    TMapFixture f = TwoRows();
    TChart chart;
    SetupMapChart(chart);
    ApplyGeneName(chart, false);
    f.Rebuild(chart);
    Picture(chart);
    // Rows made after the switch start without labels: nothing is drawn, nothing placed.
    for (int s = 1; s < chart.SeriesCount(); ++s) {
        QVERIFY(!chart.Series(s).Marks.Visible);
        QVERIFY(!chart.Series(s).Position(0));
    }
    ApplyGeneName(chart, true);
    Picture(chart);
    for (int s = 1; s < chart.SeriesCount(); ++s)
        QVERIFY(chart.Series(s).Position(0));
}

void TestMapViewOptions::frameFollowsMenuNotTemplate()
{
    // At start the template's frame and arrow outline are hidden while both menu items are
    // checked: the rows follow the menu.
    TMapFixture f = TwoRows();
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    QVERIFY(chart.Series(1).Marks.Frame.Visible);
    QVERIFY(!chart.Series(1).Marks.Transparent);
    QVERIFY(chart.Series(1).Pointer.Pen.Visible);
    QVERIFY(!chart.Series(0).Marks.Frame.Visible);
}

void TestMapViewOptions::switchesChangeThePicture_data()
{
    QTest::addColumn<int>("which");
    QTest::newRow("gene name") << 0;
    QTest::newRow("frame gene names") << 1;
    QTest::newRow("frame arrows") << 2;
    QTest::newRow("grid") << 3;
}

void TestMapViewOptions::switchesChangeThePicture()
{
    QFETCH(int, which);
    TMapFixture f = TwoRows();
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    QImage before(kRect.size(), QImage::Format_RGB32);
    {
        QPainter painter(&before);
        chart.Draw(painter, kRect);
    }
    Apply(chart, which, false);
    QImage after(kRect.size(), QImage::Format_RGB32);
    {
        QPainter painter(&after);
        chart.Draw(painter, kRect);
    }
    QVERIFY(before != after);

    // And back: the same picture as before.
    Apply(chart, which, true);
    QImage again(kRect.size(), QImage::Format_RGB32);
    {
        QPainter painter(&again);
        chart.Draw(painter, kRect);
    }
    QCOMPARE(again, before);
}

QTEST_MAIN(TestMapViewOptions)
#include "tst_map_viewoptions.moc"
