// The map around one loaded coordinate file, without a window: the catalogue, the check state
// of both lists, the View switches, the palette, the chart events and the rebuild cycle, all as
// the main window keeps and runs them. For the programs and tests that drive the map on their
// own (the benchmarks, the soak, the fuzzer), so that they all run the window's map and not
// copies of it. Plain data and a QPainter; no widgets.
#pragma once

#include "core/Catalogue.h"
#include "map/MapBuilder.h"
#include "map/ViewOptions.h"
#include "util/ColorOps.h"

#include <QRect>
#include <QString>

#include <functional>
#include <vector>

class QPainter;
class TCanvas;
class TChart;

struct TMapSession
{
    TCatalogue Catalogue;
    std::vector<bool> ChromosomeChecked; // item i of the chromosome list
    std::vector<bool> GeneChecked;       // item g of the gene list
    TViewOptions View;                   // the View menu as at start
    tPalette Palette = FirePalette();
    // True during the first drawing of a rebuild cycle.
    bool SkipConnectors = false;
    // Draws the connectors when they are due; DrawConnectors when empty.
    std::function<void(TChart &, TCanvas &)> ConnectorDrawer;

    TMapSession() = default;
    // A wired chart points at this session.
    TMapSession(const TMapSession &) = delete;
    TMapSession &operator=(const TMapSession &) = delete;

    TMapSource Source() const;

    // Reads the file as the window's load does: on any error (raised as the reader raises it)
    // the session stays as it was; otherwise the new catalogue replaces the old one, the old one
    // is freed, and every chromosome and gene is checked. The chart is not rebuilt.
    void Load(const QString &path);
    // Puts a catalogue already read in place of the current one, everything checked.
    void Install(TCatalogue catalogue);

    // Connects the chart's OnBeforeDrawSeries, OnAfterDraw and OnResize to this session as the
    // window connects them. The session must outlive the chart or the chart's events.
    void Wire(TChart &chart);
    // The window's OnChangeChart: the label layout, the chromosome names when drawing (canvas
    // not null), a repaint request.
    void ChangeChart(TChart &chart, TCanvas *canvas) const;
    // The window's OnBeforeDrawSeries: the connectors when linked and not skipped.
    void BeforeDrawSeries(TChart &chart, TCanvas &canvas) const;

    enum class CycleStep
    {
        Rebuilt,
        PaintedWithoutConnectors,
        PaintedWithConnectors
    };
    // The window's rebuild cycle into painter over rect: rebuild and paint without connectors,
    // then paint with them. afterStep, when given, is called after each of the three steps.
    // On an error SkipConnectors is false again and the error goes on.
    void RebuildCycle(TChart &chart, QPainter &painter, const QRect &rect,
                      const std::function<void(CycleStep)> &afterStep = {});
};
