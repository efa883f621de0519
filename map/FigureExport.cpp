#include "map/FigureExport.h"

#include "map/LabelFit.h"
#include "map/RowScales.h"
#include "map/TreeDrawing.h"

#include "chart/ChartGeometry.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QPainter>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {
// Longer sides than this no raster picture is drawn with in reasonable time or memory.
constexpr int kMaxRasterSide = 20000;
// The figure's room under its last row's arrows and scale, above the plot's bottom edge.
constexpr int kRowsFoot = 4;

// The label font on the template every row copies, the names' on the chart.
void ApplyFonts(const TFigureOptions &o, TChart &chart)
{
    TChartFont &labels = chart.Series(0).Marks.Font;
    if (!o.FontFamily.isEmpty()) {
        labels.Name = o.FontFamily;
        chart.CanvasFont.setFamily(o.FontFamily);
    }
    if (o.FontSize > 0)
        labels.Height = -o.Decor.FontPixels;
    if (o.NameFontSize > 0)
        chart.CanvasFont.setPixelSize(FigurePixelsOfPoints(o.NameFontSize));
    labels.Italic = o.Italic;
}

// The title, scale bar and key are set in the figure's own face and the labels' size.
TFigureOptions WithDecorFonts(TFigureOptions o)
{
    if (!o.FontFamily.isEmpty())
        o.Decor.FontFamily = o.FontFamily;
    if (o.FontSize > 0)
        o.Decor.FontPixels = FigurePixelsOfPoints(o.FontSize);
    return o;
}
} // namespace

int FigurePixelsOfPoints(double points)
{
    return std::max(1, int(std::lround(points * kFigurePixelsPerInch / 72)));
}

double ScaleBarLengthOf(const QString &text)
{
    if (text == QLatin1String("auto"))
        return 0;
    if (const std::optional<double> length = ParseBaseLength(text))
        return *length;
    // A number of some kind is told what is wrong with it.
    static const QRegularExpression number(
        QStringLiteral("^(-?)\\+?(\\d+\\.?\\d*|\\.\\d+)(e[-+]?\\d+)?\\s*(bp|kb|mb|gb)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = number.match(text);
    QString reason = QStringLiteral("give auto or a length such as 500bp, 10kb or 1.5Mb");
    if (m.hasMatch()) {
        const double bases = m.captured(2).toDouble() * BasesPerUnit(m.captured(4));
        if (!m.captured(1).isEmpty())
            reason = QStringLiteral("a length is not negative; ") + reason;
        else if (!m.captured(3).isEmpty())
            reason = QStringLiteral("give the length in digits and a unit, as 1000, 1kb or 1.5Mb");
        else if (bases < 1)
            reason = QStringLiteral("the bar is 1 bp long at least");
        else if (bases > kMaxBaseLength)
            reason =
                QStringLiteral("the bar is %1 long at most").arg(BaseLengthText(kMaxBaseLength));
    }
    throw EFigureError(QStringLiteral("Bad --scale-bar \"%1\": %2").arg(text, reason));
}

void CheckFigureSize(const TFigureOptions &options, const QString &sizeText)
{
    if (!options.Millimetres || options.Dpi <= 0)
        return;
    const double side = std::max(options.Millimetres->width(), options.Millimetres->height());
    if (side / 25.4 * options.Dpi > kMaxRasterSide)
        throw EFigureError(QStringLiteral("--size %1 at %2 dpi is more than %3 pixels a side")
                               .arg(sizeText)
                               .arg(options.Dpi)
                               .arg(kMaxRasterSide));
}

TFigureChart::TFigureChart(const TFigureOptions &options)
    : m_options(WithDecorFonts(options)),
      m_figureChart(FigureChartRect(m_options.Size, m_options.Decor)),
      m_rect(QPoint(0, 0), m_options.Decor.Any() ? m_figureChart.size() : m_options.Size),
      m_frame(1, 1, QImage::Format_RGB32)
{
    SetupMapChart(m_chart);
    m_session.Wire(m_chart);
    // Sized as the widget is when shown.
    m_chart.SetChartRect(m_rect);
    m_chart.OnResize(m_chart);
    m_session.SetRepaint([this] { Repaint(); });
    ApplyFonts(m_options, m_chart);
}

void TFigureChart::Repaint()
{
    // A one-pixel frame: the placements follow the chart's rectangle, not the frame's, and the
    // chart leaves out what falls outside it, so the picture is drawn once.
    QPainter painter(&m_frame);
    m_chart.SetChartRect(m_rect);
    m_chart.Draw(painter, m_rect);
}

void TFigureChart::SetView(const TViewOptions &view)
{
    // The switches the window applies to the chart in place act on the template, which every
    // row copies at the next rebuild; the others the rebuild reads from the session.
    m_session.View = view;
    ApplyGeneName(m_chart, view.GeneName);
    ApplyGrid(m_chart, view.Grid);
    ApplyFrameGeneName(m_chart, view.FrameGeneName);
    ApplyFrameArrows(m_chart, view.FrameArrows);
    ApplyAxis(m_chart, view.Axis);
}

void TFigureChart::ShowMapOf(const TMapSession &shown, const TChart &screen)
{
    TViewOptions view = shown.View;
    view.RowScales = view.RowScales || m_options.RowScales;
    if (m_options.SyntenyBlocks)
        view.LinkStyle = TLinkStyle::Blocks;
    SetView(view);
    m_session.FPalette = shown.FPalette;
    m_session.FColourTable = shown.FColourTable;
    m_session.GenomeNames = shown.GenomeNames;
    m_session.FHomology = shown.FHomology;
    m_session.FHomologyReport = shown.FHomologyReport;
    m_session.Install(shown.FCatalogue);
    m_session.FAlignmentPaths = shown.FAlignmentPaths;
    m_session.FAlignmentFilters = shown.FAlignmentFilters;
    m_session.FRegionAlignments = shown.FRegionAlignments;
    m_session.FAlignmentReport = shown.FAlignmentReport;
    m_session.ChromosomeChecked = shown.ShownChromosomes();
    m_session.GeneChecked = shown.ShownGenes();
    m_session.Redraw();
    if (screen.Zoomed()) {
        // The widget repaints after a zoom.
        m_chart.ZoomTo(screen.BottomAxis.Minimum, screen.BottomAxis.Maximum);
        Repaint();
    }
}

void TFigureChart::LayOut()
{
    if (m_laidOut)
        return;
    m_laidOut = true;
    TLabelLevels levels;
    if (m_options.LaidOut())
        levels = LayOutFigure();
    CheckScaleBar();
    const bool decide = !m_options.LabelsChosen && m_options.LaidOut();
    if (!m_options.LabelsFit && !decide)
        return;
    std::vector<std::vector<bool>> hidden =
        LabelsNotFitting(m_chart, ChosenLabels(m_session.FCatalogue, m_session.ShownGenes()));
    if (!m_options.LabelsFit) {
        // Left to the figure: only a crowd of labels, most of them over arrows or one another,
        // is thinned out.
        qint64 shown = 0, out = 0;
        for (int s = 1; s < m_chart.SeriesCount(); ++s) {
            const TArrowSeries &series = m_chart.Series(s);
            if (!series.Marks.Visible || !series.LabelPlan())
                continue;
            const std::vector<char> &planned = series.LabelPlan()->Shown;
            for (std::size_t i = 0; i < planned.size(); ++i) {
                shown += planned[i] != 0;
                out += planned[i] && std::size_t(s) < hidden.size() &&
                       i < hidden[std::size_t(s)].size() && hidden[std::size_t(s)][i];
            }
        }
        if (2 * out <= shown)
            return;
        m_labelsLeftOutForFit = true;
    }
    m_session.SetLabelPlan(levels, std::move(hidden));
    Repaint();
}

void TFigureChart::CheckScaleBar() const
{
    // Longer than the range shown, the bar would run off the picture.
    const double length = m_options.Decor.ScaleBarLength;
    const TChartGeometry &g = m_chart.Geometry();
    const double span = g.BottomMax - g.BottomMin;
    if (m_options.Decor.ScaleBar && length > span)
        throw EFigureError(QStringLiteral("--scale-bar %1 is longer than the %2 the map shows: "
                                          "give a length of %2 at most, or auto")
                               .arg(BaseLengthText(length), BaseLengthText(span)));
}

TLabelLevels TFigureChart::LayOutFigure()
{
    // The key of homology groups takes the lines they wrap to, and the ribbons' identity bar
    // two more: the chart has the rest.
    if (m_session.View.ColourByGroup)
        SetColourKey(m_options.Decor, m_session.FCatalogue, m_session.ShownChromosomes(),
                     m_session.FColourTable);
    m_options.Decor.LegendLines = FigureLegendLines(
        m_options.Decor.ColourKey ? m_options.Decor.ColourKeyGroups
                                  : LegendGroups(m_session.FCatalogue, m_session.FPalette),
        m_options.Decor, m_options.Size);
    if (m_options.Decor.Legend) {
        const std::vector<TRibbon> &ribbons =
            m_session.Ribbons.Of(m_chart, m_session.FCatalogue, m_session.FRegionAlignments);
        m_options.Decor.IdentityKey =
            IdentityKeyOf(ribbons, m_session.Ribbons.IdentityRange(), m_session.View);
        FitIdentityKey(m_options.Decor, m_options.Size.width());
    }
    if (m_options.Decor.LegendLines > 1 || m_options.Decor.IdentityKey.Shown) {
        m_figureChart = FigureChartRect(m_options.Size, m_options.Decor);
        m_rect.setSize(m_figureChart.size());
        Repaint();
    }
    // A tree stands left of the names.
    m_chart.MarginLeft =
        FigureMarginLeft(m_chart, m_rect.width()) + (m_session.FTree ? kTreeMarginPercent : 0);
    m_chart.Invalidate();
    Repaint();
    m_chart.MarginRight = FigureMarginRight(m_chart, m_rect.width());
    m_chart.Invalidate();
    Repaint();
    // The rows fitted to the height first, with the map's arrows, so that their levels and
    // arrows take the steps they will have.
    FitRowsToHeight();
    const TFigureRows rows = FigureRows(
        m_chart, m_session.View.LinkGenes && m_session.View.LinkStyle != TLinkStyle::Connectors);
    for (int s = 0; s < m_chart.SeriesCount(); ++s) {
        TArrowSeries &series = m_chart.Series(s);
        series.SetArrowWidth(rows.ArrowWidth);
        m_namesLeftOut = m_namesLeftOut || (series.Marks.Visible && s > 0 && !rows.Labels);
        series.Marks.Visible = series.Marks.Visible && rows.Labels;
    }
    m_session.SetLabelPlan(rows.Levels, {});
    m_chart.Invalidate();
    Repaint();
    // Closing up the band under the last row only widens the steps the rows were fitted to.
    FitRowsToHeight();
    return rows.Levels;
}

void TFigureChart::FitRowsToHeight()
{
    const int arrows = std::abs(m_chart.Series(0).ArrowWidth());
    const int below =
        (arrows + 1) / 2 + (m_session.View.RowScales ? RowScaleDepth(m_chart) : 0) + kRowsFoot;
    // Without labels the first row needs no more than its arrows and its name over it.
    bool labels = false;
    for (int s = 1; s < m_chart.SeriesCount(); ++s)
        labels = labels || (m_chart.Series(s).Active && m_chart.Series(s).Marks.Visible &&
                            m_chart.Series(s).Count() > 0);
    QFont names = m_chart.CanvasFont;
    names.setBold(true);
    const int above =
        labels ? 0 : std::max((arrows + 1) / 2, QFontMetrics(names).height()) + kRowsFoot;
    const auto [low, high] = FigureRowsRange(m_chart, above, below);
    m_chart.SetAxisRange(m_chart.LeftAxis, low, high);
    m_chart.Invalidate();
    Repaint();
}

TGraphOptions TFigureChart::GraphOptions() const
{
    TGraphOptions options;
    options.Scale = m_options.Scale;
    options.Millimetres = m_options.Millimetres;
    options.Dpi = m_options.Dpi;
    if (m_options.Decor.Any()) {
        options.Picture = m_options.Size;
        options.ChartAt = m_figureChart.topLeft();
        options.Decorate = [this](QPainter &painter) {
            DrawFigureDecor(painter, m_chart, m_figureChart, m_session.FCatalogue,
                            m_session.FPalette, m_options.Decor);
        };
    }
    return options;
}

void TFigureChart::Write(const QString &fileName, QIODevice &out)
{
    LayOut();
    WriteGraph(m_chart, fileName, out, GraphOptions());
}

void TFigureChart::Save(const QString &fileName)
{
    LayOut();
    SaveGraph(m_chart, fileName, GraphOptions());
}

QImage TFigureChart::Image()
{
    LayOut();
    TGraphOptions options = GraphOptions();
    options.Dpi = 0;
    options.Scale = 1;
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    WriteGraph(m_chart, QStringLiteral("figure.bmp"), bytes, options);
    return QImage::fromData(bytes.data(), "BMP");
}

void ExportFigure(const TMapSession &shown, const TChart &screen, const TFigureOptions &options,
                  const QString &fileName, const QString &sizeText)
{
    CheckFigureSize(options, sizeText);
    TFigureChart figure(options);
    figure.ShowMapOf(shown, screen);
    figure.Save(fileName);
}

QImage FigurePreview(const TMapSession &shown, const TChart &screen, const TFigureOptions &options,
                     const QSize &box)
{
    // A figure sized in mm is drawn at the resolution that fits the box: the same figure, with
    // no more pixels than the preview shows.
    TFigureOptions fitted = options;
    if (options.Millimetres && options.Dpi > 0 && !box.isEmpty()) {
        const QSizeF pixels = *options.Millimetres * (options.Dpi / 25.4);
        const double fit = std::min(box.width() / pixels.width(), box.height() / pixels.height());
        if (fit < 1)
            fitted.Dpi = options.Dpi * fit;
    }
    TFigureChart figure(fitted);
    figure.ShowMapOf(shown, screen);
    const QImage image = figure.Image();
    if (image.isNull() || box.isEmpty())
        return image;
    return image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}
