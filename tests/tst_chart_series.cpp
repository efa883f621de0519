// The arrow series: points kept sorted by start X with a stable insert, the lists moving
// together, and placements following their points.
#include "chart/TArrowSeries.h"

#include <QtTest>

class TestChartSeries : public QObject
{
    Q_OBJECT

private slots:
    void stableInsert_data();
    void stableInsert();
    void listsMoveTogether();
    void placementsMoveWithPoints();
};

void TestChartSeries::stableInsert_data()
{
    QTest::addColumn<QList<double>>("starts");
    QTest::addColumn<QList<int>>("indexes"); // index returned for each append
    QTest::addColumn<QByteArray>("order");   // labels after all appends

    QTest::newRow("ascending") << QList<double>{1, 2, 3} << QList<int>{0, 1, 2}
                               << QByteArray("abc");
    QTest::newRow("equal starts keep order")
        << QList<double>{5, 5, 5} << QList<int>{0, 1, 2} << QByteArray("abc");
    QTest::newRow("smaller goes first")
        << QList<double>{5, 7, 1} << QList<int>{0, 1, 0} << QByteArray("cab");
    QTest::newRow("after the last equal")
        << QList<double>{1, 5, 9, 5} << QList<int>{0, 1, 2, 2} << QByteArray("abdc");
    QTest::newRow("negative and mirrored")
        << QList<double>{-110, -150, -10} << QList<int>{0, 0, 2} << QByteArray("bac");
}

void TestChartSeries::stableInsert()
{
    QFETCH(QList<double>, starts);
    QFETCH(QList<int>, indexes);
    QFETCH(QByteArray, order);
    TArrowSeries s;
    for (int i = 0; i < starts.size(); ++i) {
        const QByteArray label(1, char('a' + i));
        QCOMPARE(s.AppendArrow(starts[i], -1, starts[i] + 1, -1, label, TColor(i)), indexes[i]);
    }
    QByteArray got;
    for (int i = 0; i < s.Count(); ++i)
        got += s.Label(i);
    QCOMPARE(got, order);
    QVERIFY(std::is_sorted(s.StartXValues().begin(), s.StartXValues().end()));
}

void TestChartSeries::listsMoveTogether()
{
    TArrowSeries s;
    s.AppendArrow(10, -1, 20, -1.5, "A", 0x0000AA);
    s.AppendArrow(30, -2, 40, -2.5, "B", 0x0000BB);
    s.AppendArrow(0, -3, 5, -3.5, "C", 0x0000CC);
    QCOMPARE(s.Count(), 3);
    const double startY[3] = {-3, -1, -2};
    const double endX[3] = {5, 20, 40};
    const double endY[3] = {-3.5, -1.5, -2.5};
    const QByteArray labels[3] = {"C", "A", "B"};
    const TColor colors[3] = {0x0000CC, 0x0000AA, 0x0000BB};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(s.StartY(i), startY[i]);
        QCOMPARE(s.EndX(i), endX[i]);
        QCOMPARE(s.EndY(i), endY[i]);
        QCOMPARE(s.Label(i), labels[i]);
        QCOMPARE(s.Color(i), colors[i]);
    }
    QCOMPARE(s.EndYValues().size(), std::size_t(3));
}

void TestChartSeries::placementsMoveWithPoints()
{
    TArrowSeries s;
    s.AppendArrow(10, -1, 20, -1, "A", 0);
    s.AppendArrow(30, -1, 40, -1, "B", 0);
    QVERIFY(s.Position(0) == nullptr);
    s.Marks.Positions.resize(2);
    s.Marks.Positions[1].emplace().LabelLeft = 77;
    // A point inserted in front shifts the placement of "B" with it.
    QCOMPARE(s.AppendArrow(0, -1, 5, -1, "C", 0), 0);
    QCOMPARE(int(s.Marks.Positions.size()), 3);
    QVERIFY(s.Position(0) == nullptr);
    QVERIFY(s.Position(1) == nullptr);
    QVERIFY(s.Position(2) != nullptr);
    QCOMPARE(s.Position(2)->LabelLeft, 77);
    QCOMPARE(s.Label(2), QByteArray("B"));
    QVERIFY(s.Position(3) == nullptr);
    QVERIFY(s.Position(-1) == nullptr);
}

QTEST_APPLESS_MAIN(TestChartSeries)
#include "tst_chart_series.moc"
