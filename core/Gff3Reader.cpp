// The GFF3 reader. Genes and CDS groups are collected in the order of their first line; the
// choice between them is made per sequence once the whole file is read, and so are the products
// a gene takes from its children, since GFF3 allows a child before its parent.
//
// A gene line costs no allocation besides its record's comment: IDs go to an arena index, names
// are interned. Gene and CDS lines are looked up a batch at a time, as in the coordinate file
// reader: the first pass parses each line and asks for the slots of its ID and gene name, the
// second asks for the names those slots hold, the third looks the lines up in file order. The
// first two passes only warm the cache, so a batch gives the same records as one line at a time.
#include "core/FeatureReaders.h"

#include "core/RecordIds.h"
#include "core/RecordMemory.h"
#include "util/StringOps.h"

#include <QByteArrayList>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

namespace {

// The attributes a record uses, still percent-encoded.
struct TAttributes
{
    QByteArrayView Id, Parent, Name, Gene, LocusTag, Product, Note, Description, ProteinId;
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
        const auto *semicolon =
            static_cast<const char *>(std::memchr(p, ';', std::size_t(end - p)));
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
            case 10:
                if (Is(tag, "protein_id"))
                    a.ProteinId = value;
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

class TGff3Reader
{
public:
    TGff3Reader(TLineReader &lines, TRecordIds *ids) : m_lines(lines), m_ids(ids)
    {
        // Room for a file of gene lines only; what is not filled takes no memory.
        const qint64 lineLength = 80;
        std::vector<tGene> &records = m_genes.Records;
        try {
            records.reserve(std::size_t(std::min<qint64>(lines.sizeHint() / lineLength, 1 << 26)));
            AdviseHugePages(records);
        } catch (const std::bad_alloc &) {
        }
    }

    std::vector<tGene> read()
    {
        QByteArrayView line;
        while (m_lines.next(line)) {
            if (TrimBytesView(line).isEmpty())
                continue;
            if (line[0] == '#') {
                if (line.startsWith("##FASTA")) {
                    readSequences(nullptr);
                    break;
                }
                if (line.startsWith("##gff-version") && !IsGff3VersionLine(line))
                    m_lines.fail(QStringLiteral("version \"%1\" is not read (3 or 3.x expected)")
                                     .arg(QString::fromUtf8(TrimBytesView(line.sliced(13)))));
                continue;
            }
            if (line[0] == '>') {
                readSequences(&line);
                break;
            }
            try {
                parseLine(line);
            } catch (const TFormatError &) {
                flush(); // an error of an earlier line comes first
                throw;
            }
        }
        flush();
        return records();
    }

private:
    // Genes or CDS groups as records while the file is read: Start <= End until the end, the
    // chromosome's index in ChromosomeIndex, the product (when known) in Comment.
    struct TFeatures
    {
        std::vector<tGene> Records;
        TIdIndex Keys;
        std::vector<qint32> RecordOfKey;
        std::vector<std::pair<qint32, QByteArray>> Notes; // Note or description, by record
        TRecordIds Ids;                                   // by record, for a homology source
    };

    // A gene or CDS line between its parsing and its look-ups.
    struct TPending
    {
        qint64 Line = 0;
        bool Gene = false;
        qint32 Chromosome = 0;
        qint32 Start = 0;
        qint32 End = 0;
        qint32 Strand = 0;
        std::string Key; // ID, or Parent for a CDS; empty for none
        quint64 KeyHash = 0;
        std::string Name; // trimmed and upper-cased
        quint64 NameHash = 0;
        QByteArray Product, Note;
        std::vector<QByteArray> Ids; // decoded, for a homology source only
    };
    static constexpr int kBatch = 16;

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
        if (SplitGffColumns(line, c) != 9)
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
        const bool cds = !gene && Is(type, "CDS");
        if (!gene && !cds) {
            // Children of genes: their products, and the links from a transcript to its gene.
            if (!a.Parent.isEmpty() && !a.Product.isEmpty())
                m_childProducts.push_back({a.Parent.toByteArray(), a.Product.toByteArray()});
            if (!a.Parent.isEmpty() && !a.Id.isEmpty())
                addTranscript(a.Id, a.Parent);
            return;
        }
        if (cds && !a.Parent.isEmpty() && !a.Product.isEmpty())
            m_childProducts.push_back({a.Parent.toByteArray(), a.Product.toByteArray()});
        if (m_ids && cds && !a.Parent.isEmpty() && !a.ProteinId.isEmpty())
            m_childProteinIds.push_back({a.Parent.toByteArray(), PercentDecoded(a.ProteinId)});
        if (m_ids && m_ids->wantsProteins() && cds) {
            const char phase = c[7].size() == 1 ? c[7][0] : '0';
            m_cdsParts.push_back({a.Parent.toByteArray(),
                                  (a.Id.isEmpty() ? a.Parent : a.Id).toByteArray(),
                                  PercentDecoded(c[0]), start, end, strand,
                                  phase >= '0' && phase <= '2' ? phase - '0' : 0});
        }

        // A gene or CDS line waits in the batch for its look-ups; the rest is done now.
        TPending &p = m_pending[m_pendingCount];
        p.Line = m_lines.lineNumber();
        p.Gene = gene;
        p.Start = start;
        p.End = end;
        p.Strand = strand;
        // Lines of one ID are the parts of one feature; a CDS without an ID is grouped by its
        // Parent.
        const QByteArrayView key = !a.Id.isEmpty() ? a.Id : cds ? a.Parent : QByteArrayView();
        p.Key.assign(key.data(), std::size_t(key.size()));
        p.KeyHash = TIdIndex::Hash(key);
        if (!key.isEmpty())
            (gene ? m_genes : m_cds).Keys.prefetch(p.KeyHash);
        const QByteArrayView name = !a.Name.isEmpty()       ? a.Name
                                    : !a.Gene.isEmpty()     ? a.Gene
                                    : !a.LocusTag.isEmpty() ? a.LocusTag
                                                            : key;
        p.NameHash = m_builder.geneKey(Decoded(name, m_scratch), p.Name);
        p.Chromosome = m_builder.chromosome(Decoded(c[0], m_scratch));
        if (gene) {
            if (std::size_t(p.Chromosome) >= m_hasGenes.size())
                m_hasGenes.resize(std::size_t(p.Chromosome) + 1, false);
            m_hasGenes[std::size_t(p.Chromosome)] = true;
        }
        p.Product.clear();
        p.Note.clear();
        p.Ids.clear();
        if (m_ids)
            for (QByteArrayView id : {a.Id, a.Name, a.Gene, a.LocusTag, a.ProteinId})
                if (!id.isEmpty())
                    p.Ids.push_back(PercentDecoded(id));
        if (!a.Product.isEmpty()) {
            p.Product = TRecordBuilder::comment(Decoded(a.Product, m_scratch));
        } else {
            const QByteArrayView note = !a.Note.isEmpty() ? a.Note : a.Description;
            if (!note.isEmpty())
                p.Note = TRecordBuilder::comment(Decoded(note, m_scratch));
        }
        if (++m_pendingCount == kBatch)
            flush();
    }

    // The second and third passes over the batch: ask for the names the slots hold, then look
    // the lines up in file order.
    void flush()
    {
        for (int k = 0; k < m_pendingCount; ++k) {
            const TPending &p = m_pending[k];
            if (!p.Key.empty())
                (p.Gene ? m_genes : m_cds).Keys.prefetchCandidate(p.KeyHash);
            m_builder.prefetchGeneName(p.NameHash);
        }
        const int count = m_pendingCount;
        m_pendingCount = 0;
        for (int k = 0; k < count; ++k)
            add(m_pending[k]);
    }

    void add(TPending &p)
    {
        TFeatures &features = p.Gene ? m_genes : m_cds;
        if (!p.Key.empty()) {
            const qint32 k = features.Keys.findOrAdd(
                QByteArrayView(p.Key.data(), qsizetype(p.Key.size())), p.KeyHash);
            if (std::size_t(k) < features.RecordOfKey.size()) {
                const qint32 n = features.RecordOfKey[std::size_t(k)];
                tGene &r = features.Records[std::size_t(n)];
                if (r.ChromosomeIndex != p.Chromosome)
                    throw TFormatError{
                        p.Line, QStringLiteral("parts of one feature on different sequences")};
                r.Start = std::min(r.Start, p.Start);
                r.End = std::max(r.End, p.End);
                addText(features, n, p);
                for (const QByteArray &id : p.Ids)
                    features.Ids.add(std::size_t(n), id);
                return;
            }
            features.RecordOfKey.push_back(qint32(features.Records.size()));
        }
        if (!p.Gene)
            m_genesBeforeCds.push_back(m_genes.Records.size());
        features.Records.push_back(tGene{m_builder.chromosomeName(p.Chromosome), p.Chromosome, 0,
                                         p.Start, p.End, p.Strand, -1,
                                         m_builder.geneName(p.Name, p.NameHash), QByteArray()});
        addText(features, qint32(features.Records.size() - 1), p);
        for (const QByteArray &id : p.Ids)
            features.Ids.add(features.Records.size() - 1, id);
    }

    void addText(TFeatures &features, qint32 n, TPending &p)
    {
        QByteArray &comment = features.Records[std::size_t(n)].Comment;
        if (!comment.isEmpty())
            return;
        if (!p.Product.isEmpty())
            comment = std::move(p.Product);
        else if (!p.Note.isEmpty())
            features.Notes.push_back({n, std::move(p.Note)});
    }

    // The gene (index in m_genes) with this ID, or -1.
    qint32 geneOf(QByteArrayView id) const
    {
        const qint32 k = m_genes.Keys.find(id);
        return k < 0 ? -1 : m_genes.RecordOfKey[std::size_t(k)];
    }

    // The link from a transcript to its genes; a later line of the same ID replaces it.
    void addTranscript(QByteArrayView id, QByteArrayView parents)
    {
        // The index grows with its own vectors, which report running out of memory by throwing,
        // so that a huge file fails with a message instead of taking the program with it.
        const qint32 k = m_transcripts.findOrAdd(id, TIdIndex::Hash(id));
        if (std::size_t(k) == m_transcriptParents.size())
            m_transcriptParents.push_back(parents.toByteArray());
        else
            m_transcriptParents[std::size_t(k)] = parents.toByteArray();
    }

    // Genes without a product take the first product of a child or grandchild, in file order.
    // Once a transcript has passed a product to its genes, later children of it cannot change
    // them, so its list of genes is gone through once: a transcript of many genes with many
    // children stays linear.
    void takeChildProducts()
    {
        std::vector<bool> passed(m_transcriptParents.size(), false);
        for (const auto &[parents, product] : m_childProducts) {
            const QByteArray comment = TRecordBuilder::comment(Decoded(product, m_scratch));
            if (comment.isEmpty())
                continue;
            for (const QByteArray &parent : parents.split(',')) {
                const qint32 g = geneOf(parent);
                if (g >= 0) {
                    setChildProduct(g, comment);
                    continue;
                }
                const qint32 t = m_transcripts.find(parent);
                if (t < 0 || passed[std::size_t(t)])
                    continue;
                passed[std::size_t(t)] = true;
                for (const QByteArray &grand : m_transcriptParents[std::size_t(t)].split(','))
                    if (const qint32 gg = geneOf(grand); gg >= 0)
                        setChildProduct(gg, comment);
            }
        }
    }

    // The gene of a Parent: the gene itself, or the gene of a transcript.
    qint32 geneOfParent(const QByteArray &parent) const
    {
        const qint32 g = geneOf(parent);
        if (g >= 0)
            return g;
        const qint32 t = m_transcripts.find(parent);
        return t < 0 ? -1 : geneOf(m_transcriptParents[std::size_t(t)].split(',').front());
    }

    // The sequences of the ##FASTA section, for the proteins of the CDS; first is the header
    // line already read, if any.
    void readSequences(const QByteArrayView *first)
    {
        if (!m_ids || !m_ids->wantsProteins())
            return;
        QByteArray name, bases;
        const auto keep = [&] {
            if (!name.isEmpty())
                m_ids->addSequence(name, std::move(bases));
            bases.clear();
        };
        const auto header = [&](QByteArrayView line) {
            keep();
            line = TrimBytesView(line.sliced(1));
            qsizetype end = 0;
            while (end < line.size() && !IsTrimByte(line[end]))
                ++end;
            name = line.first(end).toByteArray();
        };
        if (first)
            header(*first);
        QByteArrayView line;
        while (m_lines.next(line)) {
            if (line.startsWith('>'))
                header(line);
            else
                for (char c : line)
                    if (!IsTrimByte(c))
                        bases += UpperAZ(c);
        }
        keep();
    }

    // Each record's CDS parts, for its protein: a gene takes those of its first transcript
    // (or of CDS that name it as Parent), a CDS record its own.
    void keepCdsParts(const std::vector<qint64> &genePlace, const std::vector<qint64> &cdsPlace)
    {
        QHash<qint64, QByteArray> transcriptOf; // record -> the Parent its parts come from
        for (const TCdsLine &part : m_cdsParts) {
            qint64 record = -1;
            for (const QByteArray &parent : part.Parent.split(',')) {
                const qint32 g = geneOfParent(parent);
                if (g >= 0) {
                    record = genePlace[std::size_t(g)];
                    break;
                }
            }
            if (record < 0) {
                const qint32 k = m_cds.Keys.find(part.Key);
                if (k >= 0)
                    record = cdsPlace[std::size_t(m_cds.RecordOfKey[std::size_t(k)])];
            }
            if (record < 0)
                continue;
            const auto it = transcriptOf.constFind(record);
            if (it == transcriptOf.constEnd())
                transcriptOf.insert(record, part.Parent);
            else if (it.value() != part.Parent)
                continue;
            m_ids->addCdsPart(std::size_t(record), part.Seqid, part.Start, part.End, part.Strand,
                              part.Phase);
        }
    }

    // Genes take the protein_id of their CDS, child or grandchild.
    void takeChildProteinIds()
    {
        for (const auto &[parents, id] : m_childProteinIds) {
            for (const QByteArray &parent : parents.split(',')) {
                const qint32 g = geneOfParent(parent);
                if (g >= 0)
                    m_genes.Ids.add(std::size_t(g), id);
            }
        }
    }

    void setChildProduct(qint32 g, const QByteArray &product)
    {
        QByteArray &comment = m_genes.Records[std::size_t(g)].Comment;
        if (comment.isEmpty())
            comment = product;
    }

    // Notes go where no product came, the first note of a feature first.
    static void TakeNotes(TFeatures &features)
    {
        for (auto &[n, note] : features.Notes) {
            QByteArray &comment = features.Records[std::size_t(n)].Comment;
            if (comment.isEmpty())
                comment = std::move(note);
        }
    }

    std::vector<tGene> records()
    {
        takeChildProducts();
        TakeNotes(m_genes);
        TakeNotes(m_cds);
        const auto finish = [](tGene &r) {
            if (r.Strand == -1)
                std::swap(r.Start, r.End);
            r.ChromosomeIndex = 0;
        };
        const auto keep = [&](const tGene &r) {
            return std::size_t(r.ChromosomeIndex) >= m_hasGenes.size() ||
                   !m_hasGenes[std::size_t(r.ChromosomeIndex)];
        };
        std::vector<tGene> &genes = m_genes.Records;
        for (tGene &r : genes)
            finish(r);
        bool anyCds = false;
        for (const tGene &r : m_cds.Records)
            anyCds = anyCds || keep(r);
        std::vector<qint64> genePlace, cdsPlace;
        if (m_ids) {
            takeChildProteinIds();
            genePlace.resize(genes.size());
            cdsPlace.assign(m_cds.Records.size(), -1);
            for (std::size_t g = 0; g < genes.size(); ++g)
                genePlace[g] = qint64(g);
        }
        const auto keepIds = [&] {
            if (!m_ids)
                return;
            m_ids->takeRenumbered(m_genes.Ids, genePlace);
            m_ids->takeRenumbered(m_cds.Ids, cdsPlace);
            keepCdsParts(genePlace, cdsPlace);
        };
        if (!anyCds) {
            keepIds();
            return std::move(genes);
        }
        // Both lists are in the order of their first lines; merge them.
        std::vector<tGene> out;
        out.reserve(genes.size() + m_cds.Records.size());
        std::size_t g = 0;
        for (std::size_t c = 0; c < m_cds.Records.size(); ++c) {
            for (; g < m_genesBeforeCds[c]; ++g) {
                if (m_ids)
                    genePlace[g] = qint64(out.size());
                out.push_back(std::move(genes[g]));
            }
            tGene &r = m_cds.Records[c];
            if (keep(r)) {
                finish(r);
                if (m_ids)
                    cdsPlace[c] = qint64(out.size());
                out.push_back(std::move(r));
            }
        }
        for (; g < genes.size(); ++g) {
            if (m_ids)
                genePlace[g] = qint64(out.size());
            out.push_back(std::move(genes[g]));
        }
        keepIds();
        return out;
    }

    TLineReader &m_lines;
    TRecordIds *m_ids;
    TRecordBuilder m_builder;
    TFeatures m_genes;
    TFeatures m_cds;
    std::vector<std::size_t> m_genesBeforeCds; // by CDS group
    std::vector<bool> m_hasGenes;              // by chromosome index
    std::vector<std::pair<QByteArray, QByteArray>> m_childProducts;
    std::vector<std::pair<QByteArray, QByteArray>> m_childProteinIds; // Parent, protein_id
    struct TCdsLine
    {
        QByteArray Parent, Key, Seqid;
        qint32 Start, End, Strand, Phase;
    };
    std::vector<TCdsLine> m_cdsParts;            // only when proteins are asked for
    TIdIndex m_transcripts;                      // IDs of the features that have a Parent
    std::vector<QByteArray> m_transcriptParents; // by transcript: its Parent
    QByteArray m_scratch;
    TPending m_pending[kBatch];
    int m_pendingCount = 0;
};

} // namespace

int SplitGffColumns(QByteArrayView line, QByteArrayView *columns)
{
    const int count = SplitColumns(line, '\t', columns, 10);
    return count == 10 && TrimBytesView(columns[9]).isEmpty() ? 9 : count;
}

bool IsGff3VersionLine(QByteArrayView line)
{
    if (!line.startsWith("##gff-version"))
        return false;
    const QByteArrayView rest = TrimBytesView(line.sliced(13));
    return rest == "3" || rest.startsWith("3.");
}

std::vector<tGene> ReadGff3(TLineReader &lines, TRecordIds *ids)
{
    return TGff3Reader(lines, ids).read();
}
