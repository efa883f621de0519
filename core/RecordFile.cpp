// The format is decided from a head of the file read ahead; the file is then read again from its
// start, so that a coordinate file goes through its reader exactly as before and keeps its
// messages, the failed read included.
#include "core/RecordFile.h"

#include "core/CoordinateReader.h"
#include "core/FeatureReaders.h"
#include "util/StringOps.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

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

// The ninth column starts with key "value";
bool HasGtfAttributes(QByteArrayView column)
{
    qsizetype i = 0;
    const qsizetype n = column.size();
    while (i < n && column[i] == ' ')
        ++i;
    const qsizetype key = i;
    while (i < n && !IsTrimByte(column[i]) && column[i] != '"' && column[i] != ';')
        ++i;
    if (i == key || i == n || column[i] != ' ')
        return false;
    while (i < n && column[i] == ' ')
        ++i;
    if (i == n || column[i] != '"')
        return false;
    const qsizetype quote = column.indexOf('"', i + 1);
    if (quote < 0)
        return false;
    for (i = quote + 1; i < n && column[i] == ' '; ++i) {
    }
    return i < n && column[i] == ';';
}

bool IsGtfLine(QByteArrayView line)
{
    QByteArrayView c[10];
    return SplitColumns(line, '\t', c, 10) == 9 && HasGtfAttributes(c[8]);
}

std::vector<tGene> ReadAnnotation(TFileFormat format, QIODevice &device)
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
            return ReadGff3(lines);
        case TFileFormat::Gtf:
            return ReadGtf(lines);
        case TFileFormat::Bed:
            return ReadBed(lines);
        case TFileFormat::GenBank:
            return ReadGenBank(lines);
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

} // namespace

QString FileFormatName(TFileFormat format)
{
    switch (format) {
    case TFileFormat::Gff3:
        return QStringLiteral("GFF3");
    case TFileFormat::Gtf:
        return QStringLiteral("GTF");
    case TFileFormat::Bed:
        return QStringLiteral("BED");
    case TFileFormat::GenBank:
        return QStringLiteral("GenBank");
    case TFileFormat::Coordinate:
        break;
    }
    return QStringLiteral("coordinate");
}

TFileFormat DetectFileFormat(QByteArrayView head, const QString &fileName)
{
    if (head.startsWith("\xEF\xBB\xBF"))
        head = head.sliced(3);
    QByteArrayView firstText, firstData;
    bool firstLine = true;
    bool coordinateLine = false; // a # line may be a record of a coordinate file
    while (!head.isEmpty() && firstData.isEmpty()) {
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
        if (firstText.isEmpty())
            firstText = line;
        coordinateLine = coordinateLine || ReadsAsCoordinateLine(line);
        if (!line.startsWith('#'))
            firstData = line;
    }
    if (firstText.startsWith("LOCUS") &&
        (firstText.size() == 5 || IsTrimByte(firstText[5])) && !ReadsAsCoordinateLine(firstText))
        return TFileFormat::GenBank;
    if (fileName.endsWith(QStringLiteral(".bed"), Qt::CaseInsensitive))
        return TFileFormat::Bed;
    if (firstData.isEmpty() || coordinateLine)
        return TFileFormat::Coordinate;
    if (IsBedHeaderLine(firstData))
        return TFileFormat::Bed;
    if (IsGtfLine(firstData))
        return TFileFormat::Gtf;
    return TFileFormat::Coordinate;
}

std::vector<tGene> LoadRecordFile(const QString &path)
{
    QFile file;
    OpenRegularFile(path, file);
    QByteArray head(kFormatHead, Qt::Uninitialized);
    const qint64 got = file.read(head.data(), head.size());
    const TFileFormat format =
        got < 0 ? TFileFormat::Coordinate
                : DetectFileFormat(QByteArrayView(head.constData(), got), QFileInfo(path).fileName());
    head.clear();
    file.seek(0);
    if (format == TFileFormat::Coordinate)
        return ReadCoordinateDevice(file);
    return ReadAnnotation(format, file);
}

std::vector<tGene> ParseRecordText(const QByteArray &text, const QString &fileName)
{
    const TFileFormat format =
        DetectFileFormat(QByteArrayView(text).first(std::min(text.size(), kFormatHead)), fileName);
    if (format == TFileFormat::Coordinate)
        return ParseCoordinateText(text);
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    return ReadAnnotation(format, buffer);
}
