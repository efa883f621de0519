// The map catalogue: the record table, the chromosome and gene name lists, the per-chromosome
// display state and the gene counts that every part of the map reads. Plain data: the main
// window owns one and fills its two check lists from the name lists, index for index.
#pragma once

#include "core/CoordinateReader.h"
#include "core/RecordFile.h"
#include "util/CommonDecl.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <vector>

class TRecordIds;

struct TCatalogue
{
    // One row per chromosome after GroupRecords (a single row while a file is read).
    std::vector<std::vector<tGene>> FRecords;
    qint32 FRecordCount = 0;
    tVectorOfString FChromosomeNames; // file order
    tVectorOfString FGeneNames;       // unsigned byte order
    // The groups of a homology source, which records name by their Group; empty without one.
    // A record in a group is the group's gene in every list, count and link.
    tVectorOfString FGroupNames;
    std::vector<ChromosomeView> FChromosomes;
    tVectorOfCardinal FGeneCounts;
    quint32 FMaxGeneCount = 0;
    // Per row, in row order, the gene each record of GeneIndex 0 stands for (FindZeroGenes):
    // worked out once per load, not on every rebuild.
    std::vector<std::vector<qint32>> FZeroGenes;
    // The identities a hit table gives pairs of genes: per row, in row order, each record's key
    // into them (-1 for none), and per pair of keys (LinkIdentityKey) the best hit's identity in
    // per cent. Both empty when the source gives no identities.
    std::vector<std::vector<qint32>> FHitKeys;
    QHash<quint64, float> FLinkIdentities;
    // The other names the files give their chromosomes, by name: alignments find rows by them.
    TChromosomeAliases FChromosomeAliases;
};

// The key of FLinkIdentities for two records' hit keys, in either order.
inline quint64 LinkIdentityKey(qint32 a, qint32 b)
{
    const auto low = quint32(std::min(a, b)), high = quint32(std::max(a, b));
    return quint64(low) << 32 | high;
}
// The identity FLinkIdentities gives two records' keys, or -1.
float LinkIdentity(const TCatalogue &catalogue, qint32 a, qint32 b);

// The catalogue steps, run in this order on a catalogue whose FRecords has one row.
void BuildChromosomeList(TCatalogue &catalogue);
void BuildGeneList(TCatalogue &catalogue);
void GroupRecords(TCatalogue &catalogue);

// A whole load: reads the file, whatever its format (see LoadRecordFile), and runs the three
// steps and FindZeroGenes into a new catalogue, so that a failure leaves the caller's catalogue
// untouched.
TCatalogue LoadCatalogue(const QString &path);
// Several files as one catalogue, their records in the order given; a chromosome name that occurs
// in more than one file becomes "file-stem:name" in each. An error in one file fails the whole
// load and names that file. One path is LoadCatalogue of that path.
// With TGenomeNames::Always every chromosome is named "file-stem:name", one file too.
enum class TGenomeNames
{
    Collisions,
    Always
};
TCatalogue LoadCatalogue(const QStringList &paths,
                         TGenomeNames genomeNames = TGenomeNames::Collisions);
TCatalogue CatalogueFromRecords(std::vector<tGene> records);
// The same for records whose Group indexes groupNames.
TCatalogue CatalogueFromRecords(std::vector<tGene> records, tVectorOfString groupNames);
// The same, with each record's hit key (hitKeys[r] for records[r], or empty) and the identities
// they index, which become FHitKeys and FLinkIdentities.
TCatalogue CatalogueFromRecords(std::vector<tGene> records, tVectorOfString groupNames,
                                const std::vector<qint32> &hitKeys,
                                QHash<quint64, float> identities);
// The records of the files as LoadCatalogue takes them, before the steps; with ids, their
// identifiers in the same order. fileEnds, when given, gets the number of records up to the end
// of each file; aliases the chromosomes' other names, naming them as the records do.
std::vector<tGene> LoadRecordFiles(const QStringList &paths, TRecordIds *ids = nullptr,
                                   std::vector<std::size_t> *fileEnds = nullptr,
                                   TGenomeNames genomeNames = TGenomeNames::Collisions,
                                   TChromosomeAliases *aliases = nullptr);

// The name that makes a record's gene: its group's when it has one, else its own.
inline const QByteArray &IdentityName(const TCatalogue &catalogue, const tGene &record)
{
    return record.Group >= 0 ? catalogue.FGroupNames[std::size_t(record.Group)] : record.GeneName;
}

// The gene a record stands for is the index of its name in FGeneNames. The first record of a
// gene on a chromosome carries it as GeneIndex; the others carry 0 (a repeat of a gene on its
// chromosome, a record named "???", gene 0 itself) and FZeroGenes holds theirs, found by name, so
// that a repeat is that gene wherever the list puts "???". Index 0 is thus no sign of "no gene":
// GeneOfRecord and FirstRecordOf tell a record's gene and a gene's first record. Run after
// GroupRecords, and again after any change of a record's name; a name not in the list raises
// ERangeError.
void FindZeroGenes(TCatalogue &catalogue);
// Whether gene g is one the file named: every gene of the list but "???".
bool IsNamedGene(const TCatalogue &catalogue, qint32 g);
// The gene a record stands for: its GeneIndex, or for a record of index 0 the gene of its
// identity name; -1 for a record named "???", the only record that is no gene. A name not in
// the list raises ERangeError.
qint32 GeneOfRecord(const TCatalogue &catalogue, const tGene &record);
// The index in row c of the first record of gene g there, or -1 (always for "???"). Gene 0
// shares its index with repeats and "???", so its first record is found by its name.
qint32 FirstRecordOf(const TCatalogue &catalogue, qint32 c, qint32 g);

// Where coordinate c of a chromosome shown with this view stands on the map: c + Offset, negated
// when the chromosome is inverted (mirrored about 0 after the shift). Checked 32-bit arithmetic:
// a result outside the range raises EIntOverflow. The map builder draws with this and nothing
// else, so that a check made with it holds for the drawing.
// The stretch's shift is added first (StretchShift), so the regions of a chromosome drawn side
// by side move with the row as one.
qint32 MapCoordinate(const ChromosomeView &view, qint32 c);
// The shift of the stretch that holds coordinate c of the chromosome (0 without stretches).
qint32 StretchShift(const ChromosomeView &view, qint64 c);
// The chromosome's own coordinate drawn at map value x: MapCoordinate undone; a value in the
// break between two stretches is read in the stretch before it.
qint64 OwnCoordinate(const ChromosomeView &view, qint64 x);
// Raises EIntOverflow when a Start or End of any record of the view's chromosome has no map
// coordinate, ERangeError when the view names no chromosome.
void CheckMapCoordinates(const TCatalogue &catalogue, const ChromosomeView &view);
// The same for every chromosome, shown or not: a catalogue that passes can be drawn with any
// chromosomes checked.
void CheckMapCoordinates(const TCatalogue &catalogue);
