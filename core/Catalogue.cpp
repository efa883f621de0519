// The catalogue steps.
//
// The catalogue steps give exactly the lists, orders, indices and counts of the plain linear scans,
// done with hashing instead: names in order of first occurrence from a hash table that
// keeps insertion order, gene names sorted in unsigned byte order (the heap sort of SortStrings
// gives the same order, since the names are distinct), the first record of a gene on a
// chromosome found in one pass over the regrouped rows.
#include "core/Catalogue.h"

#include "core/NameTable.h"
#include "core/RecordFile.h"
#include "core/RecordIds.h"
#include "core/RecordMemory.h"
#include "util/VectorOps.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <iterator>
#include <limits>

namespace {

std::vector<tGene> &SingleRow(TCatalogue &catalogue)
{
    if (catalogue.FRecords.empty())
        catalogue.FRecords.emplace_back();
    return catalogue.FRecords.front();
}

// What names each file in a chromosome name it shares with another file: its name without the
// last extension, or the whole name, or the whole path where those are not distinct either; the
// same file given twice gets a number after its second label ("x.txt~2").
std::vector<QByteArray> FileLabels(const QStringList &paths)
{
    const auto distinct = [](const QStringList &labels) {
        return QSet<QString>(labels.begin(), labels.end()).size() == labels.size();
    };
    QStringList labels;
    for (const QString &path : paths)
        labels.append(QFileInfo(path).completeBaseName());
    if (!distinct(labels)) {
        labels.clear();
        for (const QString &path : paths)
            labels.append(QFileInfo(path).fileName());
    }
    if (!distinct(labels))
        labels = paths;
    QSet<QString> taken(labels.begin(), labels.end());
    QSet<QString> used;
    for (QString &label : labels) {
        if (used.contains(label)) {
            QString numbered;
            for (int n = 2; taken.contains(numbered = label + QStringLiteral("~%1").arg(n)); ++n) {
            }
            label = numbered;
            taken.insert(label);
        }
        used.insert(label);
    }
    std::vector<QByteArray> encoded;
    for (const QString &label : labels)
        encoded.push_back(QFile::encodeName(label));
    return encoded;
}

// Renames a chromosome that occurs in more than one file (every one when always) to
// "label:name" in every file, so that two genomes never merge by accident. The records of one name
// keep sharing one QByteArray.
void PrefixSharedChromosomeNames(std::vector<std::vector<tGene>> &files,
                                 std::vector<TChromosomeAliases> &aliases,
                                 const std::vector<QByteArray> &labels, bool always)
{
    std::vector<tVectorOfString> names(files.size());
    QHash<QByteArray, int> fileCount;
    for (std::size_t f = 0; f < files.size(); ++f) {
        TNameTable table(64);
        TNameLookup lookup(table);
        // ChromosomeIndex is free until BuildChromosomeList sets it.
        for (tGene &record : files[f])
            record.ChromosomeIndex = lookup.findOrAdd(record.ChromosomeName);
        names[f] = table.takeNames();
        for (const QByteArray &name : names[f])
            ++fileCount[name];
    }
    // A prefixed name may already be another file's own chromosome ("x:c1" in y beside c1 in x
    // and y): it then gets a number, as no two files' chromosomes may meet in one name.
    QSet<QByteArray> taken;
    for (auto it = fileCount.cbegin(); it != fileCount.cend(); ++it)
        taken.insert(it.key());
    for (std::size_t f = 0; f < files.size(); ++f) {
        tVectorOfString renamed = names[f];
        bool any = false;
        for (QByteArray &name : renamed) {
            if (always || fileCount.value(name) > 1) {
                const QByteArray prefixed = labels[f] + ':' + name;
                name = prefixed;
                for (int n = 2; taken.contains(name); ++n)
                    name = prefixed + '~' + QByteArray::number(n);
                taken.insert(name);
                any = true;
            }
        }
        if (!any)
            continue;
        for (tGene &record : files[f])
            record.ChromosomeName = renamed[std::size_t(record.ChromosomeIndex)];
        // An alias names the chromosome as it is now called.
        QHash<QByteArray, qint32> index;
        for (std::size_t c = 0; c < names[f].size() && !aliases[f].empty(); ++c)
            index.insert(names[f][c], qint32(c));
        for (auto &alias : aliases[f]) {
            const qint32 c = index.value(alias.second, -1);
            if (c >= 0)
                alias.second = renamed[std::size_t(c)];
        }
    }
}

// A chromosome whose coordinates span more than a 32-bit value cannot be drawn. Chromosomes of
// several files never merge, so the file holding it is known: it is named in the message.
void CheckFileSpans(const std::vector<tGene> &records, const QString &name)
{
    TNameTable table(64);
    TNameLookup lookup(table);
    std::vector<std::pair<qint64, qint64>> spans; // by chromosome: least and greatest
    for (const tGene &r : records) {
        const auto [least, greatest] = std::minmax(r.Start, r.End);
        const std::size_t c = std::size_t(lookup.findOrAdd(r.ChromosomeName));
        if (c == spans.size())
            spans.emplace_back(least, greatest);
        spans[c] = {std::min<qint64>(spans[c].first, least),
                    std::max<qint64>(spans[c].second, greatest)};
    }
    for (const auto &[least, greatest] : spans)
        if (least == std::numeric_limits<qint32>::min() ||
            greatest - least > std::numeric_limits<qint32>::max())
            throw EInOutError(QStringLiteral("%1: %2").arg(name, EIntOverflow().message()));
}

} // namespace

void BuildChromosomeList(TCatalogue &catalogue)
{
    std::vector<tGene> &row = SingleRow(catalogue);
    TNameTable table(64);
    const char *lastData = nullptr;
    qsizetype lastSize = -1;
    qint32 lastIndex = -1;
    for (tGene &record : row) {
        const QByteArray &name = record.ChromosomeName;
        if (name.constData() != lastData || name.size() != lastSize) {
            lastIndex = table.findOrAdd(name, [&] { return name; });
            lastData = name.constData();
            lastSize = name.size();
        }
        record.ChromosomeIndex = lastIndex;
    }
    catalogue.FChromosomeNames = table.takeNames();
    catalogue.FChromosomes.assign(catalogue.FChromosomeNames.size(), ChromosomeView{});
    for (std::size_t i = 0; i < catalogue.FChromosomes.size(); ++i)
        catalogue.FChromosomes[i].ChromosomeIndex = qint32(i);
}

void BuildGeneList(TCatalogue &catalogue)
{
    const std::vector<tGene> &row = SingleRow(catalogue);
    TNameTable table(1024);
    TNameLookup lookup(table);
    for (const tGene &record : row)
        lookup.findOrAdd(IdentityName(catalogue, record));
    catalogue.FGeneNames = table.takeNames();
    std::sort(catalogue.FGeneNames.begin(), catalogue.FGeneNames.end(), ByteLess);
}

void GroupRecords(TCatalogue &catalogue)
{
    std::vector<tGene> all = std::move(SingleRow(catalogue));
    const std::size_t chromosomeCount = catalogue.FChromosomes.size();

    // Regrouping, stable: row c gets the records of chromosome c in file order.
    tVectorOfCardinal counter = MakeZeroVector(qint32(chromosomeCount));
    for (const tGene &record : all)
        ++At(counter, record.ChromosomeIndex);
    std::vector<std::vector<tGene>> rows(chromosomeCount);
    for (std::size_t c = 0; c < chromosomeCount; ++c) {
        rows[c].reserve(counter[c]);
        AdviseHugePages(rows[c]);
    }
    for (tGene &record : all)
        rows[std::size_t(record.ChromosomeIndex)].push_back(std::move(record));
    std::vector<tGene>().swap(all);
    catalogue.FRecords = std::move(rows);

    // Gene indices and counts: the first record of a gene on a chromosome, in file order, gets
    // the gene's index and counts the chromosome once; "???" gets neither. In the same pass, the
    // extents and the first offset: every chromosome's leftmost coordinate is drawn at 0.
    const tVectorOfString &genes = catalogue.FGeneNames;
    TNameTable table(genes.size());
    for (const QByteArray &name : genes)
        table.findOrAdd(name, [&] { return name; });
    const qint32 unknown = table.find(kUnknownGene);
    TNameLookup lookup(table);
    catalogue.FGeneCounts = MakeZeroVector(qint32(genes.size()));
    std::vector<qint32> lastChromosome(genes.size(), -1);
    for (std::size_t c = 0; c < chromosomeCount; ++c) {
        std::vector<tGene> &row = catalogue.FRecords[c];
        if (row.empty())
            continue;
        qint32 least = std::min(row.front().Start, row.front().End);
        qint32 greatest = std::max(row.front().Start, row.front().End);
        for (tGene &record : row) {
            least = std::min({least, record.Start, record.End});
            greatest = std::max({greatest, record.Start, record.End});
            const qint32 g = lookup.find(IdentityName(catalogue, record));
            if (g < 0 || g == unknown || lastChromosome[std::size_t(g)] == qint32(c))
                continue;
            lastChromosome[std::size_t(g)] = qint32(c);
            record.GeneIndex = g;
            ++catalogue.FGeneCounts[std::size_t(g)];
        }
        ChromosomeView &view = catalogue.FChromosomes[c];
        view.MinCoord = least;
        view.MaxCoord = greatest;
        view.Offset = CheckedNeg(least);
    }
    catalogue.FMaxGeneCount =
        catalogue.FGeneCounts.empty() ? 0 : MaxOfVector(catalogue.FGeneCounts);
}

TCatalogue CatalogueFromRecords(std::vector<tGene> records)
{
    return CatalogueFromRecords(std::move(records), {});
}

TCatalogue CatalogueFromRecords(std::vector<tGene> records, tVectorOfString groupNames)
{
    return CatalogueFromRecords(std::move(records), std::move(groupNames), {}, {});
}

float LinkIdentity(const TCatalogue &catalogue, qint32 a, qint32 b)
{
    if (a < 0 || b < 0)
        return -1;
    return catalogue.FLinkIdentities.value(LinkIdentityKey(a, b), -1.0f);
}

TCatalogue CatalogueFromRecords(std::vector<tGene> records, tVectorOfString groupNames,
                                const std::vector<qint32> &hitKeys,
                                QHash<quint64, float> identities)
{
    if (records.size() > std::size_t(std::numeric_limits<qint32>::max()))
        throw EIntOverflow();
    TCatalogue catalogue;
    catalogue.FGroupNames = std::move(groupNames);
    catalogue.FRecordCount = qint32(records.size());
    catalogue.FRecords.push_back(std::move(records));
    BuildChromosomeList(catalogue);
    BuildGeneList(catalogue);
    // The keys follow their records into rows as GroupRecords moves them: stably, by chromosome.
    if (!identities.isEmpty() && hitKeys.size() == catalogue.FRecords.front().size()) {
        catalogue.FHitKeys.resize(catalogue.FChromosomes.size());
        const std::vector<tGene> &flat = catalogue.FRecords.front();
        for (std::size_t r = 0; r < flat.size(); ++r)
            catalogue.FHitKeys[std::size_t(flat[r].ChromosomeIndex)].push_back(hitKeys[r]);
        catalogue.FLinkIdentities = std::move(identities);
    }
    GroupRecords(catalogue);
    FindZeroGenes(catalogue);
    return catalogue;
}

TCatalogue LoadCatalogue(const QString &path)
{
    TChromosomeAliases aliases;
    TCatalogue catalogue = CatalogueFromRecords(LoadRecordFile(path, nullptr, &aliases));
    catalogue.FChromosomeAliases = std::move(aliases);
    return catalogue;
}

TCatalogue LoadCatalogue(const QStringList &paths, TGenomeNames genomeNames)
{
    if (paths.size() == 1 && genomeNames == TGenomeNames::Collisions)
        return LoadCatalogue(paths.first());
    TChromosomeAliases aliases;
    TCatalogue catalogue =
        CatalogueFromRecords(LoadRecordFiles(paths, nullptr, nullptr, genomeNames, &aliases));
    catalogue.FChromosomeAliases = std::move(aliases);
    return catalogue;
}

std::vector<tGene> LoadRecordFiles(const QStringList &paths, TRecordIds *ids,
                                   std::vector<std::size_t> *fileEnds, TGenomeNames genomeNames,
                                   TChromosomeAliases *aliases)
{
    if (paths.size() == 1 && genomeNames == TGenomeNames::Collisions) {
        std::vector<tGene> records = LoadRecordFile(paths.first(), ids, aliases);
        if (fileEnds)
            fileEnds->assign(1, records.size());
        return records;
    }
    std::vector<std::vector<tGene>> files;
    std::vector<TChromosomeAliases> fileAliases(std::size_t(paths.size()));
    std::size_t total = 0;
    // A failed file is named by its name, or by its path where two files share the name.
    QStringList names;
    for (const QString &path : paths)
        names.append(QFileInfo(path).fileName());
    const bool namesDistinct = QSet<QString>(names.begin(), names.end()).size() == names.size();
    for (qsizetype f = 0; f < paths.size(); ++f) {
        const QString &path = paths[f];
        if (ids)
            ids->setBase(total);
        try {
            files.push_back(LoadRecordFile(path, ids, &fileAliases[std::size_t(f)]));
        } catch (const EInOutError &e) {
            // Which of the files failed, unless the message says it already.
            if (e.message().contains(path))
                throw;
            throw EInOutError(
                QStringLiteral("%1: %2").arg(namesDistinct ? names[f] : path, e.message()));
        }
        CheckFileSpans(files.back(), namesDistinct ? names[f] : path);
        total += files.back().size();
        if (fileEnds)
            fileEnds->push_back(total);
    }
    PrefixSharedChromosomeNames(files, fileAliases, FileLabels(paths),
                                genomeNames == TGenomeNames::Always);
    if (aliases)
        for (TChromosomeAliases &file : fileAliases)
            aliases->insert(aliases->end(), file.begin(), file.end());
    std::vector<tGene> records;
    records.reserve(total);
    for (std::vector<tGene> &file : files) {
        std::move(file.begin(), file.end(), std::back_inserter(records));
        std::vector<tGene>().swap(file);
    }
    return records;
}

void FindZeroGenes(TCatalogue &catalogue)
{
    const tVectorOfString &names = catalogue.FGeneNames;
    QHash<QByteArray, qint32> genes;
    genes.reserve(qsizetype(names.size()));
    for (std::size_t g = 0; g < names.size(); ++g)
        genes.insert(names[g], qint32(g));
    std::vector<std::vector<qint32>> zeroGenes(catalogue.FRecords.size());
    for (std::size_t c = 0; c < zeroGenes.size(); ++c) {
        for (const tGene &record : catalogue.FRecords[c]) {
            if (record.GeneIndex != 0)
                continue;
            const auto found = genes.constFind(IdentityName(catalogue, record));
            if (found == genes.cend())
                throw ERangeError();
            zeroGenes[c].push_back(*found);
        }
    }
    catalogue.FZeroGenes = std::move(zeroGenes);
}

bool IsNamedGene(const TCatalogue &catalogue, qint32 g)
{
    return At(catalogue.FGeneNames, g) != kUnknownGene;
}

qint32 GeneOfRecord(const TCatalogue &catalogue, const tGene &record)
{
    if (record.GeneIndex != 0)
        return record.GeneIndex;
    // The list is sorted in unsigned byte order, so the name is found by bisection.
    const QByteArray &name = IdentityName(catalogue, record);
    const tVectorOfString &genes = catalogue.FGeneNames;
    const auto found = std::lower_bound(genes.begin(), genes.end(), name, ByteLess);
    if (found == genes.end() || *found != name)
        throw ERangeError();
    return name == kUnknownGene ? -1 : qint32(found - genes.begin());
}

qint32 FirstRecordOf(const TCatalogue &catalogue, qint32 c, qint32 g)
{
    const std::vector<tGene> &row = At(catalogue.FRecords, c);
    if (g != 0) {
        for (std::size_t i = 0; i < row.size(); ++i)
            if (row[i].GeneIndex == g)
                return qint32(i);
        return -1;
    }
    if (!IsNamedGene(catalogue, 0))
        return -1;
    const QByteArray &name = catalogue.FGeneNames.front();
    for (std::size_t i = 0; i < row.size(); ++i)
        if (row[i].GeneIndex == 0 && IdentityName(catalogue, row[i]) == name)
            return qint32(i);
    return -1;
}

qint32 StretchShift(const ChromosomeView &view, qint64 c)
{
    const std::vector<tStretch> &stretches = view.Stretches;
    if (stretches.empty())
        return 0;
    auto after = std::upper_bound(stretches.begin(), stretches.end(), c,
                                  [](qint64 v, const tStretch &s) { return v < s.From; });
    return after == stretches.begin() ? after->Shift : std::prev(after)->Shift;
}

qint32 MapCoordinate(const ChromosomeView &view, qint32 c)
{
    const qint32 drawn = view.Stretches.empty() ? c : CheckedAdd(c, StretchShift(view, c));
    const qint32 shifted = CheckedAdd(drawn, view.Offset);
    return view.Inverted ? CheckedNeg(shifted) : shifted;
}

qint64 OwnCoordinate(const ChromosomeView &view, qint64 x)
{
    const qint64 drawn = (view.Inverted ? -x : x) - view.Offset;
    const std::vector<tStretch> &stretches = view.Stretches;
    if (stretches.empty())
        return drawn;
    // Stretches keep their order when drawn, so the drawn starts ascend too.
    auto after =
        std::upper_bound(stretches.begin(), stretches.end(), drawn,
                         [](qint64 v, const tStretch &s) { return v < qint64(s.From) + s.Shift; });
    return drawn - (after == stretches.begin() ? after->Shift : std::prev(after)->Shift);
}

void CheckMapCoordinates(const TCatalogue &catalogue, const ChromosomeView &view)
{
    // Checking the row's extremes is not enough: a view may come with extents that no longer
    // match its records, and the records are few enough to check one by one.
    for (const tGene &record : At(catalogue.FRecords, view.ChromosomeIndex)) {
        MapCoordinate(view, record.Start);
        MapCoordinate(view, record.End);
    }
}

void CheckMapCoordinates(const TCatalogue &catalogue)
{
    for (const ChromosomeView &view : catalogue.FChromosomes)
        CheckMapCoordinates(catalogue, view);
}
