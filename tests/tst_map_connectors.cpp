// Connectors between homologous labels: which pairs are joined (checked against a plain rescan
// of the lower rows), the shape of the line, and ends without a placement.
#include "MapFixtures.h"
#include "map/Connectors.h"
#include "map/LabelLayout.h"
#include "map/RowReport.h"
#include "map/ViewOptions.h"

#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include <array>

using TLink = std::array<int, 4>; // upper series, point, lower series, point
Q_DECLARE_METATYPE(TLink)

namespace {
// Rows of labels straight onto the chart, points 10 units apart so the order is the given one.
void FillRows(TChart &chart, const QList<QList<QByteArray>> &rows)
{
    SetupMapChart(chart);
    for (qsizetype r = 0; r < rows.size(); ++r) {
        TArrowSeries &s = chart.AddSeries(chart.CreateArrowSeries());
        for (qsizetype p = 0; p < rows[r].size(); ++p)
            s.AppendArrow(10.0 * p, -(r + 1), 10.0 * p + 5, -(r + 1), rows[r][p], 0);
    }
}

// Every connector of every link group, in the order of a top-down search.
QList<TLink> Found(const TChart &chart)
{
    QList<TLink> links;
    ForEachLinkGroup(chart, [&links](int s, const int *p, int ps, int t, const int *q, int qs) {
        for (int i = 0; i < ps * qs; ++i)
            links << TLink{s, p[i / qs], t, q[i % qs]};
    });
    std::sort(links.begin(), links.end());
    return links;
}

// The search as a user would describe it: for every point, scan the rows below one by one until
// a row has the label, joining all its occurrences there.
QList<TLink> Rescan(const TChart &chart)
{
    QList<TLink> links;
    const int n = chart.SeriesCount();
    for (int s = 1; s <= n - 2; ++s) {
        const TArrowSeries &upper = chart.Series(s);
        for (int p = 0; p < upper.Count(); ++p) {
            const QByteArray &label = upper.Label(p);
            if (label == "???")
                continue;
            int found = 0;
            int t = s;
            do {
                ++t;
                const TArrowSeries &lower = chart.Series(t);
                for (int q = 0; q < lower.Count(); ++q)
                    if (lower.Label(q) == label) {
                        ++found;
                        links << TLink{s, p, t, q};
                    }
            } while (found == 0 && t != n - 1);
        }
    }
    return links;
}

bool Dark(const QImage &image, int x, int y)
{
    // A one-pixel line may be smoothed over the two pixels around its position.
    for (int dx = -1; dx <= 0; ++dx)
        if (qRed(image.pixel(x + dx, y)) < 160)
            return true;
    return false;
}
} // namespace

class TestMapConnectors : public QObject
{
    Q_OBJECT

private slots:
    void pairs_data();
    void pairs();
    void sameAsRescan();
    void lineShape();
    void endsWithoutLabels_data();
    void endsWithoutLabels();
    void repeatedNames_data();
    void repeatedNames();
};

void TestMapConnectors::pairs_data()
{
    QTest::addColumn<QList<QList<QByteArray>>>("rows");
    QTest::addColumn<QList<TLink>>("links");
    QTest::newRow("rows 1 and 3 only")
        << QList<QList<QByteArray>>{{"X", "A"}, {"B"}, {"X"}} << QList<TLink>{{1, 0, 3, 0}};
    QTest::newRow("rows 1, 2 and 3") << QList<QList<QByteArray>>{{"X"}, {"X"}, {"X"}}
                                     << QList<TLink>{{1, 0, 2, 0}, {2, 0, 3, 0}};
    QTest::newRow("twice on the upper row")
        << QList<QList<QByteArray>>{{"X", "X"}, {"X"}} << QList<TLink>{{1, 0, 2, 0}, {1, 1, 2, 0}};
    QTest::newRow("twice on the lower row") << QList<QList<QByteArray>>{{"X"}, {"A", "X", "X"}}
                                            << QList<TLink>{{1, 0, 2, 1}, {1, 0, 2, 2}};
    QTest::newRow("??? never") << QList<QList<QByteArray>>{{"???", "X"}, {"???"}, {"???", "X"}}
                               << QList<TLink>{{1, 1, 3, 1}};
    QTest::newRow("case matters") << QList<QList<QByteArray>>{{"x"}, {"X"}} << QList<TLink>{};
    QTest::newRow("nearest lower row only")
        << QList<QList<QByteArray>>{{"X"}, {"Y"}, {"X"}, {"X", "Y"}}
        << QList<TLink>{{1, 0, 3, 0}, {2, 0, 4, 1}, {3, 0, 4, 0}};
    QTest::newRow("one row") << QList<QList<QByteArray>>{{"X", "X"}} << QList<TLink>{};
    QTest::newRow("no row") << QList<QList<QByteArray>>{} << QList<TLink>{};
    QTest::newRow("empty row in between")
        << QList<QList<QByteArray>>{{"X"}, {}, {"X"}} << QList<TLink>{{1, 0, 3, 0}};
}

void TestMapConnectors::pairs()
{
    QFETCH(QList<QList<QByteArray>>, rows);
    QFETCH(QList<TLink>, links);
    TChart chart;
    FillRows(chart, rows);
    QCOMPARE(Found(chart), links);
    QCOMPARE(Rescan(chart), links);
}

void TestMapConnectors::sameAsRescan()
{
    QRandomGenerator random(20240611);
    const QList<QByteArray> alphabet{"A", "B", "C", "D", "E", "F", "???", "12"};
    for (int round = 0; round < 200; ++round) {
        QList<QList<QByteArray>> rows(random.bounded(1, 8));
        for (QList<QByteArray> &row : rows) {
            const int count = random.bounded(0, 12);
            for (int p = 0; p < count; ++p)
                row << alphabet[random.bounded(int(alphabet.size()))];
        }
        TChart chart;
        FillRows(chart, rows);
        const QList<TLink> expected = Rescan(chart);
        QCOMPARE(Found(chart), expected);
    }
}

void TestMapConnectors::lineShape()
{
    // One connector: GENE on both rows, at different places.
    TMapFixture f(MakeCatalogue(
        {{"chrA", {{0, 100, "LEFT"}, {200, 300, "GENE"}}}, {"chrB", {{600, 700, "GENE"}}}}));
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    const QRect rect(0, 0, 800, 500);
    QImage image(rect.size(), QImage::Format_RGB32);
    {
        QPainter painter(&image);
        chart.Draw(painter, rect);
    }
    const QPoint a = chart.Series(1).Position(1)->LeaderEnd;
    const QPoint b = chart.Series(2).Position(0)->LeaderEnd;
    QVERIFY(b.x() - a.x() > 100);
    QVERIFY(b.y() - a.y() > 100);

    image.fill(Qt::white);
    {
        QPainter painter(&image);
        TCanvas canvas(painter);
        DrawConnectors(chart, canvas);
    }
    for (int dy = 2; dy < 38; ++dy)
        QVERIFY2(Dark(image, a.x(), a.y() + dy), "straight down from the upper end");
    for (int dy = 2; dy < 18; ++dy)
        QVERIFY2(Dark(image, b.x(), b.y() - dy), "straight down into the lower end");
    // The slanted part runs from 40 below the upper end to 20 above the lower one.
    const QPoint mid((a.x() + b.x()) / 2, (a.y() + 40 + b.y() - 20) / 2);
    bool slant = false;
    for (int dy = -2; dy <= 2; ++dy)
        slant = slant || Dark(image, mid.x(), mid.y() + dy);
    QVERIFY(slant);
    // Nothing else: not left of the upper end, not above it, not below the lower end.
    QVERIFY(!Dark(image, a.x() - 6, a.y() + 20));
    QVERIFY(!Dark(image, a.x(), a.y() - 6));
    QVERIFY(!Dark(image, b.x(), b.y() + 6));
    // LEFT has no partner.
    const QPoint left = chart.Series(1).Position(0)->LeaderEnd;
    QVERIFY(!Dark(image, left.x(), left.y() + 20));
}

void TestMapConnectors::endsWithoutLabels()
{
    QFETCH(bool, geneNames);
    TMapFixture f(MakeCatalogue({{"chrA", {{0, 100, "GENE"}}}, {"chrB", {{0, 100, "GENE"}}}}));
    TChart chart;
    SetupMapChart(chart);
    f.Rebuild(chart);
    ApplyGeneName(chart, geneNames);
    QCOMPARE(Found(chart).size(), 1);

    // No label drawn yet, or none ever: the connector stands where the layout would hang it.
    QImage image(400, 300, QImage::Format_RGB32);
    image.fill(Qt::white);
    chart.SetChartRect(image.rect());
    {
        QPainter painter(&image);
        TCanvas canvas(painter);
        DrawConnectors(chart, canvas);
    }
    const QPoint a(chart.ValueToPixel(chart.BottomAxis, 50),
                   chart.ValueToPixel(chart.LeftAxis, -1) - chart.LabelHeight(chart.Series(1)) / 2);
    for (int dy = 2; dy < 38; ++dy)
        QVERIFY2(Dark(image, a.x(), a.y() + dy), "straight down from the upper end");
    QVERIFY(!Dark(image, a.x(), a.y() - 6));
}

void TestMapConnectors::endsWithoutLabels_data()
{
    QTest::addColumn<bool>("geneNames");
    QTest::newRow("names not drawn yet") << true;
    QTest::newRow("no gene names") << false;
}

void TestMapConnectors::repeatedNames_data()
{
    // Labels and where each row's points stand (in chart units, 10 a point when empty).
    QTest::addColumn<QList<QList<QByteArray>>>("rows");
    QTest::addColumn<int>("repeat");
    QTest::addColumn<qreal>("dpr");
    QTest::addColumn<int>("width");
    const QList<QByteArray> mixed{"X", "A", "X", "X", "B", "X", "A", "X", "X", "X", "X", "X"};
    const QList<QByteArray> many(40, "X");
    QTest::newRow("mixed, repeated")
        << QList<QList<QByteArray>>{mixed, mixed, mixed} << 1 << 1.0 << 300;
    QTest::newRow("many on one pixel") << QList<QList<QByteArray>>{many, many} << 20 << 1.0 << 60;
    QTest::newRow("rows fill") << QList<QList<QByteArray>>{many, many, many} << 1 << 1.0 << 80;
    QTest::newRow("rows fill, scaled") << QList<QList<QByteArray>>{many, many} << 1 << 2.0 << 80;
    QTest::newRow("wide") << QList<QList<QByteArray>>{many, mixed, many} << 3 << 1.0 << 900;
}

// Connectors of a name repeated on both rows: the same pixels as every link drawn one by one,
// and the same crossings as every link counted.
void TestMapConnectors::repeatedNames()
{
    QFETCH(QList<QList<QByteArray>>, rows);
    QFETCH(int, repeat);
    QFETCH(qreal, dpr);
    QFETCH(int, width);
    TChart chart;
    SetupMapChart(chart);
    // Points repeat each place `repeat` times, so that several share their ends.
    for (qsizetype r = 0; r < rows.size(); ++r) {
        TArrowSeries &s = chart.AddSeries(chart.CreateArrowSeries());
        for (qsizetype p = 0; p < rows[r].size(); ++p) {
            const double x = 10.0 * double((p * (r + 3)) % rows[r].size() / repeat);
            s.AppendArrow(x, -(r + 1), x + 5, -(r + 1), rows[r][p], 0);
        }
    }
    // The chart reaches past the picture on both sides, as when zoomed in.
    const QRect rect(0, 0, width, 240);
    chart.SetChartRect(rect.adjusted(-40, 0, 40, 0));
    PlanGeneLabels(chart, false);
    TConnectorEnds layout;
    const std::vector<QPoint> ends = layout.Of(chart);
    std::vector<int> start{0};
    for (int s = 0; s < chart.SeriesCount(); ++s)
        start.push_back(start.back() + chart.Series(s).Count());
    const auto picture = [&] {
        QImage image(rect.size() * dpr, QImage::Format_RGB32);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::white);
        return image;
    };
    QImage expected = picture();
    std::vector<std::vector<std::pair<double, double>>> links(std::size_t(chart.SeriesCount()));
    {
        QPainter painter(&expected);
        painter.setPen(QPen(Qt::black, 1));
        for (const auto &[s, p, t, q] : Found(chart)) {
            const QPoint a = ends[std::size_t(start[std::size_t(s)] + p)];
            const QPoint b = ends[std::size_t(start[std::size_t(t)] + q)];
            const QPoint line[4] = {a, a + QPoint(0, 40), b - QPoint(0, 20), b};
            painter.drawPolyline(line, 4);
            if (t == s + 1)
                links[std::size_t(t)].emplace_back(chart.Series(s).StartX(p),
                                                   chart.Series(t).StartX(q));
        }
    }
    for (const bool skip : {false, true}) {
        chart.SkipHiddenWork = skip;
        QImage image = picture();
        {
            QPainter painter(&image);
            TCanvas canvas(painter);
            TConnectors().Draw(chart, canvas, ends);
        }
        QVERIFY2(image == expected, skip ? "drawing what shows" : "plain drawing");
    }
    const std::vector<tCrossings> crossings = ConnectorCrossings(chart);
    for (std::size_t s = 0; s < links.size(); ++s)
        QCOMPARE(CrossingsText(crossings[s]), CrossingsText(CountCrossings(links[s])));
}

QTEST_MAIN(TestMapConnectors)
#include "tst_map_connectors.moc"
