// MMseqs2 is run as a program, never linked: its easy-cluster workflow takes a FASTA file and
// writes representative<TAB>member lines. The proteins are named by their record's place in the
// load, so the clusters come back to the records without any name look-up. Its table and a cache
// entry are read line by line within the readers' limits and checked whole (every protein in one
// cluster, each cluster holding its representative) before anything uses them: a table cut short
// or altered is neither taken nor cached.
//
// The identities come from aligning each clustered protein with the others of its cluster, and
// with nothing else: only those pairs are ever linked. A search of the clustered proteins against
// themselves would find them too, but its cost grows with the square of their number, and a
// pair its prefilter misses would have no identity. MMseqs2's align module takes the pairs as a
// prefilter result that tsv2db makes of pairs.tsv, keyed by each protein's place in the FASTA
// (createdb --shuffle 0); convertalis names the proteins again. A key taken otherwise could only
// pair proteins of two clusters, which the reading leaves out.
#include "core/ProteinClusters.h"

#include "core/ChildProgram.h"
#include "core/FeatureText.h"
#include "core/RecordIds.h"
#include "util/StringOps.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

// Part of the cache keys: a change of a command, or of how entries are written, must not reuse
// older entries.
constexpr char kMethod[] = "mmseqs easy-cluster 1, entry 2";
constexpr char kAlignMethod[] = "mmseqs align of cluster mates 1, entry 1";
// The mates a protein is aligned with, at most: this bounds the work, the table and the pairs
// kept (a cluster of more leaves some of its pairs without an identity).
constexpr qsizetype kMatesPerProtein = 300;
// An entry's first line: this, then the SHA-256 of its key and of every line after it.
constexpr QByteArrayView kEntryHeader = "# Ostrinel protein clusters, SHA-256 ";
constexpr QByteArrayView kIdentitiesHeader = "# Ostrinel protein identities, SHA-256 ";

QString Threads()
{
    return QString::number(std::max(1, QThread::idealThreadCount()));
}

QStringList Arguments(const THomologyThresholds &t)
{
    return {QStringLiteral("--min-seq-id"), QString::number(t.MinIdentity / 100, 'g', 6),
            QStringLiteral("-e"),           QString::number(t.MaxEvalue, 'g', 6),
            QStringLiteral("--threads"),    Threads(),
            QStringLiteral("-v"),           QStringLiteral("1")};
}

// No least identity: two proteins the clusters join show the identity they have, however low.
QStringList AlignArguments(const THomologyThresholds &t)
{
    return {QStringLiteral("-e"),
            QString::number(t.MaxEvalue, 'g', 6),
            QStringLiteral("--alignment-mode"),
            QStringLiteral("3"),
            QStringLiteral("--threads"),
            Threads(),
            QStringLiteral("-v"),
            QStringLiteral("1")};
}

void Report(const THomologyProgress &progress, const QString &text)
{
    if (progress)
        progress(text);
}

// Proteins given to MMseqs2, a record's first only: the FASTA, and which records have one.
struct TProteins
{
    QByteArray Fasta;
    std::vector<bool> Has;
    qint64 Count = 0;
};

TProteins ProteinsOf(const TRecordIds &ids, std::size_t records)
{
    TProteins proteins;
    proteins.Has.assign(records, false);
    for (const auto &[r, protein] : ids.proteins()) {
        if (r >= records || proteins.Has[r])
            continue;
        proteins.Has[r] = true;
        proteins.Fasta +=
            '>' + QByteArray::number(qulonglong(r)).prepend('p') + '\n' + protein + '\n';
        ++proteins.Count;
    }
    return proteins;
}

// The proteins of the clusters of two or more, the alignment's: each headed by its cluster's
// representative too, so that the FASTA, and the key made of it, holds the clusters.
struct TClustered
{
    TProteins Proteins;
    std::vector<qint64> Cluster; // per record its representative, -1 outside those clusters
    std::vector<qint64> Keys;    // the records in FASTA order: a protein's key is its place
};

TClustered ClusteredProteins(const TRecordIds &ids, const std::vector<qint64> &representative)
{
    std::vector<qint32> members(representative.size(), 0);
    for (const qint64 rep : representative)
        if (rep >= 0)
            ++members[std::size_t(rep)];
    TClustered clustered;
    clustered.Proteins.Has.assign(representative.size(), false);
    clustered.Cluster.assign(representative.size(), -1);
    for (const auto &[r, protein] : ids.proteins()) {
        if (r >= representative.size() || clustered.Proteins.Has[r])
            continue;
        const qint64 rep = representative[r];
        if (rep < 0 || members[std::size_t(rep)] < 2)
            continue;
        clustered.Proteins.Has[r] = true;
        clustered.Cluster[r] = rep;
        clustered.Keys.push_back(qint64(r));
        clustered.Proteins.Fasta += ">p" + QByteArray::number(qulonglong(r)) + " p" +
                                    QByteArray::number(rep) + '\n' + protein + '\n';
        ++clustered.Proteins.Count;
    }
    return clustered;
}

// The query<TAB>target lines of tsv2db for every protein and its mates, a query's together.
QByteArray PairLines(const TClustered &clustered)
{
    QHash<qint64, std::vector<qint32>> mates; // by representative, the members' keys
    for (std::size_t k = 0; k < clustered.Keys.size(); ++k)
        mates[clustered.Cluster[std::size_t(clustered.Keys[k])]].push_back(qint32(k));
    QByteArray lines;
    for (std::size_t k = 0; k < clustered.Keys.size(); ++k) {
        const QByteArray query = QByteArray::number(qulonglong(k)) + '\t';
        qsizetype taken = 0;
        for (const qint32 mate : mates[clustered.Cluster[std::size_t(clustered.Keys[k])]])
            if (std::size_t(mate) != k && taken++ < kMatesPerProtein)
                lines += query + QByteArray::number(mate) + '\n';
    }
    return lines;
}

QByteArray Sha256(std::initializer_list<QByteArrayView> parts)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QByteArrayView part : parts)
        hash.addData(part);
    return hash.result().toHex();
}

qint64 ProteinNamed(QByteArrayView name, const std::vector<bool> &known, qint64 line)
{
    bool ok = false;
    const qint64 r = name.startsWith('p') ? name.sliced(1).toLongLong(&ok) : -1;
    if (!ok || r < 0 || std::size_t(r) >= known.size() || !known[std::size_t(r)])
        throw TBadTable{QStringLiteral("names an unknown protein at line %1").arg(line)};
    return r;
}

void HashLine(QCryptographicHash *hash, QByteArrayView line)
{
    if (hash) {
        hash->addData(line);
        hash->addData("\n");
    }
}

// The representative<TAB>member lines to the end, checked: per record the representative of its
// cluster, -1 for a record without a protein. hash, when given, takes every line with its LF.
std::vector<qint64> ReadClusterLines(TLineReader &lines, const TProteins &proteins,
                                     QCryptographicHash *hash)
{
    std::vector<qint64> representative(proteins.Has.size(), -1);
    try {
        QByteArrayView line;
        while (lines.next(line)) {
            HashLine(hash, line);
            const QByteArrayView text = TrimBytesView(line);
            if (text.isEmpty())
                continue;
            const qsizetype tab = text.indexOf('\t');
            if (tab < 0)
                throw TBadTable{
                    QStringLiteral("has a line without a tab at line %1").arg(lines.lineNumber())};
            const qint64 rep =
                ProteinNamed(TrimBytesView(text.first(tab)), proteins.Has, lines.lineNumber());
            const qint64 member =
                ProteinNamed(TrimBytesView(text.sliced(tab + 1)), proteins.Has, lines.lineNumber());
            if (representative[std::size_t(member)] >= 0)
                throw TBadTable{QStringLiteral("puts protein p%1 in two clusters at line %2")
                                    .arg(member)
                                    .arg(lines.lineNumber())};
            representative[std::size_t(member)] = rep;
        }
    } catch (const TFormatError &e) {
        throw TBadTable{QStringLiteral("cannot be read at line %1: %2").arg(e.Line).arg(e.Reason)};
    }
    for (std::size_t r = 0; r < representative.size(); ++r) {
        const qint64 rep = representative[r];
        if (proteins.Has[r] && rep < 0)
            throw TBadTable{QStringLiteral("is cut short: protein p%1 is in no cluster").arg(r)};
        if (rep >= 0 && representative[std::size_t(rep)] != rep)
            throw TBadTable{
                QStringLiteral("names protein p%1 for a cluster it is not in").arg(rep)};
    }
    return representative;
}

// The query<TAB>target<TAB>identity lines to the end, checked: per pair of two proteins of one
// cluster (LinkIdentityKey of their records) the greatest identity in per cent, of either way
// round. MMseqs2's table gives its identities as fractions or as per cent, fractions when none
// is above 1, and a pair of no cluster in it is left out; an entry (fromEntry) holds only the
// pairs kept, in per cent. hash, when given, takes every line with its LF.
QHash<quint64, float> ReadIdentityLines(TLineReader &lines, const TClustered &clustered,
                                        bool fromEntry, QCryptographicHash *hash)
{
    QHash<quint64, double> best;
    double greatest = 0;
    try {
        QByteArrayView line;
        QByteArrayView c[4];
        while (lines.next(line)) {
            HashLine(hash, line);
            if (TrimBytesView(line).isEmpty())
                continue;
            const qint64 at = lines.lineNumber();
            if (SplitColumns(line, '\t', c, 4) != 3)
                throw TBadTable{
                    QStringLiteral("has a line without its three columns at line %1").arg(at)};
            const qint64 a = ProteinNamed(TrimBytesView(c[0]), clustered.Proteins.Has, at);
            const qint64 b = ProteinNamed(TrimBytesView(c[1]), clustered.Proteins.Has, at);
            bool ok = false;
            const double identity = TrimBytesView(c[2]).toByteArray().toDouble(&ok);
            if (!ok || !std::isfinite(identity) || identity < 0 || identity > 100)
                throw TBadTable{
                    QStringLiteral("has an identity that is no number from 0 to 100 at line %1")
                        .arg(at)};
            greatest = std::max(greatest, identity);
            const bool joined =
                a != b && clustered.Cluster[std::size_t(a)] == clustered.Cluster[std::size_t(b)];
            if (!joined && fromEntry)
                throw TBadTable{
                    QStringLiteral("pairs proteins no cluster joins at line %1").arg(at)};
            if (!joined)
                continue;
            double &kept = best[LinkIdentityKey(qint32(a), qint32(b))];
            kept = std::max(kept, identity);
        }
    } catch (const TFormatError &e) {
        throw TBadTable{QStringLiteral("cannot be read at line %1: %2").arg(e.Line).arg(e.Reason)};
    }
    const double scale = !fromEntry && greatest <= 1 ? 100 : 1;
    QHash<quint64, float> identities;
    identities.reserve(best.size());
    for (auto it = best.cbegin(); it != best.cend(); ++it)
        identities.insert(it.key(), float(std::min(100.0, it.value() * scale)));
    return identities;
}

std::vector<qint64> ReadMmseqsTable(const QString &path, const TProteins &proteins)
{
    QFile file;
    bool missing = false;
    const QString why = OpenRegularFile(path, true, file, missing);
    if (missing)
        throw EHomologyError(QStringLiteral("MMseqs2 wrote no cluster table"));
    if (!why.isEmpty())
        throw EHomologyError(QStringLiteral("MMseqs2's cluster table cannot be read: %1").arg(why));
    try {
        TLineReader lines(file);
        return ReadClusterLines(lines, proteins, nullptr);
    } catch (const TBadTable &bad) {
        throw EHomologyError(QStringLiteral("MMseqs2's cluster table ") + bad.Reason);
    }
}

QHash<quint64, float> ReadMmseqsHits(const QString &path, const TClustered &clustered)
{
    QFile file;
    bool missing = false;
    const QString why = OpenRegularFile(path, true, file, missing);
    if (missing)
        throw EHomologyError(QStringLiteral("MMseqs2 wrote no table of hits"));
    if (!why.isEmpty())
        throw EHomologyError(QStringLiteral("MMseqs2's table of hits cannot be read: %1").arg(why));
    try {
        // Hits are not counted in advance: a table cut at a line end reads as a smaller one, but
        // one cut in a line is known by its last byte.
        char last = '\n';
        if (file.size() > 0 &&
            (!file.seek(file.size() - 1) || !file.getChar(&last) || !file.seek(0)))
            throw TBadTable{QStringLiteral("cannot be read: %1").arg(file.errorString())};
        if (last != '\n')
            throw TBadTable{QStringLiteral("is cut short: its last line has no end")};
        TLineReader lines(file);
        return ReadIdentityLines(lines, clustered, false, nullptr);
    } catch (const TBadTable &bad) {
        throw EHomologyError(QStringLiteral("MMseqs2's table of hits ") + bad.Reason);
    }
}

QString MmseqsProgram()
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("mmseqs"));
    if (program.isEmpty())
        throw EHomologyError(
            QStringLiteral("Finding homologs needs MMseqs2: the program mmseqs is "
                           "not on the PATH (install the Debian package mmseqs2)"));
    return program;
}

// A run of MMseqs2 on proteins written to a temporary folder of its own, which goes with it.
class TMmseqsRun
{
public:
    explicit TMmseqsRun(const TProteins &proteins) : m_program(MmseqsProgram())
    {
        if (!m_folder.isValid())
            throw EHomologyError(QStringLiteral("Cannot create a temporary folder for MMseqs2"));
        write(QStringLiteral("proteins.fasta"), proteins.Fasta);
        m_clock.start();
    }

    void write(const QString &name, const QByteArray &bytes) const
    {
        QFile file(path(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            throw EHomologyError(
                QStringLiteral("Cannot write the input of MMseqs2 to %1").arg(file.fileName()));
    }

    QString input() const { return path(QStringLiteral("proteins.fasta")); }
    QString path(const QString &name) const { return m_folder.filePath(name); }

    // Runs mmseqs with the arguments, showing step while it runs; failed begins the message of
    // a run that fails ("MMseqs2 failed").
    void run(const QStringList &arguments, const QString &step, const QString &failed,
             const THomologyProgress &progress) const
    {
        // Asked often, so that a window stays drawn and its Cancel answers; the text changes
        // every ten seconds, counted from the first of the runs in the folder.
        const auto tick = [&] {
            const qint64 tens = m_clock.elapsed() / 10000;
            Report(progress, tens == 0 ? step : step + QStringLiteral(" %1 s").arg(tens * 10));
        };
        tick();
        TChildResult result;
        try {
            result = RunChildProgram(m_program, arguments, m_folder.path(), tick);
        } catch (const ECancelled &) {
            throw;
        } catch (const EHomologyError &) {
            throw;
        } catch (const EInOutError &e) {
            throw EHomologyError(e.message());
        }
        if (result.ExitCode != 0) {
            const QString said = QString::fromLocal8Bit(result.LastBytes.right(400)).trimmed();
            throw EHomologyError(QStringLiteral("%1: %2").arg(
                failed, !said.isEmpty() ? said
                        : result.ExitCode < 0
                            ? QStringLiteral("ended by a signal")
                            : QStringLiteral("exit status %1").arg(result.ExitCode)));
        }
    }

private:
    QString m_program;
    QTemporaryDir m_folder;
    QElapsedTimer m_clock;
};

std::vector<qint64> RunMmseqs(const TProteins &proteins, const THomologyThresholds &thresholds,
                              const THomologyProgress &progress)
{
    const TMmseqsRun mmseqs(proteins);
    mmseqs.run(QStringList{QStringLiteral("easy-cluster"), mmseqs.input(),
                           mmseqs.path(QStringLiteral("out")),
                           mmseqs.path(QStringLiteral("work"))} +
                   Arguments(thresholds),
               QStringLiteral("Clustering %1 proteins with MMseqs2...").arg(proteins.Count),
               QStringLiteral("MMseqs2 failed"), progress);
    return ReadMmseqsTable(mmseqs.path(QStringLiteral("out_cluster.tsv")), proteins);
}

// The clusters of a load, from the cache or computed; a computed one is cached by the caller,
// once nothing stops the load any more.
struct TClusterRun
{
    TProteins Proteins;
    THomologyCacheEntry Entry;
    std::vector<qint64> Representative;
    bool Computed = false;

    void cache() const
    {
        if (!Computed)
            return;
        QByteArray body;
        for (std::size_t r = 0; r < Representative.size(); ++r)
            if (Representative[r] >= 0)
                body += 'p' + QByteArray::number(Representative[r]) + "\tp" +
                        QByteArray::number(qulonglong(r)) + '\n';
        Entry.write(body);
    }
};

TClusterRun Clusters(std::size_t records, const TRecordIds &ids,
                     const THomologyThresholds &thresholds, const THomologyProgress &progress)
{
    TProteins proteins = ProteinsOf(ids, records);
    if (proteins.Count == 0)
        throw EHomologyError(QStringLiteral(
            "No proteins to compare: homologs are found from GenBank /translation qualifiers and "
            "from GFF3 CDS with their sequence in ##FASTA or a FASTA file of the same name"));
    const QByteArray key =
        Sha256({kMethod, Arguments(thresholds).mid(0, 4).join(' ').toUtf8(), proteins.Fasta});
    TClusterRun run{std::move(proteins), {QStringLiteral("clusters"), kEntryHeader, key}, {}};
    const bool cached = run.Entry.read(
        [&](TLineReader &lines, QCryptographicHash &hash) {
            run.Representative = ReadClusterLines(lines, run.Proteins, &hash);
        },
        progress, QStringLiteral("the clusters"));
    if (cached) {
        Report(progress, QStringLiteral("Clusters of %1 proteins taken from %2")
                             .arg(run.Proteins.Count)
                             .arg(run.Entry.path()));
    } else {
        run.Representative = RunMmseqs(run.Proteins, thresholds, progress);
        run.Computed = true;
    }
    return run;
}

QByteArray EntryLines(const QHash<quint64, float> &identities)
{
    std::vector<std::pair<quint64, float>> pairs;
    pairs.reserve(std::size_t(identities.size()));
    for (auto it = identities.cbegin(); it != identities.cend(); ++it)
        pairs.emplace_back(it.key(), it.value());
    std::sort(pairs.begin(), pairs.end());
    QByteArray body;
    for (const auto &[key, identity] : pairs) {
        char number[32];
        // The shortest text that reads back as the same float.
        const char *end = std::to_chars(number, number + sizeof number, identity).ptr;
        body += 'p' + QByteArray::number(key >> 32) + "\tp" +
                QByteArray::number(key & 0xffffffffu) + '\t';
        body.append(number, end - number);
        body += '\n';
    }
    return body;
}

// The identities of the pairs the clusters join, from the cache or from MMseqs2; computed ones
// are cached at once, the clusters being cached by the caller.
QHash<quint64, float> Identities(const TRecordIds &ids, const TClusterRun &clusters,
                                 const THomologyThresholds &thresholds,
                                 const THomologyProgress &progress)
{
    const TClustered clustered = ClusteredProteins(ids, clusters.Representative);
    if (clustered.Proteins.Count == 0)
        return {};
    const QByteArray key =
        Sha256({kAlignMethod, Arguments(thresholds).mid(0, 4).join(' ').toUtf8(),
                AlignArguments(thresholds).mid(0, 4).join(' ').toUtf8(), clustered.Proteins.Fasta});
    const THomologyCacheEntry entry(QStringLiteral("identities"), kIdentitiesHeader, key);
    QHash<quint64, float> identities;
    if (entry.read(
            [&](TLineReader &lines, QCryptographicHash &hash) {
                identities = ReadIdentityLines(lines, clustered, true, &hash);
            },
            progress, QStringLiteral("the identities"))) {
        Report(progress, QStringLiteral("Identities of %1 proteins taken from %2")
                             .arg(clustered.Proteins.Count)
                             .arg(entry.path()));
        return identities;
    }
    const TMmseqsRun mmseqs(clustered.Proteins);
    mmseqs.write(QStringLiteral("pairs.tsv"), PairLines(clustered));
    const QString db = mmseqs.path(QStringLiteral("proteins")),
                  pairs = mmseqs.path(QStringLiteral("pairs")),
                  aligned = mmseqs.path(QStringLiteral("aligned")),
                  hits = mmseqs.path(QStringLiteral("hits.tsv"));
    const QString verbosity = QStringLiteral("-v"), errorsOnly = QStringLiteral("1");
    const QString step =
        QStringLiteral("Aligning %1 proteins with MMseqs2...").arg(clustered.Proteins.Count);
    const QString failed = QStringLiteral("MMseqs2 failed to align the proteins");
    for (const QStringList &arguments :
         {QStringList{QStringLiteral("createdb"), mmseqs.input(), db, QStringLiteral("--shuffle"),
                      QStringLiteral("0"), verbosity, errorsOnly},
          QStringList{QStringLiteral("tsv2db"), mmseqs.path(QStringLiteral("pairs.tsv")), pairs,
                      QStringLiteral("--output-dbtype"), QStringLiteral("7"), verbosity,
                      errorsOnly},
          QStringList{QStringLiteral("align"), db, db, pairs, aligned} + AlignArguments(thresholds),
          QStringList{QStringLiteral("convertalis"), db, db, aligned, hits,
                      QStringLiteral("--format-output"), QStringLiteral("query,target,pident"),
                      QStringLiteral("--threads"), Threads(), verbosity, errorsOnly}})
        mmseqs.run(arguments, step, failed, progress);
    identities = ReadMmseqsHits(hits, clustered);
    entry.write(EntryLines(identities));
    return identities;
}

char Complement(char base)
{
    switch (base) {
    case 'A':
        return 'T';
    case 'C':
        return 'G';
    case 'G':
        return 'C';
    case 'T':
    case 'U':
        return 'A';
    default:
        return 'N';
    }
}

int BaseIndex(char base)
{
    switch (base) {
    case 'T':
    case 'U':
        return 0;
    case 'C':
        return 1;
    case 'A':
        return 2;
    case 'G':
        return 3;
    default:
        return -1;
    }
}

QByteArray Translate(const QByteArray &coding)
{
    // The standard code, codons in the order TCAG for each base.
    static const char kCode[] = "FFLLSSSSYY**CC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG";
    QByteArray protein;
    protein.reserve(coding.size() / 3);
    for (qsizetype i = 0; i + 2 < coding.size(); i += 3) {
        const int a = BaseIndex(coding[i]), b = BaseIndex(coding[i + 1]),
                  c = BaseIndex(coding[i + 2]);
        protein += a < 0 || b < 0 || c < 0 ? 'X' : kCode[16 * a + 4 * b + c];
    }
    return protein;
}

// The records of each cluster of two or more put into one group. Each group is named by its
// first gene in load order that has a name, made distinct.
tVectorOfString GroupsOfClusters(std::vector<tGene> &records,
                                 const std::vector<qint64> &representative)
{
    std::vector<qint32> members(records.size(), 0);
    for (const qint64 rep : representative)
        if (rep >= 0)
            ++members[std::size_t(rep)];
    tVectorOfString names;
    QSet<QByteArray> used;
    std::vector<qint32> groupOfRep(records.size(), -1);
    for (std::size_t r = 0; r < records.size(); ++r) {
        const qint64 rep = representative[r];
        if (rep < 0 || members[std::size_t(rep)] < 2)
            continue;
        qint32 &group = groupOfRep[std::size_t(rep)];
        if (group < 0) {
            group = qint32(names.size());
            names.emplace_back();
        }
        records[r].Group = group;
        QByteArray &name = names[std::size_t(group)];
        if (name.isEmpty() && records[r].GeneName != kUnknownGene) {
            name = records[r].GeneName;
            for (int k = 2; used.contains(name); ++k)
                name = records[r].GeneName + '~' + QByteArray::number(k);
            used.insert(name);
        }
    }
    for (QByteArray &name : names) {
        for (int k = 1; name.isEmpty(); ++k)
            if (const QByteArray cluster = "CLUSTER" + QByteArray::number(k);
                !used.contains(cluster))
                name = cluster;
        used.insert(name);
    }
    return names;
}

} // namespace

void TranslateCdsParts(TRecordIds &ids)
{
    std::vector<const TRecordIds::TCdsPart *> parts;
    for (const TRecordIds::TCdsPart &part : ids.cdsParts())
        parts.push_back(&part);
    // A record's parts together, in the order they are read on its strand.
    std::stable_sort(parts.begin(), parts.end(), [](const auto *a, const auto *b) {
        if (a->Record != b->Record)
            return a->Record < b->Record;
        return a->Strand == -1 ? a->Start > b->Start : a->Start < b->Start;
    });
    QSet<std::size_t> translated;
    for (const auto &[r, protein] : ids.proteins())
        translated.insert(r);
    ids.setBase(0);
    for (std::size_t i = 0; i < parts.size();) {
        const std::size_t r = parts[i]->Record;
        QByteArray coding;
        bool whole = true;
        const std::size_t first = i;
        for (; i < parts.size() && parts[i]->Record == r; ++i) {
            const TRecordIds::TCdsPart &part = *parts[i];
            const auto it = ids.sequences().constFind(part.Sequence);
            if (it == ids.sequences().constEnd() || part.End > it.value().size()) {
                whole = false;
                continue;
            }
            QByteArray bases = it.value().mid(part.Start - 1, part.End - part.Start + 1);
            if (part.Strand == -1) {
                std::reverse(bases.begin(), bases.end());
                for (char &b : bases)
                    b = Complement(b);
            }
            if (i == first)
                bases = bases.mid(part.Phase);
            coding += bases;
        }
        if (whole && !translated.contains(r))
            ids.setProtein(r, Translate(coding));
    }
}

tVectorOfString ClusterProteins(std::vector<tGene> &records, const TRecordIds &ids,
                                const THomologyThresholds &thresholds,
                                const THomologyProgress &progress)
{
    const TClusterRun clusters = Clusters(records.size(), ids, thresholds, progress);
    clusters.cache();
    return GroupsOfClusters(records, clusters.Representative);
}

TProteinHomologs FindProteinHomologs(std::vector<tGene> &records, const TRecordIds &ids,
                                     const THomologyThresholds &thresholds,
                                     const THomologyProgress &progress)
{
    const TClusterRun clusters = Clusters(records.size(), ids, thresholds, progress);
    TProteinHomologs found;
    found.Groups = GroupsOfClusters(records, clusters.Representative);
    try {
        found.Identities = Identities(ids, clusters, thresholds, progress);
    } catch (const EHomologyError &) {
        // The clusters were read whole and checked: a load that fails only for the identities
        // aligns alone next time. A cancel caches nothing.
        clusters.cache();
        throw;
    }
    clusters.cache();
    found.HitKeys.assign(records.size(), -1);
    for (std::size_t r = 0; r < records.size(); ++r)
        if (records[r].Group >= 0)
            found.HitKeys[r] = qint32(r);
    return found;
}
