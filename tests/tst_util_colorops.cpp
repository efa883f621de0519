// Palettes and the scaled colour of a value.
#include "util/ColorOps.h"
#include "util/CommonDecl.h"

#include <QtTest>

class TestColorOps : public QObject
{
    Q_OBJECT

private slots:
    void fireEntries_data();
    void fireEntries();
    void grayEntries();
    void gradientEqualsExactInterpolation_data();
    void gradientEqualsExactInterpolation();
    void gradientErrors_data();
    void gradientErrors();
    void geneCountColours_data();
    void geneCountColours();
    void halfwayRoundsToEven();
    void extendedPrecisionHalves();
    void valueOutsideRange_data();
    void valueOutsideRange();
    void equalBoundsGiveFirstEntry();
    void missingValueWins();
    void emptyPaletteIsRangeError();
    void hugeIndexIsRangeError();
    void toQColorSwapsChannels();
};

void TestColorOps::fireEntries_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<uint>("color");
    QTest::newRow("0") << 0 << 0xFFFFFFu;
    QTest::newRow("1") << 1 << 0xFEFFFFu;
    QTest::newRow("79") << 79 << 0xCCFFFFu;
    QTest::newRow("80") << 80 << 0xCCFFFFu;
    QTest::newRow("81") << 81 << 0xCBFFFFu;
    QTest::newRow("399") << 399 << 0x00FFFFu;
    QTest::newRow("400 pure yellow") << 400 << 0x00FFFFu;
    QTest::newRow("799 pure red") << 799 << 0x0000FFu;
}

void TestColorOps::fireEntries()
{
    QFETCH(int, index);
    QFETCH(uint, color);
    const tPalette fire = FirePalette();
    QCOMPARE(fire.size(), std::size_t(800));
    QCOMPARE(uint(fire[std::size_t(index)]), color);
}

void TestColorOps::grayEntries()
{
    const tPalette gray = GrayPalette();
    QCOMPARE(gray.size(), std::size_t(255));
    for (int j = 0; j < 255; ++j)
        QCOMPARE(uint(gray[std::size_t(j)]), uint(RGBToColor(255 - j, 255 - j, 255 - j)));
    QCOMPARE(uint(gray.back()), 0x010101u);
}

void TestColorOps::gradientEqualsExactInterpolation_data()
{
    QTest::addColumn<QList<uint>>("steps");
    QTest::addColumn<int>("perStep");
    QTest::newRow("fire") << QList<uint>{0xFFFFFF, 0x00FFFF, 0x0000FF} << 400;
    QTest::newRow("gray") << QList<uint>{0xFFFFFF, 0x000000} << 255;
    QTest::newRow("rising channels") << QList<uint>{0x000000, 0x102030} << 7;
}

// Every entry is floor(c0 + j * (c1 - c0) / perStep) computed with integers.
void TestColorOps::gradientEqualsExactInterpolation()
{
    QFETCH(QList<uint>, steps);
    QFETCH(int, perStep);
    const std::vector<TColor> colours(steps.begin(), steps.end());
    const tPalette palette = MakeGradient(colours, perStep);
    QCOMPARE(qsizetype(palette.size()), (steps.size() - 1) * perStep);
    auto exact = [&](int c0, int c1, int j) {
        const int num = c0 * perStep + j * (c1 - c0);
        return num >= 0 ? num / perStep : -((-num + perStep - 1) / perStep);
    };
    for (qsizetype s = 0; s + 1 < steps.size(); ++s) {
        const TColor c0 = steps[s], c1 = steps[s + 1];
        for (int j = 0; j < perStep; ++j) {
            const TColor expected =
                RGBToColor(exact(RedOf(c0), RedOf(c1), j), exact(GreenOf(c0), GreenOf(c1), j),
                           exact(BlueOf(c0), BlueOf(c1), j));
            QCOMPARE(uint(palette[std::size_t(s * perStep + j)]), uint(expected));
        }
    }
}

void TestColorOps::gradientErrors_data()
{
    QTest::addColumn<QList<uint>>("steps");
    QTest::addColumn<int>("perStep");
    QTest::addColumn<QString>("message");
    const QString fewSteps = QStringLiteral("Color gradient nees at least two colour steps.");
    QTest::newRow("no step") << QList<uint>{} << 10 << fewSteps;
    QTest::newRow("one step") << QList<uint>{0xFFFFFF} << 10 << fewSteps;
    QTest::newRow("system colour")
        << QList<uint>{0xFFFFFF, 0x80000005} << 10 << QStringLiteral("Range check error");
    QTest::newRow("zero per step")
        << QList<uint>{0xFFFFFF, 0} << 0
        << QStringLiteral("Color gradient needs at least one colour per step, not 0.");
    QTest::newRow("negative per step")
        << QList<uint>{0xFFFFFF, 0} << -3
        << QStringLiteral("Color gradient needs at least one colour per step, not -3.");
    QTest::newRow("length overflows")
        << QList<uint>{0, 1, 2, 3} << 0x40000000 << QStringLiteral("Integer overflow");
}

void TestColorOps::gradientErrors()
{
    QFETCH(QList<uint>, steps);
    QFETCH(int, perStep);
    QFETCH(QString, message);
    const std::vector<TColor> colours(steps.begin(), steps.end());
    try {
        MakeGradient(colours, perStep);
        QFAIL("no error raised");
    } catch (const Exception &e) {
        QCOMPARE(e.message(), message);
    }
}

void TestColorOps::geneCountColours_data()
{
    QTest::addColumn<bool>("fire");
    QTest::addColumn<int>("count");
    QTest::addColumn<uint>("color");
    QTest::newRow("fire 0 (unnamed gene)") << true << 0 << 0xFFFFFFu;
    QTest::newRow("fire 1") << true << 1 << 0x55FFFFu;
    QTest::newRow("fire 2") << true << 2 << 0x00AAFFu;
    QTest::newRow("fire 3") << true << 3 << 0x0000FFu;
    QTest::newRow("gray 1") << false << 1 << 0xAAAAAAu;
    QTest::newRow("gray 2") << false << 2 << 0x565656u;
    QTest::newRow("gray 3") << false << 3 << 0x010101u;
}

void TestColorOps::geneCountColours()
{
    QFETCH(bool, fire);
    QFETCH(int, count);
    QFETCH(uint, color);
    const tPalette palette = fire ? FirePalette() : GrayPalette();
    QCOMPARE(uint(ColorOfValue(palette, 0, count, 0, 3, -999999)), color);
}

void TestColorOps::halfwayRoundsToEven()
{
    // 254 * 3/4 = 190.5 goes to entry 190, not 191.
    QCOMPARE(uint(ColorOfValue(GrayPalette(), 0, 3, 0, 4, -999999)), 0x414141u);
}

// Exact halves go to the even entry, an x a hair beside a half stays on its side; a ratio
// rounded to a double first moves all four.
void TestColorOps::extendedPrecisionHalves()
{
    const tPalette fire = FirePalette();
    for (auto [count, entry] :
         std::initializer_list<std::pair<int, int>>{{3, 26}, {27, 229}, {49, 417}, {59, 502}})
        QCOMPARE(uint(ColorOfValue(fire, 0, count, 0, 94, -999999)), uint(fire[entry]));
}

void TestColorOps::valueOutsideRange_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<uint>("color");
    QTest::newRow("below") << -5.0 << 0xFFFFFFu;
    QTest::newRow("just below") << -0.001 << 0xFFFFFFu;
    QTest::newRow("above") << 7.0 << 0x0000FFu;
}

void TestColorOps::valueOutsideRange()
{
    QFETCH(double, value);
    QFETCH(uint, color);
    QCOMPARE(uint(ColorOfValue(FirePalette(), 0, value, 0, 3, -999999)), color);
}

void TestColorOps::equalBoundsGiveFirstEntry()
{
    const tPalette fire = FirePalette();
    for (double v : {-10.0, 2.0, 2.5, 1e9})
        QCOMPARE(uint(ColorOfValue(fire, 0x123456, v, 2, 2, -999999)), 0xFFFFFFu);
}

void TestColorOps::missingValueWins()
{
    const tPalette fire = FirePalette();
    QCOMPARE(uint(ColorOfValue(fire, 0x123456, 1.0000005, 0, 3, 1)), 0x123456u);
    QCOMPARE(uint(ColorOfValue(fire, 0x123456, 0.9999995, 0, 3, 1)), 0x123456u);
    // Just outside the tolerance the value is scaled as usual: 799 / 3 = 266.3 -> entry 266.
    QCOMPARE(uint(ColorOfValue(fire, 0x123456, 1.00001, 0, 3, 1)), uint(fire[266]));
}

void TestColorOps::emptyPaletteIsRangeError()
{
    const tPalette empty;
    QVERIFY_THROWS_EXCEPTION(ERangeError, ColorOfValue(empty, 0, 1, 0, 3, -999999));
    QVERIFY_THROWS_EXCEPTION(ERangeError, ColorOfValue(empty, 0, 1, 2, 2, -999999));
    QVERIFY_THROWS_EXCEPTION(ERangeError, ColorOfValue(empty, 0, -1, 0, 3, -999999));
}

// An index beyond 32 bits cannot be clamped: it is reported, not mapped to an end entry.
void TestColorOps::hugeIndexIsRangeError()
{
    QVERIFY_THROWS_EXCEPTION(ERangeError, ColorOfValue(FirePalette(), 0, -1e12, 0, 3, -999999));
    QVERIFY_THROWS_EXCEPTION(ERangeError, ColorOfValue(FirePalette(), 0, 1e12, 0, 3, -999999));
}

void TestColorOps::toQColorSwapsChannels()
{
    const QColor c = ToQColor(0x00AAFF);
    QCOMPARE(c.red(), 0xFF);
    QCOMPARE(c.green(), 0xAA);
    QCOMPARE(c.blue(), 0x00);
}

QTEST_APPLESS_MAIN(TestColorOps)
#include "tst_util_colorops.moc"
