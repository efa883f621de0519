#include "map/MapBuilder.h"

#include "chart/TChart.h"

#include <algorithm>
#include <optional>

namespace {
// One arrow of a row before it goes onto the chart.
struct TRowArrow
{
    double X0;
    double X1;
    const QByteArray *Label;
    TColor Color;
};

// Colours and numeric labels depend on the gene alone: each is worked out once per gene and
// rebuild, not once per record.
class TGeneCache
{
public:
    explicit TGeneCache(const TMapSource &source) : m_source(source) {}

    TColor Color(qint32 g)
    {
        if (m_colors.empty())
            m_colors.resize(m_source.Catalogue.FGeneCounts.size());
        std::optional<TColor> &c = At(m_colors, g);
        if (!c)
            c = ColorOfValue(m_source.Palette, 0, At(m_source.Catalogue.FGeneCounts, g), 0,
                             m_source.Catalogue.FMaxGeneCount, -999999);
        return *c;
    }

    const QByteArray &Number(qint32 g)
    {
        if (m_numbers.empty())
            m_numbers.resize(m_source.GeneChecked.size());
        QByteArray &n = At(m_numbers, g);
        if (n.isEmpty())
            n = QByteArray::number(g);
        return n;
    }

private:
    const TMapSource &m_source;
    std::vector<std::optional<TColor>> m_colors;
    std::vector<QByteArray> m_numbers;
};

void CopyTemplateSettings(TArrowSeries &row, const TArrowSeries &t, const TViewOptions &view)
{
    row.Marks.Visible = t.Marks.Visible;
    row.Marks.Style = t.Marks.Style;
    row.Marks.BackColor = t.Marks.BackColor;
    row.Marks.Frame.Visible = view.FrameGeneName;
    row.Marks.Frame.Style = Qt::SolidLine;
    row.Marks.Frame.Width = t.Marks.Frame.Width;
    row.Marks.Frame.Mode = t.Marks.Frame.Mode;
    row.Marks.Frame.Color = t.Marks.Frame.Color;
    row.Marks.ArrowLength = t.Marks.ArrowLength;
    row.SetArrowHeight(t.ArrowHeight());
    row.SetArrowWidth(t.ArrowWidth());
    row.Pointer.Pen.Visible = view.FrameArrows;
    row.Marks.Font.Height = t.Marks.Font.Height;
    row.Pointer.Pen.Width = t.Pointer.Pen.Width;
    row.Marks.Transparent = !view.FrameGeneName;
    row.XValuesDateTime = false;
    row.ColorEachPoint = t.ColorEachPoint;
}

// The series keeps its points sorted by start X, a new point going after every point with an
// equal start. Appending in stably sorted order therefore gives the same point order as
// appending in row order, but each point lands at the end instead of being shifted into place.
void AppendSorted(TArrowSeries &series, std::vector<TRowArrow> &arrows, double rowValue)
{
    const auto byStart = [](const TRowArrow &a, const TRowArrow &b) { return a.X0 < b.X0; };
    if (!std::is_sorted(arrows.begin(), arrows.end(), byStart))
        std::stable_sort(arrows.begin(), arrows.end(), byStart);
    for (const TRowArrow &a : arrows)
        series.AppendArrow(a.X0, rowValue, a.X1, rowValue, *a.Label, a.Color);
}

void FillRow(TArrowSeries &series, const TMapSource &source, const ChromosomeView &view,
             qint32 rowValue, TGeneCache &genes)
{
    static const QByteArray unknown = kUnknownGene;
    const std::vector<tGene> &records = At(source.Catalogue.FRecords, view.ChromosomeIndex);
    std::vector<TRowArrow> arrows;
    arrows.reserve(records.size());
    try {
        for (const tGene &r : records) {
            const qint32 g = r.GeneIndex;
            const QByteArray *label;
            if (At(source.GeneChecked, g))
                label = &r.GeneName;
            else if (source.View.HideGenes)
                continue;
            else if (r.GeneName == kUnknownGene)
                label = &unknown;
            else
                label = &genes.Number(g);
            qint32 x0 = CheckedAdd(r.Start, view.Offset);
            qint32 x1 = CheckedAdd(r.End, view.Offset);
            if (view.Inverted) {
                x0 = CheckedNeg(x0);
                x1 = CheckedNeg(x1);
            }
            arrows.push_back({double(x0), double(x1), label, genes.Color(g)});
        }
    } catch (...) {
        // The records before the failing one are on the row, as if added one by one.
        AppendSorted(series, arrows, rowValue);
        throw;
    }
    AppendSorted(series, arrows, rowValue);
}

void AddRow(TChart &chart, const TMapSource &source, const ChromosomeView &view, qint32 rowValue,
            TGeneCache &genes)
{
    std::unique_ptr<TArrowSeries> created = chart.CreateArrowSeries();
    CopyTemplateSettings(*created, chart.Series(0), source.View);
    created->Title = At(source.Catalogue.FChromosomeNames, view.ChromosomeIndex);
    created->Tag = view.ChromosomeIndex;
    TArrowSeries &series = chart.AddSeries(std::move(created));
    FillRow(series, source, view, rowValue, genes);
}
} // namespace

void AddChromosomeRow(TChart &chart, const TMapSource &source, const ChromosomeView &view,
                      qint32 rowValue)
{
    TGeneCache genes(source);
    AddRow(chart, source, view, rowValue, genes);
}

void RebuildMap(TChart &chart, const TMapSource &source)
{
    for (int s = chart.SeriesCount() - 1; s >= 1; --s)
        chart.FreeSeries(s);

    TGeneCache genes(source);
    const std::vector<ChromosomeView> &views = source.Catalogue.FChromosomes;
    qint32 k = 0;
    for (std::size_t i = 0; i < views.size(); ++i) {
        if (!At(source.ChromosomeChecked, qint64(i)))
            continue;
        AddRow(chart, source, views[i], -(k + 1), genes);
        ++k;
    }
    chart.SetAxisRange(chart.LeftAxis, -(k + 1), 0);
}
