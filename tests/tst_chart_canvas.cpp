// The handlers' canvas: text placed by its top-left corner and measured in the current font,
// the bold style, and lines in the pen set last.
#include "chart/LineRaster.h"
#include "chart/PixelMask.h"
#include "chart/PixelMemo.h"
#include "chart/TCanvas.h"

#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

namespace {
QRect Ink(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 160)
                box |= QRect(x, y, 1, 1);
    return box;
}

QFont Font()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(20);
    return font;
}
} // namespace

class TestChartCanvas : public QObject
{
    Q_OBJECT

private slots:
    void textByTopLeft();
    void boldIsWider();
    void linesInPen_data();
    void linesInPen();
    void linesWrittenAsPainterDraws_data();
    void linesWrittenAsPainterDraws();
    void lineRunsArePixelsDrawn_data();
    void lineRunsArePixelsDrawn();
    void memoPutsBackOnlyOverSamePixels_data();
    void memoPutsBackOnlyOverSamePixels();
    void maskAnswersAsEveryPixel_data();
    void maskAnswersAsEveryPixel();
    void scaledStrokesHiddenChangeNothing_data();
    void scaledStrokesHiddenChangeNothing();
    void stampedLinesAsPainterDraws_data();
    void stampedLinesAsPainterDraws();
};

void TestChartCanvas::textByTopLeft()
{
    QImage image(200, 80, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(Font());
    TCanvas canvas(painter);
    canvas.SetPen(0x0000FF, 1, Qt::SolidLine); // a line pen does not colour the text
    canvas.TextOut(30, 20, "MMM");
    const int width = canvas.TextWidth("MMM");
    const int height = canvas.TextHeight("M");
    painter.end();
    const QRect ink = Ink(image);
    QVERIFY(!ink.isEmpty());
    QVERIFY(ink.left() >= 30 && ink.left() <= 33);
    QVERIFY(ink.top() >= 20 && ink.top() <= 20 + height / 2);
    QVERIFY(ink.bottom() < 20 + height);
    QVERIFY(std::abs(ink.width() - width) <= 4);
    const QRgb c = image.pixel(ink.center());
    QVERIFY(qRed(c) == qBlue(c) || qGray(c) > 160); // black or background, never blue
    QCOMPARE(canvas.TextWidth(""), 0);
}

void TestChartCanvas::boldIsWider()
{
    QImage image(10, 10, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setFont(Font());
    TCanvas canvas(painter);
    const int plain = canvas.TextWidth("Chromosome_C");
    canvas.SetFontBold(true);
    QVERIFY(painter.font().bold());
    QVERIFY(canvas.TextWidth("Chromosome_C") > plain);
    QCOMPARE(painter.font().pixelSize(), 20); // only the style changes
}

void TestChartCanvas::linesInPen_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<bool>("gaps");
    QTest::newRow("solid") << int(Qt::SolidLine) << false;
    QTest::newRow("dot") << int(Qt::DotLine) << true;
}

void TestChartCanvas::linesInPen()
{
    QFETCH(int, style);
    QFETCH(bool, gaps);
    QImage image(100, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    TCanvas canvas(painter);
    canvas.SetPen(0x0000FF, 1, Qt::PenStyle(style));
    canvas.MoveTo(10, 10);
    canvas.LineTo(90, 10);
    // A polyline continues from nowhere: its own points only.
    const QPoint path[3] = {{10, 50}, {10, 90}, {90, 90}};
    canvas.Polyline(path, 3);
    painter.end();
    int red = 0, white = 0;
    for (int x = 10; x <= 90; ++x) {
        const QRgb c = image.pixel(x, 10);
        red += c == qRgb(255, 0, 0);
        white += c == qRgb(255, 255, 255);
    }
    QVERIFY(red > 20);
    QCOMPARE(white > 20, gaps);
    QCOMPARE(image.pixel(10, 70) == qRgb(255, 0, 0) || gaps, true);
    QCOMPARE(image.pixel(50, 30), qRgb(255, 255, 255));
    for (int y = 11; y < 50; ++y)
        QCOMPARE(image.pixel(10, y), qRgb(255, 255, 255)); // no line from the pen position
}

void TestChartCanvas::linesWrittenAsPainterDraws_data()
{
    QTest::addColumn<int>("reach");  // how far outside the surface the points may lie
    QTest::addColumn<int>("points"); // per polyline; 0: a connector's drop, slant and rise
    QTest::addColumn<QPoint>("shift");
    QTest::addColumn<QRect>("clip"); // empty: none
    // 1: width 0 and flat caps, 2: premultiplied, 3: smoothed, 4: dotted, 5: dashes, offset,
    // 6: filled boxes, 7: two boxes taken as written, lines under them passed over
    QTest::addColumn<int>("variant");
    QTest::newRow("connectors") << 200 << 0 << QPoint(3, -2) << QRect(10, 8, 120, 70) << 0;
    QTest::newRow("short, many turns") << 6 << 7 << QPoint() << QRect() << 0;
    QTest::newRow("far past the surface") << 3000000 << 3 << QPoint(-7, 5) << QRect() << 0;
    QTest::newRow("thin, flat ends") << 40 << 4 << QPoint(1, 1) << QRect(-5, 20, 90, 300) << 1;
    QTest::newRow("premultiplied") << 100 << 0 << QPoint() << QRect(0, 0, 80, 45) << 2;
    QTest::newRow("smoothed: not written") << 50 << 2 << QPoint() << QRect() << 3;
    QTest::newRow("dotted single lines") << 60 << 2 << QPoint(2, 0) << QRect(5, 5, 99, 70) << 4;
    QTest::newRow("dashed turns") << 9 << 6 << QPoint() << QRect() << 5;
    QTest::newRow("boxes") << 30 << 0 << QPoint(4, -3) << QRect(8, 6, 100, 60) << 6;
    QTest::newRow("under boxes") << 4 << 5 << QPoint(1, 2) << QRect(0, 3, 150, 80) << 7;
}

// The engine's own pixels are the reference, line by line, on every kind of shape a map draws
// and the turns, clips and far ends where its stepping has special cases.
void TestChartCanvas::linesWrittenAsPainterDraws()
{
    QFETCH(int, reach);
    QFETCH(int, points);
    QFETCH(QPoint, shift);
    QFETCH(QRect, clip);
    QFETCH(int, variant);
    // Its own check before use, over every pen and fill it writes, agrees here too.
    QVERIFY(LineRasterAgreesWithPainter());
    const QImage::Format format =
        variant == 2 ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    QImage engine(160, 90, format), own(engine.size(), format);
    engine.fill(Qt::white);
    own.fill(Qt::white);
    QPainter pe(&engine), po(&own);
    for (QPainter *p : {&pe, &po}) {
        QPen pen(Qt::black, 1, Qt::SolidLine);
        if (variant == 1)
            pen = QPen(Qt::darkGreen, 0, Qt::SolidLine, Qt::FlatCap);
        else if (variant == 4)
            pen = QPen(Qt::gray, 1, Qt::DotLine);
        else if (variant == 5)
            pen = QPen(Qt::blue, 0, Qt::DashDotLine), pen.setDashOffset(3.7);
        p->setPen(pen);
        p->setRenderHint(QPainter::Antialiasing, variant == 3);
        p->translate(shift);
        if (!clip.isEmpty())
            p->setClipRect(clip);
    }
    TLineRaster raster(po, variant < 4 || variant == 7);
    QCOMPARE(raster.Available() && raster.UsePen(po.pen()), variant != 3);
    if (variant == 3)
        return;
    // Device pixels that something drawn later paints over: only the rest is compared.
    const QList<QRect> later =
        variant == 7 ? QList<QRect>{QRect(10, 5, 140, 60), QRect(40, 60, 60, 25)} : QList<QRect>();
    TPixelMask mask;
    mask.Reset(engine.size());
    for (const QRect &r : later)
        mask.Set(r);
    if (variant == 7)
        raster.TakeAsWritten(mask);
    const auto shown = [&later](const QImage &image) {
        QImage copy = image;
        QPainter painter(&copy);
        for (const QRect &r : later)
            painter.fillRect(r, Qt::red);
        return copy;
    };
    int hidden = 0;
    QRandomGenerator random(quint32(reach * 7 + points));
    const auto at = [&](int span) { return -reach + int(random.bounded(2 * reach + span)); };
    for (int i = 0; i < 3000; ++i) {
        QPolygon line(points ? points : 4);
        for (QPoint &p : line)
            p = QPoint(at(engine.width()), at(engine.height()));
        // Many points: a walk of short steps back and forth, turning on the spot.
        for (qsizetype k = 1; points > 4 && k < line.size(); ++k)
            line[k] = line[k - 1] + QPoint(int(random.bounded(2 * reach + 1)) - reach,
                                           int(random.bounded(2 * reach + 1)) - reach);
        if (!points) {
            line[1] = line[0] + QPoint(0, int(random.bounded(45)));
            line[2] = line[3] - QPoint(0, int(random.bounded(25)));
        }
        if (variant == 6) {
            const QRect box(line[0], QSize(line[1].x() / 4, line[1].y() / 4));
            const QColor color = QColor::fromRgb(random.generate() | 0xff000000u);
            pe.fillRect(box, color);
            QVERIFY(raster.FillRect(box, color));
        } else if (line.size() == 2) {
            pe.drawLine(line[0], line[1]);
            raster.Line(line[0], line[1]);
        } else {
            pe.drawPolyline(line);
            if (variant == 7 && raster.PolylineHidden(line.constData(), int(line.size())))
                ++hidden;
            else if (!raster.Polyline(line.constData(), int(line.size())))
                po.drawPolyline(line);
        }
        if (later.isEmpty() ? engine != own : shown(engine) != shown(own)) {
            QString text;
            for (const QPoint &p : line)
                text += QStringLiteral(" (%1,%2)").arg(p.x()).arg(p.y());
            QFAIL(qPrintable(QStringLiteral("differs after line %1:%2").arg(i).arg(text)));
        }
    }
    QVERIFY(later.isEmpty() || hidden > 300);
}

void TestChartCanvas::lineRunsArePixelsDrawn_data()
{
    QTest::addColumn<int>("reach"); // how far outside the surface the ends may lie
    QTest::addColumn<QPoint>("shift");
    QTest::addColumn<QRect>("clip"); // empty: none
    QTest::addColumn<bool>("dashed");
    QTest::newRow("inside") << 0 << QPoint() << QRect() << false;
    QTest::newRow("shifted, clipped") << 80 << QPoint(5, -3) << QRect(12, 9, 110, 60) << false;
    QTest::newRow("far past the surface") << 2000000 << QPoint(-2, 4) << QRect() << false;
    QTest::newRow("dashed: not told") << 20 << QPoint() << QRect() << true;
}

// The runs a line is told to write are the pixels the engine draws for it, one by one.
void TestChartCanvas::lineRunsArePixelsDrawn()
{
    QFETCH(int, reach);
    QFETCH(QPoint, shift);
    QFETCH(QRect, clip);
    QFETCH(bool, dashed);
    QImage engine(160, 90, QImage::Format_RGB32), own(engine.size(), QImage::Format_RGB32);
    const QPen pen(Qt::red, 0, dashed ? Qt::DashLine : Qt::SolidLine);
    const auto setUp = [&](QPainter &painter) {
        painter.setPen(pen);
        painter.translate(shift);
        painter.setClipRect(clip, clip.isEmpty() ? Qt::NoClip : Qt::ReplaceClip);
    };
    QPainter po(&own);
    setUp(po);
    TLineRaster raster(po, false);
    QVERIFY(raster.Available() && raster.UsePen(pen));
    QRandomGenerator random(quint32(reach + 11));
    const auto at = [&](int span) { return -reach + int(random.bounded(2 * reach + span)); };
    std::vector<TLineRaster::TRun> runs;
    for (int i = 0; i < 2000; ++i) {
        const QPoint p(at(engine.width()), at(engine.height()));
        const QPoint q = i % 3 ? QPoint(at(engine.width()), at(engine.height())) : p;
        QCOMPARE(raster.LineRuns(p, q, runs), !dashed);
        if (dashed)
            return;
        engine.fill(Qt::white);
        QPainter pe(&engine);
        setUp(pe);
        pe.drawLine(p, q);
        pe.end();
        QImage told(engine.size(), QImage::Format_RGB32);
        told.fill(Qt::white);
        for (const TLineRaster::TRun &run : runs)
            for (int k = run.From; k <= run.To; ++k)
                told.setPixel((run.Column ? QPoint(run.Cross, k) : QPoint(k, run.Cross)) + shift,
                              qRgb(255, 0, 0));
        QVERIFY2(told == engine, qPrintable(QStringLiteral("line %1").arg(i)));
    }
}

void TestChartCanvas::memoPutsBackOnlyOverSamePixels_data()
{
    QTest::addColumn<int>("change"); // what differs the second time
    QTest::addColumn<bool>("replayed");
    QTest::newRow("nothing") << 0 << true;
    QTest::newRow("a pixel under the text") << 1 << false;
    QTest::newRow("a pixel outside its box") << 2 << true;
    QTest::newRow("the inputs") << 3 << false;
    QTest::newRow("the painter's shift") << 4 << false;
}

// A step remembered by its pixels is put back only where drawing it again would give them.
void TestChartCanvas::memoPutsBackOnlyOverSamePixels()
{
    QFETCH(int, change);
    QFETCH(bool, replayed);
    const QRect box(10, 10, 120, 40);
    TPixelMemo memo;
    for (int time = 0; time < 2; ++time) {
        const bool second = time == 1;
        QImage image(160, 80, QImage::Format_RGB32);
        image.fill(Qt::white);
        if (second && change == 1)
            image.setPixel(24, 30, qRgb(200, 40, 40));
        if (second && change == 2)
            image.setPixel(150, 70, qRgb(200, 40, 40));
        const int shift = second && change == 4 ? 1 : 0;
        const QByteArray text = second && change == 3 ? "MWM" : "MMW";
        QImage plain = image.copy();
        for (bool remembered : {true, false}) {
            QPainter painter(remembered ? &image : &plain);
            painter.translate(shift, 0);
            painter.setFont(Font());
            TCanvas canvas(painter);
            if (remembered && memo.Replay(painter, box, text)) {
                QVERIFY(second && replayed);
                continue;
            }
            QVERIFY(!(remembered && second && replayed));
            canvas.TextOut(20, 20, text);
            if (remembered)
                memo.Keep(painter);
        }
        QCOMPARE(image, plain);
    }
}

void TestChartCanvas::maskAnswersAsEveryPixel_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("boxes");
    // Word boundaries inside, at and past the edges; sparse and nearly full masks.
    QTest::newRow("narrow") << 40 << 6;
    QTest::newRow("one word") << 64 << 30;
    QTest::newRow("words, sparse") << 200 << 8;
    QTest::newRow("words, full") << 200 << 400;
}

void TestChartCanvas::maskAnswersAsEveryPixel()
{
    QFETCH(int, width);
    QFETCH(int, boxes);
    const QSize size(width, 70);
    TPixelMask mask;
    mask.Reset(size);
    std::vector<char> set(std::size_t(width * size.height()), 0);
    QRandomGenerator random(quint32(width + boxes));
    const auto anyRect = [&](int most) {
        return QRect(int(random.bounded(width + 20)) - 10, int(random.bounded(90)) - 10,
                     int(random.bounded(most)) + 1, int(random.bounded(most)) + 1);
    };
    for (int i = 0; i < boxes; ++i) {
        const QRect r = anyRect(70);
        mask.Set(r);
        const QRect d = r & QRect(QPoint(0, 0), size);
        for (int y = d.top(); y <= d.bottom(); ++y)
            for (int x = d.left(); x <= d.right(); ++x)
                set[std::size_t(y * width + x)] = 1;
    }
    for (int i = 0; i < 3000; ++i) {
        const QRect r = anyRect(i % 2 ? 8 : 140);
        const QRect d = r & QRect(QPoint(0, 0), size);
        bool all = true, any = false;
        for (int y = d.top(); y <= d.bottom(); ++y)
            for (int x = d.left(); x <= d.right(); ++x) {
                all = all && set[std::size_t(y * width + x)];
                any = any || set[std::size_t(y * width + x)];
            }
        QVERIFY2(mask.AllSet(r) == all && mask.AnySet(r) == any,
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(r.x())
                                .arg(r.y())
                                .arg(r.width())
                                .arg(r.height())));
    }
}

// On a scaled image, or whole pixels the line writer does not serve, a connector said to change
// nothing (its pixels black, or under later boxes) must leave every pixel outside those boxes as
// it was: white pixels lie about its strokes where the pen may reach, half under a later box.
void TestChartCanvas::scaledStrokesHiddenChangeNothing_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("reach"); // how far outside the surface the ends may lie
    QTest::newRow("whole pixels") << 1.0 << 60;
    QTest::newRow("whole pixels, ends far outside") << 1.0 << 200000;
    QTest::newRow("ratio 1.5") << 1.5 << 60;
    QTest::newRow("ratio 2") << 2.0 << 60;
    QTest::newRow("ratio 2, ends far outside") << 2.0 << 200000;
    QTest::newRow("scale 6.25") << 6.25 << 60;
}

void TestChartCanvas::scaledStrokesHiddenChangeNothing()
{
    QFETCH(double, scale);
    QFETCH(int, reach);
    // About 320 by 180 device pixels at every scale.
    const QSize surface = (QSizeF(320, 180) / scale).toSize();
    QImage image((QSizeF(surface) * scale).toSize(), QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    QRandomGenerator random(quint32(scale * 4 + reach));
    int hidden = 0;
    for (int i = 0; i < 1000; ++i) {
        const auto x = [&] { return -reach + int(random.bounded(2 * reach + surface.width())); };
        const auto y = [&] { return -5 + int(random.bounded(surface.height() + 10)); };
        const QPoint a(x(), y()), b(x(), y());
        const QPoint line[4] = {a, a + QPoint(0, 5), b - QPoint(0, 5), b};
        image.fill(Qt::black);
        TPixelMask later;
        later.Reset(image.size());
        for (int k = 0; k < 6; ++k) {
            const int j = k % 3; // along the drop, the slant and the rise
            const QPointF on =
                (line[j] + random.bounded(1.0) * QPointF(line[j + 1] - line[j])) * scale;
            const QPoint px(int(on.x() + random.bounded(7.0) - 3.5),
                            int(on.y() + random.bounded(7.0) - 3.5));
            if (image.rect().contains(px))
                image.setPixel(px, qRgb(255, 255, 255));
            if (k % 2)
                later.Set(QRect(px, QSize(1, 1)));
        }
        const QImage before = image;
        QPainter painter(&image);
        painter.setPen(QPen(Qt::black, 1, Qt::SolidLine));
        const bool claimed = TBlackRows(painter, &later).PolylineHidden(line, 4);
        painter.drawPolyline(line, 4);
        painter.end();
        if (!claimed)
            continue;
        ++hidden;
        if (image == before)
            continue;
        for (int py = 0; py < image.height(); ++py)
            for (int px = 0; px < image.width(); ++px)
                if (!(later.Row(py)[px >> 6] >> (px & 63) & 1))
                    QVERIFY2(image.pixel(px, py) == before.pixel(px, py),
                             qPrintable(QStringLiteral("(%1,%2)-(%3,%4) at %5,%6")
                                            .arg(a.x())
                                            .arg(a.y())
                                            .arg(b.x())
                                            .arg(b.y())
                                            .arg(px)
                                            .arg(py)));
    }
    QVERIFY(hidden > 100);
}

// Lines copied from stamps leave the pixels the painter leaves: leaders of a few runs, some
// slanted, across the clip's edges, between boxes the painter fills.
void TestChartCanvas::stampedLinesAsPainterDraws_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("style");
    QTest::newRow("dotted, ratio 1.5") << 1.5 << 1 << int(Qt::DotLine);
    QTest::newRow("dotted, ratio 2") << 2.0 << 1 << int(Qt::DotLine);
    QTest::newRow("dashed, wide, ratio 1.5") << 1.5 << 2 << int(Qt::DashLine);
    QTest::newRow("solid, scale 6.25") << 6.25 << 1 << int(Qt::SolidLine);
}

void TestChartCanvas::stampedLinesAsPainterDraws()
{
    QFETCH(double, scale);
    QFETCH(int, width);
    QFETCH(int, style);
    QImage drawn((QSizeF(200, 120) * scale).toSize(), QImage::Format_RGB32);
    drawn.setDevicePixelRatio(scale);
    drawn.fill(Qt::white);
    QImage copied = drawn.copy();
    const QPen pen(QColor(128, 128, 128), width, Qt::PenStyle(style));
    QPainter a(&drawn), b(&copied);
    for (QPainter *p : {&a, &b}) {
        p->setClipRect(QRect(10, 5, 170, 100));
        p->setPen(pen);
    }
    TLineStamps stamps;
    QVERIFY(stamps.Begin(b, pen));
    QRandomGenerator random(quint32(scale * 8 + width + style));
    int copies = 0;
    for (int i = 0; i < 600; ++i) {
        const QPoint p(int(random.bounded(210)) - 5, int(random.bounded(130)) - 5);
        const int run = 10 + 15 * int(random.bounded(5));
        const QPoint q =
            p + QPoint(i % 6 == 5 ? int(random.bounded(41)) - 20 : 0, i % 2 ? run : -run);
        a.drawLine(p, q);
        if (stamps.Line(p, q))
            ++copies;
        else
            b.drawLine(p, q);
        if (i % 40 == 0)
            for (QPainter *painter : {&a, &b})
                painter->fillRect(QRect(p, QSize(30, 8)), Qt::yellow);
    }
    a.end();
    b.end();
    QCOMPARE(copied, drawn);
    QVERIFY(copies > 100);
}

QTEST_MAIN(TestChartCanvas)
#include "tst_chart_canvas.moc"
