// Checked arithmetic, rounding, the error box text and the display of file bytes.
#include "util/CommonDecl.h"

#include <QtTest>

#include <limits>

class TestCommonDecl : public QObject
{
    Q_OBJECT
private slots:
    void checkedArithmetic_data();
    void checkedArithmetic();
    void roundHalfEven_data();
    void roundHalfEven();
    void roundOutOfRange();
    void floatingPointErrors();
    void errorBoxText_data();
    void errorBoxText();
    void displayText();
    void assertionMessage();
    void checkedIndex();
};

constexpr qint32 kMin = std::numeric_limits<qint32>::min();
constexpr qint32 kMax = std::numeric_limits<qint32>::max();

void TestCommonDecl::checkedArithmetic_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<qint32>("a");
    QTest::addColumn<qint32>("b");
    QTest::addColumn<bool>("overflows");
    QTest::addColumn<qint32>("result");
    QTest::newRow("add") << "add" << 2 << 3 << false << 5;
    QTest::newRow("add at max") << "add" << kMax << 0 << false << kMax;
    QTest::newRow("add past max") << "add" << kMax << 1 << true << 0;
    QTest::newRow("add past min") << "add" << kMin << -1 << true << 0;
    QTest::newRow("sub") << "sub" << 2 << 3 << false << -1;
    QTest::newRow("sub past min") << "sub" << kMin << 1 << true << 0;
    QTest::newRow("sub min from zero") << "sub" << 0 << kMin << true << 0;
    QTest::newRow("neg") << "neg" << 7 << 0 << false << -7;
    QTest::newRow("neg max") << "neg" << kMax << 0 << false << -kMax;
    QTest::newRow("neg min") << "neg" << kMin << 0 << true << 0;
    QTest::newRow("mul") << "mul" << -4 << 5 << false << -20;
    QTest::newRow("mul overflow") << "mul" << 65536 << 32768 << true << 0;
    QTest::newRow("abs") << "abs" << -5 << 0 << false << 5;
    QTest::newRow("abs min") << "abs" << kMin << 0 << true << 0;
}

void TestCommonDecl::checkedArithmetic()
{
    QFETCH(QString, op);
    QFETCH(qint32, a);
    QFETCH(qint32, b);
    QFETCH(bool, overflows);
    QFETCH(qint32, result);
    auto run = [&]() -> qint32 {
        if (op == "add")
            return CheckedAdd(a, b);
        if (op == "sub")
            return CheckedSub(a, b);
        if (op == "neg")
            return CheckedNeg(a);
        if (op == "mul")
            return CheckedMul(a, b);
        return CheckedAbs(a);
    };
    if (overflows) {
        try {
            run();
            QFAIL("no overflow raised");
        } catch (const EIntOverflow &e) {
            QCOMPARE(e.message(), QStringLiteral("Integer overflow"));
        }
    } else {
        QCOMPARE(run(), result);
    }
}

void TestCommonDecl::roundHalfEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<qint32>("rounded");
    QTest::newRow("0.5") << 0.5 << 0;
    QTest::newRow("1.5") << 1.5 << 2;
    QTest::newRow("2.5") << 2.5 << 2;
    QTest::newRow("-0.5") << -0.5 << 0;
    QTest::newRow("-1.5") << -1.5 << -2;
    QTest::newRow("-2.5") << -2.5 << -2;
    QTest::newRow("190.5") << 190.5 << 190;
    QTest::newRow("2.4999") << 2.4999 << 2;
    QTest::newRow("-6000.2") << -6000.2 << -6000;
    QTest::newRow("max") << 2147483647.0 << kMax;
    QTest::newRow("min") << -2147483648.0 << kMin;
}

void TestCommonDecl::roundHalfEven()
{
    QFETCH(double, value);
    QFETCH(qint32, rounded);
    QCOMPARE(RoundHalfEven(value), rounded);
}

void TestCommonDecl::roundOutOfRange()
{
    QVERIFY_THROWS_EXCEPTION(ERangeError, RoundHalfEven(2147483648.0));
    QVERIFY_THROWS_EXCEPTION(ERangeError, RoundHalfEven(-2147483649.0));
    QVERIFY_THROWS_EXCEPTION(ERangeError, RoundHalfEven(std::numeric_limits<double>::infinity()));
    QVERIFY_THROWS_EXCEPTION(EInvalidOp, RoundHalfEven(std::numeric_limits<double>::quiet_NaN()));
}

void TestCommonDecl::floatingPointErrors()
{
    QCOMPARE(CheckedDiv(1.0, 4.0), 0.25);
    QVERIFY_THROWS_EXCEPTION(EZeroDivide, CheckedDiv(1.0, 0.0));
    QVERIFY_THROWS_EXCEPTION(EInvalidOp, CheckedDiv(0.0, 0.0));
    QVERIFY_THROWS_EXCEPTION(EOverflow, CheckedDiv(1e308, 1e-308));
    try {
        CheckedDiv(1.0, 0.0);
    } catch (const Exception &e) {
        QCOMPARE(e.message(), QStringLiteral("Floating point division by zero"));
    }
}

void TestCommonDecl::errorBoxText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ends in digit") << "Error in the file at line 12"
                                   << "Error in the file at line 12.";
    QTest::newRow("ends in letter") << "Integer overflow"
                                    << "Integer overflow.";
    QTest::newRow("ends in period") << "Done."
                                    << "Done.";
    QTest::newRow("ends in bang") << "Stop!"
                                  << "Stop!";
    QTest::newRow("ends in comma") << "a,"
                                   << "a,";
    QTest::newRow("ends in slash") << "a/"
                                   << "a/.";
    QTest::newRow("ends in quote") << "file \"x\""
                                   << "file \"x\"";
    QTest::newRow("empty") << ""
                           << "";
}

void TestCommonDecl::errorBoxText()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(ErrorBoxText(message), shown);
}

void TestCommonDecl::displayText()
{
    QCOMPARE(DisplayText("abc"), QStringLiteral("abc"));
    QCOMPARE(DisplayText("\xC3\xA9t\xC3\xA9"), QString::fromUtf8("\xC3\xA9t\xC3\xA9"));
    // Not valid UTF-8: every byte still shows, as Latin-1.
    QCOMPARE(DisplayText("\xE9t\xE9"), QString::fromLatin1("\xE9t\xE9"));
    QCOMPARE(DisplayText(QByteArray("a\0b", 3)).size(), 3);
}

void TestCommonDecl::assertionMessage()
{
    try {
        OSTRINEL_ASSERT(1 + 1 == 3, "X and Y must have the same length.", "StatOps");
        QFAIL("no assertion raised");
    } catch (const EAssertionFailed &e) {
        QVERIFY(e.message().startsWith("X and Y must have the same length. (StatOps, line "));
        QVERIFY(e.message().endsWith(")"));
    }
}

void TestCommonDecl::checkedIndex()
{
    std::vector<int> v{1, 2, 3};
    QCOMPARE(At(v, 2), 3);
    At(v, 0) = 9;
    QCOMPARE(v[0], 9);
    QVERIFY_THROWS_EXCEPTION(ERangeError, At(v, 3));
    QVERIFY_THROWS_EXCEPTION(ERangeError, At(v, -1));
}

QTEST_GUILESS_MAIN(TestCommonDecl)
#include "tst_util_commondecl.moc"
