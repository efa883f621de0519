// One bit for each pixel of a drawing surface: which pixels boxes drawn later will paint over.
// The series drawing fills it while choosing its work; the line writer takes its pixels as
// already written, since a line under them cannot show.
#pragma once

#include <QRect>
#include <QSize>

#include <vector>

class TPixelMask
{
public:
    // All clear, over the surface's pixels (0, 0) .. (size - 1).
    void Reset(const QSize &surface);
    QSize Surface() const { return m_surface; }
    // Sets every pixel of r on the surface.
    void Set(const QRect &r);
    // Whether every pixel of r on the surface is set (true when none is on it).
    bool AllSet(const QRect &r) const;
    // Whether any pixel of r on the surface is set.
    bool AnySet(const QRect &r) const;
    // Row y's bits, Words() of them, pixel x at bit x % 64 of word x / 64.
    const quint64 *Row(int y) const
    {
        return m_bits.data() + std::size_t(y) * std::size_t(m_words);
    }
    int Words() const { return m_words; }

private:
    QSize m_surface;
    int m_words = 0;
    std::vector<quint64> m_bits;
    // The same bits column by column, m_columnWords a column: a tall, narrow rectangle (a
    // label's leader) is told by a few words of them.
    int m_columnWords = 0;
    std::vector<quint64> m_columnBits;
};
