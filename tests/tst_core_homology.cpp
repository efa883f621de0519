// Homology tables: each format, each kind of identifier the readers keep, entries that find no
// gene, a gene two groups claim, the hit thresholds; a grouped catalogue, whose genes are the
// groups while every record keeps its own name; and region alignments in their three formats,
// matched to the chromosomes by name, alias or without the genome prefix, and filtered.
#include "FakeMmseqs.h"
#include "core/ChildProgram.h"
#include "core/Homology.h"
#include "core/ProteinClusters.h"
#include "core/RecordFile.h"
#include "core/RecordIds.h"
#include "core/RegionAlignments.h"
#include "core/Reports.h"

#include <QStringEncoder>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kGenBank = "LOCUS       gbA  9000 bp    DNA\n"
                            "FEATURES             Location/Qualifiers\n"
                            "     gene            100..400\n"
                            "                     /gene=\"recA\"\n"
                            "                     /locus_tag=\"BQ_0001\"\n"
                            "     CDS             100..400\n"
                            "                     /locus_tag=\"BQ_0001\"\n"
                            "                     /protein_id=\"WP_11.1\"\n"
                            "     gene            complement(500..800)\n"
                            "                     /locus_tag=\"BQ_0002\"\n"
                            "//\n";

const QByteArray kGff3 = "##gff-version 3\n"
                         "c1\t.\tgene\t100\t400\t.\t+\t.\tID=gene-a;Name=alpha;locus_tag=LT_A\n"
                         "c1\t.\tmRNA\t100\t400\t.\t+\t.\tID=rna-a;Parent=gene-a\n"
                         "c1\t.\tCDS\t100\t400\t.\t+\t0\tID=cds-a;Parent=rna-a;protein_id=XP_7.2\n"
                         "c1\t.\tgene\t500\t800\t.\t-\t.\tID=gene-b;Name=beta\n";

const QByteArray kCoordinates = "c1\t10\t20\t1\tdnaA\n"
                                "c2\t10\t20\t1\tdnaB\n"
                                "c2\t30\t40\t1\tpolA\n";

// "NAME:GROUP" per record in file order, GROUP empty for none.
QString GroupsOf(const std::vector<tGene> &records, const tVectorOfString &groups)
{
    QStringList out;
    for (const tGene &r : records)
        out << QString::fromLatin1(r.GeneName) + QLatin1Char(':') +
                   (r.Group < 0 ? QString() : QString::fromLatin1(groups[std::size_t(r.Group)]));
    return out.join(QLatin1Char(' '));
}

// The three coordinate records, a protein each, clustered by the mmseqs on the PATH.
QString ClusterThree(const THomologyProgress &progress = {})
{
    TRecordIds ids(true);
    for (std::size_t r = 0; r < 3; ++r)
        ids.setProtein(r, "MKTWLLA");
    std::vector<tGene> records = ParseRecordText(kCoordinates);
    const tVectorOfString groups = ClusterProteins(records, ids, {}, progress);
    return GroupsOf(records, groups);
}

const QString kPair = QStringLiteral("DNAA:DNAA DNAB:DNAA POLA:");

// Two GenBank records known by other names to sequence files, and a chromosome of a
// coordinate file in either order.
const QByteArray kAccessions = "LOCUS       SCU49845  5028 bp    DNA\nACCESSION   U49845\n"
                               "VERSION     U49845.1\nFEATURES             Location/Qualifiers\n"
                               "     gene            1..400\n//\n"
                               "LOCUS       other  900 bp    DNA\nFEATURES             "
                               "Location/Qualifiers\n     gene            1..400\n//\n";
const QByteArray kRows = "c1\t1\t9000\t1\tg\nc2\t1\t9000\t1\tg\nm:c3\t1\t9\t1\tg\n";

// A BLAST hit of a on b, the rest of the line given.
QByteArray Blast(const QByteArray &a, const QByteArray &b, const QByteArray &rest)
{
    return a + '\t' + b + '\t' + rest + '\n';
}

QStringList CacheEntries()
{
    return QDir(HomologyCacheFolder()).entryList(QDir::Files | QDir::System);
}

// Two loci, alpha on a and beta and gamma on b: kPairClusters joins alpha and beta.
const QByteArray kTwoLoci =
    "LOCUS       a  900 bp    DNA\nFEATURES             Location/Qualifiers\n"
    "     CDS             1..30\n                     /gene=\"alpha\"\n"
    "                     /translation=\"MKTWLLA\"\n//\n"
    "LOCUS       b  900 bp    DNA\nFEATURES             Location/Qualifiers\n"
    "     CDS             1..30\n                     /gene=\"beta\"\n"
    "                     /translation=\"MKTWLLV\"\n"
    "     CDS             40..70\n                     /gene=\"gamma\"\n"
    "                     /translation=\"MRRQ\"\n//\n";

// kTwoLoci in folder loaded with homologs from the mmseqs on the PATH; the identity of the
// link between alpha and beta, -1 for none.
float AlphaBeta(const QString &folder, const THomologyProgress &progress = {})
{
    QFile file(folder + "/loci.gb");
    if (!file.exists() && (!file.open(QIODevice::WriteOnly) || file.write(kTwoLoci) < 0))
        qFatal("cannot write %s", qPrintable(file.fileName()));
    file.close();
    const TCatalogue c = LoadCatalogue({file.fileName()}, {kAutoHomology, {}}, nullptr, progress);
    return c.FHitKeys.empty() ? -1 : LinkIdentity(c, c.FHitKeys[0][0], c.FHitKeys[1][0]);
}

// An alignment whose convertalis writes these hits.
QByteArray Hits(const QByteArray &lines)
{
    return "[ \"$1\" != convertalis ] || printf '" + lines + "' > \"$5\"";
}

} // namespace

class TestCoreHomology : public QObject
{
    Q_OBJECT

private slots:
    void groups_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<double>("minIdentity");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("unmatched");
        QTest::newRow("GenBank locus_tag and protein_id")
            << kGenBank << QByteArray("g1\tBQ_0002\ng1\twp_11.1\ng2\tBQ_9999\n") << 30.0
            << "RECA:G1 BQ_0002:G1" << 1;
        QTest::newRow("GenBank /gene")
            << kGenBank << QByteArray("# rep\nx\trecA\n") << 30.0 << "RECA:X BQ_0002:" << 0;
        QTest::newRow("GFF3 ID, locus_tag, protein_id of the CDS")
            << kGff3 << QByteArray("og\tXP_7.2\nog\tgene-b\n") << 30.0 << "ALPHA:OG BETA:OG" << 0;
        QTest::newRow("GFF3 locus_tag")
            << kGff3 << QByteArray("k\tLT_A\n") << 30.0 << "ALPHA:K BETA:" << 0;
        QTest::newRow("coordinate names, any case, MMseqs2 cluster table")
            << kCoordinates << QByteArray("dnaA\tdnaA\ndnaA\tDNAB\n") << 30.0
            << "DNAA:DNAA DNAB:DNAA POLA:" << 0;
        QTest::newRow("orthogroup table")
            << kCoordinates
            << QByteArray("Orthogroup\tgenome1\tgenome2\nOG1\tdnaA\tdnaB, nope\nOG2\t\tpolA\n")
            << 30.0 << "DNAA:OG1 DNAB:OG1 POLA:OG2" << 1;
        const QByteArray hits = "dnaA\tdnaB\t45.0\t300\t1\t0\t1\t300\t1\t300\t1e-30\t500\n"
                                "dnaB\tpolA\t25.0\t300\t1\t0\t1\t300\t1\t300\t1e-20\t200\n"
                                "dnaA\tpolA\t90.0\t300\t1\t0\t1\t300\t1\t300\t0.5\t20\n";
        QTest::newRow("hits, one passes")
            << kCoordinates << hits << 30.0 << "DNAA:DNAA DNAB:DNAA POLA:" << 0;
        QTest::newRow("hits, lower identity joins through dnaB")
            << kCoordinates << hits << 20.0 << "DNAA:DNAA DNAB:DNAA POLA:DNAA" << 0;
        QTest::newRow("hits, an e-value below the smallest double")
            << kCoordinates << QByteArray("dnaA\tdnaB\t45\t3\t1\t0\t1\t3\t1\t3\t1e-400\t9\n")
            << 30.0 << "DNAA:DNAA DNAB:DNAA POLA:" << 0;
        QTest::newRow("hits as fractions")
            << kCoordinates << QByteArray("dnaB\tpolA\t0.35\t3\t1\t0\t1\t3\t1\t3\t1e-9\t50\n")
            << 30.0 << "DNAA: DNAB:DNAB POLA:DNAB" << 0;
    }
    void groups()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, table);
        QFETCH(double, minIdentity);
        QFETCH(QString, expected);
        QFETCH(int, unmatched);
        TRecordIds ids;
        std::vector<tGene> records = ParseRecordText(file, QString(), &ids);
        THomologyReport report;
        const tVectorOfString groups = ApplyHomologyTable(
            records, ids, ParseHomologyTable(table, {minIdentity, 1e-5}), report);
        QCOMPARE(GroupsOf(records, groups), expected);
        QCOMPARE(report.Unmatched, qint64(unmatched));
        QCOMPARE(report.Groups, qint64(groups.size()));
    }

    void errors_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QString>("message");
        QTest::newRow("one identifier in two groups")
            << QByteArray("A\trecA\nC\tnone\nB\trecA\n")
            << "The gene RECA is in two homology groups: A and B";
        QTest::newRow("two identifiers of one gene")
            << QByteArray("A\tBQ_0001\nB\tWP_11.1\n")
            << "The gene RECA is in two homology groups: A and B";
        QTest::newRow("a broken group line")
            << QByteArray("A\tdnaA\nB\n")
            << "Error in the homology table at line 2: two tab-separated columns expected: "
               "group and gene";
        QTest::newRow("no known format") << QByteArray("a\tb\tc\n")
                                         << "Error in the homology table at line 1: not a "
                                            "homology table: give group<TAB>gene lines, an "
                                            "\"Orthogroup\" header or 12-column similarity hits";
        QTest::newRow("a hit without its e-value")
            << QByteArray("a\tb\t50\t1\t1\t1\t1\t1\t1\t1\tx\t1\n")
            << "Error in the homology table at line 1: the e-value (column 11) is not a number";
        QTest::newRow("a tiny e-value with a tail")
            << QByteArray("a\tb\t50\t1\t1\t1\t1\t1\t1\t1\t1e-400x\t1\n")
            << "Error in the homology table at line 1: the e-value (column 11) is not a number";
    }
    void errors()
    {
        QFETCH(QByteArray, table);
        QFETCH(QString, message);
        TRecordIds ids;
        std::vector<tGene> records = ParseRecordText(kGenBank, QString(), &ids);
        try {
            THomologyReport report;
            ApplyHomologyTable(records, ids, ParseHomologyTable(table, {}), report);
            QFAIL("no error");
        } catch (const EHomologyError &e) {
            QCOMPARE(e.message(), message);
        }
    }

    // The files of a homology source are read as the map's files are: text whatever its
    // encoding, and only from a regular file, so that a device does not fill the memory (a
    // FIFO, refused by the same check, would hold the load for ever).
    void sourceFiles_data()
    {
        QTest::addColumn<QString>("table"); // its encoding, or a device linked as it
        QTest::addColumn<QString>("fasta"); // a device linked as the FASTA beside the GFF3
        QTest::addColumn<QString>("outcome");
        QTest::newRow("UTF-16LE groups") << "UTF-16LE"
                                         << ""
                                         << "Homology: t, 1 group";
        QTest::newRow("UTF-16BE hits") << "UTF-16BE"
                                       << ""
                                       << "Homology: t, 1 group";
        QTest::newRow("table a device") << "/dev/zero"
                                        << ""
                                        << "%1/t";
        QTest::newRow("FASTA beside a device") << "auto"
                                               << "/dev/urandom"
                                               << "%1/g.fa";
    }
    void sourceFiles()
    {
        QFETCH(QString, table);
        QFETCH(QString, fasta);
        QFETCH(QString, outcome);
        QTemporaryDir dir;
        const auto write = [&](const QString &name, const QByteArray &bytes) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        };
        write("g.gff3", kGff3);
        if (table.startsWith("UTF")) {
            QStringEncoder encoder(table.toLatin1().constData(), QStringConverter::Flag::WriteBom);
            write("t", encoder.encode(table.endsWith("BE")
                                          ? "alpha\tbeta\t50\t3\t1\t0\t1\t3\t1\t3\t1e-9\t9\n"
                                          : "og\tgene-a\nog\tbeta\n"));
        }
        for (const auto &[device, name] : {std::pair{table, "t"}, std::pair{fasta, "g.fa"}})
            QVERIFY(!device.startsWith('/') || QFile::link(device, dir.filePath(name)));
        QString message;
        try {
            THomologyReport report;
            LoadCatalogue({dir.filePath("g.gff3")},
                          {table == "auto" ? kAutoHomology : dir.filePath("t"), {}}, &report);
            message = report.Text();
        } catch (const EHomologyError &e) {
            message = e.message();
        }
        if (outcome.contains("%1"))
            outcome = "Cannot open file \"" + outcome.arg(dir.path()) + "\": Not a regular file";
        QCOMPARE(message, outcome);
    }

    // The proteins of GFF3 CDS from ##FASTA: parts joined in their strand's order, the minus
    // strand complemented, the first part's phase skipped.
    void cdsProteins()
    {
        const QByteArray gff3 =
            "##gff-version 3\n"
            "c1\t.\tgene\t3\t20\t.\t+\t.\tID=g1\n"
            "c1\t.\tCDS\t3\t8\t.\t+\t0\tID=cds1;Parent=g1\n"
            "c1\t.\tCDS\t12\t20\t.\t+\t2\tID=cds1;Parent=g1\n"
            "c2\t.\tgene\t3\t20\t.\t-\t.\tID=g2\n"
            "c2\t.\tCDS\t15\t20\t.\t-\t0\tID=cds2;Parent=g2\n"
            "c2\t.\tCDS\t3\t11\t.\t-\t0\tID=cds2;Parent=g2\n"
            "c1\t.\tgene\t2\t20\t.\t+\t.\tID=g3\n"
            "c1\t.\tCDS\t2\t8\t.\t+\t1\tID=cds3;Parent=g3\n"
            "c1\t.\tCDS\t12\t20\t.\t+\t0\tID=cds3;Parent=g3\n"
            "##FASTA\n>c1 first\nGGATGAAACCC\nACCTGGTAAGG\n>c2\nCCTTACCAGGTGGGTTTCATCC\n";
        TRecordIds ids(true);
        QCOMPARE(ParseRecordText(gff3, QString(), &ids).size(), std::size_t(3));
        TranslateCdsParts(ids);
        std::vector<std::pair<std::size_t, QByteArray>> expected{
            {0, "MKTW"}, {1, "MKTW"}, {2, "MKTW"}};
        QCOMPARE(ids.proteins(), expected);
    }

    // A cache entry is used only whole and checked; one that fails, or a link or FIFO in its
    // place, is removed and replaced by clusters computed again, the message naming the entry.
    void clusterCache_data()
    {
        QTest::addColumn<QByteArray>("plant"); // HEADER: the entry's own first line
        QTest::addColumn<QString>("step");
        QTest::newRow("whole") << QByteArray() << "taken from";
        QTest::newRow("one cluster, no checksum")
            << QByteArray("p0\tp0\np0\tp1\np0\tp2\n") << "(it has no checksum)";
        QTest::newRow("one cluster, checksum kept")
            << QByteArray("HEADER\np0\tp0\np0\tp1\np0\tp2\n")
            << "(its checksum does not match its content)";
        QTest::newRow("cut short") << QByteArray("HEADER\np0\tp0\n")
                                   << "(its table is cut short: protein p1 is in no cluster)";
        QTest::newRow("dangling link") << QByteArray("LINK") << "(Not a regular file)";
        QTest::newRow("FIFO") << QByteArray("FIFO") << "(Not a regular file)";
    }
    void clusterCache()
    {
        QFETCH(QByteArray, plant);
        QFETCH(QString, step);
        QTemporaryDir dir;
        qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.path()));
        PutFakeMmseqs(dir.path(), kPairClusters);
        QCOMPARE(ClusterThree(), kPair);
        const QString entry = HomologyCacheFolder() + '/' + CacheEntries().value(0);
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        plant.replace("HEADER\n", file.readLine());
        file.close();
        if (!plant.isEmpty())
            QVERIFY(file.remove());
        if (plant == "LINK")
            QVERIFY(QFile::link(dir.filePath("target"), entry));
        else if (plant == "FIFO")
            QCOMPARE(::mkfifo(QFile::encodeName(entry).constData(), 0600), 0);
        else if (!plant.isEmpty())
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(plant) == plant.size());
        file.close();
        QStringList steps;
        QCOMPARE(ClusterThree([&](const QString &s) { steps << s; }), kPair);
        QVERIFY2(steps.filter(entry).filter(step).size() == 1, qPrintable(steps.join('\n')));
        QVERIFY(QFileInfo(entry).isFile() && !QFileInfo(entry).isSymLink());
        QVERIFY(!QFile::exists(dir.filePath("target")));
        steps.clear();
        QCOMPARE(ClusterThree([&](const QString &s) { steps << s; }), kPair);
        QVERIFY(steps.filter("taken from").size() == 1);
    }

    // A table MMseqs2 cuts short or that is no regular file fails the run, which caches
    // nothing: the next run with a working MMseqs2 clusters.
    void failedRunCachesNothing_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("error");
        QTest::newRow("cut in a line, exit 0")
            << kPairClusters + " && head -c 10 \"$3_cluster.tsv\" > t && mv t \"$3_cluster.tsv\""
            << "MMseqs2's cluster table names an unknown protein at line 2";
        QTest::newRow("cut at a line end, exit 0")
            << kPairClusters + " && sed -i 2q \"$3_cluster.tsv\""
            << "MMseqs2's cluster table is cut short: protein p2 is in no cluster";
        QTest::newRow("FIFO") << QByteArray("mkfifo \"$3_cluster.tsv\"")
                              << "MMseqs2's cluster table cannot be read: Not a regular file";
    }
    void failedRunCachesNothing()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, error);
        QTemporaryDir dir;
        qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.path()));
        PutFakeMmseqs(dir.path(), script);
        try {
            ClusterThree();
            QFAIL("no error");
        } catch (const EHomologyError &e) {
            QCOMPARE(e.message(), error);
        }
        QCOMPARE(CacheEntries(), QStringList());
        PutFakeMmseqs(dir.path(), kPairClusters);
        QCOMPARE(ClusterThree(), kPair);
    }

    // The best hit of two joined genes is their link's identity, fractions or per cent; the
    // second load takes it from the cache, with no MMseqs2 that aligns, unless the entry was
    // altered.
    void identities_data()
    {
        QTest::addColumn<QByteArray>("hits");
        QTest::addColumn<float>("identity");
        QTest::addColumn<bool>("altered");
        QTest::newRow("per cent, the better way round")
            << QByteArray("p0\\tp0\\t100.000\\np1\\tp0\\t85.0\\np0\\tp1\\t86.500\\n") << 86.5f
            << false;
        QTest::newRow("fractions, entry altered")
            << QByteArray("p1\\tp1\\t1.000\\np0\\tp1\\t0.865\\n") << 86.5f << true;
        QTest::newRow("no hit between the two") << QByteArray("p0\\tp0\\t100\\n") << -1.0f << false;
    }
    void identities()
    {
        QFETCH(QByteArray, hits);
        QFETCH(float, identity);
        QFETCH(bool, altered);
        QTemporaryDir dir;
        qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.path()));
        PutFakeMmseqs(dir.path(), kPairClusters, Hits(hits));
        QCOMPARE(AlphaBeta(dir.path()), identity);
        const QString entry = HomologyCacheFolder() + '/' + CacheEntries().filter("identities-")[0];
        QFile file(entry);
        if (!altered)
            PutFakeMmseqs(dir.path(), kPairClusters, "exit 9");
        else
            QVERIFY(file.open(QIODevice::Append) && file.write("p0\tp1\t99\n") > 0);
        file.close();
        QStringList steps;
        QCOMPARE(AlphaBeta(dir.path(), [&](const QString &s) { steps << s; }), identity);
        QCOMPARE(steps.filter("Clusters of 3 proteins taken from").size(), 1);
        QCOMPARE(steps.filter("Identities of 2 proteins taken from " + entry).size(),
                 altered ? 0 : 1);
        QCOMPARE(steps.filter(entry + " fails its check (its checksum does not match").size(),
                 altered ? 1 : 0);
    }

    // An alignment cancelled, failing or whose table fails its check fails the load; the
    // clusters, checked before it ran, are cached unless the load was cancelled.
    void identitiesNotCached_data()
    {
        QTest::addColumn<QByteArray>("align");
        QTest::addColumn<QString>("error");
        QTest::newRow("cancelled") << QByteArray("sleep 300") << "";
        QTest::newRow("MMseqs2 fails") << QByteArray("echo 'out of disk' >&2; exit 3")
                                       << "MMseqs2 failed to align the proteins: out of disk";
        QTest::newRow("cut in a line")
            << Hits("p0\\tp1\\t86")
            << "MMseqs2's table of hits is cut short: its last line has no end";
        QTest::newRow("a protein not aligned")
            << Hits("p0\\tp2\\t86\\n")
            << "MMseqs2's table of hits names an unknown protein at line 1";
        QTest::newRow("identity out of range")
            << Hits("p0\\tp1\\t186\\n")
            << "MMseqs2's table of hits has an identity that is no number from 0 to 100 at line 1";
    }
    void identitiesNotCached()
    {
        QFETCH(QByteArray, align);
        QFETCH(QString, error);
        QTemporaryDir dir;
        qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.path()));
        PutFakeMmseqs(dir.path(), kPairClusters, align);
        int aligning = 0; // the step, then the ticks while MMseqs2 runs
        try {
            AlphaBeta(dir.path(), [&](const QString &step) {
                if (error.isEmpty() && step.startsWith("Aligning 2 proteins") && ++aligning == 3)
                    throw ECancelled();
            });
            QFAIL("no error");
        } catch (const ECancelled &) {
            QVERIFY(error.isEmpty());
        } catch (const EHomologyError &e) {
            QCOMPARE(e.message(), error);
        }
        QCOMPARE(CacheEntries().filter("clusters-").size(), error.isEmpty() ? 0 : 1);
        QCOMPARE(CacheEntries().filter("identities-"), QStringList());
        PutFakeMmseqs(dir.path(), kPairClusters, Hits("p0\\tp1\\t86\\n"));
        QStringList steps;
        QCOMPARE(AlphaBeta(dir.path(), [&](const QString &s) { steps << s; }), 86.0f);
        QCOMPARE(steps.filter("Clusters of 3 proteins taken from").size(), error.isEmpty() ? 0 : 1);
    }

    // Grouped genes are one gene in the lists and counts; the gene report shows the group and
    // its members, each record under its own name.
    void catalogueOfGroups()
    {
        TRecordIds ids;
        std::vector<tGene> records = ParseRecordText(kCoordinates, QString(), &ids);
        THomologyReport report;
        tVectorOfString groups = ApplyHomologyTable(
            records, ids, ParseHomologyTable("OG\tdnaA\nOG\tdnaB\n", {}), report);
        const TCatalogue c = CatalogueFromRecords(std::move(records), std::move(groups));
        QCOMPARE(c.FGeneNames, (tVectorOfString{"OG", "POLA"}));
        QCOMPARE(c.FGeneCounts, (tVectorOfCardinal{2, 1}));
        QCOMPARE(c.FRecords[1][0].GeneName, QByteArray("DNAB"));
        QCOMPARE(GeneReport(c, 0).mid(0, 2), (QStringList{"Group:\tOG", "Members:\tDNAA, DNAB"}));
        QCOMPARE(GeneReport(c, 0).size(), 6);
        QCOMPARE(GroupsText(c, report).count('\n'), 4);
    }

    void alignments_data()
    {
        QTest::addColumn<QByteArray>("map");
        QTest::addColumn<QByteArray>("hits");
        QTest::addColumn<double>("minIdentity"); // negative: none
        QTest::addColumn<int>("minLength");
        QTest::addColumn<QString>("expected"); // each hit kept, then the report
        const QByteArray forward = "95.5\t100\t1\t0\t10\t109\t201\t300\t0\t90";
        const QByteArray minus = "95.5\t100\t1\t0\t10\t109\t300\t201\t0\t90";
        QTest::newRow("BLAST, minus strand, both ways round")
            << kRows
            << Blast("c1", "c2", minus) +
                   Blast("c2", "c1", QByteArray(minus).replace("10\t109", "109\t10"))
            << -1.0 << 0
            << "c1:10-109 c2:201-300 - 95.5; c2:10-109 c1:201-300 + 95.5 | "
               "Alignments: 2 kept";
        QTest::newRow("MMseqs2 fractions, filters counted")
            << kRows
            << Blast("c1", "c2", "0.97\t100\t1\t0\t1\t100\t1\t100\t0\t9") +
                   Blast("c1", "c2", "0.9\t300\t1\t0\t1\t300\t1\t300\t0\t9") +
                   Blast("c1", "c2", "0.97\t50\t1\t0\t1\t50\t1\t50\t0\t9")
            << 95.0 << 100
            << "c1:1-100 c2:1-100 + 97 | Alignments: 1 kept, 1 below the least identity, 1 "
               "shorter than the least length";
        QTest::newRow("PAF, 0-based half-open, tags after")
            << kRows << QByteArray("c1\t9000\t9\t109\t-\tc2\t9000\t200\t300\t90\t100\t60\ttp:A:P\n")
            << -1.0 << 100 << "c1:10-109 c2:201-300 - 90 | Alignments: 1 kept";
        QTest::newRow("show-coords -rcl, reference first")
            << kRows << QByteArray("1\t100\t300\t201\t100\t100\t97.5\t9000\t9000\t1\t1\tc2\tc1\n")
            << 97.5 << 0 << "c2:1-100 c1:201-300 - 97.5 | Alignments: 1 kept";
        QTest::newRow("show-coords plain")
            << kRows << QByteArray("# a comment\n5\t9\t1\t5\t5\t5\t80.00\tc1\tc2\n") << -1.0 << 6
            << " | Alignments: 0 kept, 1 shorter than the least length";
        QTest::newRow("without the genome prefix, without the version, a field, UTF-16")
            << kRows << Blast("c3", "c1.2", forward) + Blast("ref|c2|", "c1", forward) + "UTF-16"
            << -1.0 << 0
            << "m:c3:10-109 c1:201-300 + 95.5; c2:10-109 c1:201-300 + 95.5 | Alignments: 2 kept";
        QTest::newRow("accessions, names of no row, one row twice")
            << kAccessions
            << Blast("U49845.1", "other", forward) + Blast("gi|9|gb|U49845|", "other", forward) +
                   Blast("U49846", "other", forward) + Blast("other", "other", forward)
            << -1.0 << 0
            << "SCU49845:10-109 other:201-300 + 95.5; SCU49845:10-109 other:201-300 + 95.5 | "
               "Alignments: 2 kept, 2 name no two rows of the map";
    }
    void alignments()
    {
        QFETCH(QByteArray, map);
        QFETCH(QByteArray, hits);
        QFETCH(double, minIdentity);
        QFETCH(int, minLength);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const auto write = [&](const QString &name, const QByteArray &bytes) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        };
        write("map", map);
        if (hits.endsWith("UTF-16"))
            hits = QStringEncoder(QStringEncoder::Utf16LE, QStringConverter::Flag::WriteBom)
                       .encode(QString::fromLatin1(hits.chopped(6)));
        write("hits", hits);
        const TCatalogue catalogue = LoadCatalogue(dir.filePath("map"));
        TAlignmentFilters filters;
        if (minIdentity >= 0)
            filters.MinIdentity = minIdentity;
        filters.MinLength = minLength;
        TAlignmentReport report;
        QStringList kept;
        for (const TRegionAlignment &a :
             ReadRegionAlignments(dir.filePath("hits"), catalogue, filters, report))
            kept << QStringLiteral("%1:%2-%3 %4:%5-%6 %7 %8")
                        .arg(QString(catalogue.FChromosomeNames[std::size_t(a.ChromosomeA)]))
                        .arg(a.StartA)
                        .arg(a.EndA)
                        .arg(QString(catalogue.FChromosomeNames[std::size_t(a.ChromosomeB)]))
                        .arg(a.StartB)
                        .arg(a.EndB)
                        .arg(a.Reverse ? '-' : '+')
                        .arg(double(a.Identity));
        QCOMPARE(kept.join("; ") + " | " + report.Text(), expected);
    }

    void alignmentErrors_data()
    {
        QTest::addColumn<QByteArray>("hits");
        QTest::addColumn<QString>("message");
        const QByteArray hit = Blast("c1", "c2", "90\t9\t1\t0\t1\t9\t1\t9\t0\t9");
        QTest::newRow("no format") << QByteArray("c1\tc2\t90\n")
                                   << "1: not an alignment file: give 12-column BLAST hits, PAF "
                                      "lines or the lines of show-coords -T -H";
        QTest::newRow("BLAST cut short")
            << hit + "c1\tc2\t90\n"
            << "2: 12 tab-separated columns expected: qseqid sseqid pident length mismatch "
               "gapopen qstart qend sstart send evalue bitscore";
        QTest::newRow("identity") << "#\n" + hit + QByteArray(hit).replace("90", "x")
                                  << "3: the identity (column 3) is not a number from 0 to 100";
        QTest::newRow("start 0") << QByteArray(hit).replace("\t1\t9\t0", "\t0\t9\t0")
                                 << "1: the subject start (column 9) is not a whole number from "
                                    "1 to 2147483647";
        QTest::newRow("no name") << hit + QByteArray(hit).replace("c1", " ")
                                 << "2: an alignment without the names of its two sequences";
        const QByteArray paf = "a\t9\t0\t5\t+\tb\t9\t0\t5\t5\t5\t0\n";
        QTest::newRow("PAF strand") << paf + QByteArray(paf).replace('+', '*')
                                    << "2: the strand (column 5) is neither + nor -";
        QTest::newRow("PAF empty range")
            << QByteArray(paf).replace("0\t5\t5", "5\t5\t5")
            << "1: the target end (column 9) is not past the target start (column 8)";
        QTest::newRow("PAF matches") << QByteArray(paf).replace("5\t5\t0", "6\t5\t0")
                                     << "1: the number of matches (column 10) is greater than "
                                        "the block length (column 11)";
        QTest::newRow("show-coords columns")
            << QByteArray("1\t9\t1\t9\t9\t9\t99\ta\tb\n1\t9\t1\t9\t9\t9\t99\t9\t9\ta\tb\n")
            << "2: 9 tab-separated columns expected, as on the first line";
        QTest::newRow("a device") << QByteArray("/dev/zero") << "Not a regular file";
    }
    void alignmentErrors()
    {
        QFETCH(QByteArray, hits);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QFile file(dir.filePath("hits"));
        QVERIFY(hits.startsWith('/') ? QFile::link(hits, file.fileName())
                                     : file.open(QIODevice::WriteOnly) && file.write(hits) > 0);
        file.close();
        TAlignmentReport report;
        try {
            ReadRegionAlignments(file.fileName(), TCatalogue(), {}, report);
            QFAIL("no error");
        } catch (const EAlignmentError &e) {
            QVERIFY2(e.message().endsWith(message) &&
                         (hits.startsWith('/') ||
                          e.message() == "Error in the alignment file at line " + message),
                     qPrintable(e.message()));
        }
    }
};

QTEST_MAIN(TestCoreHomology)
#include "tst_core_homology.moc"
