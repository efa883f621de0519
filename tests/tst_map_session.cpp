// The windowless map session: a load replaces the catalogue and checks everything, a failed one
// leaves the whole session as it was, and the rebuild cycle draws the connectors only in its
// second paint, also drawing them again after a rebuild that failed; the region alignments
// follow every load and reordering, and a failed command keeps them. "Order rows" against every
// order of five rows, and past ten rows its search on chains whose best order is known and
// against the best of all orders.
#include "MapFixtures.h"
#include "chart/ChartGeometry.h"
#include "core/ChildProgram.h"
#include "core/MapOperations.h"
#include "map/MapSession.h"
#include "map/RowOrder.h"

#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>
#include <numeric>

Q_DECLARE_METATYPE(std::vector<bool>)

namespace {
const QRect kRect(0, 0, 640, 300);

// Chromosome A with genes g1 and g2, chromosome B with g2: one connector.
const QByteArray kTwoRows = "A\t10\t100\t1\tg1\n"
                            "A\t200\t300\t1\tg2\n"
                            "B\t50\t150\t-1\tg2\n";

std::vector<QByteArray> Names(const tVectorOfString &names)
{
    return std::vector<QByteArray>(names.begin(), names.end());
}

// Rows of genes "g<k>" in the given orders, 10 units apart, row r named "c<r>".
TCatalogue RowsOfGenes(const std::vector<std::vector<int>> &orders)
{
    std::vector<tGene> records;
    for (std::size_t r = 0; r < orders.size(); ++r)
        for (std::size_t k = 0; k < orders[r].size(); ++k) {
            const QByteArray c = "c" + QByteArray::number(qulonglong(r));
            const QByteArray g = "g" + QByteArray::number(orders[r][k]);
            records.push_back({c, 0, 0, qint32(k) * 10, qint32(k) * 10 + 5, 1, -1, g, {}});
        }
    return CatalogueFromRecords(std::move(records));
}

// Rows of three quarters as many records as genes, each of a random gene, a third turned round;
// repeats: gene "genes" ten times more on each, whose links the counting takes as a product of
// two lists; alike: every row the first.
TCatalogue RandomMap(quint32 seed, int rows, int genes, bool repeats = false, bool alike = false)
{
    QRandomGenerator random(seed);
    std::vector<std::vector<int>> orders(static_cast<std::size_t>(rows));
    for (std::vector<int> &order : orders) {
        for (int k = 0; k < genes * 3 / 4; ++k)
            order.push_back(int(random.bounded(genes)));
        order.insert(order.end(), repeats ? 10 : 0, genes);
        std::shuffle(order.begin(), order.end(), random);
        order = alike ? orders.front() : order;
    }
    TCatalogue catalogue = RowsOfGenes(orders);
    for (ChromosomeView &view : catalogue.FChromosomes)
        view.Inverted = !alike && random.bounded(3) == 0;
    return catalogue;
}

// The catalogue's rows on a map chart.
void Show(TChart &chart, const TCatalogue &catalogue)
{
    SetupMapChart(chart);
    TMapFixture(catalogue).Rebuild(chart);
}

// A chain of rows, row r with the last gene of each of the first r blocks moved before its block:
// rows p and q cross as often as the blocks between them are wide. Chain row r is list item
// listed[r].
std::vector<std::vector<int>> BlockChain(const std::vector<qint32> &listed, tCrossings &best)
{
    std::vector<int> order((listed.size() / 4 + 1) * 14);
    std::iota(order.begin(), order.end(), 0);
    std::vector<std::vector<int>> rows(listed.size());
    for (std::size_t r = 0, start = 0; r < listed.size(); ++r) {
        rows[std::size_t(listed[r])] = order;
        const std::size_t width = 1 + r % 4;
        best += r + 1 < listed.size() ? tCrossings(width) : 0;
        std::rotate(order.begin() + qsizetype(start), order.begin() + qsizetype(start + width),
                    order.begin() + qsizetype(start + width + 1));
        start += width + 1;
    }
    return rows;
}
} // namespace

// A session wired to a chart that repaints into a picture, as a program without a window has.
struct TDrawnSession
{
    TMapSession Session;
    TChart Chart;
    QImage Screen{kRect.size(), QImage::Format_RGB32};
    QPainter Painter{&Screen};
    TDrawnSession()
    {
        SetupMapChart(Chart);
        Session.Wire(Chart);
        Session.SetRepaint([this] { Chart.Draw(Painter, kRect); });
    }
};

class TestMapSession : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString Write(const QString &name, const QByteArray &text)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void loadChecksEverything_data()
    {
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<QList<QByteArray>>("chromosomes");
        QTest::addColumn<int>("genes");
        QTest::newRow("same file again") << kTwoRows << QList<QByteArray>{"A", "B"} << 2;
        QTest::newRow("fewer chromosomes")
            << QByteArray("C\t1\t9\t1\tg1\n") << QList<QByteArray>{"C"} << 1;
        QTest::newRow("more of both") << QByteArray("A\t1\t9\t1\tx\nB\t1\t9\t1\ty\nC\t1\t9\t1\tz\n")
                                      << QList<QByteArray>{"A", "B", "C"} << 3;
    }
    // Unchecked items of the first file must not carry over into the second, whatever its size.
    void loadChecksEverything()
    {
        QFETCH(QByteArray, second);
        QFETCH(QList<QByteArray>, chromosomes);
        QFETCH(int, genes);
        TMapSession session;
        session.Load({Write(QStringLiteral("first.txt"), kTwoRows)});
        session.ChromosomeChecked[1] = false;
        session.GeneChecked[0] = false;

        session.Load({Write(QStringLiteral("second.txt"), second)});
        QCOMPARE(Names(session.FCatalogue.FChromosomeNames),
                 std::vector<QByteArray>(chromosomes.begin(), chromosomes.end()));
        QCOMPARE(session.FCatalogue.FGeneNames.size(), std::size_t(genes));
        QCOMPARE(session.ChromosomeChecked, std::vector<bool>(chromosomes.size(), true));
        QCOMPARE(session.GeneChecked, std::vector<bool>(std::size_t(genes), true));
    }

    void checkNoneKeepsOnlyUnknown_data()
    {
        QTest::addColumn<QList<QByteArray>>("names"); // sorted: 10, ???, AAA, BBB
        QTest::addColumn<std::vector<bool>>("checked");
        QTest::newRow("??? is gene 0")
            << QList<QByteArray>{"AAA", "???", "BBB"} << std::vector<bool>{true, false, false};
        QTest::newRow("??? after 10")
            << QList<QByteArray>{"AAA", "???", "10"} << std::vector<bool>{false, true, false};
        QTest::newRow("no ???") << QList<QByteArray>{"AAA", "10"}
                                << std::vector<bool>{false, false};
    }
    void checkNoneKeepsOnlyUnknown()
    {
        QFETCH(QList<QByteArray>, names);
        QFETCH(std::vector<bool>, checked);
        std::vector<TRecordSpec> records;
        for (const QByteArray &name : names)
            records.push_back({1, 2, name.constData()});
        TMapSession session;
        TChart chart;
        SetupMapChart(chart);
        session.Wire(chart);
        session.Install(MakeCatalogue({{"A", records}}));
        session.CheckAllGenes(false);
        QCOMPARE(session.GeneChecked, checked);
    }

    void failedLoadKeepsSession_data()
    {
        QTest::addColumn<QByteArray>("text"); // empty: no such file
        QTest::newRow("no such file") << QByteArray();
        QTest::newRow("start not a number") << QByteArray("A\t10\t100\t1\tg1\nA\tten\t20\t1\tg2\n");
        QTest::newRow("end out of range") << QByteArray("A\t10\t99999999999\t1\tg1\n");
    }
    // The catalogue, both lists' check marks and the drawn map stay those of the first file.
    void failedLoadKeepsSession()
    {
        QFETCH(QByteArray, text);
        TMapSession session;
        TChart chart;
        SetupMapChart(chart);
        session.Wire(chart);
        session.Load({Write(QStringLiteral("good.txt"), kTwoRows)});
        session.ChromosomeChecked[0] = false;
        QImage screen(kRect.size(), QImage::Format_RGB32);
        QPainter painter(&screen);
        session.RebuildCycle(chart, painter, kRect);
        const std::vector<QByteArray> chromosomes = Names(session.FCatalogue.FChromosomeNames);
        const std::vector<QByteArray> genes = Names(session.FCatalogue.FGeneNames);
        const qint32 records = session.FCatalogue.FRecordCount;
        const std::vector<bool> geneChecks = session.GeneChecked;

        const QString bad = text.isEmpty() ? m_dir.filePath(QStringLiteral("missing.txt"))
                                           : Write(QStringLiteral("bad.txt"), text);
        QVERIFY_THROWS_EXCEPTION(Exception, session.Load({bad}));
        QCOMPARE(Names(session.FCatalogue.FChromosomeNames), chromosomes);
        QCOMPARE(Names(session.FCatalogue.FGeneNames), genes);
        QCOMPARE(session.FCatalogue.FRecordCount, records);
        QCOMPARE(session.ChromosomeChecked, (std::vector<bool>{false, true}));
        QCOMPARE(session.GeneChecked, geneChecks);
        // Still drawable as it was: one row, chromosome B.
        session.RebuildCycle(chart, painter, kRect);
        QCOMPARE(chart.SeriesCount() - 1, 1);
        QCOMPARE(chart.Series(1).Tag, 1);
    }

    void alignmentsFollowTheRows_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("expected"); // the rows, then the first hit's two rows
        QTest::newRow("broken alignments") << "set broken"
                                           << "A,B 0>1";
        QTest::newRow("a load with the rows the other way") << "open swapped"
                                                            << "B,A 1>0";
        QTest::newRow("the hits broken before a load") << "open broken"
                                                       << "A,B 0>1";
        QTest::newRow("rows reordered") << "order"
                                        << "B,A 1>0";
    }
    // A is the query: the hits are matched again against each load's rows.
    void alignmentsFollowTheRows()
    {
        QFETCH(QString, command);
        QFETCH(QString, expected);
        TDrawnSession drawn;
        TMapSession &session = drawn.Session;
        session.Open({Write(QStringLiteral("rows.txt"), kTwoRows)});
        const QString hits =
            Write(QStringLiteral("hits.tsv"), "A\tB\t90\t50\t0\t0\t10\t59\t50\t99\t0\t9\n");
        session.SetAlignments({hits}, {});
        const QString swapped = Write(QStringLiteral("swapped.txt"), "B\t1\t9\t1\tg2\n" + kTwoRows);
        try {
            if (command == "set broken")
                session.SetAlignments({hits, Write(QStringLiteral("broken.tsv"), "A\tB\n")}, {});
            if (command == "open broken")
                Write(QStringLiteral("hits.tsv"), "A\tB\n");
            if (command.startsWith("open"))
                session.Open({swapped});
            if (command == "order")
                session.OrderRows({1});
            QVERIFY(!command.endsWith("broken"));
        } catch (const EAlignmentError &) {
            QVERIFY(command.endsWith("broken"));
        }
        QCOMPARE(session.FAlignmentPaths, QStringList{hits});
        QCOMPARE(session.FRegionAlignments.size(), std::size_t(1));
        const TRegionAlignment &a = session.FRegionAlignments.front();
        QCOMPARE(QString(session.FCatalogue.FChromosomeNames[0] + ',' +
                         session.FCatalogue.FChromosomeNames[1]) +
                     QStringLiteral(" %1>%2").arg(a.ChromosomeA).arg(a.ChromosomeB),
                 expected);
        QCOMPARE(session.FAlignmentReport.Kept, qint64(1));
    }

    void cancelledCommandLeavesTheMap_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("step");
        QTest::newRow("checks, once rebuilt") << "checks" << 0;
        QTest::newRow("checks, once painted") << "checks" << 1;
        QTest::newRow("reverse") << "reverse" << 0;
        QTest::newRow("disentangle") << "disentangle" << 1;
    }
    // Cancel (from the window's progress line) stops a command at its next step: the map goes
    // back to what it showed, and the cycle that draws it again runs to its end.
    void cancelledCommandLeavesTheMap()
    {
        QFETCH(QString, command);
        QFETCH(int, step);
        TDrawnSession drawn;
        TMapSession &session = drawn.Session;
        TChart &chart = drawn.Chart;
        session.Open({Write(QStringLiteral("rows.txt"), kTwoRows)});
        const std::vector<bool> checks = session.ChromosomeChecked;
        const bool inverted = session.FCatalogue.FChromosomes[0].Inverted;
        int steps = 0;
        session.SetCycleObserver([&](TMapSession::CycleStep) {
            if (steps++ == step)
                session.CancelLoad();
        });
        std::vector<bool> fewer = checks;
        fewer[1] = false;
        QVERIFY_THROWS_EXCEPTION(ECancelled, [&] {
            if (command == "checks")
                session.SetChecks(fewer, session.GeneChecked);
            else if (command == "reverse")
                session.InverseChromosome(0);
            else
                session.Disentangle();
        }());
        QCOMPARE(session.ChromosomeChecked, checks);
        QCOMPARE(session.ShownChromosomes(), checks);
        QCOMPARE(session.FCatalogue.FChromosomes[0].Inverted, inverted);
        QCOMPARE(chart.SeriesCount() - 1, 2);
        QVERIFY(!session.FSkipConnectors);
        // The rollback drew the map again: its own steps came after the cancelled one.
        QVERIFY(steps > step + 1);
    }

    void connectorsInSecondPaint_data()
    {
        QTest::addColumn<bool>("linkGenes");
        QTest::newRow("connectors on") << true;
        QTest::newRow("connectors off") << false;
    }
    // The first paint places the labels; connectors drawn then would join stale places.
    void connectorsInSecondPaint()
    {
        QFETCH(bool, linkGenes);
        TMapSession session;
        session.Install(MakeCatalogue({{"A", {{10, 100, "g1"}, {200, 300, "g2"}}},
                                       {"B", {{50, 150, "g2"}}},
                                       {"C", {{5, 50, "g3"}}}}));
        session.ChromosomeChecked[2] = false;
        session.View.LinkGenes = linkGenes;
        int drawn = 0;
        session.ConnectorDrawer = [&drawn](TChart &, TCanvas &) { ++drawn; };
        TChart chart;
        SetupMapChart(chart);
        session.Wire(chart);
        QImage screen(kRect.size(), QImage::Format_RGB32);
        QPainter painter(&screen);
        std::vector<int> drawnAfter;
        session.RebuildCycle(chart, painter, kRect,
                             [&](TMapSession::CycleStep) { drawnAfter.push_back(drawn); });
        QCOMPARE(drawnAfter.size(), std::size_t(3));
        QCOMPARE(drawnAfter[0], 0);
        QCOMPARE(drawnAfter[1], 0);
        QCOMPARE(drawnAfter[2] > 0, linkGenes);
        QVERIFY(!session.FSkipConnectors);
        QCOMPARE(chart.SeriesCount() - 1, 2);
    }

    // A rebuild that fails must not leave the connectors switched off for what draws next.
    void failedRebuildDrawsConnectorsAgain()
    {
        TMapSession session;
        session.Install(MakeCatalogue({{"A", {{10, 100, "g1"}}}, {"B", {{50, 150, "g1"}}}}));
        int drawn = 0;
        session.ConnectorDrawer = [&drawn](TChart &, TCanvas &) { ++drawn; };
        TChart chart;
        SetupMapChart(chart);
        session.Wire(chart);
        QImage screen(kRect.size(), QImage::Format_RGB32);
        QPainter painter(&screen);
        session.RebuildCycle(chart, painter, kRect);

        session.FCatalogue.FChromosomes[1].Offset = std::numeric_limits<qint32>::max() - 100;
        QVERIFY_THROWS_EXCEPTION(EIntOverflow, session.RebuildCycle(chart, painter, kRect));
        QVERIFY(!session.FSkipConnectors);
        drawn = 0;
        chart.Draw(painter, kRect);
        QVERIFY(drawn > 0);
    }

    // The labels a figure leaves out stay out through every rebuild, and their points keep
    // their connectors; the others and "???" stay as the plan has them.
    void labelsLeftOutKeepTheirConnectors()
    {
        TMapSession session;
        session.Install(
            MakeCatalogue({{"A", {{10, 100, "g1"}, {200, 300, "???"}}}, {"B", {{50, 150, "g1"}}}}));
        TChart chart;
        SetupMapChart(chart);
        session.Wire(chart);
        QImage screen(kRect.size(), QImage::Format_RGB32);
        QPainter painter(&screen);
        session.SetLabelPlan({}, {{}, {}, {true}});
        for (int cycle = 0; cycle < 2; ++cycle) {
            session.RebuildCycle(chart, painter, kRect);
            QCOMPARE(chart.Series(1).LabelPlan()->Shown, std::vector<char>({1, 0}));
            QCOMPARE(chart.Series(2).LabelPlan()->Shown, std::vector<char>({0}));
            QCOMPARE(chart.Series(2).Position(0)->LabelTop, kLabelOutOfSight);
        }
        TConnectorEnds ends;
        QCOMPARE(
            ends.Of(chart)[std::size_t(chart.Series(1).Count())],
            TArrowSeries::PlannedLeaderEnd(
                chart.ValueToPixel(chart.BottomAxis, 100),
                chart.Series(2).LabelAnchor(chart.Geometry(), chart.LabelHeight(chart.Series(2)))));
    }

    void everyOrderOfFiveRows_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<bool>("repeats");
        QTest::addColumn<bool>("alike");
        QTest::addColumn<int>("hidden"); // the unchecked item, which keeps its place
        for (quint32 seed = 1; seed <= 6; ++seed)
            QTest::addRow("seed %u", seed) << seed << false << false << int(seed % 6);
        QTest::newRow("repeated names") << 7u << true << false << 0;
        QTest::newRow("rows alike: list order") << 9u << false << true << 2;
    }
    // The session's order is the first in list order of those with the fewest crossings the row
    // report finds.
    void everyOrderOfFiveRows()
    {
        QFETCH(quint32, seed);
        QFETCH(bool, repeats);
        QFETCH(bool, alike);
        QFETCH(int, hidden);
        const TCatalogue catalogue = RandomMap(seed, 6, 8, repeats, alike);
        TChart chart;
        SetupMapChart(chart);
        std::vector<qint32> shown{0, 1, 2, 3, 4, 5};
        shown.erase(shown.begin() + hidden);
        std::vector<qint32> permutation = shown;
        std::vector<qint32> bestItems;
        tCrossings best = 0;
        tCrossings listOrder = 0;
        do {
            std::vector<qint32> items{0, 1, 2, 3, 4, 5};
            for (std::size_t k = 0; k < shown.size(); ++k)
                items[std::size_t(shown[k])] = permutation[k];
            TMapFixture map(catalogue);
            OrderChromosomes(map.Catalogue, items);
            for (std::size_t i = 0; i < items.size(); ++i)
                map.ChromosomeChecked[i] = items[i] != hidden;
            map.Rebuild(chart);
            const tCrossings sum = TotalConnectorCrossings(chart);
            if (bestItems.empty() || sum < best) {
                best = sum;
                bestItems = items;
            }
            if (permutation == shown)
                listOrder = sum;
        } while (std::next_permutation(permutation.begin(), permutation.end()));

        TMapSession session;
        session.Install(catalogue);
        session.ChromosomeChecked[std::size_t(hidden)] = false;
        session.Wire(chart);
        QImage screen(320, 200, QImage::Format_RGB32);
        QPainter painter(&screen);
        session.SetRepaint([&] { chart.Draw(painter, screen.rect()); });
        session.Redraw();
        const TRowOrderReport report = session.OrderRowsAuto();
        QCOMPARE(report.Items, bestItems);
        QCOMPARE(CrossingsText(report.Before), CrossingsText(listOrder));
        QCOMPARE(CrossingsText(report.After), CrossingsText(best));
    }

    void chainPastTenRows_data()
    {
        QTest::addColumn<int>("rows");
        for (const int rows : {11, 16, 30, 60})
            QTest::addRow("%d rows", rows) << rows;
    }
    // The chain is the one best order, its sum the widths of the blocks: the search must find it
    // whatever the list order.
    void chainPastTenRows()
    {
        QFETCH(int, rows);
        std::vector<qint32> listed(static_cast<std::size_t>(rows));
        std::iota(listed.begin(), listed.end(), 0);
        QRandomGenerator random(static_cast<quint32>(rows));
        std::shuffle(listed.begin(), listed.end(), random);
        tCrossings best = 0;
        const TCatalogue catalogue = RowsOfGenes(BlockChain(listed, best));
        TChart chart;
        Show(chart, catalogue);
        const TRowOrder order = FewestCrossingsOrder(catalogue, chart);
        QCOMPARE(CrossingsText(order.Crossings), CrossingsText(best));
        // The chain read from the end listed first.
        if (listed.back() < listed.front())
            std::reverse(listed.begin(), listed.end());
        QCOMPARE(order.Items, listed);
    }

    // On 12 to 14 rows of random genes the search finds a best order.
    void searchAgainstBestOfAll()
    {
        for (int round = 0; round < 30; ++round) {
            TChart chart;
            Show(chart, RandomMap(quint32(round), 12 + round % 3, 40));
            const TCrossingMatrix m = PairwiseCrossings(chart);
            QCOMPARE(CrossingsText(PathCrossings(m, LeastCrossingOrder(m))),
                     CrossingsText(PathCrossings(m, LeastCrossingOrder(m, m.Rows))));
        }
    }

    // Past the rows it orders, the command refuses before any work.
    void tooManyRows()
    {
        TChart chart;
        Show(chart, RowsOfGenes(std::vector<std::vector<int>>(1001, {0})));
        QVERIFY_THROWS_EXCEPTION(ERowOrderError, FewestCrossingsOrder(TCatalogue(), chart));
    }
};

QTEST_MAIN(TestMapSession)
#include "tst_map_session.moc"
