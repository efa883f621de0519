// The GFF3 reader. Genes and CDS groups are collected in the order of their first line; the
// choice between them is made per sequence once the whole file is read, and so are the products
// a gene takes from its children, since GFF3 allows a child before its parent.
#include "core/FeatureReaders.h"

#include "util/StringOps.h"

#include <QHash>

#include <algorithm>
#include <cstring>

namespace {

const QString kNotGff3 = QStringLiteral("the first line is not \"##gff-version 3\"");

// The attributes a record uses, still percent-encoded.
struct TAttributes
{
    QByteArrayView Id, Parent, Name, Gene, LocusTag, Product, Note, Description;
};

bool Is(QByteArrayView text, const char *literal)
{
    const auto n = qsizetype(std::strlen(literal));
    return text.size() == n && std::memcmp(text.data(), literal, std::size_t(n)) == 0;
}

// Splits tag=value;tag=value. False for an entry without "=" or with an empty tag.
bool ParseAttributes(QByteArrayView column, TAttributes &a)
{
    a = TAttributes{};
    if (Is(column, "."))
        return true;
    const char *p = column.data();
    const char *end = p + column.size();
    while (p < end) {
        const auto *semicolon = static_cast<const char *>(std::memchr(p, ';', std::size_t(end - p)));
        const char *stop = semicolon ? semicolon : end;
        while (p < stop && *p == ' ')
            ++p;
        if (p < stop) {
            const auto *eq = static_cast<const char *>(std::memchr(p, '=', std::size_t(stop - p)));
            if (!eq || eq == p)
                return false;
            const QByteArrayView tag(p, eq - p);
            const QByteArrayView value(eq + 1, stop - eq - 1);
            switch (tag.size()) {
            case 2:
                if (Is(tag, "ID"))
                    a.Id = value;
                break;
            case 4:
                if (Is(tag, "Name"))
                    a.Name = value;
                else if (Is(tag, "gene"))
                    a.Gene = value;
                else if (Is(tag, "Note"))
                    a.Note = value;
                break;
            case 6:
                if (Is(tag, "Parent"))
                    a.Parent = value;
                break;
            case 7:
                if (Is(tag, "product"))
                    a.Product = value;
                break;
            case 9:
                if (Is(tag, "locus_tag"))
                    a.LocusTag = value;
                break;
            case 11:
                if (Is(tag, "description"))
                    a.Description = value;
                break;
            default:
                break;
            }
        }
        p = stop + 1;
    }
    return true;
}

// A gene or CDS group while the file is read; Start <= End until the record is made.
struct TFeature
{
    qint64 FirstLine = 0;
    qint32 Chromosome = 0;
    qint32 Start = 0;
    qint32 End = 0;
    qint32 Strand = 0;
    QByteArray Gene;
    QByteArray Product; // upper-cased; empty while none is known
    QByteArray Note;    // Note or description, when there is no product
};

class TGff3Reader
{
public:
    explicit TGff3Reader(TLineReader &lines) : m_lines(lines), m_geneIds(1024), m_cdsKeys(64) {}

    std::vector<tGene> read()
    {
        QByteArrayView line;
        if (!m_lines.next(line) || !IsGff3VersionLine(line))
            m_lines.fail(kNotGff3);
        while (m_lines.next(line)) {
            if (line.isEmpty())
                continue;
            if (line[0] == '#') {
                if (line.startsWith("##FASTA"))
                    break;
                continue;
            }
            if (line[0] == '>')
                break;
            parseLine(line);
        }
        return records();
    }

private:
    // Decoded text as a view: into the line when it has no escape, else into scratch.
    static QByteArrayView Decoded(QByteArrayView text, QByteArray &scratch)
    {
        if (!text.contains('%'))
            return text;
        scratch = PercentDecoded(text);
        return scratch;
    }

    void parseLine(QByteArrayView line)
    {
        QByteArrayView c[10];
        if (SplitColumns(line, '\t', c, 10) != 9)
            m_lines.fail(QStringLiteral("nine tab-separated columns expected"));
        qint32 start = 0, end = 0;
        if (!ReadPosition(c[3], start))
            m_lines.fail(QStringLiteral("the start is not a valid position"));
        if (!ReadPosition(c[4], end))
            m_lines.fail(QStringLiteral("the end is not a valid position"));
        if (end < start)
            m_lines.fail(QStringLiteral("end before start"));
        if (c[6].size() != 1 || !std::strchr("+-.?", c[6][0]))
            m_lines.fail(QStringLiteral("the strand is not +, -, . or ?"));
        if (c[0].isEmpty())
            m_lines.fail(QStringLiteral("no sequence name"));
        if (!PercentEscapesValid(c[0]) || !PercentEscapesValid(c[8]))
            m_lines.fail(QStringLiteral("broken percent escape"));
        TAttributes a;
        if (!ParseAttributes(c[8], a))
            m_lines.fail(QStringLiteral("attribute without \"tag=value\""));
        const qint32 strand = c[6][0] == '-' ? -1 : c[6][0] == '+' ? 1 : 0;

        const QByteArrayView type = c[2];
        const bool gene = Is(type, "gene") || Is(type, "pseudogene") || Is(type, "ncRNA_gene");
        const bool cds = Is(type, "CDS");
        if (gene || cds) {
            const qint32 chromosome = m_builder.chromosome(Decoded(c[0], m_scratch));
            if (gene) {
                if (std::size_t(chromosome) >= m_hasGenes.size())
                    m_hasGenes.resize(std::size_t(chromosome) + 1, false);
                m_hasGenes[std::size_t(chromosome)] = true;
            }
            // Lines of one ID are the parts of one feature; a CDS without an ID is grouped by
            // its Parent.
            TNameTable &keys = gene ? m_geneIds : m_cdsKeys;
            std::vector<TFeature> &features = gene ? m_genes : m_cds;
            std::vector<qint32> &featureOfKey = gene ? m_geneOfId : m_cdsOfKey;
            const QByteArrayView key = !a.Id.isEmpty() ? a.Id : cds ? a.Parent : QByteArrayView();
            qint32 k = -1;
            if (!key.isEmpty()) {
                k = keys.findOrAdd(key, [&] { return key.toByteArray(); });
                if (std::size_t(k) < featureOfKey.size()) {
                    TFeature &f = features[std::size_t(featureOfKey[std::size_t(k)])];
                    if (f.Chromosome != chromosome)
                        m_lines.fail(QStringLiteral("parts of one feature on different sequences"));
                    f.Start = std::min(f.Start, start);
                    f.End = std::max(f.End, end);
                    addText(f, a);
                    return;
                }
                featureOfKey.push_back(qint32(features.size()));
            }
            TFeature f;
            f.FirstLine = m_lines.lineNumber();
            f.Chromosome = chromosome;
            f.Start = start;
            f.End = end;
            f.Strand = strand;
            QByteArrayView name = !a.Name.isEmpty()       ? a.Name
                                  : !a.Gene.isEmpty()     ? a.Gene
                                  : !a.LocusTag.isEmpty() ? a.LocusTag
                                                          : key;
            f.Gene = m_builder.geneName(Decoded(name, m_scratch));
            addText(f, a);
            features.push_back(std::move(f));
            if (gene)
                return;
        }
        // Children of genes: their products, and the links from a transcript to its gene.
        if (!a.Parent.isEmpty() && !a.Product.isEmpty())
            m_childProducts.push_back({a.Parent.toByteArray(), a.Product.toByteArray()});
        if (!a.Parent.isEmpty() && !a.Id.isEmpty() && !cds)
            m_parents.insert(a.Id.toByteArray(), a.Parent.toByteArray());
    }

    void addText(TFeature &f, const TAttributes &a)
    {
        if (f.Product.isEmpty() && !a.Product.isEmpty())
            f.Product = TRecordBuilder::comment(Decoded(a.Product, m_scratch));
        if (f.Product.isEmpty() && f.Note.isEmpty()) {
            const QByteArrayView note = !a.Note.isEmpty() ? a.Note : a.Description;
            if (!note.isEmpty())
                f.Note = TRecordBuilder::comment(Decoded(note, m_scratch));
        }
    }

    // The gene (index in m_genes) with this ID, or -1.
    qint32 geneOf(QByteArrayView id) const
    {
        const qint32 k = m_geneIds.find(id);
        return k < 0 ? -1 : m_geneOfId[std::size_t(k)];
    }

    // Genes without a product take the first product of a child or grandchild, in file order.
    void takeChildProducts()
    {
        for (const auto &[parents, product] : m_childProducts) {
            for (const QByteArray &parent : parents.split(',')) {
                qint32 g = geneOf(parent);
                if (g < 0) {
                    const auto it = m_parents.constFind(parent);
                    if (it == m_parents.constEnd())
                        continue;
                    for (const QByteArray &grand : it.value().split(','))
                        if ((g = geneOf(grand)) >= 0)
                            setChildProduct(g, product);
                    continue;
                }
                setChildProduct(g, product);
            }
        }
    }

    void setChildProduct(qint32 g, const QByteArray &product)
    {
        TFeature &f = m_genes[std::size_t(g)];
        if (f.Product.isEmpty())
            f.Product = TRecordBuilder::comment(Decoded(product, m_scratch));
    }

    std::vector<tGene> records()
    {
        takeChildProducts();
        const auto keep = [&](const TFeature &f) {
            return std::size_t(f.Chromosome) >= m_hasGenes.size() ||
                   !m_hasGenes[std::size_t(f.Chromosome)];
        };
        std::vector<tGene> out;
        out.reserve(m_genes.size() + m_cds.size());
        const auto add = [&](TFeature &f) {
            out.push_back(m_builder.record(f.Chromosome, f.Start, f.End, f.Strand,
                                           std::move(f.Gene),
                                           f.Product.isEmpty() ? std::move(f.Note)
                                                               : std::move(f.Product)));
        };
        // Both lists are in the order of their first lines; merge them.
        std::size_t c = 0;
        for (TFeature &g : m_genes) {
            for (; c < m_cds.size() && m_cds[c].FirstLine < g.FirstLine; ++c)
                if (keep(m_cds[c]))
                    add(m_cds[c]);
            add(g);
        }
        for (; c < m_cds.size(); ++c)
            if (keep(m_cds[c]))
                add(m_cds[c]);
        return out;
    }

    TLineReader &m_lines;
    TRecordBuilder m_builder;
    TNameTable m_geneIds;
    TNameTable m_cdsKeys;
    std::vector<qint32> m_geneOfId;
    std::vector<qint32> m_cdsOfKey;
    std::vector<TFeature> m_genes;
    std::vector<TFeature> m_cds;
    std::vector<bool> m_hasGenes; // by chromosome index
    std::vector<std::pair<QByteArray, QByteArray>> m_childProducts;
    QHash<QByteArray, QByteArray> m_parents; // transcript ID -> its Parent
    QByteArray m_scratch;
};

} // namespace

bool IsGff3VersionLine(QByteArrayView line)
{
    if (!line.startsWith("##gff-version"))
        return false;
    const QByteArrayView rest = TrimBytesView(line.sliced(13));
    return rest == "3" || rest.startsWith("3.");
}

std::vector<tGene> ReadGff3(TLineReader &lines)
{
    return TGff3Reader(lines).read();
}
