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
}

void TPixelMask::Set(const QRect &r)
{
    const QRect d = r & QRect(QPoint(0, 0), m_surface);
    if (d.isEmpty())
        return;
    const int w0 = d.left() >> 6, w1 = d.right() >> 6;
    for (int y = d.top(); y <= d.bottom(); ++y) {
        quint64 *row = m_bits.data() + std::size_t(y) * std::size_t(m_words);
        for (int w = w0; w <= w1; ++w)
            row[w] |= WordBits(w == w0 ? d.left() & 63 : 0, w == w1 ? d.right() & 63 : 63);
    }
}

bool TPixelMask::AllSet(const QRect &r) const
{
    const QRect d = r & QRect(QPoint(0, 0), m_surface);
    if (d.isEmpty())
        return true;
    const int w0 = d.left() >> 6, w1 = d.right() >> 6;
    for (int y = d.top(); y <= d.bottom(); ++y) {
        const quint64 *row = Row(y);
        for (int w = w0; w <= w1; ++w) {
            const quint64 mask =
                WordBits(w == w0 ? d.left() & 63 : 0, w == w1 ? d.right() & 63 : 63);
            if ((row[w] & mask) != mask)
                return false;
        }
    }
    return true;
}
