// The exact texts of the chromosome, gene and item reports and of the gene list legend.
#include "core/Reports.h"

#include "HandCatalogue.h"

#include <QtTest>

#include <limits>

namespace {
const QString kHeader = QStringLiteral("Chromosome\tGene\tLength\tComment");
const QString kRuler = QStringLiteral("====================================");

// chr1 carries ABC twice, an unnamed record and a reversed bar; chr2 carries ABC once and a
// zero-length gene without comment. Gene list: "???", ABC, DEF, GHI.
TCatalogue ReportExample()
{
    return HandCatalogue({{"chr1",
                           {{"ABC", 100, 250, "FIRST"},
                            {"???", 300, 320, "NO NAME"},
                            {"ABC", 400, 410, "AGAIN"},
                            {"DEF", 900, 600, "REVERSED"}}},
                          {"Chr2", {{"GHI", 50, 50}, {"ABC", 10, 30, "OTHER"}}}});
}
} // namespace

class TestReports : public QObject
{
    Q_OBJECT
private slots:
    void recordLength_data();
    void recordLength();
    void chromosomeReport_data();
    void chromosomeReport();
    void geneReport_data();
    void geneReport();
    void geneReportFirstInList();
    void itemReport_data();
    void itemReport();
    void legend();
    void legendOneGene();
    void caption();
    void latin1Bytes();
    void emptyCatalogue();
    void overflowingLength();
    void reportsShowFileCoordinates();
};

void TestReports::recordLength_data()
{
    QTest::addColumn<qint32>("start");
    QTest::addColumn<qint32>("end");
    QTest::addColumn<qint32>("length");
    QTest::newRow("forward") << 100 << 250 << 150;
    QTest::newRow("start after end") << 900 << 600 << 300;
    QTest::newRow("start equals end") << 50 << 50 << 0;
    QTest::newRow("negative") << -20 << 10 << 30;
    QTest::newRow("full range") << 0 << std::numeric_limits<qint32>::max()
                                << std::numeric_limits<qint32>::max();
}

void TestReports::recordLength()
{
    QFETCH(qint32, start);
    QFETCH(qint32, end);
    QFETCH(qint32, length);
    tGene record;
    record.Start = start;
    record.End = end;
    QCOMPARE(RecordLength(record), length);
}

void TestReports::chromosomeReport_data()
{
    QTest::addColumn<qint32>("k");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("chr1") << 0
                          << QStringList{kHeader,
                                         kRuler,
                                         "chr1\tABC\t150\tFIRST",
                                         "chr1\t???\t20\tNO NAME",
                                         "chr1\tABC\t10\tAGAIN",
                                         "chr1\tDEF\t300\tREVERSED"};
    QTest::newRow("Chr2") << 1
                          << QStringList{kHeader, kRuler, "Chr2\tGHI\t0\t", "Chr2\tABC\t20\tOTHER"};
}

void TestReports::chromosomeReport()
{
    QFETCH(qint32, k);
    QFETCH(QStringList, lines);
    QCOMPARE(ChromosomeReport(ReportExample(), k), lines);
}

void TestReports::geneReport_data()
{
    QTest::addColumn<QByteArray>("gene");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("repeated gene, first of each row")
        << QByteArray("ABC")
        << QStringList{kHeader, kRuler, "chr1\tABC\t150\tFIRST", "Chr2\tABC\t20\tOTHER"};
    QTest::newRow("one row") << QByteArray("DEF")
                             << QStringList{kHeader, kRuler, "chr1\tDEF\t300\tREVERSED"};
    QTest::newRow("empty comment")
        << QByteArray("GHI") << QStringList{kHeader, kRuler, "Chr2\tGHI\t0\t"};
}

void TestReports::geneReport()
{
    QFETCH(QByteArray, gene);
    QFETCH(QStringList, lines);
    const TCatalogue catalogue = ReportExample();
    const auto it = std::find(catalogue.FGeneNames.begin(), catalogue.FGeneNames.end(), gene);
    QVERIFY(it != catalogue.FGeneNames.end());
    QCOMPARE(GeneReport(catalogue, qint32(it - catalogue.FGeneNames.begin())), lines);
}

// Index 0 is shared by the gene at list position 0, unnamed records and repeats: the report of
// that gene still lists only its own first occurrence on each row.
void TestReports::geneReportFirstInList()
{
    const TCatalogue catalogue =
        HandCatalogue({{"c1", {{"10", 5, 9, "X"}, {"???", 1, 2}, {"B", 3, 4}, {"B", 7, 8}}},
                       {"c2", {{"B", 1, 3}, {"10", 20, 10}, {"10", 40, 41}}},
                       {"c3", {{"B", 1, 3}}}});
    QCOMPARE(catalogue.FGeneNames.front(), QByteArray("10"));
    QCOMPARE(GeneReport(catalogue, 0),
             (QStringList{kHeader, kRuler, "c1\t10\t4\tX", "c2\t10\t10\t"}));
    // The placeholder gets its first record of each row too.
    QCOMPARE(GeneReport(catalogue, 1), (QStringList{kHeader, kRuler, "c1\t???\t1\t"}));
}

void TestReports::itemReport_data()
{
    QTest::addColumn<qint32>("chromosome");
    QTest::addColumn<qint32>("record");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("named") << 0 << 0
                           << QStringList{"Name:\tABC", "Length:\t150", "Comments:\tFIRST"};
    QTest::newRow("reversed bar") << 0 << 3
                                  << QStringList{"Name:\tDEF", "Length:\t300",
                                                 "Comments:\tREVERSED"};
    QTest::newRow("empty comment")
        << 1 << 0 << QStringList{"Name:\tGHI", "Length:\t0", "Comments:\t"};
    QTest::newRow("unnamed") << 0 << 1
                             << QStringList{"Name:\t???", "Length:\t20", "Comments:\tNO NAME"};
}

void TestReports::itemReport()
{
    QFETCH(qint32, chromosome);
    QFETCH(qint32, record);
    QFETCH(QStringList, lines);
    QCOMPARE(ItemReport(ReportExample(), chromosome, record), lines);
}

void TestReports::legend()
{
    QCOMPARE(LegendLines(ReportExample()), (QStringList{"1: ABC", "2: DEF", "3: GHI"}));
}

// Every gene but "???", also gene 0 when "???" sorts after it or is missing.
void TestReports::legendOneGene()
{
    QVERIFY(LegendLines(HandCatalogue({{"c1", {{"???", 1, 2}}}})).isEmpty());
    QCOMPARE(LegendLines(HandCatalogue({{"c1", {{"A", 1, 2}}}})), QStringList{"0: A"});
    QCOMPARE(LegendLines(HandCatalogue({{"c1", {{"???", 1, 2}, {"10", 3, 4}, {"A", 5, 6}}}})),
             (QStringList{"0: 10", "2: A"}));
    QVERIFY(LegendLines(TCatalogue()).isEmpty());
}

void TestReports::caption()
{
    QCOMPARE(InfoCaption("chr1"), QStringLiteral("Info for chr1"));
}

// Names that are not UTF-8 still show every byte.
void TestReports::latin1Bytes()
{
    const TCatalogue catalogue = HandCatalogue({{"chr\xE9", {{"G\xC9NE", 1, 3, "\xC0"}}}});
    QCOMPARE(ChromosomeReport(catalogue, 0).last(),
             QStringLiteral("chr\u00E9\tG\u00C9NE\t2\t\u00C0"));
    QCOMPARE(InfoCaption("chr\xE9"), QStringLiteral("Info for chr\u00E9"));
}

void TestReports::emptyCatalogue()
{
    const TCatalogue empty;
    QVERIFY_THROWS_EXCEPTION(ERangeError, ChromosomeReport(empty, 0));
    QVERIFY_THROWS_EXCEPTION(ERangeError, GeneReport(empty, 0));
    QVERIFY_THROWS_EXCEPTION(ERangeError, ItemReport(empty, 0, 0));
    const TCatalogue catalogue = ReportExample();
    QVERIFY_THROWS_EXCEPTION(ERangeError, ChromosomeReport(catalogue, 2));
    QVERIFY_THROWS_EXCEPTION(ERangeError, ChromosomeReport(catalogue, -1));
    QVERIFY_THROWS_EXCEPTION(ERangeError, GeneReport(catalogue, 4));
    QVERIFY_THROWS_EXCEPTION(ERangeError, ItemReport(catalogue, 1, 2));
}

void TestReports::overflowingLength()
{
    const qint32 kMin = std::numeric_limits<qint32>::min();
    const qint32 kMax = std::numeric_limits<qint32>::max();
    const TCatalogue catalogue =
        HandCatalogue({{"c1", {{"A", 0, 10}, {"B", -10, kMax}}}, {"c2", {{"B", 0, kMin}}}});
    QVERIFY_THROWS_EXCEPTION(EIntOverflow, ChromosomeReport(catalogue, 0));
    QVERIFY_THROWS_EXCEPTION(EIntOverflow, ChromosomeReport(catalogue, 1)); // |kMin| too
    QVERIFY_THROWS_EXCEPTION(EIntOverflow, GeneReport(catalogue, 1));
    QVERIFY_THROWS_EXCEPTION(EIntOverflow, ItemReport(catalogue, 0, 1));
    QCOMPARE(ItemReport(catalogue, 0, 0).at(1), QStringLiteral("Length:\t10"));
}

void TestReports::reportsShowFileCoordinates()
{
    TCatalogue catalogue = ReportExample();
    const QStringList before = ChromosomeReport(catalogue, 0);
    catalogue.FChromosomes[0].Inverted = true;
    catalogue.FChromosomes[0].Offset = 12345;
    QCOMPARE(ChromosomeReport(catalogue, 0), before);
}

QTEST_GUILESS_MAIN(TestReports)
#include "tst_core_reports.moc"
