// Connectors: black broken lines between genes of the same label on successive rows, drawn on
// the canvas before the series so that arrows and labels cover them.
#pragma once

#include "chart/SeriesPainter.h"

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

// The connectors of one map, found once per change of the rows (which point joins which
// depends on the labels alone) and drawn on every drawing from the placements of the moment.
// Drawn with the chart's SkipHiddenWork: a connector that cannot reach the visible part of the
// canvas is left out, and on exact pixels so is one whose four points repeat an earlier one.
// A point without a placement yet: no leader end is ever this far out.
inline const QPoint kNoLeaderEnd(std::numeric_limits<int>::min(), std::numeric_limits<int>::min());

// Writes the leader end of each of the series' points to out (kNoLeaderEnd where a point has
// no placement), Count() of them.
void CopyLeaderEnds(const TArrowSeries &series, QPoint *out);

class TConnectors
{
public:
    // ends, when given, holds every row's leader ends one row after another (kNoLeaderEnd for
    // a point without a placement), as the placements hold them now: they are not copied anew.
    void Draw(TChart &chart, TCanvas &canvas, const std::vector<QPoint> *ends = nullptr);

private:
    // The two ends as indices into m_ends, which holds every row's points one row after another.
    struct TLink
    {
        qint32 Upper, Lower;
    };
    std::vector<std::pair<const TArrowSeries *, quint64>> m_rows; // what m_links was found for
    std::vector<qint32> m_rowStart;                               // first index of each row
    std::vector<TLink> m_links;
    std::vector<QPoint> m_ends; // each point's leader end at this drawing, or kNoEnd
    TShapeSet m_drawn;
    std::optional<bool> m_rasterAgrees; // whether lines may be written past the painter
};

// Draws every connector, finding them anew.
void DrawConnectors(TChart &chart, TCanvas &canvas);

// Calls fn(upper series, point, lower series, point) for every connector, in drawing order.
// Decided by the labels alone; whether both ends have a placement is the drawer's concern.
void ForEachConnector(const TChart &chart, const std::function<void(int, int, int, int)> &fn);
