// Connectors: black broken lines between genes of the same label on successive rows, drawn on
// the canvas before the series so that arrows and labels cover them.
#pragma once

class TChart;
class TCanvas;

void DrawConnectors(TChart &chart, TCanvas &canvas);
