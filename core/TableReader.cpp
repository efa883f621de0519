// The readers of gene tables: NCBI protein tables (.ptt, and their RNA twins .rnt) and dna_seg
// tables. Both are tab-separated with a header line naming the columns; each gene line gives one
// record on one chromosome.
#include "core/FeatureReaders.h"

#include "util/StringOps.h"

#include <algorithm>
#include <array>

namespace {

// A column's text without the double quotes a table writer may have put around it.
QByteArrayView Unquoted(QByteArrayView text)
{
    text = TrimBytesView(text);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.sliced(1, text.size() - 2);
    return text;
}

// A column that says nothing: empty or "-".
bool IsBlank(QByteArrayView text)
{
    return text.isEmpty() || text == "-";
}

// Splits a line at its tabs into the columns kept in the array; the count found.
template <std::size_t N> int SplitTabs(QByteArrayView line, std::array<QByteArrayView, N> &columns)
{
    return SplitColumns(line, '\t', columns.data(), int(N));
}

} // namespace

std::vector<tGene> ReadProteinTable(TLineReader &lines, const QByteArray &stem)
{
    TRecordBuilder builder;
    std::vector<tGene> records;
    QByteArray title;
    bool header = false;
    qint32 chromosome = -1;
    QByteArrayView line;
    while (lines.next(line)) {
        if (TrimBytesView(line).isEmpty())
            continue;
        if (!header) {
            if (line.startsWith("Location\tStrand\tLength\tPID")) {
                header = true;
                // The title names the sequence: "Name, complete genome - 1..4641652".
                const qsizetype dash = title.lastIndexOf(" - ");
                const QByteArray name = TrimBytes(dash > 0 ? title.first(dash) : title);
                chromosome = builder.chromosome(name.isEmpty() ? stem : name);
            } else if (title.isEmpty()) {
                title = line.toByteArray();
            }
            continue;
        }
        // Location, Strand, Length, PID, Gene, Synonym, Code, COG, Product.
        std::array<QByteArrayView, 9> c;
        const int count = SplitTabs(line, c);
        if (count < 6)
            lines.fail(QStringLiteral("at least six tab-separated columns expected"));
        const qsizetype dots = c[0].indexOf("..");
        qint32 first = 0, second = 0;
        if (dots < 0 || !ReadPosition(c[0].first(dots), first) ||
            !ReadPosition(c[0].sliced(dots + 2), second))
            lines.fail(QStringLiteral("the location is not start..end"));
        if (c[1] != "+" && c[1] != "-")
            lines.fail(QStringLiteral("the strand is not + or -"));
        const QByteArrayView name = !IsBlank(c[4]) ? c[4] : !IsBlank(c[5]) ? c[5] : c[4];
        const QByteArrayView product = count < 9 || IsBlank(c[8]) ? QByteArrayView() : c[8];
        records.push_back(builder.record(chromosome, std::min(first, second),
                                         std::max(first, second), c[1] == "-" ? -1 : 1,
                                         builder.geneName(IsBlank(name) ? QByteArrayView() : name),
                                         TRecordBuilder::comment(product)));
    }
    if (!header)
        lines.fail(QStringLiteral("no header line \"Location Strand Length PID Gene Synonym Code "
                                  "COG Product\""));
    return records;
}

std::vector<tGene> ReadDnaSeg(TLineReader &lines, const QByteArray &stem)
{
    TRecordBuilder builder;
    std::vector<tGene> records;
    const qint32 chromosome = builder.chromosome(stem);
    enum Column
    {
        Name,
        Start,
        End,
        Strand,
        Gene,
        Synonym,
        Product,
        Count
    };
    std::array<int, Count> at;
    at.fill(-1);
    int headerCount = 0;
    constexpr int kMax = 64; // columns past these are not looked at
    std::array<QByteArrayView, kMax> c;
    QByteArrayView line;
    while (lines.next(line)) {
        if (TrimBytesView(line).isEmpty() || line[0] == '#')
            continue;
        const int count = SplitTabs(line, c);
        if (headerCount == 0) {
            headerCount = count;
            static const char *const kNames[Count] = {"name", "start",   "end",    "strand",
                                                      "gene", "synonym", "product"};
            for (int k = 0; k < count && k < kMax - 1; ++k)
                for (int n = 0; n < Count; ++n)
                    if (at[n] < 0 &&
                        Unquoted(c[k]).compare(QByteArrayView(kNames[n]), Qt::CaseInsensitive) == 0)
                        at[n] = k;
            continue;
        }
        // A table written with its row names has one column more than its header, in front.
        const int shift = count == headerCount + 1 ? 1 : 0;
        const auto column = [&](Column n) {
            const int k = at[n] < 0 ? -1 : at[n] + shift;
            return k >= 0 && k < count ? Unquoted(c[k]) : QByteArrayView();
        };
        if (count < headerCount)
            lines.fail(QStringLiteral("fewer columns than the header names"));
        qint32 start = 0, end = 0;
        if (!ReadPosition(column(Start), start))
            lines.fail(QStringLiteral("the start is not a valid position"));
        if (!ReadPosition(column(End), end))
            lines.fail(QStringLiteral("the end is not a valid position"));
        const QByteArrayView strand = column(Strand);
        if (strand != "1" && strand != "-1" && strand != "+" && strand != "-")
            lines.fail(QStringLiteral("the strand is not 1, -1, + or -"));
        QByteArrayView name = column(Name);
        for (const Column other : {Gene, Synonym})
            if (IsBlank(name))
                name = column(other);
        const QByteArrayView product = column(Product);
        records.push_back(builder.record(
            chromosome, std::min(start, end), std::max(start, end), strand.startsWith('-') ? -1 : 1,
            builder.geneName(IsBlank(name) ? QByteArrayView() : name),
            TRecordBuilder::comment(IsBlank(product) ? QByteArrayView() : product)));
    }
    return records;
}
