// Solid one-pixel lines (and plain boxes) written straight into the pixels of the image a painter
// draws on, pixel for pixel where the painter's raster engine puts them: a map draws about a
// million connectors, and the engine's own path (state checks, clipping per pixel, blending) costs
// several times the pixels it writes. Used only where it is known to agree with the engine.
#pragma once

#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QRect>
#include <QRgb>

class TPixelMask;

#include <algorithm>
#include <utility>
#include <vector>

class TLineRaster
{
public:
    // remember: whether to keep track of the pixels written, so that lines over them again
    // cost little; only while nothing else draws on the painter.
    explicit TLineRaster(QPainter &painter, bool remember = true);

    // The painter draws aliased and opaque into a 32-bit image through whole-pixel shifts,
    // clipped at most to one rectangle: where the engine's pixels are known.
    bool Available() const { return m_pixels != nullptr; }
    // Takes the line pen to draw with; false when its lines are not ones drawn here (wide,
    // translucent), and then no line must be drawn here until a pen is taken that is.
    bool UsePen(const QPen &pen);
    // Whether lines of this pen are ones drawn here, where the painter allows.
    static bool Draws(const QPen &pen);
    // Draws as painter.drawPolyline(points, count) would. False when it draws nothing because
    // the line closes on itself (the engine treats that shape apart): the painter must draw it.
    bool Polyline(const QPoint *points, int count);
    // Draws as painter.drawLine(p, q) would.
    void Line(const QPoint &p, const QPoint &q);
    // A run of pixels a line writes (logical): along row Cross from From to To, or down
    // column Cross when Column.
    struct TRun
    {
        int Cross, From, To;
        bool Column;
    };
    // The pixels Line(p, q) would write with the pen taken, as runs into into (cleared first),
    // writing none: so that a line under later ones can be told before it is drawn. False
    // for a dashed pen.
    bool LineRuns(const QPoint &p, const QPoint &q, std::vector<TRun> &into);
    // Whether an upright stroke on column x (logical) is cut away whole by the engine.
    bool ColumnCutAway(int x) const
    {
        const int d = x + m_offset.x();
        return d < m_surface.left() - 1 || d > m_surface.right() + 2;
    }
    // The logical columns ColumnCutAway keeps, first and last.
    std::pair<int, int> ColumnsKept() const
    {
        return {m_surface.left() - 1 - m_offset.x(), m_surface.right() + 2 - m_offset.x()};
    }
    // Whether a solid stroke from p to q (logical) would change no pixel: level, and every
    // row it can reach is known to hold the colour (remembering only).
    bool StrokeChangesNothing(const QPoint &p, const QPoint &q) const
    {
        return m_remember && LevelStrokeWritten(p.x() + m_offset.x(), p.y() + m_offset.y(),
                                                q.x() + m_offset.x(), q.y() + m_offset.y());
    }
    // Remembering, with the pen taken: counts the set pixels of mask (device pixels of this
    // surface) as written, since what is drawn later paints over them. Ignored for a mask of
    // another size.
    void TakeAsWritten(const TPixelMask &mask);
    // Whether the polyline's every pixel lies where TakeAsWritten's mask is set (or where
    // nothing changes), judged from the box round its points: then drawing it changes nothing.
    bool PolylineHidden(const QPoint *points, int count) const;
    // Whether every row a stroke from p to q (logical) can reach is known to hold the colour
    // across the clip (remembering only); once true, it stays true while this writer draws.
    bool RowsFullAround(const QPoint &p, const QPoint &q) const
    {
        return m_remember && RowsFull(std::min(p.y(), q.y()) + m_offset.y() - 2,
                                      std::max(p.y(), q.y()) + m_offset.y() + 2);
    }
    // Fills as painter.fillRect(r, color) would; false, drawing nothing, unless the colour is
    // opaque. Not while remembering what was written.
    bool FillRect(const QRect &r, const QColor &color);

private:
    // Where the last stroke of a polyline ended and which way it went: the engine leaves out
    // a pixel the next stroke would repeat and adds one where the two would leave a gap.
    struct TTrace
    {
        int LastX, LastY;
        int LastDir = 0;
        bool LastAligned = false;
    };
    bool Stroke(double x1, double y1, double x2, double y2, int caps, TTrace &trace);
    // Whether every stroke of the polyline's points[0..count) is cut away whole by the
    // engine before it is stepped, so that none reads where the stroke before it ended.
    bool RestClippedAway(const QPoint *points, int count) const;
    // Whether every device row top..bottom inside the clip holds the colour across the clip.
    bool RowsFull(int top, int bottom) const;
    // Whether a stroke (device coordinates) can change no pixel: every row it can reach is
    // full, or it is no steeper than level and every row it can reach inside the clip is
    // known to hold the colour across its columns.
    bool LevelStrokeWritten(double x1, double y1, double x2, double y2) const;
    bool ClipToSurface(double &x1, double &y1, double &x2, double &y2, TTrace &trace) const;
    // Pixels (x0 + k, (y0 + k * inc) >> 16) for k in [0, count), or transposed when upright.
    template <bool Upright> void Emit(int x0, qint64 y0, qint64 inc, int count);
    // The same for a dashed pen: pixel by pixel, the dash pattern stepped on every one,
    // clipped or not, from offset (64ths) where the stroke starts (its far end when swapped).
    void EmitDashed(bool upright, int x0, qint64 y0, qint64 inc, int count, bool swapped,
                    int offset);
    void Plot(int x, int y);
    void FillRow(int y, int lo, int hi);
    void FillColumn(int x, int lo, int hi);

    std::vector<TRun> *m_runs = nullptr; // where LineRuns takes the runs instead of writing
    uchar *m_pixels = nullptr;
    qsizetype m_stride = 0;
    QPoint m_offset; // logical to device
    QRect m_surface; // the device's pixels: the engine clips lines to it before stepping
    QRect m_clip;    // the pixels that may change
    quint32 m_color = 0;
    bool m_caps = true;
    bool m_remember = true;
    // A dashed pen's pattern in 64ths of a pixel, as running totals forwards and backwards,
    // and where in it the next stroke starts; empty for a solid pen.
    std::vector<int> m_dashes, m_dashesBack;
    int m_dashLength = 0, m_dashStart = 0, m_dashAt = 0;
    // For dashes of whole pixels: per pixel of one period, whether it shows, stepping forwards
    // and backwards from a pixel's middle; empty otherwise.
    std::vector<char> m_dashOn, m_dashOnBack;
    // What is known to hold m_color, valid while only m_color is drawn, so that connectors
    // crossing in numbers are written about once: per row a bit a pixel (m_words words a
    // row), and per row and column one stretch.
    int m_words = 0;
    std::vector<quint64> m_rowBits;
    std::vector<std::pair<int, int>> m_knownRows, m_knownColumns;
    // Rows whose known stretch spans the clip, and per row how many such rows lie above it.
    std::vector<char> m_rowFull;
    std::vector<int> m_fullBefore;
    // Per row, the longest stretch TakeAsWritten's mask sets, and over every run of 2^k rows
    // from each row, the columns all of them share (level k at [k * height + row]); empty
    // without a mask.
    std::vector<std::pair<int, int>> m_hiddenRows;
    std::vector<std::pair<int, int>> m_hiddenSpans;
};

// Whether TLineRaster puts every pixel where this process's painter does, on a set of lines
// drawn both ways (steep, level, clipped, past the surface, joined at sharp turns).
bool LineRasterAgreesWithPainter();
