// Label layout and chromosome names, run after every drawing of the chart: gene labels on five
// staggered levels above their row with dotted leaders, and each shown chromosome's name in bold
// left of its row.
#pragma once

#include <QByteArray>
#include <QPoint>
#include <QString>
#include <QtGlobal>

#include <vector>

#include "chart/PixelMemo.h"
#include "core/Catalogue.h"

class TChart;
class TCanvas;

// Places every gene label of every row series. Returns true when any placement changed.
bool LayoutGeneLabels(TChart &chart, bool firstLineNames);

// The same, keeping between layouts which points of each row carry no gene name, so that a
// million labels are not compared with it on every drawing.
class TGeneLabelLayout
{
public:
    bool Run(TChart &chart, bool firstLineNames);
    // Every row's leader ends as the last Run left the placements, one row after another
    // (kNoLeaderEnd where a point has none): what the connectors start from.
    const std::vector<QPoint> &Ends() const { return m_ends; }

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
