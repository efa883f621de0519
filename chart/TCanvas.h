// The drawing canvas the chart hands to its event handlers: pen, bold font, move/line and text,
// in chart pixels, over whatever QPainter the chart is drawing into.
#pragma once

#include "util/ColorOps.h"

#include <QByteArray>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QRect>

#include <algorithm>
#include <utility>

class TPixelMask;
#include <vector>

// The part of the drawing surface that a stroke drawn through painter inside within can still
// change, in the painter's logical coordinates and one pixel wider all round; empty when the
// clip lets nothing through.
QRect VisibleArea(const QPainter &painter, const QRect &within);
// Pixels are known exactly only on a raster surface reached by a whole-pixel shift: there a
// shape that a later identical or opaque one paints over can be left out.
bool ExactPixels(const QPainter &painter);
// The scale of a raster image reached through one scale and a shift (a high-density screen's
// frame): a fill of whole pixels then covers known device pixels, and a shape stays near its
// scaled bounds. 0 for any other surface.
double ScaledPixels(const QPainter &painter);
// The painter's image when its pixels are known exactly (ExactPixels), else null.
QImage *ExactImage(const QPainter &painter);

// Takes lo..hi, known to hold a colour, into the stretch known to hold it along one row or
// column: joined when they touch, else kept as whichever is longer. An empty stretch has to < from.
inline void TakeIntoStretch(std::pair<int, int> &known, int lo, int hi)
{
    auto &[from, to] = known;
    if (to < from || hi < from - 1 || lo > to + 1) {
        if (to < from || hi - lo > to - from) {
            from = lo;
            to = hi;
        }
    } else {
        from = std::min(from, lo);
        to = std::max(to, hi);
    }
}

// Tells whether the pixels of a rectangle are black already, so that black drawn there would
// change nothing. Only on exact pixels of an image in a 32-bit format; elsewhere it never says
// so. Each row remembers the stretch last found black: valid while only black is drawn.
class TBlackPixels
{
public:
    explicit TBlackPixels(const QPainter &painter);
    bool Available() const { return m_image != nullptr; }
    // Every pixel of r (logical coordinates) inside the clip's bounds and the surface is black.
    bool AllBlack(const QRect &r);
    // Every pixel that a one-pixel line from p to q can touch inside the surface is black. A
    // long line is judged only by the part that crosses the surface.
    bool AllBlackAlong(const QPoint &p, const QPoint &q);

private:
    // Columns lo..hi of device row y, inside the bounds.
    bool RowBlack(int y, int lo, int hi);
    // Rows lo..hi of device column x, inside the bounds.
    bool ColumnBlack(int x, int lo, int hi);
    // Whether a few steps of the line p-q (device pixels) away from its ends have no black
    // pixel among those the engine may use, before and after the exact line by the margins.
    bool SomeStepNotBlack(const QPoint &p, const QPoint &q, bool level, double before,
                          double after) const;

    const QImage *m_image = nullptr;
    QPoint m_offset;                          // logical to device
    QRect m_bounds;                           // device pixels that can still change
    std::vector<std::pair<int, int>> m_known; // per device row: columns found black, or empty
    std::vector<std::pair<int, int>> m_knownColumns; // per device column: rows found black
};

// On a scaled image (ScaledPixels) where only black is drawn for a while (the connectors): which
// device rows are black across the clip, found by reading the rows back. Each row is read on
// from where it was last found not black, so a row costs one pass however often it is asked.
// A stroke of a one-pixel pen whose every row is black changes nothing, wherever the engine
// puts its pixels along those rows.
class TBlackRows
{
public:
    explicit TBlackRows(const QPainter &painter);
    bool Available() const { return m_image != nullptr; }
    // Whether a stroke of the painter's pen at logical column x touches no pixel it may change.
    bool ColumnCutAway(int x) const
    {
        const double d = x * m_scale + m_offset.x();
        return d + m_reach < m_bounds.left() || d - m_reach > m_bounds.right();
    }
    // The logical columns ColumnCutAway keeps, first and last.
    std::pair<int, int> ColumnsKept() const;
    // Whether every device row a stroke of the pen between logical rows p.y() and q.y() can
    // reach is black across the clip; once true, it stays true while only black is drawn.
    bool RowsFullAround(const QPoint &p, const QPoint &q) const;
    // Whether a straight stroke of the pen from p to q (logical) changes no pixel: every row it
    // can reach over the clip's columns is black across them.
    bool StrokeHidden(const QPoint &p, const QPoint &q) const;

private:
    // Device rows lo..hi, widened by the pen's reach, black across the clip.
    bool RowsBlack(double lo, double hi) const;

    const QImage *m_image = nullptr;
    double m_scale = 1;
    QPoint m_offset; // device pixels of logical (0, 0)
    QRect m_bounds;  // device pixels that can change
    double m_reach = 0;
    // Per device row, the first column inside the bounds not yet known black.
    mutable std::vector<int> m_blackTo;
    // Per device row, the first row at or below it not yet found black (path-compressed), so
    // that asking about many rows already black costs a step or two.
    mutable std::vector<int> m_nextOpen;
    int NextOpen(int y) const;
};

// Sizes of texts measured in one font, kept by the chart from drawing to drawing: handlers
// measure the same names on every drawing.
struct TCanvasTextSizes
{
    QFont Font;
    int Height = 0;
    int Ascent = 0;
    QHash<QByteArray, int> Widths;
};

class TCanvas
{
public:
    // sizes, when given, keeps measured texts for later canvases.
    explicit TCanvas(QPainter &painter, std::vector<TCanvasTextSizes> *sizes = nullptr);

    void SetPen(TColor color, int width, Qt::PenStyle style);
    void SetFontBold(bool bold);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Polyline(const QPoint *points, int count);
    void TextOut(int x, int y, const QByteArray &text);
    int TextWidth(const QByteArray &text) const;
    int TextHeight(const QByteArray &text) const;

    QPainter &Painter() { return m_painter; }
    // What a stroke can still change, as VisibleArea over the whole surface.
    QRect VisibleArea() const;
    bool ExactPixels() const { return ::ExactPixels(m_painter); }
    // During the before-draw handler, when the chart knows them: the device pixels that the
    // series drawn after it paint over with opaque boxes. Null otherwise.
    const TPixelMask *PaintedOverLater() const { return m_paintedOverLater; }
    void SetPaintedOverLater(const TPixelMask *mask) { m_paintedOverLater = mask; }

private:
    TCanvasTextSizes *SizesOfFont() const;

    QPainter &m_painter;
    std::vector<TCanvasTextSizes> *m_sizes;
    QPoint m_penPos;
    const TPixelMask *m_paintedOverLater = nullptr;
};
