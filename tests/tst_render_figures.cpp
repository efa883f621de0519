// Figures for print from the batch renderer: the physical size and resolution each picture type
// carries, what a figure shows around the map, the row order and genome names, and the options'
// errors. Sizes are read back by outside readers (pdfinfo) or from the file itself.
#include "MetafileReaders.h"
#include "RenderCall.h"
#include "chart/ChartGeometry.h"
#include "map/FigureExport.h"
#include "map/RowScales.h"
#include "render/RenderRun.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {
const QString kDemo = QStringLiteral(OSTRINEL_EXAMPLES "/demo.txt");

QByteArray Bytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The SVG's texts, and the titles of its row groups in order.
QStringList SvgTexts(const QByteArray &svg, const QString &element)
{
    QStringList texts;
    QXmlStreamReader xml(svg);
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == element)
            texts << xml.readElementText(QXmlStreamReader::IncludeChildElements);
    return texts;
}
// Per row group of an SVG (row-1 first), the boxes of its arrows and of its labels, where their
// group's shift puts them; a label's fill inside its frame is the frame's box.
struct TRowBoxes
{
    QList<QRectF> Arrows;
    QList<QRectF> Labels;
};
QList<TRowBoxes> SvgRowBoxes(const QByteArray &svg)
{
    QList<TRowBoxes> rows;
    QXmlStreamReader xml(svg);
    QList<QPair<int, QPointF>> groups; // each open group's row and shift
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement && xml.name() == u"g")
            groups.removeLast();
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        const int row = groups.isEmpty() ? -1 : groups.last().first;
        if (xml.name() == u"g") {
            const QStringList m =
                a.value("transform").toString().remove("matrix(").remove(')').split(' ');
            const QString id = a.value("id").toString();
            groups.append({id.startsWith("row-") ? id.mid(4).toInt() - 1 : row,
                           QPointF(m.value(4).toDouble(), m.value(5).toDouble())});
            if (rows.size() <= groups.last().first)
                rows.resize(groups.last().first + 1);
        } else if (row >= 0 && xml.name() == u"polygon") {
            QPolygonF shape;
            for (const QString &point : a.value("points").toString().split(' '))
                shape << QPointF(point.section(',', 0, 0).toDouble(),
                                 point.section(',', 1, 1).toDouble());
            rows[row].Arrows << shape.boundingRect().translated(groups.last().second);
        } else if (row >= 0 && xml.name() == u"rect") {
            const QRectF box = QRectF(a.value("x").toDouble(), a.value("y").toDouble(),
                                      a.value("width").toDouble(), a.value("height").toDouble())
                                   .translated(groups.last().second);
            if (rows[row].Labels.isEmpty() || !rows[row].Labels.last().contains(box))
                rows[row].Labels << box;
        }
    }
    return rows;
}

// The first label box of one row that overlaps an arrow of another row, or another row's
// label too when labels is set; empty when none does.
QString Overlap(const QList<TRowBoxes> &rows, bool labels)
{
    for (qsizetype i = 0; i < rows.size(); ++i)
        for (const QRectF &box : rows[i].Labels)
            for (qsizetype j = 0; j < rows.size(); ++j)
                for (const QRectF &other :
                     (labels ? rows[j].Arrows + rows[j].Labels : rows[j].Arrows))
                    if ((i != j || (labels && other != box)) && box.intersects(other))
                        return QStringLiteral("row %1 at %2,%3 over row %4 at %5,%6")
                            .arg(i + 1)
                            .arg(box.x())
                            .arg(box.y())
                            .arg(j + 1)
                            .arg(other.x())
                            .arg(other.y());
    return {};
}
} // namespace

class TestFigures : public QObject
{
    Q_OBJECT
private slots:
    void physicalSize_data();
    void physicalSize();
    void contents_data();
    void contents();
    void legendCut();
    void nothingCut_data();
    void nothingCut();
    void labelsFit_data();
    void labelsFit();
    void regions_data();
    void regions();
    void lastRowAtAxis_data();
    void lastRowAtAxis();
    void errors_data();
    void errors();
    void ribbonsInEveryType_data();
    void ribbonsInEveryType();
};

void TestFigures::physicalSize_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QSizeF>("millimetres");
    QTest::addColumn<int>("dpi"); // raster pictures
    QTest::newRow("png mm") << QStringList{"--size", "180x100mm", "--dpi", "300"} << "f.png"
                            << QSizeF(180, 100) << 300;
    QTest::newRow("png default dpi")
        << QStringList{"--size", "85x60mm"} << "f.png" << QSizeF(85, 60) << 300;
    QTest::newRow("bmp in") << QStringList{"--size", "2x1in", "--dpi", "150"} << "f.bmp"
                            << QSizeF(50.8, 25.4) << 150;
    QTest::newRow("pdf mm") << QStringList{"--size", "180x100mm"} << "f.pdf" << QSizeF(180, 100)
                            << 0;
    QTest::newRow("pdf pt, title") << QStringList{"--size", "510x283pt", "--title", "T"} << "f.pdf"
                                   << QSizeF(179.917, 99.836) << 0;
    QTest::newRow("svg mm, legend")
        << QStringList{"--size", "85x60mm", "--legend"} << "f.svg" << QSizeF(85, 60) << 0;
}

void TestFigures::physicalSize()
{
    QFETCH(QStringList, options);
    QFETCH(QString, output);
    QFETCH(QSizeF, millimetres);
    QFETCH(int, dpi);
    QTemporaryDir dir;
    const QString path = dir.filePath(output);
    QCOMPARE(RenderInProcess(options + QStringList{kDemo, path}), 0);
    const QByteArray bytes = Bytes(path);
    if (dpi > 0) {
        const QImage image = QImage::fromData(bytes);
        QCOMPARE(image.size(), QSize(qRound(millimetres.width() / 25.4 * dpi),
                                     qRound(millimetres.height() / 25.4 * dpi)));
        QCOMPARE(qRound(image.dotsPerMeterX() * 0.0254), dpi);
    } else if (output.endsWith(".pdf")) {
        QProcess info;
        info.start("pdfinfo", {path});
        QVERIFY(info.waitForFinished(60000));
        const QRegularExpressionMatch m =
            QRegularExpression("Page size: +([\\d.]+) x ([\\d.]+) pts")
                .match(QString::fromUtf8(info.readAllStandardOutput()));
        QVERIFY(m.hasMatch());
        QVERIFY(qAbs(m.captured(1).toDouble() - millimetres.width() / 25.4 * 72) < 1);
        QVERIFY(qAbs(m.captured(2).toDouble() - millimetres.height() / 25.4 * 72) < 1);
    } else {
        const QRegularExpressionMatch m =
            QRegularExpression("<svg width=\"([\\d.]+)mm\" height=\"([\\d.]+)mm\"")
                .match(QString::fromUtf8(bytes));
        QVERIFY(m.hasMatch());
        QCOMPARE(m.captured(1).toDouble(), millimetres.width());
        QCOMPARE(m.captured(2).toDouble(), millimetres.height());
    }
}

void TestFigures::contents_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("texts");  // shown somewhere in the picture
    QTest::addColumn<QStringList>("titles"); // the first rows, top down
    QTest::newRow("title") << QStringList{"--title", "Gene clusters"}
                           << QStringList{"Gene clusters"} << QStringList{"velA_chr1"};
    QTest::newRow("scale bar") << QStringList{"--scale-bar", "10kb"} << QStringList{"10 kb"}
                               << QStringList{};
    QTest::newRow("scale bar =") << QStringList{"--scale-bar=0.15Mb"} << QStringList{"150 kb"}
                                 << QStringList{};
    QTest::newRow("legend") << QStringList{"--legend"}
                            << QStringList{"Gene shared by chromosomes:", "1"} << QStringList{};
    QTest::newRow("legend of groups")
        << QStringList{"--legend", "--homology", "h.tsv"}
        << QStringList{"Homology groups:", "PAIR1", "SOLO"} << QStringList{};
    QTest::newRow("order") << QStringList{"--order", "oskD_scaf7,murB_chr3"} << QStringList{}
                           << QStringList{"oskD_scaf7", "murB_chr3", "velA_chr1"};
    QTest::newRow("order, then checks")
        << QStringList{"--order", "linE_chr5", "--chromosomes", "velA_chr1,linE_chr5"}
        << QStringList{} << QStringList{"linE_chr5", "velA_chr1"};
    QTest::newRow("genome names") << QStringList{"--genome-names", "always"} << QStringList{}
                                  << QStringList{"demo:velA_chr1"};
    QTest::newRow("identity key") << QStringList{"--legend", "--links", "ribbons", "--alignments",
                                                 "a.tsv"}
                                  << QStringList{"Identity of the ribbons (%):", "direct",
                                                 "inverted", "40", "95"}
                                  << QStringList{};
}

void TestFigures::contents()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, titles);
    QTemporaryDir dir;
    const QString path = dir.filePath("f.svg");
    QFile table(dir.filePath("h.tsv"));
    QVERIFY(table.open(QIODevice::WriteOnly) &&
            table.write("Pair1\trogA\nPair1\ttelA\nSolo\tkasX\n") > 0);
    table.close();
    options.replaceInStrings(QRegularExpression("^h.tsv$"), table.fileName());
    QFile hits(dir.filePath("a.tsv"));
    QVERIFY(hits.open(QIODevice::WriteOnly) &&
            hits.write("velA_chr1\tlinE_chr5\t95\t900\t0\t0\t3200\t5900\t3200\t5900\t0\t1\n"
                       "velA_chr1\tlinE_chr5\t40\t900\t0\t0\t7400\t9100\t9100\t7400\t0\t1\n") > 0);
    hits.close();
    options.replaceInStrings(QRegularExpression("^a.tsv$"), hits.fileName());
    QByteArray err;
    QCOMPARE(RenderInProcess(options + QStringList{kDemo, path}, &err), 0);
    const QByteArray svg = Bytes(path);
    const QStringList shown = SvgTexts(svg, "text");
    for (const QString &text : texts)
        QVERIFY2(shown.contains(text), qPrintable(text));
    QCOMPARE(SvgTexts(svg, "title").mid(1, titles.size()), titles);
}

// A key too long for its figure names what it leaves out: the count after "+" is the groups not
// shown, whatever the type face makes fit.
void TestFigures::legendCut()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("f.svg");
    const QStringList genes{"cabR", "dulA", "fenA", "hepK", "kasX", "mirQ", "norZ",
                            "pimA", "rogA", "sabT", "telA", "wylE", "yodB", "zelF"};
    QByteArray lines;
    for (qsizetype g = 0; g < genes.size(); ++g)
        lines += "G" + QByteArray::number(g) + "\t" + genes[g].toLatin1() + "\n";
    QFile table(dir.filePath("h.tsv"));
    QVERIFY(table.open(QIODevice::WriteOnly) && table.write(lines) == lines.size());
    table.close();
    QCOMPARE(RenderInProcess(
                 {"--legend", "--homology", table.fileName(), "--size", "30x30mm", kDemo, path}),
             0);
    const QStringList shown = SvgTexts(Bytes(path), "text");
    qsizetype named = 0;
    for (qsizetype g = 0; g < genes.size(); ++g)
        named += shown.contains(QStringLiteral("G%1").arg(g));
    QVERIFY2(named > 0, qPrintable(shown.join("|")));
    QVERIFY2(shown.contains(QStringLiteral("+%1 more").arg(genes.size() - named)),
             qPrintable(shown.join('|')));
}

void TestFigures::nothingCut_data()
{
    QTest::addColumn<QString>("sample");
    QTest::addColumn<QString>("size");
    for (const char *sample : {"demo.txt", "small.txt", "clusters.gbk", "mouse.gff3,rat.gff3",
                               "mouse.gff3,rat.gff3,hamster.bed"})
        for (const char *size : {"85x80mm", "180x100mm"})
            QTest::addRow("%s at %s", sample, size) << sample << size;
}

// Every gene label and chromosome name lies inside the figure, read back from its SVG: each text
// where its group's shift puts it, as wide and high as its font makes it (the bottom axis's
// turned numbers left aside); and no label covers an arrow of another row.
void TestFigures::nothingCut()
{
    QFETCH(QString, sample);
    QFETCH(QString, size);
    QTemporaryDir dir;
    const QString path = dir.filePath("f.svg");
    QStringList inputs;
    for (const QString &name : sample.split(','))
        inputs << QStringLiteral(OSTRINEL_EXAMPLES "/") + name;
    QCOMPARE(RenderInProcess(QStringList{"--size", size, "--title", "T", "--legend"} + inputs +
                             QStringList{path}),
             0);
    QXmlStreamReader xml(Bytes(path));
    QRectF picture;
    QList<QStringList> shifts; // each open group's transform
    int checked = 0;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement && xml.name() == u"g")
            shifts.removeLast();
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (xml.name() == u"svg") {
            const QStringList box = a.value("viewBox").toString().split(' ');
            picture = QRectF(0, 0, box.value(2).toDouble(), box.value(3).toDouble());
        } else if (xml.name() == u"g") {
            shifts << a.value("transform").toString().remove("matrix(").remove(')').split(' ');
        } else if (xml.name() == u"text") {
            const QStringList m = shifts.isEmpty() ? QStringList() : shifts.last();
            if (m.size() == 6 && (m[0] != "1" || m[1] != "0"))
                continue;
            QFont font(a.value("font-family").toString());
            font.setPixelSize(a.value("font-size").toInt());
            font.setWeight(QFont::Weight(a.value("font-weight").toInt()));
            const QFontMetricsF metrics(font);
            const QString text = xml.readElementText();
            const QPointF at(a.value("x").toDouble() + m.value(4).toDouble(),
                             a.value("y").toDouble() + m.value(5).toDouble());
            const QRectF box(at.x(), at.y() - metrics.ascent(), metrics.horizontalAdvance(text),
                             metrics.height());
            QVERIFY2(picture.contains(box), qPrintable(QStringLiteral("%1 at %2,%3 %4x%5")
                                                           .arg(text)
                                                           .arg(box.x())
                                                           .arg(box.y())
                                                           .arg(box.width())
                                                           .arg(box.height())));
            ++checked;
        }
    }
    QVERIFY(checked > 2);
    // No label box reaches the arrows of another row.
    const QList<TRowBoxes> rows = SvgRowBoxes(Bytes(path));
    QVERIFY(rows.size() > 1 && !rows[1].Labels.isEmpty());
    const QString overlap = Overlap(rows, false);
    QVERIFY2(overlap.isEmpty(), qPrintable(overlap));
}

void TestFigures::labelsFit_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::newRow("dense, 1900 px") << QStringList{"--size", "1900x900"};
    QTest::newRow("dense, 180 mm figure") << QStringList{"--size", "180x200mm", "--legend"};
}

// A dense map (10 rows of 1,000 genes) with only the labels that fit: some are shown, and no
// shown label box covers another or any arrow, read back from the SVG.
void TestFigures::labelsFit()
{
    QFETCH(QStringList, options);
    QTemporaryDir dir;
    QFile dense(dir.filePath("dense.txt"));
    QVERIFY(dense.open(QIODevice::WriteOnly));
    for (int row = 0; row < 10; ++row)
        for (int gene = 0, start = 0; gene < 1000; ++gene, start += 1500 + gene * 37 % 900)
            dense.write(QStringLiteral("chr%1\t%2\t%3\t1\tg%4\n")
                            .arg(row)
                            .arg(start)
                            .arg(start + 400 + gene * 53 % 1100)
                            .arg((gene * 7 + row * 13) % 1500)
                            .toUtf8());
    dense.close();
    const QString path = dir.filePath("f.svg");
    QCOMPARE(RenderInProcess(options + QStringList{"--labels", "fit", dense.fileName(), path}), 0);
    const QList<TRowBoxes> rows = SvgRowBoxes(Bytes(path));
    qsizetype shown = 0;
    for (const TRowBoxes &row : rows)
        shown += row.Labels.size();
    QVERIFY2(shown > 50, qPrintable(QString::number(shown)));
    const QString overlap = Overlap(rows, true);
    QVERIFY2(overlap.isEmpty(), qPrintable(overlap));
}

void TestFigures::regions_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("rows"); // name, inverted, records
    QTest::newRow("region") << QStringList{"--region", "velA_chr1:7000-15000"}
                            << QStringList{"velA_chr1 no 2"};
    QTest::newRow("two regions, one row")
        << QStringList{"--region", "velA_chr1:3000-3300",  "--region", "velA_chr1:58000-58400",
                       "--region", "linE_chr5:38700-38700"}
        << QStringList{"velA_chr1 no 2", "linE_chr5 no 1"};
    QTest::newRow("around") << QStringList{"--around", "DULA", "--flank", "0"}
                            << QStringList{"velA_chr1 no 1", "murB_chr3 no 1", "tavC_chrII no 1",
                                           "oskD_scaf7 no 1", "linE_chr5 no 1"};
    QTest::newRow("around, gene right")
        << QStringList{"--around", "dulA", "--flank", "0", "--gene-right"}
        << QStringList{"velA_chr1 no 1", "murB_chr3 yes 1", "tavC_chrII no 1", "oskD_scaf7 yes 1",
                       "linE_chr5 no 1"};
}

void TestFigures::regions()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, rows);
    QTemporaryDir dir;
    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    QCOMPARE(RunRender(QStringList{"ostrinel-render", "--report", "-"} + options +
                           QStringList{kDemo, dir.filePath("f.png")},
                       out, err),
             0);
    QStringList shown;
    for (const QByteArray &line : out.data().split('\n').mid(1)) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() > 4)
            shown << QString::fromUtf8(fields[0] + ' ' + fields[2] + ' ' + fields[4]);
    }
    QCOMPARE(shown, rows);
}

// A figure's last row, with its scale, stands just over the plot's bottom edge, where the map
// leaves a whole step of rows under it.
void TestFigures::lastRowAtAxis_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("scales");
    QTest::addColumn<int>("height"); // mm
    QTest::newRow("two rows") << 2 << false << 100;
    QTest::newRow("four rows, scales") << 4 << true << 120;
    QTest::newRow("one row, scale") << 1 << true << 50;
}

void TestFigures::lastRowAtAxis()
{
    QFETCH(int, rows);
    QFETCH(bool, scales);
    QFETCH(int, height);
    QTemporaryDir dir;
    QFile file(dir.filePath("rows.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (int r = 0; r < rows; ++r)
        file.write(QString("R%1\t1\t1500\t1\tg\nR%1\t4001\t5500\t1\th\n").arg(r).toUtf8());
    file.close();
    TFigureOptions options;
    options.Millimetres = QSizeF(180, height);
    options.Size = TFigureSize{180, double(height), TLengthUnit::Mm}.Pixels();
    TFigureChart figure(options);
    figure.Session().View.RowScales = scales;
    figure.Session().Open({file.fileName()});
    figure.LayOut();
    const TChartGeometry &g = figure.Chart().Geometry();
    const TArrowSeries &last = figure.Chart().Series(rows);
    const int bottom = g.YPixel(last.StartY(0)) + (std::abs(last.ArrowWidth()) + 1) / 2 +
                       (scales ? RowScaleDepth(figure.Chart()) : 0);
    QVERIFY2(bottom <= g.PlotBottom && g.PlotBottom - bottom <= 6,
             qPrintable(QString("%1 pixels under the last row").arg(g.PlotBottom - bottom)));
}

void TestFigures::errors_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("message");
    QTest::newRow("no size") << QStringList{"--size", "0x9mm"} << "f.png"
                             << "Bad --size \"0x9mm\"";
    QTest::newRow("bad unit") << QStringList{"--size", "9x9cm"} << "f.png"
                              << "in mm, in or pt";
    QTest::newRow("too many pixels")
        << QStringList{"--size", "2000x10mm", "--dpi", "600"} << "f.png"
        << "more than 20000 pixels";
    QTest::newRow("dpi low") << QStringList{"--size", "9x9mm", "--dpi", "10"} << "f.png"
                             << "Bad --dpi \"10\"";
    QTest::newRow("dpi of svg") << QStringList{"--size", "9x9mm", "--dpi", "300"} << "f.svg"
                                << "--dpi applies to pixel pictures only";
    QTest::newRow("dpi of pixels") << QStringList{"--dpi", "300"} << "f.png"
                                   << "--dpi needs a --size in mm";
    QTest::newRow("scale of mm") << QStringList{"--size", "9x9mm", "--scale", "2"} << "f.png"
                                 << "--scale applies to a size in pixels";
    QTest::newRow("scale bar") << QStringList{"--scale-bar=10xb"} << "f.png"
                               << "Bad --scale-bar \"10xb\"";
    for (const char *length : {"0", "0bp", "0.5"})
        QTest::addRow("scale bar %s", length)
            << QStringList{"--scale-bar", length} << "f.png"
            << QString("Bad --scale-bar \"%1\": the bar is 1 bp long at least").arg(length);
    QTest::newRow("scale bar 1e3") << QStringList{"--scale-bar", "1e3"} << "f.png"
                                   << "Bad --scale-bar \"1e3\": give the length in digits";
    QTest::newRow("scale bar -1kb") << QStringList{"--scale-bar", "-1kb"} << "f.png"
                                    << "Bad --scale-bar \"-1kb\": a length is not negative";
    QTest::newRow("scale bar past the map")
        << QStringList{"--size", "180x100mm", "--scale-bar", "4gb"} << "f.svg"
        << "--scale-bar 4 Gb is longer than the ";
    QTest::newRow("scale bar past the zoom")
        << QStringList{"--scale-bar", "2kb", "--zoom", "1000:2500"} << "f.svg"
        << "--scale-bar 2 kb is longer than the 1.5 kb the map shows";
    QTest::newRow("scale bar twice") << QStringList{"--scale-bar", "--scale-bar=2kb"} << "f.png"
                                     << "--scale-bar is given more than once";
    QTest::newRow("genome names") << QStringList{"--genome-names", "some"} << "f.png"
                                  << "give always or collisions";
    QTest::newRow("order twice") << QStringList{"--order", "murB_chr3,murB_chr3"} << "f.png"
                                 << "--order names \"murB_chr3\" twice";
    QTest::newRow("order unknown") << QStringList{"--order", "chrX"} << "f.png"
                                   << "No chromosome \"chrX\"";
    QTest::newRow("region of nothing") << QStringList{"--region", "velA_chr1:0-100"} << "f.png"
                                       << "The region velA_chr1:0-100 holds no record";
    QTest::newRow("region unknown") << QStringList{"--region", "chrX:0-100"} << "f.png"
                                    << "No chromosome \"chrX\"";
    QTest::newRow("region past the last position")
        << QStringList{"--region", "velA_chr1:1-99999999999"} << "f.png"
        << "Bad --region \"velA_chr1:1-99999999999\": 99999999999 is past position 2147483647";
    QTest::newRow("region backwards") << QStringList{"--region", "velA_chr1:9-1"} << "f.png"
                                      << "Bad --region";
    QTest::newRow("around and align")
        << QStringList{"--around", "dulA", "--align", "dulA"} << "f.png"
        << "give no --region or --align";
    QTest::newRow("flank alone") << QStringList{"--flank", "2kb"} << "f.png"
                                 << "--flank goes with --around";
    QTest::newRow("around unknown") << QStringList{"--around", "nothing"} << "f.png"
                                    << "No gene \"nothing\"";
    QTest::newRow("labels") << QStringList{"--labels", "some"} << "f.png"
                            << "Bad --labels \"some\": give all or fit";
    QTest::newRow("empty title") << QStringList{"--title", " "} << "f.png"
                                 << "--title needs a text";
}

void TestFigures::errors()
{
    QFETCH(QStringList, options);
    QFETCH(QString, output);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(output);
    QByteArray err;
    QCOMPARE(RenderInProcess(options + QStringList{kDemo, path}, &err), 2);
    QVERIFY2(err.contains(message.toUtf8()), err.constData());
    QVERIFY(!QFile::exists(path));
}

void TestFigures::ribbonsInEveryType_data()
{
    QTest::addColumn<QString>("type");
    for (const char *type : {"png", "bmp", "svg", "pdf", "wmf", "emf"})
        QTest::newRow(type) << QString::fromLatin1(type);
}

// Ribbons are opaque colours, so every picture type shows the two hues as the screen does: one
// direct and one inverted hit of one identity give both hues at their fullest.
void TestFigures::ribbonsInEveryType()
{
    QFETCH(QString, type);
    QTemporaryDir dir;
    QFile map(dir.filePath("map.txt")), hits(dir.filePath("hits.tsv"));
    QVERIFY(map.open(QIODevice::WriteOnly) && hits.open(QIODevice::WriteOnly));
    map.write("A\t1\t4000\t1\ta1\nA\t6001\t10000\t1\ta2\n"
              "B\t1\t4000\t1\tb1\nB\t6001\t10000\t1\tb2\n");
    hits.write("A\tB\t80\t4000\t0\t0\t1\t4000\t1\t4000\t0\t1\n"
               "A\tB\t80\t4000\t0\t0\t6001\t10000\t10000\t6001\t0\t1\n");
    map.close();
    hits.close();
    const QString path = dir.filePath("f." + type);
    QCOMPARE(RenderInProcess({"--links", "ribbons", "--alignments", hits.fileName(),
                              "--no-gene-names", "--size", "600x300", map.fileName(), path}),
             0);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QImage image;
    const auto fromSvg = [&](const QByteArray &svg) {
        QSvgRenderer renderer(svg);
        QImage drawn(600, 300, QImage::Format_RGB32);
        drawn.fill(Qt::white);
        QPainter painter(&drawn);
        renderer.render(&painter);
        return drawn;
    };
    if (type == "png" || type == "bmp") {
        image.loadFromData(bytes);
    } else if (type == "svg") {
        image = fromSvg(bytes);
    } else if (type == "pdf") {
        QProcess pdftoppm;
        pdftoppm.start("pdftoppm", {"-png", "-r", "96", "-singlefile", path, dir.filePath("p")});
        QVERIFY(pdftoppm.waitForFinished(60000) && pdftoppm.exitCode() == 0);
        image.load(dir.filePath("p.png"));
    } else if (type == "wmf") {
        image = readers::RasterOfWmf(bytes).value_or(QImage());
    } else {
        const std::optional<QString> svg = readers::ToSvg(false, bytes);
        QVERIFY(svg);
        image = fromSvg(svg->toUtf8());
    }
    QVERIFY(!image.isNull());
    const auto has = [&](int r, int g, int b) {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb c = image.pixel(x, y);
                if (std::abs(qRed(c) - r) + std::abs(qGreen(c) - g) + std::abs(qBlue(c) - b) < 24)
                    return true;
            }
        return false;
    };
    QVERIFY2(has(200, 30, 30), "no direct ribbon");
    QVERIFY2(has(30, 70, 200), "no inverted ribbon");
}

QTEST_MAIN(TestFigures)
#include "tst_render_figures.moc"
