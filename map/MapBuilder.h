// The map builder: turns the catalogue, the check states of both lists and the view options into
// the chart's row series, one arrow series per checked chromosome, one arrow per record.
// It is the only code that creates or frees row series.
#pragma once

#include "core/Catalogue.h"
#include "map/ViewOptions.h"
#include "util/ColorOps.h"

#include <QByteArray>
#include <QHash>

#include <vector>

class TChart;

// What a rebuild reads; all owned by the main window.
struct TMapSource
{
    const TCatalogue &Catalogue;
    const std::vector<bool> &ChromosomeChecked; // item i of the chromosome list
    const std::vector<bool> &GeneChecked;       // item g of the gene list
    const TViewOptions &View;
    const tPalette &Palette;
    // The colours chosen for genes with View.ColourByGroup; none when null.
    const QHash<QByteArray, TColor> *ColourTable = nullptr;
};

// Frees every row series (last first), adds one row per checked chromosome at -(k+1) and sets
// the left axis to -(k+1)..0. Each arrow runs from MapCoordinate of its record's Start to that of
// its End, checked, numbered and coloured as the gene the record stands for (FindZeroGenes), so
// that a repeat of a gene on its chromosome is that gene. All or nothing: a coordinate that
// overflows (EIntOverflow) or an index outside its list (ERangeError) is found before any row is
// freed, and the chart stays as it was.
void RebuildMap(TChart &chart, const TMapSource &source);
void AddChromosomeRow(TChart &chart, const TMapSource &source, const ChromosomeView &view,
                      qint32 rowValue);
