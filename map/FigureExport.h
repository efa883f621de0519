// A figure of the map and the one routine that draws it: the options a figure is made with
// (size in figure pixels or in physical units, resolution, what stands around the map, the
// type faces) and a chart and map session of the figure's own, sized for it, whose map is
// written to a picture file with those options. The batch renderer runs its commands on that
// session; the window hands over the map it shows. Either way the same map and options give the
// same file, byte for byte.
#pragma once

#include "chart/TChart.h"
#include "map/FigureLayout.h"
#include "map/GraphExport.h"
#include "map/MapSession.h"
#include "map/ViewOptions.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <optional>

class QIODevice;

// Raster figures: from a screen's resolution to a printer's finest; without a dpi of its own, a
// figure sized in mm, in or pt has what journals ask of line art.
constexpr int kMinFigureDpi = 30;
constexpr int kMaxFigureDpi = 2400;
constexpr int kDefaultFigureDpi = 300;
// Type sizes in points a figure takes.
constexpr double kMinFigureFontPoints = 2;
constexpr double kMaxFigureFontPoints = 72;

struct TFigureOptions
{
    QSize Size{1600, 900}; // the picture's size in figure pixels; the chart's client size
    // A size given in mm, in or pt: the picture carries it, and a raster picture has Dpi.
    std::optional<QSizeF> Millimetres;
    double Dpi = 0;
    int Scale = 1;           // raster pictures sized in pixels
    TFigureDecor Decor;      // title, scale bar, colour key
    QString FontFamily;      // the labels', names' and figure's; the map's when empty
    double FontSize = 0;     // the labels' in points; the map's 9 pixels when 0
    double NameFontSize = 0; // the chromosome names' in points; the map's when 0
    bool Italic = false;     // gene names in italics, as gene symbols are set
    bool LabelsFit = false;  // only the labels that cover no arrow and no other label
    // Whether LabelsFit was chosen (--labels all or fit); when not, a laid out figure whose
    // labels mostly cover one another shows only those that fit (LabelsLeftOutForFit).
    bool LabelsChosen = false;
    // What the figure dialog adds to the map the window shows: each row's own scale, and the
    // links drawn as synteny blocks.
    bool RowScales = false;
    bool SyntenyBlocks = false;

    // Laid out as a figure (margins that cut no name or label); otherwise the window's picture.
    bool LaidOut() const { return Millimetres || Decor.Any(); }
};

// A figure that cannot be made as asked.
class EFigureError : public Exception
{
public:
    using Exception::Exception;
};

// A type size in points as the figure's pixels, 96 to the inch.
int FigurePixelsOfPoints(double points);
// The scale bar's length: auto (0) or a length such as 500bp, 10kb or 1.5Mb; raises EFigureError.
double ScaleBarLengthOf(const QString &text);
// Raises EFigureError when a raster figure would be more pixels a side than can be drawn;
// sizeText is the size as the user gave it.
void CheckFigureSize(const TFigureOptions &options, const QString &sizeText);

class TFigureChart
{
public:
    // A chart set up as the window's, sized as the figure's map and wired to the session, with
    // the figure's type faces on the template every row copies.
    explicit TFigureChart(const TFigureOptions &options);
    TFigureChart(const TFigureChart &) = delete;
    TFigureChart &operator=(const TFigureChart &) = delete;

    TChart &Chart() { return m_chart; }
    TMapSession &Session() { return m_session; }
    // The widget's repaint, as far as it matters here: the rebuild cycle's drawings find the
    // chart's automatic range and the placements the label fit reads back, while their pixels
    // are thrown away.
    void Repaint();
    // The View switches, on the session and on the chart's template.
    void SetView(const TViewOptions &view);
    // The map another session shows on screen taken over: its rows, checks, switches, palette,
    // homology groups, region alignments and the range the screen is zoomed to.
    void ShowMapOf(const TMapSession &shown, const TChart &screen);
    // A figure cuts no chromosome name at its left edge and no label at its top or right, and
    // no label reaches the arrows of the row above (see FigureRows); with LabelsFit, whether
    // laid out or not, only the labels that fit are shown (see LabelsNotFitting); once. Raises
    // EFigureError for a scale bar longer than the range the map shows.
    void LayOut();
    // True when the laid out figure's rows stand too close for any gene name.
    bool NamesLeftOut() const { return m_namesLeftOut; }
    // True when the figure, its labels not chosen, left out those that do not fit because more
    // than half of them would cover an arrow or another label.
    bool LabelsLeftOutForFit() const { return m_labelsLeftOutForFit; }
    // The picture, its type from fileName, written into out (see WriteGraph), or saved through a
    // temporary file renamed into place (see SaveGraph).
    void Write(const QString &fileName, QIODevice &out);
    void Save(const QString &fileName);
    // The picture at one pixel per figure pixel, whatever the type and dpi.
    QImage Image();

private:
    TGraphOptions GraphOptions() const;
    void CheckScaleBar() const;
    // The margins, label levels and arrows of a figure; returns the levels.
    TLabelLevels LayOutFigure();
    // The last row just over the plot's bottom edge, and without labels the first just under
    // the top (FigureRowsRange), redrawn.
    void FitRowsToHeight();

    TFigureOptions m_options;
    QRect m_figureChart; // where the chart stands in the figure
    QRect m_rect;        // the chart's client rectangle
    bool m_laidOut = false;
    bool m_namesLeftOut = false;
    bool m_labelsLeftOutForFit = false;
    TChart m_chart;
    TMapSession m_session;
    QImage m_frame;
};

// The window's figure: the map of session shown, as the chart screen shows it, drawn as a figure
// and saved to fileName through a temporary file renamed into place; first refused, as
// CheckFigureSize does, when too large. Nothing of shown or screen changes.
void ExportFigure(const TMapSession &shown, const TChart &screen, const TFigureOptions &options,
                  const QString &fileName, const QString &sizeText);
// The same figure as an image fitting box, for a preview.
QImage FigurePreview(const TMapSession &shown, const TChart &screen, const TFigureOptions &options,
                     const QSize &box);
