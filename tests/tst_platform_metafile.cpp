// The metafile paint device: the placeable WMF header and the EMF header read back byte by byte,
// the records that QPainter drawing becomes, and two independent readers that must accept the
// files and find in them what was drawn.
#include "MetafileReaders.h"
#include "MetafileRecords.h"
#include "platform/TMetafileDevice.h"

#include <QFile>
#include <QGlyphRun>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <QtEndian>
#include <QtTest>

namespace {

// WMF functions and EMF record types read below.
constexpr quint32 kWmfEof = 0x0000, kWmfSetMapMode = 0x0103, kWmfSetWindowExt = 0x020C,
                  kWmfSetWindowOrg = 0x020B, kWmfPolygon = 0x0324, kWmfPolyline = 0x0325,
                  kWmfCreatePen = 0x02FA, kWmfCreateBrush = 0x02FC, kWmfCreateFont = 0x02FB,
                  kWmfSetTextColor = 0x0209, kWmfExtTextOut = 0x0A32;
constexpr quint32 kEmfHeader = 1, kEmfEof = 14, kEmfCreatePen = 38, kEmfCreateBrush = 39,
                  kEmfExtCreateFont = 82, kEmfExtTextOutW = 84, kEmfPolygon16 = 86,
                  kEmfPolyline16 = 87, kEmfSetTextColor = 24;

QList<QPoint> Points16(const QByteArray &p, qsizetype at, int count)
{
    QList<QPoint> out;
    for (int i = 0; i < count; ++i)
        out.append(QPoint(S16(p, at + 4 * i), S16(p, at + 4 * i + 2)));
    return out;
}

// A small drawing with every kind of object the map uses.
void DrawSample(QPaintDevice &device)
{
    QPainter p(&device);
    p.setPen(QPen(QColor(0x12, 0x34, 0x56), 3));
    p.setBrush(QColor(0xC0, 0x10, 0x20));
    const QPoint arrow[4] = {{10, 10}, {60, 10}, {70, 20}, {10, 30}};
    p.drawPolygon(arrow, 4);
    p.setPen(QPen(QColor(0x00, 0x80, 0x00), 1, Qt::DotLine));
    p.drawLine(5, 50, 95, 50);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(0x00, 0x00, 0xFF));
    p.drawText(QPoint(20, 70), QStringLiteral("GENEX"));
}

QByteArray Picture(TMetafileKind kind, QSize size, void (*draw)(QPaintDevice &) = DrawSample)
{
    TMetafileDevice device(kind, size, 96);
    draw(device);
    return device.Bytes();
}

} // namespace

class tst_platform_metafile : public QObject
{
    Q_OBJECT
private slots:
    void placeableHeader_data();
    void placeableHeader();
    void emfHeader_data();
    void emfHeader();
    void wmfRecords();
    void emfRecords();
    void transformAndFonts_data();
    void transformAndFonts();
    void textEncoding();
    void textAdvances_data();
    void textAdvances();
    void pathsAndRects();
    void clipping_data();
    void clipping();
    void readers_data();
    void readers();
};

void tst_platform_metafile::placeableHeader_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("1x1") << QSize(1, 1) << QSize(1, 1);
    QTest::newRow("0x0 widens to 1x1") << QSize(0, 0) << QSize(1, 1);
    QTest::newRow("wide") << QSize(1279, 480) << QSize(1279, 480);
    QTest::newRow("tall") << QSize(3, 900) << QSize(3, 900);
}

void tst_platform_metafile::placeableHeader()
{
    QFETCH(QSize, size);
    QFETCH(QSize, expected);
    const QByteArray file = Picture(TMetafileKind::Wmf, size);
    QVERIFY(file.size() > 22 + 18);
    QCOMPARE(U32(file, 0), 0x9AC6CDD7u);
    QCOMPARE(U16(file, 4), quint16(0)); // no handle
    QCOMPARE(S16(file, 6), qint16(0));
    QCOMPARE(S16(file, 8), qint16(0));
    QCOMPARE(S16(file, 10), qint16(expected.width()));
    QCOMPARE(S16(file, 12), qint16(expected.height()));
    QCOMPARE(U16(file, 14), quint16(96));
    QCOMPARE(U32(file, 16), 0u);
    quint16 sum = 0;
    for (int i = 0; i < 10; ++i)
        sum ^= U16(file, 2 * i);
    QCOMPARE(U16(file, 20), sum);
    // The standard header: in memory, 9 words, version 3, file size in words.
    QCOMPARE(U16(file, 22), quint16(1));
    QCOMPARE(U16(file, 24), quint16(9));
    QCOMPARE(U16(file, 26), quint16(0x0300));
    QCOMPARE(qsizetype(U32(file, 28)) * 2, file.size() - 22);
}

void tst_platform_metafile::emfHeader_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("dpi");
    QTest::newRow("1x1 at 96") << QSize(1, 1) << 96.0;
    QTest::newRow("map at 96") << QSize(799, 299) << 96.0;
    QTest::newRow("map at 120") << QSize(600, 400) << 120.0;
}

void tst_platform_metafile::emfHeader()
{
    QFETCH(QSize, size);
    QFETCH(double, dpi);
    TMetafileDevice device(TMetafileKind::Emf, size, dpi);
    DrawSample(device);
    const QByteArray file = device.Bytes();
    QVERIFY(file.size() > 88);
    QCOMPARE(U32(file, 0), kEmfHeader);
    // Bounds in device pixels: readers take right - left as the picture's width.
    QCOMPARE(S32(file, 8), 0);
    QCOMPARE(S32(file, 12), 0);
    QCOMPARE(S32(file, 16), size.width());
    QCOMPARE(S32(file, 20), size.height());
    // Frame in 0.01 mm from the resolution.
    QCOMPARE(S32(file, 24), 0);
    QCOMPARE(S32(file, 32), qRound(size.width() * 2540.0 / dpi));
    QCOMPARE(S32(file, 36), qRound(size.height() * 2540.0 / dpi));
    QCOMPARE(U32(file, 40), 0x464D4520u); // " EMF"
    QCOMPARE(qsizetype(U32(file, 48)), file.size());
    const QList<MetaRecord> records = EmfRecords(file);
    QVERIFY(!records.isEmpty());
    QCOMPARE(U32(file, 52), quint32(records.size()));
    QCOMPARE(records.last().Type, kEmfEof);
    // The reference device's pixels per millimetre give back the resolution.
    const double pxPerMm = double(S32(file, 72)) / S32(file, 80);
    QVERIFY(qAbs(pxPerMm * 25.4 - dpi) < 1.0);
}

void tst_platform_metafile::wmfRecords()
{
    const QByteArray file = Picture(TMetafileKind::Wmf, QSize(100, 80));
    const QList<MetaRecord> records = WmfRecords(file);
    QVERIFY(!records.isEmpty());
    QCOMPARE(records.last().Type, kWmfEof);

    const QList<MetaRecord> mapMode = OfType(records, kWmfSetMapMode);
    QCOMPARE(mapMode.size(), 1);
    QCOMPARE(U16(mapMode[0].Params, 0), quint16(8)); // anisotropic
    const QList<MetaRecord> org = OfType(records, kWmfSetWindowOrg);
    QCOMPARE(org.size(), 1);
    QCOMPARE(S16(org[0].Params, 0), qint16(0));
    const QList<MetaRecord> ext = OfType(records, kWmfSetWindowExt);
    QCOMPARE(ext.size(), 1);
    QCOMPARE(S16(ext[0].Params, 0), qint16(80)); // y first
    QCOMPARE(S16(ext[0].Params, 2), qint16(100));

    // White page, then the arrow.
    const QList<MetaRecord> polygons = OfType(records, kWmfPolygon);
    QCOMPARE(polygons.size(), 2);
    QCOMPARE(Points16(polygons[0].Params, 2, 4),
             (QList<QPoint>{{0, 0}, {100, 0}, {100, 80}, {0, 80}}));
    QCOMPARE(Points16(polygons[1].Params, 2, 4),
             (QList<QPoint>{{10, 10}, {60, 10}, {70, 20}, {10, 30}}));

    // Pens: the page's null pen, the 3-pixel outline, the dotted line. COLORREF is 0x00BBGGRR.
    const QList<MetaRecord> pens = OfType(records, kWmfCreatePen);
    QCOMPARE(pens.size(), 3);
    QCOMPARE(U16(pens[0].Params, 0), quint16(5));
    QCOMPARE(U16(pens[1].Params, 0), quint16(0));
    QCOMPARE(S16(pens[1].Params, 2), qint16(3));
    QCOMPARE(U32(pens[1].Params, 6), 0x563412u);
    QCOMPARE(U16(pens[2].Params, 0), quint16(2));
    QCOMPARE(U32(pens[2].Params, 6), 0x008000u);
    const QList<MetaRecord> brushes = OfType(records, kWmfCreateBrush);
    QCOMPARE(brushes.size(), 2);
    QCOMPARE(U32(brushes[0].Params, 2), 0xFFFFFFu);
    QCOMPARE(U32(brushes[1].Params, 2), 0x2010C0u);

    const QList<MetaRecord> lines = OfType(records, kWmfPolyline);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(Points16(lines[0].Params, 2, 2), (QList<QPoint>{{5, 50}, {95, 50}}));

    const QList<MetaRecord> fonts = OfType(records, kWmfCreateFont);
    QCOMPARE(fonts.size(), 1);
    QCOMPARE(S16(fonts[0].Params, 0), qint16(-12));
    QCOMPARE(S16(fonts[0].Params, 8), qint16(700));
    QVERIFY(fonts[0].Params.mid(18).startsWith("DejaVu Sans"));
    const QList<MetaRecord> colors = OfType(records, kWmfSetTextColor);
    QCOMPARE(colors.size(), 1);
    QCOMPARE(U32(colors[0].Params, 0), 0xFF0000u);
    const QList<MetaRecord> texts = OfType(records, kWmfExtTextOut);
    QCOMPARE(texts.size(), 1);
    QCOMPARE(S16(texts[0].Params, 0), qint16(70)); // y, then x
    QCOMPARE(S16(texts[0].Params, 2), qint16(20));
    QCOMPARE(S16(texts[0].Params, 4), qint16(5));
    QCOMPARE(texts[0].Params.mid(8, 5), QByteArray("GENEX"));
}

void tst_platform_metafile::emfRecords()
{
    const QByteArray file = Picture(TMetafileKind::Emf, QSize(100, 80));
    const QList<MetaRecord> records = EmfRecords(file);
    QVERIFY(!records.isEmpty());
    const QList<MetaRecord> polygons = OfType(records, kEmfPolygon16);
    QCOMPARE(polygons.size(), 2);
    QCOMPARE(Points16(polygons[1].Params, 20, 4),
             (QList<QPoint>{{10, 10}, {60, 10}, {70, 20}, {10, 30}}));
    const QList<MetaRecord> lines = OfType(records, kEmfPolyline16);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(Points16(lines[0].Params, 20, 2), (QList<QPoint>{{5, 50}, {95, 50}}));
    const QList<MetaRecord> pens = OfType(records, kEmfCreatePen);
    QCOMPARE(pens.size(), 3);
    QCOMPARE(U32(pens[2].Params, 4), 2u); // dotted
    QCOMPARE(U32(pens[1].Params, 8), 3u); // width
    QCOMPARE(U32(pens[1].Params, 16), 0x563412u);
    const QList<MetaRecord> brushes = OfType(records, kEmfCreateBrush);
    QCOMPARE(brushes.size(), 2);
    QCOMPARE(U32(brushes[1].Params, 8), 0x2010C0u);
    const QList<MetaRecord> fonts = OfType(records, kEmfExtCreateFont);
    QCOMPARE(fonts.size(), 1);
    QCOMPARE(S32(fonts[0].Params, 4), -12);
    QCOMPARE(S32(fonts[0].Params, 20), 700);
    QCOMPARE(
        QString::fromUtf16(reinterpret_cast<const char16_t *>(fonts[0].Params.constData() + 32)),
        QStringLiteral("DejaVu Sans"));
    QCOMPARE(U32(OfType(records, kEmfSetTextColor).value(0).Params, 0), 0xFF0000u);

    const QList<MetaRecord> texts = OfType(records, kEmfExtTextOutW);
    QCOMPARE(texts.size(), 1);
    const QByteArray &t = texts[0].Params;
    // EMRTEXT after bounds, graphics mode and the two scales.
    QCOMPARE(S32(t, 28), 20);
    QCOMPARE(S32(t, 32), 70);
    const quint32 chars = U32(t, 36);
    QCOMPARE(chars, 5u);
    const quint32 offString = U32(t, 40) - 8;
    const quint32 offDx = U32(t, 64) - 8;
    QVERIFY(offString + 2 * chars <= quint32(t.size()));
    QVERIFY(offDx + 4 * chars <= quint32(t.size()));
    QCOMPARE(QString::fromUtf16(reinterpret_cast<const char16_t *>(t.constData() + offString), 5),
             QStringLiteral("GENEX"));
    // The advances add up to the width Qt gives the text.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    font.setBold(true);
    int sum = 0;
    for (quint32 i = 0; i < chars; ++i) {
        QVERIFY(U32(t, offDx + 4 * i) > 0);
        sum += int(U32(t, offDx + 4 * i));
    }
    QCOMPARE(sum, qRound(QFontMetricsF(font).horizontalAdvance(QStringLiteral("GENEX"))));
}

void tst_platform_metafile::transformAndFonts_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("wmf") << int(TMetafileKind::Wmf);
    QTest::newRow("emf") << int(TMetafileKind::Emf);
}

void tst_platform_metafile::transformAndFonts()
{
    QFETCH(int, kind);
    TMetafileDevice device(TMetafileKind(kind), QSize(200, 200), 96);
    {
        QPainter p(&device);
        p.translate(10, 20);
        p.scale(2, 2);
        p.setPen(QPen(Qt::black, 1));
        p.drawLine(0, 0, 5, 0);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSize(9); // 12 pixels at 96 dpi, 24 after the scale
        font.setItalic(true);
        p.setFont(font);
        p.drawText(QPoint(1, 1), QStringLiteral("A"));
        p.resetTransform();
        p.translate(100, 100);
        p.rotate(-90);
        p.drawText(QPoint(0, 0), QStringLiteral("B"));
    }
    const QByteArray file = device.Bytes();
    const bool wmf = TMetafileKind(kind) == TMetafileKind::Wmf;
    const QList<MetaRecord> records = wmf ? WmfRecords(file) : EmfRecords(file);
    QVERIFY(!records.isEmpty());
    const QList<MetaRecord> lines = OfType(records, wmf ? kWmfPolyline : kEmfPolyline16);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(Points16(lines[0].Params, wmf ? 2 : 20, 2), (QList<QPoint>{{10, 20}, {20, 20}}));
    const QList<MetaRecord> fonts = OfType(records, wmf ? kWmfCreateFont : kEmfExtCreateFont);
    QCOMPARE(fonts.size(), 2);
    // Height, escapement, italic.
    if (wmf) {
        QCOMPARE(S16(fonts[0].Params, 0), qint16(-24));
        QCOMPARE(S16(fonts[0].Params, 4), qint16(0));
        QCOMPARE(quint8(fonts[0].Params[10]), quint8(1));
        QCOMPARE(S16(fonts[1].Params, 0), qint16(-12));
        QCOMPARE(S16(fonts[1].Params, 4), qint16(900));
    } else {
        QCOMPARE(S32(fonts[0].Params, 4), -24);
        QCOMPARE(S32(fonts[0].Params, 12), 0);
        QCOMPARE(quint8(fonts[0].Params[24]), quint8(1));
        QCOMPARE(S32(fonts[1].Params, 4), -12);
        QCOMPARE(S32(fonts[1].Params, 12), 900);
    }
    const QList<MetaRecord> texts = OfType(records, wmf ? kWmfExtTextOut : kEmfExtTextOutW);
    QCOMPARE(texts.size(), 2);
    const QPoint first = wmf ? QPoint(S16(texts[0].Params, 2), S16(texts[0].Params, 0))
                             : QPoint(S32(texts[0].Params, 28), S32(texts[0].Params, 32));
    QCOMPARE(first, QPoint(12, 22));
}

void tst_platform_metafile::textEncoding()
{
    auto draw = [](QPaintDevice &device) {
        QPainter p(&device);
        p.drawText(QPoint(5, 20), QString::fromLatin1("G\xE8ne"));
    };
    const QByteArray wmf = Picture(TMetafileKind::Wmf, QSize(50, 30), draw);
    const QList<MetaRecord> wt = OfType(WmfRecords(wmf), kWmfExtTextOut);
    QCOMPARE(wt.size(), 1);
    QCOMPARE(S16(wt[0].Params, 4), qint16(4));
    QCOMPARE(wt[0].Params.mid(8, 4), QByteArray("G\xE8ne"));

    const QByteArray emf = Picture(TMetafileKind::Emf, QSize(50, 30), draw);
    const QList<MetaRecord> et = OfType(EmfRecords(emf), kEmfExtTextOutW);
    QCOMPARE(et.size(), 1);
    const QByteArray &t = et[0].Params;
    QCOMPARE(U32(t, 36), 4u);
    QCOMPARE(
        QString::fromUtf16(reinterpret_cast<const char16_t *>(t.constData() + U32(t, 40) - 8), 4),
        QString::fromLatin1("G\xE8ne"));
}

void tst_platform_metafile::textAdvances_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("label") << QStringLiteral("GENEX");
    QTest::newRow("kerning pairs") << QStringLiteral("AVATAR To WAVY");
    QTest::newRow("spaces and digits") << QStringLiteral("chr 10  11 ???");
    QString longName;
    for (int i = 0; longName.size() < 4096; ++i)
        longName += QString::number(i) + QStringLiteral("AVW");
    longName.truncate(4096);
    QTest::newRow("longest shown name") << longName;
}

void tst_platform_metafile::textAdvances()
{
    // Each character's advance places it where Qt places it in the whole text, so the running
    // sums of the advances are the widths of the text's beginnings.
    QFETCH(QString, text);
    static QString drawn;
    drawn = text;
    const QByteArray file = Picture(TMetafileKind::Emf, QSize(60000, 40), [](QPaintDevice &d) {
        QPainter p(&d);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(12);
        p.setFont(font);
        p.drawText(QPointF(0, 20), drawn);
    });
    const QList<MetaRecord> texts = OfType(EmfRecords(file), kEmfExtTextOutW);
    QCOMPARE(texts.size(), 1);
    const QByteArray &t = texts[0].Params;
    const quint32 chars = U32(t, 36);
    QCOMPARE(qsizetype(chars), text.size());
    const quint32 offDx = U32(t, 64) - 8;
    QVERIFY(offDx + 4 * chars <= quint32(t.size()));
    // Where Qt puts each glyph of the whole text, kerning included: the text is plain
    // letters and digits, one glyph per character.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    QList<QPointF> glyphs;
    for (const QGlyphRun &run : layout.glyphRuns())
        glyphs += run.positions();
    QCOMPARE(glyphs.size(), text.size());
    std::sort(glyphs.begin(), glyphs.end(),
              [](const QPointF &a, const QPointF &b) { return a.x() < b.x(); });
    const double whole = QFontMetricsF(font).horizontalAdvance(text);
    qint64 sum = 0;
    for (quint32 i = 0; i < chars; ++i) {
        sum += S32(t, offDx + 4 * i);
        const double next = i + 1 < chars ? glyphs[qsizetype(i) + 1].x() : whole;
        QVERIFY2(
            std::abs(double(sum) - next) <= 1.0,
            qPrintable(
                QStringLiteral("after %1 characters: %2, Qt %3").arg(i + 1).arg(sum).arg(next)));
    }
}

void tst_platform_metafile::pathsAndRects()
{
    auto draw = [](QPaintDevice &device) {
        QPainter p(&device);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::red);
        p.drawRect(QRect(5, 6, 20, 10));
        p.drawEllipse(QRectF(40, 40, 20, 20));
        p.setBrush(Qt::NoBrush);
        p.setPen(Qt::black);
        QPainterPath open;
        open.moveTo(0, 90);
        open.lineTo(50, 95);
        open.lineTo(99, 90);
        p.drawPath(open);
    };
    const QList<MetaRecord> records =
        WmfRecords(Picture(TMetafileKind::Wmf, QSize(100, 100), draw));
    const QList<MetaRecord> polygons = OfType(records, kWmfPolygon);
    QCOMPARE(polygons.size(), 3); // page, rectangle, ellipse
    QCOMPARE(U16(polygons[1].Params, 0), quint16(4));
    QCOMPARE(Points16(polygons[1].Params, 2, 4),
             (QList<QPoint>{{5, 6}, {25, 6}, {25, 16}, {5, 16}}));
    // The ellipse is flattened: many points, all within its box.
    const int n = U16(polygons[2].Params, 0);
    QVERIFY(n > 8);
    for (const QPoint &pt : Points16(polygons[2].Params, 2, n))
        QVERIFY2(QRect(40, 40, 21, 21).contains(pt), qPrintable(QString::number(pt.x())));
    // The open path is stroked, not filled.
    const QList<MetaRecord> lines = OfType(records, kWmfPolyline);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(Points16(lines[0].Params, 2, 3), (QList<QPoint>{{0, 90}, {50, 95}, {99, 90}}));
}

void tst_platform_metafile::clipping_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("wmf") << int(TMetafileKind::Wmf);
    QTest::newRow("emf") << int(TMetafileKind::Emf);
}

void tst_platform_metafile::clipping()
{
    // What lies outside the picture or the painter's clip is cut off or left out, so that no
    // record reaches beyond the picture (readers that fit the content would shrink it).
    QFETCH(int, kind);
    const bool wmf = TMetafileKind(kind) == TMetafileKind::Wmf;
    TMetafileDevice device(TMetafileKind(kind), QSize(100, 80), 96);
    {
        QPainter p(&device);
        p.fillRect(QRect(0, 0, 101, 81), Qt::white); // one pixel larger than the picture
        p.setPen(Qt::black);
        p.drawLine(-50, 40, 150, 40);
        p.drawText(QPoint(-9999, -9999), QStringLiteral("PARKED"));
        p.drawText(QPoint(90, 40), QStringLiteral("EDGE"));
        p.drawText(QPoint(30, 4), QStringLiteral("TOP"));
        p.setClipRect(QRect(10, 10, 30, 30));
        p.setBrush(Qt::red);
        p.drawRect(QRect(0, 0, 60, 60));
        p.drawText(QPoint(60, 70), QStringLiteral("CLIPPED"));
    }
    const QList<MetaRecord> records = wmf ? WmfRecords(device.Bytes()) : EmfRecords(device.Bytes());
    QVERIFY(!records.isEmpty());
    const QList<MetaRecord> polygons = OfType(records, wmf ? kWmfPolygon : kEmfPolygon16);
    QCOMPARE(polygons.size(), 3);
    const int at = wmf ? 2 : 20;
    QCOMPARE(Points16(polygons[1].Params, at, 4),
             (QList<QPoint>{{0, 0}, {100, 0}, {100, 80}, {0, 80}}));
    // The rectangle cut to the clip: the same corners, from wherever the cut starts.
    QCOMPARE(wmf ? U16(polygons[2].Params, 0) : U32(polygons[2].Params, 16), 4u);
    QList<QPoint> cut = Points16(polygons[2].Params, at, 4);
    std::sort(cut.begin(), cut.end(),
              [](QPoint a, QPoint b) { return std::pair(a.x(), a.y()) < std::pair(b.x(), b.y()); });
    QCOMPARE(cut, (QList<QPoint>{{10, 10}, {10, 40}, {40, 10}, {40, 40}}));
    const QList<MetaRecord> lines = OfType(records, wmf ? kWmfPolyline : kEmfPolyline16);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(Points16(lines[0].Params, at, 2), (QList<QPoint>{{0, 40}, {100, 40}}));
    // Text: the parked one is left out, the one at the right edge loses the characters that
    // do not fit, the one over the top edge is cut by the reader at the picture's edge.
    const QList<MetaRecord> texts = OfType(records, wmf ? kWmfExtTextOut : kEmfExtTextOutW);
    QCOMPARE(texts.size(), 2);
    auto textOf = [wmf](const MetaRecord &r) {
        if (wmf) {
            const int len = S16(r.Params, 4);
            const int at = (U16(r.Params, 6) & 0x0004) ? 16 : 8;
            return QString::fromLatin1(r.Params.mid(at, len));
        }
        return QString::fromUtf16(
            reinterpret_cast<const char16_t *>(r.Params.constData() + U32(r.Params, 40) - 8),
            U32(r.Params, 36));
    };
    auto clipped = [wmf](const MetaRecord &r) {
        return wmf ? (U16(r.Params, 6) & 0x0004) != 0 : (U32(r.Params, 44) & 0x0004) != 0;
    };
    const QString edge = textOf(texts[0]);
    QVERIFY2(!edge.isEmpty() && edge.size() < 4 && QStringLiteral("EDGE").startsWith(edge),
             qPrintable(edge));
    QVERIFY(!clipped(texts[0]));
    QCOMPARE(textOf(texts[1]), QStringLiteral("TOP"));
    QVERIFY(clipped(texts[1]));
    if (wmf) // left, top, right, bottom
        QCOMPARE((QList<int>{S16(texts[1].Params, 8), S16(texts[1].Params, 10),
                             S16(texts[1].Params, 12), S16(texts[1].Params, 14)}),
                 (QList<int>{0, 0, 100, 80}));
    else
        QCOMPARE((QList<int>{S32(texts[1].Params, 48), S32(texts[1].Params, 52),
                             S32(texts[1].Params, 56), S32(texts[1].Params, 60)}),
                 (QList<int>{0, 0, 100, 80}));
}

void tst_platform_metafile::readers_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("wmf2svg") << int(TMetafileKind::Wmf);
    QTest::newRow("emf2svg-conv") << int(TMetafileKind::Emf);
}

void tst_platform_metafile::readers()
{
    QFETCH(int, kind);
    const bool wmf = TMetafileKind(kind) == TMetafileKind::Wmf;
    if (!readers::Installed(readers::Tool(wmf)))
        QSKIP("the metafile reader is not installed");
    QString error;
    const std::optional<QString> svg =
        readers::ToSvg(wmf, Picture(TMetafileKind(kind), QSize(100, 80)), &error);
    QVERIFY2(svg, qPrintable(error));
    QVERIFY2(readers::TextOf(*svg).contains("GENEX"), qPrintable(*svg));
    QVERIFY(svg->contains("<polyline") || svg->contains("<path"));
    if (!wmf) {
        // emf2svg keeps the picture's size and the exact colours.
        QVERIFY(svg->contains(R"(width="100.0000" height="80.0000")"));
        QVERIFY(svg->contains(R"(fill="#C01020")"));
        QVERIFY(svg->contains(R"(stroke="#008000" stroke-width="1.0000" stroke-dasharray)"));
        QVERIFY(svg->contains(R"(fill="#0000FF")"));
        return;
    }
    QVERIFY(svg->contains(R"(<svg width="100" height="80")"));
    // wmf2svg names colours by their nearest name: the exact ones come from the raster.
    if (!readers::Installed("convert"))
        QSKIP("ImageMagick is not installed");
    const std::optional<QImage> raster =
        readers::RasterOfWmf(Picture(TMetafileKind::Wmf, QSize(100, 80)));
    QVERIFY(raster);
    QCOMPARE(raster->size(), QSize(100, 80));
    QCOMPARE(raster->pixel(30, 20), qRgb(0xC0, 0x10, 0x20));
    QCOMPARE(raster->pixel(90, 5), qRgb(255, 255, 255));
}

QTEST_MAIN(tst_platform_metafile)
#include "tst_platform_metafile.moc"
