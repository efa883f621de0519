// Positions 0..n-1 taken one by one, with the first position at or after a given one that is not
// taken found in nearly constant time (a forest of "next free" links, compressed on each look-up).
// The last position is never taken: it ends every search.
#pragma once

#include <cstddef>
#include <numeric>
#include <vector>

class TNextFree
{
public:
    // Every position free again.
    void Reset(std::size_t count)
    {
        m_next.resize(count);
        std::iota(m_next.begin(), m_next.end(), 0);
    }
    std::size_t Size() const { return m_next.size(); }
    // The first free position at or after i (i below the last position).
    int Next(int i)
    {
        int root = i;
        while (m_next[std::size_t(root)] != root)
            root = m_next[std::size_t(root)];
        while (m_next[std::size_t(i)] != root) {
            const int next = m_next[std::size_t(i)];
            m_next[std::size_t(i)] = root;
            i = next;
        }
        return root;
    }
    // Takes the free position i (i below the last position).
    void Take(int i) { m_next[std::size_t(i)] = i + 1; }

private:
    std::vector<int> m_next;
};
