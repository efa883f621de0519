// The main window driven as a user drives it: menus and shortcuts, loading through the open
// command with the dialog bypassed, the check lists, the error box, the report windows, the map
// item selection and the alignment, all on the real catalogue, map builder and chart.
#include "ChartShot.h"
#include "FakeMmseqs.h"
#include "app/BusyCursor.h"
#include "app/TChartWidget.h"
#include "app/TdlgInfo.h"
#include "app/TdlgOstrinel.h"
#include "app/TfBlocNote.h"
#include "app/WindowFrame.h"
#include "chart/TChart.h"
#include "core/MapOperations.h"
#include "core/Reports.h"
#include "platform/HelpSystem.h"

#include <QComboBox>
#include <QFileDialog>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

// Three chromosomes; genes sort as "???", ABC, DEF, GHI.
const QByteArray kThreeRows = "chr1\t100\t500\t1\tabc\tfirst\n"
                              "chr1\t600\t900\t-1\tdef\n"
                              "chr2\t50\t300\t1\tabc\n"
                              "chr2\t400\t700\t1\tghi\n"
                              "chr3\t10\t200\t1\tdef\n"
                              "chr3\t300\t350\t1\n";

// Two rows sharing gene G: A from 1000 to 9000 with G at 5000, B from 0 to 8000 with G at 2000.
const QByteArray kAlignRows = "A\t1000\t3000\t1\tx\n"
                              "A\t5000\t6000\t1\tg\n"
                              "A\t8000\t9000\t1\ty\n"
                              "B\t0\t1000\t1\tz\n"
                              "B\t2000\t3000\t1\tg\n"
                              "B\t7000\t8000\t1\tw\n";

QStringList RowTitles(const TChart &chart)
{
    QStringList titles;
    for (int i = 1; i < chart.SeriesCount(); ++i)
        titles << QString::fromLatin1(chart.Series(i).Title);
    return titles;
}

TArrowSeries *RowOf(TChart &chart, qint32 chromosome)
{
    for (int i = 1; i < chart.SeriesCount(); ++i)
        if (chart.Series(i).Tag == chromosome)
            return &chart.Series(i);
    return nullptr;
}

std::vector<Qt::CheckState> States(const QListWidget *list)
{
    std::vector<Qt::CheckState> states;
    for (int i = 0; i < list->count(); ++i)
        states.push_back(list->item(i)->checkState());
    return states;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void menuItems_data();
    void menuItems();
    void menuOrder();
    void ribbonsDrawn();
    void helpContexts();
    void printHiddenButShortcutRuns();
    void creation();
    void placeOnScreen_data();
    void placeOnScreen();
    void loadFillsListsAndRows();
    void slowLoadShowsWaitCursor();
    void openDialogSettings();
    void openSeveralFiles();
    void allFilesListsEveryName();
    void openCancelChangesNothing();
    void doubleClickOnListOpens();
    void userToggleRebuilds();
    void keyToggleRebuilds();
    void programChecksRaiseNoEvent();
    void geneCheckNone();
    void geneCheckNoneOnEmptyList();
    void chromosomeCheckNoneLeavesNoRows();
    void listShortcutsFollowFocus();
    void errorBoxText_data();
    void errorBoxText();
    void failedLoadKeepsEverything();
    void legendWindow();
    void chromosomeReportWindows();
    void geneReportSelectsFirst();
    void reportOnEmptyListShowsNoWindow();
    void rightPressSelectsRecord_data();
    void rightPressSelectsRecord();
    void leftPressOpensNothing();
    void itemReportWindow();
    void infoOnFirstGeneOfList();
    void inverseTwiceRestores();
    void alignWorkedExample();
    void saveDialogSettings();
    void viewSwitches_data();
    void viewSwitches();
    void hideAndFirstLineRebuild();
    void grayPaletteRecolours();
    void disentangleFromMenu();
    void orderRowsFromMenu();
    void homologyTableFromMenu();
    void findHomologsCancels();

private:
    QString Fixture(const QString &name, const QByteArray &content);
    TdlgOstrinel &Window() { return *m_window; }
    QAction *Action(const char *name) { return m_window->findChild<QAction *>(name); }
    QListWidget *List(const char *name) { return m_window->findChild<QListWidget *>(name); }
    TChart &Chart() { return m_window->ChartWidget()->Chart(); }

    QTemporaryDir m_dir;
    std::unique_ptr<TdlgOstrinel> m_window;
    QStringList m_errors;
    int m_choices = 0;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString TestMainWindow::Fixture(const QString &name, const QByteArray &content)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write fixture %s", qPrintable(path));
    file.write(content);
    return path;
}

void TestMainWindow::init()
{
    m_errors.clear();
    m_choices = 0;
    m_window = std::make_unique<TdlgOstrinel>(nullptr);
    m_window->SetErrorReporter([this](const QString &text) { m_errors << text; });
    // A dialog that pops up unexpectedly must not block the test run.
    m_window->SetFileChooser([this](QFileDialog &) {
        ++m_choices;
        return QString();
    });
    m_window->SetPrintDialogRunner([](QPrintDialog &) { return false; });
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestMainWindow::cleanup()
{
    m_window.reset();
}

void TestMainWindow::menuItems_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<bool>("checkable");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("visible");

    auto row = [](const char *name, const char *text, const char *shortcut, bool checkable,
                  bool checked, bool visible = true) {
        QTest::newRow(name) << name << text << shortcut << checkable << checked << visible;
    };
    row("mnuOpen", "&Open...", "Ctrl+O", false, false);
    row("mnuSaveGraph", "&Save graph...", "Ctrl+S", false, false);
    row("mnuPrint", "&Print...", "Ctrl+P", false, false, false);
    row("mnuLegend", "&Legend...", "Ctrl+L", false, false);
    row("mnuFireScale", "&Fire scale", "", true, true);
    row("mnuGrayScale", "&Gray scale", "", true, false);
    row("mnuGeneName", "&Gene name", "Ctrl+G", true, true);
    row("mnuLinkGenes", "&Connectors", "Ctrl+K", true, true);
    row("mnuHideGenes", "&Hide unchecked genes", "Ctrl+H", true, false);
    row("mnuGrid", "G&rid", "", true, true);
    row("mnuFirstLineNames", "&Names only on 1st line", "", true, false);
    row("mnuFrameGeneName", "&Frame gene names", "", true, true);
    row("mnuFrameArrows", "Frame &arrows", "", true, true);
    row("mnuRibbons", "Ribbons", "", true, false);
    row("mnuColourByGroup", "Colour by &group", "", true, false);
    row("mnuRowScales", "Row &scales", "", true, false);
    row("mnuCurvedRibbons", "C&urved ribbons", "", true, false);
    row("mnuSyntenyBlocks", "S&ynteny blocks", "", true, false);
    row("mnuRibbonsByIdentity", "&Red and blue by identity", "", true, true);
    row("mnuRibbonsBlack", "&Black", "", true, false);
    row("mnuDisentangle", "&Disentangle links", "", false, false);
    row("mnuOpenHomology", "Open &homology table...", "", false, false);
    row("mnuFindHomologs", "Find &homologs", "", false, false);
    row("mnuOpenTree", "Open &tree...", "", false, false);
    row("mnuOrderRows", "&Order rows", "", false, false);
    row("Helpcontents1", "&Help contents...", "", false, false);
    row("mnuCredits", "&Credits...", "", false, false);
    row("popGetInfo", "Get &info...", "", false, false);
    row("popInverseChromosome", "In&verse chromosome", "", false, false);
    row("popCheckAll", "Check &all", "Ctrl+A", false, false);
    row("popCheckNone", "Check &none", "Ctrl+N", false, false);
    row("popLoadFromFile", "&Load from file...", "", false, false);
    row("popGeneGetInfo", "Get &info...", "", false, false);
    row("popGenesCheckAll", "Check &all", "Ctrl+A", false, false);
    row("popGenesCheckNone", "Check &none", "Ctrl+N", false, false);
    row("popInformation", "Get &info...", "", false, false);
    row("popAlign", "&Align on this gene", "", false, false);
}

void TestMainWindow::menuItems()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, shortcut);
    QFETCH(bool, checkable);
    QFETCH(bool, checked);
    QFETCH(bool, visible);
    QAction *action = Action(name.toLatin1().constData());
    QVERIFY(action);
    QCOMPARE(action->text(), text);
    QCOMPARE(action->shortcut(), QKeySequence(shortcut));
    QCOMPARE(action->isCheckable(), checkable);
    QCOMPARE(action->isChecked(), checked);
    QCOMPARE(action->isVisible(), visible);
}

void TestMainWindow::menuOrder()
{
    auto captions = [](const QWidget *menu) {
        QStringList list;
        for (const QAction *action : menu->actions())
            list << (action->isSeparator() ? QStringLiteral("-") : action->text());
        return list;
    };
    QCOMPARE(captions(Window().menuBar()), (QStringList{"&File", "&View", "&Operations", "&Help"}));
    QCOMPARE(captions(Window().findChild<QMenu *>("mnuView")),
             (QStringList{"&Legend...", "&Palette", "-", "&Gene name", "&Connectors",
                          "&Hide unchecked genes", "G&rid", "&Names only on 1st line",
                          "&Frame gene names", "Frame &arrows", "-", "Ribbons", "S&ynteny blocks",
                          "C&urved ribbons", "Ribbon &colours", "Row &scales"}));
    QCOMPARE(captions(Window().findChild<QMenu *>("mnuOperations")),
             (QStringList{"&Disentangle links", "&Order rows", "Find &homologs"}));
    QCOMPARE(captions(Window().findChild<QMenu *>("mnuHelp")),
             (QStringList{"&Help contents...", "-", "&Credits..."}));
    QCOMPARE(captions(Window().PopChromosomes()),
             (QStringList{"Get &info...", "In&verse chromosome", "-", "Check &all", "Check &none",
                          "-", "&Load from file..."}));
    QCOMPARE(captions(Window().PopGenes()),
             (QStringList{"Get &info...", "-", "Check &all", "Check &none"}));
    QCOMPARE(captions(Window().PopArrows()), (QStringList{"Get &info...", "&Align on this gene"}));
    QCOMPARE(Action("mnuLinkGenes")->toolTip(),
             QStringLiteral("Display a black broken line between homologous genes"));

    // Choosing the gray scale unchecks the fire scale: one radio group.
    Action("mnuGrayScale")->trigger();
    QVERIFY(Action("mnuGrayScale")->isChecked());
    QVERIFY(!Action("mnuFireScale")->isChecked());
    QCOMPARE(Window().Palette(), GrayPalette());
}

void TestMainWindow::helpContexts()
{
    QCOMPARE(HelpContext(&Window()), 100);
    QCOMPARE(HelpContext(Window().ChartWidget()), 300);
    QCOMPARE(HelpContext(List("cklChromosomes")), 300);
    QCOMPARE(HelpContext(List("cklGenes")), 300);
    QCOMPARE(HelpContext(Window().findChild<QLabel *>("Label1")), 300);
    QCOMPARE(HelpContext(Window().findChild<QLabel *>("Label2")), 300);
    QCOMPARE(HelpContext(Window().findChild<QMenu *>("mnuOperations")), 400);
    QCOMPARE(HelpContext(Action("mnuDisentangle")), 400);
    QCOMPARE(HelpContext(Window().findChild<QMenu *>("Palette1")), 400);
    QCOMPARE(HelpContext(Action("mnuFireScale")), 0);
    QCOMPARE(HelpContext(Window().PopArrows()), 0);
    QCOMPARE(HelpContext(Action("popAlign")), 0);
}

void TestMainWindow::printHiddenButShortcutRuns()
{
    int dialogs = 0;
    QString outputFile;
    Window().SetPrintDialogRunner([&](QPrintDialog &dialog) {
        ++dialogs;
        outputFile = dialog.printer()->outputFileName();
        return false;
    });
    Window().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Window()));
    QVERIFY(!Action("mnuPrint")->isVisible());
    QTest::keyClick(&Window(), Qt::Key_P, Qt::ControlModifier);
    QCOMPARE(dialogs, 1);
    // A PDF file only without any printer (as here), else the default printer stays chosen.
    QCOMPARE(outputFile.endsWith(".pdf"), QPrinterInfo::availablePrinters().isEmpty());
    QVERIFY(m_errors.isEmpty());
}

void TestMainWindow::creation()
{
    QCOMPARE(Window().windowTitle(), QStringLiteral("Ostrinel 1.0"));
    // The whole window, frame included, from the screen's left edge and the designed top.
    QCOMPARE(Window().frameGeometry(), QRect(0, 144, Window().screen()->geometry().width(), 617));
    QCOMPARE(Window().Palette(), FirePalette());
    QCOMPARE(Chart().SeriesCount(), 1);
    QVERIFY(!Chart().Series(0).Active);
    QCOMPARE(List("cklChromosomes")->count(), 0);
    QCOMPARE(List("cklGenes")->count(), 0);
    QCOMPARE(List("cklChromosomes")->height(), 141);
}

void TestMainWindow::placeOnScreen_data()
{
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("place");
    QTest::newRow("design fits") << QRect(0, 0, 1920, 1080) << QRect(0, 0, 1920, 1040)
                                 << QRect(0, 144, 1920, 617);
    QTest::newRow("moved up to fit")
        << QRect(0, 0, 1280, 720) << QRect(0, 0, 1280, 700) << QRect(0, 83, 1280, 617);
    // 1920 x 1080 at scale 2: the design is taller than the screen.
    QTest::newRow("scaled screen")
        << QRect(0, 0, 960, 540) << QRect(0, 27, 960, 513) << QRect(0, 27, 960, 513);
    QTest::newRow("second screen")
        << QRect(1920, 0, 1280, 1024) << QRect(1920, 0, 1280, 1024) << QRect(1920, 144, 1280, 617);
}

void TestMainWindow::placeOnScreen()
{
    QFETCH(QRect, screen);
    QFETCH(QRect, available);
    QFETCH(QRect, place);
    QCOMPARE(DesignedPlace(screen, available, 144, 617), place);
}

void TestMainWindow::loadFillsListsAndRows()
{
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
    QListWidget *chromosomes = List("cklChromosomes");
    QListWidget *genes = List("cklGenes");
    QCOMPARE(chromosomes->count(), 3);
    QCOMPARE(chromosomes->item(2)->text(), QStringLiteral("chr3"));
    QCOMPARE(genes->count(), 4);
    QCOMPARE(genes->item(0)->text(), QStringLiteral("???"));
    QCOMPARE(genes->item(1)->text(), QStringLiteral("ABC"));
    for (QListWidget *list : {chromosomes, genes})
        for (int i = 0; i < list->count(); ++i) {
            QCOMPARE(list->item(i)->checkState(), Qt::Checked);
            QCOMPARE(list->visualItemRect(list->item(i)).height(), 13);
        }
    QCOMPARE(RowTitles(Chart()), (QStringList{"chr1", "chr2", "chr3"}));

    // A second load replaces the whole catalogue.
    Window().LoadFile(Fixture("align.txt", kAlignRows));
    QCOMPARE(chromosomes->count(), 2);
    QCOMPARE(RowTitles(Chart()), (QStringList{"A", "B"}));
}

// Files chosen together load as one map; a chromosome name found in two files shows its stem.
void TestMainWindow::openSeveralFiles()
{
    QFileDialog::FileMode mode = QFileDialog::ExistingFile;
    Window().SetFilesChooser([&](QFileDialog &dialog) {
        mode = dialog.fileMode();
        return QStringList{OSTRINEL_EXAMPLES "/mouse.gff3", OSTRINEL_EXAMPLES "/rat.gff3"};
    });
    Action("mnuOpen")->trigger();
    QCOMPARE(mode, QFileDialog::ExistingFiles);
    QStringList names;
    for (int i = 0; i < List("cklChromosomes")->count(); ++i)
        names << List("cklChromosomes")->item(i)->text();
    QCOMPARE(names, (QStringList{"mouse:chr1", "chr2", "rat:chr1", "chr3"}));
    QCOMPARE(List("cklGenes")->count(), 12);
}

// A load drawn for longer than the delay shows the wait cursor, and the normal one after.
void TestMainWindow::slowLoadShowsWaitCursor()
{
    const auto handler = Chart().OnAfterDraw;
    Qt::CursorShape shape = Qt::ArrowCursor;
    Chart().OnAfterDraw = [&](TChart &chart, TCanvas *canvas) {
        QThread::msleep(TBusyCursor::kDelayMs);
        handler(chart, canvas);
        if (const QCursor *cursor = QGuiApplication::overrideCursor())
            shape = cursor->shape();
    };
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    QCOMPARE(shape, Qt::WaitCursor);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void TestMainWindow::openDialogSettings()
{
    const QString path = Fixture("three.txt", kThreeRows);
    QString title;
    QStringList filters;
    Window().SetFileChooser([&](QFileDialog &dialog) {
        title = dialog.windowTitle();
        filters = dialog.nameFilters();
        return path;
    });
    Action("mnuOpen")->trigger();
    QCOMPARE(title, QStringLiteral("Select coordinate file"));
    QCOMPARE(filters, (QStringList{"Text file (tab delimited) (*.txt)", "All files (*.*)"}));
    QCOMPARE(List("cklChromosomes")->count(), 3);

    // The pop-up's "&Load from file..." is the same command.
    Window().SetFileChooser([&](QFileDialog &) { return Fixture("align.txt", kAlignRows); });
    Action("popLoadFromFile")->trigger();
    QCOMPARE(List("cklChromosomes")->count(), 2);
}

// "All files (*.*)" lists names without a dot too; the text file entry still filters.
void TestMainWindow::allFilesListsEveryName()
{
    QTemporaryDir dir;
    for (const char *name : {"coords", "map.txt"})
        QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
    QStringList seen; // after each choice of file type: its text, then the files listed
    Window().SetFileChooser([&](QFileDialog &dialog) {
        dialog.setDirectory(dir.path());
        dialog.show();
        auto *types = dialog.findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        auto *view = dialog.findChild<QAbstractItemView *>(QStringLiteral("listView"));
        const auto rows = [&] { return view->model()->rowCount(view->rootIndex()); };
        for (Qt::Key key : {Qt::Key_Down, Qt::Key_Up}) {
            QTest::keyClick(types, key); // the folder is read in the background
            // Waited for only: the rows found are compared below.
            (void)QTest::qWaitFor([&] { return rows() == (key == Qt::Key_Down ? 2 : 1); }, 5000);
            seen << types->currentText() << QString::number(rows());
        }
        return QString();
    });
    Action("mnuOpen")->trigger();
    QCOMPARE(seen, (QStringList{"All files (*.*)", "2", "Text file (tab delimited) (*.txt)", "1"}));
}

void TestMainWindow::openCancelChangesNothing()
{
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    List("cklChromosomes")->item(1)->setCheckState(Qt::Unchecked);
    Action("mnuOpen")->trigger();
    QCOMPARE(m_choices, 1);
    QCOMPARE(List("cklChromosomes")->count(), 3);
    QCOMPARE(List("cklChromosomes")->item(1)->checkState(), Qt::Unchecked);
    QCOMPARE(RowTitles(Chart()), (QStringList{"chr1", "chr3"}));
    QVERIFY(m_errors.isEmpty());
}

void TestMainWindow::doubleClickOnListOpens()
{
    QTest::mouseDClick(List("cklChromosomes")->viewport(), Qt::LeftButton);
    QCOMPARE(m_choices, 1);
    QTest::mouseDClick(List("cklGenes")->viewport(), Qt::LeftButton);
    QCOMPARE(m_choices, 2);
}

void TestMainWindow::userToggleRebuilds()
{
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    QListWidget *chromosomes = List("cklChromosomes");
    // With signals on, as a click on the box delivers it.
    chromosomes->item(1)->setCheckState(Qt::Unchecked);
    QCOMPARE(RowTitles(Chart()), (QStringList{"chr1", "chr3"}));
    chromosomes->item(0)->setCheckState(Qt::Unchecked);
    QCOMPARE(RowTitles(Chart()), (QStringList{"chr3"}));
    chromosomes->item(1)->setCheckState(Qt::Checked);
    QCOMPARE(RowTitles(Chart()), (QStringList{"chr2", "chr3"}));
    chromosomes->item(0)->setCheckState(Qt::Checked);
    QCOMPARE(RowTitles(Chart()), (QStringList{"chr1", "chr2", "chr3"}));

    // A gene toggled off: with "&Hide unchecked genes" its arrows leave every row.
    Action("mnuHideGenes")->trigger();
    const int before = RowOf(Chart(), 0)->Count() + RowOf(Chart(), 1)->Count();
    List("cklGenes")->item(1)->setCheckState(Qt::Unchecked); // ABC: one arrow on chr1 and chr2
    QCOMPARE(RowOf(Chart(), 0)->Count() + RowOf(Chart(), 1)->Count(), before - 2);
}

void TestMainWindow::keyToggleRebuilds()
{
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    QListWidget *chromosomes = List("cklChromosomes");
    Window().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Window()));
    chromosomes->setFocus();
    chromosomes->setCurrentRow(2);
    QTest::keyClick(chromosomes, Qt::Key_Space);
    QCOMPARE(chromosomes->item(2)->checkState(), Qt::Unchecked);
    QCOMPARE(RowTitles(Chart()), (QStringList{"chr1", "chr2"}));
}

void TestMainWindow::programChecksRaiseNoEvent()
{
    QSignalSpy chromosomeSpy(List("cklChromosomes"), &QListWidget::itemChanged);
    QSignalSpy geneSpy(List("cklGenes"), &QListWidget::itemChanged);
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    Window().popCheckNoneClick();
    Window().popCheckAllClick();
    Window().popGenesCheckNoneClick();
    Window().popGenesCheckAllClick();
    QCOMPARE(chromosomeSpy.count(), 0);
    QCOMPARE(geneSpy.count(), 0);
}

void TestMainWindow::geneCheckNone()
{
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    QListWidget *genes = List("cklGenes");
    genes->item(0)->setCheckState(Qt::Unchecked);
    Action("popGenesCheckNone")->trigger();
    QCOMPARE(States(genes), (std::vector<Qt::CheckState>{Qt::Checked, Qt::Unchecked, Qt::Unchecked,
                                                         Qt::Unchecked}));
    Action("popGenesCheckAll")->trigger();
    QCOMPARE(States(genes), std::vector<Qt::CheckState>(4, Qt::Checked));
    // The chromosome list is left alone.
    QCOMPARE(States(List("cklChromosomes")), std::vector<Qt::CheckState>(3, Qt::Checked));
}

void TestMainWindow::geneCheckNoneOnEmptyList()
{
    Window().popGenesCheckNoneClick();
    QVERIFY(m_errors.isEmpty());
    QCOMPARE(List("cklGenes")->count(), 0);
    QCOMPARE(Chart().SeriesCount(), 1);
}

void TestMainWindow::chromosomeCheckNoneLeavesNoRows()
{
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    Action("popCheckNone")->trigger();
    QCOMPARE(Chart().SeriesCount(), 1);
    QCOMPARE(States(List("cklChromosomes")), std::vector<Qt::CheckState>(3, Qt::Unchecked));
    Action("popCheckAll")->trigger();
    QCOMPARE(RowTitles(Chart()), (QStringList{"chr1", "chr2", "chr3"}));
}

void TestMainWindow::listShortcutsFollowFocus()
{
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    Window().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Window()));
    QListWidget *chromosomes = List("cklChromosomes");
    QListWidget *genes = List("cklGenes");

    genes->setFocus();
    QTest::keyClick(genes, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(States(genes), (std::vector<Qt::CheckState>{Qt::Checked, Qt::Unchecked, Qt::Unchecked,
                                                         Qt::Unchecked}));
    QCOMPARE(States(chromosomes), std::vector<Qt::CheckState>(3, Qt::Checked));

    chromosomes->setFocus();
    QTest::keyClick(chromosomes, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(States(chromosomes), std::vector<Qt::CheckState>(3, Qt::Unchecked));
    QCOMPARE(genes->item(1)->checkState(), Qt::Unchecked);
    QTest::keyClick(chromosomes, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(States(chromosomes), std::vector<Qt::CheckState>(3, Qt::Checked));
    QCOMPARE(genes->item(1)->checkState(), Qt::Unchecked);

    genes->setFocus();
    QTest::keyClick(genes, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(States(genes), std::vector<Qt::CheckState>(4, Qt::Checked));
}

void TestMainWindow::errorBoxText_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("atStart");
    QTest::addColumn<QString>("text");
    QTest::newRow("column 2") << QByteArray("c\t1\t2\t1\tA\n\nc\tx\t9\t1\tC\n") << false
                              << "Error in the file at line 3.";
    QTest::newRow("trailing space")
        << QByteArray("c\t1\t2\t1\tA\nc\t5\t6 \t1\tB\n") << false << "Error in the file at line 2.";
    QTest::newRow("strand") << QByteArray("c\t1\t2\tplus\n") << false
                            << "Error in the file at line 1.";
    // Named when the program starts, no dialog showed which file it was.
    QTest::newRow("named at start")
        << QByteArray("c\t1\t2\tplus\n") << true << "%1: Error in the file at line 1.";
}

void TestMainWindow::errorBoxText()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, atStart);
    QFETCH(QString, text);
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    const QString bad = Fixture("bad.txt", content);
    if (atStart)
        Window().LoadStartFiles({bad});
    else
        Window().LoadFile(bad);
    QCOMPARE(m_errors, QStringList{text.arg(bad)});
    // The previous file's lists and map stay whole.
    QCOMPARE(List("cklChromosomes")->count(), 3);
    QCOMPARE(List("cklGenes")->count(), 4);
    QCOMPARE(Window().Catalogue().FChromosomeNames.size(), std::size_t(3));
    QCOMPARE(RowTitles(Chart()), (QStringList{"chr1", "chr2", "chr3"}));
}

void TestMainWindow::failedLoadKeepsEverything()
{
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    List("cklGenes")->item(2)->setCheckState(Qt::Unchecked);
    Window().LoadFile(m_dir.filePath("missing/none.txt"));
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors.first().contains(QStringLiteral("none.txt")), qPrintable(m_errors.first()));
    QCOMPARE(List("cklChromosomes")->count(), 3);
    QCOMPARE(List("cklGenes")->item(2)->checkState(), Qt::Unchecked);
    QCOMPARE(RowTitles(Chart()), (QStringList{"chr1", "chr2", "chr3"}));
}

void TestMainWindow::legendWindow()
{
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    Action("mnuLegend")->trigger();
    Action("mnuLegend")->trigger();
    const QList<TdlgInfo *> legends = Window().findChildren<TdlgInfo *>();
    QCOMPARE(legends.size(), 2);
    for (TdlgInfo *legend : legends) {
        QCOMPARE(legend->windowTitle(), QStringLiteral("Gene list legend"));
        QCOMPARE(legend->frameGeometry().size(), QSize(270, 488));
        QVERIFY(legend->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(legend->isVisible());
        QVERIFY(!legend->isModal());
        QCOMPARE(legend->mmInfo()->toPlainText(), QStringLiteral("1: ABC\n2: DEF\n3: GHI"));
    }
    // Closing one only hides it.
    legends.first()->close();
    QCOMPARE(Window().findChildren<TdlgInfo *>().size(), 2);
}

void TestMainWindow::chromosomeReportWindows()
{
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    List("cklChromosomes")->setCurrentRow(1);
    List("cklChromosomes")->item(1)->setCheckState(Qt::Unchecked); // the selection decides
    Action("popGetInfo")->trigger();
    Action("popGetInfo")->trigger();
    const QList<TdlgInfo *> reports = Window().findChildren<TdlgInfo *>();
    QCOMPARE(reports.size(), 2);
    QVERIFY(reports[0] != reports[1]);
    const QString expected = ChromosomeReport(Window().Catalogue(), 1).join('\n');
    QVERIFY(expected.contains(QStringLiteral("chr2\tGHI\t300\t")));
    for (TdlgInfo *report : reports) {
        QCOMPARE(report->windowTitle(), QStringLiteral("Info for chr2"));
        QCOMPARE(report->mmInfo()->toPlainText(), expected);
        QCOMPARE(report->frameGeometry().size(), QSize(369, 488));
        QVERIFY(report->windowFlags().testFlag(Qt::Tool));
        QVERIFY(!report->mmInfo()->isReadOnly());
        QCOMPARE(report->mmInfo()->lineWrapMode(), QPlainTextEdit::NoWrap);
        QVERIFY(report->isVisible());
    }
    // Editing one window leaves the other as it was.
    reports[0]->mmInfo()->setPlainText(QStringLiteral("typed"));
    QCOMPARE(reports[1]->mmInfo()->toPlainText(), expected);
}

void TestMainWindow::geneReportSelectsFirst()
{
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    QListWidget *genes = List("cklGenes");
    QVERIFY(genes->selectedItems().isEmpty());
    Action("popGeneGetInfo")->trigger();
    QCOMPARE(genes->selectedItems().size(), 1);
    QCOMPARE(genes->row(genes->selectedItems().first()), 0);
    const QList<TdlgInfo *> reports = Window().findChildren<TdlgInfo *>();
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports.first()->windowTitle(), QStringLiteral("Info for ???"));
    QCOMPARE(reports.first()->mmInfo()->toPlainText(),
             GeneReport(Window().Catalogue(), 0).join('\n'));
}

void TestMainWindow::reportOnEmptyListShowsNoWindow()
{
    Window().popGetInfoClick();
    Window().popGeneGetInfoClick();
    QCOMPARE(m_errors, (QStringList{"Range check error.", "Range check error."}));
    QCOMPARE(Window().findChildren<TdlgInfo *>().size(), 0);
}

void TestMainWindow::rightPressSelectsRecord_data()
{
    QTest::addColumn<int>("chromosome");
    QTest::addColumn<double>("value"); // drawn x of the press
    QTest::addColumn<int>("record");
    QTest::newRow("ABC on chr1") << 0 << 200.0 << 0;
    QTest::newRow("reversed strand DEF on chr1") << 0 << 650.0 << 1;
    QTest::newRow("gap on chr1") << 0 << 450.0 << -1;
    QTest::newRow("unnamed on chr3") << 2 << 315.0 << 1;
    QTest::newRow("GHI on chr2") << 1 << 500.0 << 1;
}

void TestMainWindow::rightPressSelectsRecord()
{
    QFETCH(int, chromosome);
    QFETCH(double, value);
    QFETCH(int, record);
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    TArrowSeries *row = RowOf(Chart(), chromosome);
    QVERIFY(row);
    const int x = Chart().ValueToPixel(Chart().BottomAxis, value);
    const int y = Chart().ValueToPixel(Chart().LeftAxis, -(chromosome + 1));
    Window().chChrMapClickSeries(*row, 0, Qt::RightButton, Qt::NoModifier, x, y);
    QVERIFY(m_errors.isEmpty());
    QVERIFY(Chart().MouseCancelled());
    QCOMPARE(Window().ClickedChromosome(), chromosome);
    QCOMPARE(Window().ClickedRecord(), record);
    QCOMPARE(Window().PopArrows()->isVisible(), record != -1);
    if (record != -1) {
        const TMapItemActions actions = MapItemActions(Window().Catalogue(), chromosome, record);
        QCOMPARE(Action("popInformation")->isEnabled(), actions.InfoEnabled);
        QCOMPARE(Action("popAlign")->isEnabled(), actions.AlignEnabled);
        Window().PopArrows()->hide();
    }
}

void TestMainWindow::leftPressOpensNothing()
{
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    TArrowSeries *row = RowOf(Chart(), 1);
    const int x = Chart().ValueToPixel(Chart().BottomAxis, 100.0);
    Window().chChrMapClickSeries(*row, 0, Qt::LeftButton, Qt::NoModifier, x, 50);
    QCOMPARE(Window().ClickedChromosome(), 1);
    QCOMPARE(Window().ClickedRecord(), 0);
    QVERIFY(!Window().PopArrows()->isVisible());
}

// Gene 0 of the list is a gene like any other: its first record offers "Get info..." and Align.
void TestMainWindow::infoOnFirstGeneOfList()
{
    Window().LoadFile(Fixture("zero.txt", "c1\t100\t500\t1\taaa\nc1\t600\t900\t1\tbbb\n"
                                          "c2\t100\t500\t1\taaa\n"));
    Window().chChrMapClickSeries(*RowOf(Chart(), 0), 0, Qt::RightButton, Qt::NoModifier,
                                 Chart().ValueToPixel(Chart().BottomAxis, 200.0), 50);
    Window().PopArrows()->hide();
    QCOMPARE(Window().ClickedRecord(), 0);
    QVERIFY(Action("popInformation")->isEnabled());
    QVERIFY(Action("popAlign")->isEnabled());
}

void TestMainWindow::itemReportWindow()
{
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    TArrowSeries *row = RowOf(Chart(), 0);
    Window().chChrMapClickSeries(*row, 0, Qt::RightButton, Qt::NoModifier,
                                 Chart().ValueToPixel(Chart().BottomAxis, 200.0), 50);
    Window().PopArrows()->hide();
    QVERIFY(Action("popInformation")->isEnabled());
    Action("popInformation")->trigger();
    const QList<TfBlocNote *> notes = Window().findChildren<TfBlocNote *>();
    QCOMPARE(notes.size(), 1);
    TfBlocNote *note = notes.first();
    QCOMPARE(note->windowTitle(), QStringLiteral("Bloc-Note"));
    QCOMPARE(note->frameGeometry().size(), QSize(100, 100));
    QCOMPARE(note->minimumSize(), note->maximumSize());
    QVERIFY(note->Memo()->isReadOnly());
    QCOMPARE(note->Memo()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(note->Memo()->toPlainText(),
             QStringLiteral("Name:\tABC\nLength:\t400\nComments:\tFIRST"));
    QVERIFY(note->isVisible());
}

void TestMainWindow::inverseTwiceRestores()
{
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    const QImage before = ChartShot(Window().ChartWidget());
    List("cklChromosomes")->setCurrentRow(1);
    Action("popInverseChromosome")->trigger();
    QVERIFY(Window().Catalogue().FChromosomes[1].Inverted);
    QVERIFY(RowOf(Chart(), 1)->StartX(0) < 0);
    Action("popInverseChromosome")->trigger();
    QVERIFY(!Window().Catalogue().FChromosomes[1].Inverted);
    QCOMPARE(ChartShot(Window().ChartWidget()), before);

    // No selection: nothing turns, the map is still redrawn.
    List("cklChromosomes")->clearSelection();
    Action("popInverseChromosome")->trigger();
    for (const ChromosomeView &view : Window().Catalogue().FChromosomes)
        QVERIFY(!view.Inverted);
    QVERIFY(m_errors.isEmpty());
}

void TestMainWindow::alignWorkedExample()
{
    Window().LoadFile(Fixture("align.txt", kAlignRows));
    List("cklChromosomes")->setCurrentRow(1);
    Action("popInverseChromosome")->trigger();
    QVERIFY(Window().Catalogue().FChromosomes[1].Inverted);

    // Right press on G of row A (drawn from 4000 to 5000 after the load's offset of -1000).
    TArrowSeries *rowA = RowOf(Chart(), 0);
    Window().chChrMapClickSeries(*rowA, 0, Qt::RightButton, Qt::NoModifier,
                                 Chart().ValueToPixel(Chart().BottomAxis, 4500.0), 50);
    Window().PopArrows()->hide();
    QCOMPARE(Window().ClickedRecord(), 1);
    QVERIFY(Action("popAlign")->isEnabled());
    Action("popAlign")->trigger();
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));

    QCOMPARE(Window().Catalogue().FChromosomes[0].Offset, 1000);
    QCOMPARE(Window().Catalogue().FChromosomes[1].Offset, -8000);
    auto startOfG = [&](qint32 chromosome) {
        TArrowSeries *row = RowOf(Chart(), chromosome);
        for (int i = 0; i < row->Count(); ++i)
            if (row->Label(i) == "G")
                return row->StartX(i);
        return -1.0;
    };
    QCOMPARE(startOfG(0), 6000.0);
    QCOMPARE(startOfG(1), 6000.0);
}

void TestMainWindow::saveDialogSettings()
{
    const QString first = m_dir.filePath("map.bmp");
    QString title, suffix, selected;
    QStringList filters;
    QStringList offered;
    bool confirmsOverwrite = false;
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
    QString answer = first;
    Window().SetFileChooser([&](QFileDialog &dialog) {
        title = dialog.windowTitle();
        filters = dialog.nameFilters();
        selected = dialog.selectedNameFilter();
        suffix = dialog.defaultSuffix();
        offered = dialog.selectedFiles();
        confirmsOverwrite = !dialog.testOption(QFileDialog::DontConfirmOverwrite);
        mode = dialog.acceptMode();
        return answer;
    });
    Action("mnuSaveGraph")->trigger();
    QCOMPARE(title, QStringLiteral("Save graph"));
    QCOMPARE(filters, (QStringList{"Windows Metafile (*.wmf)", "Enhanced Metafile (*.emf)",
                                   "Bitmap (*.bmp)"}));
    QCOMPARE(selected, filters.first());
    QCOMPARE(suffix, QStringLiteral("wmf"));
    QVERIFY(confirmsOverwrite);
    QCOMPARE(mode, QFileDialog::AcceptSave);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
    QVERIFY(QFileInfo::exists(first));

    // The next save offers the last name; a double click on the chart is the same command.
    answer.clear();
    emit Window().ChartWidget()->doubleClicked();
    QCOMPARE(offered.value(0), first);
}

void TestMainWindow::viewSwitches_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("gene name") << "mnuGeneName";
    QTest::newRow("grid") << "mnuGrid";
    QTest::newRow("frame gene names") << "mnuFrameGeneName";
    QTest::newRow("frame arrows") << "mnuFrameArrows";
    QTest::newRow("connectors") << "mnuLinkGenes";
}

void TestMainWindow::viewSwitches()
{
    QFETCH(QString, name);
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    // What each switch governs, read off every series (the template included) and the axis.
    // The template keeps the chart form's own settings until a switch is used; the rows
    // follow the check marks from the start.
    auto state = [&](const TChart &chart, int firstSeries) {
        QList<bool> values;
        for (int i = firstSeries; i < chart.SeriesCount(); ++i) {
            const TArrowSeries &series = chart.Series(i);
            if (name == "mnuGeneName")
                values << series.Marks.Visible;
            else if (name == "mnuFrameGeneName")
                values << (series.Marks.Frame.Visible && !series.Marks.Transparent);
            else if (name == "mnuFrameArrows")
                values << series.Pointer.Pen.Visible;
        }
        if (name == "mnuGrid")
            values << chart.BottomAxis.GridVisible;
        if (name == "mnuLinkGenes")
            values << Window().ViewOptions().LinkGenes;
        return values;
    };
    QAction *action = Action(name.toLatin1().constData());
    const QList<bool> before = state(Chart(), 1);
    QVERIFY(!before.isEmpty());
    QVERIFY(std::all_of(before.begin(), before.end(), [](bool v) { return v; }));
    const QStringList rows = RowTitles(Chart());
    const TArrowSeries *firstRow = &Chart().Series(1);

    action->trigger();
    QVERIFY(!action->isChecked());
    const QList<bool> after = state(Chart(), 0);
    QVERIFY(std::none_of(after.begin(), after.end(), [](bool v) { return v; }));
    // No rebuild: the same row series are still there.
    QCOMPARE(RowTitles(Chart()), rows);
    QCOMPARE(&Chart().Series(1), firstRow);

    action->trigger();
    const QList<bool> again = state(Chart(), 0);
    QVERIFY(std::all_of(again.begin(), again.end(), [](bool v) { return v; }));
    QVERIFY(m_errors.isEmpty());
}

// "Ribbons" repaints the same rows with bands of colour between them; "&Connectors" off hides
// them as it hides the connectors.
void TestMainWindow::ribbonsDrawn()
{
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    const auto coloured = [&] {
        const QImage shot = ChartShot(Window().ChartWidget());
        qint64 n = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QRgb c = shot.pixel(x, y);
                n += qRed(c) > qBlue(c) + 60 && qGreen(c) < 200 && qRed(c) < 250;
            }
        return n;
    };
    const qint64 before = coloured();
    const TArrowSeries *firstRow = &Chart().Series(1);
    Action("mnuRibbons")->trigger();
    QCOMPARE(Window().ViewOptions().LinkStyle, TLinkStyle::Ribbons);
    QCOMPARE(&Chart().Series(1), firstRow);
    const qint64 ribbons = coloured();
    QVERIFY2(ribbons > before + 100, qPrintable(QString::number(ribbons - before)));
    Action("mnuRibbonsGrey")->trigger();
    QCOMPARE(Window().ViewOptions().LinkColours, TLinkColours::Grey);
    QVERIFY(coloured() < ribbons);
    Action("mnuRibbonsByIdentity")->trigger();
    Action("mnuLinkGenes")->trigger();
    QCOMPARE(coloured(), before);
    QVERIFY(m_errors.isEmpty());
}

void TestMainWindow::hideAndFirstLineRebuild()
{
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    // The gene list: ???, ABC, DEF, GHI; DEF is on chr1 and chr3.
    const QSignalBlocker blocker(List("cklGenes"));
    List("cklGenes")->item(2)->setCheckState(Qt::Unchecked);
    const int chr1 = RowOf(Chart(), 0)->Count();
    Action("mnuHideGenes")->trigger();
    QCOMPARE(RowOf(Chart(), 0)->Count(), chr1 - 1);
    Action("mnuHideGenes")->trigger();
    QCOMPARE(RowOf(Chart(), 0)->Count(), chr1);

    Action("mnuFirstLineNames")->trigger();
    QVERIFY(Window().ViewOptions().FirstLineNames);
    QCOMPARE(RowTitles(Chart()), (QStringList{"chr1", "chr2", "chr3"}));
    QVERIFY(m_errors.isEmpty());
}

void TestMainWindow::grayPaletteRecolours()
{
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    // ABC lies on two of the three rows that carry the most genes of one name: the last
    // entry of either palette.
    const TColor fire = RowOf(Chart(), 0)->Color(0);
    QCOMPARE(fire, FirePalette().back());
    Action("mnuGrayScale")->trigger();
    QCOMPARE(RowOf(Chart(), 0)->Color(0), GrayPalette().back());
    Action("mnuFireScale")->trigger();
    QCOMPARE(RowOf(Chart(), 0)->Color(0), fire);
}

void TestMainWindow::disentangleFromMenu()
{
    // Three rows carrying A, B, C at 100, 200, 300; at 300, 200, 100; at 500, 400, 300.
    Window().LoadFile(Fixture("tangle.txt", "r1\t100\t150\t1\ta\nr1\t200\t250\t1\tb\n"
                                            "r1\t300\t350\t1\tc\nr2\t300\t350\t1\ta\n"
                                            "r2\t200\t250\t1\tb\nr2\t100\t150\t1\tc\n"
                                            "r3\t500\t550\t1\ta\nr3\t400\t450\t1\tb\n"
                                            "r3\t300\t350\t1\tc\n"));
    Action("mnuDisentangle")->trigger();
    QVERIFY(m_errors.isEmpty());
    const auto &views = Window().Catalogue().FChromosomes;
    QCOMPARE(views.size(), std::size_t(3));
    QVERIFY(!views[0].Inverted);
    QVERIFY(views[1].Inverted);
    QVERIFY(views[2].Inverted);
    // The rebuild drew the turned rows left of x = 0.
    QVERIFY(RowOf(Chart(), 1)->StartX(0) < 0);
    QVERIFY(RowOf(Chart(), 0)->StartX(0) >= 0);
}

// Rows p0 to p3, each one swap of neighbours from the one before, listed p2, p0, p3, p1, p3
// unchecked: the checked rows take one another's places, the first of the two best ways round.
void TestMainWindow::orderRowsFromMenu()
{
    QByteArray text;
    for (const char *row : {"p2 badce", "p0 abcde", "p3 badec", "p1 bacde"})
        for (int k = 0; k < 5; ++k)
            text += QByteArray(row, 2) + '\t' + QByteArray::number(100 * k + 1) + '\t' +
                    QByteArray::number(100 * k + 50) + "\t1\t" + row[3 + k] + '\n';
    Window().LoadFile(Fixture("chain.txt", text));
    QListWidget *list = List("cklChromosomes");
    list->item(2)->setCheckState(Qt::Unchecked);
    Action("mnuOrderRows")->trigger();
    QCOMPARE(QStringList({list->item(0)->text(), list->item(1)->text(), list->item(2)->text(),
                          list->item(3)->text()}),
             (QStringList{"p2", "p1", "p3", "p0"}));
    QCOMPARE(list->item(2)->checkState(), Qt::Unchecked);
    QCOMPARE(RowTitles(Chart()), (QStringList{"p2", "p1", "p0"}));
    QCOMPARE(Window().statusBar()->currentMessage(),
             QStringLiteral("Order: crossings 3 before, 2 after"));
}

// A homology table joins genes of different names into one gene of the list, shown in the title;
// a table that fails leaves the lists and the title as they were.
void TestMainWindow::homologyTableFromMenu()
{
    Window().LoadFile(Fixture("three.txt", kThreeRows));
    const int genes = List("cklGenes")->count();
    QString table = Fixture("pairs.tsv", "OG1\tabc\nOG1\tghi\nOG2\tnone\n");
    Window().SetFileChooser([&](QFileDialog &) { return table; });
    Action("mnuOpenHomology")->trigger();
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
    QCOMPARE(List("cklGenes")->count(), genes - 1);
    QCOMPARE(List("cklGenes")->findItems("OG1", Qt::MatchExactly).size(), 1);
    QVERIFY2(Window().windowTitle().endsWith(
                 "Homology: pairs.tsv, 1 group, 1 table entry matches no gene"),
             qPrintable(Window().windowTitle()));

    const QString title = Window().windowTitle();
    table = Fixture("clash.tsv", "OG1\tabc\nOG2\tabc\n");
    Action("mnuOpenHomology")->trigger();
    QCOMPARE(m_errors.size(), 1);
    QVERIFY(m_errors.front().contains("two homology groups: OG1 and OG2"));
    QCOMPARE(List("cklGenes")->count(), genes - 1);
    QCOMPARE(Window().windowTitle(), title);
}

// Find homologs shows its steps with a Cancel, which Esc presses too: MMseqs2 ends with the
// programs it started, nothing is cached, and the map stays as it was, with no error.
void TestMainWindow::findHomologsCancels()
{
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_dir.filePath("cache")));
    const QString child = m_dir.filePath("child");
    PutFakeMmseqs(m_dir.path(), "sleep 300 & echo $! > " + QFile::encodeName(child) + "; wait");
    Window().LoadFile(Fixture("one.gb", "LOCUS       one  900 bp    DNA\nFEATURES             "
                                        "Location/Qualifiers\n     CDS             100..400\n"
                                        "                     /translation=\"MKTW\"\n//\n"));
    const QString title = Window().windowTitle();
    QString button;
    QTimer esc;
    connect(&esc, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
        if (box && QFile::exists(child) && button.isEmpty()) {
            const auto *cancel = box->findChild<QPushButton *>();
            button = cancel ? cancel->text() : QStringLiteral("none");
            QTest::keyClick(box, Qt::Key_Escape);
        }
    });
    esc.start(50);
    Action("mnuFindHomologs")->trigger();
    QCOMPARE(button, QStringLiteral("Cancel"));
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
    QCOMPARE(Window().windowTitle(), title);
    QCOMPARE(QDir(m_dir.filePath("cache/ostrinel")).entryList(QDir::Files), QStringList());
    QFile pid(child);
    QVERIFY(pid.open(QIODevice::ReadOnly));
    const QString stat = QStringLiteral("/proc/%1/stat").arg(pid.readAll().trimmed());
    // Gone, or a zombie left to whoever adopted it.
    const auto gone = [&] {
        QFile status(stat);
        return !status.open(QIODevice::ReadOnly) || status.readAll().contains(") Z ");
    };
    QTRY_VERIFY(gone());
}

QTEST_MAIN(TestMainWindow)
#include "tst_gui_mainwindow.moc"
