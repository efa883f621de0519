// Label layout and chromosome names, run after every drawing of the chart: gene labels on five
// staggered levels above their row with dotted leaders, and each shown chromosome's name in bold
// left of its row.
#pragma once

#include <vector>

#include "core/Catalogue.h"

class TChart;
class TCanvas;

// Places every gene label of every row series. Returns true when any placement changed.
bool LayoutGeneLabels(TChart &chart, bool firstLineNames);
// Writes the name of each checked chromosome right-aligned 40 pixels left of x = 0.
void DrawChromosomeNames(TChart &chart, TCanvas &canvas, const TCatalogue &catalogue,
                         const std::vector<bool> &chromosomeChecked);
