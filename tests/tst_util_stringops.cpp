// StringOps: SplitLine, byte trimming, a-z upper-casing and the integer notation.
#include "util/StringOps.h"

#include <QtTest>

Q_DECLARE_METATYPE(tVectorOfString)

class TestStringOps : public QObject
{
    Q_OBJECT
private slots:
    void splitLine_data();
    void splitLine();
    void splitLineOtherDelimiter();
    void trimBytes_data();
    void trimBytes();
    void upperCase_data();
    void upperCase();
    void integers_data();
    void integers();
    void notIntegers_data();
    void notIntegers();
    void strToIntMessage();
};

void TestStringOps::splitLine_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<tVectorOfString>("fields");
    QTest::newRow("empty text: one empty field") << QByteArray() << tVectorOfString{""};
    QTest::newRow("no delimiter") << QByteArray("abc") << tVectorOfString{"abc"};
    QTest::newRow("two fields") << QByteArray("a\tb") << tVectorOfString{"a", "b"};
    QTest::newRow("only a delimiter") << QByteArray("\t") << tVectorOfString{"", ""};
    QTest::newRow("consecutive delimiters")
        << QByteArray("a\t\tb") << tVectorOfString{"a", "", "b"};
    QTest::newRow("delimiter first") << QByteArray("\ta") << tVectorOfString{"", "a"};
    QTest::newRow("delimiter last") << QByteArray("a\t") << tVectorOfString{"a", ""};
    QTest::newRow("three delimiters") << QByteArray("\t\t\t") << tVectorOfString{"", "", "", ""};
    QTest::newRow("spaces kept") << QByteArray(" a \t b ") << tVectorOfString{" a ", " b "};
    QTest::newRow("no quoting") << QByteArray("\"a\tb\"\t\\t")
                                << tVectorOfString{"\"a", "b\"", "\\t"};
    QTest::newRow("bytes above 127 and NUL")
        << QByteArrayLiteral("\xe9\0\t\xff")
        << tVectorOfString{QByteArrayLiteral("\xe9\0"), "\xff"};
    QTest::newRow("six columns") << QByteArray("chr1\t100\t500\t-1\tabc\tsee note")
                                 << tVectorOfString{"chr1", "100", "500", "-1", "abc", "see note"};
}

void TestStringOps::splitLine()
{
    QFETCH(QByteArray, text);
    QFETCH(tVectorOfString, fields);
    QCOMPARE(SplitLine(text, '\t'), fields);
    // One field more than delimiters, always.
    QCOMPARE(qsizetype(SplitLine(text, '\t').size()), text.count('\t') + 1);
}

void TestStringOps::splitLineOtherDelimiter()
{
    QCOMPARE(SplitLine("a,b\t,c", ','), (tVectorOfString{"a", "b\t", "c"}));
    QCOMPARE(SplitLine("a;b", '\t'), (tVectorOfString{"a;b"}));
}

void TestStringOps::trimBytes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("trimmed");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("nothing to trim") << QByteArray("abc") << QByteArray("abc");
    QTest::newRow("spaces and tabs") << QByteArray(" \t abc\t  ") << QByteArray("abc");
    QTest::newRow("inner spaces kept") << QByteArray("  a b  ") << QByteArray("a b");
    QTest::newRow("all blank") << QByteArray(" \t\r\n ") << QByteArray();
    QTest::newRow("every control byte")
        << QByteArrayLiteral("\0\x01\x08\x0b\x0c\x1a\x1f x \x7f") << QByteArray("x \x7f");
    QTest::newRow("byte 32 trimmed, 33 kept") << QByteArray(" !x! ") << QByteArray("!x!");
    QTest::newRow("DEL and bytes above 127 kept")
        << QByteArray("\x7f\xa0x\xa0\xff") << QByteArray("\x7f\xa0x\xa0\xff");
    QTest::newRow("NUL inside kept") << QByteArrayLiteral("\0a\0b\0") << QByteArrayLiteral("a\0b");
}

void TestStringOps::trimBytes()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, trimmed);
    QCOMPARE(TrimBytes(text), trimmed);
    QCOMPARE(TrimBytesView(text).toByteArray(), trimmed);
}

void TestStringOps::upperCase_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("upper");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("a to z") << QByteArray("abcdefghijklmnopqrstuvwxyz")
                            << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    QTest::newRow("already upper") << QByteArray("ABC") << QByteArray("ABC");
    QTest::newRow("mixed with digits") << QByteArray("abcA12-x_y.z") << QByteArray("ABCA12-X_Y.Z");
    QTest::newRow("neighbours of a and z") << QByteArray("`a{z@Z[") << QByteArray("`A{Z@Z[");
    QTest::newRow("Latin-1 letters unchanged")
        << QByteArray("\xe9t\xe0\xff") << QByteArray("\xe9T\xe0\xff");
    QTest::newRow("UTF-8 letters unchanged") << QByteArray("\xc3\xa4h") << QByteArray("\xc3\xa4H");
    QTest::newRow("spaces kept") << QByteArray(" see note ") << QByteArray(" SEE NOTE ");
}

void TestStringOps::upperCase()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, upper);
    QCOMPARE(UpperCaseAZ(text), upper);
    QCOMPARE(HasNoLowerAZ(text), text == upper);
}

void TestStringOps::integers_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint32>("value");
    QTest::newRow("zero") << QByteArray("0") << 0;
    QTest::newRow("decimal") << QByteArray("123456") << 123456;
    QTest::newRow("plus sign") << QByteArray("+5") << 5;
    QTest::newRow("minus sign") << QByteArray("-5") << -5;
    QTest::newRow("minus zero") << QByteArray("-0") << 0;
    QTest::newRow("leading zeros") << QByteArray("0000000000000000012") << 12;
    QTest::newRow("leading spaces") << QByteArray("   42") << 42;
    QTest::newRow("leading spaces before a sign") << QByteArray("  -42") << -42;
    QTest::newRow("largest") << QByteArray("2147483647") << 2147483647;
    QTest::newRow("smallest") << QByteArray("-2147483648") << qint32(-2147483647 - 1);
    QTest::newRow("$ hex") << QByteArray("$1F") << 31;
    QTest::newRow("x hex") << QByteArray("x1F") << 31;
    QTest::newRow("X hex") << QByteArray("X1f") << 31;
    QTest::newRow("0x hex") << QByteArray("0x1F") << 31;
    QTest::newRow("0X hex") << QByteArray("0Xff") << 255;
    QTest::newRow("hex after spaces") << QByteArray("  $10") << 16;
    QTest::newRow("hex with 8 digits") << QByteArray("$00000001") << 1;
    QTest::newRow("hex 7FFFFFFF") << QByteArray("$7FFFFFFF") << 2147483647;
    QTest::newRow("hex 80000000 is the bit pattern")
        << QByteArray("$80000000") << qint32(-2147483647 - 1);
    QTest::newRow("hex FFFFFFFF is -1") << QByteArray("0xFFFFFFFF") << -1;
    QTest::newRow("hex 0") << QByteArray("$0") << 0;
    QTest::newRow("0x with leading zero digits") << QByteArray("0x0000001F") << 31;
}

void TestStringOps::integers()
{
    QFETCH(QByteArray, text);
    QFETCH(qint32, value);
    qint32 got = 12345;
    QVERIFY(TryStrToInt(text, got));
    QCOMPARE(got, value);
    QCOMPARE(StrToInt(text), value);
}

void TestStringOps::notIntegers_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("only spaces") << QByteArray("   ");
    QTest::newRow("space after the digits") << QByteArray("12 ");
    QTest::newRow("space after hex digits") << QByteArray("$1F ");
    QTest::newRow("space after the sign") << QByteArray("- 5");
    QTest::newRow("tab before") << QByteArray("\t5");
    QTest::newRow("control byte before") << QByteArray("\x01"
                                                       "5");
    QTest::newRow("sign alone") << QByteArray("+");
    QTest::newRow("minus alone") << QByteArray("-");
    QTest::newRow("two signs") << QByteArray("+-1");
    QTest::newRow("decimal too large") << QByteArray("2147483648");
    QTest::newRow("decimal too small") << QByteArray("-2147483649");
    QTest::newRow("far too large") << QByteArray("99999999999999999999999");
    QTest::newRow("sign before $") << QByteArray("-$1F");
    QTest::newRow("plus before 0x") << QByteArray("+0x1F");
    QTest::newRow("sign after $") << QByteArray("$-1");
    QTest::newRow("$ alone") << QByteArray("$");
    QTest::newRow("x alone") << QByteArray("x");
    QTest::newRow("0x alone") << QByteArray("0x");
    QTest::newRow("nine hex digits") << QByteArray("$123456789");
    QTest::newRow("nine hex digits of leading zeros") << QByteArray("0x000000001");
    QTest::newRow("not a hex digit") << QByteArray("0x1G");
    QTest::newRow("h suffix") << QByteArray("1Fh");
    QTest::newRow("fraction") << QByteArray("1.5");
    QTest::newRow("exponent") << QByteArray("1e3");
    QTest::newRow("thousands separator") << QByteArray("1,000");
    QTest::newRow("word") << QByteArray("start");
    QTest::newRow("NUL after digits") << QByteArrayLiteral("12\0");
    QTest::newRow("double prefix") << QByteArray("$0x1");
    QTest::newRow("00x") << QByteArray("00x1");
}

void TestStringOps::notIntegers()
{
    QFETCH(QByteArray, text);
    qint32 got = 777;
    QVERIFY(!TryStrToInt(text, got));
    QCOMPARE(got, 777); // untouched on failure
    QVERIFY_THROWS_EXCEPTION(EConvertError, StrToInt(text));
}

void TestStringOps::strToIntMessage()
{
    try {
        StrToInt("12a");
        QFAIL("no exception");
    } catch (const EConvertError &e) {
        QCOMPARE(e.message(), QStringLiteral("'12a' is not a valid integer value"));
    }
}

QTEST_GUILESS_MAIN(TestStringOps)
#include "tst_util_stringops.moc"
