// Homology sources: tables that put genes of different names into groups, and the load that
// makes each group one gene of the catalogue. Three table formats, told apart by their content:
// group<TAB>gene lines (MMseqs2's cluster table representative<TAB>member among them); an
// orthogroup table, a header "Orthogroup<TAB>genome..." and cells of comma-separated genes; and
// tabular similarity hits of 12 columns (BLAST, DIAMOND, MMseqs2), whose hits that pass the
// thresholds join genes into connected groups.
#pragma once

#include "core/Catalogue.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>
#include <vector>

// A homology source that cannot be read or used: its message names the table or MMseqs2, not
// the map's files.
class EHomologyError : public EInOutError
{
public:
    using EInOutError::EInOutError;
};

// What `--homology auto` and "Find homologs" give as the table: the loaded genes' proteins
// clustered by MMseqs2.
inline const QString kAutoHomology = QStringLiteral("auto");

// The protein files kAutoHomology reads beside an annotation file that carries no sequence of
// its own: its name with .fa, .fasta or .fna for its extension.
QStringList ProteinFilesBeside(const QString &annotationPath);

struct THomologyThresholds
{
    double MinIdentity = 30; // per cent; a hit table giving fractions (at most 1) is scaled
    double MaxEvalue = 1e-5;
};

enum class THomologyFormat
{
    Groups,
    Orthogroups,
    Hits
};

// A table as read: each entry a gene identifier (upper-cased a to z, as gene names are) in one
// group, the groups in the order they first appear.
struct THomologyTable
{
    THomologyFormat Format = THomologyFormat::Groups;
    tVectorOfString Groups;
    std::vector<std::pair<qint32, QByteArray>> Entries; // group, gene identifier
    // Hits only: every gene identifier of the hits kept, and the identity in per cent of the
    // best hit of each pair of them (indices into HitGenes), for the links to show.
    struct TPairIdentity
    {
        qint32 A, B;
        float Identity;
    };
    tVectorOfString HitGenes;
    std::vector<TPairIdentity> Identities;
};

// Reads a table, deciding its format by its first line that is neither blank nor a # comment.
// A line that breaks the format raises EInOutError "Error in the homology table at line N: ...".
THomologyTable ParseHomologyTable(const QByteArray &text, const THomologyThresholds &thresholds);
THomologyTable ReadHomologyTable(const QString &path, const THomologyThresholds &thresholds);
// How the program names the format in its messages.
QString HomologyFormatName(THomologyFormat format);

// A homology source: a table file, kAutoHomology, or nothing (empty).
struct THomologySource
{
    QString Table;
    THomologyThresholds Thresholds;
    bool IsSet() const { return !Table.isEmpty(); }
};

// What a load with a source found, for the status line and the terminal.
struct THomologyReport
{
    QString Source;                     // the table's file name, or "MMseqs2"
    qint64 Groups = 0;                  // groups that hold at least one loaded gene
    qint64 Unmatched = 0;               // table identifiers that name no loaded gene
    QHash<QByteArray, QString> Genomes; // chromosome name -> the stem of the file it is in
    QString Text() const;               // one line for the user
};

// Step messages of a long load ("Clustering 812 proteins with MMseqs2..."), given again
// several times a second while MMseqs2 runs, the same text until there is news.
using THomologyProgress = std::function<void(const QString &)>;

// Gives each record the group a table puts it in, by its own name or any identifier ids holds
// for it. Returns the group names the records' Group indexes (groups with no loaded gene left
// out). A gene that two groups claim raises EInOutError naming the gene and both groups.
// hitKeys, when given, gets each record's index into table.HitGenes (-1 for none): the
// identifier the record is known by in the hits, its name first.
tVectorOfString ApplyHomologyTable(std::vector<tGene> &records, const TRecordIds &ids,
                                   const THomologyTable &table, THomologyReport &report,
                                   std::vector<qint32> *hitKeys = nullptr);

// LoadCatalogue with a source: the records read with their identifiers (and proteins for
// kAutoHomology), put into groups, then the catalogue steps. Without a source, LoadCatalogue.
TCatalogue LoadCatalogue(const QStringList &paths, const THomologySource &source,
                         THomologyReport *report = nullptr, const THomologyProgress &progress = {},
                         TGenomeNames genomeNames = TGenomeNames::Collisions);

// One line per record, in map order: gene, genome (the stem of the file it came from), group
// (the record's gene in the catalogue), tab-separated under the header "gene genome group".
QByteArray GroupsText(const TCatalogue &catalogue, const THomologyReport &report);
