// The BED reader: one record per line. Columns are tab-separated; a line without a tab is split at
// runs of spaces, as genome browsers accept. Only the first six columns are read, so the extra
// columns of bed15 and of the peak files are passed over.
#include "core/FeatureReaders.h"

#include "util/StringOps.h"

#include <algorithm>

namespace {

bool IsHeaderWord(QByteArrayView line, QByteArrayView word)
{
    return line.startsWith(word) && (line.size() == word.size() || IsTrimByte(line[word.size()]));
}

int SplitAtSpaces(QByteArrayView line, QByteArrayView *columns, int max)
{
    int count = 0;
    qsizetype i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        if (i == line.size())
            break;
        const qsizetype from = i;
        while (i < line.size() && line[i] != ' ')
            ++i;
        columns[count++] = line.sliced(from, i - from);
        if (count == max)
            break;
    }
    return count;
}

} // namespace

int SplitBedColumns(QByteArrayView line, QByteArrayView *columns, int max)
{
    if (!line.contains('\t'))
        return SplitAtSpaces(line, columns, max);
    int count = SplitColumns(line, '\t', columns, max);
    // Tabs at the end of the line leave no column behind them (the last column takes the rest).
    while (count > 1 && TrimBytesView(columns[count - 1]).isEmpty())
        --count;
    return count;
}

bool IsBedHeaderLine(QByteArrayView line)
{
    return IsHeaderWord(line, "track") || IsHeaderWord(line, "browser");
}

std::vector<tGene> ReadBed(TLineReader &lines)
{
    TRecordBuilder builder;
    std::vector<tGene> records;
    QByteArrayView line;
    while (lines.next(line)) {
        if (TrimBytesView(line).isEmpty() || line[0] == '#' || IsBedHeaderLine(line))
            continue;
        QByteArrayView c[7];
        const int count = SplitBedColumns(line, c, 7);
        if (count < 3)
            lines.fail(QStringLiteral("3 or more columns expected"));
        qint32 start = 0, end = 0;
        if (!ReadPosition(c[1], start) || start == std::numeric_limits<qint32>::max())
            lines.fail(QStringLiteral("the start is not a valid position"));
        if (!ReadPosition(c[2], end))
            lines.fail(QStringLiteral("the end is not a valid position"));
        if (end < start)
            lines.fail(QStringLiteral("end before start"));
        if (c[0].isEmpty())
            lines.fail(QStringLiteral("no chromosome name"));
        qint32 strand = 0;
        if (count >= 6) {
            if (c[5] == "-")
                strand = -1;
            else if (c[5] == "+")
                strand = 1;
            else if (c[5] != ".")
                lines.fail(QStringLiteral("the strand is not +, - or ."));
        }
        // 0-based half-open to 1-based: the first base is start + 1, the last is end. An empty
        // interval (an insertion point) becomes the one base after it, so start never passes end.
        records.push_back(
            builder.record(builder.chromosome(c[0]), start + 1, std::max(end, start + 1), strand,
                           builder.geneName(count >= 4 ? c[3] : QByteArrayView()), QByteArray()));
    }
    return records;
}
