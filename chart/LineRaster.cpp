#include "chart/LineRaster.h"

#include "chart/PixelMask.h"
#include "chart/TCanvas.h"

#include <QPaintDevice>
#include <QPen>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
// Takes lo..hi, known to hold a colour, into the stretch known to hold it along one row or
// column: joined when they touch, else kept as whichever is longer. An empty stretch has to < from.
void TakeIntoStretch(std::pair<int, int> &known, int lo, int hi)
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

constexpr int kCapBegin = 1, kCapEnd = 2;
// Directions of the last stroke; a stroke's opposite along the same axis flips both bits.
constexpr int kDown = 1, kUp = 2, kUprightMask = 3, kRight = 4, kLeft = 8, kLevelMask = 12;
constexpr int kNoPixel = INT_MIN;
// Surfaces this large are clipped by the engine to a limit of its own: not handled here.
constexpr int kLargestSurface = 32767;

int SwapCaps(int caps)
{
    return ((caps & kCapBegin) << 1) | ((caps & kCapEnd) >> 1);
}

// A 26.6 fixed-point coordinate, cut towards zero as the engine does.
int Fixed6(double v)
{
    return static_cast<int>(v * 64.);
}

// (num / den) in 16.16, both in 26.6.
qint64 FixedDiv(int num, int den)
{
    return qint64(num) * (1 << 16) / den;
}

// Smallest k >= 0 with k * step >= need, for need > 0 and step > 0, perStep being 1 / step:
// guessed in floating point and set right, which costs less than dividing.
qint64 StepsTo(qint64 need, qint64 step, double perStep)
{
    qint64 k = qint64(double(need) * perStep);
    while (k * step < need)
        ++k;
    while (k > 0 && (k - 1) * step >= need)
        --k;
    return k;
}

// count pixels of one value from p on, four at a store where the processor allows: the
// compiler leaves a plain loop at one.
Q_ALWAYS_INLINE void FillPixels(quint32 *p, int count, quint32 value)
{
#if defined(__SSE2__)
    const __m128i four = _mm_set1_epi32(int(value));
    for (; count >= 4; count -= 4, p += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p), four);
#endif
    for (; count > 0; --count)
        *p++ = value;
}

// Bits from..to (0..63) of a word.
quint64 BitsFromTo(int from, int to)
{
    return (~quint64(0) << from) & (~quint64(0) >> (63 - to));
}
} // namespace

TLineRaster::TLineRaster(QPainter &painter, bool remember) : m_remember(remember)
{
    QImage *image = ExactImage(painter);
    if (!image)
        return;
    if (image->format() != QImage::Format_RGB32 &&
        image->format() != QImage::Format_ARGB32_Premultiplied)
        return;
    if (image->width() > kLargestSurface || image->height() > kLargestSurface)
        return;
    if (painter.testRenderHint(QPainter::Antialiasing) || painter.opacity() != 1.0 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver)
        return;
    const QTransform t = painter.combinedTransform();
    m_offset = QPoint(int(t.dx()), int(t.dy()));
    m_surface = image->rect();
    m_clip = m_surface;
    if (painter.hasClipping()) {
        // Only a rectangle clips pixel by pixel the way the bounds here do.
        const QRegion region = painter.clipRegion();
        if (region.rectCount() > 1)
            return;
        m_clip &= region.boundingRect().translated(m_offset);
    }
    // The painter's own buffer: the one its engine writes into, without a copy made.
    m_pixels = const_cast<uchar *>(image->constBits());
    m_stride = image->bytesPerLine();
}

bool TLineRaster::Draws(const QPen &pen)
{
    // A cosmetic width of 0 or 1 draws fully opaque; anything between blends.
    const bool thin = pen.widthF() == 0 || pen.widthF() == 1;
    return pen.style() != Qt::NoPen && thin && pen.brush().style() == Qt::SolidPattern &&
           pen.color().alpha() == 255;
}

bool TLineRaster::UsePen(const QPen &pen)
{
    if (!Available() || !Draws(pen))
        return false;
    m_dashes.clear();
    m_dashesBack.clear();
    m_dashLength = 0;
    if (pen.style() != Qt::SolidLine) {
        const QList<qreal> pattern = pen.dashPattern();
        // A custom pattern left empty draws solid.
        for (qsizetype i = 0; i < pattern.size(); ++i) {
            m_dashes.push_back(m_dashLength += int(std::clamp(pattern[i] * 64, 1.0, 65536.0)));
        }
        int back = 0;
        for (qsizetype i = pattern.size() - 1; i >= 0; --i)
            m_dashesBack.push_back(back += int(std::clamp(pattern[i] * 64, 1.0, 65536.0)));
        m_dashStart = int(pen.dashOffset() * 64);
        // Whole-pixel dashes (a dotted pen's) get a table of which pixels of a period show,
        // for each way of stepping.
        m_dashOn.clear();
        m_dashOnBack.clear();
        const auto whole = [](const std::vector<int> &marks) {
            return std::all_of(marks.begin(), marks.end(), [](int m) { return m % 64 == 0; });
        };
        if (whole(m_dashes) && whole(m_dashesBack) && m_dashStart % 64 == 0) {
            for (int at = 32; at < m_dashLength; at += 64) {
                const auto segment = [at](const std::vector<int> &marks) {
                    return std::size_t(std::upper_bound(marks.begin(), marks.end(), at) -
                                       marks.begin());
                };
                m_dashOn.push_back(char(segment(m_dashes) % 2 == 0));
                m_dashOnBack.push_back(char(segment(m_dashesBack) % 2 == 1));
            }
        }
    }
    const quint32 color = pen.color().rgba();
    if (m_remember && (color != m_color || m_knownColumns.empty())) {
        m_words = (m_surface.width() + 63) / 64;
        m_rowBits.assign(std::size_t(m_words) * std::size_t(m_surface.height()), 0);
        m_knownColumns.assign(std::size_t(m_surface.width()), {0, -1});
        m_knownRows.assign(std::size_t(m_surface.height()), {0, -1});
        m_rowFull.assign(std::size_t(m_surface.height()), 0);
        m_fullBefore.assign(std::size_t(m_surface.height()) + 1, 0);
    }
    m_color = color;
    m_caps = pen.capStyle() != Qt::FlatCap;
    return true;
}

void TLineRaster::TakeAsWritten(const TPixelMask &mask)
{
    if (!m_remember || m_rowBits.empty() || mask.Surface() != m_surface.size() ||
        mask.Words() != m_words || m_clip.isEmpty())
        return;
    const int w0 = m_clip.left() >> 6, w1 = m_clip.right() >> 6;
    m_hiddenRows.assign(std::size_t(m_surface.height()), {0, -1});
    for (int y = m_clip.top(); y <= m_clip.bottom(); ++y) {
        quint64 *bits = m_rowBits.data() + std::size_t(y) * std::size_t(m_words);
        const quint64 *taken = mask.Row(y);
        bool full = true;
        for (int w = 0; w < m_words; ++w) {
            bits[w] |= taken[w];
            if (w >= w0 && w <= w1) {
                const quint64 need = BitsFromTo(w == w0 ? m_clip.left() & 63 : 0,
                                                w == w1 ? m_clip.right() & 63 : 63);
                full = full && (bits[w] & need) == need;
            }
        }
        if (full && !m_rowFull[std::size_t(y)]) {
            // A row the boxes cover across the clip is full, as if a line had filled it.
            m_rowFull[std::size_t(y)] = 1;
            m_knownRows[std::size_t(y)] = {m_clip.left(), m_clip.right()};
        }
        // The longest stretch of the mask on the row, run by run: the boxes make a few long
        // ones.
        std::pair<int, int> best{0, -1};
        int start = -1;
        for (int w = 0; w <= m_words; ++w) {
            quint64 word = w < m_words ? taken[w] : 0;
            int at = 0; // bits below this one are done
            while (at < 64) {
                if (start < 0) {
                    // Find the next set bit.
                    const quint64 rest = word >> at;
                    if (rest == 0)
                        break;
                    at += std::countr_zero(rest);
                    start = w * 64 + at;
                } else {
                    // Find where the run ends.
                    const quint64 rest = ~word >> at;
                    if (rest == 0)
                        break; // runs on into the next word
                    at += std::countr_zero(rest);
                    const int end = w * 64 + at - 1;
                    if (end - start > best.second - best.first)
                        best = {start, end};
                    start = -1;
                }
            }
        }
        m_hiddenRows[std::size_t(y)] = best;
        if (best.second - best.first >
            m_knownRows[std::size_t(y)].second - m_knownRows[std::size_t(y)].first)
            m_knownRows[std::size_t(y)] = best;
    }
    for (std::size_t r = 0; r + 1 < m_fullBefore.size(); ++r)
        m_fullBefore[r + 1] = m_fullBefore[r] + m_rowFull[r];
    // The columns shared by runs of rows, doubling: any run of rows is then two lookups.
    const std::size_t height = m_hiddenRows.size();
    m_hiddenSpans = m_hiddenRows;
    for (std::size_t len = 2, k = 1; len <= height; len *= 2, ++k) {
        m_hiddenSpans.resize((k + 1) * height, {0, -1});
        for (std::size_t r = 0; r + len <= height; ++r) {
            const auto &a = m_hiddenSpans[(k - 1) * height + r];
            const auto &b = m_hiddenSpans[(k - 1) * height + r + len / 2];
            m_hiddenSpans[k * height + r] = {std::max(a.first, b.first),
                                             std::min(a.second, b.second)};
        }
    }
}

bool TLineRaster::PolylineHidden(const QPoint *points, int count) const
{
    if (m_hiddenRows.empty() || count < 1)
        return false;
    // Caps, the pixel added at a turn and rounding keep every pixel within two of the box.
    int left = points[0].x(), right = left, top = points[0].y(), bottom = top;
    for (int i = 1; i < count; ++i) {
        left = std::min(left, points[i].x());
        right = std::max(right, points[i].x());
        top = std::min(top, points[i].y());
        bottom = std::max(bottom, points[i].y());
    }
    const qint64 c0 = std::max<qint64>(m_clip.left(), qint64(left) + m_offset.x() - 2);
    const qint64 c1 = std::min<qint64>(m_clip.right(), qint64(right) + m_offset.x() + 2);
    const qint64 r0 = std::max<qint64>(m_clip.top(), qint64(top) + m_offset.y() - 2);
    const qint64 r1 = std::min<qint64>(m_clip.bottom(), qint64(bottom) + m_offset.y() + 2);
    if (c0 > c1 || r0 > r1)
        return true;
    const std::size_t height = m_hiddenRows.size();
    const int k = std::bit_width(quint64(r1 - r0 + 1)) - 1;
    const auto &a = m_hiddenSpans[std::size_t(k) * height + std::size_t(r0)];
    const auto &b = m_hiddenSpans[std::size_t(k) * height + std::size_t(r1 - (qint64(1) << k) + 1)];
    return std::max(a.first, b.first) <= c0 && std::min(a.second, b.second) >= c1;
}

bool TLineRaster::Polyline(const QPoint *points, int count)
{
    if (count < 2)
        return true;
    if (points[0] == points[count - 1])
        return false;
    TTrace trace{kNoPixel, kNoPixel};
    m_dashAt = m_dashStart;
    double px = points[0].x() + m_offset.x(), py = points[0].y() + m_offset.y();
    int caps = m_caps ? kCapBegin : 0;
    for (int i = 1; i < count; ++i) {
        const double qx = points[i].x() + m_offset.x(), qy = points[i].y() + m_offset.y();
        if (m_caps && i == count - 1)
            caps |= kCapEnd;
        // A stroke whose pixels all hold the colour already, and after which nothing is drawn
        // that would read where it ended, is only stepped past (it is long enough that the
        // engine would start the next stroke at its end).
        const bool moved =
            (m_remember && std::abs(qx - px) + std::abs(qy - py) >= 1.0 &&
             RestClippedAway(points + i, count - i) && LevelStrokeWritten(px, py, qx, qy)) ||
            Stroke(px, py, qx, qy, caps, trace);
        // A stroke too short to draw leaves the next one starting where it started, except
        // at the polyline's ends: the engine closes small gaps this way.
        if (moved || i == 1 || i == count - 1) {
            px = qx;
            py = qy;
        }
        caps = 0;
    }
    return true;
}

bool TLineRaster::RestClippedAway(const QPoint *points, int count) const
{
    // Each later stroke starts where the one before ended (it is cut away whole, so counts
    // as moved) and lies wholly left or right of the band the engine cuts lines to.
    const double xmin = m_surface.left() - 1, xmax = m_surface.right() + 2;
    for (int j = 1; j < count; ++j) {
        const double x1 = points[j - 1].x() + m_offset.x(), x2 = points[j].x() + m_offset.x();
        if (!((x1 < xmin && x2 <= xmin) || (x1 > xmax && x2 >= xmax)))
            return false;
    }
    return true;
}

bool TLineRaster::RowsFull(int top, int bottom) const
{
    top = std::max(top, m_clip.top());
    bottom = std::min(bottom, m_clip.bottom());
    return top > bottom || m_fullBefore[std::size_t(bottom) + 1] - m_fullBefore[std::size_t(top)] ==
                               bottom - top + 1;
}

bool TLineRaster::LevelStrokeWritten(double x1, double y1, double x2, double y2) const
{
    // Any stroke keeps within a row of its ends' rows (half a pixel of cap, a pixel added at a
    // turn): where all those rows hold the colour across the clip, it changes nothing. Zoomed
    // in, the rows between two map rows fill up soon, and this answers without dividing.
    if (RowsFull(int(std::min(y1, y2)) - 2, int(std::max(y1, y2)) + 2))
        return true;
    if (std::abs(x2 - x1) < std::abs(y2 - y1))
        return false;
    // The engine puts a level stroke's pixel within a pixel of the exact line on its column
    // (half a step of cap, half a slope either way, a 64th of rounding), and one column past
    // either end at most: rows within two of the line over the clip's columns are all it can
    // reach, and where each holds the colour across them the stroke changes nothing.
    // The ends are whole pixels here; the rows are floored without a library call.
    const auto floorOf = [](double v) {
        const int i = int(v);
        return i - int(v < i);
    };
    const int c0 = std::max(m_clip.left(), int(std::min(x1, x2)) - 1);
    const int c1 = std::min(m_clip.right(), int(std::max(x1, x2)) + 1);
    if (c0 > c1)
        return true;
    const double slope = (y2 - y1) / (x2 - x1);
    const double ya = y1 + (c0 - x1) * slope, yb = y1 + (c1 - x1) * slope;
    const int r0 = std::max(m_clip.top(), floorOf(std::min(ya, yb)) - 2);
    const int r1 = std::min(m_clip.bottom(), floorOf(std::max(ya, yb)) + 2);
    for (int r = r0; r <= r1; ++r) {
        const auto &[from, to] = m_knownRows[std::size_t(r)];
        if (from > c0 || to < c1)
            return false;
    }
    return true;
}

void TLineRaster::Line(const QPoint &p, const QPoint &q)
{
    if (p == q) {
        // The engine plots a point: one pixel, no caps, no dashes.
        Plot(p.x() + m_offset.x(), p.y() + m_offset.y());
        return;
    }
    TTrace trace{kNoPixel, kNoPixel};
    m_dashAt = m_dashStart;
    Stroke(p.x() + m_offset.x(), p.y() + m_offset.y(), q.x() + m_offset.x(), q.y() + m_offset.y(),
           m_caps ? kCapBegin | kCapEnd : 0, trace);
}

bool TLineRaster::LineRuns(const QPoint &p, const QPoint &q, std::vector<TRun> &into)
{
    into.clear();
    if (!m_dashes.empty())
        return false;
    m_runs = &into;
    Line(p, q);
    m_runs = nullptr;
    for (TRun &run : into) {
        const int cross = run.Column ? m_offset.x() : m_offset.y();
        const int along = run.Column ? m_offset.y() : m_offset.x();
        run.Cross -= cross;
        run.From -= along;
        run.To -= along;
    }
    return true;
}

bool TLineRaster::FillRect(const QRect &r, const QColor &color)
{
    Q_ASSERT(!m_remember);
    // Plain 8-bit colours only, on a surface written here: the engine fills others itself.
    if (!Available() || color.alpha() != 255 || color != QColor::fromRgba(color.rgba()))
        return false;
    // The engine fills from x to x + width (and y likewise), whichever way round they are.
    const auto [x1, x2] = std::minmax({r.x(), r.x() + r.width()});
    const auto [y1, y2] = std::minmax({r.y(), r.y() + r.height()});
    const QRect d = QRect(QPoint(x1, y1), QPoint(x2 - 1, y2 - 1)).translated(m_offset) & m_clip;
    const quint32 value = color.rgba();
    for (int y = d.top(); y <= d.bottom(); ++y) {
        auto *row = reinterpret_cast<quint32 *>(m_pixels + y * m_stride);
        FillPixels(row + d.left(), d.width(), value);
    }
    return true;
}

void TLineRaster::Plot(int x, int y)
{
    if (!m_clip.contains(x, y))
        return;
    if (m_runs)
        m_runs->push_back({y, x, x, false});
    else
        reinterpret_cast<quint32 *>(m_pixels + y * m_stride)[x] = m_color;
}

namespace {
// Cuts the stroke a1,b1 - a2,b2 to lo <= a <= hi along its a axis, moving b along with it.
// False when it lies wholly outside; ended set when the far end was moved (or nothing is left).
bool CutAxis(double &a1, double &b1, double &a2, double &b2, double lo, double hi, bool &ended)
{
    if (a1 < lo) {
        if (a2 <= lo)
            return ended = true, false;
        b1 += (b2 - b1) / (a2 - a1) * (lo - a1);
        a1 = lo;
    } else if (a1 > hi) {
        if (a2 >= hi)
            return ended = true, false;
        b1 += (b2 - b1) / (a2 - a1) * (hi - a1);
        a1 = hi;
    }
    if (a2 < lo) {
        ended = true;
        b2 += (b2 - b1) / (a2 - a1) * (lo - a2);
        a2 = lo;
    } else if (a2 > hi) {
        ended = true;
        b2 += (b2 - b1) / (a2 - a1) * (hi - a2);
        a2 = hi;
    }
    return true;
}
} // namespace

bool TLineRaster::ClipToSurface(double &x1, double &y1, double &x2, double &y2, TTrace &trace) const
{
    // Cut to one pixel round the surface in floating point, so that the fixed-point stepping
    // neither overflows nor depends on the clip: lines come out the same whatever is clipped.
    // Columns first, then rows; a moved far end leaves no last pixel for the next stroke.
    bool ended = false;
    const bool kept = CutAxis(x1, y1, x2, y2, m_surface.left() - 1, m_surface.right() + 2, ended) &&
                      CutAxis(y1, x1, y2, x2, m_surface.top() - 1, m_surface.bottom() + 2, ended);
    if (ended)
        trace.LastX = kNoPixel;
    return !kept;
}

// One stroke of a polyline, stepped along its longer axis in 16.16 fixed point from 26.6
// ends, with the half-pixel caps and the join fix-ups against the previous stroke that decide
// which pixels the engine writes. Returns whether the next stroke starts at this one's end.
bool TLineRaster::Stroke(double rx1, double ry1, double rx2, double ry2, int caps, TTrace &trace)
{
    bool didDraw = std::abs(rx2 - rx1) + std::abs(ry2 - ry1) >= 1.0;
    if (ClipToSurface(rx1, ry1, rx2, ry2, trace))
        return true;
    // Worked on the main axis (a) and the cross axis (b): an upright stroke is a level one
    // with x and y exchanged.
    int x1 = Fixed6(rx1), y1 = Fixed6(ry1), x2 = Fixed6(rx2), y2 = Fixed6(ry2);
    const bool upright = std::abs(x2 - x1) < std::abs(y2 - y1);
    if (upright) {
        std::swap(x1, y1);
        std::swap(x2, y2);
    } else if (x1 == x2) {
        return true;
    }
    int a1 = x1, b1 = y1, a2 = x2, b2 = y2;
    int lastA = upright ? trace.LastY : trace.LastX, lastB = upright ? trace.LastX : trace.LastY;
    int dir = upright ? kDown : kRight;
    const bool swapped = a1 > a2;
    if (swapped) {
        std::swap(a1, a2);
        std::swap(b1, b2);
        caps = SwapCaps(caps);
        dir = upright ? kUp : kLeft;
    }
    const qint64 inc = FixedDiv(b2 - b1, a2 - a1);
    qint64 b = qint64(b1) * (1 << 10);
    if ((trace.LastDir ^ (upright ? kUprightMask : kLevelMask)) == dir)
        caps |= swapped ? kCapEnd : kCapBegin;
    if (caps & kCapBegin) {
        a1 -= 32;
        b -= inc >> 1;
    }
    if (caps & kCapEnd)
        a2 += 32;
    int a = (a1 + 32) >> 6;
    int as = (a2 + 32) >> 6;
    const int round = inc > 0 ? 32 : 0;
    // The cap must not round the start away from the pixel the last stroke ended on.
    if ((caps & kCapBegin) && lastA == a + 1)
        ++a;
    // The pixel this stroke ends on, kept for the next; unchanged when it draws nothing.
    int endA = lastA, endB = lastB;
    if (a != as) {
        b += ((a * (1 << 6)) + round - a1) * inc >> 6;
        int firstA = a, firstB = int(b >> 16);
        endA = as - 1;
        endB = int((b + (as - a - 1) * inc) >> 16);
        if (swapped) {
            std::swap(firstA, endA);
            std::swap(firstB, endB);
        }
        const bool aligned = std::abs(inc) < (1 << 14);
        if (trace.LastX != kNoPixel) {
            if (firstA == lastA && firstB == lastB) {
                // The last stroke drew this pixel.
                if (swapped) {
                    --as;
                } else {
                    ++a;
                    b += inc;
                }
            } else if (trace.LastDir != dir &&
                       ((aligned && trace.LastAligned && lastA != firstA && lastB != firstB) ||
                        std::abs(lastA - firstA) > 1 || std::abs(lastB - firstB) > 1)) {
                // A turn would leave a gap: one pixel more.
                if (swapped) {
                    ++as;
                } else {
                    --a;
                    b -= inc;
                }
            } else if (trace.LastDir == dir &&
                       (upright ? std::abs(lastB - firstB) <= 1 && std::abs(lastA - firstA) > 1
                                : std::abs(lastA - firstA) <= 1 && std::abs(lastB - firstB) > 1)) {
                // Same way on, with a jump along the main axis (the engine checks x before y
                // whichever way the stroke runs): start half a step on.
                b += inc >> 1;
                endB = swapped ? int(b >> 16) : int((b + (as - a - 1) * inc) >> 16);
            }
        }
        trace.LastDir = dir;
        trace.LastAligned = aligned;
        // At least one pixel, however the fix-ups moved the ends.
        if (m_dashes.empty()) {
            if (upright)
                Emit<true>(a, b, inc, std::max(1, as - a));
            else
                Emit<false>(a, b, inc, std::max(1, as - a));
        } else {
            // The pattern runs from the stroke's start, which is its far end when swapped.
            const int delta = (as - a) * 64;
            int offset = swapped ? m_dashLength - m_dashAt - delta - ((a * 64 & 63) - 32)
                                 : m_dashAt - ((a * 64 & 63) - 32);
            offset %= m_dashLength;
            if (offset < 0)
                offset += m_dashLength;
            m_dashAt = (m_dashAt + delta) % m_dashLength;
            EmitDashed(upright, a, b, inc, std::max(1, as - a), swapped, offset);
        }
        didDraw = true;
    }
    trace.LastX = upright ? endB : endA;
    trace.LastY = upright ? endA : endB;
    return didDraw;
}

void TLineRaster::EmitDashed(bool upright, int a0, qint64 b0, qint64 inc, int count, bool swapped,
                             int offset)
{
    const std::vector<char> &onAt = swapped ? m_dashOnBack : m_dashOn;
    if (!onAt.empty() && offset % 64 == 32) {
        // Dashes of whole pixels, stepped from pixel middles: each pixel lies wholly in one
        // dash or gap, so a table over one period tells, and only the clip's pixels are seen.
        const int period = int(onAt.size());
        const int aLo = upright ? m_clip.top() : m_clip.left();
        const int aHi = upright ? m_clip.bottom() : m_clip.right();
        const int bLo = upright ? m_clip.left() : m_clip.top();
        const int bHi = upright ? m_clip.right() : m_clip.bottom();
        const int from = std::max(0, aLo - a0), to = std::min(count - 1, aHi - a0);
        int phase = int((offset / 64 + qint64(std::max(0, from))) % period);
        b0 += from * inc;
        for (int k = from; k <= to; ++k, b0 += inc) {
            const int b = int(b0 >> 16);
            if (onAt[std::size_t(phase)] && b >= bLo && b <= bHi) {
                const int a = a0 + k;
                const int x = upright ? b : a, y = upright ? a : b;
                reinterpret_cast<quint32 *>(m_pixels + y * m_stride)[x] = m_color;
            }
            if (++phase == period)
                phase = 0;
        }
        return;
    }
    const std::vector<int> &marks = swapped ? m_dashesBack : m_dashes;
    std::size_t index = 0;
    while (offset >= marks[index])
        ++index;
    // Counted from the pattern's start, a forward stroke begins on a dash, a swapped one on
    // a gap: the backward pattern starts with the last gap.
    const std::size_t parity = swapped ? 0 : 1;
    for (int k = 0; k < count; ++k, b0 += inc) {
        if (((index + parity) & 1) != 0) {
            const int a = a0 + k, b = int(b0 >> 16);
            Plot(upright ? b : a, upright ? a : b);
        }
        offset += 64;
        if (offset >= marks[index])
            index = index + 1 == marks.size() ? 0 : index + 1;
        if (offset >= m_dashLength)
            offset %= m_dashLength;
    }
}

namespace {
// Whether lo..hi lies in the known stretch; if not, known takes it in (joined, or replaced by
// it when apart and longer), as the caller is about to fill it.
bool Known(std::pair<int, int> &known, int lo, int hi)
{
    if (known.first <= lo && hi <= known.second)
        return true;
    TakeIntoStretch(known, lo, hi);
    return false;
}
} // namespace

Q_ALWAYS_INLINE void TLineRaster::FillRow(int y, int lo, int hi)
{
    if (m_runs) [[unlikely]] {
        m_runs->push_back({y, lo, hi, false});
        return;
    }
    auto *row = reinterpret_cast<quint32 *>(m_pixels + y * m_stride);
    if (!m_remember) {
        FillPixels(row + lo, hi - lo + 1, m_color);
        return;
    }
    if (m_rowFull[std::size_t(y)])
        return;
    quint64 *bits = m_rowBits.data() + std::size_t(y) * std::size_t(m_words);
    if (lo >> 6 == hi >> 6) {
        // A short run (most of a slanted connector's): one word tells, and the row's stretch
        // is left to the long runs.
        quint64 &word = bits[lo >> 6];
        const quint64 mask = BitsFromTo(lo & 63, hi & 63);
        if ((word & mask) != mask) {
            word |= mask;
            FillPixels(row + lo, hi - lo + 1, m_color);
        }
        return;
    }
    // A level line across the view is one long run: the row's longest known stretch answers
    // for it at once.
    auto &known = m_knownRows[std::size_t(y)];
    if (Known(known, lo, hi))
        return;
    if (known.first <= m_clip.left() && known.second >= m_clip.right() && !m_rowFull[y]) {
        // The row now holds the colour across the clip: counted among the full rows.
        m_rowFull[y] = 1;
        for (std::size_t r = std::size_t(y) + 1; r < m_fullBefore.size(); ++r)
            ++m_fullBefore[r];
    }
    // Written 64 pixels at a time where not all of them hold the colour already.
    for (int w = lo >> 6; w <= hi >> 6; ++w) {
        const int from = std::max(lo, w << 6), to = std::min(hi, (w << 6) + 63);
        const quint64 mask = BitsFromTo(from & 63, to & 63);
        if ((bits[w] & mask) == mask)
            continue;
        bits[w] |= mask;
        FillPixels(row + from, to - from + 1, m_color);
    }
}

Q_ALWAYS_INLINE void TLineRaster::FillColumn(int x, int lo, int hi)
{
    if (m_runs) [[unlikely]] {
        m_runs->push_back({x, lo, hi, true});
        return;
    }
    if (m_remember && Known(m_knownColumns[std::size_t(x)], lo, hi))
        return;
    uchar *p = m_pixels + lo * m_stride + x * qsizetype(sizeof(quint32));
    for (int y = lo; y <= hi; ++y, p += m_stride)
        *reinterpret_cast<quint32 *>(p) = m_color;
}

template <bool Upright> void TLineRaster::Emit(int a0, qint64 b0, qint64 inc, int count)
{
    // Clip the main axis by index, then walk the runs of equal cross position.
    const int aLo = Upright ? m_clip.top() : m_clip.left();
    const int aHi = Upright ? m_clip.bottom() : m_clip.right();
    const int bLo = Upright ? m_clip.left() : m_clip.top();
    const int bHi = Upright ? m_clip.right() : m_clip.bottom();
    qint64 k = std::max(0, aLo - a0);
    const qint64 kEnd = std::min<qint64>(count - 1, qint64(aHi) - a0);
    if (k > kEnd)
        return;
    const auto fill = [ this, a0 ](int cross, qint64 from, qint64 to) __attribute__((always_inline))
    {
        if constexpr (Upright)
            FillColumn(cross, int(a0 + from), int(a0 + to));
        else
            FillRow(cross, int(a0 + from), int(a0 + to));
    };
    const qint64 at = b0 + k * inc;
    int cross = int(at >> 16);
    if (inc == 0) {
        if (cross >= bLo && cross <= bHi)
            fill(cross, k, kEnd);
        return;
    }
    // The cross position moves one at a time (the step is at most one pixel), and after the
    // first run every run is q or q - 1 steps long, whichever reaches the next boundary: its
    // distance d, in 16.16, always lies in (65536 - step, 65536].
    const qint64 step = std::abs(inc);
    const int way = inc > 0 ? 1 : -1;
    const qint64 q = (65536 + step - 1) / step;
    const qint64 shortRun = (q - 1) * step;
    qint64 d = inc > 0 ? (qint64(cross) + 1) * 65536 - at : at - qint64(cross) * 65536 + 1;
    qint64 steps = StepsTo(d, step, 1.0 / double(step));
    for (;;) {
        const qint64 last = std::min(kEnd, k + steps - 1);
        if (cross >= bLo && cross <= bHi)
            fill(cross, k, last);
        else if ((way > 0 && cross > bHi) || (way < 0 && cross < bLo))
            return; // moving away from the clip
        if (last == kEnd)
            return;
        k += steps;
        cross += way;
        d += 65536 - steps * step;
        steps = q - qint64(shortRun >= d);
    }
}

bool LineRasterAgreesWithPainter()
{
    // Lines of every kind the maps draw and some they do not, from a fixed sequence so that
    // every run checks the same ones.
    constexpr int kWidth = 61, kHeight = 47;
    quint32 seed = 12345;
    const auto next = [&seed](int lo, int hi) {
        seed = seed * 1664525u + 1013904223u;
        return lo + int((seed >> 8) % quint32(hi - lo + 1));
    };
    for (int round = 0; round < 4; ++round) {
        QImage engine(kWidth, kHeight, QImage::Format_RGB32), own(engine.size(), engine.format());
        engine.fill(Qt::white);
        own.fill(Qt::white);
        QPainter pe(&engine), po(&own);
        for (QPainter *p : {&pe, &po}) {
            p->setPen(QPen(Qt::black, round == 3 ? 0 : 1, Qt::SolidLine,
                           round == 2 ? Qt::FlatCap : Qt::SquareCap));
            p->translate(round, -round);
            if (round == 1)
                p->setClipRect(QRect(7, 5, 40, 30));
        }
        TLineRaster raster(po);
        if (!raster.UsePen(po.pen()))
            return false;
        for (int i = 0; i < 120; ++i) {
            const int reach = i % 3 == 0 ? 400 : 70;
            QPoint pts[4];
            for (QPoint &pt : pts)
                pt = QPoint(next(-reach, reach), next(-reach, reach));
            if (i % 4 == 1) // a connector's shape: drop, slant, rise
                pts[1] = QPoint(pts[0].x(), pts[0].y() + next(0, 12)),
                pts[2] = QPoint(pts[3].x(), pts[3].y() - next(0, 12));
            if (i % 5 == 2) // a stroke too short to draw
                pts[2] = pts[1] + QPoint(next(0, 1), 0);
            const int n = 2 + i % 3;
            pe.drawPolyline(pts, n);
            if (!raster.Polyline(pts, n))
                po.drawPolyline(pts, n);
        }
        pe.end();
        po.end();
        if (engine != own)
            return false;
    }
    // The labels' own: dotted gray leaders (mostly upright, some running off the surface) and
    // the boxes filled over them, written without remembering, as the labels are.
    QImage engine(kWidth, kHeight, QImage::Format_RGB32), own(engine.size(), engine.format());
    engine.fill(Qt::white);
    own.fill(Qt::white);
    QPainter pe(&engine), po(&own);
    const QPen dotted(QColor(0x80, 0x80, 0x80), 1, Qt::DotLine);
    for (QPainter *p : {&pe, &po}) {
        p->setPen(dotted);
        p->translate(2, -1);
    }
    TLineRaster labels(po, false);
    if (!labels.UsePen(dotted))
        return false;
    for (int i = 0; i < 80; ++i) {
        const int reach = i % 4 == 0 ? 300 : 60;
        const QPoint p(next(-reach, reach), next(-reach, reach));
        const QPoint q = i % 3 == 0 ? QPoint(next(-reach, reach), next(-reach, reach))
                                    : QPoint(p.x(), p.y() + next(-90, 90));
        pe.drawLine(p, q);
        labels.Line(p, q);
        if (i % 2 == 0) {
            const QRect box(next(-10, kWidth), next(-10, kHeight), next(0, 30), next(0, 15));
            const QColor fill = i % 4 == 0 ? QColor(0xFF, 0xFF, 0x80) : QColor(Qt::black);
            pe.fillRect(box, fill);
            if (!labels.FillRect(box, fill))
                po.fillRect(box, fill);
        }
    }
    pe.end();
    po.end();
    return engine == own;
}
