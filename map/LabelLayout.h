// Label layout and chromosome names, run after every drawing of the chart: gene labels on five
// staggered levels above their row with dotted leaders, and each shown chromosome's name in bold
// left of its row.
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

// Places every gene label of every row series. Returns true when any placement changed.
bool LayoutGeneLabels(TChart &chart, bool firstLineNames);

// The same, keeping between layouts which points of each row carry no gene name, so that a
// million labels are not compared with it on every drawing.
class TGeneLabelLayout
{
public:
    bool Run(TChart &chart, bool firstLineNames);
    // Every point's connector end for the chart's geometry of the moment, one row after another
    // (series 0 included): the pixel of its arrow's middle at its row's anchor, where the layout
    // puts its leader's end, whether its label is shown or ever was drawn; kNoLeaderEnd for a
    // "???" point. Valid until the next call.
    const std::vector<QPoint> &ConnectorEnds(const TChart &chart);

    TLabelLevels Levels;
    // Labels left out as "???" ones are, by series and point (LabelsNotFitting); a series past
    // the end, or a point past its row's flags, keeps its label.
    std::vector<std::vector<bool>> Hidden;

private:
    // Per row series (by address and revision), its points labelled "???", ascending, and the
    // middle of every point's arrow: one array read on each layout instead of two.
    struct TRow
    {
        const void *Series = nullptr;
        quint64 Revision = 0;
        std::vector<int> Unknown;
        std::vector<double> Middles;
    };
    // The row's plan, made again when its points change.
    TRow &PlanOf(const TArrowSeries &series, std::size_t s);
    std::vector<TRow> m_rows;
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
