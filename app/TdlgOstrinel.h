// The main window: the two check lists, the chart, the menus and pop-ups, and thin handlers that
// read what the user chose, run the map session's command, refresh the lists and show errors.
// The session owns the catalogue, the palette, the clicked-item fields and the connector switch;
// the View menu's check marks are where the user sets the view options.
#pragma once

#include "app/BusyCursor.h"
#include "core/Catalogue.h"
#include "map/FigureExport.h"
#include "map/MapSession.h"
#include "map/ViewOptions.h"
#include "ui_TdlgOstrinel.h"
#include "util/ColorOps.h"

#include <QMainWindow>

#include <functional>
#include <mutex>
#include <vector>

class QFileDialog;
class QLabel;
class QProgressDialog;
class QShortcut;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPrintDialog;
class TArrowSeries;
class TCanvas;
class TChart;
class TdlgAbout;
class TdlgExportFigure;
class THelpSystem;

class TdlgOstrinel : public QMainWindow
{
    Q_OBJECT
public:
    // Runs the chosen dialog and returns the chosen file, or an empty text for Cancel.
    using TFileChooser = std::function<QString(QFileDialog &dialog)>;
    // Runs the open dialog, where several files may be chosen; none for Cancel.
    using TFilesChooser = std::function<QStringList(QFileDialog &dialog)>;
    // Runs the print dialog; true when the user accepted it.
    using TPrintDialogRunner = std::function<bool(QPrintDialog &dialog)>;
    // Runs the figure dialog; true when the user accepted it.
    using TFigureDialogRunner = std::function<bool(TdlgExportFigure &dialog)>;
    // Shows the text of an error box (the message with its closing period).
    using TErrorReporter = std::function<void(const QString &text)>;

    explicit TdlgOstrinel(THelpSystem *help, QWidget *parent = nullptr);
    ~TdlgOstrinel() override;

    // The credits window, created after this window at start-up and shown by "&Credits...".
    void SetAboutWindow(TdlgAbout *about) { m_about = about; }
    // Serves every dialog; the open dialog then gives the one chosen file.
    void SetFileChooser(TFileChooser chooser);
    // Serves the open dialog only, with every file chosen.
    void SetFilesChooser(TFilesChooser chooser) { m_filesChooser = std::move(chooser); }
    void SetPrintDialogRunner(TPrintDialogRunner runner) { m_printRunner = std::move(runner); }
    void SetErrorReporter(TErrorReporter reporter) { m_errorReporter = std::move(reporter); }
    void SetFigureDialogRunner(TFigureDialogRunner runner)
    {
        m_figureDialogRunner = std::move(runner);
    }

    // Everything "&Open..." does once the dialog has given a file: load, refill, rebuild.
    void LoadFile(const QString &path);

    // Everything "&Open..." does with several files chosen at once.
    void LoadFiles(const QStringList &paths);

    // The files named when the program starts: as LoadFiles, but a refusal names the file, since
    // no dialog showed the user which one it was.
    void LoadStartFiles(const QStringList &paths);

    const TMapSession &Session() const { return m_session; }
    const TCatalogue &Catalogue() const { return m_session.FCatalogue; }
    const tPalette &Palette() const { return m_session.FPalette; }
    qint32 ClickedChromosome() const { return m_session.FClickedChromosome; }
    qint32 ClickedRecord() const { return m_session.FClickedRecord; }
    TChartWidget *ChartWidget() const { return ui.chChrMap; }
    QMenu *PopChromosomes() const { return popChromosomes; }
    QMenu *PopGenes() const { return popGenes; }
    QMenu *PopArrows() const { return popArrows; }
    // The view switches as the View menu's check marks say now.
    TViewOptions ViewOptions() const;

    // Handlers, named after the items and controls that raise them.
    void FormCreate();
    void mnuOpenClick();
    void mnuSaveGraphClick();
    void mnuPrintClick();
    void mnuExportFigureClick();
    void mnuLegendClick();
    void OnChangePalette(QAction *sender);
    void mnuGeneNameClick();
    void mnuLinkGenesClick();
    void AddRibbonItems();
    void mnuHideGenesClick();
    void mnuGridClick();
    void mnuFirstLineNamesClick();
    void mnuFrameGeneNameClick();
    void mnuFrameArrowsClick();
    void mnuDisentangleClick();
    void mnuOrderRowsClick();
    void mnuOpenHomologyClick();
    void mnuOpenAlignmentsClick();
    void mnuOpenTreeClick();
    void mnuFindHomologsClick();
    void Helpcontents1Click();
    void mnuCreditsClick();
    void popGetInfoClick();
    void popInverseChromosomeClick();
    void popCheckAllClick();
    void popCheckNoneClick();
    void popGeneGetInfoClick();
    void popGenesCheckAllClick();
    void popGenesCheckNoneClick();
    void popInformationClick();
    void popAlignClick();
    void popArrowsPopup();
    void cklChromosomesClickCheck();
    void chChrMapClickSeries(TArrowSeries &series, int point, Qt::MouseButton button,
                             Qt::KeyboardModifiers shift, int x, int y);
    void OnChangeChart(TCanvas *canvas);
    void OnBeforeDrawSeries(TCanvas &canvas);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    // The homology source's last step, in the progress box.
    void ShowHomologyStep();

private:
    // Runs one command with the View switches as the menu shows them; an error ends it in the
    // error box and goes no further.
    template <typename Command> void Guarded(Command &&command);
    // Runs a session command with the check states the lists show; whatever its outcome, both
    // lists show the session's states afterwards.
    template <typename Command> void MapCommand(Command &&command);
    void ShowSessionChecks();
    // Runs work (a session command) on the map's thread while the window answers: the wait
    // cursor, and past kProgressDelayMs a progress line with Cancel (Esc) on the status line.
    template <typename Work> void OffThread(Work &&work);
    void BuildProgressLine();
    void ShowProgressLine(bool shown);
    void CancelCommand();
    // Runs a load, the homology source's steps (MMseqs2's) shown in a progress box.
    template <typename Load> void WithHomologyProgress(Load &&load);
    // Loads the files again with a homology source, its steps shown in a progress box.
    void SetHomologySource(const THomologySource &source);
    // The window's title: the program and version, then the homology source when there is one.
    void ShowTitle();
    // The status line: what the alignment files gave, once there are some.
    void ShowAlignmentReport();
    void OpenAndShow(const QStringList &paths);
    void ReportError(const QString &message);

    void BuildPopups();
    void ConnectHandlers();
    void SetHelpContexts();
    void FillLists();
    static void SetCheckStates(QListWidget *list, const std::vector<bool> &states);
    static std::vector<bool> CheckStates(const QListWidget *list);
    static int SelectedRow(const QListWidget *list);
    static int SelectFirstWhenNone(QListWidget *list);
    TChart &Chart();

    Ui::TdlgOstrinel ui;
    QMenu *popChromosomes = nullptr;
    QMenu *popGenes = nullptr;
    QMenu *popArrows = nullptr;
    QAction *m_printShortcut = nullptr;
    // "File > Open homology table..." and "Operations > Find homologs".
    QAction *mnuOpenHomology = nullptr;
    QAction *mnuFindHomologs = nullptr;
    // "Operations > Order rows".
    QAction *mnuOrderRows = nullptr;
    // "File > Open alignments...".
    QAction *mnuOpenAlignments = nullptr;
    QAction *mnuOpenTree = nullptr;
    // "File > Export figure...".
    QAction *mnuExportFigure = nullptr;
    // View: the links as ribbons, their sides curved, and what their colours say.
    QAction *mnuRibbons = nullptr;
    QAction *mnuCurvedRibbons = nullptr;
    QAction *mnuSyntenyBlocks = nullptr;
    QAction *mnuRibbonsByIdentity = nullptr;
    QAction *mnuRibbonsGrey = nullptr;
    QAction *mnuRibbonsBlack = nullptr;
    // View > Palette > "Colour by group".
    QAction *mnuColourByGroup = nullptr;
    // View > "Row scales".
    QAction *mnuRowScales = nullptr;

    TMapSession m_session;
    // The progress line of a command off the GUI thread, and the homology box while it shows.
    static constexpr int kProgressDelayMs = 500;
    QWidget *m_progressLine = nullptr;
    QLabel *m_progressText = nullptr;
    QShortcut *m_progressEsc = nullptr;
    bool m_hadStatusLine = false;
    QProgressDialog *m_homologyBox = nullptr;
    std::mutex m_stepLock; // m_step is written on the map's thread
    QString m_step;
    TBusyCursor m_busy;

    THelpSystem *m_help = nullptr;
    TdlgAbout *m_about = nullptr;
    QString m_lastGraphName;
    // The last figure exported, which the dialog offers again.
    TFigureOptions m_lastFigure;
    TGraphFormat m_lastFigureFormat = TGraphFormat::Png;
    QString m_lastFigureName;
    TFileChooser m_fileChooser;
    TFilesChooser m_filesChooser;
    TPrintDialogRunner m_printRunner;
    TFigureDialogRunner m_figureDialogRunner;
    TErrorReporter m_errorReporter;
};
