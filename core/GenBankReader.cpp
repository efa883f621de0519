// The GenBank flat file reader, also for EMBL. Only the feature table is read: a feature key line
// starts with five spaces, its qualifiers and the rest of a long location follow on lines indented
// further. EMBL writes the same table behind "FT" in the first two columns, so its lines are read
// as GenBank's with those two columns blanked. A quoted qualifier value may span lines and hold
// any text, a "/" at a line start included, so the reader follows the quotes. A record must end
// with "//": a cut file is an error, never a partial map.
#include "core/FeatureReaders.h"

#include "core/RecordIds.h"

#include "util/StringOps.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

bool IsRecordEnd(QByteArrayView line)
{
    return line.startsWith("//") && TrimBytesView(line.sliced(2)).isEmpty();
}

bool IsKeyword(QByteArrayView line, QByteArrayView word)
{
    return line.startsWith(word) && (line.size() == word.size() || IsTrimByte(line[word.size()]));
}

bool IsNameByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.';
}

// The parts of a feature location: ranges a..b, single bases, a^b, the partial marks < and >
// (ignored), complement(), join() and order() nested in any way, parts on other entries
// (accession:range, left out). Iterative, so that nesting depth costs no stack. Strand -1 when
// every part is complemented. False with the reason for a broken location.
struct TPart
{
    qint32 First = 0;
    qint32 Second = 0;
    bool Between = false; // a..b is a range, a^b a site between two bases
    bool Inner = false;   // complemented inside the join that lists it: listed from its end
};

bool ParseLocation(QByteArrayView text, std::vector<TPart> &parts, qint32 &strand, QString &reason)
{
    const QString bad = QStringLiteral("bad location");
    parts.clear();
    std::vector<char> open;             // 'c' for complement(, 'j' for join( and order(
    std::vector<int> complementsAtJoin; // the complements open at each open join
    int complements = 0;
    bool allComplemented = true;
    bool operand = true;
    qsizetype i = 0;
    const qsizetype n = text.size();
    const auto position = [&](qint32 &value) {
        if (i < n && (text[i] == '<' || text[i] == '>'))
            ++i;
        const qsizetype from = i;
        while (i < n && text[i] >= '0' && text[i] <= '9')
            ++i;
        return ReadPosition(text.sliced(from, i - from), value);
    };
    while (i < n) {
        const char c = text[i];
        if (c == ' ') {
            ++i;
            continue;
        }
        if (!operand) {
            if (c == ',' && !open.empty() && open.back() == 'j') {
                operand = true;
            } else if (c == ')') {
                if (open.empty()) {
                    reason = QStringLiteral("unbalanced parentheses in the location");
                    return false;
                }
                if (open.back() == 'c')
                    --complements;
                else
                    complementsAtJoin.pop_back();
                open.pop_back();
            } else {
                reason = bad;
                return false;
            }
            ++i;
            continue;
        }
        bool remote = false;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            const qsizetype from = i;
            while (i < n && IsNameByte(text[i]))
                ++i;
            const QByteArrayView word = text.sliced(from, i - from);
            if (i < n && text[i] == '(' &&
                (word == "complement" || word == "join" || word == "order")) {
                if (word == "complement") {
                    open.push_back('c');
                    ++complements;
                } else {
                    open.push_back('j');
                    complementsAtJoin.push_back(complements);
                }
                ++i;
                continue;
            }
            if (i == n || text[i] != ':') {
                reason = bad;
                return false;
            }
            ++i;
            remote = true;
        }
        TPart part;
        if (!position(part.First)) {
            reason = bad;
            return false;
        }
        part.Second = part.First;
        if (i + 1 < n && text[i] == '.' && text[i + 1] == '.') {
            i += 2;
            if (!position(part.Second)) {
                reason = bad;
                return false;
            }
        } else if (i < n && (text[i] == '^' || text[i] == '.')) {
            part.Between = text[i] == '^';
            ++i;
            if (!position(part.Second)) {
                reason = bad;
                return false;
            }
        }
        if (!remote) {
            const int inner =
                complements - (complementsAtJoin.empty() ? 0 : complementsAtJoin.back());
            part.Inner = !complementsAtJoin.empty() && inner % 2 == 1;
            parts.push_back(part);
            allComplemented = allComplemented && complements % 2 == 1;
        }
        operand = false;
    }
    if (!open.empty()) {
        reason = QStringLiteral("unbalanced parentheses in the location");
        return false;
    }
    if (operand) {
        reason = bad;
        return false;
    }
    strand = allComplemented ? -1 : 1;
    return true;
}

// The span of the parts, Start <= End. On a circular record of the given length a part a..b with
// a above b runs on past the origin, and so does a join whose parts step over the record's end:
// a part ends at the length and the next begins at 1 (when the parts are complemented one by one,
// and so listed from their ends, a part begins at 1 and the next ends at the length). What lies
// past the origin is moved one length on, so that the span keeps the feature's length. Any other
// join, a trans-spliced gene's parts far apart included, takes its outer bounds. On a linear
// record a..b with a above b is an error.
struct TSpan
{
    qint32 Start = 0;
    qint32 End = 0;
};

bool PartsSpan(const std::vector<TPart> &parts, bool circular, qint32 length, TSpan &span,
               QString &reason)
{
    const bool fromEnds =
        std::all_of(parts.begin(), parts.end(), [](const TPart &p) { return p.Inner; });
    // Parts that lie past the origin: in listed order after the wrap, or before it when the
    // parts are listed from their ends.
    std::size_t wrap = parts.size();
    for (std::size_t k = 0; k < parts.size(); ++k) {
        const TPart &p = parts[k];
        if (p.First > p.Second && !(p.Between && !circular)) {
            if (!circular) {
                reason = QStringLiteral("the start %1 is after the end %2 on a linear record")
                             .arg(p.First)
                             .arg(p.Second);
                return false;
            }
            wrap = k;
            break;
        }
        if (k == 0 || !circular || length <= 0)
            continue;
        const TPart &q = parts[k - 1];
        const qint32 low = std::min(p.First, p.Second), high = std::max(p.First, p.Second);
        const qint32 qLow = std::min(q.First, q.Second), qHigh = std::max(q.First, q.Second);
        if (fromEnds ? qLow == 1 && high == length : qHigh == length && low == 1) {
            wrap = k;
            break;
        }
    }
    if (wrap < parts.size() && length <= 0) {
        reason = QStringLiteral("a location across the origin needs the record's length");
        return false;
    }
    bool first = true;
    for (std::size_t k = 0; k < parts.size(); ++k) {
        const TPart &p = parts[k];
        qint64 low = std::min(p.First, p.Second), high = std::max(p.First, p.Second);
        if (k == wrap && p.First > p.Second) {
            low = p.First;
            high = qint64(p.Second) + length;
        } else if (wrap < parts.size() && (fromEnds ? k < wrap : k >= wrap)) {
            low += length;
            high += length;
        }
        if (high > std::numeric_limits<qint32>::max()) {
            reason = QStringLiteral("the location runs past position 2147483647");
            return false;
        }
        span.Start = first ? qint32(low) : std::min(span.Start, qint32(low));
        span.End = first ? qint32(high) : std::max(span.End, qint32(high));
        first = false;
    }
    return true;
}

enum class TQualifier
{
    None,
    Gene,
    LocusTag,
    Label,
    ProteinId,
    StandardName,
    OldLocusTag,
    Product,
    Organism,
    Translation
};

TQualifier QualifierOf(QByteArrayView name)
{
    static const std::pair<const char *, TQualifier> kNames[] = {
        {"gene", TQualifier::Gene},
        {"locus_tag", TQualifier::LocusTag},
        {"label", TQualifier::Label},
        {"protein_id", TQualifier::ProteinId},
        {"standard_name", TQualifier::StandardName},
        {"old_locus_tag", TQualifier::OldLocusTag},
        {"product", TQualifier::Product},
        {"organism", TQualifier::Organism},
        {"translation", TQualifier::Translation}};
    for (const auto &[text, qualifier] : kNames)
        if (name == text)
            return qualifier;
    return TQualifier::None;
}

struct TGbFeature
{
    qint32 Start = 0;
    qint32 End = 0;
    qint32 Strand = 1;
    QByteArray Gene, LocusTag, Label, ProteinId, StandardName, OldLocusTag, Product, Organism;
    QByteArray Translation; // read only for a homology source that asks for proteins

    QByteArray &slot(TQualifier q)
    {
        switch (q) {
        case TQualifier::Gene:
            return Gene;
        case TQualifier::LocusTag:
            return LocusTag;
        case TQualifier::Label:
            return Label;
        case TQualifier::ProteinId:
            return ProteinId;
        case TQualifier::StandardName:
            return StandardName;
        case TQualifier::OldLocusTag:
            return OldLocusTag;
        case TQualifier::Organism:
            return Organism;
        case TQualifier::Translation:
            return Translation;
        case TQualifier::Product:
        case TQualifier::None:
            break;
        }
        return Product;
    }

    // The name shown: the first of /gene, /locus_tag, /label, /protein_id, /standard_name and
    // /old_locus_tag the feature has.
    const QByteArray &name() const
    {
        for (const QByteArray *q : {&Gene, &LocusTag, &Label, &ProteinId, &StandardName})
            if (!q->isEmpty())
                return *q;
        return OldLocusTag;
    }
};

// The features a record gives its rows from, in this order of preference: genes, else CDS, else
// RNA (mRNA among them) and mobile elements, else the source.
enum class TKind
{
    None,
    Gene,
    Cds,
    Other,
    Source
};

TKind KindOf(QByteArrayView key)
{
    if (key == "gene")
        return TKind::Gene;
    if (key == "CDS")
        return TKind::Cds;
    if (key == "mRNA" || key == "rRNA" || key == "tRNA" || key == "ncRNA" || key == "misc_RNA" ||
        key == "tmRNA" || key == "mobile_element")
        return TKind::Other;
    if (key == "source")
        return TKind::Source;
    return TKind::None;
}

class TGenBankReader
{
public:
    TGenBankReader(TLineReader &lines, bool embl, TRecordIds *ids, TChromosomeAliases *aliases)
        : m_lines(lines), m_ids(ids), m_aliases(aliases), m_embl(embl),
          m_start(embl ? "ID" : "LOCUS")
    {
    }

    std::vector<tGene> read()
    {
        QByteArrayView line;
        while (m_lines.next(line)) {
            switch (m_state) {
            case TState::Between:
                if (TrimBytesView(line).isEmpty())
                    break;
                if (!IsKeyword(line, m_start)) {
                    // A release file's header comes before its first record.
                    if (m_recordCount == 0)
                        break;
                    m_lines.fail(QStringLiteral("text outside a record (%1 expected)")
                                     .arg(QString::fromLatin1(m_start)));
                }
                startRecord(line);
                break;
            case TState::Header:
            case TState::Rest:
                if (IsRecordEnd(line))
                    endRecord();
                else if (IsKeyword(line, m_start))
                    failStartInside();
                else if (m_state == TState::Header && m_embl && line.startsWith("FT"))
                    featureLine(emblLine(line));
                else if (m_state == TState::Header && !m_embl && IsKeyword(line, "FEATURES"))
                    m_state = TState::Features;
                else if (m_state == TState::Header && m_aliases)
                    accessionLine(line);
                break;
            case TState::Features:
                featureLine(m_embl && line.startsWith("FT") ? emblLine(line) : line);
                break;
            }
        }
        if (m_state != TState::Between)
            m_lines.fail(QStringLiteral("the record has no end line (//)"));
        return std::move(m_records);
    }

private:
    enum class TState
    {
        Between,
        Header,
        Features,
        Rest // after the features, up to "//"
    };

    [[noreturn]] void failStartInside() const
    {
        m_lines.fail(QStringLiteral("%1 before the end of the record (//)")
                         .arg(QString::fromLatin1(m_start)));
    }

    // An EMBL feature line as GenBank writes it: "FT" blanked.
    QByteArrayView emblLine(QByteArrayView line)
    {
        m_state = TState::Features;
        m_emblLine.assign(line.data(), std::size_t(line.size()));
        m_emblLine[0] = m_emblLine[1] = ' ';
        return QByteArrayView(m_emblLine.data(), qsizetype(m_emblLine.size()));
    }

    // The LOCUS line: name, length ("7000 bp"), "circular". The EMBL ID line: name, then fields
    // separated by ";", one of them "circular", the last "7000 BP.".
    void startRecord(QByteArrayView line)
    {
        QByteArrayView rest = TrimBytesView(line.sliced(m_start.size()));
        qsizetype end = 0;
        while (end < rest.size() && !IsTrimByte(rest[end]) && !(m_embl && rest[end] == ';'))
            ++end;
        if (end == 0)
            m_lines.fail(
                QStringLiteral("%1 line without a name").arg(QString::fromLatin1(m_start)));
        const QByteArrayView name = rest.first(end);
        rest = rest.sliced(end);
        m_length = 0;
        m_circular = false;
        m_accession.clear();
        m_version.clear();
        m_emblVersion.clear();
        QByteArrayView previous;
        while (!rest.isEmpty()) {
            qsizetype k = 0;
            while (k < rest.size() && (IsTrimByte(rest[k]) || rest[k] == ';'))
                ++k;
            qsizetype e = k;
            while (e < rest.size() && !IsTrimByte(rest[e]) && rest[e] != ';')
                ++e;
            const QByteArrayView word = rest.sliced(k, e - k);
            rest = rest.sliced(e);
            if (word.compare("circular", Qt::CaseInsensitive) == 0)
                m_circular = true;
            if (m_embl && previous == "SV")
                m_emblVersion = word.toByteArray();
            if (word.compare("bp", Qt::CaseInsensitive) == 0 ||
                word.compare("bp.", Qt::CaseInsensitive) == 0 ||
                word.compare("aa", Qt::CaseInsensitive) == 0)
                ReadPosition(previous, m_length);
            previous = word;
        }
        m_locus = uniqueName(name);
        m_features.clear();
        m_best = TKind::Source;
        m_hasSource = false;
        m_state = TState::Header;
        ++m_recordCount;
    }

    // ACCESSION and VERSION (EMBL: AC, and SV in the old format): the first word of each, the
    // names sequence files and alignments know the record by.
    void accessionLine(QByteArrayView line)
    {
        const QByteArrayView accession = m_embl ? "AC" : "ACCESSION";
        const QByteArrayView version = m_embl ? "SV" : "VERSION";
        QByteArray *field = IsKeyword(line, accession) ? &m_accession
                            : IsKeyword(line, version) ? &m_version
                                                       : nullptr;
        if (!field || !field->isEmpty())
            return;
        const QByteArrayView rest =
            TrimBytesView(line.sliced((field == &m_accession ? accession : version).size()));
        qsizetype end = 0;
        while (end < rest.size() && !IsTrimByte(rest[end]) && rest[end] != ';')
            ++end;
        *field = rest.first(end).toByteArray();
    }

    void keepAliases()
    {
        if (m_version.isEmpty() && !m_accession.isEmpty() && !m_emblVersion.isEmpty())
            m_version = m_accession + '.' + m_emblVersion;
        for (const QByteArray &alias : {m_accession, m_version})
            if (!alias.isEmpty() && alias != m_locus)
                m_aliases->push_back({alias, m_locus});
    }

    // The record's name, or "name~2", "~3"... when an earlier record of the file had it, so that
    // two records never merge into one row.
    QByteArray uniqueName(QByteArrayView name)
    {
        qint32 k = m_names.findOrAdd(name, TIdIndex::Hash(name));
        if (std::size_t(k) == m_nextSuffix.size()) {
            m_nextSuffix.push_back(2);
            return name.toByteArray();
        }
        for (;;) {
            const QByteArray candidate =
                name.toByteArray() + '~' + QByteArray::number(m_nextSuffix[std::size_t(k)]++);
            const qint32 added = m_names.findOrAdd(candidate, TIdIndex::Hash(candidate));
            if (std::size_t(added) == m_nextSuffix.size()) {
                m_nextSuffix.push_back(2);
                return candidate;
            }
        }
    }

    void featureLine(QByteArrayView line)
    {
        if (TrimBytesView(line).isEmpty())
            return;
        if (line[0] != ' ') {
            finishFeature();
            if (IsRecordEnd(line))
                endRecord();
            else if (IsKeyword(line, m_start))
                failStartInside();
            else
                m_state = TState::Rest;
            return;
        }
        qsizetype indent = 0;
        while (indent < line.size() && line[indent] == ' ')
            ++indent;
        const QByteArrayView text = TrimBytesView(line);
        if (indent <= 5 && !m_quoteOpen) {
            finishFeature();
            qsizetype key = 0;
            while (key < text.size() && !IsTrimByte(text[key]))
                ++key;
            m_kind = KindOf(text.first(key));
            // Features of a kind less preferred than one the record has are not kept, but for
            // the CDS that give genes their products. A source after the first is a part of
            // the record (a clone, a strain's stretch), not another row.
            if ((m_kind > m_best && !(m_kind == TKind::Cds && m_best == TKind::Gene)) ||
                (m_kind == TKind::Source && m_hasSource))
                m_kind = TKind::None;
            m_featureLine = m_lines.lineNumber();
            m_location = TrimBytesView(text.sliced(key)).toByteArray();
            m_feature = TGbFeature{};
            m_inQualifiers = false;
            return;
        }
        if (m_kind == TKind::None)
            return;
        if (m_quoteOpen) {
            appendValue(text, true);
        } else if (text.startsWith('/')) {
            m_inQualifiers = true;
            const qsizetype eq = text.indexOf('=');
            m_qualifier = QualifierOf(text.sliced(1, (eq < 0 ? text.size() : eq) - 1));
            if (m_qualifier == TQualifier::Translation && !(m_ids && m_ids->wantsProteins()))
                m_qualifier = TQualifier::None;
            m_value.clear();
            m_valueLine = m_lines.lineNumber();
            if (eq >= 0)
                appendValue(text.sliced(eq + 1), false);
            if (!m_quoteOpen)
                storeValue();
        } else if (!m_inQualifiers) {
            m_location.append(text);
        }
        // Else the rest of an unquoted value, which no kept qualifier has.
    }

    // Adds text to the value being read; a quoted value is complete when its quotes balance
    // (an embedded quote is written twice).
    void appendValue(QByteArrayView text, bool continued)
    {
        if (m_qualifier != TQualifier::None) {
            if (continued)
                m_value.append(' ');
            m_value.append(text);
        }
        const auto quotes = std::count(text.begin(), text.end(), '"');
        if (quotes % 2 == 1)
            m_quoteOpen = !m_quoteOpen;
        if (continued && !m_quoteOpen)
            storeValue();
    }

    void storeValue()
    {
        if (m_qualifier == TQualifier::None)
            return;
        QByteArray value = m_value;
        if (value.startsWith('"')) {
            value = value.sliced(1, value.size() - 2 >= 0 ? value.size() - 2 : 0);
            value.replace("\"\"", "\"");
        }
        QByteArray &slot = m_feature.slot(m_qualifier);
        if (slot.isEmpty())
            slot = std::move(value);
        m_qualifier = TQualifier::None;
    }

    void finishFeature()
    {
        if (m_quoteOpen)
            throw TFormatError{m_valueLine, QStringLiteral("a quoted value without its end")};
        if (m_kind == TKind::None)
            return;
        QString reason;
        TSpan span;
        if (!ParseLocation(m_location, m_parts, m_feature.Strand, reason) ||
            (!m_parts.empty() && !PartsSpan(m_parts, m_circular, m_length, span, reason)))
            throw TFormatError{m_featureLine, reason};
        if (m_kind == TKind::Source)
            m_hasSource = true;
        if (!m_parts.empty()) {
            m_feature.Start = span.Start;
            m_feature.End = span.End;
            if (m_kind > m_best) {
                m_cds.push_back(std::move(m_feature));
            } else {
                if (m_kind < m_best) {
                    // A more preferred kind: the features kept so far give way to it, the CDS
                    // staying for the genes' products.
                    if (m_best == TKind::Cds)
                        m_cds = std::move(m_features);
                    m_features.clear();
                    m_best = m_kind;
                }
                m_features.push_back(std::move(m_feature));
            }
        }
        m_kind = TKind::None;
    }

    void endRecord()
    {
        finishFeature();
        if (m_features.empty() && !m_hasSource && m_length > 0) {
            // Nothing but the record itself: its span, from its length.
            m_features.push_back(TGbFeature{1, m_length, 1, {}, {}, {}, {}, {}, {}, {}, {}, {}});
        }
        if (!m_features.empty()) {
            const qint32 chromosome = m_builder.chromosome(m_locus);
            if (m_aliases)
                keepAliases();
            if (m_best == TKind::Gene)
                takeCdsProducts();
            if (m_ids)
                keepIds();
            for (TGbFeature &f : m_features)
                m_records.push_back(m_builder.record(
                    chromosome, f.Start, f.End, f.Strand, m_builder.geneName(f.name()),
                    TRecordBuilder::comment(m_best == TKind::Source ? f.Organism : f.Product)));
        }
        m_features.clear();
        m_cds.clear();
        m_state = TState::Between;
    }

    // The first CDS of each locus tag and of each gene name, among those keep() accepts: one pass
    // over the CDS to index them, then one look-up per gene.
    class TCdsIndex
    {
    public:
        template <class Keep> TCdsIndex(const std::vector<TGbFeature> &cds, Keep keep) : m_cds(cds)
        {
            for (std::size_t c = 0; c < cds.size(); ++c) {
                if (!keep(cds[c]))
                    continue;
                Add(m_tags, m_byTag, cds[c].LocusTag, c);
                Add(m_genes, m_byGene, cds[c].Gene, c);
            }
        }

        // The CDS of a gene's locus tag, else of its gene name, else null.
        const TGbFeature *find(const TGbFeature &gene) const
        {
            qint32 k = gene.LocusTag.isEmpty() ? -1 : m_tags.find(gene.LocusTag);
            if (k >= 0)
                return &m_cds[std::size_t(m_byTag[std::size_t(k)])];
            k = gene.Gene.isEmpty() ? -1 : m_genes.find(gene.Gene);
            return k < 0 ? nullptr : &m_cds[std::size_t(m_byGene[std::size_t(k)])];
        }

    private:
        static void Add(TIdIndex &index, std::vector<qint32> &of, const QByteArray &key,
                        std::size_t c)
        {
            if (!key.isEmpty() &&
                std::size_t(index.findOrAdd(key, TIdIndex::Hash(key))) == of.size())
                of.push_back(qint32(c));
        }

        const std::vector<TGbFeature> &m_cds;
        TIdIndex m_tags, m_genes;
        std::vector<qint32> m_byTag, m_byGene; // the CDS of each key
    };

    // Genes without a product take that of the first CDS with a product of their locus tag, else
    // of their gene name (also when the locus tag names no CDS).
    void takeCdsProducts()
    {
        bool wanted = false;
        for (const TGbFeature &g : m_features)
            wanted = wanted || g.Product.isEmpty();
        if (!wanted || m_cds.empty())
            return;
        const TCdsIndex index(m_cds, [](const TGbFeature &cds) { return !cds.Product.isEmpty(); });
        for (TGbFeature &g : m_features)
            if (g.Product.isEmpty())
                if (const TGbFeature *cds = index.find(g))
                    g.Product = cds->Product;
    }

    // The identifiers (and proteins) of the records about to be added; a gene takes the
    // protein_id and translation of the first CDS of its locus tag, else of its gene name.
    void keepIds()
    {
        const bool genes = m_best == TKind::Gene;
        const TCdsIndex index(m_cds, [genes](const TGbFeature &) { return genes; });
        for (std::size_t i = 0; i < m_features.size(); ++i) {
            const TGbFeature &f = m_features[i];
            const std::size_t r = m_records.size() + i;
            for (const QByteArray *id : {&f.Gene, &f.LocusTag, &f.ProteinId})
                m_ids->add(r, *id);
            const TGbFeature *cds = genes ? index.find(f) : &f;
            if (genes && cds)
                m_ids->add(r, cds->ProteinId);
            if (cds && m_ids->wantsProteins())
                m_ids->setProtein(r, cds->Translation);
        }
    }

    TLineReader &m_lines;
    TRecordIds *m_ids;
    TChromosomeAliases *m_aliases;
    const bool m_embl;
    const QByteArrayView m_start; // the keyword that starts a record
    TRecordBuilder m_builder;
    std::vector<tGene> m_records;
    TState m_state = TState::Between;
    qint64 m_recordCount = 0;
    TIdIndex m_names;                 // the records' names so far
    std::vector<qint32> m_nextSuffix; // by name: the next "~N" to try
    std::string m_emblLine;
    // The record being read.
    QByteArray m_locus;
    QByteArray m_accession, m_version, m_emblVersion; // the last from an EMBL ID line's "SV n"
    qint32 m_length = 0;
    bool m_circular = false;
    TKind m_best = TKind::Source; // the most preferred kind kept so far
    bool m_hasSource = false;
    std::vector<TGbFeature> m_features; // of kind m_best
    std::vector<TGbFeature> m_cds;      // while genes are kept: the CDS, for their products
    // The feature being read.
    TKind m_kind = TKind::None;
    qint64 m_featureLine = 0;
    QByteArray m_location;
    std::vector<TPart> m_parts;
    TGbFeature m_feature;
    bool m_inQualifiers = false;
    TQualifier m_qualifier = TQualifier::None;
    QByteArray m_value;
    qint64 m_valueLine = 0;
    bool m_quoteOpen = false;
};

} // namespace

std::vector<tGene> ReadGenBank(TLineReader &lines, bool embl, TRecordIds *ids,
                               TChromosomeAliases *aliases)
{
    return TGenBankReader(lines, embl, ids, aliases).read();
}
