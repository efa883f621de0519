// The chart engine: an ordered list of arrow series (series 0 is the map's template), a left
// and a bottom axis, and one drawing routine that serves the screen, bitmaps, metafiles and
// printer pages alike. All value-to-pixel maths lives here; the widget only forwards events.
#pragma once

#include "chart/TArrowSeries.h"
#include "chart/TCanvas.h"

#include <QFont>
#include <QRect>

#include <atomic>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

struct TChartAxis
{
    bool Visible = true;
    bool Automatic = true;
    double Minimum = 0;
    double Maximum = 0;
    bool GridVisible = false;
    double StartPosition = 0; // percent of the plot along the axis
    double EndPosition = 100;
};

// How much of the last drawing was actually painted; the rest could not change a pixel.
struct TChartDrawStats
{
    std::size_t Arrows = 0;
    std::size_t ArrowsDrawn = 0;
    std::size_t Labels = 0;
    std::size_t LabelBoxesDrawn = 0; // fill and frame
    std::size_t LabelTextsDrawn = 0;
    std::size_t LeadersDrawn = 0;
    std::size_t MeasuredTexts = 0; // distinct label texts measured so far, all fonts
};

class TChart
{
public:
    TChart();
    ~TChart();

    // Settings of the chart form.
    TColor Color = clWhite;
    int MarginLeft = 10; // percent of the chart width
    int MarginRight = 0;
    // The font the event handlers start from (the chromosome names are drawn in it, bold).
    QFont CanvasFont; // ChartCanvasFont() unless changed
    TChartAxis LeftAxis;
    TChartAxis BottomAxis;
    // Leaves out drawing that cannot change a pixel (shapes painted over by later identical or
    // opaque ones). Switched off only to compare against the plain drawing.
    bool SkipHiddenWork = true;
    // On exact pixels, lets lines and box fills be written straight into the image once the
    // writer's check against the painter passes. Switched off only to draw as where it fails.
    bool WriteLines = true;
    // Set when the before-draw handler only draws, changing no series, point, label or axis.
    // On exact pixels the chart then chooses its series work first, and tells the handler
    // (TCanvas::PaintedOverLater) which pixels the label boxes will paint over.
    bool BeforeDrawKeepsSeries = false;
    // Series list; index 0 is the template series.
    int SeriesCount() const;
    TArrowSeries &Series(int index);                         // ERangeError outside the list
    const TArrowSeries &Series(int index) const;             // ERangeError outside the list
    std::unique_ptr<TArrowSeries> CreateArrowSeries() const; // new, empty, active
    TArrowSeries &AddSeries(std::unique_ptr<TArrowSeries> series);
    void FreeSeries(int index);

    // Turns the axis's automatic range off and sets it.
    void SetAxisRange(TChartAxis &axis, double minimum, double maximum);
    // Pixel y on LeftAxis, pixel x on BottomAxis, from the geometry of the current drawing.
    int ValueToPixel(const TChartAxis &axis, double value) const;
    // That geometry itself, for a handler that maps a value per point of every row: its XPixel
    // and YPixel are what ValueToPixel gives, without finding the geometry once per value. Valid
    // until the chart's rectangle, axes or series change.
    const struct TChartGeometry &Geometry() const { return CurrentGeometry(); }
    // Value on the series' horizontal axis of a pixel x.
    double PixelToValue(const TArrowSeries &series, int px) const;
    // The bottom axis minimum as used by the last drawing.
    double BottomAxisMinimum() const;

    // The rectangle of the current (or last) drawing; the client rectangle on screen.
    QRect ChartRect() const;
    void SetChartRect(const QRect &rect);

    // One drawing over rect, raising OnBeforeDrawSeries and OnAfterDraw. Every label stands
    // where its row's plan puts it in this view, so one drawing is the whole frame.
    void Draw(QPainter &painter, const QRect &rect);
    // A drawing made for a frame that a newer one replaces stops at its next row once the flag
    // is set: the picture is then unfinished, and LastDrawCancelled says so. Null: never stops.
    const std::atomic<bool> *CancelFlag = nullptr;
    bool DrawCancelled() const { return CancelFlag && CancelFlag->load(std::memory_order_relaxed); }
    bool LastDrawCancelled() const;

    const TChartDrawStats &LastDrawStats() const;
    // The height every label box of the series gets when drawn (its marks font measured once),
    // known before any label is drawn.
    int LabelHeight(const TArrowSeries &series) const;

    // Asks the screen to redraw (set by the widget).
    std::function<void()> OnInvalidate;
    void Invalidate();

    // Hit test of a press at (x, y): the first active series (list order, then point order)
    // with a point whose start pixel lies within ArrowWidth across and ArrowHeight up or down.
    // Returns false when no series is hit.
    bool HitTest(int x, int y, int *series, int *point) const;

    // Events.
    std::function<void(TChart &, TCanvas &)> OnBeforeDrawSeries;
    std::function<void(TChart &, TCanvas *)> OnAfterDraw; // canvas null outside a drawing
    std::function<void(TChart &)> OnResize;
    // Raised with begin true before an active series' arrows and labels are drawn and with begin
    // false after them, so that a vector picture can group each row; it must leave the painter's
    // state as it found it.
    std::function<void(TChart &, QPainter &, const TArrowSeries &, bool begin)> OnSeriesGroup;
    std::function<void(TChart &, TArrowSeries &, int point, Qt::MouseButton, Qt::KeyboardModifiers,
                       int x, int y)>
        OnClickSeries;

    // Tells the chart not to start its own zoom or scroll from the current press.
    void CancelMouse();
    bool MouseCancelled() const;
    void ResetMouseCancel();

    // User zoom and scroll of the bottom axis (the left axis stays as the map builder set it).
    void ZoomTo(double minimum, double maximum);
    // The bottom axis range the next drawing maps: the data's own while the axis is automatic.
    std::pair<double, double> BottomAxisRange() const;
    void ScrollBy(double delta);
    void UndoZoom();
    bool Zoomed() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;

    // The geometry of the drawing under way, else of the client rectangle.
    const struct TChartGeometry &CurrentGeometry() const;
};
