// One file of records whatever its format: the format is decided from the file's beginning (and a
// BED file also from its name), then the coordinate file reader or an annotation reader reads it.
#pragma once

#include "util/CommonDecl.h"

#include <QByteArrayView>
#include <QString>

#include <vector>

enum class TFileFormat
{
    Coordinate,
    Gff3,
    Gtf,
    Bed,
    GenBank
};

// How the program names the format in its messages: "GFF3", "GTF", "BED", "GenBank".
QString FileFormatName(TFileFormat format);

// The format of a file from its first bytes (at least the first lines; kFormatHead bytes are
// enough) and its name: GFF3 when the first line is "##gff-version 3"; GenBank when the first
// line that is not blank starts with LOCUS; BED when the name ends in ".bed" (any case) or the
// first line that is neither blank nor a # comment is a "track" or "browser" line; GTF when that
// line has nine tab-separated columns with key "value"; attributes. A line that the coordinate
// file reader would take as a record keeps the file a coordinate file, as does anything else.
constexpr qsizetype kFormatHead = 64 << 10;
TFileFormat DetectFileFormat(QByteArrayView head, const QString &fileName);

// Reads a file of any format into a fresh single-row record table. A coordinate file is read
// exactly as LoadCoordinateFile reads it; an annotation file that breaks its format raises
// EInOutError "Error in the <format> file at line N: <reason>".
std::vector<tGene> LoadRecordFile(const QString &path);
// The same over bytes already in memory, the name deciding only for BED (the fuzzer and the
// tests use it).
std::vector<tGene> ParseRecordText(const QByteArray &text, const QString &fileName = QString());
