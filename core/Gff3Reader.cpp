// The GFF3 reader. Genes and the fallbacks (CDS groups, transcripts, exon groups) are collected
// in the order of their first line; the choice between them is made per sequence once the whole
// file is read, and so are the products a gene takes from its children, since GFF3 allows a
// child before its parent. Transcripts and exons are collected only on sequences that have shown
// no gene or CDS so far, so that a file of genes does not keep its exons.
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

// What a feature gives a record as, in the order of preference on one sequence: genes, else CDS
// groups, else transcripts (mRNA, transcript and the other RNA types), else exon groups.
enum class TLevel : quint8
{
    Gene,
    Cds,
    Transcript,
    Exon,
    None
};

TLevel LevelOf(QByteArrayView type)
{
    if (Is(type, "gene") || Is(type, "pseudogene") || Is(type, "ncRNA_gene"))
        return TLevel::Gene;
    if (Is(type, "CDS"))
        return TLevel::Cds;
    if (Is(type, "exon"))
        return TLevel::Exon;
    if (Is(type, "transcript") || type.endsWith("RNA") || type.endsWith("_transcript"))
        return TLevel::Transcript;
    return TLevel::None;
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
    // Genes or a fallback as records while the file is read: Start <= End until the end, the
    // chromosome's index in ChromosomeIndex, the product (when known) in Comment.
    struct TFeatures
    {
        std::vector<tGene> Records;
        TIdIndex Keys;
        std::vector<qint32> RecordOfKey;
        std::vector<std::pair<qint32, QByteArray>> Notes; // Note or description, by record
        TRecordIds Ids;                                   // by record, for a homology source
        // Of a fallback, by record: the genes before its first line, and its place among the
        // fallbacks' records.
        std::vector<std::pair<std::size_t, qint64>> Place;
    };
    static constexpr int kFallbacks = 3; // CDS, transcript, exon

    TFeatures &features(TLevel level)
    {
        return level == TLevel::Gene ? m_genes : m_fallbacks[int(level) - 1];
    }

    // The most preferred level a sequence has shown so far.
    TLevel bestLevel(qint32 chromosome) const
    {
        return std::size_t(chromosome) < m_best.size() ? m_best[std::size_t(chromosome)]
                                                       : TLevel::None;
    }

    // A line that waits between its parsing and its look-ups.
    struct TPending
    {
        qint64 Line = 0;
        TLevel Level = TLevel::Gene;
        qint32 Chromosome = 0;
        qint32 Start = 0;
        qint32 End = 0;
        qint32 Strand = 0;
        std::string Key; // ID (else Parent for a CDS), Parent (else ID) for an exon; may be empty
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

        const TLevel level = LevelOf(c[2]);
        const bool gene = level == TLevel::Gene;
        const bool cds = level == TLevel::Cds;
        if (!gene && !cds) {
            // Children of genes: their products, and the links from a transcript to its gene.
            if (!a.Parent.isEmpty() && !a.Product.isEmpty())
                m_childProducts.push_back({a.Parent.toByteArray(), a.Product.toByteArray()});
            if (!a.Parent.isEmpty() && !a.Id.isEmpty())
                addTranscript(a.Id, a.Parent);
            if (level == TLevel::None)
                return;
        }
        const qint32 chromosome = m_builder.chromosome(Decoded(c[0], m_scratch));
        if (bestLevel(chromosome) < level && !cds)
            return; // a transcript or exon where something better gives the records
        if (std::size_t(chromosome) >= m_best.size())
            m_best.resize(std::size_t(chromosome) + 1, TLevel::None);
        m_best[std::size_t(chromosome)] = std::min(m_best[std::size_t(chromosome)], level);
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

        // The line waits in the batch for its look-ups; the rest is done now.
        TPending &p = m_pending[m_pendingCount];
        p.Line = m_lines.lineNumber();
        p.Level = level;
        p.Start = start;
        p.End = end;
        p.Strand = strand;
        p.Chromosome = chromosome;
        // Lines of one ID are the parts of one feature; a CDS without an ID is grouped by its
        // Parent, exons (each of its own ID) by their Parent.
        const bool exon = level == TLevel::Exon;
        const QByteArrayView key = exon              ? (!a.Parent.isEmpty() ? a.Parent : a.Id)
                                   : !a.Id.isEmpty() ? a.Id
                                   : cds             ? a.Parent
                                                     : QByteArrayView();
        p.Key.assign(key.data(), std::size_t(key.size()));
        p.KeyHash = TIdIndex::Hash(key);
        if (!key.isEmpty())
            features(level).Keys.prefetch(p.KeyHash);
        // An exon's Name names the exon, not the transcript its group stands for.
        const QByteArrayView name = !a.Name.isEmpty() && !exon ? a.Name
                                    : !a.Gene.isEmpty()        ? a.Gene
                                    : !a.LocusTag.isEmpty()    ? a.LocusTag
                                                               : key;
        p.NameHash = m_builder.geneKey(Decoded(name, m_scratch), p.Name);
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
                features(p.Level).Keys.prefetchCandidate(p.KeyHash);
            m_builder.prefetchGeneName(p.NameHash);
        }
        const int count = m_pendingCount;
        m_pendingCount = 0;
        for (int k = 0; k < count; ++k)
            add(m_pending[k]);
    }

    void add(TPending &p)
    {
        TFeatures &features = this->features(p.Level);
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
        if (p.Level != TLevel::Gene)
            features.Place.push_back({m_genes.Records.size(), m_fallbackCount++});
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
                const TFeatures &cds = m_fallbacks[0];
                const qint32 k = cds.Keys.find(part.Key);
                if (k >= 0)
                    record = cdsPlace[std::size_t(cds.RecordOfKey[std::size_t(k)])];
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

    // The fallback whose next record (at[k] in m_fallbacks[k]) came first, or -1 when none is
    // left.
    int nextFallback(const std::size_t (&at)[kFallbacks]) const
    {
        int first = -1;
        for (int k = 0; k < kFallbacks; ++k) {
            const auto &place = m_fallbacks[k].Place;
            if (at[k] < place.size() &&
                (first < 0 || place[at[k]].second < m_fallbacks[first].Place[at[first]].second))
                first = k;
        }
        return first;
    }

    std::vector<tGene> records()
    {
        takeChildProducts();
        TakeNotes(m_genes);
        for (TFeatures &f : m_fallbacks)
            TakeNotes(f);
        const auto finish = [](tGene &r) {
            if (r.Strand == -1)
                std::swap(r.Start, r.End);
            r.ChromosomeIndex = 0;
        };
        // A fallback's record is kept where its sequence has nothing more preferred.
        const auto keep = [&](const tGene &r, int k) {
            return bestLevel(r.ChromosomeIndex) == TLevel(k + 1);
        };
        std::vector<tGene> &genes = m_genes.Records;
        for (tGene &r : genes)
            finish(r);
        bool anyKept = false;
        for (int k = 0; k < kFallbacks; ++k)
            for (const tGene &r : m_fallbacks[k].Records)
                anyKept = anyKept || keep(r, k);
        std::vector<qint64> genePlace, place[kFallbacks];
        if (m_ids) {
            takeChildProteinIds();
            genePlace.resize(genes.size());
            for (std::size_t g = 0; g < genes.size(); ++g)
                genePlace[g] = qint64(g);
            for (int k = 0; k < kFallbacks; ++k)
                place[k].assign(m_fallbacks[k].Records.size(), -1);
        }
        const auto keepIds = [&] {
            if (!m_ids)
                return;
            m_ids->takeRenumbered(m_genes.Ids, genePlace);
            for (int k = 0; k < kFallbacks; ++k)
                m_ids->takeRenumbered(m_fallbacks[k].Ids, place[k]);
            keepCdsParts(genePlace, place[0]);
        };
        if (!anyKept) {
            keepIds();
            return std::move(genes);
        }
        // All lists are in the order of their first lines; merge them.
        std::vector<tGene> out;
        out.reserve(genes.size() + m_fallbacks[0].Records.size());
        std::size_t g = 0;
        const auto genesUpTo = [&](std::size_t end) {
            for (; g < end; ++g) {
                if (m_ids)
                    genePlace[g] = qint64(out.size());
                out.push_back(std::move(genes[g]));
            }
        };
        std::size_t at[kFallbacks] = {};
        for (int k; (k = nextFallback(at)) >= 0; ++at[k]) {
            TFeatures &f = m_fallbacks[k];
            tGene &r = f.Records[at[k]];
            if (!keep(r, k))
                continue;
            genesUpTo(f.Place[at[k]].first);
            finish(r);
            if (m_ids)
                place[k][at[k]] = qint64(out.size());
            out.push_back(std::move(r));
        }
        genesUpTo(genes.size());
        keepIds();
        return out;
    }

    TLineReader &m_lines;
    TRecordIds *m_ids;
    TRecordBuilder m_builder;
    TFeatures m_genes;
    TFeatures m_fallbacks[kFallbacks]; // by level after the genes
    qint64 m_fallbackCount = 0;        // records of the fallbacks so far
    std::vector<TLevel> m_best;        // by chromosome index, see bestLevel()
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

bool IsGffFrame(QByteArrayView column)
{
    return column == "." || column == "0" || column == "1" || column == "2";
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
