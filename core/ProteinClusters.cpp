// MMseqs2 is run as a program, never linked: its easy-cluster workflow takes a FASTA file and
// writes representative<TAB>member lines. The proteins are named by their record's place in the
// load, so the clusters come back to the records without any name look-up.
#include "core/ProteinClusters.h"

#include "core/RecordIds.h"
#include "util/StringOps.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>

namespace {

// Part of the cache key: a change of the command below must not reuse older clusters.
constexpr char kMethod[] = "mmseqs easy-cluster 1";

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

QByteArray RunMmseqs(const QByteArray &fasta, const THomologyThresholds &thresholds,
                     qint64 proteins, const THomologyProgress &progress)
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
    if (!input.open(QIODevice::WriteOnly) || input.write(fasta) != fasta.size())
        throw EHomologyError(
            QStringLiteral("Cannot write the proteins for MMseqs2 to %1").arg(input.fileName()));
    input.close();

    QProcess process;
    process.setWorkingDirectory(folder.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, QStringList{QStringLiteral("easy-cluster"), input.fileName(),
                                       folder.filePath(QStringLiteral("out")),
                                       folder.filePath(QStringLiteral("work"))} +
                               Arguments(thresholds));
    Report(progress, QStringLiteral("Clustering %1 proteins with MMseqs2...").arg(proteins));
    QElapsedTimer clock;
    clock.start();
    if (!process.waitForStarted())
        throw EHomologyError(QStringLiteral("Cannot start %1").arg(program));
    QByteArray output;
    // Asked often, so that a window stays drawn; the text changes every ten seconds.
    while (!process.waitForFinished(200)) {
        output += process.readAll();
        if (process.state() == QProcess::NotRunning)
            break;
        const qint64 tens = clock.elapsed() / 10000;
        Report(progress,
               tens == 0 ? QStringLiteral("Clustering %1 proteins with MMseqs2...").arg(proteins)
                         : QStringLiteral("Clustering %1 proteins with MMseqs2... %2 s")
                               .arg(proteins)
                               .arg(tens * 10));
    }
    output += process.readAll();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        throw EHomologyError(QStringLiteral("MMseqs2 failed: %1")
                                 .arg(QString::fromLocal8Bit(output.right(400)).trimmed()));
    QFile clusters(folder.filePath(QStringLiteral("out_cluster.tsv")));
    if (!clusters.open(QIODevice::ReadOnly))
        throw EHomologyError(QStringLiteral("MMseqs2 wrote no cluster table"));
    return clusters.readAll();
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

qint64 RecordOf(QByteArrayView name, std::size_t records)
{
    bool ok = false;
    const qint64 r = name.startsWith('p') ? name.sliced(1).toLongLong(&ok) : -1;
    if (!ok || r < 0 || std::size_t(r) >= records)
        throw EHomologyError(QStringLiteral("MMseqs2's cluster table names an unknown protein"));
    return r;
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
    QByteArray fasta;
    qint64 proteins = 0;
    for (const auto &[r, protein] : ids.proteins()) {
        fasta += '>' + QByteArray::number(qulonglong(r)).prepend('p') + '\n' + protein + '\n';
        ++proteins;
    }
    if (proteins == 0)
        throw EHomologyError(QStringLiteral(
            "No proteins to compare: homologs are found from GenBank /translation qualifiers and "
            "from GFF3 CDS with their sequence in ##FASTA or a FASTA file of the same name"));

    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(kMethod);
    hash.addData(Arguments(thresholds).mid(0, 4).join(' ').toUtf8());
    hash.addData(fasta);
    const QString cached = HomologyCacheFolder() + QStringLiteral("/clusters-") +
                           QString::fromLatin1(hash.result().toHex()) + QStringLiteral(".tsv");
    QByteArray table;
    if (QFile file(cached); file.open(QIODevice::ReadOnly)) {
        table = file.readAll();
        Report(progress,
               QStringLiteral("Clusters of %1 proteins taken from %2").arg(proteins).arg(cached));
    } else {
        table = RunMmseqs(fasta, thresholds, proteins, progress);
        // A cache that cannot be written costs the next load time, nothing else.
        QDir().mkpath(HomologyCacheFolder());
        QSaveFile save(cached);
        if (save.open(QIODevice::WriteOnly) && save.write(table) == table.size())
            save.commit();
    }

    // representative<TAB>member, the members of one cluster together.
    std::vector<qint64> representative(records.size(), -1);
    std::vector<qint32> members(records.size(), 0);
    for (const QByteArray &line : table.split('\n')) {
        if (TrimBytesView(line).isEmpty())
            continue;
        const qsizetype tab = line.indexOf('\t');
        if (tab < 0)
            throw EHomologyError(
                QStringLiteral("MMseqs2's cluster table has a line without a tab"));
        const qint64 rep = RecordOf(TrimBytesView(QByteArrayView(line).first(tab)), records.size());
        const qint64 member =
            RecordOf(TrimBytesView(QByteArrayView(line).sliced(tab + 1)), records.size());
        representative[std::size_t(member)] = rep;
        ++members[std::size_t(rep)];
    }
    // Each cluster of two or more is named by its first gene in load order that has a name,
    // made distinct.
    tVectorOfString names;
    QSet<QByteArray> used;
    std::vector<qint32> groupOfRep(records.size(), -1);
    std::vector<std::size_t> unnamed; // groups still waiting for a named member
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
