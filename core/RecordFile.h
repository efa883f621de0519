// One file of records whatever its format: the format is decided from the lines at the file's
// beginning (a name only breaks a tie), then the coordinate file reader or an annotation reader
// reads it.
#pragma once

#include "util/CommonDecl.h"

#include <QByteArrayView>
#include <QString>

#include <utility>
#include <vector>

class TRecordIds;

// Other names a file gives its chromosomes (a GenBank record's accession beside its LOCUS name):
// each alias with the name of the chromosome, as its records carry it.
using TChromosomeAliases = std::vector<std::pair<QByteArray, QByteArray>>;

enum class TFileFormat
{
    Coordinate,
    Gff3,
    Gtf,
    Gff2,
    Bed,
    GenBank,
    Embl,
    Ptt,
    DnaSeg
};

// How the program names the format in its messages: "GFF3", "GTF", "GFF2", "BED", "GenBank",
// "EMBL", "PTT", "dna_seg".
QString FileFormatName(TFileFormat format);

// The format of a file from its first bytes (at most kFormatHead of them) and its name:
// - GFF3 when the first line is "##gff-version 3"; GenBank when the first line that is not blank
//   starts with LOCUS, EMBL when it is an "ID   " line; GenBank also when a LOCUS line follows a
//   header of other text (a release file);
// - an NCBI protein table by its "Location Strand Length PID" header, a dna_seg table by its
//   "name start end strand" header;
// - a coordinate file as soon as a line reads as its record (a # line included), unless the
//   name ends in ".bed", ".bed6", ".bed12" and the like, which makes the file BED;
// - the version of a "##gff-version" line before the data;
// - otherwise from the data lines: nine tab-separated columns, whole numbers in the fourth and
//   fifth, a strand in the seventh make GFF3 (tag=value attributes), GTF (key "value" with a
//   gene_id) or GFF2 (key "value" without, or eight columns, the last a frame, where no line
//   tells the attributes' kind); a "track" or "browser" line, a BED name, or lines
//   with whole numbers in the second and third columns and three columns or six and more (a
//   score and a strand in the fifth and sixth), make BED. Anything else is a coordinate file.
constexpr qsizetype kFormatHead = 64 << 10;
TFileFormat DetectFileFormat(QByteArrayView head, const QString &fileName);

// Reads a file of any format into a fresh single-row record table. A coordinate file is read
// exactly as LoadCoordinateFile reads it; an annotation file that breaks its format raises
// EInOutError "Error in the <format> file at line N: <reason>". A file that holds more than blank
// lines but gives no record is an error naming the format it was read as; an empty one gives no
// record. With ids, the records' identifiers (and proteins, when it asks for them) go there too;
// with aliases, the other names the file gives its chromosomes (see ReadGenBank).
std::vector<tGene> LoadRecordFile(const QString &path, TRecordIds *ids = nullptr,
                                  TChromosomeAliases *aliases = nullptr);
// The same over bytes already in memory, the name breaking ties as for a file (the fuzzer and the
// tests use it).
std::vector<tGene> ParseRecordText(const QByteArray &text, const QString &fileName = QString(),
                                   TRecordIds *ids = nullptr,
                                   TChromosomeAliases *aliases = nullptr);
