// The main window: the two check lists, the chart, the menus and pop-ups, and the handlers that
// connect each command to the catalogue, the map operations, the map builder and the reports.
// It owns the catalogue, the palette, the clicked-item fields and the connector switch; the
// View menu's check marks are the only store of the view options.
#pragma once

#include "core/Catalogue.h"
#include "map/ViewOptions.h"
#include "ui_TdlgOstrinel.h"
#include "util/ColorOps.h"

#include <QMainWindow>

#include <functional>
#include <vector>

class QFileDialog;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPrintDialog;
class TArrowSeries;
class TCanvas;
class TChart;
class TdlgAbout;
class THelpSystem;

class TdlgOstrinel : public QMainWindow
{
    Q_OBJECT
public:
    // Runs the chosen dialog and returns the chosen file, or an empty text for Cancel.
    using TFileChooser = std::function<QString(QFileDialog &dialog)>;
    // Runs the print dialog; true when the user accepted it.
    using TPrintDialogRunner = std::function<bool(QPrintDialog &dialog)>;
    // Shows the text of an error box (the message with its closing period).
    using TErrorReporter = std::function<void(const QString &text)>;

    explicit TdlgOstrinel(THelpSystem *help, QWidget *parent = nullptr);
    ~TdlgOstrinel() override;

    // The credits window, created after this window at start-up and shown by "&Credits...".
    void SetAboutWindow(TdlgAbout *about) { m_about = about; }
    void SetFileChooser(TFileChooser chooser) { m_fileChooser = std::move(chooser); }
    void SetPrintDialogRunner(TPrintDialogRunner runner) { m_printRunner = std::move(runner); }
    void SetErrorReporter(TErrorReporter reporter) { m_errorReporter = std::move(reporter); }

    // Everything "&Open..." does once the dialog has given a file: load, refill, rebuild.
    void LoadFile(const QString &path);

    const TCatalogue &Catalogue() const { return FCatalogue; }
    const tPalette &Palette() const { return FPalette; }
    qint32 ClickedChromosome() const { return FClickedChromosome; }
    qint32 ClickedRecord() const { return FClickedRecord; }
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
    void mnuLegendClick();
    void OnChangePalette(QAction *sender);
    void mnuGeneNameClick();
    void mnuLinkGenesClick();
    void mnuHideGenesClick();
    void mnuGridClick();
    void mnuFirstLineNamesClick();
    void mnuFrameGeneNameClick();
    void mnuFrameArrowsClick();
    void mnuDisentangleClick();
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

private:
    // Runs one command; an error ends it in the error box and goes no further.
    template <typename Command> void Guarded(Command &&command);
    // Runs a command that changes what the map shows. When it fails, the chromosomes' view state
    // and both check lists go back to what the map showed before it, and a map the command had
    // already rebuilt is rebuilt from that state: lists, views and rows agree again.
    template <typename Command> void MapCommand(Command &&command);
    void RestoreShownChecks();
    void ReportError(const QString &message);

    void BuildPopups();
    void ConnectHandlers();
    void SetHelpContexts();
    void FillLists();
    static void SetAllChecked(QListWidget *list, bool checked);
    static std::vector<bool> CheckStates(const QListWidget *list);
    static int SelectedRow(const QListWidget *list);
    static int SelectFirstWhenNone(QListWidget *list);
    void RebuildMapNow();
    void RebuildCycle();
    TChart &Chart();

    Ui::TdlgOstrinel ui;
    QMenu *popChromosomes = nullptr;
    QMenu *popGenes = nullptr;
    QMenu *popArrows = nullptr;
    QAction *m_printShortcut = nullptr;

    qint32 FClickedChromosome = 0;
    qint32 FClickedRecord = 0;
    TCatalogue FCatalogue;
    tPalette FPalette;
    bool FSkipConnectors = false;

    // The check states the rows on the chart were built from, and how many rebuilds succeeded.
    std::vector<bool> m_shownChromosomes;
    std::vector<bool> m_shownGenes;
    quint64 m_rebuilds = 0;

    THelpSystem *m_help = nullptr;
    TdlgAbout *m_about = nullptr;
    QString m_lastGraphName;
    TFileChooser m_fileChooser;
    TPrintDialogRunner m_printRunner;
    TErrorReporter m_errorReporter;
};
