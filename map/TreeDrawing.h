// The tree beside the rows: drawn left of the chromosome names, each leaf at the row (or the
// middle of the rows) it names, with its branch lengths when the tree has them, else with every
// leaf at the right.
#pragma once

#include "core/NewickTree.h"

class TCanvas;
class TChart;

// How much of the chart's width, in per cent, a figure's left margin gives the tree.
constexpr int kTreeMarginPercent = 12;

void DrawTree(const TChart &chart, TCanvas &canvas, const TCatalogue &catalogue,
              const TNewickTree &tree, const TTreeRows &rows);
