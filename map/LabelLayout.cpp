#include "map/LabelLayout.h"

#include "chart/TChart.h"

namespace {
constexpr int kLevelStep = 15;
constexpr int kLevels = 5;
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
    bool changed = false;
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
            chart.ValueToPixel(chart.LeftAxis, (series.StartY(0) + series.EndY(0)) / 2) -
            first->LabelHeight / 2;

        for (int p = 0; p < series.Count(); ++p) {
            TSeriesMarkPosition *pos = series.Position(p);
            if (!pos)
                continue;
            Store(pos->Fixed, true, changed);
            if (series.Label(p) == kUnknownGene) {
                // Out of sight; the leader keeps where the chart first put it.
                Store(pos->LabelLeft, kOffScreen, changed);
                Store(pos->LabelTop, kOffScreen, changed);
                continue;
            }
            const int px =
                chart.ValueToPixel(chart.BottomAxis, (series.StartX(p) + series.EndX(p)) / 2);
            const qint32 left = px - pos->LabelWidth / 2;
            const qint32 top = anchor - (p % kLevels) * kLevelStep - kLift;
            Store(pos->LabelLeft, left, changed);
            Store(pos->LabelTop, top, changed);
            Store(pos->LeaderStart, QPoint(pos->LabelWidth / 2 + left, top), changed);
            Store(pos->LeaderEnd, QPoint(px, anchor), changed);
        }
    }
    return changed;
}

void DrawChromosomeNames(TChart &chart, TCanvas &canvas, const TCatalogue &catalogue,
                         const std::vector<bool> &chromosomeChecked)
{
    qint32 k = 0;
    // Set once: setting the font anew for each of many thousand names costs more than drawing.
    canvas.SetFontBold(true);
    const int h = canvas.TextHeight(QByteArrayLiteral("M")) / 2;
    for (std::size_t i = 0; i < catalogue.FChromosomes.size(); ++i) {
        if (!At(chromosomeChecked, qint64(i)))
            continue;
        const QByteArray &name = At(catalogue.FChromosomeNames, qint64(i));
        const int y = chart.ValueToPixel(chart.LeftAxis, -(k + 1)) - h;
        const int x = chart.ValueToPixel(chart.BottomAxis, 0) - canvas.TextWidth(name) - kNameGap;
        canvas.TextOut(x, y, name);
        ++k;
    }
}
