#include "map/ViewOptions.h"

#include "chart/TChart.h"

namespace {
// The switches act on the template too, so rows made by the next rebuild start the same way.
template <typename Fn> void ForAllSeries(TChart &chart, Fn fn)
{
    for (int s = 0; s < chart.SeriesCount(); ++s)
        fn(chart.Series(s));
    chart.Invalidate();
}
} // namespace

void ApplyGeneName(TChart &chart, bool checked)
{
    // A row whose plan keeps its labels off (names only on the first line) stays without.
    ForAllSeries(chart, [checked](TArrowSeries &series) {
        series.Marks.Visible = checked && (!series.LabelPlan() || series.LabelPlan()->RowShown);
    });
}

void ApplyGrid(TChart &chart, bool checked)
{
    chart.BottomAxis.GridVisible = checked;
    chart.Invalidate();
}

void ApplyFrameGeneName(TChart &chart, bool checked)
{
    ForAllSeries(chart, [checked](TArrowSeries &series) {
        series.Marks.Frame.Visible = checked;
        series.Marks.Transparent = !checked;
    });
}

void ApplyFrameArrows(TChart &chart, bool checked)
{
    ForAllSeries(chart, [checked](TArrowSeries &series) { series.Pointer.Pen.Visible = checked; });
}

void SetupMapChart(TChart &chart)
{
    chart.Color = clWhite;
    chart.MarginLeft = 10;
    chart.MarginRight = 0;

    chart.BottomAxis.Visible = true;
    chart.BottomAxis.Automatic = true;
    chart.BottomAxis.StartPosition = 2;
    chart.BottomAxis.EndPosition = 98;
    // Shown from the start so that the grid agrees with the checked "G&rid" item.
    chart.BottomAxis.GridVisible = true;

    // The map builder sets the real range on every rebuild.
    chart.LeftAxis.Visible = false;
    chart.SetAxisRange(chart.LeftAxis, 11, 1495);

    if (chart.SeriesCount() == 0)
        chart.AddSeries(chart.CreateArrowSeries());
    TArrowSeries &t = chart.Series(0);
    t.Title = QByteArrayLiteral("Series1");
    t.ColorEachPoint = true;
    t.Marks.Visible = true;
    t.Marks.Transparent = true;
    t.Marks.Style = TSeriesMarksStyle::Label;
    t.Marks.BackColor = 0x80FFFF;
    t.Marks.Arrow.Color = clGray;
    t.Marks.ArrowLength = 10;
    t.Marks.Clip = true;
    t.Marks.Font.Name = QStringLiteral("Arial");
    t.Marks.Font.Height = -9;
    t.Marks.Font.Color = clBlack;
    t.Marks.Frame.Visible = false;
    t.Marks.Frame.Style = Qt::DotLine;
    t.SeriesColor = clRed;
    t.SetArrowWidth(35);
    t.SetArrowHeight(5);
    t.Pointer.Pen.Visible = false;
    t.Pointer.Visible = true;
    // The template only carries settings: never drawn, never in the bottom axis range.
    t.Active = false;
    chart.Invalidate();
}

void ApplyAxis(TChart &chart, bool shown)
{
    chart.BottomAxis.Visible = shown;
    chart.Invalidate();
}
