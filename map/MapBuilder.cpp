#include "map/MapBuilder.h"

#include "chart/TChart.h"
#include "map/GroupColours.h"
#include "map/LabelLayout.h"

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
    const QByteArray *Key; // the homology group that joins it, when it shows its own name
    qint32 HitKey;         // into the catalogue's link identities, or -1
};

// Colours and numeric labels depend on the gene alone: each is worked out once per gene and
// rebuild, not once per record.
class TGeneCache
{
public:
    explicit TGeneCache(const TMapSource &source) : m_source(source) {}

    TColor Color(qint32 g)
    {
        if (m_source.View.ColourByGroup) {
            if (m_groupColours.empty())
                m_groupColours =
                    GroupColours(m_source.Catalogue, m_source.ChromosomeChecked,
                                 m_source.ColourTable ? *m_source.ColourTable : TColourTable());
            return At(m_groupColours, g);
        }
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
    std::vector<TColor> m_groupColours;
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
    row.Marks.Font.Name = t.Marks.Font.Name;
    row.Marks.Font.Italic = t.Marks.Font.Italic;
    row.Pointer.Pen.Width = t.Pointer.Pen.Width;
    row.Marks.Transparent = !view.FrameGeneName;
    row.XValuesDateTime = false;
    row.ColorEachPoint = t.ColorEachPoint;
}

// One row's arrows in drawing order, with everything that can fail (indices, coordinates)
// worked out before any series is touched.
struct TPlannedRow
{
    const ChromosomeView *View;
    qint32 RowValue;
    std::vector<TRowArrow> Arrows;
};

TPlannedRow PlanRow(const TMapSource &source, const ChromosomeView &view, qint32 rowValue,
                    TGeneCache &genes)
{
    static const QByteArray unknown = kUnknownGene;
    At(source.Catalogue.FChromosomeNames, view.ChromosomeIndex);
    const std::vector<tGene> &records = At(source.Catalogue.FRecords, view.ChromosomeIndex);
    TPlannedRow row{&view, rowValue, {}};
    row.Arrows.reserve(records.size());
    // Records of index 0 are the genes FZeroGenes gives them, in row order.
    const std::vector<qint32> &zeroGenes = At(source.Catalogue.FZeroGenes, view.ChromosomeIndex);
    std::size_t zeros = 0;
    const std::vector<qint32> *hitKeys = source.Catalogue.FHitKeys.empty()
                                             ? nullptr
                                             : &At(source.Catalogue.FHitKeys, view.ChromosomeIndex);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const tGene &r = records[i];
        const qint32 g = r.GeneIndex != 0 ? r.GeneIndex : At(zeroGenes, qint64(zeros++));
        const QByteArray *label;
        const QByteArray *key = nullptr;
        if (At(source.GeneChecked, g)) {
            label = &r.GeneName;
            if (r.Group >= 0)
                key = &At(source.Catalogue.FGroupNames, r.Group);
        } else if (source.View.HideGenes) {
            continue;
        } else if (IdentityName(source.Catalogue, r) == kUnknownGene) {
            label = &unknown;
        } else {
            label = &genes.Number(g);
        }
        row.Arrows.push_back({double(MapCoordinate(view, r.Start)),
                              double(MapCoordinate(view, r.End)), label, genes.Color(g), key,
                              hitKeys ? At(*hitKeys, qint64(i)) : -1});
    }
    // The series keeps its points sorted by start X, a new point going after every point with an
    // equal start. Appending in stably sorted order therefore gives the same point order as
    // appending in row order, but each point lands at the end instead of being shifted into place.
    const auto byStart = [](const TRowArrow &a, const TRowArrow &b) { return a.X0 < b.X0; };
    if (!std::is_sorted(row.Arrows.begin(), row.Arrows.end(), byStart))
        std::stable_sort(row.Arrows.begin(), row.Arrows.end(), byStart);
    return row;
}

void AddRow(TChart &chart, const TMapSource &source, const TPlannedRow &row)
{
    const ChromosomeView &view = *row.View;
    std::unique_ptr<TArrowSeries> created = chart.CreateArrowSeries();
    CopyTemplateSettings(*created, chart.Series(0), source.View);
    created->Title = source.Catalogue.FChromosomeNames[std::size_t(view.ChromosomeIndex)];
    created->Tag = view.ChromosomeIndex;
    TArrowSeries &series = chart.AddSeries(std::move(created));
    const double y = row.RowValue;
    bool keyed = false;
    for (const TRowArrow &a : row.Arrows) {
        series.AppendArrow(a.X0, y, a.X1, y, *a.Label, a.Color, a.Key);
        keyed = keyed || a.HitKey >= 0;
    }
    if (keyed) {
        std::vector<qint32> keys;
        keys.reserve(row.Arrows.size());
        for (const TRowArrow &a : row.Arrows)
            keys.push_back(a.HitKey);
        series.SetHitKeys(std::move(keys));
    }
}
} // namespace

void AddChromosomeRow(TChart &chart, const TMapSource &source, const ChromosomeView &view,
                      qint32 rowValue)
{
    TGeneCache genes(source);
    AddRow(chart, source, PlanRow(source, view, rowValue, genes));
    PlanGeneLabels(chart, source.View.FirstLineNames);
}

void RebuildMap(TChart &chart, const TMapSource &source)
{
    // Every row is worked out before the old ones go: an overflow or a bad index then leaves the
    // chart as it was, never a part of the new picture.
    TGeneCache genes(source);
    const std::vector<ChromosomeView> &views = source.Catalogue.FChromosomes;
    std::vector<TPlannedRow> rows;
    qint32 k = 0;
    for (std::size_t i = 0; i < views.size(); ++i) {
        if (!At(source.ChromosomeChecked, qint64(i)))
            continue;
        rows.push_back(PlanRow(source, views[i], -(k + 1), genes));
        ++k;
    }

    for (int s = chart.SeriesCount() - 1; s >= 1; --s)
        chart.FreeSeries(s);
    for (TPlannedRow &row : rows) {
        AddRow(chart, source, row);
        std::vector<TRowArrow>().swap(row.Arrows);
    }
    chart.SetAxisRange(chart.LeftAxis, -(k + 1), 0);
    PlanGeneLabels(chart, source.View.FirstLineNames);
}
