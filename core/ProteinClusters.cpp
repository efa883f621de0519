// MMseqs2 is run as a program, never linked: its easy-cluster workflow takes a FASTA file and
// writes representative<TAB>member lines. The proteins are named by their record's place in the
// load, so the clusters come back to the records without any name look-up. Its table and a cache
// entry are read line by line within the readers' limits and checked whole (every protein in one
// cluster, each cluster holding its representative) before anything uses them: a table cut short
// or altered is neither taken nor cached.
#include "core/ProteinClusters.h"

#include "core/ChildProgram.h"
#include "core/FeatureText.h"
#include "core/RecordIds.h"
#include "util/StringOps.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Part of the cache key: a change of the command, or of how entries are written, must not reuse
// older entries.
constexpr char kMethod[] = "mmseqs easy-cluster 1, entry 2";
// An entry's first line: this, then the SHA-256 of its key and of every line after it.
constexpr QByteArrayView kEntryHeader = "# Ostrinel protein clusters, SHA-256 ";

QStringList Arguments(const THomologyThresholds &t)
{
    return {
        QStringLiteral("--min-seq-id"), QString::number(t.MinIdentity / 100, 'g', 6),
        QStringLiteral("-e"),           QString::number(t.MaxEvalue, 'g', 6),
        QStringLiteral("--threads"),    QString::number(std::max(1, QThread::idealThreadCount())),
        QStringLiteral("-v"),           QStringLiteral("1")};
}

void Report(const THomologyProgress &progress, const QString &text)
{
    if (progress)
        progress(text);
}

// The proteins given to MMseqs2, a record's first only: the FASTA, and which records have one.
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

// What makes a cluster table unusable, said of the table ("is cut short: ...").
struct TBadTable
{
    QString Reason;
};

qint64 ProteinNamed(QByteArrayView name, const TProteins &proteins, qint64 line)
{
    bool ok = false;
    const qint64 r = name.startsWith('p') ? name.sliced(1).toLongLong(&ok) : -1;
    if (!ok || r < 0 || std::size_t(r) >= proteins.Has.size() || !proteins.Has[std::size_t(r)])
        throw TBadTable{QStringLiteral("names an unknown protein at line %1").arg(line)};
    return r;
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
            if (hash) {
                hash->addData(line);
                hash->addData("\n");
            }
            const QByteArrayView text = TrimBytesView(line);
            if (text.isEmpty())
                continue;
            const qsizetype tab = text.indexOf('\t');
            if (tab < 0)
                throw TBadTable{
                    QStringLiteral("has a line without a tab at line %1").arg(lines.lineNumber())};
            const qint64 rep =
                ProteinNamed(TrimBytesView(text.first(tab)), proteins, lines.lineNumber());
            const qint64 member =
                ProteinNamed(TrimBytesView(text.sliced(tab + 1)), proteins, lines.lineNumber());
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

// Opens a file that must be a regular one, following a symbolic link only when asked; the
// reason it cannot be opened, else an empty text. missing: there is no such file.
QString OpenRegular(const QString &path, bool followLink, QFile &file, bool &missing)
{
    // O_NONBLOCK: opening a FIFO without a writer would wait for ever.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    missing = fd < 0 && errno == ENOENT;
    if (fd < 0)
        return errno == ELOOP ? QStringLiteral("Not a regular file")
                              : QString::fromLocal8Bit(std::strerror(errno));
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return QStringLiteral("Not a regular file");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return file.errorString();
    }
    return QString();
}

std::vector<qint64> ReadMmseqsTable(const QString &path, const TProteins &proteins)
{
    QFile file;
    bool missing = false;
    const QString why = OpenRegular(path, true, file, missing);
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

std::vector<qint64> RunMmseqs(const TProteins &proteins, const THomologyThresholds &thresholds,
                              const THomologyProgress &progress)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("mmseqs"));
    if (program.isEmpty())
        throw EHomologyError(
            QStringLiteral("Finding homologs needs MMseqs2: the program mmseqs is "
                           "not on the PATH (install the Debian package mmseqs2)"));
    QTemporaryDir folder;
    if (!folder.isValid())
        throw EHomologyError(QStringLiteral("Cannot create a temporary folder for MMseqs2"));
    QFile input(folder.filePath(QStringLiteral("proteins.fasta")));
    if (!input.open(QIODevice::WriteOnly) || input.write(proteins.Fasta) != proteins.Fasta.size())
        throw EHomologyError(
            QStringLiteral("Cannot write the proteins for MMseqs2 to %1").arg(input.fileName()));
    input.close();

    const QString step =
        QStringLiteral("Clustering %1 proteins with MMseqs2...").arg(proteins.Count);
    Report(progress, step);
    QElapsedTimer clock;
    clock.start();
    // Asked often, so that a window stays drawn and its Cancel answers; the text changes every
    // ten seconds.
    const auto tick = [&] {
        const qint64 tens = clock.elapsed() / 10000;
        Report(progress, tens == 0 ? step : step + QStringLiteral(" %1 s").arg(tens * 10));
    };
    TChildResult run;
    try {
        run = RunChildProgram(program,
                              QStringList{QStringLiteral("easy-cluster"), input.fileName(),
                                          folder.filePath(QStringLiteral("out")),
                                          folder.filePath(QStringLiteral("work"))} +
                                  Arguments(thresholds),
                              folder.path(), tick);
    } catch (const ECancelled &) {
        throw;
    } catch (const EHomologyError &) {
        throw;
    } catch (const EInOutError &e) {
        throw EHomologyError(e.message());
    }
    if (run.ExitCode != 0) {
        const QString said = QString::fromLocal8Bit(run.LastBytes.right(400)).trimmed();
        throw EHomologyError(QStringLiteral("MMseqs2 failed: %1")
                                 .arg(!said.isEmpty() ? said
                                      : run.ExitCode < 0
                                          ? QStringLiteral("ended by a signal")
                                          : QStringLiteral("exit status %1").arg(run.ExitCode)));
    }
    return ReadMmseqsTable(folder.filePath(QStringLiteral("out_cluster.tsv")), proteins);
}

// A cache entry's clusters, or nothing when there is none. An entry that is not a regular file
// (a link is never followed), lacks its checksum, does not match it or fails the table's check
// raises TBadTable.
std::optional<std::vector<qint64>> ReadEntry(const QString &path, const QByteArray &key,
                                             const TProteins &proteins)
{
    QFile file;
    bool missing = false;
    const QString why = OpenRegular(path, false, file, missing);
    if (missing)
        return std::nullopt;
    if (!why.isEmpty())
        throw TBadTable{why};
    QByteArray sum;
    try {
        TLineReader lines(file);
        QByteArrayView header;
        if (!lines.next(header) || !header.startsWith(kEntryHeader))
            throw TBadTable{QStringLiteral("it has no checksum")};
        sum = header.sliced(kEntryHeader.size()).toByteArray();
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(key + '\n');
        std::vector<qint64> representative;
        try {
            representative = ReadClusterLines(lines, proteins, &hash);
        } catch (const TBadTable &bad) {
            throw TBadTable{QStringLiteral("its table ") + bad.Reason};
        }
        if (hash.result().toHex() != sum)
            throw TBadTable{QStringLiteral("its checksum does not match its content")};
        return representative;
    } catch (const TFormatError &e) {
        throw TBadTable{QStringLiteral("its first line cannot be read: %1").arg(e.Reason)};
    }
}

// Writes the entry to a temporary file in the cache folder renamed over it, so that a reader
// finds a whole entry or none, and whatever was in its place (a link included, never what it
// points to) is replaced. A cache that cannot be written costs the next load time, nothing else.
void WriteEntry(const QString &path, const QByteArray &key,
                const std::vector<qint64> &representative)
{
    QByteArray body;
    for (std::size_t r = 0; r < representative.size(); ++r)
        if (representative[r] >= 0)
            body += 'p' + QByteArray::number(representative[r]) + "\tp" +
                    QByteArray::number(qulonglong(r)) + '\n';
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(key + '\n');
    hash.addData(body);
    const QByteArray text = kEntryHeader.toByteArray() + hash.result().toHex() + '\n' + body;
    const QString folder = QFileInfo(path).path();
    if (!QDir().mkpath(folder))
        return;
    QTemporaryFile temporary(folder + QStringLiteral("/.clusters-XXXXXX"));
    if (!temporary.open() || temporary.write(text) != text.size() || !temporary.flush())
        return;
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(),
                    QFile::encodeName(path).constData()) == 0)
        temporary.setAutoRemove(false);
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

QString HomologyCacheFolder()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/ostrinel");
}

tVectorOfString ClusterProteins(std::vector<tGene> &records, const TRecordIds &ids,
                                const THomologyThresholds &thresholds,
                                const THomologyProgress &progress)
{
    const TProteins proteins = ProteinsOf(ids, records.size());
    if (proteins.Count == 0)
        throw EHomologyError(QStringLiteral(
            "No proteins to compare: homologs are found from GenBank /translation qualifiers and "
            "from GFF3 CDS with their sequence in ##FASTA or a FASTA file of the same name"));

    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(kMethod);
    hash.addData(Arguments(thresholds).mid(0, 4).join(' ').toUtf8());
    hash.addData(proteins.Fasta);
    const QByteArray key = hash.result().toHex();
    const QString cached = HomologyCacheFolder() + QStringLiteral("/clusters-") +
                           QString::fromLatin1(key) + QStringLiteral(".tsv");
    std::optional<std::vector<qint64>> representative;
    try {
        representative = ReadEntry(cached, key, proteins);
    } catch (const TBadTable &bad) {
        QFile::remove(cached);
        Report(progress, QStringLiteral("The cache entry %1 fails its check (%2): it is removed "
                                        "and the clusters are computed again")
                             .arg(cached, bad.Reason));
    }
    if (representative) {
        Report(progress, QStringLiteral("Clusters of %1 proteins taken from %2")
                             .arg(proteins.Count)
                             .arg(cached));
    } else {
        representative = RunMmseqs(proteins, thresholds, progress);
        WriteEntry(cached, key, *representative);
    }
    return GroupsOfClusters(records, *representative);
}
