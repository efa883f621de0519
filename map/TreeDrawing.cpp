#include "map/TreeDrawing.h"

#include "chart/ChartGeometry.h"
#include "chart/TArrowSeries.h"
#include "chart/TCanvas.h"
#include "chart/TChart.h"

#include <QHash>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
// As the chromosome names stand: right-aligned this far left of position 0.
constexpr int kNameGap = 40;
constexpr int kGap = 8; // between the tree's leaves and the widest name

// Per node, how far it stands from the root: its branch lengths summed, or, without them, the
// most branches under the root less the most under it, so that every leaf stands at the right.
std::vector<double> Depths(const TNewickTree &tree)
{
    const std::size_t n = tree.Nodes.size();
    std::vector<double> depth(n, 0);
    if (tree.HasLengths) {
        for (std::size_t i = 1; i < n; ++i) // a parent comes before its children
            depth[i] =
                depth[std::size_t(tree.Nodes[i].Parent)] + std::max(0.0, tree.Nodes[i].Length);
        return depth;
    }
    std::vector<double> height(n, 0);
    for (std::size_t i = n; i-- > 1;) {
        const auto parent = std::size_t(tree.Nodes[i].Parent);
        height[parent] = std::max(height[parent], height[i] + 1);
    }
    for (std::size_t i = 0; i < n; ++i)
        depth[i] = height[0] - height[i];
    return depth;
}
} // namespace

void DrawTree(const TChart &chart, TCanvas &canvas, const TCatalogue &catalogue,
              const TNewickTree &tree, const TTreeRows &rows)
{
    if (tree.Nodes.empty())
        return;
    const TChartGeometry &g = chart.Geometry();
    // The pixel row of each shown chromosome's row.
    std::vector<int> rowY(catalogue.FChromosomes.size(), std::numeric_limits<int>::min());
    int widest = 0;
    canvas.SetFontBold(true);
    for (int s = 1; s < chart.SeriesCount(); ++s) {
        const TArrowSeries &series = chart.Series(s);
        if (series.Tag < 0 || std::size_t(series.Tag) >= rowY.size())
            continue;
        rowY[std::size_t(series.Tag)] = chart.ValueToPixel(chart.LeftAxis, -s);
        widest =
            std::max(widest, canvas.TextWidth(catalogue.FChromosomeNames[std::size_t(series.Tag)]));
    }
    const int left = g.Rect.left() + 4;
    const int right =
        std::max(left + 20, chart.ValueToPixel(chart.BottomAxis, 0) - kNameGap - widest - kGap);
    // Each node's height on the picture: a leaf at its rows' middle, a clade at its shown
    // children's middle; NaN where nothing under it is shown.
    const std::size_t n = tree.Nodes.size();
    std::vector<double> y(n, std::nan(""));
    const std::vector<qint32> leaves = tree.Leaves();
    // By name: the list may have been reordered since the tree was read.
    QHash<QByteArray, qint32> chromosomeOf;
    for (std::size_t c = 0; c < catalogue.FChromosomeNames.size(); ++c)
        chromosomeOf.insert(catalogue.FChromosomeNames[c], qint32(c));
    for (std::size_t k = 0; k < leaves.size() && k < rows.NamesOfLeaf.size(); ++k) {
        double sum = 0;
        int count = 0;
        for (const QByteArray &name : rows.NamesOfLeaf[k]) {
            const qint32 c = chromosomeOf.value(name, -1);
            if (c >= 0 && rowY[std::size_t(c)] != std::numeric_limits<int>::min()) {
                sum += rowY[std::size_t(c)];
                ++count;
            }
        }
        if (count > 0)
            y[std::size_t(leaves[k])] = sum / count;
    }
    for (std::size_t i = n; i-- > 0;) {
        if (tree.Nodes[i].Children.empty())
            continue;
        double sum = 0;
        int count = 0;
        for (const qint32 child : tree.Nodes[i].Children)
            if (!std::isnan(y[std::size_t(child)])) {
                sum += y[std::size_t(child)];
                ++count;
            }
        if (count > 0)
            y[i] = sum / count;
    }
    const std::vector<double> depth = Depths(tree);
    const double deepest = std::max(1e-12, *std::max_element(depth.begin(), depth.end()));
    const auto x = [&](std::size_t i) {
        return left + int(std::lround(depth[i] / deepest * (right - left)));
    };
    QPainter &painter = canvas.Painter();
    painter.save();
    painter.setPen(QPen(QColor(Qt::black), 1));
    for (std::size_t i = 0; i < n; ++i) {
        if (std::isnan(y[i]) || tree.Nodes[i].Children.empty())
            continue;
        double top = y[i], bottom = y[i];
        for (const qint32 child : tree.Nodes[i].Children) {
            const double cy = y[std::size_t(child)];
            if (std::isnan(cy))
                continue;
            top = std::min(top, cy);
            bottom = std::max(bottom, cy);
            painter.drawLine(x(i), int(std::lround(cy)), x(std::size_t(child)),
                             int(std::lround(cy)));
        }
        painter.drawLine(x(i), int(std::lround(top)), x(i), int(std::lround(bottom)));
    }
    painter.restore();
}
