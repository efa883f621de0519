#include "map/LabelFit.h"

#include "chart/ChartGeometry.h"
#include "chart/TChart.h"
#include "core/Catalogue.h"

#include <QRectF>

#include <algorithm>
#include <cmath>

namespace {
// Boxes filed by the cells of a coarse grid over the chart, so that a box is compared with its
// neighbours only.
class TBoxGrid
{
public:
    explicit TBoxGrid(const QRect &area)
        : m_area(area), m_columns(area.width() / kCell + 1), m_rows(area.height() / kCell + 1),
          m_cells(std::size_t(m_columns) * std::size_t(m_rows))
    {
    }

    void Add(const QRectF &box)
    {
        const QRect cells = CellsOf(box);
        for (int y = cells.top(); y <= cells.bottom(); ++y)
            for (int x = cells.left(); x <= cells.right(); ++x)
                m_cells[Cell(x, y)].push_back(m_boxes.size());
        m_boxes.push_back(box);
    }

    bool Overlaps(const QRectF &box) const
    {
        const QRect cells = CellsOf(box);
        for (int y = cells.top(); y <= cells.bottom(); ++y)
            for (int x = cells.left(); x <= cells.right(); ++x)
                for (const std::size_t i : m_cells[Cell(x, y)])
                    if (m_boxes[i].intersects(box))
                        return true;
        return false;
    }

private:
    static constexpr int kCell = 32;

    // The cells a box touches, as columns and rows of the grid; boxes past the chart's edges
    // file in its outermost cells.
    QRect CellsOf(const QRectF &box) const
    {
        const auto cell = [](double v, int from, int count) {
            return std::clamp(int(std::floor((v - from) / kCell)), 0, count - 1);
        };
        return QRect(QPoint(cell(box.left(), m_area.left(), m_columns),
                            cell(box.top(), m_area.top(), m_rows)),
                     QPoint(cell(box.right(), m_area.left(), m_columns),
                            cell(box.bottom(), m_area.top(), m_rows)));
    }
    std::size_t Cell(int x, int y) const
    {
        return std::size_t(y) * std::size_t(m_columns) + std::size_t(x);
    }

    QRect m_area;
    int m_columns;
    int m_rows;
    std::vector<std::vector<std::size_t>> m_cells;
    std::vector<QRectF> m_boxes;
};

struct TCandidate
{
    bool Chosen;
    double Length;
    int Series;
    int Point;
    QRectF Box;
};
} // namespace

QSet<QByteArray> ChosenLabels(const TCatalogue &catalogue, const std::vector<bool> &geneChecked)
{
    QSet<QByteArray> chosen;
    if (std::all_of(geneChecked.begin(), geneChecked.end(), [](bool b) { return b; }))
        return chosen;
    for (std::size_t c = 0; c < catalogue.FRecords.size(); ++c) {
        // Records of index 0 are the genes FZeroGenes gives them, in row order.
        std::size_t zeros = 0;
        for (const tGene &r : catalogue.FRecords[c]) {
            const qint32 g = r.GeneIndex != 0
                                 ? r.GeneIndex
                                 : At(At(catalogue.FZeroGenes, qint64(c)), qint64(zeros++));
            if (At(geneChecked, g))
                chosen.insert(r.GeneName);
        }
    }
    return chosen;
}

std::vector<std::vector<bool>> LabelsNotFitting(const TChart &chart, const QSet<QByteArray> &chosen)
{
    const TChartGeometry &g = chart.Geometry();
    const QRect area = chart.ChartRect();
    const QRectF shown(area);
    std::vector<std::vector<bool>> hidden(std::size_t(chart.SeriesCount()));
    TBoxGrid arrows(area);
    std::vector<TCandidate> labels;
    std::vector<std::pair<int, int>> spans; // scratch: a row's arrows' columns, end excluded
    for (int s = 1; s < chart.SeriesCount(); ++s) {
        const TArrowSeries &series = chart.Series(s);
        if (!series.Active)
            continue;
        // Each arrow as the painter draws it: through the pixel centres of its row, from the
        // outer edge of its first pixel to that of its last. A row's arrows share its height,
        // so the columns they cover, joined where they meet, stand for them all: a dense row is
        // a few long boxes, not a thousand arrows to each label.
        if (series.Count() == 0)
            continue;
        const double half = std::abs(series.ArrowWidth()) / 2.0;
        const double top = g.YPixel(series.StartY(0)) + 0.5 - half;
        spans.clear();
        for (int p = 0; p < series.Count(); ++p) {
            const int x0 = g.XPixel(series.StartX(p)), x1 = g.XPixel(series.EndX(p));
            spans.emplace_back(std::min(x0, x1), std::max(x0, x1) + 1);
        }
        std::sort(spans.begin(), spans.end());
        for (std::size_t i = 0; i < spans.size();) {
            std::pair<int, int> joined = spans[i];
            for (++i; i < spans.size() && spans[i].first <= joined.second; ++i)
                joined.second = std::max(joined.second, spans[i].second);
            const QRectF box(joined.first, top, joined.second - joined.first, 2 * half);
            if (box.intersects(shown))
                arrows.Add(box);
        }
        if (!series.Marks.Visible)
            continue;
        hidden[std::size_t(s)].assign(std::size_t(series.Count()), false);
        for (int p = 0; p < series.Count(); ++p) {
            const TSeriesMarkPosition *pos = series.Position(p);
            if (!pos || pos->LabelWidth <= 0)
                continue;
            const QRectF box(pos->LabelLeft, pos->LabelTop, pos->LabelWidth, pos->LabelHeight);
            // A label cut at the chart's edge does not fit either.
            if (!shown.contains(box))
                hidden[std::size_t(s)][std::size_t(p)] = true;
            else
                labels.push_back({chosen.contains(series.Label(p)),
                                  std::abs(series.EndX(p) - series.StartX(p)), s, p, box});
        }
    }
    std::stable_sort(labels.begin(), labels.end(), [](const TCandidate &a, const TCandidate &b) {
        return a.Chosen != b.Chosen ? a.Chosen : a.Length > b.Length;
    });
    TBoxGrid kept(area);
    for (const TCandidate &label : labels) {
        if (arrows.Overlaps(label.Box) || kept.Overlaps(label.Box))
            hidden[std::size_t(label.Series)][std::size_t(label.Point)] = true;
        else
            kept.Add(label.Box);
    }
    return hidden;
}
