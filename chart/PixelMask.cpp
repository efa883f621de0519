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
// The words a span of bits lo..hi takes in a line of words (a row, or a column), and the bits it
// takes of the first and the last: worked out once for a rectangle, not once per line.
struct TSpan
{
    int First, Last;
    quint64 FirstBits, LastBits;
    TSpan(int lo, int hi)
        : First(lo >> 6), Last(hi >> 6),
          FirstBits(WordBits(lo & 63, (lo >> 6) == (hi >> 6) ? hi & 63 : 63)),
          LastBits(WordBits(0, hi & 63))
    {
    }
};

// Inlined: they run for every row and column of every box, where a call costs more than the
// words it looks at.
[[gnu::always_inline]] inline void SetSpan(quint64 *line, const TSpan &span)
{
    line[span.First] |= span.FirstBits;
    for (int w = span.First + 1; w < span.Last; ++w)
        line[w] = ~quint64(0);
    if (span.Last > span.First)
        line[span.Last] |= span.LastBits;
}

[[gnu::always_inline]] inline bool SpanSet(const quint64 *line, const TSpan &span)
{
    if ((line[span.First] & span.FirstBits) != span.FirstBits)
        return false;
    for (int w = span.First + 1; w < span.Last; ++w)
        if (line[w] != ~quint64(0))
            return false;
    return span.Last == span.First || (line[span.Last] & span.LastBits) == span.LastBits;
}

[[gnu::always_inline]] inline bool SpanAny(const quint64 *line, const TSpan &span)
{
    if (line[span.First] & span.FirstBits)
        return true;
    for (int w = span.First + 1; w < span.Last; ++w)
        if (line[w])
            return true;
    return span.Last > span.First && (line[span.Last] & span.LastBits);
}
} // namespace

void TPixelMask::Set(const QRect &r)
{
    const QRect d = r & QRect(QPoint(0, 0), m_surface);
    if (d.isEmpty())
        return;
    const TSpan columns(d.left(), d.right());
    quint64 *row = m_bits.data() + std::size_t(d.top()) * std::size_t(m_words);
    for (int y = d.top(); y <= d.bottom(); ++y, row += m_words)
        SetSpan(row, columns);
    const TSpan rows(d.top(), d.bottom());
    quint64 *column = m_columnBits.data() + std::size_t(d.left()) * std::size_t(m_columnWords);
    for (int x = d.left(); x <= d.right(); ++x, column += m_columnWords)
        SetSpan(column, rows);
}

bool TPixelMask::AllSet(const QRect &r) const
{
    const QRect d = r & QRect(QPoint(0, 0), m_surface);
    if (d.isEmpty())
        return true;
    if (d.height() > d.width()) {
        const TSpan rows(d.top(), d.bottom());
        const quint64 *column =
            m_columnBits.data() + std::size_t(d.left()) * std::size_t(m_columnWords);
        for (int x = d.left(); x <= d.right(); ++x, column += m_columnWords)
            if (!SpanSet(column, rows))
                return false;
        return true;
    }
    // Hidden labels ask this of every row of their boxes, a million times on a whole map.
    const TSpan columns(d.left(), d.right());
    const quint64 *row = Row(d.top());
    for (int y = d.top(); y <= d.bottom(); ++y, row += m_words)
        if (!SpanSet(row, columns))
            return false;
    return true;
}

bool TPixelMask::AnySet(const QRect &r) const
{
    const QRect d = r & QRect(QPoint(0, 0), m_surface);
    if (d.isEmpty())
        return false;
    const TSpan columns(d.left(), d.right());
    const quint64 *row = Row(d.top());
    for (int y = d.top(); y <= d.bottom(); ++y, row += m_words)
        if (SpanAny(row, columns))
            return true;
    return false;
}
