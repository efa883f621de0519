// The GTF reader, also for GFF2: the lines of one gene_id (in GFF2, of one group) on one sequence
// make one record, kept in the order of their first line. GFF2 lets a line end after its eighth
// column, the frame; such a line, as gene finders write them, has no group and is a record of its
// own.
#include "core/FeatureReaders.h"

#include "util/StringOps.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

struct TGtfAttributes
{
    QByteArrayView GeneId, GeneName, First;
};

// Reads key value; pairs, the value in double quotes or a bare word. False for a malformed list.
// GFF2 lets more values follow the first (Target "x" 10 90), which are passed over.
bool ParseAttributes(QByteArrayView column, TGtfAttributes &a, bool gff2)
{
    a = TGtfAttributes{};
    const char *p = column.data();
    const char *end = p + column.size();
    const auto skipSpaces = [&] {
        while (p < end && *p == ' ')
            ++p;
    };
    for (;;) {
        skipSpaces();
        if (p == end || *p == '#') // a comment may follow the attributes
            return true;
        const char *key = p;
        while (p < end && *p != ' ' && *p != ';' && *p != '"')
            ++p;
        if (p == key || p == end || *p != ' ')
            return false;
        const QByteArrayView name(key, p - key);
        skipSpaces();
        QByteArrayView value;
        if (p < end && *p == '"') {
            const auto *quote =
                static_cast<const char *>(std::memchr(p + 1, '"', std::size_t(end - p - 1)));
            if (!quote)
                return false;
            value = QByteArrayView(p + 1, quote - p - 1);
            p = quote + 1;
        } else {
            const char *v = p;
            while (p < end && *p != ' ' && *p != ';')
                ++p;
            if (p == v)
                return false;
            value = QByteArrayView(v, p - v);
        }
        skipSpaces();
        if (gff2) {
            bool inQuote = false;
            for (; p < end && (inQuote || (*p != ';' && *p != '#')); ++p)
                inQuote = inQuote != (*p == '"');
            if (inQuote)
                return false;
        }
        if (p < end && *p != '#') {
            if (*p != ';')
                return false;
            ++p;
        }
        if (a.First.isEmpty())
            a.First = value;
        if (name == "gene_id")
            a.GeneId = value;
        else if (name == "gene_name")
            a.GeneName = value;
    }
}

struct TGtfGene
{
    qint32 Chromosome = 0;
    qint32 Start = 0;
    qint32 End = 0;
    qint32 Strand = 0;
    bool FromGeneLine = false;
    QByteArray Gene; // from gene_name; empty while none was seen
    QByteArray Id;
};

// The GFF2 types that make up genes; other features (repeats, alignments, variations) are no
// genes.
bool IsGeneType(QByteArrayView type)
{
    static const char *const kTypes[] = {"gene",
                                         "pseudogene",
                                         "transcript",
                                         "mRNA",
                                         "CDS",
                                         "coding_exon",
                                         "exon",
                                         "start_codon",
                                         "stop_codon",
                                         "five_prime_UTR",
                                         "three_prime_UTR",
                                         "ORF"};
    for (const char *t : kTypes)
        if (type == t)
            return true;
    return type.endsWith("RNA") || type.endsWith("_gene");
}

} // namespace

std::vector<tGene> ReadGtf(TLineReader &lines, bool gff2)
{
    TRecordBuilder builder;
    TNameTable keys(1024);
    std::vector<std::size_t> geneOfKey; // lines without a group have no key
    std::vector<TGtfGene> genes;
    std::string key;
    QByteArrayView line;
    while (lines.next(line)) {
        if (TrimBytesView(line).isEmpty() || line[0] == '#')
            continue;
        QByteArrayView c[10];
        const int columns = SplitGffColumns(line, c);
        if (columns != 9 && !(gff2 && columns == 8))
            lines.fail(QStringLiteral("nine tab-separated columns expected"));
        if (columns == 8 && !IsGffFrame(c[7]))
            lines.fail(QStringLiteral("eight columns, the last not a frame (0, 1, 2 or .)"));
        qint32 start = 0, end = 0;
        if (!ReadPosition(c[3], start))
            lines.fail(QStringLiteral("the start is not a valid position"));
        if (!ReadPosition(c[4], end))
            lines.fail(QStringLiteral("the end is not a valid position"));
        if (end < start)
            lines.fail(QStringLiteral("end before start"));
        if (c[6].size() != 1 || !std::strchr("+-.", c[6][0]))
            lines.fail(QStringLiteral("the strand is not +, - or ."));
        if (c[0].isEmpty())
            lines.fail(QStringLiteral("no sequence name"));
        if (gff2 && !IsGeneType(c[2]))
            continue; // no gene
        const qint32 strand = c[6][0] == '-' ? -1 : c[6][0] == '+' ? 1 : 0;
        const QByteArrayView attributes = columns == 9 ? TrimBytesView(c[8]) : QByteArrayView();
        if (gff2 && (attributes.isEmpty() || attributes == ".")) {
            // No group to join: the line alone, which nothing names.
            genes.push_back(TGtfGene{builder.chromosome(c[0]), start, end, strand, false,
                                     QByteArray(), QByteArray()});
            continue;
        }
        TGtfAttributes a;
        if (!ParseAttributes(c[8], a, gff2))
            lines.fail(QStringLiteral("attributes not in the form key \"value\";"));
        if (gff2 && a.GeneId.isEmpty())
            a.GeneId = a.First;
        if (a.GeneId.isEmpty())
            lines.fail(gff2 ? QStringLiteral("no group (the first attribute's value)")
                            : QStringLiteral("no gene_id"));
        const qint32 chromosome = builder.chromosome(c[0]);
        const bool geneLine = c[2] == "gene";

        // One gene per gene_id and sequence: the key is the ID and the sequence's index.
        key.assign(a.GeneId.data(), std::size_t(a.GeneId.size()));
        key.append(reinterpret_cast<const char *>(&chromosome), sizeof chromosome);
        const QByteArrayView keyView(key.data(), qsizetype(key.size()));
        const qint32 k = keys.findOrAdd(keyView, [&] { return keyView.toByteArray(); });
        if (std::size_t(k) == geneOfKey.size()) {
            geneOfKey.push_back(genes.size());
            genes.push_back(TGtfGene{chromosome, start, end, strand, geneLine, QByteArray(),
                                     a.GeneId.toByteArray()});
        } else {
            TGtfGene &g = genes[geneOfKey[std::size_t(k)]];
            if (geneLine && !g.FromGeneLine) {
                // The gene line gives the span and the strand; its other lines no longer count.
                g.Start = start;
                g.End = end;
                g.Strand = strand;
                g.FromGeneLine = true;
            } else if (geneLine == g.FromGeneLine) {
                g.Start = std::min(g.Start, start);
                g.End = std::max(g.End, end);
            }
        }
        TGtfGene &g = genes[geneOfKey[std::size_t(k)]];
        if (g.Gene.isEmpty() && !a.GeneName.isEmpty())
            g.Gene = builder.geneName(a.GeneName);
    }
    std::vector<tGene> records;
    records.reserve(genes.size());
    for (TGtfGene &g : genes)
        records.push_back(builder.record(
            g.Chromosome, g.Start, g.End, g.Strand,
            g.Gene.isEmpty() ? builder.geneName(g.Id) : std::move(g.Gene), QByteArray()));
    return records;
}
