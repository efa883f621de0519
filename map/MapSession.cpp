#include "map/MapSession.h"

#include "chart/TArrowSeries.h"
#include "chart/TChart.h"
#include "core/ChildProgram.h"
#include "core/MapOperations.h"
#include "map/Connectors.h"
#include "map/LabelLayout.h"
#include "map/RowScales.h"
#include "map/TreeDrawing.h"

#include <QFileInfo>
#include <QPainter>

#include <utility>

TMapSource TMapSession::Source() const
{
    return TMapSource{FCatalogue, ChromosomeChecked, GeneChecked, View, FPalette, &FColourTable};
}

// --- The chart -------------------------------------------------------------------------------

void TMapSession::Wire(TChart &chart)
{
    m_chart = &chart;
    chart.OnBeforeDrawSeries = [this](TChart &c, TCanvas &canvas) { BeforeDrawSeries(c, canvas); };
    chart.OnAfterDraw = [this](TChart &c, TCanvas *canvas) { ChangeChart(c, canvas); };
    // The connectors only draw.
    chart.BeforeDrawKeepsSeries = true;
    // As the window's chart widget does.
    chart.OnResize = [this](TChart &c) { ChangeChart(c, nullptr); };
}

TChart &TMapSession::Chart() const
{
    if (!m_chart)
        throw Exception(QStringLiteral("The map session has no chart"));
    return *m_chart;
}

void TMapSession::Repaint() const
{
    if (!m_repaint)
        throw Exception(QStringLiteral("The map session has no repaint"));
    m_repaint();
}

void TMapSession::Step(CycleStep step) const
{
    if (m_observer)
        m_observer(step);
    // A cancel is taken once, so that the rollback's own cycle runs to its end.
    if (step != CycleStep::PaintedWithConnectors && m_cancelLoad.exchange(false))
        throw ECancelled();
}

void TMapSession::ChangeChart(TChart &chart, TCanvas *canvas) const
{
    // The labels stand where their rows' plans put them: only the names are left to draw.
    if (canvas)
        m_names.Draw(chart, *canvas, FCatalogue, ChromosomeChecked);
    if (canvas)
        DrawRowBreaks(chart, *canvas, FCatalogue);
    if (canvas && View.RowScales)
        DrawRowScales(chart, *canvas, FCatalogue);
    if (canvas && FTree)
        DrawTree(chart, *canvas, FCatalogue, *FTree, FTreeRows);
}

void TMapSession::SetLabelPlan(const TLabelLevels &levels, std::vector<std::vector<bool>> hidden)
{
    m_levels = levels;
    m_hidden = std::move(hidden);
    if (!m_chart)
        return;
    PlanGeneLabels(*m_chart, View.FirstLineNames, m_levels, m_hidden);
    m_chart->Invalidate();
}

void TMapSession::BeforeDrawSeries(TChart &chart, TCanvas &canvas) const
{
    if (!View.LinkGenes || FSkipConnectors)
        return;
    if (View.LinkStyle != TLinkStyle::Connectors) {
        Ribbons.Draw(chart, canvas, FCatalogue, View, FRegionAlignments);
        return;
    }
    if (ConnectorDrawer) {
        ConnectorDrawer(chart, canvas);
        return;
    }
    // The ends come from the rows' label plans and the geometry of this drawing, not from
    // labels drawn: the connectors show whether gene names are shown or not.
    Connectors.Draw(chart, canvas, m_ends.Of(chart));
}

// --- Loading ---------------------------------------------------------------------------------

THomologyProgress TMapSession::LoadProgress()
{
    m_cancelLoad = false;
    return [this](const QString &step) {
        if (HomologyProgress)
            HomologyProgress(step);
        if (m_cancelLoad)
            throw ECancelled();
    };
}

void TMapSession::Load(const QStringList &paths)
{
    // Everything that can fail runs on the new catalogue before ours changes.
    THomologyReport report;
    TCatalogue loaded = LoadCatalogue(paths, FHomology, &report, LoadProgress(), GenomeNames);
    // Every chromosome is checked after a load, so every one must be drawable.
    CheckMapCoordinates(loaded);
    TMatchedAlignments alignments = MatchAlignments(loaded);
    Install(std::move(loaded));
    m_paths = paths;
    FHomologyReport = std::move(report);
    FRegionAlignments = std::move(alignments.Alignments);
    FAlignmentReport = alignments.Report;
}

TMapSession::TMatchedAlignments TMapSession::MatchAlignments(const TCatalogue &catalogue) const
{
    // Chromosome indices are the new catalogue's: the files are matched again, not the hits.
    TMatchedAlignments matched;
    if (!FAlignmentPaths.isEmpty())
        matched.Alignments =
            ReadRegionAlignments(FAlignmentPaths, catalogue, FAlignmentFilters, matched.Report);
    return matched;
}

void TMapSession::Install(TCatalogue catalogue)
{
    FRegionAlignments = RematchAlignments(FRegionAlignments, FCatalogue, catalogue);
    // The move frees the old catalogue here, before any rebuild: a load never holds two files.
    FCatalogue = std::move(catalogue);
    ChromosomeChecked.assign(FCatalogue.FChromosomeNames.size(), true);
    GeneChecked.assign(FCatalogue.FGeneNames.size(), true);
}

void TMapSession::Open(const QStringList &paths)
{
    // A failed read throws before anything of ours changes.
    THomologyReport report;
    TCatalogue loaded = LoadCatalogue(paths, FHomology, &report, LoadProgress(), GenomeNames);
    CheckMapCoordinates(loaded);
    TMatchedAlignments alignments = MatchAlignments(loaded);
    Replace(std::move(loaded), paths, FHomology, report, false, std::move(alignments));
}

void TMapSession::SetHomology(const THomologySource &source)
{
    if (m_paths.isEmpty()) {
        FHomology = source;
        return;
    }
    THomologyReport report;
    TCatalogue loaded = LoadCatalogue(m_paths, source, &report, LoadProgress());
    CheckMapCoordinates(loaded);
    TMatchedAlignments alignments = MatchAlignments(loaded);
    Replace(std::move(loaded), m_paths, source, report, true, std::move(alignments));
}

void TMapSession::SetAlignments(const QStringList &paths, const TAlignmentFilters &filters)
{
    TAlignmentReport report;
    std::vector<TRegionAlignment> alignments =
        ReadRegionAlignments(paths, FCatalogue, filters, report);
    QStringList previousPaths = std::exchange(FAlignmentPaths, paths);
    const TAlignmentFilters previousFilters = std::exchange(FAlignmentFilters, filters);
    std::vector<TRegionAlignment> previous =
        std::exchange(FRegionAlignments, std::move(alignments));
    const TAlignmentReport previousReport = std::exchange(FAlignmentReport, report);
    // Before the first map there is nothing to draw them on.
    if (m_rebuilds == 0 || !m_chart || !m_repaint)
        return;
    try {
        RebuildCycle();
    } catch (...) {
        FAlignmentPaths = std::move(previousPaths);
        FAlignmentFilters = previousFilters;
        FRegionAlignments = std::move(previous);
        FAlignmentReport = previousReport;
        try {
            RebuildCycle();
        } catch (...) {
            FSkipConnectors = false;
        }
        throw;
    }
}

void TMapSession::Replace(TCatalogue loaded, QStringList paths, THomologySource source,
                          const THomologyReport &report, bool keepChromosomes,
                          TMatchedAlignments alignments)
{
    // The same files give the same chromosomes; should they have changed on disk, the views
    // and checks start afresh.
    keepChromosomes = keepChromosomes && loaded.FChromosomeNames == FCatalogue.FChromosomeNames &&
                      ChromosomeChecked.size() == loaded.FChromosomeNames.size();
    if (keepChromosomes)
        for (std::size_t c = 0; c < loaded.FChromosomes.size(); ++c) {
            loaded.FChromosomes[c].Inverted = FCatalogue.FChromosomes[c].Inverted;
            loaded.FChromosomes[c].Offset = FCatalogue.FChromosomes[c].Offset;
        }
    if (keepChromosomes)
        CheckMapCoordinates(loaded);
    TCatalogue previous = std::exchange(FCatalogue, std::move(loaded));
    const std::vector<bool> previousChromosomes = ChromosomeChecked;
    THomologySource previousSource = std::exchange(FHomology, std::move(source));
    THomologyReport previousReport = std::exchange(FHomologyReport, report);
    QStringList previousPaths = std::exchange(m_paths, std::move(paths));
    std::vector<TRegionAlignment> previousAlignments =
        std::exchange(FRegionAlignments, std::move(alignments.Alignments));
    const TAlignmentReport previousAlignmentReport =
        std::exchange(FAlignmentReport, alignments.Report);
    // A tree names the rows of the files it was read for.
    std::optional<TNewickTree> previousTree;
    TTreeRows previousTreeRows;
    if (!keepChromosomes) {
        previousTree = std::exchange(FTree, std::nullopt);
        previousTreeRows = std::exchange(FTreeRows, {});
    }
    try {
        if (!keepChromosomes)
            ChromosomeChecked.assign(FCatalogue.FChromosomeNames.size(), true);
        GeneChecked.assign(FCatalogue.FGeneNames.size(), true);
        RebuildCycle();
    } catch (...) {
        FSkipConnectors = false;
        FCatalogue = std::move(previous);
        FHomology = std::move(previousSource);
        FHomologyReport = std::move(previousReport);
        m_paths = std::move(previousPaths);
        FRegionAlignments = std::move(previousAlignments);
        FAlignmentReport = previousAlignmentReport;
        if (!keepChromosomes) {
            FTree = std::move(previousTree);
            FTreeRows = std::move(previousTreeRows);
        }
        ChromosomeChecked = m_shownChromosomes.size() == FCatalogue.FChromosomeNames.size()
                                ? m_shownChromosomes
                                : previousChromosomes;
        GeneChecked = m_shownGenes;
        try {
            RebuildCycle();
        } catch (...) {
            FSkipConnectors = false;
        }
        throw;
    }
}

// --- Map commands ----------------------------------------------------------------------------

template <typename Command> void TMapSession::MapCommand(Command &&command)
{
    const std::vector<ChromosomeView> views = FCatalogue.FChromosomes;
    const quint64 rebuilds = m_rebuilds;
    // What the map showed before: a rebuild inside the command makes its own states the shown
    // ones, and a step after it may still fail or be cancelled.
    const std::vector<bool> shownChromosomes = m_shownChromosomes;
    const std::vector<bool> shownGenes = m_shownGenes;
    try {
        command();
    } catch (...) {
        FSkipConnectors = false;
        FCatalogue.FChromosomes = views;
        // Back to the states the map showed; lists of another size belong to no map yet.
        if (shownChromosomes.size() == ChromosomeChecked.size())
            ChromosomeChecked = shownChromosomes;
        if (shownGenes.size() == GeneChecked.size())
            GeneChecked = shownGenes;
        if (m_rebuilds != rebuilds) {
            // The state before the command was drawn once, so it draws again; should it not,
            // the first error is still the one to report.
            try {
                RebuildCycle();
            } catch (...) {
                FSkipConnectors = false;
            }
        }
        throw;
    }
}

void TMapSession::SetChecks(std::vector<bool> chromosomes, std::vector<bool> genes)
{
    MapCommand([&] {
        ChromosomeChecked = std::move(chromosomes);
        GeneChecked = std::move(genes);
        RebuildCycle();
    });
}

void TMapSession::CheckAllChromosomes(bool checked)
{
    MapCommand([&] {
        ChromosomeChecked.assign(ChromosomeChecked.size(), checked);
        RebuildMapNow();
    });
}

void TMapSession::CheckAllGenes(bool checked)
{
    MapCommand([&] {
        // "???" is no gene to uncheck: the unnamed records stay as they were drawn.
        for (std::size_t g = 0; g < GeneChecked.size(); ++g)
            GeneChecked[g] = checked || !IsNamedGene(FCatalogue, qint32(g));
        RebuildMapNow();
    });
}

void TMapSession::ChangePalette(const tPalette &palette)
{
    MapCommand([&] {
        FPalette = palette;
        RebuildCycle();
    });
}

void TMapSession::Redraw()
{
    MapCommand([&] { RebuildCycle(); });
}

void TMapSession::InverseChromosome(qint32 k)
{
    MapCommand([&] {
        ::InverseChromosome(FCatalogue, k);
        CheckMapCoordinates(FCatalogue);
        RebuildCycle();
    });
}

void TMapSession::SetTree(const QString &path)
{
    TNewickTree tree = ReadNewickFile(path);
    // A chromosome's file: the genome prefix its name carries, else the one file loaded.
    std::vector<QString> stems(FCatalogue.FChromosomeNames.size());
    for (std::size_t c = 0; c < stems.size(); ++c) {
        const QString name = DisplayText(FCatalogue.FChromosomeNames[c]);
        const qsizetype colon = name.lastIndexOf(QLatin1Char(':'));
        stems[c] = colon > 0             ? name.left(colon)
                   : m_paths.size() == 1 ? QFileInfo(m_paths.first()).completeBaseName()
                                         : QString();
    }
    TTreeRows rows = MatchTreeRows(tree, FCatalogue, stems);
    std::vector<qint32> first;
    std::vector<bool> placed(FCatalogue.FChromosomes.size(), false);
    for (const std::vector<qint32> &leaf : rows.OfLeaf)
        for (const qint32 c : leaf)
            if (!placed[std::size_t(c)]) {
                placed[std::size_t(c)] = true;
                first.push_back(c);
            }
    std::optional<TNewickTree> previous = std::exchange(FTree, std::move(tree));
    TTreeRows previousRows = std::exchange(FTreeRows, rows);
    try {
        OrderRows(first);
    } catch (...) {
        FTree = std::move(previous);
        FTreeRows = std::move(previousRows);
        throw;
    }
    Repaint();
}

void TMapSession::OrderRows(const std::vector<qint32> &first)
{
    // The list itself changes: its items, the names, the records and the alignments' chromosome
    // indices go back whole on failure.
    TCatalogue before = FCatalogue;
    const std::vector<bool> checked = ChromosomeChecked;
    std::vector<TRegionAlignment> alignments = FRegionAlignments;
    const qint32 clicked = FClickedChromosome;
    try {
        MapCommand([&] {
            const std::vector<qint32> order = ::OrderChromosomes(FCatalogue, first);
            FRegionAlignments = RematchAlignments(alignments, before, FCatalogue);
            std::vector<bool> moved(order.size());
            for (std::size_t i = 0; i < order.size(); ++i) {
                moved[i] = At(checked, order[i]);
                // The clicked item follows its chromosome.
                if (order[i] == clicked)
                    FClickedChromosome = qint32(i);
            }
            ChromosomeChecked = std::move(moved);
            m_shownChromosomes = ChromosomeChecked;
            RebuildCycle();
        });
    } catch (...) {
        FCatalogue = std::move(before);
        FRegionAlignments = std::move(alignments);
        FClickedChromosome = clicked;
        ChromosomeChecked = checked;
        m_shownChromosomes = checked;
        try {
            RebuildCycle();
        } catch (...) {
            FSkipConnectors = false;
        }
        throw;
    }
}

TRowOrderReport TMapSession::OrderRowsAuto()
{
    // The order is found on the rows as drawn, then taken as one command.
    TRowOrderReport report;
    report.Before = TotalConnectorCrossings(Chart());
    TRowOrder order = FewestCrossingsOrder(FCatalogue, Chart());
    OrderRows(order.Items);
    report.After = TotalConnectorCrossings(Chart());
    report.Items = std::move(order.Items);
    return report;
}

void TMapSession::Disentangle()
{
    MapCommand([&] {
        ::Disentangle(FCatalogue);
        // Unchecked rows too: they must draw when checked later.
        CheckMapCoordinates(FCatalogue);
        RebuildCycle();
    });
}

qint32 TMapSession::ClickSeries(const TArrowSeries &series, int x)
{
    const qint32 position = RoundHalfEven(Chart().PixelToValue(series, x));
    const qint32 record = RecordAtPosition(FCatalogue, series.Tag, position);
    FClickedChromosome = series.Tag;
    FClickedRecord = record;
    return record;
}

void TMapSession::AlignOnClicked()
{
    MapCommand([&] {
        const qint32 g = GeneOfRecord(
            FCatalogue, At(At(FCatalogue.FRecords, FClickedChromosome), FClickedRecord));
        const tVectorOfBoolean aligned = AlignOffsets(FCatalogue, g);
        CheckMapCoordinates(FCatalogue);
        // First pass: the chart finds its automatic range from the new offsets.
        FSkipConnectors = true;
        RebuildMapNow();
        Repaint();
        const qint32 m = RoundHalfEven(Chart().BottomAxisMinimum());
        ShiftAlignedRows(FCatalogue, aligned, m);
        CheckMapCoordinates(FCatalogue);
        // Second pass, ending with the connectors.
        RebuildMapNow();
        Repaint();
        FSkipConnectors = false;
        Repaint();
    });
}

// --- The rebuild cycle -----------------------------------------------------------------------

void TMapSession::RebuildMapNow()
{
    RebuildMap(Chart(), Source());
    // A figure's levels and the labels it leaves out hold for the rows made anew.
    if (m_levels.Count != TLabelLevels().Count || m_levels.Lift != 0 || !m_hidden.empty())
        PlanGeneLabels(Chart(), View.FirstLineNames, m_levels, m_hidden);
    m_shownChromosomes = ChromosomeChecked;
    m_shownGenes = GeneChecked;
    ++m_rebuilds;
}

void TMapSession::RebuildCycle()
{
    // A drawing without connectors, then one with them. The labels and the connector ends
    // stand where the rows' plans put them from the first drawing on; the cycle keeps the
    // window's order of drawings, which its observers and the benchmarks time step by step.
    FSkipConnectors = true;
    try {
        RebuildMapNow();
        Step(CycleStep::Rebuilt);
        Repaint();
        Step(CycleStep::PaintedWithoutConnectors);
    } catch (...) {
        // Whatever draws next (an export, the next command) draws the connectors again.
        FSkipConnectors = false;
        throw;
    }
    FSkipConnectors = false;
    Repaint();
    Step(CycleStep::PaintedWithConnectors);
}

void TMapSession::RebuildCycle(TChart &chart, QPainter &painter, const QRect &rect,
                               const std::function<void(CycleStep)> &afterStep)
{
    TChart *const chartBefore = m_chart;
    std::function<void()> repaintBefore =
        std::exchange(m_repaint, [&] { chart.Draw(painter, rect); });
    std::function<void(CycleStep)> observerBefore = m_observer;
    if (afterStep)
        m_observer = afterStep;
    m_chart = &chart;
    const auto restore = [&] {
        m_chart = chartBefore ? chartBefore : &chart;
        m_repaint = std::move(repaintBefore);
        m_observer = std::move(observerBefore);
    };
    try {
        RebuildCycle();
    } catch (...) {
        restore();
        throw;
    }
    restore();
}
