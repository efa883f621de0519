// The annotation readers: GFF3, GTF, BED (BED3 to BED12) and GenBank flat files, one record per
// gene, made by the same rules as a coordinate file line (see TRecordBuilder). Each reads the
// lines of one file and raises TFormatError, with the line, for a line that breaks its format.
#pragma once

#include "core/FeatureText.h"

// GFF3: features of type gene, pseudogene and ncRNA_gene; a sequence without them falls back to
// its CDS features, one record per ID (else Parent) spanning its parts. Name from Name, gene,
// locus_tag or ID; comment from product (the gene's, else that of its mRNA or CDS children),
// else Note or description. Ends at ##FASTA or the first FASTA header line.
std::vector<tGene> ReadGff3(TLineReader &lines);
// GTF: one record per gene_id and sequence, its gene line or the span of its lines; name from
// gene_name, else gene_id.
std::vector<tGene> ReadGtf(TLineReader &lines);
// BED: the 0-based half-open start becomes start + 1; name from column 4, strand from column 6.
std::vector<tGene> ReadBed(TLineReader &lines);
// GenBank: one chromosome per LOCUS; its gene features, or CDS features when it has none; the
// outer bounds of the location, complement() as strand -1. Name from /gene, else /locus_tag;
// comment from /product, for a gene without one that of the CDS of the same locus tag or gene.
std::vector<tGene> ReadGenBank(TLineReader &lines);

// The first line of a GFF3 file: "##gff-version 3", or a version 3.x.
bool IsGff3VersionLine(QByteArrayView line);
// The header lines of a BED file: "track" and "browser" lines.
bool IsBedHeaderLine(QByteArrayView line);
