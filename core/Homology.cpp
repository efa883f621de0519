// Gene identifiers are compared upper-cased a to z, as gene names are, so that "dnaA" in a
// table finds the gene the map shows as DNAA. A record is found by its own name and by every
// identifier its file gives it; one table identifier may find several records (a gene name
// repeated across genomes), and all of them join its group.
#include "core/Homology.h"

#include "core/FeatureText.h"
#include "core/NameTable.h"
#include "core/ProteinClusters.h"
#include "core/RecordIds.h"
#include "core/TextInput.h"
#include "util/StringOps.h"

#include <QBuffer>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace {

constexpr int kHitColumns = 12;

QByteArray Key(QByteArrayView text)
{
    QByteArray key = TrimBytesView(text).toByteArray();
    for (char &c : key)
        c = UpperAZ(c);
    return key;
}

bool IsDecimalDigit(char c)
{
    return c >= '0' && c <= '9';
}

// True when the text is a decimal number whose first significant digit stands below the
// units: one too small for a double then underflows.
bool IsSmallDecimal(QByteArrayView text)
{
    qsizetype i = text.startsWith('-') || text.startsWith('+') ? 1 : 0;
    qint64 order = 0; // the power of ten of the first significant digit
    qint64 zeros = 0; // zeros after the point before it
    bool significant = false, point = false;
    for (; i < text.size() && (IsDecimalDigit(text[i]) || (text[i] == '.' && !point)); ++i) {
        if (text[i] == '.') {
            point = true;
        } else if (significant) {
            order += point ? 0 : 1;
        } else if (text[i] != '0') {
            significant = true;
            order = point ? -(zeros + 1) : 0;
        } else if (point) {
            ++zeros;
        }
    }
    if (!significant)
        return false;
    qint64 exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        const bool negative = ++i < text.size() && text[i] == '-';
        i += i < text.size() && (text[i] == '-' || text[i] == '+');
        const qsizetype first = i;
        for (; i < text.size() && IsDecimalDigit(text[i]); ++i)
            exponent = std::min<qint64>(exponent * 10 + (text[i] - '0'), qint64(1) << 40);
        if (i == first)
            return false;
        exponent = negative ? -exponent : exponent;
    }
    return i == text.size() && order + exponent < 0;
}

bool ReadNumber(QByteArrayView text, double &value)
{
    text = TrimBytesView(text);
    bool ok = false;
    value = text.toByteArray().toDouble(&ok);
    if (!ok && IsSmallDecimal(text)) {
        // Below the smallest double (an e-value of 1e-400): it is 0 as far as a double goes.
        value = 0;
        return true;
    }
    return ok && std::isfinite(value);
}

// Groups and their entries as a table is read: names interned once, entries in file order.
class TTableBuilder
{
public:
    explicit TTableBuilder(THomologyFormat format) { m_table.Format = format; }

    qint32 group(QByteArrayView name)
    {
        const QByteArray key = Key(name);
        const qint32 g = m_groups.findOrAdd(key, [&] { return key; });
        if (std::size_t(g) == m_table.Groups.size())
            m_table.Groups.push_back(key);
        return g;
    }
    void add(qint32 group, QByteArrayView gene)
    {
        QByteArray key = Key(gene);
        if (!key.isEmpty())
            m_table.Entries.push_back({group, std::move(key)});
    }
    THomologyTable take() { return std::move(m_table); }

private:
    TNameTable m_groups{1024};
    THomologyTable m_table;
};

// Hits join genes; the groups are the connected sets, each named by its gene seen first.
class THitGroups
{
public:
    qint32 gene(QByteArrayView name)
    {
        const QByteArray key = Key(name);
        const qint32 g = m_genes.findOrAdd(key, [&] { return key; });
        if (std::size_t(g) == m_parent.size())
            m_parent.push_back(g);
        return g;
    }
    void join(qint32 a, qint32 b)
    {
        a = root(a);
        b = root(b);
        if (a != b)
            m_parent[std::size_t(std::max(a, b))] = std::min(a, b); // the first gene stays root
    }
    const QByteArray &name(qint32 g) const { return m_genes.name(g); }
    qint32 count() const { return qint32(m_parent.size()); }
    THomologyTable take()
    {
        TTableBuilder table(THomologyFormat::Hits);
        std::vector<qint32> groupOf(m_parent.size(), -1);
        std::vector<bool> linked(m_parent.size(), false);
        for (std::size_t g = 0; g < m_parent.size(); ++g)
            if (root(qint32(g)) != qint32(g))
                linked[g] = linked[std::size_t(root(qint32(g)))] = true;
        for (std::size_t g = 0; g < m_parent.size(); ++g) {
            if (!linked[g])
                continue;
            const auto r = std::size_t(root(qint32(g)));
            if (groupOf[r] < 0)
                groupOf[r] = table.group(m_genes.name(qint32(r)));
            table.add(groupOf[r], m_genes.name(qint32(g)));
        }
        return table.take();
    }

private:
    qint32 root(qint32 g)
    {
        while (m_parent[std::size_t(g)] != g) {
            m_parent[std::size_t(g)] = m_parent[std::size_t(m_parent[std::size_t(g)])];
            g = m_parent[std::size_t(g)];
        }
        return g;
    }
    TNameTable m_genes{1024};
    std::vector<qint32> m_parent;
};

struct THit
{
    qint32 A, B;
    double Identity, Evalue;
};

THomologyTable ReadTable(TLineReader &lines, const THomologyThresholds &thresholds)
{
    QByteArrayView line;
    QByteArrayView c[kHitColumns + 1];
    std::optional<THomologyFormat> format;
    TTableBuilder table(THomologyFormat::Groups);
    tVectorOfString genomes;
    THitGroups hitGroups;
    std::vector<THit> hits;
    double greatestIdentity = 0;
    const auto fail = [&](const QString &reason) { lines.fail(reason); };
    while (lines.next(line)) {
        if (TrimBytesView(line).isEmpty() || line.startsWith('#'))
            continue;
        const int n = SplitColumns(line, '\t', c, kHitColumns + 1);
        if (!format) {
            if (n >= 2 && TrimBytesView(c[0]).compare("Orthogroup", Qt::CaseInsensitive) == 0) {
                format = THomologyFormat::Orthogroups;
                table = TTableBuilder(*format);
                continue; // the header names the genomes, which the genes do not need
            }
            format = n >= kHitColumns ? THomologyFormat::Hits
                     : n == 2         ? THomologyFormat::Groups
                                      : std::optional<THomologyFormat>();
            if (!format)
                fail(QStringLiteral("not a homology table: give group<TAB>gene lines, an "
                                    "\"Orthogroup\" header or 12-column similarity hits"));
        }
        switch (*format) {
        case THomologyFormat::Groups:
            if (n != 2 || TrimBytesView(c[0]).isEmpty() || TrimBytesView(c[1]).isEmpty())
                fail(QStringLiteral("two tab-separated columns expected: group and gene"));
            table.add(table.group(c[0]), c[1]);
            break;
        case THomologyFormat::Orthogroups: {
            if (TrimBytesView(c[0]).isEmpty())
                fail(QStringLiteral("a row without its orthogroup"));
            // The last column holds the rest of the line; its tabs split it further.
            QByteArrayView cells = line.sliced(c[0].size() + (n > 1 ? 1 : 0));
            if (n == 1)
                cells = {};
            const qint32 g = table.group(c[0]);
            for (QByteArrayView cell :
                 QByteArray(cells.toByteArray()).replace('\t', ',').split(','))
                table.add(g, cell);
            break;
        }
        case THomologyFormat::Hits: {
            if (n < kHitColumns)
                fail(QStringLiteral("12 tab-separated columns expected"));
            THit hit{0, 0, 0, 0};
            if (!ReadNumber(c[2], hit.Identity) || hit.Identity < 0)
                fail(QStringLiteral("the identity (column 3) is not a number"));
            if (!ReadNumber(c[10], hit.Evalue) || hit.Evalue < 0)
                fail(QStringLiteral("the e-value (column 11) is not a number"));
            if (TrimBytesView(c[0]).isEmpty() || TrimBytesView(c[1]).isEmpty())
                fail(QStringLiteral("a hit without its query or target"));
            hit.A = hitGroups.gene(c[0]);
            hit.B = hitGroups.gene(c[1]);
            greatestIdentity = std::max(greatestIdentity, hit.Identity);
            hits.push_back(hit);
            break;
        }
        }
    }
    if (format != THomologyFormat::Hits)
        return table.take();
    // MMseqs2 writes identities as fractions, BLAST and DIAMOND as per cent.
    const double scale = greatestIdentity <= 1 ? 100 : 1;
    QHash<quint64, float> best; // the best identity of each pair the hits join
    for (const THit &hit : hits) {
        if (hit.A == hit.B || hit.Identity * scale < thresholds.MinIdentity ||
            hit.Evalue > thresholds.MaxEvalue)
            continue;
        hitGroups.join(hit.A, hit.B);
        const auto identity = float(std::min(100.0, hit.Identity * scale));
        const quint64 pair = LinkIdentityKey(hit.A, hit.B);
        best.insert(pair, std::max(best.value(pair, -1.0f), identity));
    }
    const qint32 genes = hitGroups.count();
    THomologyTable hitTable = hitGroups.take();
    hitTable.HitGenes.reserve(std::size_t(genes));
    for (qint32 g = 0; g < genes; ++g)
        hitTable.HitGenes.push_back(hitGroups.name(g));
    hitTable.Identities.reserve(std::size_t(best.size()));
    for (auto it = best.cbegin(); it != best.cend(); ++it)
        hitTable.Identities.push_back(
            {qint32(it.key() >> 32), qint32(it.key() & 0xffffffffu), it.value()});
    return hitTable;
}

THomologyTable ReadTable(QIODevice &device, const THomologyThresholds &thresholds)
{
    TLineReader lines(device);
    try {
        return ReadTable(lines, thresholds);
    } catch (const TFormatError &e) {
        throw EHomologyError(
            QStringLiteral("Error in the homology table at line %1: %2").arg(e.Line).arg(e.Reason));
    }
}

// A file of a homology source, opened as every text input is; its errors are the source's, so
// that they are not put on the map's files.
std::unique_ptr<TTextInput> OpenHomologyInput(const QString &path)
{
    try {
        return std::make_unique<TTextInput>(path);
    } catch (const EInOutError &e) {
        throw EHomologyError(e.message());
    }
}

// A FASTA file beside a GFF3 file without ##FASTA.
void ReadFastaBeside(const QStringList &paths, const std::vector<std::size_t> &fileEnds,
                     TRecordIds &ids)
{
    for (qsizetype f = 0; f < paths.size(); ++f) {
        ids.setBase(f == 0 ? 0 : fileEnds[std::size_t(f - 1)]);
        const std::size_t end = fileEnds[std::size_t(f)];
        bool missing = false;
        for (const TRecordIds::TCdsPart &part : ids.cdsParts())
            missing = missing || (part.Record >= (f == 0 ? 0 : fileEnds[std::size_t(f - 1)]) &&
                                  part.Record < end && !ids.sequences().contains(part.Sequence));
        if (!missing)
            continue;
        for (const QString &path : ProteinFilesBeside(paths[f])) {
            if (!QFileInfo::exists(path))
                continue;
            const std::unique_ptr<TTextInput> input = OpenHomologyInput(path);
            TLineReader lines(input->device());
            QByteArrayView line;
            QByteArray name, bases;
            const auto keep = [&] {
                if (!name.isEmpty())
                    ids.addSequence(name, std::move(bases));
                bases.clear();
            };
            try {
                while (lines.next(line)) {
                    if (line.startsWith('>')) {
                        keep();
                        const QByteArrayView header = TrimBytesView(line.sliced(1));
                        qsizetype n = 0;
                        while (n < header.size() && !IsTrimByte(header[n]))
                            ++n;
                        name = header.first(n).toByteArray();
                    } else {
                        for (char c : line)
                            if (!IsTrimByte(c))
                                bases += UpperAZ(c);
                    }
                }
            } catch (const TFormatError &e) {
                throw EHomologyError(QStringLiteral("Cannot read %1 at line %2: %3")
                                         .arg(path)
                                         .arg(e.Line)
                                         .arg(e.Reason));
            }
            keep();
            break;
        }
    }
}

} // namespace

QStringList ProteinFilesBeside(const QString &annotationPath)
{
    const QFileInfo annotation(annotationPath);
    const QString stem = annotation.path() + QLatin1Char('/') + annotation.completeBaseName();
    return {stem + QStringLiteral(".fa"), stem + QStringLiteral(".fasta"),
            stem + QStringLiteral(".fna")};
}

QString HomologyFormatName(THomologyFormat format)
{
    switch (format) {
    case THomologyFormat::Orthogroups:
        return QStringLiteral("orthogroup table");
    case THomologyFormat::Hits:
        return QStringLiteral("similarity hits");
    case THomologyFormat::Groups:
        break;
    }
    return QStringLiteral("group table");
}

THomologyTable ParseHomologyTable(const QByteArray &text, const THomologyThresholds &thresholds)
{
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    return ReadTable(buffer, thresholds);
}

THomologyTable ReadHomologyTable(const QString &path, const THomologyThresholds &thresholds)
{
    const std::unique_ptr<TTextInput> input = OpenHomologyInput(path);
    return ReadTable(input->device(), thresholds);
}

QString THomologyReport::Text() const
{
    QString text = QStringLiteral("Homology: %1, %2 %3")
                       .arg(Source)
                       .arg(Groups)
                       .arg(Groups == 1 ? QStringLiteral("group") : QStringLiteral("groups"));
    if (Unmatched == 1)
        text += QStringLiteral(", 1 table entry matches no gene");
    else if (Unmatched > 1)
        text += QStringLiteral(", %1 table entries match no gene").arg(Unmatched);
    return text;
}

tVectorOfString ApplyHomologyTable(std::vector<tGene> &records, const TRecordIds &ids,
                                   const THomologyTable &table, THomologyReport &report,
                                   std::vector<qint32> *hitKeys)
{
    TNameTable hitGenes(hitKeys ? table.HitGenes.size() : 0);
    if (hitKeys) {
        for (const QByteArray &gene : table.HitGenes)
            hitGenes.findOrAdd(gene, [&] { return gene; });
        hitKeys->assign(records.size(), -1);
    }
    // Identifier -> its group; an identifier listed in two groups keeps both, which is an error
    // only once it finds a gene.
    TNameTable names(table.Entries.size());
    std::vector<std::pair<qint32, qint32>> groupsOf; // first and second group of each identifier
    for (const auto &entry : table.Entries) {
        // Named apart: clang 14 cannot capture a structured binding.
        const qint32 group = entry.first;
        const QByteArray &id = entry.second;
        const qint32 k = names.findOrAdd(id, [&] { return id; });
        if (std::size_t(k) == groupsOf.size())
            groupsOf.push_back({group, -1});
        else if (groupsOf[std::size_t(k)].first != group && groupsOf[std::size_t(k)].second < 0)
            groupsOf[std::size_t(k)].second = group;
    }
    std::vector<bool> matched(groupsOf.size(), false);
    std::vector<qint32> groupOf(records.size(), -1);
    const auto claim = [&](std::size_t r, QByteArrayView id) {
        const QByteArray key = Key(id);
        const qint32 k = names.find(key);
        if (k < 0)
            return;
        if (hitKeys && (*hitKeys)[r] < 0)
            (*hitKeys)[r] = hitGenes.find(key);
        matched[std::size_t(k)] = true;
        const auto [first, second] = groupsOf[std::size_t(k)];
        const qint32 held = groupOf[r];
        if (second >= 0 || (held >= 0 && held != first)) {
            const qint32 one = second >= 0 ? first : held;
            const qint32 other = second >= 0 ? second : first;
            throw EHomologyError(QStringLiteral("The gene %1 is in two homology groups: %2 and %3")
                                     .arg(DisplayText(records[r].GeneName),
                                          DisplayText(table.Groups[std::size_t(one)]),
                                          DisplayText(table.Groups[std::size_t(other)])));
        }
        groupOf[r] = first;
    };
    for (std::size_t r = 0; r < records.size(); ++r)
        if (records[r].GeneName != kUnknownGene)
            claim(r, records[r].GeneName);
    ids.forEach([&](std::size_t r, QByteArrayView id) {
        if (r < records.size())
            claim(r, id);
    });

    // Only groups that hold a loaded gene are kept, numbered in table order.
    std::vector<qint32> kept(table.Groups.size(), -1);
    for (qint32 g : groupOf)
        if (g >= 0)
            kept[std::size_t(g)] = 0;
    tVectorOfString groupNames;
    for (std::size_t g = 0; g < kept.size(); ++g) {
        if (kept[g] < 0)
            continue;
        kept[g] = qint32(groupNames.size());
        groupNames.push_back(table.Groups[g]);
    }
    for (std::size_t r = 0; r < records.size(); ++r)
        records[r].Group = groupOf[r] < 0 ? -1 : kept[std::size_t(groupOf[r])];
    report.Groups = qint64(groupNames.size());
    report.Unmatched = std::count(matched.begin(), matched.end(), false);
    return groupNames;
}

namespace {
QHash<quint64, float> LinkIdentities(const THomologyTable &table)
{
    QHash<quint64, float> identities;
    identities.reserve(qsizetype(table.Identities.size()));
    for (const THomologyTable::TPairIdentity &pair : table.Identities)
        identities.insert(LinkIdentityKey(pair.A, pair.B), pair.Identity);
    return identities;
}
} // namespace

TCatalogue LoadCatalogue(const QStringList &paths, const THomologySource &source,
                         THomologyReport *report, const THomologyProgress &progress,
                         TGenomeNames genomeNames)
{
    if (!source.IsSet())
        return LoadCatalogue(paths, genomeNames);
    const bool computed = source.Table == kAutoHomology;
    // The table is read first: a broken one fails before the larger files are read.
    THomologyTable table;
    if (!computed)
        table = ReadHomologyTable(source.Table, source.Thresholds);
    TRecordIds ids(computed);
    std::vector<std::size_t> fileEnds;
    TChromosomeAliases aliases;
    std::vector<tGene> records = LoadRecordFiles(paths, &ids, &fileEnds, genomeNames, &aliases);
    THomologyReport found;
    for (std::size_t f = 0, r = 0; f < fileEnds.size(); ++f)
        for (; r < fileEnds[f]; ++r)
            found.Genomes.insert(records[r].ChromosomeName,
                                 QFileInfo(paths[qsizetype(f)]).completeBaseName());
    TProteinHomologs homologs;
    if (computed) {
        ReadFastaBeside(paths, fileEnds, ids);
        TranslateCdsParts(ids);
        found.Source = QStringLiteral("MMseqs2");
        homologs = FindProteinHomologs(records, ids, source.Thresholds, progress);
        found.Groups = qint64(homologs.Groups.size());
    } else {
        found.Source = QFileInfo(source.Table).fileName();
        homologs.Groups = ApplyHomologyTable(records, ids, table, found, &homologs.HitKeys);
        homologs.Identities = LinkIdentities(table);
    }
    TCatalogue catalogue = CatalogueFromRecords(std::move(records), std::move(homologs.Groups),
                                                homologs.HitKeys, std::move(homologs.Identities));
    catalogue.FChromosomeAliases = std::move(aliases);
    if (report)
        *report = found;
    return catalogue;
}

QByteArray GroupsText(const TCatalogue &catalogue, const THomologyReport &report)
{
    QByteArray text = "gene\tgenome\tgroup\n";
    for (const std::vector<tGene> &row : catalogue.FRecords)
        for (const tGene &record : row)
            text += record.GeneName + '\t' + report.Genomes.value(record.ChromosomeName).toUtf8() +
                    '\t' + IdentityName(catalogue, record) + '\n';
    return text;
}
