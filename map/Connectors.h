// Connectors: black broken lines between genes of the same label on successive rows, drawn on
// the canvas before the series so that arrows and labels cover them.
#pragma once

#include "chart/PixelMemo.h"
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
// canvas, or that the pixels read back show would change none, is left out.
class TConnectors
{
public:
    // ends holds every row's connector ends one row after another (TConnectorEnds).
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
    // Draws the links cell by cell (their order changes no pixel, as only black is drawn): the
    // cells whose ends all lie beyond one edge of the view, or that cross it between rows of
    // pixels already full, are passed over whole.
    // surface tells which columns are cut away and which rows are full (TLineRaster where lines
    // are written, TBlackRows where rows are read back).
    template <typename Surface, typename DrawLink>
    void DrawByCells(const Surface &surface, const QRect &area, const QPoint *ends,
                     const DrawLink &drawLink);
    // Draws m_groups: drawEnds(upper end, lower end) for every distinct pair of ends that can
    // reach area (any when it is not valid), or, once
    // rowsFull(p, q) says the rows a slant from row p.y() to row q.y() reaches are full, enough
    // of them that every end has its drop or rise.
    template <typename RowsFull, typename DrawEnds>
    void DrawGroups(const QPoint *ends, const QRect &area, const RowsFull &rowsFull,
                    const DrawEnds &drawEnds) const;
    std::vector<std::pair<const TArrowSeries *, quint64>> m_rows; // what m_links was found for
    std::vector<qint32> m_rowStart;                               // first index of each row
    std::vector<TLink> m_links;
    // The links of a name that occurs several times on both rows of a pair: every upper point
    // joins every lower one, which makes more links than points. Kept as the two lists of
    // points (into m_groupPoints) and drawn once per distinct pair of ends.
    struct TGroup
    {
        quint32 UpperFirst, UpperCount, LowerFirst, LowerCount;
    };
    std::vector<qint32> m_groupPoints;
    std::vector<TGroup> m_groups;
    std::vector<TRowPair> m_pairs;
    std::vector<TLink> m_cellLinks;   // m_links cell after cell
    std::vector<char> m_linked;       // per point, whether any link ends there
    std::vector<quint32> m_cellStart; // the first of each cell's links in m_cellLinks, and the end
    // While rows are read back during one drawing, per end (kept at the first point of each run of
    // points with the same end, m_sameEndAs): its drop (kDropDone) or its rise (kRiseDone) has
    // been drawn, or found done, by a line whose slant lay on pixels done.
    static constexpr char kDropDone = 1, kRiseDone = 2;
    std::vector<char> m_endsDone;
    std::vector<qint32> m_sameEndAs;
    TLineStamps m_stamps;               // drops and rises where rows are read back
    std::optional<bool> m_rasterAgrees; // whether lines may be written past the painter
};

// Draws every connector, finding them and their ends anew.
void DrawConnectors(TChart &chart, TCanvas &canvas);

// Calls fn(upper series, its points, count, lower series, its points, count) once for every name
// on a row that is joined below: each of the upper points (ascending) joins each lower one.
// Decided by the points' link keys (their labels, or their homology groups) alone.
using TLinkGroupFn = std::function<void(int, const int *, int, int, const int *, int)>;
void ForEachLinkGroup(const TChart &chart, const TLinkGroupFn &fn);
