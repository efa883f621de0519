#include "map/LabelLayout.h"

#include "chart/ChartGeometry.h"
#include "chart/TChart.h"

#include <algorithm>
#include <limits>

namespace {
constexpr int kLevelStep = 15;
constexpr int kLift = 30;
constexpr int kNameGap = 40;
constexpr int kOffScreen = -9999;
constexpr TColor kLeaderColor = 0x808080;

template <typename T> void Store(T &field, const T &value, bool &changed)
{
    if (field != value) {
        field = value;
        changed = true;
    }
}
} // namespace

bool LayoutGeneLabels(TChart &chart, bool firstLineNames)
{
    return TGeneLabelLayout().Run(chart, firstLineNames);
}

TGeneLabelLayout::TRow &TGeneLabelLayout::PlanOf(const TArrowSeries &series, std::size_t s)
{
    if (m_rows.size() <= s)
        m_rows.resize(s + 1);
    TRow &row = m_rows[s];
    if (row.Series != &series || row.Revision != series.Revision()) {
        row = {&series, series.Revision(), {}, {}};
        row.Middles.resize(std::size_t(series.Count()));
        for (int p = 0; p < series.Count(); ++p) {
            if (series.Label(p) == kUnknownGene)
                row.Unknown.push_back(p);
            row.Middles[std::size_t(p)] = (series.StartX(p) + series.EndX(p)) / 2;
        }
    }
    return row;
}

const std::vector<QPoint> &TGeneLabelLayout::ConnectorEnds(const TChart &chart)
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
        // The template is never laid out.
        if (s == 0) {
            std::fill(ends, ends + series.Count(), kNoLeaderEnd);
            continue;
        }
        const TRow &row = PlanOf(series, std::size_t(s));
        const int anchor =
            g.YPixel((series.StartY(0) + series.EndY(0)) / 2) - chart.LabelHeight(series) / 2;
        m_columns.resize(row.Middles.size());
        g.XPixels(row.Middles.data(), m_columns.data(), row.Middles.size());
        for (std::size_t p = 0; p < row.Middles.size(); ++p)
            ends[p] = QPoint(m_columns[p], anchor);
        for (const int p : row.Unknown)
            ends[p] = kNoLeaderEnd;
    }
    return m_ends;
}

bool TGeneLabelLayout::Run(TChart &chart, bool firstLineNames)
{
    bool changed = false;
    // Every label of every row is placed after every drawing: one tight pass per row, mapping
    // through the geometry itself rather than finding it again for each of a million points.
    const TChartGeometry &g = chart.Geometry();
    for (int s = 1; s < chart.SeriesCount(); ++s) {
        TArrowSeries &series = chart.Series(s);
        if (series.Count() == 0 || !series.Marks.Visible)
            continue;
        // A row hidden here stays hidden (and skipped) until the next rebuild recreates it.
        Store(series.Marks.Visible, s == 1 || !firstLineNames, changed);
        Store(series.Marks.Arrow.Color, kLeaderColor, changed);
        Store(series.Marks.Arrow.Style, Qt::DotLine, changed);

        // Until the chart has drawn the row's first label there is no height to hang it from.
        const TSeriesMarkPosition *first = series.Position(0);
        if (!first)
            continue;
        const int anchor =
            g.YPixel((series.StartY(0) + series.EndY(0)) / 2) - first->LabelHeight / 2;

        const TRow &row = PlanOf(series, std::size_t(s));
        auto nextUnknown = row.Unknown.begin();

        // The map's levels at its 9-pixel labels, in proportion for another label font.
        const int text = std::max(1, std::abs(series.Marks.Font.Height));
        const int levelStep = kLevelStep * text / 9;
        const int lift = Levels.Lift > 0 ? Levels.Lift : kLift * text / 9;
        const int levels = std::max(1, Levels.Count);
        const std::vector<bool> *hidden =
            std::size_t(s) < Hidden.size() ? &Hidden[std::size_t(s)] : nullptr;
        auto &positions = series.Marks.Positions;
        const std::size_t count = std::min(positions.size(), std::size_t(series.Count()));
        int level = 0;
        // Every point's column first, in one tight pass over the row.
        m_columns.resize(count);
        g.XPixels(row.Middles.data(), m_columns.data(), count);
        for (std::size_t p = 0; p < count; ++p, level = level + 1 == levels ? 0 : level + 1) {
            bool unknown = nextUnknown != row.Unknown.end() && *nextUnknown == int(p);
            nextUnknown += unknown;
            unknown = unknown || (hidden && p < hidden->size() && (*hidden)[p]);
            auto &slot = positions[p];
            if (!slot)
                continue;
            TSeriesMarkPosition &pos = *slot;
            TSeriesMarkPosition next = pos;
            next.Fixed = true;
            if (unknown) {
                // Out of sight, and its leader with it: a label not shown draws no leader.
                next.LabelLeft = kOffScreen;
                next.LabelTop = kOffScreen;
                next.LeaderStart = QPoint(kOffScreen, kOffScreen);
                next.LeaderEnd = QPoint(kOffScreen, kOffScreen);
            } else {
                const int px = m_columns[p];
                next.LabelLeft = px - pos.LabelWidth / 2;
                next.LabelTop = anchor - level * levelStep - lift;
                next.LeaderStart = QPoint(pos.LabelWidth / 2 + next.LabelLeft, next.LabelTop);
                next.LeaderEnd = QPoint(px, anchor);
            }
            if (next.Fixed != pos.Fixed || next.LabelLeft != pos.LabelLeft ||
                next.LabelTop != pos.LabelTop || next.LeaderStart != pos.LeaderStart ||
                next.LeaderEnd != pos.LeaderEnd) {
                pos = next;
                changed = true;
            }
        }
    }
    return changed;
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
    // A drawing that only places the labels shows no name.
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
