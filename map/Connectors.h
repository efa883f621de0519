// Connectors: black broken lines between genes of the same label on successive rows, drawn on
// the canvas before the series so that arrows and labels cover them.
#pragma once

#include <functional>

class TChart;
class TCanvas;

void DrawConnectors(TChart &chart, TCanvas &canvas);

// Calls fn(upper series, point, lower series, point) for every connector, in drawing order.
// Decided by the labels alone; whether both ends have a placement is the drawer's concern.
void ForEachConnector(const TChart &chart, const std::function<void(int, int, int, int)> &fn);
