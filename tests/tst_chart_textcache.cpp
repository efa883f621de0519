// The chart's measured label texts across rebuilds: rows replaced round after round with other
// names keep the cache near the texts in use, the labels keep their right sizes and the picture
// stays that of a fresh chart after texts were dropped, rows whose labels are hidden keep their
// texts, a font no row uses goes, and the drawing's shape table gives back room a larger map
// needed.
#include "chart/SeriesPainter.h"
#include "chart/TChart.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

namespace {
const QRect kRect(0, 0, 900, 300);

// The names of one round: 'count' names, the first 'shared' of them the same in every round.
QList<QByteArray> RoundNames(int round, int count, int shared)
{
    QList<QByteArray> names;
    for (int i = 0; i < count; ++i)
        names.append(i < shared ? "S" + QByteArray::number(i)
                                : "R" + QByteArray::number(round) + "N" + QByteArray::number(i));
    return names;
}

// Adds row r of labelled arrows, with every name once, in an order of its own.
TArrowSeries &AddRow(TChart &chart, const QList<QByteArray> &names, int r)
{
    TArrowSeries &s = chart.AddSeries(chart.CreateArrowSeries());
    s.Marks.Visible = true;
    s.Marks.Frame.Visible = true;
    s.Marks.Frame.Style = Qt::SolidLine;
    s.Pointer.Pen.Visible = false;
    for (int i = 0; i < names.size(); ++i) {
        const int k = (i * (2 * r + 1)) % int(names.size());
        s.AppendArrow(i * 100, -(r + 1), i * 100 + 60, -(r + 1), names[k], 0x00FF00);
    }
    return s;
}

// Replaces the chart's rows by 'rows' rows of AddRow.
void BuildRows(TChart &chart, const QList<QByteArray> &names, int rows = 2)
{
    for (int s = chart.SeriesCount() - 1; s >= 1; --s)
        chart.FreeSeries(s);
    chart.Series(0).Active = false;
    for (int r = 0; r < rows; ++r)
        AddRow(chart, names, r);
    chart.SetAxisRange(chart.LeftAxis, -(rows + 1), 0);
}

QImage Draw(TChart &chart)
{
    QImage image(kRect.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    chart.Draw(painter, kRect);
    return image;
}

std::size_t Measured(const TChart &chart)
{
    return chart.LastDrawStats().MeasuredTexts;
}

// Every label of 'chart', built by BuildRows from 'names', has the size and the picture it has
// on a chart that never saw another name.
void CompareWithFresh(TChart &chart, const QList<QByteArray> &names, const QImage &picture)
{
    TChart fresh;
    BuildRows(fresh, names, chart.SeriesCount() - 1);
    QCOMPARE(Draw(fresh), picture);
    for (int s = 1; s < chart.SeriesCount(); ++s) {
        for (int i = 0; i < chart.Series(s).Count(); ++i) {
            const TSeriesMarkPosition *a = chart.Series(s).Position(i);
            const TSeriesMarkPosition *b = fresh.Series(s).Position(i);
            QVERIFY(a && b);
            QCOMPARE(a->LabelWidth, b->LabelWidth);
            QCOMPARE(a->LabelHeight, b->LabelHeight);
        }
    }
}
} // namespace

class TestChartTextCache : public QObject
{
    Q_OBJECT

private slots:
    void boundedAcrossRounds_data();
    void boundedAcrossRounds();
    void alternatingSetsKeepOnlyTheShown();
    void hiddenLabelsKeepTheirTexts();
    void unusedFontDropped();
    void shapeTableGivenBack();
};

void TestChartTextCache::boundedAcrossRounds_data()
{
    QTest::addColumn<int>("rounds");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("shared");
    QTest::newRow("new names every round") << 12 << 3000 << 0;
    QTest::newRow("half the names shared") << 12 << 3000 << 1500;
    QTest::newRow("most names shared") << 40 << 3000 << 2900;
    QTest::newRow("small maps") << 40 << 100 << 0;
}

void TestChartTextCache::boundedAcrossRounds()
{
    // As when loading file after file: whatever the rounds brought, the cache holds the texts
    // in use and at most half as many again, or a small fixed number of others.
    QFETCH(int, rounds);
    QFETCH(int, count);
    QFETCH(int, shared);
    TChart chart;
    std::size_t most = 0;
    QImage picture;
    QList<QByteArray> names;
    for (int round = 0; round < rounds; ++round) {
        names = RoundNames(round, count, shared);
        BuildRows(chart, names);
        picture = Draw(chart);
        const std::size_t inUse = std::size_t(count);
        QVERIFY2(Measured(chart) >= inUse, qPrintable(QString::number(Measured(chart))));
        most = std::max(most, Measured(chart));
    }
    const std::size_t bound = std::size_t(count) + std::max<std::size_t>(kMinDroppedTexts, count);
    QVERIFY2(most <= bound,
             qPrintable(QStringLiteral("%1 texts kept, at most %2 expected").arg(most).arg(bound)));
    // Texts kept through a drop are renumbered: every label still has its own size.
    CompareWithFresh(chart, names, picture);
    // A drawing of the same rows again measures nothing new.
    const std::size_t before = Measured(chart);
    QCOMPARE(Draw(chart), picture);
    QCOMPARE(Measured(chart), before);
}

void TestChartTextCache::alternatingSetsKeepOnlyTheShown()
{
    // Two files of different names loaded in turn: each load leaves only its own texts.
    TChart chart;
    const QList<QByteArray> a = RoundNames(1, 2500, 0);
    const QList<QByteArray> b = RoundNames(2, 2500, 0);
    for (int round = 0; round < 6; ++round) {
        BuildRows(chart, round % 2 ? b : a, 3);
        const QImage picture = Draw(chart);
        if (round > 0)
            QCOMPARE(Measured(chart), std::size_t(2500));
        if (round == 5)
            CompareWithFresh(chart, b, picture);
    }
}

void TestChartTextCache::hiddenLabelsKeepTheirTexts()
{
    // A row whose labels are switched off keeps its texts while other rows change, so showing
    // them again measures nothing.
    TChart chart;
    const QList<QByteArray> first = RoundNames(1, 2000, 0);
    const QList<QByteArray> second = RoundNames(2, 2000, 0);
    chart.Series(0).Active = false;
    BuildRows(chart, first, 2);
    chart.FreeSeries(2);
    TArrowSeries &lower = AddRow(chart, second, 1);
    Draw(chart);
    QCOMPARE(Measured(chart), std::size_t(4000));

    lower.Marks.Visible = false;
    // The upper row is made anew with names of its own, twice, so that its old ones are dropped.
    for (int round = 3; round <= 4; ++round) {
        chart.FreeSeries(&chart.Series(1) == &lower ? 2 : 1);
        AddRow(chart, RoundNames(round, 2000, 0), 0);
        Draw(chart);
    }
    const std::size_t kept = Measured(chart);
    QVERIFY2(kept <= 4000 + kMinDroppedTexts, qPrintable(QString::number(kept)));
    lower.Marks.Visible = true;
    Draw(chart);
    QCOMPARE(Measured(chart), kept);
}

void TestChartTextCache::unusedFontDropped()
{
    // Texts measured in a font no row uses any more go with it.
    TChart chart;
    BuildRows(chart, RoundNames(0, 500, 0));
    const QImage small = Draw(chart);
    QCOMPARE(Measured(chart), std::size_t(500));
    for (int s = 1; s < chart.SeriesCount(); ++s)
        chart.Series(s).Marks.Font.Height = -14;
    const QImage large = Draw(chart);
    QVERIFY(large != small);
    QCOMPARE(Measured(chart), std::size_t(500));
    // Back in the first font: measured anew, the same picture.
    for (int s = 1; s < chart.SeriesCount(); ++s)
        chart.Series(s).Marks.Font.Height = -9;
    QCOMPARE(Draw(chart), small);
    QCOMPARE(Measured(chart), std::size_t(500));
}

void TestChartTextCache::shapeTableGivenBack()
{
    TShapeSet set;
    set.Reset(100000);
    QVERIFY(set.Insert({1, 2, 3, 4, 0, 0, 0, 0}));
    set.Trim();
    const std::size_t large = set.Capacity();
    QVERIFY(large >= 200000);
    // A large and a small use between two trims: the room is still needed.
    set.Reset(100000);
    set.Reset(10);
    set.Trim();
    QCOMPARE(set.Capacity(), large);
    // A frame's drawings alternate small and large: one small drawing keeps the room, only
    // small uses over several drawings give it back, and the set works as before.
    set.Reset(10);
    set.Trim();
    QCOMPARE(set.Capacity(), large);
    for (int i = 0; i < 8; ++i) {
        set.Reset(10);
        set.Trim();
    }
    QVERIFY2(set.Capacity() < 1000, qPrintable(QString::number(set.Capacity())));
    set.Reset(10);
    QVERIFY(set.Insert({1, 2, 3, 4, 0, 0, 0, 0}));
    QVERIFY(!set.Insert({1, 2, 3, 4, 0, 0, 0, 0}));
    QVERIFY(set.Insert({1, 2, 3, 5, 0, 0, 0, 0}));
}

QTEST_MAIN(TestChartTextCache)
#include "tst_chart_textcache.moc"
