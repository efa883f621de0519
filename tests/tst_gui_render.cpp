// The batch renderer draws the window's picture: the same file, size and switches give the same
// .bmp, byte for byte, whether saved from the window or written by ostrinel-render; and the same
// figure, whether exported from the window or made by ostrinel-render with the same options.
#include "ChartShot.h"
#include "RenderCall.h"
#include "app/TChartWidget.h"
#include "app/TdlgExportFigure.h"
#include "app/TdlgOstrinel.h"
#include "render/RenderRun.h"

#include <QAction>
#include <QBuffer>
#include <QFile>
#include <QFileDialog>
#include <QPrintDialog>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(TFigureOptions)

namespace {
QByteArray Bytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A PDF carries the second it was written; the rest is the picture.
QByteArray WithoutCreationTime(const QByteArray &bytes)
{
    static const QRegularExpression date(QStringLiteral("/CreationDate \\(D:[0-9Z+\\-']*\\)"));
    return QString::fromLatin1(bytes).remove(date).toLatin1();
}

} // namespace

class TestWindowEqualsBatch : public QObject
{
    Q_OBJECT
private slots:
    void sameBitmap_data();
    void sameBitmap();
    void sameFigure_data();
    void sameFigure();
    void refusedFigure_data();
    void refusedFigure();
};

void TestWindowEqualsBatch::sameBitmap_data()
{
    // Window actions triggered after the load, and the renderer's options for them.
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QStringList>("options");
    QTest::newRow("as opened") << QStringList{} << QStringList{};
    QTest::newRow("switches") << QStringList{"mnuGrayScale", "mnuGrid", "mnuFrameArrows",
                                             "mnuFrameGeneName", "mnuFirstLineNames"}
                              << QStringList{"--palette",        "gray",
                                             "--no-grid",        "--no-frame-arrows",
                                             "--no-frame-names", "--names-first-line"};
    QTest::newRow("no names, no connectors, disentangled")
        << QStringList{"mnuGeneName", "mnuLinkGenes", "mnuDisentangle"}
        << QStringList{"--no-gene-names", "--no-connectors", "--disentangle"};
}

void TestWindowEqualsBatch::sameBitmap()
{
    QFETCH(QStringList, actions);
    QFETCH(QStringList, options);
    QTemporaryDir dir;
    const QString input = QStringLiteral(OSTRINEL_EXAMPLES "/demo.txt");
    const QString saved = dir.filePath("window.bmp");
    const QString rendered = dir.filePath("batch.bmp");

    TdlgOstrinel window(nullptr);
    QStringList errors;
    window.SetErrorReporter([&](const QString &text) { errors << text; });
    window.SetPrintDialogRunner([](QPrintDialog &) { return false; });
    window.SetFileChooser([&](QFileDialog &) { return saved; });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.LoadFile(input);
    for (const QString &name : actions)
        window.findChild<QAction *>(name)->trigger();
    QCoreApplication::processEvents();
    window.findChild<QAction *>("mnuSaveGraph")->trigger();
    QCOMPARE(errors, QStringList());

    const QSize size = window.ChartWidget()->size();
    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    const QStringList arguments =
        QStringList{"ostrinel-render", "--size",
                    QStringLiteral("%1x%2").arg(size.width()).arg(size.height())} +
        options + QStringList{input, rendered};
    QCOMPARE(RunRender(arguments, out, err), kRenderDone);

    QFile a(saved);
    QFile b(rendered);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    const QByteArray windowBytes = a.readAll();
    QVERIFY(windowBytes.size() > 54);
    QVERIFY2(windowBytes == b.readAll(), "the window's bitmap differs from the renderer's");
}

void TestWindowEqualsBatch::sameFigure_data()
{
    // The dialog's fields, the type, window actions and a zoom (none when null) before the
    // export, and the renderer's options for the same figure.
    QTest::addColumn<TFigureOptions>("figure");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QPointF>("zoom");
    QTest::addColumn<QStringList>("options");
    TFigureOptions png;
    png.Millimetres = QSizeF(180, 100);
    png.Dpi = 300;
    png.Decor.Legend = true;
    png.Decor.ScaleBar = true;
    QTest::newRow("png 180x100mm 300 dpi, legend, scale bar")
        << png << "png" << QStringList{} << QPointF()
        << QStringList{"--size", "180x100mm", "--dpi", "300", "--legend", "--scale-bar"};
    TFigureOptions svg;
    svg.Millimetres = QSizeF(85, 60);
    svg.Decor.Title = QStringLiteral("Two maps");
    svg.Decor.ScaleBar = true;
    svg.Decor.ScaleBarLength = 5000;
    svg.FontFamily = QStringLiteral("DejaVu Serif");
    QTest::newRow("svg 85 mm, title, 5 kb bar, serif, zoomed")
        << svg << "svg" << QStringList{} << QPointF(20000, 90000)
        << QStringList{"--size", "85x60mm", "--title",     "Two maps", "--scale-bar",
                       "5kb",    "--zoom",  "20000:90000", "--font",   "DejaVu Serif"};
    TFigureOptions pdf;
    pdf.Millimetres = QSizeF(180, 100);
    pdf.FontSize = 7;
    pdf.NameFontSize = 8;
    pdf.Italic = true;
    QTest::newRow("pdf, type sizes, gray, disentangled")
        << pdf << "pdf" << QStringList{"mnuGrayScale", "mnuDisentangle"} << QPointF()
        << QStringList{"--size", "180x100mm", "--font-size", "7",    "--name-font-size",
                       "8",      "--italic",  "--palette",   "gray", "--disentangle"};
    TFigureOptions linked;
    linked.Millimetres = QSizeF(180, 120);
    linked.Decor.Legend = true;
    linked.LabelsFit = linked.LabelsChosen = true;
    linked.RowScales = true;
    QTest::newRow("svg, ribbons, row scales, names that fit, group colours")
        << linked << "svg" << QStringList{"mnuRibbons", "mnuColourByGroup"} << QPointF()
        << QStringList{"--size",  "180x120mm", "--legend",     "--labels",  "fit",
                       "--links", "ribbons",   "--row-scales", "--colours", "groups"};
    TFigureOptions blocks;
    blocks.Millimetres = QSizeF(180, 100);
    blocks.SyntenyBlocks = true;
    QTest::newRow("png, synteny blocks") << blocks << "png" << QStringList{} << QPointF()
                                         << QStringList{"--size", "180x100mm", "--links", "blocks"};
}

void TestWindowEqualsBatch::sameFigure()
{
    QFETCH(TFigureOptions, figure);
    QFETCH(QString, extension);
    QFETCH(QStringList, actions);
    QFETCH(QPointF, zoom);
    QFETCH(QStringList, options);
    QTemporaryDir dir;
    const QString input = QStringLiteral(OSTRINEL_EXAMPLES "/demo.txt");
    // One name in two folders: an SVG and a PDF are titled with the file's name.
    QVERIFY(QDir(dir.path()).mkpath("window") && QDir(dir.path()).mkpath("batch"));
    const QString exported = dir.filePath("window/figure." + extension);
    const QString rendered = dir.filePath("batch/figure." + extension);

    TdlgOstrinel window(nullptr);
    QStringList errors;
    window.SetErrorReporter([&](const QString &text) { errors << text; });
    window.SetFileChooser([&](QFileDialog &) { return dir.filePath("window/figure"); });
    QImage preview;
    window.SetFigureDialogRunner([&](TdlgExportFigure &dialog) {
        dialog.SetOptions(figure, GraphFormatOf("f." + extension));
        dialog.UpdatePreview();
        (void)QTest::qWaitFor([&] { return !dialog.PreviewPending(); });
        preview = dialog.PreviewImage();
        dialog.accept();
        return dialog.result() == QDialog::Accepted;
    });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.LoadFile(input);
    for (const QString &name : actions)
        window.findChild<QAction *>(name)->trigger();
    if (!zoom.isNull()) {
        window.ChartWidget()->Chart().ZoomTo(zoom.x(), zoom.y());
        window.ChartWidget()->RepaintNow();
    }
    window.findChild<QAction *>("mnuExportFigure")->trigger();
    QCOMPARE(errors, QStringList());
    // The preview is the figure, fitted to the dialog.
    QVERIFY(!preview.isNull());
    QCOMPARE(qRound(10.0 * preview.width() / preview.height()),
             qRound(10.0 * figure.Millimetres->width() / figure.Millimetres->height()));

    QCOMPARE(RenderInProcess(options + QStringList{input, rendered}), kRenderDone);
    const QByteArray windowBytes = Bytes(exported);
    QVERIFY(windowBytes.size() > 100);
    QVERIFY2(WithoutCreationTime(windowBytes) == WithoutCreationTime(Bytes(rendered)),
             "the window's figure differs from the renderer's");
}

void TestWindowEqualsBatch::refusedFigure_data()
{
    QTest::addColumn<QSizeF>("millimetres");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("options");
    QTest::newRow("too many pixels")
        << QSizeF(4000, 100) << "f.png" << QStringList{"--size", "4000x100mm", "--dpi", "300"};
    QTest::newRow("no such folder")
        << QSizeF(180, 100) << "missing/f.png" << QStringList{"--size", "180x100mm"};
}

void TestWindowEqualsBatch::refusedFigure()
{
    QFETCH(QSizeF, millimetres);
    QFETCH(QString, file);
    QFETCH(QStringList, options);
    QTemporaryDir dir;
    const QString input = QStringLiteral(OSTRINEL_EXAMPLES "/demo.txt");
    TdlgOstrinel window(nullptr);
    QStringList errors;
    window.SetErrorReporter([&](const QString &text) { errors << text; });
    window.SetFileChooser([&](QFileDialog &) { return dir.filePath(file); });
    window.SetFigureDialogRunner([&](TdlgExportFigure &dialog) {
        TFigureOptions figure;
        figure.Millimetres = millimetres;
        dialog.SetOptions(figure, TGraphFormat::Png);
        return true;
    });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.LoadFile(input);
    const QImage before = ChartShot(window.ChartWidget());
    window.findChild<QAction *>("mnuExportFigure")->trigger();

    // The renderer's own message, in a box; no file, and the map as it was.
    QByteArray err;
    QCOMPARE(RenderInProcess(options + QStringList{input, dir.filePath(file)}, &err),
             kRenderBadUsage);
    QCOMPARE(errors.size(), 1);
    QVERIFY2(err.contains(errors.first().chopped(1).toUtf8()), qPrintable(errors.first()));
    QVERIFY(!QFile::exists(dir.filePath(file)));
    QCOMPARE(ChartShot(window.ChartWidget()), before);
}

QTEST_MAIN(TestWindowEqualsBatch)
#include "tst_gui_render.moc"
