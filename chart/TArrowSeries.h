// One row of the map on the chart: an arrow series with four parallel value lists (start X,
// start Y, end X, end Y), a label and a colour per point, kept sorted by start X, its pointer
// (arrow) settings, its marks (the point labels) and one placement record per drawn label.
#pragma once

#include "util/ColorOps.h"

#include <QByteArray>
#include <QPoint>
#include <QString>

#include <optional>
#include <vector>

struct TChartPen
{
    bool Visible = true;
    TColor Color = clBlack;
    int Width = 1;
    Qt::PenStyle Style = Qt::SolidLine;
    int Mode = 0; // pen mode: 0 copies the pen colour (the only mode the map uses)
};

struct TChartFont
{
    QString Name = QStringLiteral("Arial");
    int Height = -9; // negative: character height in pixels
    TColor Color = clBlack;
    bool Bold = false;
    bool Italic = false;
};

// Where one label and its leader line stand, in pixels.
struct TSeriesMarkPosition
{
    QPoint LeaderStart;
    QPoint LeaderEnd;
    bool Fixed = false;
    qint32 LabelHeight = 0;
    qint32 LabelLeft = 0;
    qint32 LabelTop = 0;
    qint32 LabelWidth = 0;
};

enum class TSeriesMarksStyle
{
    Label,
    Value
};

struct TSeriesMarks
{
    bool Visible = false;
    TSeriesMarksStyle Style = TSeriesMarksStyle::Label;
    TColor BackColor = 0x80FFFF;
    bool Transparent = false;
    TChartPen Frame;
    TChartPen Arrow; // the leader line from the label to its point
    int ArrowLength = 8;
    TChartFont Font;
    bool Clip = false;
    // One entry per point, indexed like the points; empty until the label is first drawn.
    std::vector<std::optional<TSeriesMarkPosition>> Positions;
};

// How a row's owner lays its labels out, as a function of the view: the label of point i
// stands centred over the middle of its arrow, on level i mod Levels above the row's anchor
// (half a label height above the middle of the row's first arrow), the lowest level Lift
// pixels up and each next one LevelStep higher; its leader runs from the middle of the box's
// top edge down to the anchor, where the point's connectors end. A label not shown stands out
// of sight with its leader. Made by the owner once the row's points are in; adding a point
// drops it.
struct TLabelPlan
{
    int Levels = 5;
    int LevelStep = 15;
    int Lift = 30;
    std::vector<char> Shown; // per point: 0 where the label is not shown
    std::vector<char> Ended; // per point: 0 where no connector ends (shown or not)
    bool RowShown = true;    // false: the owner keeps every label of the row off
};

// Where a label not shown stands, with its leader: out of sight.
constexpr int kLabelOutOfSight = -9999;

struct TSeriesPointer
{
    int HorizSize = 4; // ArrowWidth
    int VertSize = 4;  // ArrowHeight
    TChartPen Pen;
    bool Visible = true;
};

class TArrowSeries
{
public:
    QByteArray Title;
    qint32 Tag = 0;
    bool Active = true;
    bool ColorEachPoint = false;
    bool XValuesDateTime = false;
    TColor SeriesColor = clRed;
    TSeriesPointer Pointer;
    TSeriesMarks Marks;

    int ArrowWidth() const { return Pointer.HorizSize; }
    int ArrowHeight() const { return Pointer.VertSize; }
    void SetArrowWidth(int w) { Pointer.HorizSize = w; }
    void SetArrowHeight(int h) { Pointer.VertSize = h; }

    // Inserts the point after the last point whose start X is <= its own; returns its index.
    // linkKey, when given, is what joins the point to others instead of its label.
    int AppendArrow(double startX, double startY, double endX, double endY, const QByteArray &label,
                    TColor color, const QByteArray *linkKey = nullptr);
    int Count() const { return int(m_startX.size()); }

    double StartX(int i) const { return m_startX[std::size_t(i)]; }
    double StartY(int i) const { return m_startY[std::size_t(i)]; }
    double EndX(int i) const { return m_endX[std::size_t(i)]; }
    double EndY(int i) const { return m_endY[std::size_t(i)]; }
    const QByteArray &Label(int i) const { return m_labels[std::size_t(i)]; }
    TColor Color(int i) const { return m_colors[std::size_t(i)]; }
    // What joins point i to the points of other series: the label, unless the point was given
    // a key of its own (a gene shown under its own name but joined as its homology group).
    const QByteArray &LinkKey(int i) const
    {
        return m_ownLinkKeys ? m_linkKeys[std::size_t(i)] : m_labels[std::size_t(i)];
    }

    // The key of point i into the identities of its links (a hit table's gene), or -1. Set
    // for all points at once, after they are in; AppendArrow drops them.
    qint32 HitKey(int i) const { return m_hitKeys.empty() ? -1 : m_hitKeys[std::size_t(i)]; }
    bool HasHitKeys() const { return !m_hitKeys.empty(); }
    void SetHitKeys(std::vector<qint32> keys);

    const std::vector<double> &StartXValues() const { return m_startX; }
    const std::vector<double> &StartYValues() const { return m_startY; }
    const std::vector<double> &EndXValues() const { return m_endX; }
    const std::vector<double> &EndYValues() const { return m_endY; }

    // The placement of point i's label, or nullptr when the chart has not drawn it yet. A
    // planned row's placements are worked out from its plan and the view of the last drawing
    // that drew its labels.
    const TSeriesMarkPosition *Position(int i) const;

    // The row's label plan, set by its owner; none: the chart places each label itself over
    // its point's start (Marks.Positions), and keeps what the owner fixed there.
    const std::optional<TLabelPlan> &LabelPlan() const { return m_plan; }
    void SetLabelPlan(TLabelPlan plan);
    // The one placement of a planned label: point i's arrow middle at column px, the row's
    // anchor at pixel row anchor, its box measured width x height.
    TSeriesMarkPosition PlannedPosition(int i, int px, int anchor, int width, int height) const
    {
        TSeriesMarkPosition pos;
        pos.Fixed = true;
        pos.LabelWidth = width;
        pos.LabelHeight = height;
        if (!m_plan->Shown[std::size_t(i)]) {
            pos.LabelLeft = pos.LabelTop = kLabelOutOfSight;
            pos.LeaderStart = pos.LeaderEnd = QPoint(kLabelOutOfSight, kLabelOutOfSight);
            return pos;
        }
        pos.LabelLeft = px - width / 2;
        pos.LabelTop = anchor - i % m_plan->Levels * m_plan->LevelStep - m_plan->Lift;
        pos.LeaderStart = QPoint(width / 2 + pos.LabelLeft, pos.LabelTop);
        pos.LeaderEnd = PlannedLeaderEnd(px, anchor);
        return pos;
    }
    // Where a planned leader ends, and the point's connectors with it, shown or not.
    static QPoint PlannedLeaderEnd(int px, int anchor) { return QPoint(px, anchor); }
    // The pixel row the planned row's leaders end on, for a label box height.
    int LabelAnchor(const struct TChartGeometry &g, int height) const;
    // The middle of every point's arrow on the horizontal axis, kept while the points stay.
    const std::vector<double> &Middles() const;

    // Grows with every change of the points, so that what the chart derived from them (the
    // automatic axis range, the measured label texts) knows when to derive it again.
    quint64 Revision() const { return m_revision; }

private:
    friend class TSeriesPainter;

    std::vector<double> m_startX, m_startY, m_endX, m_endY;
    std::vector<QByteArray> m_labels;
    std::vector<QByteArray> m_linkKeys; // kept once a key differs from its label
    bool m_ownLinkKeys = false;
    std::vector<qint32> m_hitKeys; // empty, or one per point
    std::vector<TColor> m_colors;
    quint64 m_revision = 0;
    // The chart's measured-text index of every label, valid for m_textIdsRevision and the font
    // cache generation m_textIdsCache; kept here so that it dies with the points it describes.
    mutable std::vector<int> m_textIds;
    mutable quint64 m_textIdsRevision = ~quint64(0);
    mutable quint64 m_textIdsCache = 0;
    // The label box width of every point, from the same texts: valid whenever m_textIds is, since
    // a text keeps its width when the cache renumbers it.
    mutable std::vector<qint32> m_labelWidths;
    mutable qint32 m_labelWidest = 0;
    // How many columns any part of any label (leader, framed box, text ink) reaches beyond the
    // columns its leader ends and box span; valid for m_labelReachRevision and the cache
    // generation m_labelReachCache.
    mutable qint32 m_labelReach = 0;
    mutable quint64 m_labelReachRevision = ~quint64(0);
    mutable quint64 m_labelReachCache = 0;
    std::optional<TLabelPlan> m_plan;
    mutable std::vector<double> m_middles;
    mutable quint64 m_middlesRevision = ~quint64(0);
    // The view the last drawing of the planned labels had, for reading their placements back:
    // the horizontal mapping, the anchor and the label height, for the points of Revision.
    struct TLabelView
    {
        double AxisLeft = 0, BottomMin = 0, XScale = 0;
        int Anchor = 0, Height = 0;
        quint64 Revision = ~quint64(0);
    };
    mutable TLabelView m_labelView;
    mutable std::vector<TSeriesMarkPosition> m_planned; // placements read back
    // How far the points reach, for finding the ones a drawing can see by a search on start X:
    // valid for m_extentRevision; m_extentKnown is false when some value is not a finite number.
    mutable quint64 m_extentRevision = ~quint64(0);
    mutable bool m_extentKnown = false;
    mutable double m_reachForward = 0;  // largest end X - start X
    mutable double m_reachBackward = 0; // largest start X - end X
    mutable double m_minY = 0, m_maxY = 0;
};
