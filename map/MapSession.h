// The one map session: everything the map needs besides widgets. It holds the catalogue, the
// check state of both lists, the View switches, the palette, the connector switch and the
// clicked item; it runs the load with its rollback, every map command, the rebuild cycle and the
// chart's events. The window, the batch renderer, the benchmarks, the soak and the fuzzer all
// drive this one session, so a mend lands once. Plain data and a QPainter; no widgets.
#pragma once

#include "core/Catalogue.h"
#include "core/Homology.h"
#include "core/NewickTree.h"
#include "core/RegionAlignments.h"
#include "map/Connectors.h"
#include "map/LabelLayout.h"
#include "map/MapBuilder.h"
#include "map/Ribbons.h"
#include "map/RowOrder.h"
#include "map/ViewOptions.h"
#include "util/ColorOps.h"

#include <QRect>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QPainter;
class TArrowSeries;
class TCanvas;
class TChart;

class TMapSession
{
public:
    TCatalogue FCatalogue;
    std::vector<bool> ChromosomeChecked; // item i of the chromosome list
    std::vector<bool> GeneChecked;       // item g of the gene list
    TViewOptions View;                   // the View switches as the user set them
    // Whether the chromosomes of several files are named with their file's stem always, or
    // only where two files share a name; read by the next load.
    TGenomeNames GenomeNames = TGenomeNames::Collisions;
    tPalette FPalette = FirePalette();
    // The colours a colour table sets for chosen genes, with View.ColourByGroup.
    QHash<QByteArray, TColor> FColourTable;
    // True during the first drawing of a rebuild cycle.
    bool FSkipConnectors = false;
    // The map item of the last click on an arrow; FClickedRecord is -1 when it hit no record.
    qint32 FClickedChromosome = 0;
    qint32 FClickedRecord = 0;
    // Draws the connectors when they are due; Connectors when empty.
    std::function<void(TChart &, TCanvas &)> ConnectorDrawer;
    // The homology source of every load (none: genes are the same by name alone), what the last
    // load found with it, and where a long load reports its steps.
    THomologySource FHomology;
    THomologyReport FHomologyReport;
    THomologyProgress HomologyProgress;
    // The region alignments of every load (none: no hits): their files and filters, the hits
    // kept, matched against FCatalogue (its chromosome indices), and what the reading found.
    QStringList FAlignmentPaths;
    TAlignmentFilters FAlignmentFilters;
    std::vector<TRegionAlignment> FRegionAlignments;
    TAlignmentReport FAlignmentReport;
    // The tree beside the rows ("File > Open tree...", --tree), and which rows its leaves name.
    std::optional<TNewickTree> FTree;
    TTreeRows FTreeRows;
    // Which genes the connectors join, kept while the rows stay the same.
    mutable TConnectors Connectors;
    // The ribbons drawn in their place (View.LinkStyle), kept while the rows and the stretches
    // stay the same.
    mutable TRibbons Ribbons;

    enum class CycleStep
    {
        Rebuilt,
        PaintedWithoutConnectors,
        PaintedWithConnectors
    };

    TMapSession() = default;
    // A wired chart points at this session.
    TMapSession(const TMapSession &) = delete;
    TMapSession &operator=(const TMapSession &) = delete;

    TMapSource Source() const;

    // --- The chart --------------------------------------------------------------------------
    // Connects the chart's OnBeforeDrawSeries, OnAfterDraw and OnResize to this session and
    // makes it the chart the commands rebuild. The session must outlive the chart's events.
    void Wire(TChart &chart);
    // Makes chart the one the commands rebuild without touching its events (a caller that
    // routes the events itself, as the window does through its error guard).
    void SetChart(TChart &chart) { m_chart = &chart; }
    // How the commands repaint the chart at once (the window repaints its widget; a program
    // without a window paints into its picture). Required before any command that repaints.
    void SetRepaint(std::function<void()> repaint) { m_repaint = std::move(repaint); }
    // Called after each step of every rebuild cycle (benchmarks time the steps).
    void SetCycleObserver(std::function<void(CycleStep)> observer)
    {
        m_observer = std::move(observer);
    }

    // --- Chart events -----------------------------------------------------------------------
    // OnChangeChart: the chromosome names, the rows' break marks, row scales and tree when
    // drawing (canvas not null).
    void ChangeChart(TChart &chart, TCanvas *canvas) const;
    // OnBeforeDrawSeries: the connectors when linked and not skipped.
    void BeforeDrawSeries(TChart &chart, TCanvas &canvas) const;

    // --- Loading ----------------------------------------------------------------------------
    // Reads the files as one catalogue, and the alignment files again against it. On any error
    // (raised as the reader raises it) the session stays as it was; otherwise the new catalogue
    // replaces the old one, the old one is freed, and every chromosome and gene is checked. The
    // chart is not rebuilt.
    void Load(const QStringList &paths);
    // Puts a catalogue already read in place of the current one, everything checked; the
    // alignments follow their chromosomes by name (those of chromosomes it lacks are dropped).
    void Install(TCatalogue catalogue);
    // "&Open...": Load, then the rebuild cycle. When the cycle fails, the previous catalogue,
    // its check states, its alignments and its map come back and the error goes on.
    void Open(const QStringList &paths);
    // The files of the last load ("File > Open homology table...", "Operations > Find homologs"):
    // the same files loaded again with a new homology source, the chromosomes keeping their
    // view and checks, every gene checked, then the rebuild cycle. Without files loaded, only
    // the source changes. When anything fails, the source, catalogue and map stay as they were.
    void SetHomology(const THomologySource &source);
    // "File > Open alignments...": the files read against the catalogue (every file, or none,
    // raising EAlignmentError; no files: no alignments), then the rebuild cycle once a map was
    // drawn; they are read again at every load. When anything fails, the previous alignments
    // stay whole.
    void SetAlignments(const QStringList &paths, const TAlignmentFilters &filters);
    const QStringList &Paths() const { return m_paths; }
    // Asks the load or command now running to stop at its next step (the progress box's Cancel,
    // called from any thread): MMseqs2 is ended, nothing cached, the command raises ECancelled
    // and the session stays as it was, its map rebuilt when the command had rebuilt it already.
    void CancelLoad() { m_cancelLoad = true; }
    // Forgets a cancel that came after the command it was meant for had ended.
    void ResetCancel() { m_cancelLoad = false; }

    // --- Map commands -----------------------------------------------------------------------
    // Each is all-or-nothing: when it fails, the chromosomes' view state and both check lists go
    // back to what the map showed before it, a map it had already rebuilt is rebuilt from that
    // state, and the error goes on.

    // New check states for both lists, then the rebuild cycle.
    void SetChecks(std::vector<bool> chromosomes, std::vector<bool> genes);
    // "Check all" / "Check none" of the chromosome list: rebuilt, not repainted.
    void CheckAllChromosomes(bool checked);
    // The same for the gene list; "Check none" keeps "???" checked.
    void CheckAllGenes(bool checked);
    // A new palette, then the rebuild cycle.
    void ChangePalette(const tPalette &palette);
    // The rebuild cycle after a View switch that changes the rows (hide genes, first-line names).
    void Redraw();
    // Mirrors chromosome k (k = -1, no selection: nothing changes), then the rebuild cycle.
    void InverseChromosome(qint32 k);
    // The chromosomes of the list items first given first, in that order, the others after
    // them (see OrderChromosomes), then the rebuild cycle.
    void OrderRows(const std::vector<qint32> &first);
    // "Operations > Order rows": the rows on the chart in the order with the fewest crossings
    // between neighbours (FewestCrossingsOrder), each keeping its orientation, through OrderRows;
    // the other items of the list keep their places.
    TRowOrderReport OrderRowsAuto();
    // Reads a Newick tree whose leaves name rows and orders the rows as its leaves (those no
    // leaf names after them), then the rebuild cycle; the tree is drawn left of the names. A
    // broken tree raises ETreeError and the map stays as it was.
    void SetTree(const QString &path);
    // Disentangle links, then the rebuild cycle.
    void Disentangle();
    // Records which map item a click at pixel x on series hit (both fields change together, so a
    // failed hit test leaves the last pair whole); returns FClickedRecord.
    qint32 ClickSeries(const TArrowSeries &series, int x);
    // "Align on this gene" for the clicked record: the rows that carry its gene are aligned on it,
    // drawn once to find the chart's own range, moved by its minimum and drawn again.
    void AlignOnClicked();

    // --- The rebuild cycle ------------------------------------------------------------------
    // RebuildMap from the session's state; the check states it used become the shown ones.
    void RebuildMapNow();
    // Rebuild and repaint without connectors, then repaint with them. On an error
    // FSkipConnectors is false again and the error goes on.
    void RebuildCycle();
    // The same into painter over rect, for callers without a repaint of their own.
    void RebuildCycle(TChart &chart, QPainter &painter, const QRect &rect,
                      const std::function<void(CycleStep)> &afterStep = {});

    // A figure's label plan: how the labels stack above their rows, and which are left out
    // (per series and point, as LabelsNotFitting gives them): the rows take it at once and at
    // every rebuild after.
    void SetLabelPlan(const TLabelLevels &levels, std::vector<std::vector<bool>> hidden);

    // The check states the rows on the chart were built from.
    const std::vector<bool> &ShownChromosomes() const { return m_shownChromosomes; }
    const std::vector<bool> &ShownGenes() const { return m_shownGenes; }

private:
    template <typename Command> void MapCommand(Command &&command);
    TChart &Chart() const;
    void Repaint() const;
    void Step(CycleStep step) const;

    // The alignment files read against a catalogue not yet taken over.
    struct TMatchedAlignments
    {
        std::vector<TRegionAlignment> Alignments;
        TAlignmentReport Report;
    };
    TMatchedAlignments MatchAlignments(const TCatalogue &catalogue) const;

    // Takes a loaded catalogue and its alignments over and runs the rebuild cycle; on failure
    // everything comes back. keepChromosomes: the chromosomes keep their view and checks, when
    // they still fit.
    void Replace(TCatalogue loaded, QStringList paths, THomologySource source,
                 const THomologyReport &report, bool keepChromosomes,
                 TMatchedAlignments alignments);

    // HomologyProgress, then the stop CancelLoad asked for; a fresh load asks anew.
    THomologyProgress LoadProgress();

    TChart *m_chart = nullptr;
    QStringList m_paths;
    mutable std::atomic<bool> m_cancelLoad{false};
    std::function<void()> m_repaint;
    std::function<void(CycleStep)> m_observer;
    std::vector<bool> m_shownChromosomes;
    std::vector<bool> m_shownGenes;
    quint64 m_rebuilds = 0; // rebuilds that succeeded
    // The figure's label plan (SetLabelPlan), given to the rows of every rebuild.
    TLabelLevels m_levels;
    std::vector<std::vector<bool>> m_hidden;
    mutable TConnectorEnds m_ends;
    mutable TChromosomeNames m_names;
};
