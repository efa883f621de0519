// The GenBank flat file reader. Only the FEATURES table is read: a feature key line starts with
// five spaces, its qualifiers and the rest of a long location follow on lines indented further.
// A quoted qualifier value may span lines and hold any text, a "/" at a line start included, so
// the reader follows the quotes. A record must end with "//": a cut file is an error, never a
// partial map.
#include "core/FeatureReaders.h"

#include "util/StringOps.h"

#include <algorithm>
#include <cstring>

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
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '_' || c == '.';
}

// The outer bounds and the strand of a feature location: ranges a..b, single bases, a^b, the
// partial marks < and > (ignored), complement(), join() and order() nested in any way, parts on
// other entries (accession:range, not counted). Iterative, so that nesting depth costs no stack.
// Strand -1 when every counted part is complemented. False with the reason for a broken location;
// Local false when no part is on this entry.
struct TLocation
{
    qint32 Start = 0;
    qint32 End = 0;
    qint32 Strand = 1;
    bool Local = false;
};

bool ParseLocation(QByteArrayView text, TLocation &location, QString &reason)
{
    const QString bad = QStringLiteral("bad location");
    std::vector<char> open; // 'c' for complement(, 'j' for join( and order(
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
                complements -= open.back() == 'c';
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
            if (i < n && text[i] == '(' && (word == "complement" || word == "join" ||
                                           word == "order")) {
                open.push_back(word == "complement" ? 'c' : 'j');
                complements += word == "complement";
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
        qint32 first = 0, second = 0;
        if (!position(first)) {
            reason = bad;
            return false;
        }
        second = first;
        if (i + 1 < n && text[i] == '.' && text[i + 1] == '.') {
            i += 2;
            if (!position(second)) {
                reason = bad;
                return false;
            }
        } else if (i < n && (text[i] == '^' || text[i] == '.')) {
            ++i;
            if (!position(second)) {
                reason = bad;
                return false;
            }
        }
        if (!remote) {
            const qint32 low = std::min(first, second), high = std::max(first, second);
            location.Start = location.Local ? std::min(location.Start, low) : low;
            location.End = location.Local ? std::max(location.End, high) : high;
            location.Local = true;
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
    location.Strand = allComplemented ? -1 : 1;
    return true;
}

enum class TQualifier
{
    None,
    Gene,
    LocusTag,
    Product
};

struct TGbFeature
{
    TLocation Location;
    QByteArray Gene, LocusTag, Product;
};

class TGenBankReader
{
public:
    explicit TGenBankReader(TLineReader &lines) : m_lines(lines) {}

    std::vector<tGene> read()
    {
        QByteArrayView line;
        while (m_lines.next(line)) {
            switch (m_state) {
            case TState::Between:
                if (TrimBytesView(line).isEmpty())
                    break;
                if (!IsKeyword(line, "LOCUS"))
                    m_lines.fail(QStringLiteral("text outside a record (LOCUS expected)"));
                startRecord(line);
                break;
            case TState::Header:
            case TState::Rest:
                if (IsRecordEnd(line))
                    endRecord();
                else if (IsKeyword(line, "LOCUS"))
                    m_lines.fail(QStringLiteral("LOCUS before the end of the record (//)"));
                else if (m_state == TState::Header && IsKeyword(line, "FEATURES"))
                    m_state = TState::Features;
                break;
            case TState::Features:
                featureLine(line);
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
    enum class TKind
    {
        None,
        Gene,
        Cds
    };

    void startRecord(QByteArrayView line)
    {
        const QByteArrayView rest = TrimBytesView(line.sliced(5));
        qsizetype end = 0;
        while (end < rest.size() && !IsTrimByte(rest[end]))
            ++end;
        if (end == 0)
            m_lines.fail(QStringLiteral("LOCUS line without a name"));
        m_locus = rest.first(end).toByteArray();
        m_genes.clear();
        m_cds.clear();
        m_state = TState::Header;
    }

    void featureLine(QByteArrayView line)
    {
        if (TrimBytesView(line).isEmpty())
            return;
        if (line[0] != ' ') {
            finishFeature();
            if (IsRecordEnd(line))
                endRecord();
            else if (IsKeyword(line, "LOCUS"))
                m_lines.fail(QStringLiteral("LOCUS before the end of the record (//)"));
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
            const QByteArrayView name = text.first(key);
            m_kind = name == "gene" ? TKind::Gene : name == "CDS" ? TKind::Cds : TKind::None;
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
            const QByteArrayView name = text.sliced(1, (eq < 0 ? text.size() : eq) - 1);
            m_qualifier = name == "gene"        ? TQualifier::Gene
                          : name == "locus_tag" ? TQualifier::LocusTag
                          : name == "product"   ? TQualifier::Product
                                                : TQualifier::None;
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
        QByteArray &slot = m_qualifier == TQualifier::Gene       ? m_feature.Gene
                           : m_qualifier == TQualifier::LocusTag ? m_feature.LocusTag
                                                                 : m_feature.Product;
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
        if (!ParseLocation(m_location, m_feature.Location, reason))
            throw TFormatError{m_featureLine, reason};
        if (m_feature.Location.Local)
            (m_kind == TKind::Gene ? m_genes : m_cds).push_back(std::move(m_feature));
        m_kind = TKind::None;
    }

    void endRecord()
    {
        finishFeature();
        std::vector<TGbFeature> &features = m_genes.empty() ? m_cds : m_genes;
        if (!features.empty()) {
            const qint32 chromosome = m_builder.chromosome(m_locus);
            for (TGbFeature &f : features) {
                if (f.Product.isEmpty() && &features == &m_genes)
                    f.Product = productOfCds(f);
                m_records.push_back(m_builder.record(
                    chromosome, f.Location.Start, f.Location.End, f.Location.Strand,
                    m_builder.geneName(f.Gene.isEmpty() ? f.LocusTag : f.Gene),
                    TRecordBuilder::comment(f.Product)));
            }
        }
        m_state = TState::Between;
    }

    // A gene's product from the CDS of its locus tag, else of its gene name.
    QByteArray productOfCds(const TGbFeature &gene) const
    {
        for (const TGbFeature &cds : m_cds)
            if (!cds.Product.isEmpty() &&
                (gene.LocusTag.isEmpty() ? !gene.Gene.isEmpty() && cds.Gene == gene.Gene
                                         : cds.LocusTag == gene.LocusTag))
                return cds.Product;
        return QByteArray();
    }

    TLineReader &m_lines;
    TRecordBuilder m_builder;
    std::vector<tGene> m_records;
    TState m_state = TState::Between;
    QByteArray m_locus;
    std::vector<TGbFeature> m_genes, m_cds;
    // The feature being read.
    TKind m_kind = TKind::None;
    qint64 m_featureLine = 0;
    QByteArray m_location;
    TGbFeature m_feature;
    bool m_inQualifiers = false;
    TQualifier m_qualifier = TQualifier::None;
    QByteArray m_value;
    qint64 m_valueLine = 0;
    bool m_quoteOpen = false;
};

} // namespace

std::vector<tGene> ReadGenBank(TLineReader &lines)
{
    return TGenBankReader(lines).read();
}
