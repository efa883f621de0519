// Ribbons: their colours by orientation and identity, and the ribbons a hit table's map draws,
// which turn from one hue to the other when a row is reversed.
#include "chart/ChartGeometry.h"
#include "chart/TChart.h"
#include "core/CoordinateReader.h"
#include "core/Regions.h"
#include "map/MapSession.h"
#include "map/Ribbons.h"
#include "map/RowReport.h"
#include "map/RowScales.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(TLinkColours)
Q_DECLARE_METATYPE(std::vector<TRegion>)

namespace {
int Darkness(TColor c)
{
    return 3 * 255 - RedOf(c) - GreenOf(c) - BlueOf(c);
}

// A map session wired to a chart that repaints into an image 300 pixels high.
struct TDrawnMap
{
    TChart Chart;
    QImage Image;
    TMapSession Session;
    explicit TDrawnMap(int width) : Image(width, 300, QImage::Format_RGB32)
    {
        SetupMapChart(Chart);
        Session.Wire(Chart);
        Session.SetRepaint([this] {
            QPainter painter(&Image);
            Chart.Draw(painter, Image.rect());
        });
        Chart.SetChartRect(Image.rect());
    }
};

void Write(const QString &path, const QByteArray &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}
} // namespace

class TestMapRibbons : public QObject
{
    Q_OBJECT

private slots:
    void colours_data();
    void colours();
    void hues_data();
    void hues();
    void scaleTicks_data();
    void scaleTicks();
    void rowScales_data();
    void rowScales();
    void regionsSideBySide_data();
    void regionsSideBySide();
    void blocks_data();
    void blocks();
    void sameColumnsEveryBand_data();
    void sameColumnsEveryBand();
};

void TestMapRibbons::colours_data()
{
    QTest::addColumn<TLinkColours>("colours");
    QTest::addColumn<bool>("inverted");
    QTest::addColumn<float>("lowest");
    QTest::addColumn<float>("highest");
    QTest::newRow("direct") << TLinkColours::Identity << false << 40.f << 95.f;
    QTest::newRow("inverted") << TLinkColours::Identity << true << 40.f << 95.f;
    QTest::newRow("TBLASTX identities") << TLinkColours::Identity << false << 10.f << 30.f;
    QTest::newRow("grey") << TLinkColours::Grey << true << 40.f << 95.f;
    QTest::newRow("black") << TLinkColours::Black << false << 40.f << 95.f;
}

void TestMapRibbons::colours()
{
    QFETCH(TLinkColours, colours);
    QFETCH(bool, inverted);
    QFETCH(float, lowest);
    QFETCH(float, highest);
    const TColor low = RibbonColour(colours, lowest, inverted, lowest, highest);
    const TColor high = RibbonColour(colours, highest, inverted, lowest, highest);
    const TColor none = RibbonColour(colours, -1, inverted, lowest, highest);
    // A link without identity is drawn at full colour, as the highest identity.
    QCOMPARE(none, high);
    if (colours == TLinkColours::Black) {
        QCOMPARE(low, clBlack);
        return;
    }
    QVERIFY(Darkness(high) > Darkness(low));
    // The lowest identity still reads on white.
    QVERIFY(Darkness(low) >= 60);
    if (colours == TLinkColours::Grey) {
        QCOMPARE(RedOf(high), BlueOf(high));
        QCOMPARE(RedOf(low), GreenOf(low));
    } else if (inverted) {
        QVERIFY(BlueOf(high) > RedOf(high) + 80);
        QVERIFY(BlueOf(low) > RedOf(low));
    } else {
        QVERIFY(RedOf(high) > BlueOf(high) + 80);
        QVERIFY(RedOf(low) > BlueOf(low));
    }
}

// Two rows: a0 and b0 run opposite ways (an inverted link), a1 and b1 the same way; the hits
// give them 40 and 95 per cent, as gene hits or as aligned stretches. Reversing the lower row
// swaps the hues.
void TestMapRibbons::hues_data()
{
    QTest::addColumn<bool>("stretches");
    QTest::newRow("gene hits") << false;
    QTest::newRow("region alignments") << true;
}

void TestMapRibbons::hues()
{
    QFETCH(bool, stretches);
    QTemporaryDir dir;
    const QString map = dir.filePath(QStringLiteral("map.txt"));
    const QString hits = dir.filePath(QStringLiteral("hits.tsv"));
    Write(map, "A\t1\t800\t1\ta0\t\nA\t2001\t2800\t1\ta1\t\n"
               "B\t1\t800\t-1\tb0\t\nB\t2001\t2800\t1\tb1\t\n");
    Write(hits, "a0\tb0\t40.0\t800\t0\t0\t1\t800\t1\t800\t1e-30\t300\n"
                "a1\tb1\t95.0\t800\t0\t0\t1\t800\t1\t800\t1e-90\t900\n");
    TDrawnMap drawn(800);
    TChart &chart = drawn.Chart;
    QImage &image = drawn.Image;
    TMapSession &session = drawn.Session;
    session.View.LinkStyle = TLinkStyle::Ribbons;
    session.View.GeneName = false;
    if (!stretches)
        session.FHomology.Table = hits;
    session.Open({map});
    if (stretches) {
        // The second stretch reaches past both rows' records: it is cut to them.
        session.FRegionAlignments = {{0, 1, 1, 800, 1, 800, true, 40},
                                     {0, 1, 2001, 9000, 2001, 9000, false, 95}};
        session.Redraw();
    }

    // The colour just under the upper arrow of gene p, where its ribbon leaves it.
    const auto under = [&](int p, int right = 0) {
        const TChartGeometry &g = chart.Geometry();
        const TArrowSeries &upper = chart.Series(1);
        const int x = g.XPixel((upper.StartX(p) + upper.EndX(p)) / 2) + right;
        const int y = g.YPixel(upper.StartY(p)) + std::abs(upper.ArrowWidth()) / 2 + 3;
        const QRgb c = image.pixel(x, y);
        return RGBToColor(qRed(c), qGreen(c), qBlue(c));
    };
    const auto blue = [](TColor c) { return BlueOf(c) > RedOf(c) + 40; };
    const auto red = [](TColor c) { return RedOf(c) > BlueOf(c) + 40; };
    QVERIFY(blue(under(0)));
    QVERIFY(red(under(1)));
    QVERIFY(Darkness(under(1)) > Darkness(under(0)));
    const TChartGeometry &g = chart.Geometry();
    QCOMPARE(under(1, g.XPixel(2800) - g.XPixel(2400) + 4), RGBToColor(255, 255, 255));
    const std::vector<TRowReportLine> report =
        RowReport(session.FCatalogue, chart, session.FRegionAlignments);
    QCOMPARE(report.at(1).Ribbons, qint64(2));
    QCOMPARE(report.at(1).MeanIdentity, 67.5);

    session.InverseChromosome(1);
    QVERIFY(red(under(0)));
    QVERIFY(blue(under(1)));
}

void TestMapRibbons::scaleTicks_data()
{
    QTest::addColumn<double>("pixelsPerBase");
    QTest::addColumn<double>("position");
    QTest::addColumn<double>("step");
    QTest::addColumn<QString>("text");
    QTest::newRow("bases") << 1.0 << 300.0 << 100.0 << "300";
    QTest::newRow("kb") << 0.01 << 20000.0 << 10000.0 << "20 kb";
    QTest::newRow("2 kb steps") << 0.05 << 4000.0 << 2000.0 << "4 kb";
    QTest::newRow("half Mb steps") << 0.0002 << 2500000.0 << 500000.0 << "2500 kb";
    QTest::newRow("Mb") << 0.00005 << 3000000.0 << 2000000.0 << "3 Mb";
}

void TestMapRibbons::scaleTicks()
{
    QFETCH(double, pixelsPerBase);
    QFETCH(double, position);
    QFETCH(double, step);
    QFETCH(QString, text);
    QCOMPARE(RowScaleStep(pixelsPerBase, 70), step);
    QCOMPARE(RowScaleText(position, step), text);
}

// The tick of position 2000 stands where the row draws that position, on a row mirrored or
// moved alike; under a mirrored row's name stands "reversed".
void TestMapRibbons::rowScales_data()
{
    QTest::addColumn<bool>("inverted");
    QTest::addColumn<int>("offset");
    QTest::newRow("as read") << false << 0;
    QTest::newRow("moved") << false << 1500;
    QTest::newRow("reversed") << true << 0;
}

void TestMapRibbons::rowScales()
{
    QFETCH(bool, inverted);
    QFETCH(int, offset);
    TDrawnMap drawn(900);
    TChart &chart = drawn.Chart;
    QImage &image = drawn.Image;
    TMapSession &session = drawn.Session;
    session.View.RowScales = true;
    session.View.GeneName = false;
    session.Install(CatalogueFromRecords(ParseCoordinateText("A\t1\t4000\t1\ta\n")));
    ChromosomeView &view = session.FCatalogue.FChromosomes[0];
    view.Inverted = inverted;
    view.Offset += offset;
    session.RebuildCycle();
    const TChartGeometry &g = chart.Geometry();
    const TArrowSeries &row = chart.Series(1);
    const int y = g.YPixel(row.StartY(0)) + (std::abs(row.ArrowWidth()) + 1) / 2 + 3;
    const auto dark = [&](int x, int dy) { return qRed(image.pixel(x, y + dy)) < 100; };
    const int tick = g.XPixel(MapCoordinate(view, 2000));
    QVERIFY(dark(tick, 2));
    QVERIFY(!dark(g.XPixel(MapCoordinate(view, 2250)), 2));
    QVERIFY(dark(g.XPixel(MapCoordinate(view, 2250)), 0)); // the scale's line
    // "reversed" under the name, in dark pixels there only when the row is mirrored.
    const int right = chart.ValueToPixel(chart.BottomAxis, 0) - 40;
    int inked = 0;
    for (int x = std::max(0, right - 60); x < right; ++x)
        for (int dy = 8; dy < 24; ++dy)
            inked += qRed(image.pixel(x, g.YPixel(row.StartY(0)) + dy)) < 128;
    QCOMPARE(inked > 0, inverted);
}

// Two regions of one row side by side: a break of 3 % of the longest row (10,000 bases: 300)
// and its mark, the row scale's tick of the second's own 102000, an alignment's ribbon on its
// gene. One region draws the file's gap, no mark and no such tick (its step is 20 kb).
void TestMapRibbons::regionsSideBySide_data()
{
    QTest::addColumn<std::vector<TRegion>>("regions"); // with B:1-3000
    QTest::addColumn<bool>("inverted");
    QTest::addColumn<double>("gap"); // from A2's end to A3's start, as drawn
    const std::vector<TRegion> two{{"A", 1, 5000}, {"A", 100001, 105000}};
    QTest::newRow("two regions") << two << false << 300.0;
    QTest::newRow("two regions, reversed") << two << true << -300.0;
    QTest::newRow("one region") << std::vector<TRegion>{{"A", 1, 105000}} << false << 95001.0;
}

void TestMapRibbons::regionsSideBySide()
{
    QFETCH(std::vector<TRegion>, regions);
    QFETCH(bool, inverted);
    QFETCH(double, gap);
    TDrawnMap drawn(900);
    TMapSession &session = drawn.Session;
    session.View.RowScales = true;
    session.View.LinkStyle = TLinkStyle::Ribbons;
    regions.push_back({"B", 1, 3000});
    session.Install(CatalogueOfRegions(CatalogueFromRecords(ParseCoordinateText(
                                           "A\t1\t1000\t1\ta1\nA\t4001\t5000\t1\ta2\n"
                                           "A\t100001\t101000\t1\ta3\nA\t104001\t105000\t1\ta4\n"
                                           "B\t1\t1000\t1\ta3\nB\t2001\t3000\t1\tb\n")),
                                       regions));
    ChromosomeView &view = session.FCatalogue.FChromosomes[0];
    view.Inverted = inverted;
    session.FRegionAlignments = {{0, 1, 100001, 101000, 1, 1000, false, 90}};
    session.RebuildCycle();
    const TArrowSeries &row = drawn.Chart.Series(1);
    const int a2 = inverted ? 2 : 1, a3 = inverted ? 1 : 2; // points sorted as drawn
    QCOMPARE(row.StartX(a3) - row.EndX(a2), gap);
    QCOMPARE(OwnCoordinate(view, qint64(row.StartX(a3))), 100001); // the file's own coordinates
    const TChartGeometry &g = drawn.Chart.Geometry();
    const int y = g.YPixel(row.StartY(0));
    const auto dark = [&](int x, int y) { return qRed(drawn.Image.pixel(x, y)) < 100; };
    const int middle = g.XPixel((row.EndX(a2) + row.StartX(a3)) / 2);
    int mark = 0;
    for (int i = 0; i < 9 * 5; ++i) // clear of the arrow heads beside the break
        mark += dark(middle - 4 + i % 9, y - 2 + i / 9);
    const bool apart = regions.size() > 2;
    QCOMPARE(mark > 0, apart);
    const int tick = y + (std::abs(row.ArrowWidth()) + 1) / 2 + 5; // under the scale's line
    QCOMPARE(dark(g.XPixel(MapCoordinate(view, 102000)), tick), apart);
    // Identities last: the gene ribbon of A3 first, then the alignment's.
    const TRibbon hit =
        session.Ribbons.Of(drawn.Chart, session.FCatalogue, session.FRegionAlignments).back();
    QCOMPARE(hit.Identity, 90.0f);
    QCOMPARE(std::pair(hit.Upper0, hit.Upper1), std::pair(row.StartX(a3), row.EndX(a3)));
}

// Twenty genes 600 long, 400 apart, in the same order on both rows: as ribbons the gaps
// between genes stay white under the upper row, as one block they fill; zoomed out until the
// genes are under two pixels wide, ribbons turn into blocks of themselves.
void TestMapRibbons::blocks_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("genes");
    QTest::addColumn<bool>("filled");
    QTest::newRow("ribbons") << int(TLinkStyle::Ribbons) << 20 << false;
    QTest::newRow("blocks") << int(TLinkStyle::Blocks) << 20 << true;
    QTest::newRow("ribbons of narrow genes") << int(TLinkStyle::Ribbons) << 4000 << true;
}

void TestMapRibbons::blocks()
{
    QFETCH(int, style);
    QFETCH(int, genes);
    QFETCH(bool, filled);
    QByteArray text;
    for (const char *row : {"A", "B"})
        for (int i = 0; i < genes; ++i)
            text += QByteArray(row) + '\t' + QByteArray::number(1000 * i + 1) + '\t' +
                    QByteArray::number(1000 * i + 600) + "\t1\tg" + QByteArray::number(i) + '\n';
    TDrawnMap drawn(900);
    TChart &chart = drawn.Chart;
    QImage &image = drawn.Image;
    TMapSession &session = drawn.Session;
    session.View.LinkStyle = TLinkStyle(style);
    session.View.GeneName = false;
    session.Install(CatalogueFromRecords(ParseCoordinateText(text)));
    ApplyGeneName(chart, false);
    session.RebuildCycle();
    QCOMPARE(session.Ribbons.AsBlocks(chart, 1, 2, 1), genes > 20);
    const TChartGeometry &g = chart.Geometry();
    const TArrowSeries &upper = chart.Series(1);
    const int y = g.YPixel(upper.StartY(0)) + std::abs(upper.ArrowWidth()) / 2 + 4;
    // Between genes 4 and 5 of a row of twenty; of a row of thousands, a pixel amid them all.
    const int x = genes > 20 ? g.XPixel(genes * 500) : g.XPixel(4800);
    const QRgb c = image.pixel(x, y);
    QCOMPARE(qRed(c) > qBlue(c) + 40, filled);
}

void TestMapRibbons::sameColumnsEveryBand_data()
{
    QTest::addColumn<int>("rows");
    QTest::newRow("two rows") << 2;
    QTest::newRow("four rows") << 4;
}

// Rows holding the same gene at the same place: every band shows its ribbon, though each has
// the corners and colour of the one above it.
void TestMapRibbons::sameColumnsEveryBand()
{
    QFETCH(int, rows);
    QByteArray text;
    for (int row = 0; row < rows; ++row)
        text += "chr" + QByteArray::number(row) + "\t1\t5000\t1\tg\n";
    TDrawnMap drawn(400);
    drawn.Session.View.LinkStyle = TLinkStyle::Ribbons;
    drawn.Session.Install(CatalogueFromRecords(ParseCoordinateText(text)));
    drawn.Session.RebuildCycle();
    const TChartGeometry &g = drawn.Chart.Geometry();
    for (int s = 1; s < rows; ++s) {
        const int y = (g.YPixel(drawn.Chart.Series(s).StartY(0)) +
                       g.YPixel(drawn.Chart.Series(s + 1).StartY(0))) /
                      2;
        const QRgb c = drawn.Image.pixel(g.XPixel(1000), y); // beside the gene's label
        QVERIFY2(qRed(c) > qGreen(c) + 40, qPrintable(QStringLiteral("band %1").arg(s)));
    }
}

QTEST_MAIN(TestMapRibbons)
#include "tst_map_ribbons.moc"
