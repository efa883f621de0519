#include "chart/PixelMask.h"

#include <algorithm>

namespace {
// Bits from..to (0..63) of a word.
quint64 WordBits(int from, int to)
{
    return (~quint64(0) << from) & (~quint64(0) >> (63 - to));
}
} // namespace

void TPixelMask::Reset(const QSize &surface)
{
    m_surface = surface.isValid() ? surface : QSize(0, 0);
    m_words = (m_surface.width() + 63) / 64;
    m_bits.assign(std::size_t(m_words) * std::size_t(m_surface.height()), 0);
    m_columnWords = (m_surface.height() + 63) / 64;
    m_columnBits.assign(std::size_t(m_columnWords) * std::size_t(m_surface.width()), 0);
}

namespace {
// Sets (or tests) bits lo..hi of a line of words.
void SetSpan(quint64 *line, int lo, int hi)
{
    const int w0 = lo >> 6, w1 = hi >> 6;
    for (int w = w0; w <= w1; ++w)
        line[w] |= WordBits(w == w0 ? lo & 63 : 0, w == w1 ? hi & 63 : 63);
}

bool SpanSet(const quint64 *line, int lo, int hi)
{
    const int w0 = lo >> 6, w1 = hi >> 6;
    for (int w = w0; w <= w1; ++w) {
        const quint64 mask = WordBits(w == w0 ? lo & 63 : 0, w == w1 ? hi & 63 : 63);
        if ((line[w] & mask) != mask)
            return false;
    }
    return true;
}
} // namespace

void TPixelMask::Set(const QRect &r)
{
    const QRect d = r & QRect(QPoint(0, 0), m_surface);
    if (d.isEmpty())
        return;
    for (int y = d.top(); y <= d.bottom(); ++y)
        SetSpan(m_bits.data() + std::size_t(y) * std::size_t(m_words), d.left(), d.right());
    // Every column takes the same words: worked out once.
    const int w0 = d.top() >> 6, w1 = d.bottom() >> 6;
    const quint64 first = WordBits(d.top() & 63, w0 == w1 ? d.bottom() & 63 : 63);
    const quint64 last = WordBits(0, d.bottom() & 63);
    quint64 *column = m_columnBits.data() + std::size_t(d.left()) * std::size_t(m_columnWords);
    for (int x = d.left(); x <= d.right(); ++x, column += m_columnWords) {
        column[w0] |= first;
        for (int w = w0 + 1; w < w1; ++w)
            column[w] = ~quint64(0);
        if (w1 > w0)
            column[w1] |= last;
    }
}

namespace {
// The words a span of columns lo..hi takes in every row, and the bits it takes of the first and
// the last: worked out once for a rectangle rather than once per row.
struct TRowSpan
{
    int First, Last;
    quint64 FirstBits, LastBits;
    TRowSpan(int lo, int hi)
        : First(lo >> 6), Last(hi >> 6),
          FirstBits(WordBits(lo & 63, (lo >> 6) == (hi >> 6) ? hi & 63 : 63)),
          LastBits(WordBits(0, hi & 63))
    {
    }
};
} // namespace

bool TPixelMask::AllSet(const QRect &r) const
{
    const QRect d = r & QRect(QPoint(0, 0), m_surface);
    if (d.isEmpty())
        return true;
    if (d.height() > d.width()) {
        for (int x = d.left(); x <= d.right(); ++x)
            if (!SpanSet(m_columnBits.data() + std::size_t(x) * std::size_t(m_columnWords), d.top(),
                         d.bottom()))
                return false;
        return true;
    }
    // Hidden labels ask this of every row of their boxes, a million times on a whole map.
    const TRowSpan span(d.left(), d.right());
    const quint64 *row = Row(d.top());
    for (int y = d.top(); y <= d.bottom(); ++y, row += m_words) {
        if ((row[span.First] & span.FirstBits) != span.FirstBits)
            return false;
        for (int w = span.First + 1; w < span.Last; ++w)
            if (row[w] != ~quint64(0))
                return false;
        if (span.Last > span.First && (row[span.Last] & span.LastBits) != span.LastBits)
            return false;
    }
    return true;
}

bool TPixelMask::AnySet(const QRect &r) const
{
    const QRect d = r & QRect(QPoint(0, 0), m_surface);
    if (d.isEmpty())
        return false;
    const TRowSpan span(d.left(), d.right());
    const quint64 *row = Row(d.top());
    for (int y = d.top(); y <= d.bottom(); ++y, row += m_words) {
        if (row[span.First] & span.FirstBits)
            return true;
        for (int w = span.First + 1; w < span.Last; ++w)
            if (row[w])
                return true;
        if (span.Last > span.First && (row[span.Last] & span.LastBits))
            return true;
    }
    return false;
}
