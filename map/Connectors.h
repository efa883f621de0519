// Connectors: black broken lines between genes of the same label on successive rows, drawn on
// the canvas before the series so that arrows and labels cover them.
#pragma once

#include "chart/SeriesPainter.h"
#include "map/LabelLayout.h"

#include <QPoint>
#include <QtGlobal>

#include <functional>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

class TChart;
class TCanvas;
class TArrowSeries;
class TLineRaster;
class QRect;

// The connectors of one map, found once per change of the rows (which point joins which
// depends on the labels alone) and drawn on every drawing from the ends the label layout gives
// for the geometry of the moment, whether the labels are shown or not.
// Drawn with the chart's SkipHiddenWork: a connector that cannot reach the visible part of the
// canvas is left out, and on exact pixels so is one whose four points repeat an earlier one.
class TConnectors
{
public:
    // ends holds every row's connector ends one row after another (TGeneLabelLayout's
    // ConnectorEnds).
    void Draw(TChart &chart, TCanvas &canvas, const std::vector<QPoint> &ends);

private:
    // The two ends as indices into m_ends, which holds every row's points one row after another.
    struct TLink
    {
        qint32 Upper, Lower;
    };
    // The links between one upper and one lower row, filed again by where their ends stand in
    // each row: Side x Side cells of UpperStep upper points by LowerStep lower points.
    struct TRowPair
    {
        int Upper = 0, Lower = 0;
        int Side = 1, UpperStep = 1, LowerStep = 1;
        std::size_t FirstCell = 0; // into m_cellStart
    };
    // Files m_links, found for the rows whose pair of every link pairOf gives, into cells.
    void FileInCells(const std::vector<std::pair<int, int>> &pairRows,
                     const std::vector<int> &pairOf);
    // Draws the links cell by cell on exact pixels, where their order changes no pixel: the
    // cells whose ends all lie beyond one edge of the view, or that cross it between rows of
    // pixels already full, are passed over whole.
    // surface tells which columns are cut away and which rows are full (TLineRaster on exact
    // pixels, TBlackRows on a scaled image).
    template <typename Surface, typename DrawLink>
    void DrawByCells(const Surface &surface, const QRect &area, const QPoint *ends,
                     const DrawLink &drawLink);
    std::vector<std::pair<const TArrowSeries *, quint64>> m_rows; // what m_links was found for
    std::vector<qint32> m_rowStart;                               // first index of each row
    std::vector<TLink> m_links;
    std::vector<TRowPair> m_pairs;
    std::vector<TLink> m_cellLinks;   // m_links cell after cell
    std::vector<char> m_linked;       // per point, whether any link ends there
    std::vector<quint32> m_cellStart; // the first of each cell's links in m_cellLinks, and the end
    TShapeSet m_drawn;
    std::optional<bool> m_rasterAgrees; // whether lines may be written past the painter
};

// Draws every connector, finding them and their ends anew.
void DrawConnectors(TChart &chart, TCanvas &canvas);

// Calls fn(upper series, point, lower series, point) for every connector, in drawing order.
// Decided by the points' link keys (their labels, or their homology groups) alone; whether both
// ends have a placement is the drawer's concern.
void ForEachConnector(const TChart &chart, const std::function<void(int, int, int, int)> &fn);
