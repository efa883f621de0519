// The map operations: reverse a chromosome, align every chromosome that carries a gene on that
// gene, disentangle the links, and find the record under a map position. They change only the
// display state (Inverted, Offset) of the catalogue; the caller rebuilds the map.
#pragma once

#include "core/Catalogue.h"

// Turns every chromosome so that it runs the same way as the one before it in the list, judged
// by the sign of the Spearman correlation of their gene positions. The vectors are held as the
// genes a chromosome carries and the mean that all others share, so that the cost follows the
// records, not the chromosomes times the gene names.
void Disentangle(TCatalogue &catalogue);
// The coefficient Disentangle judges each chromosome of the list by: the Spearman correlation
// of its gene positions with those of the chromosome before it; NaN for the first.
tVectorOfDouble LinkCoefficients(const TCatalogue &catalogue);
// The gene-position vector of chromosome row c (one element per gene name).
tVectorOfDouble GenePositions(const TCatalogue &catalogue, qint32 c);

// Mirrors chromosome k; k = -1 (no list item selected) changes nothing.
void InverseChromosome(TCatalogue &catalogue, qint32 k);

// First step of an alignment on gene g: every row carrying g gets Offset = -(Start of its first
// record of g). Returns which rows were aligned. An overflow (EIntOverflow) changes no offset.
tVectorOfBoolean AlignOffsets(TCatalogue &catalogue, qint32 g);
// Second step: moves every aligned row by -m (m the bottom axis minimum after the first pass).
// An overflow or a row outside the catalogue (ERangeError) changes no offset.
void ShiftAlignedRows(TCatalogue &catalogue, const tVectorOfBoolean &alignedRows, qint32 m);

// The record of chromosome row `chromosome` under map position x, or -1.
qint32 RecordAtPosition(const TCatalogue &catalogue, qint32 chromosome, qint32 x);

// Which entries of the map item pop-up are enabled for the clicked record.
struct TMapItemActions
{
    bool InfoEnabled = false;
    bool AlignEnabled = false;
};
TMapItemActions MapItemActions(const TCatalogue &catalogue, qint32 chromosome, qint32 record);
