#include "chart/TCanvas.h"

#include "chart/PixelMask.h"
#include "util/CommonDecl.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPen>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

QRect VisibleArea(const QPainter &painter, const QRect &within)
{
    QRect area = within;
    const QPaintDevice *device = painter.device();
    bool invertible = false;
    const QTransform inverse = painter.combinedTransform().inverted(&invertible);
    if (device && invertible)
        area &= inverse.mapRect(QRectF(0, 0, device->width(), device->height())).toAlignedRect();
    if (painter.hasClipping())
        area &= painter.clipBoundingRect().toAlignedRect();
    return area.isEmpty() ? QRect() : area.adjusted(-1, -1, 1, 1);
}

bool ExactPixels(const QPainter &painter)
{
    const QPaintEngine *engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster)
        return false;
    // A high-density surface scales everything on the way: no longer whole pixels.
    if (!painter.device() || painter.device()->devicePixelRatioF() != 1)
        return false;
    const QTransform t = painter.combinedTransform();
    return t.type() <= QTransform::TxTranslate && t.dx() == std::floor(t.dx()) &&
           t.dy() == std::floor(t.dy());
}

double ScaledPixels(const QPainter &painter)
{
    const QPaintEngine *engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster || !painter.device() ||
        painter.device()->devType() != QInternal::Image)
        return 0;
    const QTransform t = painter.combinedTransform();
    const double s = t.m11();
    return t.type() <= QTransform::TxScale && s == t.m22() && s >= 1 && s <= 16 ? s : 0;
}

QImage *ExactImage(const QPainter &painter)
{
    QPaintDevice *device = painter.device();
    if (!device || device->devType() != QInternal::Image || !ExactPixels(painter))
        return nullptr;
    return static_cast<QImage *>(device);
}

TCanvas::TCanvas(QPainter &painter, std::vector<TCanvasTextSizes> *sizes)
    : m_painter(painter), m_sizes(sizes)
{
}

TCanvasTextSizes *TCanvas::SizesOfFont() const
{
    if (!m_sizes)
        return nullptr;
    const QFont &font = m_painter.font();
    for (TCanvasTextSizes &s : *m_sizes)
        if (s.Font == font)
            return &s;
    const QFontMetrics metrics = m_painter.fontMetrics();
    m_sizes->push_back({font, metrics.height(), metrics.ascent(), {}});
    return &m_sizes->back();
}

TBlackRows::TBlackRows(const QPainter &painter, const TPixelMask *paintedOverLater)
{
    const double scale = ScaledPixels(painter);
    const QTransform t = painter.combinedTransform();
    if (scale <= 0 || t.dx() != std::floor(t.dx()) || t.dy() != std::floor(t.dy()))
        return;
    const auto *image = static_cast<const QImage *>(painter.device());
    if (image->format() != QImage::Format_RGB32 && image->format() != QImage::Format_ARGB32 &&
        image->format() != QImage::Format_ARGB32_Premultiplied)
        return;
    m_image = image;
    m_scale = scale;
    m_offset = QPoint(int(t.dx()), int(t.dy()));
    m_bounds = image->rect();
    if (painter.hasClipping())
        m_bounds &= t.mapRect(painter.clipBoundingRect()).toAlignedRect();
    // Half the scaled pen either side, its square cap and its joins, and a pixel for rounding;
    // a mitred join reaches out by up to its limit.
    const QPen &pen = painter.pen();
    const double miter = pen.joinStyle() == Qt::MiterJoin ? std::max(1.0, pen.miterLimit()) : 1;
    m_reach = std::max(1.0, pen.widthF()) * scale * miter + 2;
    m_near = std::max(1.0, pen.widthF()) * scale * miter * 0.7072 + 1;
    // Pixels outside the bounds, or under later boxes, are done from the start.
    m_words = (image->width() + 63) / 64;
    m_known.assign(std::size_t(m_words) * std::size_t(image->height()), ~quint64(0));
    for (int y = m_bounds.top(); y <= m_bounds.bottom(); ++y) {
        quint64 *row = m_known.data() + std::size_t(y) * std::size_t(m_words);
        for (int w = m_bounds.left() >> 6; w <= m_bounds.right() >> 6; ++w) {
            const int lo = std::max(m_bounds.left(), w * 64) & 63;
            const int hi = std::min(m_bounds.right(), w * 64 + 63) & 63;
            row[w] &= ~((~quint64(0) << lo) & (~quint64(0) >> (63 - hi)));
        }
        if (paintedOverLater && paintedOverLater->Surface() == image->size())
            for (int w = 0; w < m_words; ++w)
                row[w] |= paintedOverLater->Row(y)[w];
    }
    m_tileDone.assign(
        std::size_t(m_words) * std::size_t((image->height() + kTileRows - 1) / kTileRows), 0);
    m_blackTo.assign(std::size_t(std::max(0, m_bounds.bottom() + 1)), m_bounds.left());
    m_open.Reset(std::size_t(std::max(0, m_bounds.bottom() + 2)));
}

std::pair<int, int> TBlackRows::ColumnsKept() const
{
    return {int(std::floor((m_bounds.left() - m_reach - m_offset.x()) / m_scale)),
            int(std::ceil((m_bounds.right() + m_reach - m_offset.x()) / m_scale))};
}

bool TBlackRows::RowsBlack(double lo, double hi) const
{
    if (!m_image || m_bounds.isEmpty())
        return false;
    // Held inside the surface's rows before they become integers: ends may lie a billion away.
    const double first = m_bounds.top(), last = m_bounds.bottom();
    const int top = int(std::floor(std::clamp(lo - m_reach, first, last + 1)));
    const int bottom = int(std::ceil(std::clamp(hi + m_reach, first - 1, last)));
    if (top > bottom)
        return true;
    for (int y = m_open.Next(top); y <= bottom; y = m_open.Next(y + 1)) {
        if (!SpanDone(y, m_bounds.left(), m_bounds.right()))
            return false;
        m_open.Take(y);
    }
    return true;
}

bool TBlackRows::WordDone(int y, int w, quint64 need) const
{
    quint64 &known = m_known[std::size_t(y) * std::size_t(m_words) + std::size_t(w)];
    quint64 open = need & ~known;
    if (!open)
        return true;
    const auto *row = reinterpret_cast<const quint32 *>(m_image->constScanLine(y)) + w * 64;
    for (; open; open &= open - 1) {
        const int bit = __builtin_ctzll(open);
        if (row[bit] != 0xff000000u)
            return false;
        known |= quint64(1) << bit;
    }
    return true;
}

bool TBlackRows::SpanDone(int y, int from, int to) const
{
    int &prefix = m_blackTo[std::size_t(y)];
    const int lo = std::max(from, prefix);
    bool done = true;
    int x = lo;
    for (int w = lo >> 6; w <= to >> 6 && done; ++w) {
        const int first = w == lo >> 6 ? lo & 63 : 0, last = w == to >> 6 ? to & 63 : 63;
        const quint64 need = (~quint64(0) << first) & (~quint64(0) >> (63 - last));
        done = WordDone(y, w, need);
        if (done)
            x = std::min(to, w * 64 + 63) + 1;
    }
    // What is found done next to the stretch known from the left edge joins it.
    if (lo == prefix)
        prefix = x;
    return done;
}

bool TBlackRows::PolylineHidden(const QPoint *points, int count) const
{
    if (!m_image)
        return false;
    for (int k = 0; k + 1 < count; ++k)
        if (!SegmentHidden(points[k], points[k + 1]))
            return false;
    return true;
}

bool TBlackRows::SegmentHidden(const QPoint &p, const QPoint &q) const
{
    if (m_bounds.isEmpty())
        return true;
    const double x1 = p.x() * m_scale + m_offset.x(), y1 = p.y() * m_scale + m_offset.y();
    const double x2 = q.x() * m_scale + m_offset.x(), y2 = q.y() * m_scale + m_offset.y();
    // A pixel takes ink only when its centre lies within d of the segment (the pen's half width
    // to the corner of its square cap or its join, and a pixel for rounding).
    const double d = m_near;
    const double first = m_bounds.top(), last = m_bounds.bottom();
    const double left = m_bounds.left(), right = m_bounds.right();
    // Held inside the surface before they become integers: ends may lie a billion away.
    const double xlo = std::clamp(std::min(x1, x2) - d, left - 1, right + 2);
    const double xhi = std::clamp(std::max(x1, x2) + d, left - 1, right + 2);
    // Only the rows where it passes the columns: zoomed in, a few of those between its ends.
    const auto [across, acrossEnd] = RowsAcross(p, q);
    if (across > acrossEnd)
        return true;
    const int top = int(std::ceil(std::clamp(across - d - 0.5, first, last + 1)));
    const int bottom = int(std::floor(std::clamp(acrossEnd + d - 0.5, first - 1, last)));
    const double length = std::sqrt((x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1));
    const double u = length > 0 ? (x2 - x1) / length : 0, v = length > 0 ? (y2 - y1) / length : 1;
    const bool slanted = std::abs(v) > 1e-9;
    const double step = slanted ? u / v : 0, reach = slanted ? d / std::abs(v) : 0;
    // The columns of row y whose centres lie within d of the segment's line, inside its box
    // widened by d; as y grows both ends move one way.
    const auto span = [&](int y) {
        double a = xlo, b = xhi;
        if (slanted) {
            const double along = x1 + (y + 0.5 - y1) * step;
            a = std::clamp(along - reach, xlo, xhi + 1);
            b = std::clamp(along + reach, xlo - 1, xhi);
        }
        // Both rounded down (a column more at the left does no harm): a, b >= left - 2 >= -2.
        return std::pair(int(a + 3.5) - 4, int(b + 3.5) - 4);
    };
    if (top > bottom)
        return true; // it reaches no row of the surface
    const int lastColumn = m_image->width() - 1;
    for (int band = top / kTileRows; band <= bottom / kTileRows; ++band) {
        const int y0 = std::max(top, band * kTileRows);
        const int y1b = std::min(bottom, band * kTileRows + kTileRows - 1);
        const auto [a0, b0] = span(y0);
        const auto [a1, b1] = span(y1b);
        const int c0 = std::max(0, std::min(a0, a1)), c1 = std::min(lastColumn, std::max(b0, b1));
        // A shallow stroke crosses many words on each row: the rows' spans are worked out once,
        // when a word not known done first needs them.
        std::array<std::pair<int, int>, kTileRows> spans;
        bool spansKnown = false;
        for (int w = c0 >> 6; w <= c1 >> 6 && c0 <= c1; ++w) {
            signed char &tile =
                m_tileDone[std::size_t(band) * std::size_t(m_words) + std::size_t(w)];
            if (tile > 0)
                continue;
            if (!spansKnown) {
                for (int y = y0; y <= y1b; ++y)
                    spans[std::size_t(y - y0)] = span(y);
                spansKnown = true;
            }
            for (int y = y0; y <= y1b; ++y) {
                const auto [from, to] = spans[std::size_t(y - y0)];
                const int lo = std::max(from, w * 64), hi = std::min(to, w * 64 + 63);
                if (lo > hi)
                    continue;
                // Most words asked about are known done already: that answer needs no call.
                const quint64 need = (~quint64(0) << (lo & 63)) & (~quint64(0) >> (63 - (hi & 63)));
                if ((need & ~m_known[std::size_t(y) * std::size_t(m_words) + std::size_t(w)]) &&
                    !WordDone(y, w, need))
                    return false;
            }
            // A tile found done is passed over by every later stroke. One found not done is
            // asked again only after a few more strokes have passed it: most stay not done.
            if (tile < 0) {
                ++tile;
                continue;
            }
            bool all = true;
            const int rows = std::min(kTileRows, m_image->height() - band * kTileRows);
            for (int r = 0; r < rows && all; ++r)
                all = WordDone(band * kTileRows + r, w, ~quint64(0));
            tile = all ? 1 : -kTileWait;
        }
    }
    return true;
}

void TBlackRows::DoneAcrossRows(const QPoint &p, const QPoint &q,
                                std::vector<quint64> &columns) const
{
    columns.assign(std::size_t(m_words), ~quint64(0));
    if (!m_image || m_bounds.isEmpty())
        return;
    const double lo = std::min(p.y(), q.y()) * m_scale + m_offset.y();
    const double hi = std::max(p.y(), q.y()) * m_scale + m_offset.y();
    const double first = m_bounds.top(), last = m_bounds.bottom();
    const int top = int(std::floor(std::clamp(lo - m_reach, first, last + 1)));
    const int bottom = int(std::ceil(std::clamp(hi + m_reach, first - 1, last)));
    // Once no column is left, the rows below cannot bring one back.
    bool some = true;
    for (int y = top; y <= bottom && some; ++y) {
        some = false;
        for (int w = 0; w < m_words; ++w) {
            quint64 &known = m_known[std::size_t(y) * std::size_t(m_words) + std::size_t(w)];
            quint64 open = columns[std::size_t(w)] & ~known;
            const auto *row = reinterpret_cast<const quint32 *>(m_image->constScanLine(y)) + w * 64;
            for (; open; open &= open - 1) {
                const int bit = __builtin_ctzll(open);
                if (row[bit] == 0xff000000u)
                    known |= quint64(1) << bit;
            }
            columns[std::size_t(w)] &= known;
            some = some || columns[std::size_t(w)];
        }
    }
}

bool TBlackRows::ColumnsDone(const std::vector<quint64> &columns, int x1, int x2) const
{
    if (columns.empty())
        return false; // not read yet
    const double lo = std::min(x1, x2) * m_scale + m_offset.x() - m_reach;
    const double hi = std::max(x1, x2) * m_scale + m_offset.x() + m_reach;
    // Held inside the surface before they become integers: ends may lie a billion away.
    const double lastColumn = m_image->width() - 1;
    const int from = int(std::floor(std::clamp(lo, 0.0, lastColumn + 1)));
    const int to = int(std::ceil(std::clamp(hi, -1.0, lastColumn)));
    for (int w = from >> 6; w <= to >> 6 && from <= to; ++w) {
        const int a = w == from >> 6 ? from & 63 : 0, b = w == to >> 6 ? to & 63 : 63;
        const quint64 need = (~quint64(0) << a) & (~quint64(0) >> (63 - b));
        if ((columns[std::size_t(w)] & need) != need)
            return false;
    }
    return true;
}

bool TBlackRows::RowsFullAround(const QPoint &p, const QPoint &q) const
{
    return RowsBlack(std::min(p.y(), q.y()) * m_scale + m_offset.y(),
                     std::max(p.y(), q.y()) * m_scale + m_offset.y());
}

std::pair<double, double> TBlackRows::RowsAcross(const QPoint &p, const QPoint &q) const
{
    const double x1 = p.x() * m_scale + m_offset.x(), y1 = p.y() * m_scale + m_offset.y();
    const double x2 = q.x() * m_scale + m_offset.x(), y2 = q.y() * m_scale + m_offset.y();
    double lo = std::min(y1, y2), hi = std::max(y1, y2);
    // Across the columns it can reach, a slanted stroke keeps to the rows it passes there: a
    // stroke between ends far either side of the picture crosses it on a few rows.
    if (x1 != x2) {
        const double slope = (y2 - y1) / (x2 - x1);
        const double ya = y1 + (m_bounds.left() - m_reach - x1) * slope;
        const double yb = y1 + (m_bounds.right() + m_reach - x1) * slope;
        lo = std::max(lo, std::min(ya, yb));
        hi = std::min(hi, std::max(ya, yb));
    }
    return {lo, hi};
}

bool TBlackRows::StrokeHidden(const QPoint &p, const QPoint &q) const
{
    const auto [lo, hi] = RowsAcross(p, q);
    return lo > hi || RowsBlack(lo, hi); // beside the picture, or over rows done
}

QRect TBlackRows::StrokeWindow(const QPoint *points, int count) const
{
    // The rows each segment passes within reach of the columns; an upright one beside them
    // passes none.
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (int k = 0; k + 1 < count; ++k) {
        if (points[k].x() == points[k + 1].x() && ColumnCutAway(points[k].x()))
            continue;
        const auto [a, b] = RowsAcross(points[k], points[k + 1]);
        if (a <= b) {
            lo = std::min(lo, a);
            hi = std::max(hi, b);
        }
    }
    if (lo > hi)
        return {};
    // Held inside the surface's rows before they become integers: ends may lie a billion away.
    const double first = m_bounds.top() - 2 * m_reach, last = m_bounds.bottom() + 2 * m_reach;
    lo = std::clamp(lo - m_reach, first, last);
    hi = std::clamp(hi + m_reach, first, last);
    const auto [left, right] = ColumnsKept();
    const int top = int(std::floor((lo - m_offset.y()) / m_scale)) - 1;
    const int bottom = int(std::ceil((hi - m_offset.y()) / m_scale)) + 1;
    return QRect(QPoint(left - 1, top), QPoint(right + 1, bottom));
}

QRect TCanvas::VisibleArea() const
{
    return ::VisibleArea(m_painter,
                         QRect(QPoint(-(1 << 29), -(1 << 29)), QPoint(1 << 29, 1 << 29)));
}

void TCanvas::SetPen(TColor color, int width, Qt::PenStyle style)
{
    QPen pen(ToQColor(color));
    pen.setWidth(width);
    pen.setStyle(style);
    m_painter.setPen(pen);
}

void TCanvas::SetFontBold(bool bold)
{
    QFont font = m_painter.font();
    font.setBold(bold);
    m_painter.setFont(font);
}

void TCanvas::MoveTo(int x, int y)
{
    m_penPos = QPoint(x, y);
}

void TCanvas::LineTo(int x, int y)
{
    const QPoint to(x, y);
    m_painter.drawLine(m_penPos, to);
    m_penPos = to;
}

void TCanvas::Polyline(const QPoint *points, int count)
{
    if (count < 2)
        return;
    m_painter.drawPolyline(points, count);
    m_penPos = points[count - 1];
}

void TCanvas::TextOut(int x, int y, const QByteArray &text)
{
    // Nothing shows through an empty clip: no need to lay the text out.
    if (!VisibleArea().isValid())
        return;
    // Text keeps the canvas's font colour (black), whatever line pen is current.
    const QPen pen = m_painter.pen();
    m_painter.setPen(QPen(Qt::black));
    const TCanvasTextSizes *sizes = SizesOfFont();
    const int ascent = sizes ? sizes->Ascent : m_painter.fontMetrics().ascent();
    m_painter.drawText(QPoint(x, y + ascent), DisplayText(text));
    m_painter.setPen(pen);
}

int TCanvas::TextWidth(const QByteArray &text) const
{
    TCanvasTextSizes *sizes = SizesOfFont();
    if (!sizes)
        return m_painter.fontMetrics().horizontalAdvance(DisplayText(text));
    auto it = sizes->Widths.constFind(text);
    if (it == sizes->Widths.constEnd())
        it = sizes->Widths.insert(text,
                                  m_painter.fontMetrics().horizontalAdvance(DisplayText(text)));
    return it.value();
}

int TCanvas::TextHeight(const QByteArray & /*text*/) const
{
    if (TCanvasTextSizes *sizes = SizesOfFont())
        return sizes->Height;
    return m_painter.fontMetrics().height();
}
