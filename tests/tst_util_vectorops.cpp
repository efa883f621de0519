// VectorOps: the plain routines (IndexOfString, UniqueStrings, SortStrings,
// MakeZeroVector, MaxOfVector).
#include "util/VectorOps.h"

#include <QtTest>

#include <algorithm>
#include <random>

Q_DECLARE_METATYPE(tVectorOfString)
Q_DECLARE_METATYPE(tVectorOfCardinal)

class TestVectorOps : public QObject
{
    Q_OBJECT
private slots:
    void byteLess_data();
    void byteLess();
    void indexOfString_data();
    void indexOfString();
    void indexOfStringFirstBelowZero();
    void uniqueStrings_data();
    void uniqueStrings();
    void uniqueStringsLeavesInput();
    void sortStrings_data();
    void sortStrings();
    void sortStringsRandom();
    void makeZeroVector();
    void maxOfVector_data();
    void maxOfVector();
    void maxOfEmptyVector();
};

void TestVectorOps::byteLess_data()
{
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<bool>("less");
    QTest::newRow("empty before anything") << QByteArray() << QByteArray("A") << true;
    QTest::newRow("empty not before empty") << QByteArray() << QByteArray() << false;
    QTest::newRow("prefix first") << QByteArray("AB") << QByteArray("ABC") << true;
    QTest::newRow("longer after prefix") << QByteArray("ABC") << QByteArray("AB") << false;
    QTest::newRow("10 before 9") << QByteArray("10") << QByteArray("9") << true;
    QTest::newRow("digits before ???") << QByteArray("9") << QByteArray("???") << true;
    QTest::newRow("??? before letters") << QByteArray("???") << QByteArray("A") << true;
    QTest::newRow("capitals before lower case") << QByteArray("Z") << QByteArray("a") << true;
    QTest::newRow("unsigned: 0x80 after z") << QByteArray("z") << QByteArray("\x80") << true;
    QTest::newRow("unsigned: 0xFF last") << QByteArray("\xff") << QByteArray("\x80") << false;
    QTest::newRow("NUL byte compared") << QByteArrayLiteral("A\0") << QByteArray("A\x01") << true;
    QTest::newRow("equal") << QByteArray("ABC") << QByteArray("ABC") << false;
}

void TestVectorOps::byteLess()
{
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(bool, less);
    QCOMPARE(ByteLess(a, b), less);
}

void TestVectorOps::indexOfString_data()
{
    QTest::addColumn<tVectorOfString>("vector");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint32>("first");
    QTest::addColumn<qint32>("last");
    QTest::addColumn<qint32>("index");
    const tVectorOfString v{"chr2", "chr1", "chr10", "chr1", "Chr1"};
    QTest::newRow("found") << v << QByteArray("chr10") << 0 << 4 << 2;
    QTest::newRow("first of two") << v << QByteArray("chr1") << 0 << 4 << 1;
    QTest::newRow("from a later first") << v << QByteArray("chr1") << 2 << 4 << 3;
    QTest::newRow("case matters") << v << QByteArray("Chr1") << 0 << 4 << 4;
    QTest::newRow("not found") << v << QByteArray("chr3") << 0 << 4 << -1;
    QTest::newRow("prefix is not equal") << v << QByteArray("chr") << 0 << 4 << -1;
    QTest::newRow("outside the range") << v << QByteArray("chr10") << 0 << 1 << -1;
    QTest::newRow("range of one") << v << QByteArray("chr10") << 2 << 2 << 2;
    QTest::newRow("last beyond the end is lowered") << v << QByteArray("Chr1") << 0 << 1000 << 4;
    QTest::newRow("last below first") << v << QByteArray("chr2") << 1 << 0 << -1;
    QTest::newRow("first beyond the end") << v << QByteArray("chr2") << 5 << 1000 << -1;
    QTest::newRow("empty vector") << tVectorOfString{} << QByteArray("x") << 0 << 10 << -1;
    QTest::newRow("empty vector, last -1") << tVectorOfString{} << QByteArray("x") << 0 << -1 << -1;
    QTest::newRow("empty text") << tVectorOfString{"a", "", "b"} << QByteArray() << 0 << 2 << 1;
}

void TestVectorOps::indexOfString()
{
    QFETCH(tVectorOfString, vector);
    QFETCH(QByteArray, text);
    QFETCH(qint32, first);
    QFETCH(qint32, last);
    QFETCH(qint32, index);
    QCOMPARE(IndexOfString(vector, text, first, last), index);
}

void TestVectorOps::indexOfStringFirstBelowZero()
{
    const tVectorOfString v{"a", "b"};
    QVERIFY_THROWS_EXCEPTION(ERangeError, IndexOfString(v, "b", -1, 1));
    // An empty range is -1 before any element is looked at.
    QCOMPARE(IndexOfString(v, "b", -1, -2), -1);
}

void TestVectorOps::uniqueStrings_data()
{
    QTest::addColumn<tVectorOfString>("input");
    QTest::addColumn<tVectorOfString>("unique");
    QTest::newRow("empty") << tVectorOfString{} << tVectorOfString{};
    QTest::newRow("one") << tVectorOfString{"a"} << tVectorOfString{"a"};
    QTest::newRow("all equal") << tVectorOfString{"a", "a", "a"} << tVectorOfString{"a"};
    QTest::newRow("first occurrence order")
        << tVectorOfString{"chr2", "chr1", "chr2", "chr10", "chr1"}
        << tVectorOfString{"chr2", "chr1", "chr10"};
    QTest::newRow("case kept apart")
        << tVectorOfString{"chrX", "CHRX", "chrX"} << tVectorOfString{"chrX", "CHRX"};
    QTest::newRow("empty strings") << tVectorOfString{"", "a", ""} << tVectorOfString{"", "a"};
    QTest::newRow("not sorted") << tVectorOfString{"B", "10", "9", "A", "???", "B"}
                                << tVectorOfString{"B", "10", "9", "A", "???"};
}

void TestVectorOps::uniqueStrings()
{
    QFETCH(tVectorOfString, input);
    QFETCH(tVectorOfString, unique);
    QCOMPARE(UniqueStrings(input), unique);
}

void TestVectorOps::uniqueStringsLeavesInput()
{
    const tVectorOfString input{"b", "a", "b"};
    const tVectorOfString copy = input;
    UniqueStrings(input);
    QCOMPARE(input, copy);
}

void TestVectorOps::sortStrings_data()
{
    QTest::addColumn<tVectorOfString>("input");
    QTest::addColumn<tVectorOfString>("sorted");
    QTest::newRow("empty") << tVectorOfString{} << tVectorOfString{};
    QTest::newRow("one") << tVectorOfString{"Z"} << tVectorOfString{"Z"};
    QTest::newRow("two") << tVectorOfString{"B", "A"} << tVectorOfString{"A", "B"};
    QTest::newRow("documented example") << tVectorOfString{"B", "10", "9", "A", "???"}
                                        << tVectorOfString{"10", "9", "???", "A", "B"};
    QTest::newRow("prefixes first") << tVectorOfString{"ABC", "A", "AB", "ABD", "B"}
                                    << tVectorOfString{"A", "AB", "ABC", "ABD", "B"};
    QTest::newRow("bytes above 127 last") << tVectorOfString{"\xe9T\xc9", "ZZ", "\x80", "A", "0"}
                                          << tVectorOfString{"0", "A", "ZZ", "\x80", "\xe9T\xc9"};
    QTest::newRow("empty string first")
        << tVectorOfString{"A", "", "0"} << tVectorOfString{"", "0", "A"};
    QTest::newRow("already sorted") << tVectorOfString{"1", "2", "3", "4", "5", "6", "7"}
                                    << tVectorOfString{"1", "2", "3", "4", "5", "6", "7"};
    QTest::newRow("descending") << tVectorOfString{"7", "6", "5", "4", "3", "2", "1"}
                                << tVectorOfString{"1", "2", "3", "4", "5", "6", "7"};
}

void TestVectorOps::sortStrings()
{
    QFETCH(tVectorOfString, input);
    QFETCH(tVectorOfString, sorted);
    SortStrings(input);
    QCOMPARE(input, sorted);
}

// The heap sort gives the order of a plain unsigned comparison sort for distinct names.
void TestVectorOps::sortStringsRandom()
{
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        tVectorOfString names;
        const int n = int(random() % 300);
        for (int i = 0; i < n; ++i) {
            QByteArray name;
            const int length = int(random() % 5);
            for (int k = 0; k < length; ++k)
                name += char("09?AZ_az\x80\xff"[random() % 10]);
            names.push_back(name);
        }
        names = UniqueStrings(names);
        tVectorOfString expected = names;
        std::sort(expected.begin(), expected.end(), [](const QByteArray &a, const QByteArray &b) {
            return std::lexicographical_compare(
                a.begin(), a.end(), b.begin(), b.end(),
                [](char x, char y) { return quint8(x) < quint8(y); });
        });
        SortStrings(names);
        QCOMPARE(names, expected);
    }
}

void TestVectorOps::makeZeroVector()
{
    QCOMPARE(MakeZeroVector(0), tVectorOfCardinal{});
    QCOMPARE(MakeZeroVector(3), (tVectorOfCardinal{0, 0, 0}));
    QCOMPARE(MakeZeroVector(1000).size(), std::size_t(1000));
    QVERIFY_THROWS_EXCEPTION(ERangeError, MakeZeroVector(-1));
}

void TestVectorOps::maxOfVector_data()
{
    QTest::addColumn<tVectorOfCardinal>("vector");
    QTest::addColumn<quint32>("max");
    QTest::newRow("one") << tVectorOfCardinal{7} << 7u;
    QTest::newRow("zeros") << tVectorOfCardinal{0, 0, 0} << 0u;
    QTest::newRow("first") << tVectorOfCardinal{9, 1, 2} << 9u;
    QTest::newRow("last") << tVectorOfCardinal{1, 2, 9} << 9u;
    QTest::newRow("middle, repeated") << tVectorOfCardinal{1, 9, 3, 9} << 9u;
    QTest::newRow("unsigned") << tVectorOfCardinal{1, 4294967295u, 2} << 4294967295u;
}

void TestVectorOps::maxOfVector()
{
    QFETCH(tVectorOfCardinal, vector);
    QFETCH(quint32, max);
    QCOMPARE(MaxOfVector(vector), max);
}

void TestVectorOps::maxOfEmptyVector()
{
    // There is no first element to start from.
    QVERIFY_THROWS_EXCEPTION(ERangeError, MaxOfVector({}));
}

QTEST_GUILESS_MAIN(TestVectorOps)
#include "tst_util_vectorops.moc"
