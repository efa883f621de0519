// The map builder: rows per checked chromosome, arrows per record, labels, hiding, colours,
// mirroring, and a failed rebuild that leaves the chart as it was.
#include "MapFixtures.h"

#include <QtTest>

namespace {
TCatalogue ThreeChromosomes()
{
    return MakeCatalogue({{"chrA", {{10, 50, "ALPHA"}, {60, 90, "BETA"}}},
                          {"chrB", {{5, 25, "ALPHA"}}},
                          {"chrC", {{0, 40, "GAMMA"}, {50, 80, "???"}}}});
}

QList<QByteArray> Labels(const TArrowSeries &s)
{
    QList<QByteArray> out;
    for (int p = 0; p < s.Count(); ++p)
        out << s.Label(p);
    return out;
}
} // namespace

class TestMapBuilder : public QObject
{
    Q_OBJECT

private slots:
    void rowValues_data();
    void rowValues();
    void rebuildReplacesRows();
    void mirroring_data();
    void mirroring();
    void labels_data();
    void labels();
    void hideUncheckedGenes();
    void emptyRowStillASeries();
    void colours_data();
    void colours();
    void settingsFromTemplateAndMenu_data();
    void settingsFromTemplateAndMenu();
    void pointOrderIsStableByStart();
    void zeroLengthRecordKeepsItsLabel();
    void overflowLeavesChartWhole_data();
    void overflowLeavesChartWhole();
    void badGeneIndexIsRangeError();
};

void TestMapBuilder::rowValues_data()
{
    QTest::addColumn<QList<bool>>("checked");
    QTest::addColumn<QList<QByteArray>>("titles");
    QTest::addColumn<QList<int>>("tags");
    QTest::addColumn<double>("axisMin");
    QTest::newRow("all three") << QList<bool>{true, true, true}
                               << QList<QByteArray>{"chrA", "chrB", "chrC"} << QList<int>{0, 1, 2}
                               << -4.0;
    QTest::newRow("first unchecked")
        << QList<bool>{false, true, true} << QList<QByteArray>{"chrB", "chrC"} << QList<int>{1, 2}
        << -3.0;
    QTest::newRow("only the middle one")
        << QList<bool>{false, true, false} << QList<QByteArray>{"chrB"} << QList<int>{1} << -2.0;
    QTest::newRow("none") << QList<bool>{false, false, false} << QList<QByteArray>{} << QList<int>{}
                          << -1.0;
}

void TestMapBuilder::rowValues()
{
    QFETCH(QList<bool>, checked);
    QFETCH(QList<QByteArray>, titles);
    QFETCH(QList<int>, tags);
    QFETCH(double, axisMin);

    TMapFixture f(ThreeChromosomes());
    f.ChromosomeChecked.assign(checked.begin(), checked.end());
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);

    QCOMPARE(chart.SeriesCount(), 1 + titles.size());
    for (int k = 0; k < titles.size(); ++k) {
        const TArrowSeries &s = chart.Series(k + 1);
        QCOMPARE(s.Title, titles[k]);
        QCOMPARE(s.Tag, tags[k]);
        QVERIFY(s.Active);
        QCOMPARE(s.Count(), int(f.Catalogue.FRecords[std::size_t(tags[k])].size()));
        for (int p = 0; p < s.Count(); ++p) {
            QCOMPARE(s.StartY(p), double(-(k + 1)));
            QCOMPARE(s.EndY(p), double(-(k + 1)));
        }
    }
    QVERIFY(!chart.LeftAxis.Automatic);
    QCOMPARE(chart.LeftAxis.Minimum, axisMin);
    QCOMPARE(chart.LeftAxis.Maximum, 0.0);
}

void TestMapBuilder::rebuildReplacesRows()
{
    TMapFixture f(ThreeChromosomes());
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    f.ChromosomeChecked[2] = false;
    f.Rebuild(chart);
    QCOMPARE(chart.SeriesCount(), 3);
    QCOMPARE(chart.Series(1).Title, QByteArray("chrA"));
    QCOMPARE(chart.Series(2).Title, QByteArray("chrB"));
    // The template survives every rebuild, inactive and empty.
    QCOMPARE(chart.Series(0).Count(), 0);
    QVERIFY(!chart.Series(0).Active);
    QCOMPARE(chart.LeftAxis.Minimum, -3.0);
}

void TestMapBuilder::mirroring_data()
{
    QTest::addColumn<bool>("inverted");
    QTest::addColumn<int>("offset");
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("x1");
    QTest::newRow("plain") << false << 100 << 110.0 << 150.0;
    QTest::newRow("inverted") << true << 100 << -110.0 << -150.0;
    QTest::newRow("inverted, negative offset") << true << -30 << 20.0 << -20.0;
    QTest::newRow("no offset") << false << 0 << 10.0 << 50.0;
}

void TestMapBuilder::mirroring()
{
    QFETCH(bool, inverted);
    QFETCH(int, offset);
    QFETCH(double, x0);
    QFETCH(double, x1);
    TMapFixture f(MakeCatalogue({{"chrA", {{10, 50, "ALPHA"}}}}));
    f.Catalogue.FChromosomes[0].Inverted = inverted;
    f.Catalogue.FChromosomes[0].Offset = offset;
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    const TArrowSeries &s = chart.Series(1);
    QCOMPARE(s.Count(), 1);
    QCOMPARE(s.StartX(0), x0);
    QCOMPARE(s.EndX(0), x1);
}

void TestMapBuilder::labels_data()
{
    QTest::addColumn<QList<QByteArray>>("names"); // the records of chrA; chrB carries the first
    QTest::addColumn<QList<QByteArray>>("unchecked");
    QTest::addColumn<bool>("hide");
    QTest::addColumn<QList<QByteArray>>("labels");
    // Gene list: "???" 0, AAA 1, BBB 2. The second BBB record carries index 0, yet is BBB.
    const QList<QByteArray> unknownFirst{"AAA", "BBB", "???", "BBB"};
    QTest::newRow("all checked") << unknownFirst << QList<QByteArray>{} << false
                                 << QList<QByteArray>{"AAA", "BBB", "???", "BBB"};
    QTest::newRow("BBB unchecked") << unknownFirst << QList<QByteArray>{"BBB"} << false
                                   << QList<QByteArray>{"AAA", "2", "???", "2"};
    QTest::newRow("??? unchecked") << unknownFirst << QList<QByteArray>{"???"} << false
                                   << QList<QByteArray>{"AAA", "BBB", "???", "BBB"};
    QTest::newRow("all unchecked") << unknownFirst << QList<QByteArray>{"???", "AAA", "BBB"}
                                   << false << QList<QByteArray>{"1", "2", "???", "2"};
    QTest::newRow("??? unchecked, hidden") << unknownFirst << QList<QByteArray>{"???"} << true
                                           << QList<QByteArray>{"AAA", "BBB", "BBB"};
    // Gene list: 10 0, "???" 1, AAA 2; the "???" record and the repeats carry index 0.
    const QList<QByteArray> numberFirst{"10", "AAA", "???", "10", "AAA"};
    QTest::newRow("gene 0 named, all checked")
        << numberFirst << QList<QByteArray>{} << false << numberFirst;
    QTest::newRow("gene 0 named, 10 unchecked") << numberFirst << QList<QByteArray>{"10"} << false
                                                << QList<QByteArray>{"0", "AAA", "???", "0", "AAA"};
    QTest::newRow("gene 0 named, AAA unchecked") << numberFirst << QList<QByteArray>{"AAA"} << false
                                                 << QList<QByteArray>{"10", "2", "???", "10", "2"};
    QTest::newRow("gene 0 named, AAA unchecked, hidden")
        << numberFirst << QList<QByteArray>{"AAA"} << true << QList<QByteArray>{"10", "???", "10"};
    QTest::newRow("gene 0 named, ??? unchecked, hidden")
        << numberFirst << QList<QByteArray>{"???"} << true
        << QList<QByteArray>{"10", "AAA", "10", "AAA"};
}

// Labels, hiding and colours follow the gene a record is, whatever index it carries: a repeat
// is coloured as its gene's first record, "???" white.
void TestMapBuilder::labels()
{
    QFETCH(QList<QByteArray>, names);
    QFETCH(QList<QByteArray>, unchecked);
    QFETCH(bool, hide);
    QFETCH(QList<QByteArray>, labels);
    std::vector<TRecordSpec> records;
    for (int i = 0; i < names.size(); ++i)
        records.push_back({20 * i, 20 * i + 10, names[i].constData()});
    TMapFixture f(MakeCatalogue({{"chrA", records}, {"chrB", {{0, 10, names[0].constData()}}}}));
    for (const QByteArray &name : unchecked)
        f.GeneChecked[std::size_t(GeneIndexOf(f.Catalogue, name.constData()))] = false;
    f.View.HideGenes = hide;
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    const TArrowSeries &row = chart.Series(1);
    QCOMPARE(Labels(row), labels);
    if (hide)
        return;
    for (int p = 0; p < row.Count(); ++p) {
        const int first = int(names.indexOf(names[p]));
        QCOMPARE(uint(row.Color(p)), names[p] == "???" ? 0xFFFFFFu : uint(row.Color(first)));
    }
    // The first gene is on both rows, the others on one: their colours differ.
    QVERIFY(row.Color(0) != row.Color(1));
}

void TestMapBuilder::hideUncheckedGenes()
{
    TMapFixture f(ThreeChromosomes());
    f.View.HideGenes = true;
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    QCOMPARE(Labels(chart.Series(1)), (QList<QByteArray>{"ALPHA", "BETA"}));

    // All checked: hiding changes nothing. ALPHA unchecked: gone from every row.
    f.GeneChecked[std::size_t(GeneIndexOf(f.Catalogue, "ALPHA"))] = false;
    f.Rebuild(chart);
    QCOMPARE(Labels(chart.Series(1)), QList<QByteArray>{"BETA"});
    QCOMPARE(chart.Series(2).Count(), 0);
    QCOMPARE(Labels(chart.Series(3)), (QList<QByteArray>{"GAMMA", "???"}));
    QCOMPARE(chart.Series(1).StartX(0), 60.0);
}

void TestMapBuilder::emptyRowStillASeries()
{
    TMapFixture f(ThreeChromosomes());
    f.View.HideGenes = true;
    f.GeneChecked.assign(f.GeneChecked.size(), false);
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    QCOMPARE(chart.SeriesCount(), 4);
    for (int s = 1; s <= 3; ++s)
        QCOMPARE(chart.Series(s).Count(), 0);
    QCOMPARE(chart.Series(2).Title, QByteArray("chrB"));
    QCOMPARE(chart.LeftAxis.Minimum, -4.0);
}

void TestMapBuilder::colours_data()
{
    QTest::addColumn<bool>("gray");
    QTest::addColumn<QList<uint>>("row1");
    // ALPHA on two chromosomes (the most), BETA on one: 799 / 2 = 399.5 rounds to entry 400.
    QTest::newRow("fire") << false << QList<uint>{0x0000FF, 0x00FFFF};
    QTest::newRow("gray") << true << QList<uint>{0x010101, 0x808080};
}

void TestMapBuilder::colours()
{
    QFETCH(bool, gray);
    QFETCH(QList<uint>, row1);
    TMapFixture f(ThreeChromosomes());
    if (gray)
        f.Palette = GrayPalette();
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    const TArrowSeries &a = chart.Series(1);
    QCOMPARE(a.Count(), 2);
    QCOMPARE(uint(a.Color(0)), row1[0]);
    QCOMPARE(uint(a.Color(1)), row1[1]);
    // "???" has count 0: the first entry, white in both palettes.
    QCOMPARE(uint(chart.Series(3).Color(1)), 0xFFFFFFu);
    // Same colour wherever the gene stands.
    QCOMPARE(uint(chart.Series(2).Color(0)), row1[0]);
}

void TestMapBuilder::settingsFromTemplateAndMenu_data()
{
    QTest::addColumn<bool>("geneName");
    QTest::addColumn<bool>("frameGeneName");
    QTest::addColumn<bool>("frameArrows");
    QTest::newRow("as at start") << true << true << true;
    QTest::newRow("nothing framed") << true << false << false;
    QTest::newRow("labels off") << false << true << false;
}

void TestMapBuilder::settingsFromTemplateAndMenu()
{
    QFETCH(bool, geneName);
    QFETCH(bool, frameGeneName);
    QFETCH(bool, frameArrows);
    TMapFixture f(ThreeChromosomes());
    f.View.FrameGeneName = frameGeneName;
    f.View.FrameArrows = frameArrows;
    TChart chart;
    SetupMapChart(chart);
    ApplyGeneName(chart, geneName);
    TArrowSeries &t = chart.Series(0);
    t.Marks.Frame.Width = 2;
    t.Marks.Frame.Color = 0x123456;
    t.Marks.Font.Height = -11;
    t.Pointer.Pen.Width = 3;
    f.Rebuild(chart);

    for (int s = 1; s < chart.SeriesCount(); ++s) {
        const TArrowSeries &row = chart.Series(s);
        QCOMPARE(row.Marks.Visible, geneName);
        QCOMPARE(row.Marks.Frame.Visible, frameGeneName);
        QCOMPARE(row.Marks.Transparent, !frameGeneName);
        QCOMPARE(row.Marks.Frame.Style, Qt::SolidLine);
        QCOMPARE(row.Marks.Frame.Width, 2);
        QCOMPARE(row.Marks.Frame.Color, TColor(0x123456));
        QCOMPARE(row.Marks.BackColor, TColor(0x80FFFF));
        QCOMPARE(row.Marks.ArrowLength, 10);
        QCOMPARE(row.Marks.Font.Height, -11);
        QCOMPARE(row.Pointer.Pen.Visible, frameArrows);
        QCOMPARE(row.Pointer.Pen.Width, 3);
        QCOMPARE(row.ArrowWidth(), 35);
        QCOMPARE(row.ArrowHeight(), 5);
        QVERIFY(row.ColorEachPoint);
        QVERIFY(!row.XValuesDateTime);
    }
}

void TestMapBuilder::pointOrderIsStableByStart()
{
    // Unsorted file order with ties on the start: the row must match inserting the records one
    // by one into a series.
    TMapFixture f(MakeCatalogue({{"chrA",
                                  {{50, 60, "E"},
                                   {10, 20, "A"},
                                   {50, 55, "F"},
                                   {30, 40, "C"},
                                   {10, 5, "B"},
                                   {50, 70, "G"},
                                   {30, 31, "D"}}}}));
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    const TArrowSeries &row = chart.Series(1);

    TArrowSeries reference;
    for (const tGene &r : f.Catalogue.FRecords[0])
        reference.AppendArrow(r.Start, -1, r.End, -1, r.GeneName, 0);
    QCOMPARE(Labels(row), Labels(reference));
    QCOMPARE(Labels(row), (QList<QByteArray>{"A", "B", "C", "D", "E", "F", "G"}));
    for (int p = 0; p < row.Count(); ++p)
        QCOMPARE(row.EndX(p), reference.EndX(p));

    // Many ties in a long row, where an unstable sort would show.
    std::vector<TRecordSpec> many;
    std::vector<QByteArray> names;
    for (int i = 0; i < 300; ++i)
        names.push_back("N" + QByteArray::number(i));
    for (int i = 0; i < 300; ++i)
        many.push_back({(i * 7919) % 11, 20 + i, names[std::size_t(i)].constData()});
    TMapFixture g(MakeCatalogue({{"chrA", many}}));
    g.Rebuild(chart);
    TArrowSeries longReference;
    for (const tGene &r : g.Catalogue.FRecords[0])
        longReference.AppendArrow(r.Start, -1, r.End, -1, r.GeneName, 0);
    QCOMPARE(Labels(chart.Series(1)), Labels(longReference));
}

void TestMapBuilder::zeroLengthRecordKeepsItsLabel()
{
    TMapFixture f(MakeCatalogue({{"chrA", {{20, 20, "DOT"}}}}));
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    QCOMPARE(chart.Series(1).Count(), 1);
    QCOMPARE(chart.Series(1).Label(0), QByteArray("DOT"));
    QCOMPARE(chart.Series(1).StartX(0), chart.Series(1).EndX(0));
}

void TestMapBuilder::overflowLeavesChartWhole_data()
{
    QTest::addColumn<bool>("inverted");
    QTest::addColumn<int>("offset");
    // chrB's second record overflows: its end 100 + offset, its start -100 + offset, or the
    // negation of -100 + offset (the least value, which has none).
    QTest::newRow("sum") << false << 2147483600;
    QTest::newRow("negation") << true << -2147483548;
    QTest::newRow("sum below the range") << false << -2147483600;
}

void TestMapBuilder::overflowLeavesChartWhole()
{
    QFETCH(bool, inverted);
    QFETCH(int, offset);
    TMapFixture f(MakeCatalogue({{"chrA", {{10, 50, "ALPHA"}}},
                                 {"chrB", {{0, 10, "BETA"}, {-100, 100, "GAMMA"}, {1, 2, "D"}}},
                                 {"chrC", {{0, 40, "ALPHA"}}}}));
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    QCOMPARE(chart.LeftAxis.Minimum, -4.0);
    const TArrowSeries *before[] = {&chart.Series(1), &chart.Series(2), &chart.Series(3)};

    f.ChromosomeChecked[2] = false; // would move the axis to -3 if the rebuild finished
    f.Catalogue.FChromosomes[1].Inverted = inverted;
    f.Catalogue.FChromosomes[1].Offset = offset;
    try {
        f.Rebuild(chart);
        QFAIL("no overflow raised");
    } catch (const EIntOverflow &e) {
        QCOMPARE(e.message(), QStringLiteral("Integer overflow"));
    }
    // The same three rows, not rebuilt, with the points of the last good rebuild.
    QCOMPARE(chart.SeriesCount(), 4);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(&chart.Series(i + 1), before[i]);
    QCOMPARE(chart.Series(1).Title, QByteArray("chrA"));
    // Points in order of their start, as drawn with offset 0.
    QCOMPARE(Labels(chart.Series(2)), (QList<QByteArray>{"GAMMA", "BETA", "D"}));
    QCOMPARE(chart.Series(2).StartX(0), -100.0);
    QCOMPARE(chart.Series(3).Title, QByteArray("chrC"));
    QCOMPARE(chart.LeftAxis.Minimum, -4.0);
    QCOMPARE(chart.LeftAxis.Maximum, 0.0);
}

void TestMapBuilder::badGeneIndexIsRangeError()
{
    TMapFixture f(ThreeChromosomes());
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    f.Catalogue.FRecords[1][0].GeneIndex = qint32(f.Catalogue.FGeneNames.size());
    QVERIFY_THROWS_EXCEPTION(ERangeError, f.Rebuild(chart));
    // Found before any row was freed: all three rows stay.
    QCOMPARE(chart.SeriesCount(), 4);
    QCOMPARE(chart.Series(2).Title, QByteArray("chrB"));
    QCOMPARE(chart.Series(2).Count(), 1);
}

QTEST_MAIN(TestMapBuilder)
#include "tst_map_builder.moc"
