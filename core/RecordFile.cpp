// The format is decided from a head of the file read ahead; the file is then read again from its
// start, so that a coordinate file goes through its reader exactly as before and keeps its
// messages, the failed read included.
#include "core/RecordFile.h"

#include "core/CoordinateReader.h"
#include "core/FeatureReaders.h"
#include "core/TextInput.h"
#include "util/StringOps.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <new>

namespace {

// The line as the coordinate file reader splits it: CRs dropped, trimmed, tab-separated, at
// least four columns with integers in the second to fourth.
bool ReadsAsCoordinateLine(QByteArrayView line)
{
    QByteArray bytes = line.toByteArray();
    bytes.replace('\r', QByteArrayView());
    const QByteArrayView trimmed = TrimBytesView(bytes);
    QByteArrayView c[5];
    if (SplitColumns(trimmed, '\t', c, 5) < 4)
        return false;
    qint32 value = 0;
    return TryStrToInt(c[1], value) && TryStrToInt(c[2], value) && TryStrToInt(c[3], value);
}

bool IsKeywordLine(QByteArrayView line, QByteArrayView word)
{
    return line.startsWith(word) && (line.size() == word.size() || IsTrimByte(line[word.size()]));
}

// An EMBL entry starts with its "ID" line: the two-letter code, three spaces, the name.
bool IsEmblIdLine(QByteArrayView line)
{
    return line.startsWith("ID   ") && line.size() > 5 && !IsTrimByte(line[5]);
}

// The kind of a GFF line's ninth column: tag=value pairs, key "value" pairs (with or without a
// gene_id), or nothing that tells ("." or empty).
enum class TAttributeStyle
{
    None,
    TagValue,
    GeneId,
    KeyValue
};

TAttributeStyle AttributeStyle(QByteArrayView column)
{
    column = TrimBytesView(column);
    if (column.isEmpty() || column == ".")
        return TAttributeStyle::None;
    const qsizetype semicolon = column.indexOf(';');
    const QByteArrayView first = column.first(semicolon < 0 ? column.size() : semicolon);
    const qsizetype eq = first.indexOf('=');
    const qsizetype space = first.indexOf(' ');
    const qsizetype quote = first.indexOf('"');
    if (eq > 0 && (quote < 0 || eq < quote) && (space < 0 || eq < space))
        return TAttributeStyle::TagValue;
    return column.contains("gene_id") ? TAttributeStyle::GeneId : TAttributeStyle::KeyValue;
}

// Nine columns, whole numbers in the fourth and fifth, a strand in the seventh; or eight, the
// last a frame (a GFF2 line without attributes, which sets eight).
bool IsGffLine(QByteArrayView line, TAttributeStyle &style, bool &eight)
{
    QByteArrayView c[10];
    const int columns = SplitGffColumns(line, c);
    eight = columns == 8 && IsGffFrame(c[7]);
    if (columns != 9 && !eight)
        return false;
    qint32 value = 0;
    if (c[0].isEmpty() || !ReadPosition(c[3], value) || !ReadPosition(c[4], value) ||
        c[6].size() != 1 || !std::strchr("+-.?", c[6][0]))
        return false;
    style = eight ? TAttributeStyle::None : AttributeStyle(c[8]);
    return true;
}

// A BED score: a number, or "." for none.
bool IsBedScore(QByteArrayView column)
{
    bool digit = false;
    for (const char c : column) {
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c != '.' && c != '-' && c != '+' && c != 'e' && c != 'E')
            return false;
    }
    return digit || column == ".";
}

// Lines no coordinate file has: three columns (tab-separated, else at runs of spaces) with whole
// numbers in the second and third, the start not after the end; or six or more, with a score in
// the fifth and a strand (+ - .) in the sixth. Four or five columns would be a coordinate line
// with a broken strand as well, so they make no BED by themselves.
bool IsBedLine(QByteArrayView line)
{
    QByteArrayView c[7];
    const int count = SplitBedColumns(line, c, 7);
    qint32 start = 0, end = 0;
    return (count == 3 ||
            (count >= 6 && IsBedScore(c[4]) && (c[5] == "+" || c[5] == "-" || c[5] == "."))) &&
           !c[0].isEmpty() && ReadPosition(c[1], start) && ReadPosition(c[2], end) && start <= end;
}

// The header of a dna_seg table: its first columns name, start, end and strand, quoted or not.
bool IsDnaSegHeader(QByteArrayView line)
{
    QByteArrayView c[5];
    const int count = SplitColumns(line, '\t', c, 5);
    if (count < 4)
        return false;
    const char *names[] = {"name", "start", "end", "strand"};
    for (int i = 0; i < 4; ++i) {
        QByteArrayView word = TrimBytesView(c[i]);
        if (word.size() >= 2 && word.front() == '"' && word.back() == '"')
            word = word.sliced(1, word.size() - 2);
        if (QByteArrayView(names[i]).compare(word, Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}

// A BED file's name: .bed, or .bed followed by its column count (.bed6, .bed12), or the peak
// files of BED6+4.
bool HasBedName(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf('.');
    if (dot < 0)
        return false;
    const QStringView ext = QStringView(fileName).sliced(dot + 1);
    if (ext.startsWith(QStringLiteral("bed"), Qt::CaseInsensitive)) {
        for (const QChar c : ext.sliced(3))
            if (!c.isDigit())
                return false;
        return true;
    }
    return ext.compare(QStringLiteral("narrowPeak"), Qt::CaseInsensitive) == 0 ||
           ext.compare(QStringLiteral("broadPeak"), Qt::CaseInsensitive) == 0;
}

// What a file of this format gives no record for.
QString NoRecordReason(TFileFormat format)
{
    switch (format) {
    case TFileFormat::Gff3:
        return QStringLiteral("no gene, pseudogene, ncRNA_gene, CDS, RNA or exon feature in it");
    case TFileFormat::Gtf:
    case TFileFormat::Gff2:
        return QStringLiteral("no gene, transcript, CDS or exon line in it");
    case TFileFormat::Bed:
        return QStringLiteral("no interval line in it");
    case TFileFormat::GenBank:
    case TFileFormat::Embl:
        return QStringLiteral("no record with a feature table or a length in it");
    case TFileFormat::Ptt:
    case TFileFormat::DnaSeg:
        return QStringLiteral("no gene line under its header");
    case TFileFormat::Coordinate:
        break;
    }
    return QString();
}

// The number of the first line holding more than bytes of value 32 or less (a Ctrl+Z at a line
// start ends the file, as for the coordinate file reader), or 0 when there is none.
qint64 FirstTextLine(QIODevice &device)
{
    TLineReader lines(device);
    QByteArrayView line;
    while (lines.next(line)) {
        if (!line.isEmpty() && line[0] == 26)
            return 0;
        if (!TrimBytesView(line).isEmpty())
            return lines.lineNumber();
    }
    return 0;
}

std::vector<tGene> ReadAnnotation(TFileFormat format, QIODevice &device, const QByteArray &stem,
                                  TRecordIds *ids, TChromosomeAliases *aliases)
{
    TLineReader lines(device);
    const auto error = [&](qint64 line, const QString &reason) {
        return EInOutError(QStringLiteral("Error in the %1 file at line %2: %3")
                               .arg(FileFormatName(format))
                               .arg(line)
                               .arg(reason));
    };
    try {
        switch (format) {
        case TFileFormat::Gff3:
            return ReadGff3(lines, ids);
        case TFileFormat::Gtf:
            return ReadGtf(lines, false);
        case TFileFormat::Gff2:
            return ReadGtf(lines, true);
        case TFileFormat::Bed:
            return ReadBed(lines);
        case TFileFormat::GenBank:
            return ReadGenBank(lines, false, ids, aliases);
        case TFileFormat::Embl:
            return ReadGenBank(lines, true, ids, aliases);
        case TFileFormat::Ptt:
            return ReadProteinTable(lines, stem);
        case TFileFormat::DnaSeg:
            return ReadDnaSeg(lines, stem);
        case TFileFormat::Coordinate:
            break;
        }
    } catch (const TFormatError &e) {
        throw error(e.Line, e.Reason);
    } catch (const Exception &e) {
        throw error(lines.lineNumber(), e.message());
    } catch (const std::bad_alloc &) {
        throw error(lines.lineNumber(), QStringLiteral("out of memory"));
    }
    return {};
}

// What a line the coordinate file reader refused looks like, when it looks like a line of another
// format: a sentence to follow the reader's message, or nothing.
QString LineHint(QIODevice &device, qint64 number)
{
    if (number <= 0 || !device.seek(0))
        return QString();
    TLineReader lines(device);
    QByteArrayView line;
    while (lines.next(line) && lines.lineNumber() < number) {
    }
    if (lines.lineNumber() != number)
        return QString();
    QByteArrayView c[10];
    if (SplitGffColumns(line, c) == 9 && c[6].size() == 1 && std::strchr("+-.?", c[6][0]) &&
        AttributeStyle(c[8]) != TAttributeStyle::None)
        return QStringLiteral(" The line looks like GFF, but its fourth or fifth column is not a "
                              "whole number.");
    return QString();
}

// Reads the coordinate file; a refused line that looks like another format's is said to.
std::vector<tGene> ReadCoordinates(QIODevice &device)
{
    try {
        return ReadCoordinateDevice(device);
    } catch (const EInOutError &e) {
        const QString prefix = QStringLiteral("Error in the file at line ");
        bool bare = false;
        const qint64 number =
            e.message().startsWith(prefix) ? e.message().mid(prefix.size()).toLongLong(&bare) : 0;
        const QString hint = bare ? LineHint(device, number) : QString();
        if (hint.isEmpty())
            throw;
        throw EInOutError(e.message() + QLatin1Char('.') + hint);
    }
}

// Reads the device in the format; a file with text that gives no record is refused.
std::vector<tGene> ReadDevice(TFileFormat format, QIODevice &device, const QByteArray &stem,
                              TRecordIds *ids, TChromosomeAliases *aliases)
{
    std::vector<tGene> records = format == TFileFormat::Coordinate
                                     ? ReadCoordinates(device)
                                     : ReadAnnotation(format, device, stem, ids, aliases);
    if (!records.empty() || !device.seek(0))
        return records;
    const qint64 line = FirstTextLine(device);
    if (line == 0)
        return records;
    if (format == TFileFormat::Coordinate)
        throw EInOutError(QStringLiteral("Error in the file at line %1. Read as a coordinate "
                                         "file, it gives no record: no line has four "
                                         "tab-separated columns, and no other format fits.")
                              .arg(line));
    throw EInOutError(QStringLiteral("Error in the %1 file: %2")
                          .arg(FileFormatName(format), NoRecordReason(format)));
}

QByteArray Stem(const QString &fileName)
{
    const QString stem = QFileInfo(fileName).completeBaseName();
    return QFile::encodeName(stem.isEmpty() ? QStringLiteral("1") : stem);
}

} // namespace

QString FileFormatName(TFileFormat format)
{
    switch (format) {
    case TFileFormat::Gff3:
        return QStringLiteral("GFF3");
    case TFileFormat::Gtf:
        return QStringLiteral("GTF");
    case TFileFormat::Gff2:
        return QStringLiteral("GFF2");
    case TFileFormat::Bed:
        return QStringLiteral("BED");
    case TFileFormat::GenBank:
        return QStringLiteral("GenBank");
    case TFileFormat::Embl:
        return QStringLiteral("EMBL");
    case TFileFormat::Ptt:
        return QStringLiteral("PTT");
    case TFileFormat::DnaSeg:
        return QStringLiteral("dna_seg");
    case TFileFormat::Coordinate:
        break;
    }
    return QStringLiteral("coordinate");
}

TFileFormat DetectFileFormat(QByteArrayView head, const QString &fileName)
{
    if (head.startsWith("\xEF\xBB\xBF"))
        head = head.sliced(3);
    QByteArrayView pragma; // the version of a ##gff-version line before the data
    int textLines = 0;
    bool firstLine = true;
    bool anyData = false;
    bool bedHeader = false;
    bool gff = false, bed = false;
    bool eightColumns = false; // a GFF line without attributes, which only GFF2 allows
    bool afterLocus = false;
    TAttributeStyle style = TAttributeStyle::None; // the first that tells
    while (!head.isEmpty()) {
        const qsizetype lf = head.indexOf('\n');
        QByteArrayView line = lf < 0 ? head : head.first(lf);
        head = lf < 0 ? QByteArrayView() : head.sliced(lf + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (firstLine && IsGff3VersionLine(line))
            return TFileFormat::Gff3;
        firstLine = false;
        if (TrimBytesView(line).isEmpty())
            continue;
        const bool coordinate = ReadsAsCoordinateLine(line);
        if (++textLines == 1) {
            if (!coordinate && IsKeywordLine(line, "LOCUS"))
                return TFileFormat::GenBank;
            if (!coordinate && IsEmblIdLine(line))
                return TFileFormat::Embl;
        }
        if (textLines <= 3 && line.startsWith("Location\tStrand\tLength\tPID"))
            return TFileFormat::Ptt;
        if (textLines == 1 && IsDnaSegHeader(line))
            return TFileFormat::DnaSeg;
        if (coordinate)
            return HasBedName(fileName) ? TFileFormat::Bed : TFileFormat::Coordinate;
        if (IsKeywordLine(line, "LOCUS")) {
            afterLocus = true; // a release file's header came before it
            break;
        }
        if (line.startsWith("##FASTA") || line[0] == '>')
            break; // the sequences after the features say nothing of the format
        if (line[0] == '#') {
            if (!anyData && line.startsWith("##gff-version"))
                pragma = TrimBytesView(line.sliced(13));
            continue;
        }
        if (!anyData && IsBedHeaderLine(line)) {
            bedHeader = true;
            break;
        }
        // The first data line decides between GFF, BED and neither; the reader tells of a later
        // line that breaks the format.
        TAttributeStyle lineStyle = TAttributeStyle::None;
        bool eight = false;
        const bool gffLine = IsGffLine(line, lineStyle, eight);
        eightColumns = eightColumns || (gffLine && eight);
        if (!anyData) {
            gff = gffLine;
            bed = IsBedLine(line);
        }
        anyData = true;
        if (gffLine && style == TAttributeStyle::None)
            style = lineStyle;
    }
    if (afterLocus)
        return TFileFormat::GenBank;
    if (bedHeader)
        return TFileFormat::Bed;
    if (!pragma.isEmpty()) {
        if (pragma == "2" || pragma.startsWith("2."))
            return style == TAttributeStyle::GeneId ? TFileFormat::Gtf : TFileFormat::Gff2;
        return TFileFormat::Gff3; // whose reader names the version it does not read
    }
    if (anyData && gff) {
        switch (style) {
        case TAttributeStyle::GeneId:
            return TFileFormat::Gtf;
        case TAttributeStyle::KeyValue:
            return TFileFormat::Gff2;
        case TAttributeStyle::None:
            if (eightColumns)
                return TFileFormat::Gff2;
            break;
        case TAttributeStyle::TagValue:
            break;
        }
        return TFileFormat::Gff3;
    }
    // The name breaks the tie between BED and a coordinate file, which BED4 lines can be read as.
    if (HasBedName(fileName) || (anyData && bed))
        return TFileFormat::Bed;
    return TFileFormat::Coordinate;
}

std::vector<tGene> LoadRecordFile(const QString &path, TRecordIds *ids, TChromosomeAliases *aliases)
{
    TTextInput input(path);
    QIODevice &file = input.device();
    QByteArray head(kFormatHead, Qt::Uninitialized);
    const qint64 got = file.read(head.data(), head.size());
    const TFileFormat format = got < 0 ? TFileFormat::Coordinate
                                       : DetectFileFormat(QByteArrayView(head.constData(), got),
                                                          QFileInfo(path).fileName());
    head.clear();
    file.seek(0);
    return ReadDevice(format, file, Stem(path), ids, aliases);
}

std::vector<tGene> ParseRecordText(const QByteArray &text, const QString &fileName, TRecordIds *ids,
                                   TChromosomeAliases *aliases)
{
    const TFileFormat format =
        DetectFileFormat(QByteArrayView(text).first(std::min(text.size(), kFormatHead)), fileName);
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    return ReadDevice(format, buffer, Stem(fileName), ids, aliases);
}
