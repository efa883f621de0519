// Disentangling, reversing and aligning chromosomes, and finding the record under a map position.
#include "core/MapOperations.h"
#include "core/Regions.h"

#include "HandCatalogue.h"

#include <QtTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(tVectorOfDouble)
Q_DECLARE_METATYPE(std::vector<bool>)

constexpr qint32 kMin = std::numeric_limits<qint32>::min();
constexpr qint32 kMax = std::numeric_limits<qint32>::max();

namespace {
std::vector<bool> Flags(const TCatalogue &catalogue)
{
    std::vector<bool> flags;
    for (const ChromosomeView &view : catalogue.FChromosomes)
        flags.push_back(view.Inverted);
    return flags;
}

// Three chromosomes carrying A, B, C; none carries D.
TCatalogue FourGeneExample()
{
    return HandCatalogue({{"c1", {{"A", 100, 150}, {"B", 200, 250}, {"C", 300, 350}}},
                          {"c2", {{"A", 300, 350}, {"B", 200, 250}, {"C", 100, 150}}},
                          {"c3", {{"A", 500, 550}, {"B", 400, 450}, {"C", 300, 350}}}},
                         {"D"});
}

// One chromosome a string of "gene start" pairs, each record 10 long.
TCatalogue Rows(const QList<QByteArray> &rows)
{
    std::vector<THandRow> hand;
    for (const QByteArray &row : rows) {
        hand.push_back({"c" + QByteArray::number(hand.size()), {}});
        const QList<QByteArray> words = row.split(' ');
        for (qsizetype i = 0; i + 1 < words.size(); i += 2)
            hand.back().Records.push_back(
                {words[i], words[i + 1].toInt(), words[i + 1].toInt() + 10});
    }
    return HandCatalogue(hand);
}

// Rows of the align example: A runs 1000..9000 with gene G at 5000, B runs 0..8000 with G at 2000
// and is drawn inverted; a third row does not carry G.
TCatalogue AlignExample()
{
    TCatalogue catalogue =
        HandCatalogue({{"A", {{"X", 1000, 2000}, {"G", 5000, 6000}, {"Y", 8000, 9000}}},
                       {"B", {{"Z", 0, 1000}, {"G", 2000, 3000}, {"W", 7000, 8000}}},
                       {"C", {{"X", 10, 20}}}});
    catalogue.FChromosomes[1].Inverted = true;
    return catalogue;
}

qint32 GeneIndexOf(const TCatalogue &catalogue, const QByteArray &name)
{
    for (std::size_t g = 0; g < catalogue.FGeneNames.size(); ++g)
        if (catalogue.FGeneNames[g] == name)
            return qint32(g);
    return -1;
}

// Drawn position of coordinate c on row r.
qint32 Drawn(const TCatalogue &catalogue, qint32 r, qint32 c)
{
    const ChromosomeView &view = catalogue.FChromosomes[std::size_t(r)];
    return view.Inverted ? -(c + view.Offset) : c + view.Offset;
}
} // namespace

class TestOperations : public QObject
{
    Q_OBJECT
private slots:
    void genePositionsRules();
    void linkCoefficients_data();
    void linkCoefficients();
    void disentangleExample();
    void disentangleTwice();
    void disentangleNoChromosome();
    void disentangleFailureKeepsFlags();
    void disentangleLoadedFile();

    void inverseChromosome();

    void recordAtPosition_data();
    void recordAtPosition();
    void recordAtPositionOverflow();

    void mapItemActions_data();
    void mapItemActions();

    void alignExample();
    void alignFirstRecordOfRow();
    void recordAtPositionPrefersGenes();
    void regionsCutRecords_data();
    void regionsCutRecords();
    void alignOverflowChangesNoOffset();
    void shiftOverflowChangesNoOffset();
};

// Each gene at its first record on the row: the repeat of A and the "???" record are left out,
// a negative start and a start at 0 are positions like any other.
void TestOperations::genePositionsRules()
{
    const TCatalogue catalogue = Rows({"A 100 B -50 ??? 5 C 0 A 700 D 300"});
    QList<QPair<qint32, double>> positions;
    for (const TGenePosition &p : GenePositions(catalogue, 0))
        positions << qMakePair(p.Gene, p.Start);
    // Gene 0 is "???": A is 1.
    QCOMPARE(positions, (QList<QPair<qint32, double>>{{1, 100}, {2, -50}, {3, 0}, {4, 300}}));
    QVERIFY_THROWS_EXCEPTION(ERangeError, GenePositions(catalogue, 1));
}

void TestOperations::linkCoefficients_data()
{
    QTest::addColumn<QList<QByteArray>>("rows");
    QTest::addColumn<tVectorOfDouble>("rs"); // from the second row on
    QTest::addColumn<std::vector<bool>>("inverted");
    QTest::newRow("worked example, D on none but the fourth")
        << QList<QByteArray>{"A 100 B 200 C 300", "A 300 B 200 C 100", "A 500 B 400 C 300", "D 10"}
        << tVectorOfDouble{-1, 1, 0} << std::vector<bool>{false, true, true, true};
    QTest::newRow("one chromosome")
        << QList<QByteArray>{"A 300 B 100"} << tVectorOfDouble{} << std::vector<bool>{false};
    QTest::newRow("judged against the list neighbour, not the row two above")
        << QList<QByteArray>{"A 100 B 200", "A 100 B 200 C 400 D 300", "C 100 D 200"}
        << tVectorOfDouble{1, -1} << std::vector<bool>{false, false, true};
    QTest::newRow("no gene shared keeps a turned row's orientation")
        << QList<QByteArray>{"A 200 B 100", "A 100 B 200", "C 100 D 200"} << tVectorOfDouble{-1, 0}
        << std::vector<bool>{false, true, true};
    QTest::newRow("same order among unshared genes")
        << QList<QByteArray>{"G1 100 G2 300 X1 400 X2 500", "Y1 100 Y2 300 G1 500 G2 700"}
        << tVectorOfDouble{1} << std::vector<bool>{false, false};
    QTest::newRow("reversed pair among unshared genes")
        << QList<QByteArray>{"G1 100 G2 300 X1 400 X2 500", "Y1 100 Y2 300 G1 700 G2 500"}
        << tVectorOfDouble{-1} << std::vector<bool>{false, true};
    QTest::newRow("one gene shared")
        << QList<QByteArray>{"A 100 B 300", "B 100 C 300", "C 900", "C 50"}
        << tVectorOfDouble{0, 0, 0} << std::vector<bool>{false, false, false, false};
    // Gene 0 is 10; the repeat of 30 and the "???" record carry index 0 too.
    QTest::newRow("gene 0 named, repeats and ??? not its position")
        << QList<QByteArray>{"10 100 20 200 30 300", "10 100 20 200 30 300 30 900 ??? 950"}
        << tVectorOfDouble{1} << std::vector<bool>{false, false};
}

// Every row turned by hand before: Disentangle discards that.
void TestOperations::linkCoefficients()
{
    QFETCH(QList<QByteArray>, rows);
    QFETCH(tVectorOfDouble, rs);
    QFETCH(std::vector<bool>, inverted);
    TCatalogue catalogue = Rows(rows);
    const tVectorOfDouble found = LinkCoefficients(catalogue);
    QCOMPARE(found.size(), rs.size() + 1);
    QVERIFY(std::isnan(found[0]));
    for (std::size_t i = 0; i < rs.size(); ++i)
        QVERIFY2(qAbs(found[i + 1] - rs[i]) < 1e-12 && (rs[i] != 0 || found[i + 1] == 0),
                 qPrintable(QString::number(found[i + 1])));
    for (ChromosomeView &view : catalogue.FChromosomes)
        view.Inverted = true;
    Disentangle(catalogue);
    QCOMPARE(Flags(catalogue), inverted);
}

void TestOperations::disentangleExample()
{
    TCatalogue catalogue = FourGeneExample();
    Disentangle(catalogue);
    QCOMPARE(Flags(catalogue), std::vector<bool>({false, true, true}));
    // Only the orientation changes.
    QCOMPARE(catalogue.FChromosomes[1].Offset, -100);
    QCOMPARE(catalogue.FRecords[1][0].Start, 300);
}

void TestOperations::disentangleTwice()
{
    TCatalogue catalogue = FourGeneExample();
    catalogue.FChromosomes[0].Inverted = true; // turned by hand before
    catalogue.FChromosomes[2].Inverted = false;
    Disentangle(catalogue);
    const std::vector<bool> first = Flags(catalogue);
    QCOMPARE(first, std::vector<bool>({false, true, true}));
    Disentangle(catalogue);
    QCOMPARE(Flags(catalogue), first);
}

void TestOperations::disentangleNoChromosome()
{
    TCatalogue catalogue;
    Disentangle(catalogue);
    QVERIFY(catalogue.FChromosomes.empty());
}

void TestOperations::disentangleFailureKeepsFlags()
{
    TCatalogue catalogue = FourGeneExample();
    catalogue.FChromosomes[0].Inverted = true;
    catalogue.FRecords[2][1].GeneIndex = 4; // beyond the gene list
    QVERIFY_THROWS_EXCEPTION(ERangeError, Disentangle(catalogue));
    QCOMPARE(Flags(catalogue), std::vector<bool>({true, false, false}));
}

// The same example read from coordinate text through the catalogue steps.
void TestOperations::disentangleLoadedFile()
{
    const QByteArray text = "c1\t100\t150\t1\tA\n"
                            "c2\t300\t350\t1\tA\n"
                            "c1\t200\t250\t1\tB\n"
                            "c3\t500\t550\t1\tA\n"
                            "c2\t200\t250\t1\tB\n"
                            "c3\t400\t450\t1\tB\n"
                            "c1\t300\t350\t1\tC\n"
                            "c2\t100\t150\t1\tC\n"
                            "c3\t300\t350\t1\tC\n"
                            "c4\t10\t20\t1\tD\n";
    TCatalogue catalogue = CatalogueFromRecords(ParseCoordinateText(text));
    QCOMPARE(catalogue.FGeneNames, tVectorOfString({"A", "B", "C", "D"}));
    Disentangle(catalogue);
    // c4 carries only D: every other position ties, the coefficient is 0 and c3's turn is kept.
    QCOMPARE(Flags(catalogue), std::vector<bool>({false, true, true, true}));
}

void TestOperations::inverseChromosome()
{
    TCatalogue catalogue = AlignExample();
    const TCatalogue before = catalogue;
    InverseChromosome(catalogue, 0);
    QCOMPARE(Flags(catalogue), std::vector<bool>({true, true, false}));
    QCOMPARE(catalogue.FChromosomes[0].Offset, before.FChromosomes[0].Offset);
    InverseChromosome(catalogue, 0);
    QCOMPARE(Flags(catalogue), Flags(before));
    InverseChromosome(catalogue, -1);
    QCOMPARE(Flags(catalogue), Flags(before));
    QVERIFY_THROWS_EXCEPTION(ERangeError, InverseChromosome(catalogue, 3));
}

// One row, Offset -100 (MinCoord 100): A 100..200, ??? 150..250, B 300..260 (start after end),
// ??? 200..240, C 400..500. Gene 0 is "???".
void TestOperations::recordAtPosition_data()
{
    QTest::addColumn<bool>("inverted");
    QTest::addColumn<qint32>("x");
    QTest::addColumn<qint32>("record");
    QTest::newRow("start of first") << false << 0 << 0;
    QTest::newRow("before first") << false << -1 << -1;
    QTest::newRow("named wins over unnamed") << false << 75 << 0;
    QTest::newRow("last unnamed when none named") << false << 130 << 3;
    QTest::newRow("only one unnamed") << false << 145 << 1;
    QTest::newRow("start after end") << false << 170 << 2;
    QTest::newRow("at end of reversed bar") << false << 160 << 2;
    QTest::newRow("gap") << false << 155 << -1;
    QTest::newRow("end included") << false << 400 << 4;
    QTest::newRow("past the row") << false << 401 << -1;
    QTest::newRow("inverted start") << true << 0 << 0;
    QTest::newRow("inverted named wins") << true << -75 << 0;
    QTest::newRow("inverted unnamed") << true << -145 << 1;
    QTest::newRow("inverted mirrored side") << true << 75 << -1;
    QTest::newRow("inverted end") << true << -400 << 4;
}

void TestOperations::recordAtPosition()
{
    QFETCH(bool, inverted);
    QFETCH(qint32, x);
    QFETCH(qint32, record);
    TCatalogue catalogue = HandCatalogue({{"c1",
                                           {{"A", 100, 200},
                                            {"???", 150, 250},
                                            {"B", 300, 260},
                                            {"???", 200, 240},
                                            {"C", 400, 500}}}});
    QCOMPARE(catalogue.FChromosomes[0].Offset, -100);
    catalogue.FChromosomes[0].Inverted = inverted;
    QCOMPARE(RecordAtPosition(catalogue, 0, x), record);
}

void TestOperations::recordAtPositionOverflow()
{
    TCatalogue catalogue = HandCatalogue({{"c1", {{"A", 100, 200}}}});
    catalogue.FChromosomes[0].Inverted = true;
    QVERIFY_THROWS_EXCEPTION(EIntOverflow, RecordAtPosition(catalogue, 0, kMin));
    catalogue.FChromosomes[0].Inverted = false;
    catalogue.FChromosomes[0].Offset = 1;
    QVERIFY_THROWS_EXCEPTION(EIntOverflow, RecordAtPosition(catalogue, 0, kMin));
    catalogue.FChromosomes[0].Offset = -1;
    QVERIFY_THROWS_EXCEPTION(EIntOverflow, RecordAtPosition(catalogue, 0, kMax));
    QVERIFY_THROWS_EXCEPTION(ERangeError, RecordAtPosition(catalogue, 1, 0));
}

// Genes: "10" (index 0, on both rows), "???", A (on both rows), B (on one row).
void TestOperations::mapItemActions_data()
{
    QTest::addColumn<qint32>("chromosome");
    QTest::addColumn<qint32>("record");
    QTest::addColumn<bool>("info");
    QTest::addColumn<bool>("align");
    QTest::newRow("gene on two rows") << 0 << 1 << true << true;
    QTest::newRow("gene on one row") << 0 << 2 << true << false;
    QTest::newRow("first gene of the list") << 1 << 0 << true << true;
    QTest::newRow("unnamed record") << 0 << 3 << false << false;
    QTest::newRow("repeat of a gene") << 1 << 2 << true << true;
}

void TestOperations::mapItemActions()
{
    QFETCH(qint32, chromosome);
    QFETCH(qint32, record);
    QFETCH(bool, info);
    QFETCH(bool, align);
    const TCatalogue catalogue =
        HandCatalogue({{"c1", {{"10", 1, 2}, {"A", 3, 4}, {"B", 5, 6}, {"???", 7, 8}}},
                       {"c2", {{"10", 1, 2}, {"A", 3, 4}, {"A", 5, 6}}}});
    QCOMPARE(catalogue.FGeneCounts, tVectorOfCardinal({2, 0, 2, 1}));
    const TMapItemActions actions = MapItemActions(catalogue, chromosome, record);
    QCOMPARE(actions.InfoEnabled, info);
    QCOMPARE(actions.AlignEnabled, align);
}

void TestOperations::alignExample()
{
    TCatalogue catalogue = AlignExample();
    const qint32 g = GeneIndexOf(catalogue, "G");
    const qint32 offsetC = catalogue.FChromosomes[2].Offset;
    const tVectorOfBoolean aligned = AlignOffsets(catalogue, g);
    QCOMPARE(aligned, tVectorOfBoolean({true, true, false}));
    QCOMPARE(catalogue.FChromosomes[0].Offset, -5000);
    QCOMPARE(catalogue.FChromosomes[1].Offset, -2000);
    QCOMPARE(catalogue.FChromosomes[2].Offset, offsetC);
    // First pass: A spans -4000..4000, B (inverted) -6000..2000.
    QCOMPARE(Drawn(catalogue, 0, 1000), -4000);
    QCOMPARE(Drawn(catalogue, 1, 8000), -6000);

    ShiftAlignedRows(catalogue, aligned, -6000);
    QCOMPARE(catalogue.FChromosomes[0].Offset, 1000);
    QCOMPARE(catalogue.FChromosomes[1].Offset, -8000);
    QCOMPARE(catalogue.FChromosomes[2].Offset, offsetC);
    QCOMPARE(Flags(catalogue), std::vector<bool>({false, true, false}));
    // The gene's start stands at 6000 on both rows, and a press there finds it.
    QCOMPARE(Drawn(catalogue, 0, 5000), 6000);
    QCOMPARE(Drawn(catalogue, 1, 2000), 6000);
    QCOMPARE(RecordAtPosition(catalogue, 0, 6000), 1);
    QCOMPARE(RecordAtPosition(catalogue, 1, 6000), 1);
    QCOMPARE(Drawn(catalogue, 1, 8000), 0);
    QCOMPARE(Drawn(catalogue, 0, 9000), 10000);
}

// A row is aligned on its first record of the gene, never on a repeat or a "???" that shares
// index 0 with gene 0; "???" is no gene to align on.
void TestOperations::alignFirstRecordOfRow()
{
    TCatalogue catalogue = HandCatalogue({{"c1", {{"???", 40, 50}, {"A", 10, 20}, {"???", 70, 80}}},
                                          {"c2", {{"B", 5, 6}, {"A", 300, 310}, {"A", 900, 910}}}});
    QCOMPARE(catalogue.FGeneNames.front(), QByteArray("???"));
    tVectorOfBoolean aligned = AlignOffsets(catalogue, 0);
    QCOMPARE(aligned, tVectorOfBoolean({false, false}));
    QCOMPARE(catalogue.FChromosomes[0].Offset, -10);
    aligned = AlignOffsets(catalogue, GeneIndexOf(catalogue, "A"));
    QCOMPARE(catalogue.FChromosomes[0].Offset, -10);
    QCOMPARE(catalogue.FChromosomes[1].Offset, -300);

    catalogue = HandCatalogue(
        {{"c1", {{"A", 10, 20}}}, {"c2", {{"B", 1, 2}, {"B", 50, 60}, {"A", 300, 310}}}});
    QCOMPARE(catalogue.FGeneNames.front(), QByteArray("A"));
    aligned = AlignOffsets(catalogue, 0);
    QCOMPARE(aligned, tVectorOfBoolean({true, true}));
    QCOMPARE(catalogue.FChromosomes[1].Offset, -300);
}

// The hit test prefers any gene's record to "???": gene 0's and a repeat too.
void TestOperations::recordAtPositionPrefersGenes()
{
    const TCatalogue catalogue =
        HandCatalogue({{"c1", {{"10", 100, 300}, {"???", 200, 400}}},
                       {"c2", {{"A", 100, 110}, {"A", 200, 400}, {"???", 300, 500}}}});
    QCOMPARE(RecordAtPosition(catalogue, 0, 150), 0);
    QCOMPARE(RecordAtPosition(catalogue, 1, 250), 1);
}

void TestOperations::alignOverflowChangesNoOffset()
{
    TCatalogue catalogue = HandCatalogue(
        {{"c1", {{"A", 500, 600}}}, {"c2", {{"A", kMin, 0}}}, {"c3", {{"A", 700, 800}}}});
    catalogue.FChromosomes[0].Offset = 56;
    catalogue.FChromosomes[1].Offset = 12;
    catalogue.FChromosomes[2].Offset = 34;
    QVERIFY_THROWS_EXCEPTION(EIntOverflow, AlignOffsets(catalogue, 0));
    // c1 comes before the failing row and keeps its offset all the same.
    QCOMPARE(catalogue.FChromosomes[0].Offset, 56);
    QCOMPARE(catalogue.FChromosomes[1].Offset, 12);
    QCOMPARE(catalogue.FChromosomes[2].Offset, 34);
}

void TestOperations::shiftOverflowChangesNoOffset()
{
    TCatalogue catalogue = AlignExample();
    tVectorOfBoolean aligned = AlignOffsets(catalogue, GeneIndexOf(catalogue, "G"));
    catalogue.FChromosomes[1].Offset = kMin + 10; // inverted: moved by adding m
    QVERIFY_THROWS_EXCEPTION(EIntOverflow, ShiftAlignedRows(catalogue, aligned, -11));
    QCOMPARE(catalogue.FChromosomes[0].Offset, -5000);
    QCOMPARE(catalogue.FChromosomes[1].Offset, kMin + 10);

    catalogue.FChromosomes[0].Offset = kMax;
    QVERIFY_THROWS_EXCEPTION(EIntOverflow, ShiftAlignedRows(catalogue, aligned, -1));
    QCOMPARE(catalogue.FChromosomes[0].Offset, kMax);
    QCOMPARE(catalogue.FChromosomes[1].Offset, kMin + 10);
    QVERIFY_THROWS_EXCEPTION(ERangeError,
                             ShiftAlignedRows(catalogue, {true, false, false, true}, 1));
    QCOMPARE(catalogue.FChromosomes[0].Offset, kMax);
}

void TestOperations::regionsCutRecords_data()
{
    QTest::addColumn<QStringList>("regions"); // NAME:FROM-TO
    QTest::addColumn<QString>("kept");        // NAME START END of each record kept, or the error
    QTest::newRow("inside whole") << QStringList{"c1:0-600"} << "A 100 300, B 500 400";
    QTest::newRow("cut at both ends") << QStringList{"c1:200-450"} << "A 200 300, B 450 400";
    QTest::newRow("one record in two regions apart")
        << QStringList{"c1:2900-5000", "c1:1100-1200"} << "C 1100 1200, C 2900 3000";
    QTest::newRow("overlapping regions") << QStringList{"c1:150-250", "c1:200-280"} << "A 150 280";
    QTest::newRow("touching regions") << QStringList{"c1:150-200", "c1:201-250"} << "A 150 250";
    QTest::newRow("chromosomes in list order")
        << QStringList{"c2:15-15", "c1:250-260"} << "A 250 260, D 15 15";
    QTest::newRow("one region of a chromosome empty")
        << QStringList{"c1:0-150", "c1:310-390"} << "The region c1:310-390 holds no record";
}

void TestOperations::regionsCutRecords()
{
    QFETCH(QStringList, regions);
    QFETCH(QString, kept);
    const TCatalogue catalogue = HandCatalogue(
        {{"c1", {{"A", 100, 300}, {"B", 500, 400}, {"C", 1000, 3000}}}, {"c2", {{"D", 10, 20}}}});
    std::vector<TRegion> given;
    for (const QString &region : regions) {
        const QStringList parts = region.split(QRegularExpression("[:-]"));
        given.push_back({parts[0].toUtf8(), parts[1].toLongLong(), parts[2].toLongLong()});
    }
    QStringList records;
    try {
        const TCatalogue shown = CatalogueOfRegions(catalogue, given);
        for (const std::vector<tGene> &row : shown.FRecords)
            for (const tGene &r : row)
                records << QStringLiteral("%1 %2 %3").arg(r.GeneName).arg(r.Start).arg(r.End);
    } catch (const ERegionError &error) {
        records << error.message();
    }
    QCOMPARE(records.join(QStringLiteral(", ")), kept);
}

QTEST_GUILESS_MAIN(TestOperations)
#include "tst_core_operations.moc"
