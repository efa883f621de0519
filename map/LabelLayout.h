// Label plans and chromosome names: gene labels on five staggered levels above their row with
// dotted leaders, planned when the rows are built, and each shown chromosome's name in bold
// left of its row, drawn after every drawing of the chart.
#pragma once

#include <QByteArray>
#include <QPoint>
#include <QString>
#include <QtGlobal>

#include <limits>
#include <vector>

#include "chart/PixelMemo.h"
#include "core/Catalogue.h"

class TChart;
class TCanvas;
class TArrowSeries;

// Where no connector starts or ends: a "???" point, or a point of no row.
inline const QPoint kNoLeaderEnd(std::numeric_limits<int>::min(), std::numeric_limits<int>::min());

// How the labels of a row stack above it: the map's five levels, the lowest 30 pixels above the
// anchor at its 9-pixel labels (in proportion for another label font); a figure whose rows stand
// closer fits fewer levels and a lower lift (FigureRows).
struct TLabelLevels
{
    int Count = 5;
    int Lift = 0; // from the anchor to the lowest label's top; 0 for the map's own
};

// Gives every row series its label plan, once its points are in: the levels, "???" labels not
// shown, nor those hidden gives (by series and point, as LabelsNotFitting gives them; a series
// past the end, or a point past its row's flags, keeps its label), the dotted gray leader, and
// (names only on the first line) no labels on the rows after the first.
void PlanGeneLabels(TChart &chart, bool firstLineNames, const TLabelLevels &levels = {},
                    const std::vector<std::vector<bool>> &hidden = {});

// Every point's connector end for the chart's geometry of the moment, one row after another
// (series 0 included): where its plan puts its leader's end (the pixel of its arrow's middle at
// its row's anchor), whether its label is shown or ever was drawn; kNoLeaderEnd for a "???"
// point or a row without a plan.
class TConnectorEnds
{
public:
    // Valid until the next call.
    const std::vector<QPoint> &Of(const TChart &chart);

private:
    std::vector<QPoint> m_ends;
    std::vector<int> m_columns; // scratch: the column of each point of a row
};
// Writes the name of each checked chromosome right-aligned 40 pixels left of x = 0.
void DrawChromosomeNames(TChart &chart, TCanvas &canvas, const TCatalogue &catalogue,
                         const std::vector<bool> &chromosomeChecked);

// The same, drawn with the chart's SkipHiddenWork: names that cannot reach the visible part of
// the canvas are left out, and on exact pixels names written again where they stood, over
// what they found before, are copied back from the last drawing.
class TChromosomeNames
{
public:
    void Draw(TChart &chart, TCanvas &canvas, const TCatalogue &catalogue,
              const std::vector<bool> &chromosomeChecked);

private:
    TPixelMemo m_memo;
    QString m_widthsFont;
    std::vector<QByteArray> m_widthsOf; // the name each width was measured for
    std::vector<int> m_widths;
};
