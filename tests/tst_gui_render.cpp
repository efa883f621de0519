// The batch renderer draws the window's picture: the same file, size and switches give the same
// .bmp, byte for byte, whether saved from the window or written by ostrinel-render.
#include "app/TChartWidget.h"
#include "app/TdlgOstrinel.h"
#include "render/RenderRun.h"

#include <QAction>
#include <QBuffer>
#include <QFile>
#include <QFileDialog>
#include <QPrintDialog>
#include <QTemporaryDir>
#include <QtTest>

class TestWindowEqualsBatch : public QObject
{
    Q_OBJECT
private slots:
    void sameBitmap_data();
    void sameBitmap();
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

QTEST_MAIN(TestWindowEqualsBatch)
#include "tst_gui_render.moc"
