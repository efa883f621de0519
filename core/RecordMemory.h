// Memory of large record tables: room reserved ahead from the file's size, backed by huge pages
// where the system has them.
#pragma once

#include "util/CommonDecl.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#endif

// Asks the system to back a large, still untouched array with huge pages: a record table of a
// million records is 96 MB, and taking it in 4 KB pages costs more time than parsing it.
template <typename T> void AdviseHugePages(std::vector<T> &v)
{
#ifdef __linux__
    constexpr quintptr huge = 2 << 20;
    const auto begin = reinterpret_cast<quintptr>(v.data());
    const quintptr end = begin + v.capacity() * sizeof(T);
    const quintptr first = (begin + huge - 1) & ~(huge - 1);
    const quintptr last = end & ~(huge - 1);
    if (last > first)
        madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
#else
    Q_UNUSED(v);
#endif
}

// Room for the records of a file of the given size: lines of the usual length (a record of a
// coordinate file takes 30 to 60 bytes) need no growing of the table. Only what is filled takes
// memory, and a table that turns out too small grows as usual.
inline void ReserveRecords(std::vector<tGene> &records, qint64 bytes)
{
    const qint64 wanted = std::min<qint64>(bytes / 24, qint64(1) << 28);
    if (wanted <= qint64(records.capacity()))
        return;
    try {
        records.reserve(std::size_t(wanted));
        AdviseHugePages(records);
    } catch (const std::bad_alloc &) {
    }
}

// What a real text file can be: no line is longer than kMaxLineBytes, and no text holds a run of
// kBinaryRun NUL bytes. The readers stop at either, and at a file that grows while it is read, so
// that a file that never ends or a binary one cannot take memory without bound.
constexpr qint64 kMaxLineBytes = qint64(256) << 20;
constexpr qsizetype kBinaryRun = 64 << 10;

// True when the bytes, after a run of `carried` NUL bytes that ended the bytes before them, hold
// a run of kBinaryRun NUL bytes; `carried` becomes the run that ends them.
inline bool HasBinaryRun(const char *p, qsizetype n, qsizetype &carried)
{
    for (qsizetype i = 0; i < n; ++i) {
        if (p[i] != 0) {
            carried = 0;
            // The next run can only matter from the next NUL on.
            const void *nul = std::memchr(p + i, 0, std::size_t(n - i));
            if (!nul)
                return false;
            i = static_cast<const char *>(nul) - p;
        }
        if (++carried >= kBinaryRun)
            return true;
    }
    return false;
}
