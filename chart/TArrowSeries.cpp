#include "chart/TArrowSeries.h"

#include "chart/ChartGeometry.h"
#include "util/CommonDecl.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace {
// Revisions are unique across all series: a series made anew at a freed one's address, with as
// many points, must not look unchanged to the chart's geometry cache.
quint64 NextRevision()
{
    static std::atomic<quint64> counter{0};
    return ++counter;
}
} // namespace

void TArrowSeries::SetHitKeys(std::vector<qint32> keys)
{
    if (!keys.empty() && keys.size() != m_startX.size())
        throw ERangeError();
    m_revision = NextRevision();
    m_hitKeys = std::move(keys);
}

int TArrowSeries::AppendArrow(double startX, double startY, double endX, double endY,
                              const QByteArray &label, TColor color, const QByteArray *linkKey)
{
    m_revision = NextRevision();
    m_plan.reset();
    m_hitKeys.clear();
    if (linkKey && !m_ownLinkKeys && *linkKey != label) {
        m_linkKeys = m_labels;
        m_ownLinkKeys = true;
    }
    const QByteArray &key = linkKey ? *linkKey : label;
    // The map builder appends in start-X order: that case must stay a plain push_back.
    if (m_startX.empty() || !(startX < m_startX.back())) {
        m_startX.push_back(startX);
        m_startY.push_back(startY);
        m_endX.push_back(endX);
        m_endY.push_back(endY);
        m_labels.push_back(label);
        m_colors.push_back(color);
        if (m_ownLinkKeys)
            m_linkKeys.push_back(key);
        if (Marks.Positions.size() + 1 == m_startX.size())
            Marks.Positions.emplace_back();
        return int(m_startX.size()) - 1;
    }
    // After the last point whose start X is <= the new one, so equal starts keep their order.
    const auto at = std::upper_bound(m_startX.begin(), m_startX.end(), startX);
    const auto index = std::size_t(at - m_startX.begin());
    const auto offset = std::ptrdiff_t(index);
    m_startX.insert(at, startX);
    m_startY.insert(m_startY.begin() + offset, startY);
    m_endX.insert(m_endX.begin() + offset, endX);
    m_endY.insert(m_endY.begin() + offset, endY);
    m_labels.insert(m_labels.begin() + offset, label);
    if (m_ownLinkKeys)
        m_linkKeys.insert(m_linkKeys.begin() + offset, key);
    m_colors.insert(m_colors.begin() + offset, color);
    // Placements belong to points: they move with them.
    if (index <= Marks.Positions.size())
        Marks.Positions.insert(Marks.Positions.begin() + offset, std::nullopt);
    return int(index);
}

const TSeriesMarkPosition *TArrowSeries::Position(int i) const
{
    if (m_plan) {
        const TLabelView &v = m_labelView;
        // Worked out on asking: the drawing itself keeps no placement.
        if (i < 0 || i >= Count() || v.Revision != m_revision ||
            m_labelWidths.size() != std::size_t(Count()) || m_textIdsRevision != m_revision)
            return nullptr;
        TChartGeometry g;
        g.AxisLeft = v.AxisLeft;
        g.BottomMin = v.BottomMin;
        g.XScale = v.XScale;
        m_planned.resize(std::size_t(Count()));
        TSeriesMarkPosition &pos = m_planned[std::size_t(i)];
        pos = PlannedPosition(i, g.XPixel(Middles()[std::size_t(i)]), v.Anchor,
                              m_labelWidths[std::size_t(i)], v.Height);
        return &pos;
    }
    if (i < 0 || std::size_t(i) >= Marks.Positions.size())
        return nullptr;
    const auto &slot = Marks.Positions[std::size_t(i)];
    return slot ? &*slot : nullptr;
}

void TArrowSeries::SetLabelPlan(TLabelPlan plan)
{
    plan.Levels = std::max(1, plan.Levels);
    plan.Shown.resize(std::size_t(Count()), 1);
    plan.Ended.resize(std::size_t(Count()), 1);
    m_plan = std::move(plan);
}

int TArrowSeries::LabelAnchor(const TChartGeometry &g, int height) const
{
    return Count() == 0 ? 0 : g.YPixel((StartY(0) + EndY(0)) / 2) - height / 2;
}

const std::vector<double> &TArrowSeries::Middles() const
{
    if (m_middlesRevision != m_revision) {
        m_middles.resize(m_startX.size());
        for (std::size_t p = 0; p < m_startX.size(); ++p)
            m_middles[p] = (m_startX[p] + m_endX[p]) / 2;
        m_middlesRevision = m_revision;
    }
    return m_middles;
}
