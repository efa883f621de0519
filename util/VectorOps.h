// The plain vector routines of the catalogue: linear search, order-keeping de-duplication,
// heap sort of byte strings, zero vectors and the maximum. They follow the catalogue's
// description literally; the catalogue steps themselves use hashing that gives the same lists,
// orders, indices and counts.
#pragma once

#include "util/CommonDecl.h"

// Unsigned byte order, a string that is a prefix of another coming first.
bool ByteLess(const QByteArray &a, const QByteArray &b);

// Index of the first element in positions first..last that equals text (exact bytes), or -1.
// A last beyond the highest index is lowered to it; a last then below first gives -1. A first
// below 0 with a non-empty range raises ERangeError.
qint32 IndexOfString(const tVectorOfString &vector, const QByteArray &text, qint32 first,
                     qint32 last);

// Each distinct element once, in order of first occurrence.
tVectorOfString UniqueStrings(const tVectorOfString &vector);

// Heap sort in place, ascending by ByteLess. Meant for vectors without repeated elements.
void SortStrings(tVectorOfString &vector);

// A vector of length elements, all 0 (a negative length raises ERangeError).
tVectorOfCardinal MakeZeroVector(qint32 length);

// The largest element, starting from the first (an empty vector raises ERangeError).
quint32 MaxOfVector(const tVectorOfCardinal &vector);
