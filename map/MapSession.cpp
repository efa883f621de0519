#include "map/MapSession.h"

#include "chart/TChart.h"
#include "map/Connectors.h"
#include "map/LabelLayout.h"

#include <QPainter>

#include <utility>

TMapSource TMapSession::Source() const
{
    return TMapSource{Catalogue, ChromosomeChecked, GeneChecked, View, Palette};
}

void TMapSession::Load(const QString &path)
{
    // Everything that can fail runs on the new catalogue before ours changes.
    TCatalogue loaded = LoadCatalogue(path);
    // Every chromosome is checked after a load, so every one must be drawable.
    CheckMapCoordinates(loaded);
    Install(std::move(loaded));
}

void TMapSession::Install(TCatalogue catalogue)
{
    // The move frees the old catalogue here, before any rebuild: a load never holds two files.
    Catalogue = std::move(catalogue);
    ChromosomeChecked.assign(Catalogue.FChromosomeNames.size(), true);
    GeneChecked.assign(Catalogue.FGeneNames.size(), true);
}

void TMapSession::Wire(TChart &chart)
{
    chart.OnBeforeDrawSeries = [this](TChart &c, TCanvas &canvas) { BeforeDrawSeries(c, canvas); };
    chart.OnAfterDraw = [this](TChart &c, TCanvas *canvas) { ChangeChart(c, canvas); };
    // A resize moves the labels before the next drawing, as the window's chart widget does.
    chart.OnResize = [this](TChart &c) { ChangeChart(c, nullptr); };
}

void TMapSession::ChangeChart(TChart &chart, TCanvas *canvas) const
{
    LayoutGeneLabels(chart, View.FirstLineNames);
    if (canvas)
        DrawChromosomeNames(chart, *canvas, Catalogue, ChromosomeChecked);
    // The layout may have moved labels the drawing just painted.
    chart.RequestRepaint();
}

void TMapSession::BeforeDrawSeries(TChart &chart, TCanvas &canvas) const
{
    if (!View.LinkGenes || SkipConnectors)
        return;
    if (ConnectorDrawer)
        ConnectorDrawer(chart, canvas);
    else
        DrawConnectors(chart, canvas);
}

void TMapSession::RebuildCycle(TChart &chart, QPainter &painter, const QRect &rect,
                               const std::function<void(CycleStep)> &afterStep)
{
    auto step = [&afterStep](CycleStep s) {
        if (afterStep)
            afterStep(s);
    };
    // The first drawing places the labels; connectors join the places of the drawing before,
    // so they wait for the second.
    SkipConnectors = true;
    try {
        RebuildMap(chart, Source());
        step(CycleStep::Rebuilt);
        chart.Paint(painter, rect);
        step(CycleStep::PaintedWithoutConnectors);
    } catch (...) {
        // Whatever draws next (an export, the next command) draws the connectors again.
        SkipConnectors = false;
        throw;
    }
    SkipConnectors = false;
    chart.Paint(painter, rect);
    step(CycleStep::PaintedWithConnectors);
}
