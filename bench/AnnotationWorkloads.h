// Synthetic annotation files for the catalogue benchmark, seeded like the coordinate workloads:
//
//   G1: a GFF3 file of 1,000,000 gene lines on 20 chromosomes, named from the 60,000 gene names
//       of W1, every tenth with a product, both strands, a ##sequence-region line per chromosome.
//   B1: a GenBank file of 100,000 features: 50,000 genes each with its CDS (locus tag, gene name,
//       product and a translation over two lines), in 20 LOCUS records.
//   B2: the same 100,000 features in one record, each gene taking its product from its CDS.
//   E1: B1 written as an EMBL file.
//   P1: a GFF3 file of 1,000,000 genes, one transcript whose Parent lists them all and 1,000,000
//       CDS children of it, each with a product.
#pragma once

#include "Workloads.h"

#include <sstream>

namespace bench {

inline constexpr int kAnnotationVersion = 1;

template <typename Out> void GenerateGff3(qint64 genes, Out out)
{
    TRandom random(11);
    std::string text = "##gff-version 3\n";
    const int chromosomes = 20;
    for (int c = 0; c < chromosomes; ++c)
        text += "##sequence-region chr" + std::to_string(c + 1) + " 1 2000000000\n";
    const qint64 perChromosome = genes / chromosomes;
    for (qint64 g = 0; g < genes; ++g) {
        const qint64 c = std::min<qint64>(g / perChromosome, chromosomes - 1);
        const qint64 start = 1 + (g % perChromosome) * 1500 + random.below(400);
        const qint64 end = start + 300 + random.below(1000);
        text += "chr" + std::to_string(c + 1) + "\tbench\tgene\t" + std::to_string(start) + '\t' +
                std::to_string(end) + "\t.\t" + (random.chance(50) ? '+' : '-') + "\t.\tID=gene:G" +
                std::to_string(g) + ";Name=" + GeneName(int(random.below(60000))).toStdString() +
                ";biotype=protein_coding";
        if (g % 10 == 0)
            text += ";product=putative membrane transport protein";
        text += '\n';
        if (text.size() > (1 << 20)) {
            out(text);
            text.clear();
        }
    }
    out(text);
}

template <typename Out> void GenerateGenBank(qint64 features, Out out, int records = 20)
{
    TRandom random(12);
    const qint64 genesPerRecord = features / 2 / records;
    std::string text;
    std::string translation;
    for (int r = 0; r < records; ++r) {
        const std::string locus = "BENCH" + std::to_string(r + 1);
        text += "LOCUS       " + locus + "   " + std::to_string(genesPerRecord * 1500 + 1000) +
                " bp    DNA     linear   BCT 01-JAN-2024\nDEFINITION  benchmark record.\n"
                "FEATURES             Location/Qualifiers\n";
        for (qint64 g = 0; g < genesPerRecord; ++g) {
            const qint64 start = 1 + g * 1500 + random.below(400);
            const qint64 end = start + 300 + random.below(1000);
            const bool minus = random.chance(50);
            const std::string range = std::to_string(start) + ".." + std::to_string(end);
            const std::string location = minus ? "complement(" + range + ")" : range;
            const std::string tag = locus + "_" + std::to_string(g);
            const std::string name = GeneName(int(random.below(60000))).toStdString();
            text += "     gene            " + location + "\n                     /gene=\"" + name +
                    "\"\n                     /locus_tag=\"" + tag + "\"\n";
            text += "     CDS             " + location + "\n                     /gene=\"" + name +
                    "\"\n                     /locus_tag=\"" + tag +
                    "\"\n                     /codon_start=1\n"
                    "                     /product=\"putative membrane transport protein\"\n";
            translation.clear();
            for (int k = 0; k < 100; ++k)
                translation += "ACDEFGHIKLMNPQRSTVWY"[random.below(20)];
            text += "                     /translation=\"" + translation.substr(0, 44) +
                    "\n                     " + translation.substr(44) + "\"\n";
            if (text.size() > (1 << 20)) {
                out(text);
                text.clear();
            }
        }
        text += "ORIGIN\n        1 acgtacgtac gtacgtacgt\n//\n";
    }
    out(text);
}

// GenBank text of whole lines as EMBL writes it: ID, DE, FH, FT, SQ and sequence lines.
inline std::string EmblOfGenBank(const std::string &text, bool &sequence)
{
    std::string embl;
    embl.reserve(text.size() + text.size() / 10);
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t lf = text.find('\n', at);
        const std::string line = text.substr(at, lf - at);
        at = lf + 1;
        if (line.rfind("LOCUS", 0) == 0) {
            std::istringstream words(line.substr(5));
            std::string name, length, unit, molecule, topology;
            words >> name >> length >> unit >> molecule >> topology;
            embl += "ID   " + name + "; SV 1; " + topology + "; " + molecule + "; STD; PRO; " +
                    length + " BP.\nXX\n";
        } else if (line.rfind("DEFINITION", 0) == 0) {
            embl += "DE   " + line.substr(12) + "\nXX\n";
        } else if (line.rfind("FEATURES", 0) == 0) {
            embl += "FH   Key             Location/Qualifiers\nFH\n";
        } else if (line.rfind("ORIGIN", 0) == 0) {
            embl += "XX\nSQ   Sequence\n";
            sequence = true;
        } else if (line == "//") {
            embl += "//\n";
            sequence = false;
        } else if (sequence) {
            embl += "     " + line.substr(10) + "\n";
        } else {
            embl += "FT" + line.substr(2) + "\n";
        }
    }
    return embl;
}

template <typename Out> void GenerateEmbl(qint64 features, Out out)
{
    bool sequence = false;
    GenerateGenBank(features, [&](const std::string &text) { out(EmblOfGenBank(text, sequence)); });
}

template <typename Out> void GenerateGff3ParentList(qint64 genes, Out out)
{
    std::string text = "##gff-version 3\n";
    const auto flush = [&] {
        if (text.size() > (1 << 20)) {
            out(text);
            text.clear();
        }
    };
    for (qint64 g = 0; g < genes; ++g) {
        text += "chr1\tbench\tgene\t" + std::to_string(1 + g * 10) + '\t' +
                std::to_string(9 + g * 10) + "\t.\t+\t.\tID=g" + std::to_string(g) + '\n';
        flush();
    }
    text += "chr1\tbench\tmRNA\t1\t" + std::to_string(genes * 10) + "\t.\t+\t.\tID=t;Parent=";
    for (qint64 g = 0; g < genes; ++g) {
        text += (g ? ",g" : "g") + std::to_string(g);
        flush();
    }
    text += '\n';
    for (qint64 g = 0; g < genes; ++g) {
        text += "chr1\tbench\tCDS\t" + std::to_string(1 + g * 10) + '\t' +
                std::to_string(9 + g * 10) + "\t.\t+\t0\tParent=t;product=part " +
                std::to_string(g) + '\n';
        flush();
    }
    out(text);
}

// The path of the file in the cache folder, written first when it is not there.
template <typename Generate> QString EnsureAnnotation(const char *name, Generate generate)
{
    const QString dir = WorkloadCacheDir();
    if (!QDir().mkpath(dir))
        throw std::runtime_error(("cannot create " + dir).toStdString());
    const QString path = QStringLiteral("%1/%2-v%3").arg(dir).arg(name).arg(kAnnotationVersion);
    if (QFile::exists(path))
        return path;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error(("cannot write " + path).toStdString());
    generate([&](const std::string &text) {
        if (file.write(text.data(), qint64(text.size())) != qint64(text.size()))
            throw std::runtime_error(("cannot write " + path).toStdString());
    });
    if (!file.commit())
        throw std::runtime_error(("cannot write " + path).toStdString());
    return path;
}

} // namespace bench
