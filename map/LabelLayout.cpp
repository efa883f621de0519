#include "map/LabelLayout.h"

#include "chart/ChartGeometry.h"
#include "chart/TChart.h"

#include <algorithm>
#include <limits>

namespace {
constexpr int kLevelStep = 15;
constexpr int kLift = 30;
constexpr int kNameGap = 40;
constexpr TColor kLeaderColor = 0x808080;
} // namespace

void PlanGeneLabels(TChart &chart, bool firstLineNames, const TLabelLevels &levels,
                    const std::vector<std::vector<bool>> &hidden)
{
    for (int s = 1; s < chart.SeriesCount(); ++s) {
        TArrowSeries &series = chart.Series(s);
        if (series.Count() == 0)
            continue;
        const bool rowShown = s == 1 || !firstLineNames;
        series.Marks.Visible = series.Marks.Visible && rowShown;
        series.Marks.Arrow.Color = kLeaderColor;
        series.Marks.Arrow.Style = Qt::DotLine;
        // The map's levels at its 9-pixel labels, in proportion for another label font.
        const int text = std::max(1, std::abs(series.Marks.Font.Height));
        TLabelPlan plan;
        plan.Levels = std::max(1, levels.Count);
        plan.LevelStep = kLevelStep * text / 9;
        plan.Lift = levels.Lift > 0 ? levels.Lift : kLift * text / 9;
        plan.RowShown = rowShown;
        const std::vector<bool> *off =
            std::size_t(s) < hidden.size() ? &hidden[std::size_t(s)] : nullptr;
        plan.Shown.resize(std::size_t(series.Count()));
        plan.Ended.resize(std::size_t(series.Count()));
        for (int p = 0; p < series.Count(); ++p) {
            const bool named = series.Label(p) != kUnknownGene;
            plan.Ended[std::size_t(p)] = named;
            plan.Shown[std::size_t(p)] =
                named && !(off && std::size_t(p) < off->size() && (*off)[std::size_t(p)]);
        }
        series.SetLabelPlan(std::move(plan));
    }
}

const std::vector<QPoint> &TConnectorEnds::Of(const TChart &chart)
{
    std::size_t points = 0;
    for (int s = 0; s < chart.SeriesCount(); ++s)
        points += std::size_t(chart.Series(s).Count());
    m_ends.resize(points);
    const TChartGeometry &g = chart.Geometry();
    QPoint *ends = m_ends.data();
    for (int s = 0; s < chart.SeriesCount(); ends += chart.Series(s).Count(), ++s) {
        const TArrowSeries &series = chart.Series(s);
        if (series.Count() == 0)
            continue;
        if (!series.LabelPlan()) {
            std::fill(ends, ends + series.Count(), kNoLeaderEnd);
            continue;
        }
        const std::vector<double> &middles = series.Middles();
        const int anchor = series.LabelAnchor(g, chart.LabelHeight(series));
        m_columns.resize(middles.size());
        g.XPixels(middles.data(), m_columns.data(), middles.size());
        const std::vector<char> &ended = series.LabelPlan()->Ended;
        for (std::size_t p = 0; p < middles.size(); ++p)
            ends[p] =
                ended[p] ? TArrowSeries::PlannedLeaderEnd(m_columns[p], anchor) : kNoLeaderEnd;
    }
    return m_ends;
}

namespace {
// Calls fn(x, y, name, width, text height) for the name of each checked chromosome, in row order,
// where the drawing writes it; names standing wholly outside rows from top to bottom (pixels,
// inclusive) are passed over before their width is asked.
template <typename WidthOf, typename Fn>
void ForEachName(TChart &chart, TCanvas &canvas, const TCatalogue &catalogue,
                 const std::vector<bool> &chromosomeChecked, int top, int bottom,
                 const WidthOf &widthOf, const Fn &fn)
{
    // Set once: setting the font anew for each of many thousand names costs more than drawing.
    canvas.SetFontBold(true);
    const int height = canvas.TextHeight(QByteArrayLiteral("M"));
    const int h = height / 2;
    const int right = chart.ValueToPixel(chart.BottomAxis, 0) - kNameGap;
    qint32 k = 0;
    for (std::size_t i = 0; i < catalogue.FChromosomes.size(); ++i) {
        if (!At(chromosomeChecked, qint64(i)))
            continue;
        const int y = chart.ValueToPixel(chart.LeftAxis, -(k + 1)) - h;
        ++k;
        // A glyph keeps within a text height of the line it stands on.
        if (y + 2 * height < top || y - height > bottom)
            continue;
        const QByteArray &name = At(catalogue.FChromosomeNames, qint64(i));
        const int width = widthOf(i, name);
        fn(right - width, y, name, width, height);
    }
}
} // namespace

void DrawChromosomeNames(TChart &chart, TCanvas &canvas, const TCatalogue &catalogue,
                         const std::vector<bool> &chromosomeChecked)
{
    constexpr int kAll = std::numeric_limits<int>::max();
    ForEachName(
        chart, canvas, catalogue, chromosomeChecked, -kAll, kAll,
        [&canvas](std::size_t, const QByteArray &name) { return canvas.TextWidth(name); },
        [&canvas](int x, int y, const QByteArray &name, int, int) { canvas.TextOut(x, y, name); });
}

void TChromosomeNames::Draw(TChart &chart, TCanvas &canvas, const TCatalogue &catalogue,
                            const std::vector<bool> &chromosomeChecked)
{
    if (!chart.SkipHiddenWork) {
        DrawChromosomeNames(chart, canvas, catalogue, chromosomeChecked);
        return;
    }
    // A drawing whose clip lets nothing through shows no name.
    const QRect area = canvas.VisibleArea();
    if (!area.isValid())
        return;
    // The names that can reach the area, and everything their pixels depend on besides what
    // lies under them: where each stands, its text, the font.
    struct TName
    {
        int X, Y;
        const QByteArray *Text;
    };
    std::vector<TName> shown;
    QByteArray key;
    QRect box;
    // The widths by chromosome, kept while the names and the font stay: a hundred thousand
    // names looked up by text on every drawing cost more than writing them.
    canvas.SetFontBold(true);
    const QString font = canvas.Painter().font().key();
    const auto &names = catalogue.FChromosomeNames;
    if (font != m_widthsFont || m_widths.size() != names.size())
        m_widthsOf.clear();
    if (m_widthsOf.empty()) {
        m_widthsFont = font;
        m_widthsOf.resize(names.size());
        m_widths.assign(names.size(), -1);
    }
    const auto widthOf = [&](std::size_t i, const QByteArray &name) {
        // The kept copy shares the text it was measured for: the same data is the same name.
        if (m_widths[i] < 0 || m_widthsOf[i].constData() != name.constData()) {
            m_widthsOf[i] = name;
            m_widths[i] = canvas.TextWidth(name);
        }
        return m_widths[i];
    };
    ForEachName(chart, canvas, catalogue, chromosomeChecked, area.top(), area.bottom(), widthOf,
                [&](int x, int y, const QByteArray &name, int width, int height) {
                    const QRect reach(x - height, y - height, width + 2 * height, 3 * height);
                    if (!reach.intersects(area))
                        return;
                    box |= reach;
                    shown.push_back({x, y, &name});
                    const int at[] = {x, y, int(name.size())};
                    key.append(reinterpret_cast<const char *>(at), sizeof at);
                    key.append(name);
                });
    key.append(canvas.Painter().font().key().toUtf8());
    if (m_memo.Replay(canvas.Painter(), box, std::move(key)))
        return;
    for (const TName &name : shown)
        canvas.TextOut(name.X, name.Y, *name.Text);
    m_memo.Keep(canvas.Painter());
}
