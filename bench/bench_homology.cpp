// Homology benchmark: two GenBank genomes of 5,000 genes each, the second holding mutated copies
// of the first's proteins under other locus tags, in another order. Prints the time of reading a
// group table of 10,000 rows and a hit table of 10,000 hits, of the load with the table against
// the load without a source, and of `auto` end to end: MMseqs2's clustering alone, then the
// load with the clusters and the links' identities (a second MMseqs2 run) with an empty cache,
// against it, then again from the cache, which is the program's own share. Then the reading of
// 100,000 region alignments between the two genomes in each of the three formats.
//
//   bench_homology [RUNS]     (default 5 runs for the tables; the figures are the medians)
#include "Workloads.h"

#include "core/Homology.h"
#include "core/ProteinClusters.h"
#include "core/RecordIds.h"
#include "core/RegionAlignments.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kGenes = 5000;
const char kAmino[] = "ACDEFGHIKLMNPQRSTVWY";

void Write(const QString &path, const std::string &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), qint64(text.size())) != qint64(text.size()))
        throw std::runtime_error("cannot write " + path.toStdString());
}

std::string Tag(char genome, int g)
{
    return std::string(1, genome) + "Q_" + std::to_string(g);
}

// Genome A's gene g has protein g; genome B's gene g the mutated protein order[g].
std::string Genome(char genome, const std::vector<std::string> &proteins,
                   const std::vector<int> &order, bench::TRandom &random)
{
    std::string text = std::string("LOCUS       genome") + genome +
                       "   9000000 bp    DNA\nFEATURES             Location/Qualifiers\n";
    for (int g = 0; g < kGenes; ++g) {
        std::string protein = proteins[std::size_t(order[std::size_t(g)])];
        if (genome == 'B')
            for (std::size_t k = 1; k < protein.size(); k += 7)
                protein[k] = kAmino[random.below(20)];
        const std::string range =
            std::to_string(1 + 1500 * g) + ".." + std::to_string(1400 + 1500 * g);
        text += "     CDS             " + range + "\n                     /locus_tag=\"" +
                Tag(genome, g) + "\"\n                     /translation=\"";
        for (std::size_t k = 0; k < protein.size(); k += 58)
            text += (k ? "\n                     " : "") + protein.substr(k, 58);
        text += "\"\n";
    }
    return text + "//\n";
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Seconds(const std::function<void()> &run)
{
    QElapsedTimer clock;
    clock.start();
    run();
    return double(clock.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    try {
        QTemporaryDir dir;
        if (!dir.isValid())
            throw std::runtime_error("cannot create a temporary folder");
        bench::TRandom random(28);
        std::vector<std::string> proteins(kGenes);
        for (std::string &p : proteins) {
            p = "M";
            for (int k = 0; k < 200 + int(random.below(200)); ++k)
                p += kAmino[random.below(20)];
        }
        std::vector<int> identity(kGenes), shuffled(kGenes);
        for (int g = 0; g < kGenes; ++g)
            identity[std::size_t(g)] = shuffled[std::size_t(g)] = g;
        for (int g = kGenes - 1; g > 0; --g)
            std::swap(shuffled[std::size_t(g)], shuffled[random.below(quint32(g + 1))]);
        const QStringList genomes{dir.filePath(QStringLiteral("genomeA.gb")),
                                  dir.filePath(QStringLiteral("genomeB.gb"))};
        Write(genomes[0], Genome('A', proteins, identity, random));
        Write(genomes[1], Genome('B', proteins, shuffled, random));

        // Gene g of B holds protein shuffled[g], the protein of gene shuffled[g] of A.
        std::string groups, hits;
        for (int g = 0; g < kGenes; ++g) {
            const std::string a = Tag('A', shuffled[std::size_t(g)]), b = Tag('B', g);
            groups +=
                "OG" + std::to_string(g) + '\t' + a + "\nOG" + std::to_string(g) + '\t' + b + '\n';
            hits += a + '\t' + b + "\t86.5\t300\t40\t0\t1\t300\t1\t300\t1e-80\t520\n" + b + '\t' +
                    a + "\t86.5\t300\t40\t0\t1\t300\t1\t300\t1e-80\t520\n";
        }
        const QString groupTable = dir.filePath(QStringLiteral("groups.tsv"));
        const QString hitTable = dir.filePath(QStringLiteral("hits.m8"));
        Write(groupTable, groups);
        Write(hitTable, hits);

        std::printf("homology: two GenBank genomes of %d genes, %d runs, medians\n", kGenes, runs);
        for (const auto &[name, table] : {std::pair{"group table, 10,000 rows", groupTable},
                                          std::pair{"hit table, 10,000 hits", hitTable}}) {
            const QString &path = table; // clang 14 cannot capture a structured binding
            std::vector<double> t;
            for (int r = 0; r < runs; ++r)
                t.push_back(Seconds([&] { ReadHomologyTable(path, {}); }));
            std::printf("  read %-26s %8.4f s\n", name, Median(t));
        }
        std::vector<double> plain, grouped;
        qint64 groupCount = 0;
        for (int r = 0; r < runs; ++r) {
            plain.push_back(Seconds([&] { LoadCatalogue(genomes); }));
            grouped.push_back(Seconds([&] {
                THomologyReport report;
                LoadCatalogue(genomes, THomologySource{groupTable, {}}, &report);
                groupCount = report.Groups;
            }));
        }
        std::printf("  load without a source             %8.4f s\n", Median(plain));
        std::printf("  load with the group table         %8.4f s  (%lld groups)\n", Median(grouped),
                    static_cast<long long>(groupCount));

        // Stretches of A on B, every third on the minus strand, B named with a version suffix
        // on every other line, as sequence files name it.
        constexpr int kAlignments = 100000;
        std::string blast, paf, coords;
        for (int k = 0; k < kAlignments; ++k) {
            const std::string a = std::to_string(1 + random.below(8000000));
            const std::string b = std::to_string(1 + random.below(8000000));
            const std::string n = std::to_string(200 + random.below(5000));
            const std::string aEnd = std::to_string(std::stoll(a) + std::stoll(n) - 1);
            const std::string bEnd = std::to_string(std::stoll(b) + std::stoll(n) - 1);
            const bool minus = k % 3 == 0;
            const std::string nameB = k % 2 ? "genomeB.1" : "genomeB";
            blast += "genomeA\t" + nameB + "\t91.25\t" + n + "\t12\t1\t" + a + '\t' + aEnd + '\t' +
                     (minus ? bEnd + '\t' + b : b + '\t' + bEnd) + "\t1e-90\t800\n";
            paf += "genomeA\t9000000\t" + std::to_string(std::stoll(a) - 1) + '\t' + aEnd +
                   (minus ? "\t-\t" : "\t+\t") + nameB + "\t9000000\t" +
                   std::to_string(std::stoll(b) - 1) + '\t' + bEnd + '\t' + n + '\t' + n +
                   "\t60\ttp:A:P\tcm:i:40\n";
            coords += a + '\t' + aEnd + '\t' + (minus ? bEnd + '\t' + b : b + '\t' + bEnd) + '\t' +
                      n + '\t' + n + "\t91.25\t9000000\t9000000\t0.01\t0.01\tgenomeA\t" + nameB +
                      '\n';
        }
        const TCatalogue both = LoadCatalogue(genomes);
        for (const auto &[name, text] : {std::pair{"100,000 BLAST alignments", &blast},
                                         std::pair{"100,000 PAF alignments", &paf},
                                         std::pair{"100,000 show-coords lines", &coords}}) {
            const QString path = dir.filePath(QString::fromLatin1(name).replace(' ', '-'));
            Write(path, *text);
            std::vector<double> t;
            qint64 kept = 0;
            for (int r = 0; r < runs; ++r)
                t.push_back(Seconds([&] {
                    TAlignmentReport report;
                    ReadRegionAlignments(path, both, {}, report);
                    kept = report.Kept;
                }));
            std::printf("  read %-26s %8.4f s  (%lld kept)\n", name, Median(t),
                        static_cast<long long>(kept));
        }

        // auto: each cache starts empty, so the first load runs MMseqs2. The clustering alone is
        // what a load cost before the links had identities.
        qputenv("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache-clusters")).toUtf8());
        TRecordIds ids(true);
        std::vector<tGene> records = LoadRecordFiles(genomes, &ids);
        TranslateCdsParts(ids);
        const double clustering =
            Seconds([&] { ClusterProteins(records, ids, THomologyThresholds{}, {}); });
        std::printf("  auto, MMseqs2 clustering alone    %8.2f s\n", clustering);
        qputenv("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")).toUtf8());
        THomologyReport report;
        qsizetype identities = 0;
        const double first = Seconds([&] {
            identities = LoadCatalogue(genomes, THomologySource{kAutoHomology, {}}, &report)
                             .FLinkIdentities.size();
        });
        std::printf("  auto with identities, MMseqs2 run %8.2f s  (%lld groups, %lld identities, "
                    "%.2fx the clustering alone)\n",
                    first, static_cast<long long>(report.Groups),
                    static_cast<long long>(identities), first / clustering);
        // The alignment alone, the clusters taken from the cache: the two runs above are apart in
        // time, and another program's load may fall on either.
        for (const QFileInfo &entry : QDir(dir.filePath(QStringLiteral("cache/ostrinel")))
                                          .entryInfoList({QStringLiteral("identities-*")}))
            QFile::remove(entry.filePath());
        const double aligning = Seconds([&] {
            LoadCatalogue(genomes, THomologySource{kAutoHomology, {}}, &report);
        });
        std::printf("  auto, the alignment alone         %8.2f s  (clustering and alignment "
                    "%.2fx the clustering alone)\n",
                    aligning, (clustering + aligning) / clustering);
        std::vector<double> cached;
        for (int r = 0; r < runs; ++r)
            cached.push_back(Seconds([&] {
                LoadCatalogue(genomes, THomologySource{kAutoHomology, {}}, &report);
            }));
        std::printf("  auto, from the cache (our share)  %8.4f s\n", Median(cached));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_homology: %s\n", e.what());
        return 1;
    }
    return 0;
}
