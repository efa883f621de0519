// The synteny blocks of a map as drawn and their report: gene links and aligned stretches
// chained between the rows, orientations as drawn, coordinates the chromosomes' own.
#include "chart/TChart.h"
#include "map/BlockReport.h"
#include "map/MapBuilder.h"
#include "map/MapSession.h"
#include "map/Ribbons.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

namespace {
void Write(const QString &path, const QByteArray &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// Lines of words, one space between fields, as tab-separated text.
QByteArray Tabbed(QByteArray text)
{
    return text.replace(' ', '\t');
}

// Two rows: g1 to g3 in the same order on both, u1 on the lower row only, then g4 to g6 turned
// round there, genes and strands.
const QByteArray kRuns = Tabbed("A 1 800 1 g1\nA 1001 1800 1 g2\nA 2001 2800 1 g3\n"
                                "A 3001 3800 1 g4\nA 4001 4800 1 g5\nA 5001 5800 1 g6\n"
                                "B 101 900 1 g1\nB 1101 1900 1 g2\nB 2101 2900 1 u1\n"
                                "B 3101 3900 1 g3\nB 4101 4900 -1 g6\nB 5101 5900 -1 g5\n"
                                "B 6101 6900 -1 g4\n");
} // namespace

class TestMapBlocks : public QObject
{
    Q_OBJECT
private slots:
    void report_data();
    void report();
};

void TestMapBlocks::report_data()
{
    QTest::addColumn<QByteArray>("map");
    QTest::addColumn<QByteArray>("hits");       // gene hits as the homology source
    QTest::addColumn<QByteArray>("alignments"); // region alignments
    QTest::addColumn<int>("inverse");           // list index of a row reversed, or -1
    QTest::addColumn<QByteArray>("report");
    QTest::newRow("gene runs") << kRuns << QByteArray() << QByteArray() << -1
                               << Tabbed("A B 1 2800 101 3900 3 + \n"
                                         "A B 3001 5800 4101 6900 3 - \n");
    QTest::newRow("lower row reversed") << kRuns << QByteArray() << QByteArray() << 1
                                        << Tabbed("A B 1 2800 101 3900 3 - \n"
                                                  "A B 3001 5800 4101 6900 3 + \n");
    QTest::newRow("upper row reversed") << kRuns << QByteArray() << QByteArray() << 0
                                        << Tabbed("A B 3001 5800 4101 6900 3 + \n"
                                                  "A B 1 2800 101 3900 3 - \n");
    QTest::newRow("identities of gene hits")
        << Tabbed("A 1 800 1 a1\nA 1001 1800 1 a2\nA 2001 2800 1 a3\n"
                  "B 1 800 1 b1\nB 1001 1800 1 b2\nB 2001 2800 1 b3\n")
        << Tabbed("a1 b1 90.0 800 0 0 1 800 1 800 1e-50 500\n"
                  "a2 b2 95.0 800 0 0 1 800 1 800 1e-50 500\n"
                  "a3 b3 97.5 800 0 0 1 800 1 800 1e-50 500\n")
        << QByteArray() << -1 << Tabbed("A B 1 2800 1 2800 3 + 94.2\n");
    // Three stretches 20 kb apart at most, and one 30 kb further on.
    QTest::newRow("region alignments")
        << Tabbed("X 1 100 1 x1\nX 99901 100000 1 x2\nY 1 100 1 y1\nY 99901 100000 1 y2\n")
        << QByteArray()
        << Tabbed("X Y 90.0 1000 0 0 1001 2000 3001 4000 0 900\n"
                  "X Y 92.0 1000 0 0 22001 23000 24001 25000 0 900\n"
                  "X Y 94.0 1000 0 0 43001 44000 45001 46000 0 900\n"
                  "X Y 99.0 1000 0 0 74001 75000 76001 77000 0 900\n")
        << -1 << Tabbed("X Y 1001 44000 3001 46000 3 + 92.0\n");
}

void TestMapBlocks::report()
{
    QFETCH(QByteArray, map);
    QFETCH(QByteArray, hits);
    QFETCH(QByteArray, alignments);
    QFETCH(int, inverse);
    QFETCH(QByteArray, report);
    QTemporaryDir dir;
    const QString mapPath = dir.filePath(QStringLiteral("map.txt"));
    Write(mapPath, map);
    TChart chart;
    SetupMapChart(chart);
    TMapSession session;
    session.Wire(chart);
    QImage image(800, 300, QImage::Format_RGB32);
    chart.SetChartRect(image.rect());
    session.SetRepaint([&] {
        QPainter painter(&image);
        chart.Draw(painter, image.rect());
    });
    if (!hits.isEmpty()) {
        session.FHomology.Table = dir.filePath(QStringLiteral("hits.tsv"));
        Write(session.FHomology.Table, hits);
    }
    if (!alignments.isEmpty()) {
        session.FAlignmentPaths = {dir.filePath(QStringLiteral("aligned.tsv"))};
        Write(session.FAlignmentPaths.first(), alignments);
    }
    session.Open({mapPath});
    if (inverse >= 0)
        session.InverseChromosome(inverse);

    const std::vector<TSyntenyBlock> blocks =
        SyntenyBlocksOf(chart, session.FCatalogue, session.FRegionAlignments, TBlockOptions());
    QCOMPARE(BlockReportText(BlockReport(chart, session.FCatalogue, blocks)),
             QByteArray("upper\tlower\tupper start\tupper end\tlower start\tlower end\t"
                        "anchors\torientation\tmean identity\n") +
                 report);
    // The anchors are the ribbons between the block's rows.
    TRibbons ribbons;
    const std::vector<TRibbon> &all =
        ribbons.Of(chart, session.FCatalogue, session.FRegionAlignments);
    for (const TSyntenyBlock &block : blocks)
        for (const qint32 r : block.Anchors) {
            QCOMPARE(all.at(std::size_t(r)).Upper, block.Upper);
            QCOMPARE(all.at(std::size_t(r)).Lower, block.Lower);
        }
}

QTEST_MAIN(TestMapBlocks)
#include "tst_map_blocks.moc"
