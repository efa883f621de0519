#include "app/TdlgOstrinel.h"

#include "app/TdlgAbout.h"
#include "app/TdlgExportFigure.h"
#include "app/TdlgInfo.h"
#include "app/TfBlocNote.h"
#include "app/WindowFrame.h"
#include "chart/TChart.h"
#include "core/ChildProgram.h"
#include "core/MapOperations.h"
#include "core/Reports.h"
#include "map/GraphExport.h"
#include "platform/HelpSystem.h"
#include "platform/Systeme.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QThread>
#include <QTimer>

#include <new>
#include <utility>

namespace {

// The window's designed top edge and height, frame included.
constexpr int kDesignTop = 144;
constexpr int kDesignHeight = 617;

// Both check lists draw their items 13 pixels high, whatever the style would make them.
class TItemHeight : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), 13);
    }
};

// "*.*" is meant as every file, as on the system the filter text comes from; matched literally
// it would hide names without a dot, such as a coordinate file called "coords". While `filter`
// is the chosen entry the dialog lists every file, its text unchanged. The platform's own
// dialogs match the pattern literally and cannot be told otherwise, hence the program's dialog.
void ListEveryFileUnder(QFileDialog &dialog, const QString &filter)
{
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, filter](const QString &chosen) {
                         auto *model = dialog.findChild<QFileSystemModel *>();
                         if (chosen == filter && model)
                             model->setNameFilters({QStringLiteral("*")});
                     });
}

QString DefaultChoice(QFileDialog &dialog)
{
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

QStringList DefaultChoices(QFileDialog &dialog)
{
    if (dialog.exec() != QDialog::Accepted)
        return QStringList();
    return dialog.selectedFiles();
}

// All items go in as one insertion, then get their check boxes with the model quiet and one
// change told for all: item by item, a million names took minutes.
void FillList(QListWidget *list, const tVectorOfString &names)
{
    const QSignalBlocker blocker(list);
    list->clear();
    QStringList texts;
    texts.reserve(qsizetype(names.size()));
    for (const QByteArray &name : names)
        texts.append(DisplayText(name));
    list->addItems(texts);
    {
        const QSignalBlocker quiet(list->model());
        for (int i = 0; i < list->count(); ++i) {
            QListWidgetItem *item = list->item(i);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Checked);
        }
    }
    if (list->count() > 0)
        emit list->model()->dataChanged(list->model()->index(0, 0),
                                        list->model()->index(list->count() - 1, 0));
}
} // namespace

TdlgOstrinel::TdlgOstrinel(THelpSystem *help, QWidget *parent)
    : QMainWindow(parent), m_help(help), m_fileChooser(DefaultChoice),
      m_filesChooser(DefaultChoices),
      m_printRunner([](QPrintDialog &dialog) { return dialog.exec() == QDialog::Accepted; }),
      m_figureDialogRunner(
          [](TdlgExportFigure &dialog) { return dialog.exec() == QDialog::Accepted; })
{
    ui.setupUi(this);
    m_errorReporter = [this](const QString &text) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Ostrinel"), text, QMessageBox::Ok,
                        this);
        box.exec();
    };
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    // The panel keeps its width when the window grows; only the splitter resizes it.
    ui.Splitter1->setStretchFactor(0, 0);
    ui.Splitter1->setStretchFactor(1, 1);
    ui.Splitter1->setSizes({185, width() - 185 - ui.Splitter1->handleWidth()});

    for (QListWidget *list : {ui.cklChromosomes, ui.cklGenes}) {
        list->setItemDelegate(new TItemHeight(list));
        list->setUniformItemSizes(true);
    }

    auto *paletteGroup = new QActionGroup(this);
    paletteGroup->addAction(ui.mnuFireScale);
    paletteGroup->addAction(ui.mnuGrayScale);

    // "&Print..." stays out of the menu, yet its shortcut must still work: a hidden action
    // has no shortcut, so the window carries one of its own.
    m_printShortcut = new QAction(this);
    m_printShortcut->setObjectName(QStringLiteral("printShortcut"));
    m_printShortcut->setShortcut(ui.mnuPrint->shortcut());
    addAction(m_printShortcut);

    // Homology, an addition to the menus: genes joined by a table or by their proteins.
    mnuOpenHomology = new QAction(QStringLiteral("Open &homology table..."), this);
    mnuOpenHomology->setObjectName(QStringLiteral("mnuOpenHomology"));
    ui.mnuFile->insertAction(ui.mnuSaveGraph, mnuOpenHomology);
    // Region alignments beside it: hits between stretches of two rows.
    mnuOpenAlignments = new QAction(QStringLiteral("Open &alignments..."), this);
    mnuOpenAlignments->setObjectName(QStringLiteral("mnuOpenAlignments"));
    ui.mnuFile->insertAction(ui.mnuSaveGraph, mnuOpenAlignments);
    mnuOpenTree = new QAction(QStringLiteral("Open &tree..."), this);
    mnuOpenTree->setObjectName(QStringLiteral("mnuOpenTree"));
    ui.mnuFile->insertAction(ui.mnuSaveGraph, mnuOpenTree);
    mnuFindHomologs = new QAction(QStringLiteral("Find &homologs"), this);
    mnuFindHomologs->setObjectName(QStringLiteral("mnuFindHomologs"));
    ui.mnuOperations->addAction(mnuFindHomologs);
    // The rows in the order with the fewest crossings, beside Disentangle.
    mnuOrderRows = new QAction(QStringLiteral("&Order rows"), this);
    mnuOrderRows->setObjectName(QStringLiteral("mnuOrderRows"));
    ui.mnuOperations->insertAction(mnuFindHomologs, mnuOrderRows);
    // Figures for print, an addition to the File menu.
    mnuExportFigure = new QAction(QStringLiteral("&Export figure..."), this);
    mnuExportFigure->setObjectName(QStringLiteral("mnuExportFigure"));
    ui.mnuFile->insertAction(ui.mnuPrint, mnuExportFigure);
    AddRibbonItems();
    m_lastFigure.Millimetres = QSizeF(180, 100);
    m_lastFigure.Dpi = kDefaultFigureDpi;

    BuildPopups();
    ConnectHandlers();
    SetHelpContexts();
    m_session.SetChart(Chart());
    m_session.SetRepaint([this] { ui.chChrMap->RepaintNow(); });
    // The cursor is the GUI thread's; a command off it ticks through its own timer.
    m_session.SetCycleObserver([this](TMapSession::CycleStep) {
        if (QThread::currentThread() == thread())
            m_busy.Tick();
    });
    connect(ui.chChrMap, &TChartWidget::drawFailed, this,
            [this](std::exception_ptr error) { Guarded([&] { std::rethrow_exception(error); }); });
    BuildProgressLine();
    FormCreate();
}

TdlgOstrinel::~TdlgOstrinel()
{
    // The chart outlives nothing of ours, but its events point into this window.
    TChart &chart = Chart();
    chart.OnBeforeDrawSeries = nullptr;
    chart.OnAfterDraw = nullptr;
    chart.OnResize = nullptr;
    chart.OnClickSeries = nullptr;
}

TChart &TdlgOstrinel::Chart()
{
    return ui.chChrMap->Chart();
}

void TdlgOstrinel::BuildPopups()
{
    popChromosomes = new QMenu(this);
    popChromosomes->setObjectName(QStringLiteral("popChromosomes"));
    popChromosomes->addAction(ui.popGetInfo);
    popChromosomes->addAction(ui.popInverseChromosome);
    popChromosomes->addSeparator();
    popChromosomes->addAction(ui.popCheckAll);
    popChromosomes->addAction(ui.popCheckNone);
    popChromosomes->addSeparator();
    popChromosomes->addAction(ui.popLoadFromFile);

    popGenes = new QMenu(this);
    popGenes->setObjectName(QStringLiteral("popGenes"));
    popGenes->addAction(ui.popGeneGetInfo);
    popGenes->addSeparator();
    popGenes->addAction(ui.popGenesCheckAll);
    popGenes->addAction(ui.popGenesCheckNone);

    popArrows = new QMenu(this);
    popArrows->setObjectName(QStringLiteral("popArrows"));
    popArrows->addAction(ui.popInformation);
    popArrows->addAction(ui.popAlign);

    // Both lists use Ctrl+A and Ctrl+N: each pair lives on its own list, so the keys act on
    // whichever list has the focus.
    ui.cklChromosomes->addAction(ui.popCheckAll);
    ui.cklChromosomes->addAction(ui.popCheckNone);
    ui.cklGenes->addAction(ui.popGenesCheckAll);
    ui.cklGenes->addAction(ui.popGenesCheckNone);
}

void TdlgOstrinel::ConnectHandlers()
{
    auto on = [this](QAction *action, void (TdlgOstrinel::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    on(ui.mnuOpen, &TdlgOstrinel::mnuOpenClick);
    on(ui.mnuSaveGraph, &TdlgOstrinel::mnuSaveGraphClick);
    on(ui.mnuPrint, &TdlgOstrinel::mnuPrintClick);
    on(m_printShortcut, &TdlgOstrinel::mnuPrintClick);
    on(ui.mnuLegend, &TdlgOstrinel::mnuLegendClick);
    connect(ui.mnuFireScale, &QAction::triggered, this,
            [this] { OnChangePalette(ui.mnuFireScale); });
    connect(ui.mnuGrayScale, &QAction::triggered, this,
            [this] { OnChangePalette(ui.mnuGrayScale); });
    on(ui.mnuGeneName, &TdlgOstrinel::mnuGeneNameClick);
    on(ui.mnuLinkGenes, &TdlgOstrinel::mnuLinkGenesClick);
    on(ui.mnuHideGenes, &TdlgOstrinel::mnuHideGenesClick);
    on(ui.mnuGrid, &TdlgOstrinel::mnuGridClick);
    on(ui.mnuFirstLineNames, &TdlgOstrinel::mnuFirstLineNamesClick);
    on(ui.mnuFrameGeneName, &TdlgOstrinel::mnuFrameGeneNameClick);
    on(ui.mnuFrameArrows, &TdlgOstrinel::mnuFrameArrowsClick);
    on(ui.mnuDisentangle, &TdlgOstrinel::mnuDisentangleClick);
    on(mnuOrderRows, &TdlgOstrinel::mnuOrderRowsClick);
    on(mnuOpenHomology, &TdlgOstrinel::mnuOpenHomologyClick);
    on(mnuOpenAlignments, &TdlgOstrinel::mnuOpenAlignmentsClick);
    on(mnuOpenTree, &TdlgOstrinel::mnuOpenTreeClick);
    on(mnuFindHomologs, &TdlgOstrinel::mnuFindHomologsClick);
    on(mnuExportFigure, &TdlgOstrinel::mnuExportFigureClick);
    on(ui.Helpcontents1, &TdlgOstrinel::Helpcontents1Click);
    on(ui.mnuCredits, &TdlgOstrinel::mnuCreditsClick);
    on(ui.popGetInfo, &TdlgOstrinel::popGetInfoClick);
    on(ui.popInverseChromosome, &TdlgOstrinel::popInverseChromosomeClick);
    on(ui.popCheckAll, &TdlgOstrinel::popCheckAllClick);
    on(ui.popCheckNone, &TdlgOstrinel::popCheckNoneClick);
    on(ui.popLoadFromFile, &TdlgOstrinel::mnuOpenClick);
    on(ui.popGeneGetInfo, &TdlgOstrinel::popGeneGetInfoClick);
    on(ui.popGenesCheckAll, &TdlgOstrinel::popGenesCheckAllClick);
    on(ui.popGenesCheckNone, &TdlgOstrinel::popGenesCheckNoneClick);
    on(ui.popInformation, &TdlgOstrinel::popInformationClick);
    on(ui.popAlign, &TdlgOstrinel::popAlignClick);

    // Only the user's own clicks and keys reach these: the program blocks the lists' signals
    // whenever it sets check states itself.
    connect(ui.cklChromosomes, &QListWidget::itemChanged, this,
            [this] { cklChromosomesClickCheck(); });
    connect(ui.cklGenes, &QListWidget::itemChanged, this, [this] { cklChromosomesClickCheck(); });
    connect(ui.cklChromosomes, &QWidget::customContextMenuRequested, this, [this](const QPoint &p) {
        popChromosomes->popup(ui.cklChromosomes->viewport()->mapToGlobal(p));
    });
    connect(ui.cklGenes, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &p) { popGenes->popup(ui.cklGenes->viewport()->mapToGlobal(p)); });
    // A double click anywhere on a list, items or empty space, opens a file.
    ui.cklChromosomes->viewport()->installEventFilter(this);
    ui.cklGenes->viewport()->installEventFilter(this);
    connect(ui.chChrMap, &TChartWidget::doubleClicked, this, [this] { mnuSaveGraphClick(); });

    TChart &chart = Chart();
    chart.OnBeforeDrawSeries = [this](TChart &, TCanvas &canvas) { OnBeforeDrawSeries(canvas); };
    chart.OnAfterDraw = [this](TChart &, TCanvas *canvas) { OnChangeChart(canvas); };
    // Its before-draw handler draws the connectors and nothing else.
    chart.BeforeDrawKeepsSeries = true;
    chart.OnResize = [this](TChart &) { OnChangeChart(nullptr); };
    chart.OnClickSeries = [this](TChart &, TArrowSeries &series, int point, Qt::MouseButton button,
                                 Qt::KeyboardModifiers shift, int x, int y) {
        chChrMapClickSeries(series, point, button, shift, x, y);
    };
}

void TdlgOstrinel::SetHelpContexts()
{
    SetHelpContext(this, 100);
    for (QObject *object : std::initializer_list<QObject *>{ui.chChrMap, ui.cklChromosomes,
                                                            ui.cklGenes, ui.Label1, ui.Label2})
        SetHelpContext(object, 300);
    // Every main menu and entry; the two palette entries go through their submenu.
    for (QMenu *menu : {ui.mnuFile, ui.mnuView, ui.mnuOperations, ui.mnuHelp, ui.Palette1}) {
        SetHelpContext(menu, 400);
        SetHelpContext(menu->menuAction(), 400);
    }
    for (QAction *action :
         {ui.mnuOpen, ui.mnuSaveGraph, ui.mnuPrint, ui.mnuLegend, ui.mnuGeneName, ui.mnuLinkGenes,
          ui.mnuHideGenes, ui.mnuGrid, ui.mnuFirstLineNames, ui.mnuFrameGeneName, ui.mnuFrameArrows,
          ui.mnuDisentangle, mnuOrderRows, ui.Helpcontents1, ui.mnuCredits})
        SetHelpContext(action, 400);
}

template <typename Command> void TdlgOstrinel::Guarded(Command &&command)
{
    if (ui.chChrMap->Lent()) {
        // One command at a time: the map belongs to the one running.
        statusBar()->showMessage(QStringLiteral("Busy: the last command is still running"), 3000);
        return;
    }
    try {
        // The chart comes back from a frame being drawn before anything reads or changes it.
        Chart();
        m_session.View = ViewOptions();
        command();
    } catch (const ECancelled &) {
        // The user stopped it; the map is as it was.
    } catch (const Exception &error) {
        ReportError(error.message());
    } catch (const std::bad_alloc &) {
        // The command stopped where memory ran out; what it had not changed yet stays.
        ReportError(QStringLiteral("Out of memory"));
    } catch (const std::exception &error) {
        ReportError(QString::fromLocal8Bit(error.what()));
    }
}

template <typename Command> void TdlgOstrinel::MapCommand(Command &&command)
{
    const TBusyCursor::Scope busy(m_busy);
    try {
        // The lists are where the user checks; the session rebuilds from what they show.
        m_session.ChromosomeChecked = CheckStates(ui.cklChromosomes);
        m_session.GeneChecked = CheckStates(ui.cklGenes);
        OffThread(command);
    } catch (...) {
        ShowSessionChecks();
        throw;
    }
    ShowSessionChecks();
}

template <typename Work> void TdlgOstrinel::OffThread(Work &&work)
{
    m_session.ResetCancel();
    QTimer later;
    later.setSingleShot(true);
    connect(&later, &QTimer::timeout, this, [this] { ShowProgressLine(true); });
    later.start(kProgressDelayMs);
    QTimer ticks;
    connect(&ticks, &QTimer::timeout, this, [this] { m_busy.Tick(); });
    ticks.start(TBusyCursor::kDelayMs / 4);
    const auto hide = qScopeGuard([this] {
        ShowProgressLine(false);
        m_session.ResetCancel();
    });
    ui.chChrMap->RunOffThread(std::function<void()>(work));
}

void TdlgOstrinel::BuildProgressLine()
{
    m_progressLine = new QWidget(this);
    auto *layout = new QHBoxLayout(m_progressLine);
    layout->setContentsMargins(0, 0, 0, 0);
    m_progressText = new QLabel(QStringLiteral("Working..."), m_progressLine);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), m_progressLine);
    cancel->setObjectName(QStringLiteral("progressCancel"));
    layout->addWidget(m_progressText);
    layout->addWidget(cancel);
    m_progressLine->hide();
    connect(cancel, &QPushButton::clicked, this, [this] { CancelCommand(); });
    m_progressEsc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_progressEsc->setEnabled(false);
    connect(m_progressEsc, &QShortcut::activated, this, [this] { CancelCommand(); });
}

void TdlgOstrinel::ShowProgressLine(bool shown)
{
    if (shown == !m_progressLine->isHidden())
        return;
    if (shown) {
        // The status line appears for the wait and goes again when the window had none.
        m_hadStatusLine = findChild<QStatusBar *>() != nullptr && statusBar()->isVisible();
        m_progressText->setText(QStringLiteral("Working..."));
        statusBar()->addPermanentWidget(m_progressLine);
        statusBar()->show();
        m_progressLine->show();
    } else {
        statusBar()->removeWidget(m_progressLine);
        m_progressLine->hide();
        if (!m_hadStatusLine)
            statusBar()->hide();
    }
    m_progressEsc->setEnabled(shown);
}

void TdlgOstrinel::CancelCommand()
{
    if (!ui.chChrMap->Lent())
        return;
    m_session.CancelLoad();
    m_progressText->setText(QStringLiteral("Cancelling..."));
}

void TdlgOstrinel::closeEvent(QCloseEvent *event)
{
    // The command running owns the map; the window closes once it has ended.
    if (ui.chChrMap->Lent()) {
        event->ignore();
        statusBar()->showMessage(QStringLiteral("Busy: the last command is still running"), 3000);
        return;
    }
    QMainWindow::closeEvent(event);
}

void TdlgOstrinel::ShowSessionChecks()
{
    SetCheckStates(ui.cklChromosomes, m_session.ChromosomeChecked);
    SetCheckStates(ui.cklGenes, m_session.GeneChecked);
}

void TdlgOstrinel::ReportError(const QString &message)
{
    // The box waits for the user, not the user for the program.
    m_busy.Pause();
    if (m_errorReporter)
        m_errorReporter(ErrorBoxText(message));
}

bool TdlgOstrinel::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick &&
        (watched == ui.cklChromosomes->viewport() || watched == ui.cklGenes->viewport())) {
        mnuOpenClick();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

TViewOptions TdlgOstrinel::ViewOptions() const
{
    TViewOptions view;
    view.GeneName = ui.mnuGeneName->isChecked();
    view.LinkGenes = ui.mnuLinkGenes->isChecked();
    view.HideGenes = ui.mnuHideGenes->isChecked();
    view.Grid = ui.mnuGrid->isChecked();
    view.FirstLineNames = ui.mnuFirstLineNames->isChecked();
    view.FrameGeneName = ui.mnuFrameGeneName->isChecked();
    view.FrameArrows = ui.mnuFrameArrows->isChecked();
    view.LinkStyle = mnuSyntenyBlocks->isChecked() ? TLinkStyle::Blocks
                     : mnuRibbons->isChecked()     ? TLinkStyle::Ribbons
                                                   : TLinkStyle::Connectors;
    view.ColourByGroup = mnuColourByGroup->isChecked();
    view.RowScales = mnuRowScales->isChecked();
    view.RibbonShape =
        mnuCurvedRibbons->isChecked() ? TRibbonShape::Curved : TRibbonShape::Straight;
    view.LinkColours = mnuRibbonsGrey->isChecked()    ? TLinkColours::Grey
                       : mnuRibbonsBlack->isChecked() ? TLinkColours::Black
                                                      : TLinkColours::Identity;
    return view;
}

// An addition to the View menu, under its own items: the links as ribbons. Each item only
// repaints: the ribbons are drawn from the rows as they stand.
void TdlgOstrinel::AddRibbonItems()
{
    const auto item = [this](const char *name, const QString &text) {
        auto *action = new QAction(text, this);
        action->setObjectName(QString::fromLatin1(name));
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, &TdlgOstrinel::mnuLinkGenesClick);
        return action;
    };
    mnuRibbons = item("mnuRibbons", QStringLiteral("Ribbons"));
    mnuRibbons->setStatusTip(
        QStringLiteral("Display the links as bands between the genes' arrows, red where both "
                       "run the same way, blue where they run opposite ways"));
    mnuSyntenyBlocks = item("mnuSyntenyBlocks", QStringLiteral("S&ynteny blocks"));
    mnuSyntenyBlocks->setStatusTip(
        QStringLiteral("Display each run of collinear links as one ribbon"));
    mnuCurvedRibbons = item("mnuCurvedRibbons", QStringLiteral("C&urved ribbons"));
    auto *colours = new QMenu(QStringLiteral("Ribbon &colours"), this);
    colours->setObjectName(QStringLiteral("mnuRibbonColours"));
    auto *group = new QActionGroup(this);
    mnuRibbonsByIdentity =
        item("mnuRibbonsByIdentity", QStringLiteral("&Red and blue by identity"));
    mnuRibbonsGrey = item("mnuRibbonsGrey", QStringLiteral("&Grey by identity"));
    mnuRibbonsBlack = item("mnuRibbonsBlack", QStringLiteral("&Black"));
    for (QAction *action : {mnuRibbonsByIdentity, mnuRibbonsGrey, mnuRibbonsBlack}) {
        group->addAction(action);
        colours->addAction(action);
    }
    mnuRibbonsByIdentity->setChecked(true);
    // Beside the two palettes: the colours of the groups instead of the counts.
    mnuColourByGroup = new QAction(QStringLiteral("Colour by &group"), this);
    mnuColourByGroup->setObjectName(QStringLiteral("mnuColourByGroup"));
    mnuColourByGroup->setCheckable(true);
    mnuColourByGroup->setStatusTip(
        QStringLiteral("Give each gene or homology group found on two or more rows a colour of "
                       "its own"));
    connect(mnuColourByGroup, &QAction::triggered, this,
            [this] { Guarded([&] { MapCommand([&] { m_session.Redraw(); }); }); });
    ui.Palette1->addSeparator();
    ui.Palette1->addAction(mnuColourByGroup);
    // After the menu's own items, which keep their order.
    ui.mnuView->addSeparator();
    ui.mnuView->addAction(mnuRibbons);
    ui.mnuView->addAction(mnuSyntenyBlocks);
    ui.mnuView->addAction(mnuCurvedRibbons);
    ui.mnuView->addMenu(colours);
    mnuRowScales = item("mnuRowScales", QStringLiteral("Row &scales"));
    mnuRowScales->setStatusTip(
        QStringLiteral("Display under each row a scale of its own coordinates"));
    ui.mnuView->addAction(mnuRowScales);
}

// --- Check lists ---------------------------------------------------------------------------

std::vector<bool> TdlgOstrinel::CheckStates(const QListWidget *list)
{
    std::vector<bool> states(std::size_t(list->count()));
    for (int i = 0; i < list->count(); ++i)
        states[std::size_t(i)] = list->item(i)->checkState() == Qt::Checked;
    return states;
}

void TdlgOstrinel::SetCheckStates(QListWidget *list, const std::vector<bool> &states)
{
    // Lists of another size belong to another catalogue; FillLists refills those.
    if (std::size_t(list->count()) != states.size())
        return;
    const QSignalBlocker blocker(list);
    for (int i = 0; i < list->count(); ++i) {
        const Qt::CheckState state = states[std::size_t(i)] ? Qt::Checked : Qt::Unchecked;
        if (list->item(i)->checkState() != state)
            list->item(i)->setCheckState(state);
    }
}

int TdlgOstrinel::SelectedRow(const QListWidget *list)
{
    const QList<QListWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

int TdlgOstrinel::SelectFirstWhenNone(QListWidget *list)
{
    int row = SelectedRow(list);
    if (row >= 0)
        return row;
    if (list->count() == 0)
        throw ERangeError();
    list->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    return 0;
}

void TdlgOstrinel::FillLists()
{
    FillList(ui.cklChromosomes, m_session.FCatalogue.FChromosomeNames);
    FillList(ui.cklGenes, m_session.FCatalogue.FGeneNames);
}

// --- Creation and chart events -------------------------------------------------------------

void TdlgOstrinel::FormCreate()
{
    Guarded([&] {
        SetupMapChart(Chart());
        ShowTitle();
        if (QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
            // The form keeps only the inner size; place and size are of the whole window.
            const QRect place = DesignedPlace(screen->geometry(), screen->availableGeometry(),
                                              kDesignTop, kDesignHeight);
            move(place.topLeft());
            SetOuterSize(this, place.size());
        }
        m_session.FPalette = ui.mnuGrayScale->isChecked() ? GrayPalette() : FirePalette();
    });
}

void TdlgOstrinel::OnChangeChart(TCanvas *canvas)
{
    // Off the GUI thread the drawing's owner hears of an error and reports it.
    if (QThread::currentThread() != thread()) {
        m_session.ChangeChart(Chart(), canvas);
        return;
    }
    m_busy.Tick();
    Guarded([&] { m_session.ChangeChart(Chart(), canvas); });
}

void TdlgOstrinel::OnBeforeDrawSeries(TCanvas &canvas)
{
    if (QThread::currentThread() != thread()) {
        m_session.BeforeDrawSeries(Chart(), canvas);
        return;
    }
    m_busy.Tick();
    Guarded([&] { m_session.BeforeDrawSeries(Chart(), canvas); });
}

void TdlgOstrinel::chChrMapClickSeries(TArrowSeries &series, int /*point*/, Qt::MouseButton button,
                                       Qt::KeyboardModifiers /*shift*/, int x, int y)
{
    Guarded([&] {
        Chart().CancelMouse();
        if (m_session.ClickSeries(series, x) == -1)
            return;
        if (button == Qt::RightButton) {
            popArrowsPopup();
            popArrows->popup(ui.chChrMap->ClientOrigin() + QPoint(x, y));
        }
    });
}

// --- File menu -----------------------------------------------------------------------------

void TdlgOstrinel::mnuOpenClick()
{
    Guarded([&] {
        QFileDialog dialog(this, QStringLiteral("Select coordinate file"));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        // Several files load as one map, in the order chosen.
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setNameFilters({QStringLiteral("Text file (tab delimited) (*.txt)"),
                               QStringLiteral("All files (*.*)")});
        ListEveryFileUnder(dialog, QStringLiteral("All files (*.*)"));
        const QStringList paths = m_filesChooser(dialog);
        if (paths.isEmpty())
            return;
        LoadFiles(paths);
    });
}

void TdlgOstrinel::SetFileChooser(TFileChooser chooser)
{
    m_fileChooser = chooser;
    m_filesChooser = [chooser](QFileDialog &dialog) {
        const QString path = chooser(dialog);
        return path.isEmpty() ? QStringList() : QStringList{path};
    };
}

void TdlgOstrinel::LoadFile(const QString &path)
{
    LoadFiles(QStringList{path});
}

void TdlgOstrinel::LoadFiles(const QStringList &paths)
{
    Guarded([&] { OpenAndShow(paths); });
}

void TdlgOstrinel::LoadStartFiles(const QStringList &paths)
{
    Guarded([&] {
        try {
            OpenAndShow(paths);
        } catch (const Exception &error) {
            // Several files' errors name their file already.
            if (paths.size() != 1 || error.message().contains(paths.first()))
                throw;
            throw EInOutError(QStringLiteral("%1: %2").arg(paths.first(), error.message()));
        }
    });
}

void TdlgOstrinel::OpenAndShow(const QStringList &paths)
{
    // A failed load leaves the session's catalogue and check states, hence the lists, as they
    // were; only a new catalogue refills them.
    const TBusyCursor::Scope busy(m_busy);
    if (m_session.FHomology.IsSet())
        WithHomologyProgress([&] { OffThread([&] { m_session.Open(paths); }); });
    else
        OffThread([&] { m_session.Open(paths); });
    FillLists();
    ShowSessionChecks();
    ShowTitle();
    ShowAlignmentReport();
}

void TdlgOstrinel::ShowAlignmentReport()
{
    // The status line appears with the first alignments: until then the window keeps its form.
    if (m_session.FAlignmentPaths.isEmpty())
        return;
    const qsizetype files = m_session.FAlignmentPaths.size();
    statusBar()->showMessage(
        m_session.Paths().isEmpty()
            ? QStringLiteral("Alignments: %1 %2 (from the next file opened)")
                  .arg(files)
                  .arg(files == 1 ? QStringLiteral("file") : QStringLiteral("files"))
            : m_session.FAlignmentReport.Text());
}

void TdlgOstrinel::ShowTitle()
{
    QString title = QStringLiteral("Ostrinel ") + VersionText(2);
    if (m_session.FHomology.IsSet())
        title += QStringLiteral(" - ") +
                 (m_session.Paths().isEmpty()
                      ? QStringLiteral("Homology: %1 (from the next file opened)")
                            .arg(m_session.FHomology.Table == kAutoHomology
                                     ? QStringLiteral("MMseqs2")
                                     : QFileInfo(m_session.FHomology.Table).fileName())
                      : m_session.FHomologyReport.Text());
    setWindowTitle(title);
}

template <typename Load> void TdlgOstrinel::WithHomologyProgress(Load &&load)
{
    // The box appears with MMseqs2's first step only; a table loads without it. It holds every
    // window while it shows, so that only its Cancel (or Esc) answers during the load.
    QProgressDialog progress(QStringLiteral("Reading the homology source..."),
                             QStringLiteral("Cancel"), 0, 0, this);
    progress.setWindowTitle(QStringLiteral("Homology"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.reset();
    connect(&progress, &QProgressDialog::canceled, this, [this] { m_session.CancelLoad(); });
    // The steps come from the map's thread: the box shows the last one on the GUI thread.
    m_homologyBox = &progress;
    m_session.HomologyProgress = [this](const QString &step) {
        {
            const std::lock_guard hold(m_stepLock);
            m_step = step;
        }
        QMetaObject::invokeMethod(this, "ShowHomologyStep", Qt::QueuedConnection);
    };
    const auto done = qScopeGuard([this] {
        m_session.HomologyProgress = nullptr;
        m_homologyBox = nullptr;
    });
    load();
}

void TdlgOstrinel::ShowHomologyStep()
{
    QString step;
    {
        const std::lock_guard hold(m_stepLock);
        step = m_step;
    }
    if (!m_homologyBox)
        return;
    m_homologyBox->setLabelText(step);
    if (!m_homologyBox->isVisible() && !m_homologyBox->wasCanceled())
        m_homologyBox->show();
}

void TdlgOstrinel::SetHomologySource(const THomologySource &source)
{
    Guarded([&] {
        const TBusyCursor::Scope busy(m_busy);
        WithHomologyProgress([&] { OffThread([&] { m_session.SetHomology(source); }); });
        FillLists();
        ShowSessionChecks();
        ShowTitle();
        ShowAlignmentReport();
    });
}

void TdlgOstrinel::mnuOpenHomologyClick()
{
    Guarded([&] {
        QFileDialog dialog(this, QStringLiteral("Select homology table"));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilters({QStringLiteral("Homology table (*.tsv *.txt *.m8 *.tab)"),
                               QStringLiteral("All files (*.*)")});
        const QString path = m_fileChooser(dialog);
        if (!path.isEmpty())
            SetHomologySource({path, m_session.FHomology.Thresholds});
    });
}

void TdlgOstrinel::mnuOpenAlignmentsClick()
{
    Guarded([&] {
        QFileDialog dialog(this, QStringLiteral("Select alignment files"));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setNameFilters(
            {QStringLiteral("Alignments (*.paf *.coords *.m8 *.tsv *.tab *.txt *.out)"),
             QStringLiteral("All files (*.*)")});
        ListEveryFileUnder(dialog, QStringLiteral("All files (*.*)"));
        const QStringList paths = m_filesChooser(dialog);
        if (paths.isEmpty())
            return;
        const TBusyCursor::Scope busy(m_busy);
        OffThread([&] { m_session.SetAlignments(paths, m_session.FAlignmentFilters); });
        ShowAlignmentReport();
    });
}

void TdlgOstrinel::mnuOpenTreeClick()
{
    Guarded([&] {
        QFileDialog dialog(this, QStringLiteral("Select tree"));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilters({QStringLiteral("Newick tree (*.nwk *.newick *.tree *.tre *.txt)"),
                               QStringLiteral("All files (*.*)")});
        const QString path = m_fileChooser(dialog);
        if (path.isEmpty())
            return;
        // The list shows the chromosomes in the session's order, whatever the outcome.
        const auto relist = qScopeGuard([this] {
            FillList(ui.cklChromosomes, m_session.FCatalogue.FChromosomeNames);
            ShowSessionChecks();
        });
        MapCommand([&] { m_session.SetTree(path); });
        statusBar()->showMessage(m_session.FTreeRows.Text());
    });
}

void TdlgOstrinel::mnuFindHomologsClick()
{
    SetHomologySource({kAutoHomology, m_session.FHomology.Thresholds});
}

void TdlgOstrinel::mnuSaveGraphClick()
{
    Guarded([&] {
        QFileDialog dialog(this, QStringLiteral("Save graph"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        const QStringList filters{QStringLiteral("Windows Metafile (*.wmf)"),
                                  QStringLiteral("Enhanced Metafile (*.emf)"),
                                  QStringLiteral("Bitmap (*.bmp)")};
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.first());
        dialog.setDefaultSuffix(QStringLiteral("wmf"));
        dialog.setSizeGripEnabled(true);
        if (!m_lastGraphName.isEmpty())
            dialog.selectFile(m_lastGraphName);
        const QString path = m_fileChooser(dialog);
        if (path.isEmpty())
            return;
        m_lastGraphName = path;
        const TBusyCursor::Scope busy(m_busy);
        SaveGraph(Chart(), path);
    });
}

void TdlgOstrinel::mnuExportFigureClick()
{
    Guarded([&] {
        TdlgExportFigure dialog(this);
        dialog.SetOptions(m_lastFigure, m_lastFigureFormat);
        dialog.SetPreviewer([this](const TFigureOptions &options, const QSize &box,
                                   TdlgExportFigure::TPreviewShown shown) {
            // Drawn on the map's thread, which reads the map; the result is the job's own.
            auto result = std::make_shared<std::pair<QImage, QString>>();
            ui.chChrMap->RunJob(
                [this, options, box, result] {
                    try {
                        result->first = FigurePreview(m_session, Chart(), options, box);
                    } catch (const std::exception &error) {
                        result->second = QString::fromUtf8(error.what());
                    }
                },
                [result, shown] { shown(result->first, result->second); });
        });
        if (!m_figureDialogRunner(dialog))
            return;
        const TFigureOptions options = dialog.Options();
        // Too large is told before a file is chosen.
        CheckFigureSize(options, dialog.SizeText());
        m_lastFigure = options;
        m_lastFigureFormat = dialog.Format();
        QFileDialog files(this, QStringLiteral("Export figure"));
        files.setAcceptMode(QFileDialog::AcceptSave);
        files.setFileMode(QFileDialog::AnyFile);
        const QString extension = dialog.Extension();
        files.setNameFilters({QStringLiteral("%1 (*.%2)").arg(extension.toUpper(), extension)});
        files.setDefaultSuffix(extension);
        if (!m_lastFigureName.isEmpty()) {
            const QFileInfo last(m_lastFigureName);
            files.selectFile(
                last.dir().filePath(last.completeBaseName() + QLatin1Char('.') + extension));
        }
        QString path = m_fileChooser(files);
        if (path.isEmpty())
            return;
        // The type chosen in the dialog is the one written, whatever the name ends with.
        if (GraphFormatOf(path) != dialog.Format())
            path += QLatin1Char('.') + extension;
        m_lastFigureName = path;
        const TBusyCursor::Scope busy(m_busy);
        ExportFigure(m_session, Chart(), options, path, dialog.SizeText());
    });
}

void TdlgOstrinel::mnuPrintClick()
{
    Guarded([&] {
        // The platform's defaults, so its default printer comes preselected.
        QPrinter printer(QPrinter::HighResolution);
        // With no printer at all the dialog offers only a PDF file, and its own default for
        // that is a folder, which cannot be printed to.
        if (QPrinterInfo::availablePrinters().isEmpty())
            printer.setOutputFileName(QDir::home().filePath(QStringLiteral("Ostrinel.pdf")));
        QPrintDialog dialog(&printer, this);
        if (!m_printRunner(dialog))
            return;
        const TBusyCursor::Scope busy(m_busy);
        PrintGraph(Chart(), printer);
    });
}

// --- View menu -----------------------------------------------------------------------------

void TdlgOstrinel::mnuLegendClick()
{
    Guarded([&] {
        const QStringList lines = LegendLines(m_session.FCatalogue);
        auto *legend = new TdlgInfo(this);
        legend->setWindowTitle(QStringLiteral("Gene list legend"));
        legend->setWindowFlag(Qt::WindowStaysOnTopHint, true);
        SetOuterSize(legend, QSize(270, TdlgInfo::kHeight));
        legend->SetLines(lines);
        const TIdentityKey key = IdentityKeyOf(
            m_session.Ribbons.Of(Chart(), m_session.FCatalogue, m_session.FRegionAlignments),
            m_session.Ribbons.IdentityRange(), m_session.View);
        if (key.Shown)
            legend->SetPicture(IdentityKeyImage(key, legend->font(), devicePixelRatioF()));
        legend->show();
    });
}

void TdlgOstrinel::OnChangePalette(QAction *sender)
{
    Guarded([&] {
        if (sender)
            sender->setChecked(true);
        MapCommand([&] {
            if (ui.mnuFireScale->isChecked())
                m_session.ChangePalette(FirePalette());
            else if (ui.mnuGrayScale->isChecked())
                m_session.ChangePalette(GrayPalette());
            else
                m_session.Redraw();
        });
    });
}

// The switches flip their own check marks (the actions are checkable); the chart redraws
// itself after a setting change, hence update() rather than a repaint of our own.
void TdlgOstrinel::mnuGeneNameClick()
{
    Guarded([&] {
        ApplyGeneName(Chart(), ui.mnuGeneName->isChecked());
        ui.chChrMap->update();
    });
}

void TdlgOstrinel::mnuLinkGenesClick()
{
    Guarded([&] { ui.chChrMap->update(); });
}

void TdlgOstrinel::mnuHideGenesClick()
{
    Guarded([&] { MapCommand([&] { m_session.Redraw(); }); });
}

void TdlgOstrinel::mnuGridClick()
{
    Guarded([&] {
        ApplyGrid(Chart(), ui.mnuGrid->isChecked());
        ui.chChrMap->update();
    });
}

void TdlgOstrinel::mnuFirstLineNamesClick()
{
    Guarded([&] { MapCommand([&] { m_session.Redraw(); }); });
}

void TdlgOstrinel::mnuFrameGeneNameClick()
{
    Guarded([&] {
        ApplyFrameGeneName(Chart(), ui.mnuFrameGeneName->isChecked());
        ui.chChrMap->update();
    });
}

void TdlgOstrinel::mnuFrameArrowsClick()
{
    Guarded([&] {
        ApplyFrameArrows(Chart(), ui.mnuFrameArrows->isChecked());
        ui.chChrMap->update();
    });
}

// --- Operations and Help -------------------------------------------------------------------

void TdlgOstrinel::mnuDisentangleClick()
{
    Guarded([&] { MapCommand([&] { m_session.Disentangle(); }); });
}

void TdlgOstrinel::mnuOrderRowsClick()
{
    Guarded([&] {
        // The list shows the chromosomes in the session's order, whatever the outcome.
        const auto relist = qScopeGuard([this] {
            FillList(ui.cklChromosomes, m_session.FCatalogue.FChromosomeNames);
            ShowSessionChecks();
        });
        TRowOrderReport report;
        MapCommand([&] { report = m_session.OrderRowsAuto(); });
        statusBar()->showMessage(report.Text());
    });
}

void TdlgOstrinel::Helpcontents1Click()
{
    Guarded([&] {
        if (m_help)
            m_help->ShowTopic(100);
    });
}

void TdlgOstrinel::mnuCreditsClick()
{
    Guarded([&] {
        if (m_about)
            m_about->exec();
    });
}

// --- Chromosome and gene list pop-ups ------------------------------------------------------

void TdlgOstrinel::popGetInfoClick()
{
    Guarded([&] {
        const int k = SelectFirstWhenNone(ui.cklChromosomes);
        const TCatalogue &catalogue = m_session.FCatalogue;
        const QStringList lines = ChromosomeReport(catalogue, k);
        auto *info = new TdlgInfo(this);
        info->setWindowTitle(InfoCaption(At(catalogue.FChromosomeNames, k)));
        info->SetLines(lines);
        info->show();
    });
}

void TdlgOstrinel::popInverseChromosomeClick()
{
    Guarded(
        [&] { MapCommand([&] { m_session.InverseChromosome(SelectedRow(ui.cklChromosomes)); }); });
}

void TdlgOstrinel::popCheckAllClick()
{
    Guarded([&] {
        MapCommand([&] { m_session.CheckAllChromosomes(true); });
        ui.chChrMap->update();
    });
}

void TdlgOstrinel::popCheckNoneClick()
{
    Guarded([&] {
        MapCommand([&] { m_session.CheckAllChromosomes(false); });
        ui.chChrMap->update();
    });
}

void TdlgOstrinel::popGeneGetInfoClick()
{
    Guarded([&] {
        const int g = SelectFirstWhenNone(ui.cklGenes);
        const TCatalogue &catalogue = m_session.FCatalogue;
        const QStringList lines = GeneReport(catalogue, g);
        auto *info = new TdlgInfo(this);
        info->setWindowTitle(InfoCaption(At(catalogue.FGeneNames, g)));
        info->SetLines(lines);
        info->show();
    });
}

void TdlgOstrinel::popGenesCheckAllClick()
{
    Guarded([&] {
        MapCommand([&] { m_session.CheckAllGenes(true); });
        ui.chChrMap->update();
    });
}

void TdlgOstrinel::popGenesCheckNoneClick()
{
    Guarded([&] {
        MapCommand([&] { m_session.CheckAllGenes(false); });
        ui.chChrMap->update();
    });
}

// --- Map item pop-up -----------------------------------------------------------------------

void TdlgOstrinel::popArrowsPopup()
{
    Guarded([&] {
        const TMapItemActions actions = MapItemActions(
            m_session.FCatalogue, m_session.FClickedChromosome, m_session.FClickedRecord);
        ui.popInformation->setEnabled(actions.InfoEnabled);
        ui.popAlign->setEnabled(actions.AlignEnabled);
    });
}

void TdlgOstrinel::popInformationClick()
{
    Guarded([&] {
        const QStringList lines = ItemReport(m_session.FCatalogue, m_session.FClickedChromosome,
                                             m_session.FClickedRecord);
        auto *note = new TfBlocNote(this);
        note->SetFixedDialogFrame(100, 100);
        note->SetLines(lines);
        note->ShowCentred();
    });
}

void TdlgOstrinel::popAlignClick()
{
    Guarded([&] { MapCommand([&] { m_session.AlignOnClicked(); }); });
}

void TdlgOstrinel::cklChromosomesClickCheck()
{
    Guarded([&] {
        MapCommand(
            [&] { m_session.SetChecks(CheckStates(ui.cklChromosomes), CheckStates(ui.cklGenes)); });
    });
}
