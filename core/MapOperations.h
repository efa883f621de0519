// The map operations: reverse a chromosome, align every chromosome that carries a gene on that
// gene, disentangle the links, and find the record under a map position. They change only the
// display state (Inverted, Offset) of the catalogue; the caller rebuilds the map.
#pragma once

#include "core/Catalogue.h"

// Moves the chromosomes of the list items first given to the top of the list, in that order,
// the others after them in their order: the records, names and views all follow, so a
// chromosome's index stays its place in the list. Returns the old item of each new one. An item
// outside the list or given twice raises ERangeError and changes nothing.
std::vector<qint32> OrderChromosomes(TCatalogue &catalogue, const std::vector<qint32> &first);

// Turns every chromosome so that it runs the same way as the one before it in the list, judged
// by the sign of the Spearman correlation of the positions of the genes both carry. Rows with
// fewer than two genes in common give no evidence and keep the orientation of the row above.
void Disentangle(TCatalogue &catalogue);
// The coefficient Disentangle judges each chromosome of the list by (LinkCoefficient of it and
// the chromosome before it); NaN for the first.
tVectorOfDouble LinkCoefficients(const TCatalogue &catalogue);

// A gene a chromosome carries, at the Start of its first record on the row.
struct TGenePosition
{
    qint32 Gene;
    double Start;
};
// The genes chromosome row c carries, by ascending gene index, "???" left out.
std::vector<TGenePosition> GenePositions(const TCatalogue &catalogue, qint32 c);
// The Spearman correlation of the positions of the genes carried by both rows, the earlier row's
// positions first; exactly 0 when they share fewer than two genes.
double LinkCoefficient(const std::vector<TGenePosition> &earlier,
                       const std::vector<TGenePosition> &later);

// Mirrors chromosome k; k = -1 (no list item selected) changes nothing.
void InverseChromosome(TCatalogue &catalogue, qint32 k);

// First step of an alignment on gene g: every row carrying g gets Offset = -(Start of its first
// record of g, FirstRecordOf); "???" aligns no row. Returns which rows were aligned. An overflow
// (EIntOverflow) changes no offset.
tVectorOfBoolean AlignOffsets(TCatalogue &catalogue, qint32 g);
// Second step: moves every aligned row by -m (m the bottom axis minimum after the first pass).
// An overflow or a row outside the catalogue (ERangeError) changes no offset.
void ShiftAlignedRows(TCatalogue &catalogue, const tVectorOfBoolean &alignedRows, qint32 m);

// The record of chromosome row `chromosome` under map position x, or -1: the first under it that
// is a gene's (not "???"), else the last under it.
qint32 RecordAtPosition(const TCatalogue &catalogue, qint32 chromosome, qint32 x);

// Which entries of the map item pop-up are enabled for the clicked record: information for any
// record of a gene (GeneOfRecord, not "???"), Align when that gene is on more than one row.
struct TMapItemActions
{
    bool InfoEnabled = false;
    bool AlignEnabled = false;
};
TMapItemActions MapItemActions(const TCatalogue &catalogue, qint32 chromosome, qint32 record);
