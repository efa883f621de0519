// Region alignments: hits in chromosome coordinates between two chromosomes of the map (BLASTN of
// genome against genome, minimap2, MUMmer), a homology source of their own beside the gene
// groups. Three formats, told apart by the content of the first line that is neither blank nor a
// # comment: 12-column tabular hits (BLAST, DIAMOND, MMseqs2), PAF (minimap2) and the
// tab-separated table of MUMmer's `show-coords -T` (with or without -c, -l and -H). Each hit is
// matched against the catalogue's chromosomes by name; plain data, no widgets.
#pragma once

#include "core/Catalogue.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// An alignment file that cannot be read: its message names the alignment file, not the map's.
class EAlignmentError : public EInOutError
{
public:
    using EInOutError::EInOutError;
};

// One hit. A is the first sequence the format names (BLAST's query, PAF's query, show-coords'
// reference), B the other. Its ends are file coordinates, which may lie past the records of their
// chromosomes.
struct TRegionAlignment
{
    qint32 ChromosomeA = 0, ChromosomeB = 0;           // catalogue chromosome indices
    qint32 StartA = 0, EndA = 0, StartB = 0, EndB = 0; // 1-based, inclusive, Start <= End
    bool Reverse = false;                              // the stretches lie on opposite strands
    float Identity = -1;                               // per cent, -1 when the format gives none
};

// What a hit must reach to be kept: the identity only when given; the aligned length (the
// format's alignment length, else the shorter of the two stretches) always.
struct TAlignmentFilters
{
    std::optional<double> MinIdentity;
    qint64 MinLength = 0;
};

// What the files gave: every hit read is counted once, in the first of these that holds it.
struct TAlignmentReport
{
    qint64 Kept = 0;
    qint64 BelowIdentity = 0;
    qint64 BelowLength = 0;
    qint64 Unmatched = 0; // naming no chromosome of the map, or one chromosome twice
    QString Text() const; // one line for the terminal and the status line
};

// Reads one file, adding its hits to report's counts; returns the hits kept. A name finds a
// chromosome by, in this order: its name; an alias its file gives (a GenBank or EMBL record's
// accession and accession.version beside its LOCUS or ID name); its name without the genome
// prefix ("stem:" of several files), when that leaves one chromosome; each of these again for the
// name without a version suffix (".1") and for the last field of a |-separated name
// ("ref|NC_000932.1|"). A name that fits two chromosomes at the first step that finds it fits
// none. The file is opened as every text input (TTextInput) and read line by line within the
// readers' limits; a line that breaks its format raises EAlignmentError "Error in the alignment
// file at line N: <reason>".
std::vector<TRegionAlignment> ReadRegionAlignments(const QString &path, const TCatalogue &catalogue,
                                                   const TAlignmentFilters &filters,
                                                   TAlignmentReport &report);
// The files in turn, as one list; an error names its file ("hits.paf: Error in ...").
std::vector<TRegionAlignment> ReadRegionAlignments(const QStringList &paths,
                                                   const TCatalogue &catalogue,
                                                   const TAlignmentFilters &filters,
                                                   TAlignmentReport &report);

// The alignments of from's chromosomes moved to the same chromosomes of to, found by name (the
// list reordered, a catalogue of regions); those whose chromosomes to lacks are left out.
std::vector<TRegionAlignment> RematchAlignments(const std::vector<TRegionAlignment> &alignments,
                                                const TCatalogue &from, const TCatalogue &to);
