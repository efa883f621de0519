#include "util/VectorOps.h"

#include <cstring>
#include <utility>

bool ByteLess(const QByteArray &a, const QByteArray &b)
{
    const qsizetype n = a.size() < b.size() ? a.size() : b.size();
    const int c = n ? std::memcmp(a.constData(), b.constData(), std::size_t(n)) : 0;
    if (c != 0)
        return c < 0;
    return a.size() < b.size();
}

qint32 IndexOfString(const tVectorOfString &vector, const QByteArray &text, qint32 first,
                     qint32 last)
{
    const qint64 highest = qint64(vector.size()) - 1;
    qint64 upper = last;
    if (upper > highest)
        upper = highest;
    for (qint64 i = first; i <= upper; ++i)
        if (At(vector, i) == text)
            return qint32(i);
    return -1;
}

tVectorOfString UniqueStrings(const tVectorOfString &vector)
{
    tVectorOfString result;
    if (vector.empty())
        return result;
    result.reserve(vector.size());
    result.push_back(vector.front());
    for (std::size_t i = 1; i < vector.size(); ++i)
        if (IndexOfString(result, vector[i], 0, qint32(result.size()) - 1) < 0)
            result.push_back(vector[i]);
    result.shrink_to_fit();
    return result;
}

namespace {
// Lets the element at root sink into the heap of the first count elements.
void SiftDown(tVectorOfString &v, std::size_t root, std::size_t count)
{
    for (;;) {
        std::size_t child = 2 * root + 1;
        if (child >= count)
            return;
        if (child + 1 < count && ByteLess(v[child], v[child + 1]))
            ++child;
        if (!ByteLess(v[root], v[child]))
            return;
        std::swap(v[root], v[child]);
        root = child;
    }
}
} // namespace

void SortStrings(tVectorOfString &vector)
{
    const std::size_t n = vector.size();
    if (n < 2)
        return;
    for (std::size_t i = n / 2; i-- > 0;)
        SiftDown(vector, i, n);
    for (std::size_t end = n - 1; end > 0; --end) {
        std::swap(vector[0], vector[end]);
        SiftDown(vector, 0, end);
    }
}

tVectorOfCardinal MakeZeroVector(qint32 length)
{
    if (length < 0)
        throw ERangeError();
    return tVectorOfCardinal(std::size_t(length), 0);
}

quint32 MaxOfVector(const tVectorOfCardinal &vector)
{
    quint32 result = At(vector, 0);
    for (std::size_t i = 1; i < vector.size(); ++i)
        if (vector[i] > result)
            result = vector[i];
    return result;
}
