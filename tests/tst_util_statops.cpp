// The Spearman rank correlation and the sorting and ranking behind it.
#include "util/StatOps.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <random>

Q_DECLARE_METATYPE(tVectorOfDouble)

class TestStatOps : public QObject
{
    Q_OBJECT
private slots:
    void vectorHelpers();
    void sortPaired_data();
    void sortPaired();
    void sortPairedRandom();
    void sortPairedTooShortVector();
    void rankSorted_data();
    void rankSorted();
    void spearman_data();
    void spearman();
    void spearmanTiedExactlyZero();
    void spearmanSymmetric_data();
    void spearmanSymmetric();
    void spearmanLeavesInputs();
    void spearmanLengthMismatch();
};

void TestStatOps::vectorHelpers()
{
    const tVectorOfDouble zeros = MakeZeroDoubleVector(3);
    QCOMPARE(zeros, tVectorOfDouble({0.0, 0.0, 0.0}));
    QVERIFY(MakeZeroDoubleVector(0).empty());
    QVERIFY(MakeZeroDoubleVector(-2).empty());

    const tVectorOfDouble source{1.5, -2.0, 7.0};
    tVectorOfDouble copy = CopyVector(source);
    QCOMPARE(copy, source);
    copy[0] = 9.0;
    QCOMPARE(source[0], 1.5);
}

void TestStatOps::sortPaired_data()
{
    QTest::addColumn<tVectorOfDouble>("keys");
    QTest::addColumn<qint32>("n");
    QTest::newRow("two reversed") << tVectorOfDouble{2, 1} << 2;
    QTest::newRow("five") << tVectorOfDouble{5, 3, 4, 1, 2} << 5;
    QTest::newRow("already sorted") << tVectorOfDouble{1, 2, 3, 4, 5, 6} << 6;
    QTest::newRow("descending") << tVectorOfDouble{9, 8, 7, 6, 5, 4, 3} << 7;
    QTest::newRow("negatives") << tVectorOfDouble{-1, 300, -200, 0, 150} << 5;
    QTest::newRow("prefix only") << tVectorOfDouble{4, 3, 2, 1, 0} << 3;
}

// The companion of a key is the key's original position, so every pair can be checked.
void TestStatOps::sortPaired()
{
    QFETCH(tVectorOfDouble, keys);
    QFETCH(qint32, n);
    tVectorOfDouble a = keys;
    tVectorOfDouble b(keys.size());
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = double(i);
    SortPaired(n, a, b);
    QVERIFY(std::is_sorted(a.begin(), a.begin() + n));
    for (std::size_t i = 0; i < a.size(); ++i)
        QCOMPARE(a[i], keys[std::size_t(b[i])]);
    // Elements past n are not touched.
    for (std::size_t i = std::size_t(n); i < a.size(); ++i) {
        QCOMPARE(a[i], keys[i]);
        QCOMPARE(b[i], double(i));
    }
}

void TestStatOps::sortPairedRandom()
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> value(0, 40); // many repeated keys
    for (int round = 0; round < 50; ++round) {
        const int n = 2 + round * 3;
        tVectorOfDouble a(n), b(n);
        for (int i = 0; i < n; ++i) {
            a[i] = value(random);
            b[i] = a[i] * 1000 + i; // companion tied to its key
        }
        tVectorOfDouble expected = a;
        std::sort(expected.begin(), expected.end());
        SortPaired(n, a, b);
        QCOMPARE(a, expected);
        for (int i = 0; i < n; ++i)
            QCOMPARE(std::floor(b[i] / 1000), a[i]);
    }
}

void TestStatOps::sortPairedTooShortVector()
{
    tVectorOfDouble a{3, 2, 1};
    tVectorOfDouble b{1, 2};
    QVERIFY_THROWS_EXCEPTION(ERangeError, SortPaired(3, a, b));
    QCOMPARE(a, tVectorOfDouble({3, 2, 1}));
}

void TestStatOps::rankSorted_data()
{
    QTest::addColumn<tVectorOfDouble>("sorted");
    QTest::addColumn<tVectorOfDouble>("ranks");
    QTest::addColumn<double>("tieSum");
    QTest::newRow("one tie") << tVectorOfDouble{1, 2, 2, 3} << tVectorOfDouble{1, 2.5, 2.5, 4}
                             << 6.0;
    QTest::newRow("no ties") << tVectorOfDouble{1, 2, 3} << tVectorOfDouble{1, 2, 3} << 0.0;
    QTest::newRow("run at the end")
        << tVectorOfDouble{1, 5, 5, 5} << tVectorOfDouble{1, 3, 3, 3} << 24.0;
    QTest::newRow("run at the start")
        << tVectorOfDouble{4, 4, 9} << tVectorOfDouble{1.5, 1.5, 3} << 6.0;
    QTest::newRow("all equal") << tVectorOfDouble{7, 7} << tVectorOfDouble{1.5, 1.5} << 6.0;
    QTest::newRow("two runs") << tVectorOfDouble{1, 1, 2, 3, 3, 3}
                              << tVectorOfDouble{1.5, 1.5, 3, 5, 5, 5} << 30.0;
    QTest::newRow("one element") << tVectorOfDouble{42} << tVectorOfDouble{1} << 0.0;
    QTest::newRow("empty") << tVectorOfDouble{} << tVectorOfDouble{} << 0.0;
}

void TestStatOps::rankSorted()
{
    QFETCH(tVectorOfDouble, sorted);
    QFETCH(tVectorOfDouble, ranks);
    QFETCH(double, tieSum);
    const TRanks result = RankSorted(sorted);
    QCOMPARE(result.Ranks, ranks);
    QCOMPARE(result.TieSum, tieSum);
}

void TestStatOps::spearman_data()
{
    QTest::addColumn<tVectorOfDouble>("x");
    QTest::addColumn<tVectorOfDouble>("y");
    QTest::addColumn<double>("rs");
    QTest::newRow("D = 4") << tVectorOfDouble{1, 2, 3, 4, 5} << tVectorOfDouble{2, 1, 4, 3, 5}
                           << 0.8;
    QTest::newRow("reversed") << tVectorOfDouble{1, 2, 3} << tVectorOfDouble{3, 2, 1} << -1.0;
    QTest::newRow("same order") << tVectorOfDouble{10, 30, 20} << tVectorOfDouble{1, 3, 2} << 1.0;
    QTest::newRow("fac = 0") << tVectorOfDouble{1, 1} << tVectorOfDouble{1, 2} << 0.0;
    QTest::newRow("all y equal") << tVectorOfDouble{1, 2, 3} << tVectorOfDouble{5, 5, 5} << 0.0;
    // The tied vectors of the four-gene disentangle example, opposite order.
    QTest::newRow("tied reversed")
        << tVectorOfDouble{100, 200, 300, 200} << tVectorOfDouble{300, 200, 100, 200} << -1.0;
    QTest::newRow("one pair") << tVectorOfDouble{1} << tVectorOfDouble{2} << 0.0;
    QTest::newRow("empty") << tVectorOfDouble{} << tVectorOfDouble{} << 0.0;
}

void TestStatOps::spearman()
{
    QFETCH(tVectorOfDouble, x);
    QFETCH(tVectorOfDouble, y);
    QFETCH(double, rs);
    const double result = Spearman(x, y);
    QVERIFY2(std::abs(result - rs) < 1e-12, qPrintable(QString::number(result, 'g', 17)));
}

// The sign alone decides disentangling, so a zero here must be an exact zero.
void TestStatOps::spearmanTiedExactlyZero()
{
    const tVectorOfDouble x{100, 200, 150, 150};
    const tVectorOfDouble y{150, 150, 100, 200};
    QCOMPARE(Spearman(x, y), 0.0);
    QCOMPARE(Spearman(y, x), 0.0);
}

void TestStatOps::spearmanSymmetric_data()
{
    QTest::addColumn<tVectorOfDouble>("x");
    QTest::addColumn<tVectorOfDouble>("y");
    QTest::newRow("no ties") << tVectorOfDouble{1, 2, 3, 4, 5} << tVectorOfDouble{2, 1, 4, 3, 5};
    QTest::newRow("ties on one side")
        << tVectorOfDouble{3, 1, 4, 1, 5, 9, 2, 6} << tVectorOfDouble{2, 7, 1, 8, 2, 8, 1, 8};
    QTest::newRow("negative values")
        << tVectorOfDouble{-5, 10, -3, 0.5} << tVectorOfDouble{4, 4, -1, 2};
}

void TestStatOps::spearmanSymmetric()
{
    QFETCH(tVectorOfDouble, x);
    QFETCH(tVectorOfDouble, y);
    const double xy = Spearman(x, y);
    QCOMPARE(Spearman(y, x), xy);
    QVERIFY(xy >= -1.0 - 1e-12 && xy <= 1.0 + 1e-12);
}

void TestStatOps::spearmanLeavesInputs()
{
    const tVectorOfDouble x{5, 3, 4, 1, 2};
    const tVectorOfDouble y{1, 2, 2, 9, 0};
    tVectorOfDouble xc = x, yc = y;
    Spearman(xc, yc);
    QCOMPARE(xc, x);
    QCOMPARE(yc, y);
}

// The message names the unit and the line of the assertion in its source.
void TestStatOps::spearmanLengthMismatch()
{
    QFile source(QStringLiteral(OSTRINEL_EXAMPLES "/../util/StatOps.cpp"));
    QVERIFY(source.open(QIODevice::ReadOnly));
    int assertLine = 0;
    int line = 0;
    while (!source.atEnd()) {
        ++line;
        if (source.readLine().contains("must have the same length")) {
            assertLine = line;
            break;
        }
    }
    QVERIFY(assertLine > 0);

    try {
        Spearman({1, 2, 3}, {1, 2});
        QFAIL("no assertion raised");
    } catch (const EAssertionFailed &error) {
        QCOMPARE(error.message(),
                 QStringLiteral("X and Y must have the same length. (StatOps, line %1)")
                     .arg(assertLine));
    }
}

QTEST_GUILESS_MAIN(TestStatOps)
#include "tst_util_statops.moc"
