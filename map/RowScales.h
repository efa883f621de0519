// Row scales: under each row a scale of its chromosome's own coordinates, ticks at 1, 2 or 5
// times a power of ten labelled in bp, kb or Mb, running right to left on a reversed row and
// moving with the row's offset; a reversed row's name marked as reversed. Also the break marks
// between the stretches of a row drawn side by side, each stretch scaled in its own coordinates.
#pragma once

#include "core/Catalogue.h"

#include <QString>

class TCanvas;
class TChart;

// The tick step for a scale drawn at pixelsPerBase: the least 1, 2 or 5 times a power of ten
// whose ticks stand at least minGap pixels apart (1 at least).
double RowScaleStep(double pixelsPerBase, double minGap);
// A tick's text, in the unit the step asks for: "500", "12 kb", "12.5 kb", "1.2 Mb".
QString RowScaleText(double position, double step);

// How many pixels under a row's arrows its scale takes (line, ticks and texts): the ribbons
// leave a row below them.
int RowScaleDepth(const TChart &chart);

// Draws every row's scale under its arrows, over the part of its chromosome's records that the
// plot shows, and "reversed" under the name of each reversed row.
void DrawRowScales(const TChart &chart, TCanvas &canvas, const TCatalogue &catalogue);

// Draws two slanted strokes across each row in the break between two of its stretches
// (ChromosomeView::Stretches); nothing on a row drawn as one run.
void DrawRowBreaks(const TChart &chart, TCanvas &canvas, const TCatalogue &catalogue);
