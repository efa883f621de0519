// The statistics behind disentangling the links: the Spearman rank correlation of two equally
// long sequences of doubles, with the paired sort and the mid-rank ranking it is built from, and
// two small helpers on double vectors. Pure functions: no state, no windows, no files.
#pragma once

#include "util/CommonDecl.h"

// A new vector with the same elements.
tVectorOfDouble CopyVector(const tVectorOfDouble &source);
// A new vector of n elements, all 0.0 (n < 0 gives an empty vector).
tVectorOfDouble MakeZeroDoubleVector(qint32 n);

// Heapsort of the first n elements of a into ascending order, in place; every move in a is
// made in b too, so pairs (a[k], b[k]) stay together. The order of equal keys is not defined.
// n < 2 leaves both alone; n beyond either vector raises ERangeError.
void SortPaired(qint32 n, tVectorOfDouble &a, tVectorOfDouble &b);

// Ranks of an ascending vector: 1..n, equal values sharing the mean of the ranks they occupy,
// with the tie sum, the total of t^3 - t over every run of t equal values.
struct TRanks
{
    tVectorOfDouble Ranks;
    double TieSum = 0;
};
TRanks RankSorted(const tVectorOfDouble &w);

// The tie-corrected Spearman rank correlation of x and y; 0 when it cannot be normalised (all
// values of x or of y equal) and for fewer than two pairs. x and y must be equally long
// (EAssertionFailed otherwise). Neither input is modified.
double Spearman(const tVectorOfDouble &x, const tVectorOfDouble &y);
