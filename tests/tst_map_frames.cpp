// Drawing only what can show must leave the picture as the plain drawing gives it: after zooms,
// scrolls and View switches, on screens of device pixel ratio 1, 1.5 and 2, the culled frame and
// the plain frame of the same state are the same pixels.
#include "ImageChecks.h"
#include "chart/TChart.h"
#include "core/Catalogue.h"
#include "core/RegionAlignments.h"
#include "map/MapSession.h"
#include "map/ViewOptions.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

#include <algorithm>
#include <cstring>

namespace {
const QRect kRect(0, 0, 900, 420);

// Rows sharing gene names (names of them, each used 250 / names times a row) in shifted orders,
// both strands, so that connectors cross; or, with many set, more one-record chromosomes than
// the chart has pixel rows.
QByteArray MapText(bool many, int names)
{
    QByteArray text;
    if (many) {
        for (int i = 0; i < 1500; ++i)
            text += "c" + QByteArray::number(i) + "\t" + QByteArray::number(i * 13) + "\t" +
                    QByteArray::number(i * 13 + 400) + "\t1\tg" + QByteArray::number(i % 40) + "\n";
        return text;
    }
    for (int row = 0; row < 8; ++row)
        for (int g = 0; g < 250; ++g) {
            const int name = (g * (row % 3 + 1) + row * 7) % names;
            const int start = g * 1000 + (row * 137) % 500;
            text += "chr" + QByteArray::number(row) + "\t" + QByteArray::number(start) + "\t" +
                    QByteArray::number(start + 600 + (g % 5) * 150) + "\t" +
                    ((g + row) % 4 ? "1" : "-1") + "\tG" + QByteArray::number(name) + "\n";
        }
    return text;
}

// Aligned stretches between rows one and two apart, with identities, short and long, and two
// whose ends lie beyond opposite sides of a zoomed view, so that only their middles cross it.
std::vector<TRegionAlignment> Stretches()
{
    std::vector<TRegionAlignment> links;
    for (int i = 0; i < 120; ++i) {
        const qint32 a = i % 7, b = std::min(7, a + 1 + i % 2);
        const qint32 start = (i * 7919) % 240000 + 1, other = (i * 3571) % 240000 + 1;
        const qint32 length = i % 10 ? 300 + i * 40 : 90000;
        links.push_back({a, b, start, start + length, other, other + length, i % 3 == 0,
                         i % 11 ? float(20 + i % 70) : -1.0f});
    }
    links.push_back({2, 3, 1000, 3000, 240000, 242000, false, 95});
    links.push_back({4, 5, 240000, 242000, 1000, 3000, true, 55});
    return links;
}
} // namespace

class TestMapFrames : public QObject
{
    Q_OBJECT
private slots:
    void culledEqualsPlain_data();
    void culledEqualsPlain();
};

void TestMapFrames::culledEqualsPlain_data()
{
    QTest::addColumn<bool>("many");
    QTest::addColumn<int>("names");
    QTest::addColumn<double>("fraction"); // of the whole map shown
    QTest::addColumn<int>("scrolls");
    QTest::addColumn<QString>("viewText"); // the View switches, by word
    QTest::addColumn<double>("dpr");
    const QList<std::tuple<const char *, bool, int, double, int, const char *>> rows{
        {"whole map", false, 250, 1.0, 0, ""},
        {"tenth, scrolled", false, 250, 0.1, 3, ""},
        {"hundredth, scrolled", false, 250, 0.01, 4, ""},
        {"thousandth", false, 250, 0.001, 2, ""},
        {"tenth, no gene names", false, 250, 0.1, 1, "names"},
        {"tenth, framed arrows and grid", false, 250, 0.1, 2, "frames"},
        {"hundredth, no connectors", false, 250, 0.01, 2, "links"},
        {"whole map, ribbons", false, 250, 1.0, 0, "ribbons"},
        {"tenth, ribbons", false, 250, 0.1, 3, "ribbons"},
        {"hundredth, ribbons", false, 250, 0.01, 3, "ribbons"},
        {"thousandth, ribbons", false, 250, 0.001, 2, "ribbons"},
        {"hundredth, ribbons and stretches", false, 250, 0.01, 3, "ribbons stretches"},
        {"thousandth, curved ribbons and stretches", false, 250, 0.001, 2, "curved stretches"},
        {"tenth, synteny blocks and stretches", false, 250, 0.1, 2, "blocks stretches"},
        {"names five times a row, tenth, curved ribbons", false, 50, 0.1, 2, "curved"},
        // Every end shared by several lines, which fill the rows between.
        {"names five times a row, whole", false, 50, 1.0, 0, ""},
        {"names five times a row, tenth", false, 50, 0.1, 2, ""},
        {"many rows, whole", true, 250, 1.0, 0, ""},
        {"many rows, tenth", true, 250, 0.1, 3, ""},
        // As where the line writer's check fails: lines and boxes through the painter.
        {"whole map, lines by the painter", false, 250, 1.0, 0, "painter"},
        {"hundredth, lines by the painter", false, 250, 0.01, 2, "painter"},
        {"names five times a row, tenth, lines by the painter", false, 50, 0.1, 2, "painter"},
        {"hundredth, ribbons by the painter", false, 250, 0.01, 2, "ribbons stretches painter"},
    };
    for (const double dpr : {1.0, 1.5, 2.0})
        for (const auto &[name, many, names, fraction, scrolls, view] : rows)
            if (dpr == 1 || !std::strstr(view, "painter")) // scaled, nothing is written
                QTest::addRow("%s, ratio %g", name, dpr)
                    << many << names << fraction << scrolls << QString::fromLatin1(view) << dpr;
}

void TestMapFrames::culledEqualsPlain()
{
    QFETCH(bool, many);
    QFETCH(int, names);
    QFETCH(double, fraction);
    QFETCH(int, scrolls);
    QFETCH(QString, viewText);
    const QStringList view = viewText.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QFETCH(double, dpr);
    // The window's frame on a screen of that ratio: the chart draws in its own pixels.
    const auto newFrame = [dpr] {
        QImage image((QSizeF(kRect.size()) * dpr).toSize(), QImage::Format_RGB32);
        image.setDevicePixelRatio(dpr);
        return image;
    };

    TMapSession session;
    session.Install(CatalogueFromRecords(ParseCoordinateText(MapText(many, names))));
    session.View.LinkGenes = !view.contains(QLatin1String("links"));
    if (view.contains(QLatin1String("ribbons")) || view.contains(QLatin1String("curved")))
        session.View.LinkStyle = TLinkStyle::Ribbons;
    if (view.contains(QLatin1String("curved")))
        session.View.RibbonShape = TRibbonShape::Curved;
    if (view.contains(QLatin1String("blocks")))
        session.View.LinkStyle = TLinkStyle::Blocks;
    if (view.contains(QLatin1String("stretches")))
        session.FRegionAlignments = Stretches();
    TChart chart;
    SetupMapChart(chart);
    session.Wire(chart);
    chart.SetChartRect(kRect);
    chart.OnResize(chart);
    QImage screen = newFrame();
    QPainter painter(&screen);
    session.RebuildCycle(chart, painter, kRect);
    if (view.contains(QLatin1String("names")))
        ApplyGeneName(chart, false);
    chart.WriteLines = !view.contains(QLatin1String("painter"));
    if (view.contains(QLatin1String("frames"))) {
        ApplyFrameArrows(chart, true);
        ApplyGrid(chart, true);
    }

    QVERIFY(chart.SeriesCount() > 1);
    const double minimum = chart.BottomAxisMinimum();
    const double maximum = chart.PixelToValue(chart.Series(1), kRect.right());
    const double width = (maximum - minimum) * fraction;
    const double from = minimum + (maximum - minimum - width) / 3;
    chart.ZoomTo(from, from + width);
    for (int frame = 0; frame <= scrolls; ++frame) {
        if (frame > 0)
            chart.ScrollBy(width / 7);
        // The frame the change brings, and the one after it, which starts from the placements
        // that one settled on.
        for (const char *which : {"first", "next"}) {
            chart.Draw(painter, kRect);
            QImage plain = newFrame();
            chart.SkipHiddenWork = false;
            {
                QPainter plainPainter(&plain);
                chart.Draw(plainPainter, kRect);
            }
            chart.SkipHiddenWork = true;
            QVERIFY(HasColour(plain)); // some arrow shows
            QVERIFY2(screen == plain,
                     qPrintable(QStringLiteral("frame %1 (%2) differs").arg(frame).arg(which)));
        }
    }
}

QTEST_MAIN(TestMapFrames)
#include "tst_map_frames.moc"
