// The drawing canvas the chart hands to its event handlers: pen, bold font, move/line and text,
// in chart pixels, over whatever QPainter the chart is drawing into.
#pragma once

#include "util/ColorOps.h"
#include "util/NextFree.h"

#include <QByteArray>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QRect>

#include <algorithm>
#include <utility>
#include <vector>

class TPixelMask;

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

// On an image reached through a scale (ScaledPixels, 1 included) where only black is drawn for a
// while (the connectors, wherever they are not written straight into the pixels): which
// device pixels a black stroke can no longer change, read back from the image. A pixel is done
// when it is black, or when a box drawn later paints over it (the mask given, in device pixels).
// Each row is read on from where it was last found not done, so a row costs one pass however
// often it is asked. A stroke of the pen whose every pixel is done changes nothing, wherever the
// engine puts its pixels.
class TBlackRows
{
public:
    explicit TBlackRows(const QPainter &painter, const TPixelMask *paintedOverLater);
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
    // reach is done across the clip; once true, it stays true while only black is drawn.
    bool RowsFullAround(const QPoint &p, const QPoint &q) const;
    // Whether a straight stroke of the pen from p to q (logical) changes no pixel: every row it
    // can reach over the clip's columns is done across them.
    bool StrokeHidden(const QPoint &p, const QPoint &q) const;
    // Logical rectangle holding every pixel a polyline of the pen can change (empty: none): a
    // line to an end far beside the picture crosses it on a few rows.
    QRect StrokeWindow(const QPoint *points, int count) const;
    // Whether a polyline of the pen (logical points) changes no pixel: along each device row,
    // every pixel within the pen's reach of a segment is done.
    bool PolylineHidden(const QPoint *points, int count) const;
    // The device columns done on every device row a stroke of the pen between logical rows
    // p.y() and q.y() can reach, a bit a column (a column outside the clip counts as done).
    // Read anew on each call; what it says stays true while only black is drawn.
    void DoneAcrossRows(const QPoint &p, const QPoint &q, std::vector<quint64> &columns) const;
    // Whether columns (from DoneAcrossRows; empty: none) holds every device column a stroke of
    // the pen between logical columns x1 and x2 can reach.
    bool ColumnsDone(const std::vector<quint64> &columns, int x1, int x2) const;

private:
    // Device rows lo..hi, widened by the pen's reach, done across the clip.
    bool RowsBlack(double lo, double hi) const;
    bool SegmentHidden(const QPoint &p, const QPoint &q) const;
    // Device rows (lo > hi: none) where a stroke from p to q lies within reach of the columns.
    std::pair<double, double> RowsAcross(const QPoint &p, const QPoint &q) const;
    // Columns from..to of device row y (inside the bounds) are all done.
    bool SpanDone(int y, int from, int to) const;
    // The pixels need of word w of device row y are all done.
    bool WordDone(int y, int w, quint64 need) const;
    static constexpr int kTileRows = 8;

    const QImage *m_image = nullptr;
    double m_scale = 1;
    QPoint m_offset; // device pixels of logical (0, 0)
    QRect m_bounds;  // device pixels that can change
    double m_reach = 0;
    double m_near = 0; // how far from a stroke's line a pixel centre may take its ink
    // One bit a device pixel, m_words a row: known done (the mask, and pixels read black).
    int m_words = 0;
    mutable std::vector<quint64> m_known;
    // Per tile of one word by kTileRows rows: 1, every pixel known done; -n, found not done,
    // asked again after n more strokes have passed it.
    mutable std::vector<signed char> m_tileDone;
    static constexpr signed char kTileWait = 8;
    // Per device row, the first column inside the bounds not yet known done.
    mutable std::vector<int> m_blackTo;
    // Device rows found done, so that asking about many rows already done costs a step or two.
    mutable TNextFree m_open;
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
