// The annotation readers: GFF3, GTF and GFF2, BED, GenBank and EMBL flat files, NCBI protein
// tables and dna_seg tables, one record per gene, made by the same rules as a coordinate file line
// (see TRecordBuilder). Each reads the lines of one file and raises TFormatError, with the line,
// for a line that breaks its format.
#pragma once

#include "core/FeatureText.h"
#include "core/RecordFile.h"

class TRecordIds;

// GFF3: features of type gene, pseudogene and ncRNA_gene; a sequence without them falls back to
// its CDS features, one record per ID (else Parent) spanning its parts; without those to its
// transcripts (transcript, and types ending in RNA or _transcript), one per ID; without those to
// its exons, one record per Parent (else ID), named by gene or locus_tag, else the Parent. Name
// from Name, gene, locus_tag or ID; comment from product (a gene's, else that of its mRNA or CDS
// children), else Note or description. Ends at ##FASTA or the first FASTA header line. The version
// line may be missing; a version other than 3 or 3.x is refused. With ids: each record's ID, Name,
// gene, locus_tag and protein_id (its CDS's for a gene); when ids asks for proteins, the CDS parts
// of each record (a gene's of its first transcript) and the sequences of the ##FASTA section.
std::vector<tGene> ReadGff3(TLineReader &lines, TRecordIds *ids = nullptr);
// GTF: one record per gene_id and sequence, its gene line or the span of its lines; name from
// gene_name, else gene_id. GFF2 (gff2 true): the lines of gene, transcript, RNA, CDS and exon
// types, grouped by gene_id when they have one, else by the value of their first attribute (the
// GFF2 group), which also names them; a line without attributes (eight columns, the last a
// frame) is a record of its own, named "???".
std::vector<tGene> ReadGtf(TLineReader &lines, bool gff2);
// BED: the 0-based half-open start becomes start + 1; name from column 4, strand from column 6;
// columns past the twelfth are not read.
std::vector<tGene> ReadBed(TLineReader &lines);
// GenBank (EMBL when embl: ID lines, FT feature lines): one chromosome per record, a record name
// met again taking "~2", "~3"; its gene features, else CDS, else RNA (mRNA too) and
// mobile_element features, else its first source feature's span. The outer bounds of the
// location, complement() as strand -1; on a circular record a location across the origin (a..b
// with a above b, or a join whose parts step over the record's end) runs past the record's end.
// Name from /gene, /locus_tag, /label, /protein_id, /standard_name or /old_locus_tag; comment
// from /product, for a gene without one that of the CDS of the same locus tag, else of the same
// gene.
// With ids: each record's /gene, /locus_tag and /protein_id (a gene's from its CDS), and its
// /translation when ids asks for proteins. With aliases: the first word of each record's
// ACCESSION and VERSION (EMBL: AC, and the accession with the ID line's SV, or an SV line), where
// it differs from the record's name.
std::vector<tGene> ReadGenBank(TLineReader &lines, bool embl, TRecordIds *ids = nullptr,
                               TChromosomeAliases *aliases = nullptr);
// NCBI protein (and RNA) tables: a title line naming the sequence, a count line, the header
// "Location Strand Length PID Gene Synonym Code COG Product", then one line per gene. Name from
// Gene, else Synonym; comment from Product. Without a title the chromosome is named stem.
std::vector<tGene> ReadProteinTable(TLineReader &lines, const QByteArray &stem);
// dna_seg tables: a header naming the columns (name, start, end, strand, optionally gene and
// product), one line per gene, strand 1 or -1 (+ or -); the chromosome is named stem.
std::vector<tGene> ReadDnaSeg(TLineReader &lines, const QByteArray &stem);

// The columns of a GFF or GTF line, at most ten: a line ending in tabs has nine, as without them.
int SplitGffColumns(QByteArrayView line, QByteArrayView *columns);
// The columns of a BED line, at most max: tab-separated, or at runs of spaces when the line holds
// no tab. Empty columns after the last tab do not count.
int SplitBedColumns(QByteArrayView line, QByteArrayView *columns, int max);

// The eighth column of a GFF line, the frame: 0, 1, 2 or ".".
bool IsGffFrame(QByteArrayView column);
// The first line of a GFF3 file: "##gff-version 3", or a version 3.x.
bool IsGff3VersionLine(QByteArrayView line);
// The header lines of a BED file: "track" and "browser" lines.
bool IsBedHeaderLine(QByteArrayView line);
