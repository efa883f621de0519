// Colours by group: shared genes in colours of their own, genes of one row grey, the colour
// table's choices, its errors, and the figure's key of few and many groups.
#include "core/Catalogue.h"
#include "map/FigureLayout.h"
#include "map/GroupColours.h"

#include <QSet>
#include <QtTest>

namespace {
// Chromosome i carries genes named by rows[i], each a record of its own.
TCatalogue Rows(const QList<QList<QByteArray>> &rows)
{
    QByteArray text;
    for (qsizetype r = 0; r < rows.size(); ++r)
        for (qsizetype g = 0; g < rows[r].size(); ++g)
            text += "c" + QByteArray::number(r) + "\t" + QByteArray::number(g * 100 + 1) + "\t" +
                    QByteArray::number(g * 100 + 50) + "\t1\t" + rows[r][g] + "\n";
    return CatalogueFromRecords(ParseCoordinateText(text));
}

TColor ColourOf(const TCatalogue &c, const std::vector<TColor> &colours, const QByteArray &name)
{
    const auto at = std::find(c.FGeneNames.begin(), c.FGeneNames.end(), name);
    return colours.at(std::size_t(at - c.FGeneNames.begin()));
}
} // namespace

class TestMapColours : public QObject
{
    Q_OBJECT

private slots:
    void palette();
    void sharedAndSingle_data();
    void sharedAndSingle();
    void tableErrors_data();
    void tableErrors();
    void key_data();
    void key();
};

void TestMapColours::palette()
{
    // At least 24 colours apart before any repeats; a repeat comes back at another lightness.
    QSet<TColor> first;
    for (std::size_t k = 0; k < 30; ++k)
        first.insert(CategoricalColour(k));
    QCOMPARE(first.size(), 30);
    QVERIFY(!first.contains(kSingleRowColour));
    QVERIFY(CategoricalColour(30) != CategoricalColour(0));
    QVERIFY(CategoricalColour(60) != CategoricalColour(30));
}

void TestMapColours::sharedAndSingle_data()
{
    QTest::addColumn<QList<bool>>("checked");
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QList<QByteArray>>("grey");     // genes on one checked row at most
    QTest::addColumn<QList<QByteArray>>("coloured"); // each its own colour
    QTest::newRow("all rows") << QList<bool>{true, true, true} << QByteArray()
                              << QList<QByteArray>{"SOLO"} << QList<QByteArray>{"A", "B", "C"};
    // C is on rows 0 and 2: with row 2 unchecked it is found once.
    QTest::newRow("a row unchecked")
        << QList<bool>{true, true, false} << QByteArray() << QList<QByteArray>{"SOLO", "C"}
        << QList<QByteArray>{"A", "B"};
    QTest::newRow("table") << QList<bool>{true, true, true} << QByteArray("solo #102030\n")
                           << QList<QByteArray>{} << QList<QByteArray>{"A", "B", "C", "SOLO"};
}

void TestMapColours::sharedAndSingle()
{
    QFETCH(QList<bool>, checked);
    QFETCH(QByteArray, table);
    QFETCH(QList<QByteArray>, grey);
    QFETCH(QList<QByteArray>, coloured);
    const TCatalogue c = Rows({{"a", "b", "c", "solo"}, {"b", "a"}, {"c"}});
    const TColourTable chosen = ParseColourTable(table);
    const std::vector<TColor> colours =
        GroupColours(c, std::vector<bool>(checked.begin(), checked.end()), chosen);
    for (const QByteArray &g : grey)
        QCOMPARE(ColourOf(c, colours, g), kSingleRowColour);
    QSet<TColor> seen;
    for (const QByteArray &g : coloured)
        seen.insert(ColourOf(c, colours, g));
    QCOMPARE(seen.size(), coloured.size());
    QVERIFY(!seen.contains(kSingleRowColour));
    if (!table.isEmpty())
        QCOMPARE(ColourOf(c, colours, "SOLO"), RGBToColor(0x10, 0x20, 0x30));
}

void TestMapColours::tableErrors_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("no colour") << QByteArray("# mine\nrecA\n")
                               << "Error in the colour table at line 2: give a gene or group "
                                  "name, then its colour";
    QTest::newRow("not a colour") << QByteArray("recA #12345\n")
                                  << "Error in the colour table at line 1: \"#12345\" is no "
                                     "colour: give #rrggbb or a colour name";
}

void TestMapColours::tableErrors()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, message);
    try {
        ParseColourTable(text);
        QFAIL("a broken table was read");
    } catch (const EInOutError &e) {
        QCOMPARE(e.message(), message);
    }
    QCOMPARE(ParseColourTable("recA\tteal\n").value("RECA"), RGBToColor(0, 128, 128));
}

void TestMapColours::key_data()
{
    QTest::addColumn<int>("shared");
    QTest::addColumn<int>("listed");
    QTest::newRow("few") << 3 << 3;
    QTest::newRow("at the limit") << 30 << 30;
    QTest::newRow("many") << 31 << 0;
}

void TestMapColours::key()
{
    QFETCH(int, shared);
    QFETCH(int, listed);
    QList<QByteArray> row;
    for (int g = 0; g < shared; ++g)
        row << "g" + QByteArray::number(g);
    const TCatalogue c = Rows({row + QList<QByteArray>{"solo"}, row});
    TFigureDecor decor;
    SetColourKey(decor, c, {true, true}, {});
    QVERIFY(decor.ColourKey);
    QCOMPARE(decor.ColourKeyCount, qint64(shared));
    QCOMPARE(qsizetype(decor.ColourKeyGroups.size()), qsizetype(listed));
}

QTEST_MAIN(TestMapColours)
#include "tst_map_colours.moc"
