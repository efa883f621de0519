// The coordinate file reader and the catalogue steps.
//
// The reader takes the file in large blocks and parses the bytes in place: a line is a view into
// the block, its columns are views into the line, and only what a record keeps becomes a
// QByteArray. Chromosome and gene names are interned, so every record of one name shares one
// QByteArray; an empty comment stays a null QByteArray. Gene names are looked up a batch of lines
// at a time, so that the cache misses of the look-ups overlap (see TCoordinateParser).
//
// The catalogue steps give exactly the lists, orders, indices and counts of the plain linear scans,
// done with hashing instead: names in order of first occurrence from a hash table that
// keeps insertion order, gene names sorted in unsigned byte order (the heap sort of SortStrings
// gives the same order, since the names are distinct), the first record of a gene on a
// chromosome found in one pass over the regrouped rows.
#include "core/Catalogue.h"

#include "util/StringOps.h"
#include "util/VectorOps.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#ifdef __linux__
#include <sys/mman.h>
#endif
#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr char kCtrlZ = 26;
constexpr qsizetype kBlockSize = 4 << 20;

quint64 Load64(const char *p)
{
    quint64 v;
    std::memcpy(&v, p, 8);
    return v;
}

quint64 HashBytes(const char *p, qsizetype n)
{
    constexpr quint64 k = 0x9E3779B97F4A7C15ull;
    quint64 h = quint64(n) * k;
    while (n >= 8) {
        h = (h ^ Load64(p)) * k;
        h ^= h >> 29;
        p += 8;
        n -= 8;
    }
    if (n > 0) {
        quint64 tail = 0;
        std::memcpy(&tail, p, std::size_t(n));
        h = (h ^ tail) * k;
    }
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ull;
    h ^= h >> 32;
    return h;
}

bool SameBytes(QByteArrayView a, const QByteArray &b)
{
    qsizetype n = a.size();
    if (n != b.size())
        return false;
    const char *p = a.data();
    const char *q = b.constData();
    // Names are short: compare eight bytes at a time without a call.
    for (; n >= 8; n -= 8, p += 8, q += 8)
        if (Load64(p) != Load64(q))
            return false;
    for (; n > 0; --n)
        if (*p++ != *q++)
            return false;
    return true;
}

// Distinct byte strings, each with the index of its insertion: open addressing, linear probing.
// A slot keeps its own copy of the name (shared, not copied), so a probe reads the slot and the
// name's bytes and nothing else.
class TNameTable
{
public:
    explicit TNameTable(std::size_t expected = 16)
    {
        std::size_t capacity = 16;
        while (capacity < 2 * expected)
            capacity *= 2;
        m_slots.resize(capacity);
        m_mask = capacity - 1;
        m_names.reserve(expected);
    }

    qint32 find(QByteArrayView name) const
    {
        const quint64 h = HashBytes(name.data(), name.size());
        for (std::size_t i = std::size_t(h) & m_mask;; i = (i + 1) & m_mask) {
            const Slot &slot = m_slots[i];
            if (slot.index < 0)
                return -1;
            if (slot.tag == quint32(h >> 32) && SameBytes(name, slot.name))
                return slot.index;
        }
    }

    // The kept copy of name; when it is new, make() gives the QByteArray to keep for it.
    template <typename Make>
    const QByteArray &intern(QByteArrayView name, Make make, qint32 *index = nullptr)
    {
        return intern(name, HashBytes(name.data(), name.size()), make, index);
    }

    // The same with the name's hash already computed.
    template <typename Make>
    const QByteArray &intern(QByteArrayView name, quint64 h, Make make, qint32 *index = nullptr)
    {
        std::size_t i = std::size_t(h) & m_mask;
        for (;; i = (i + 1) & m_mask) {
            const Slot &slot = m_slots[i];
            if (slot.index < 0)
                break;
            if (slot.tag == quint32(h >> 32) && SameBytes(name, slot.name)) {
                if (index)
                    *index = slot.index;
                return slot.name;
            }
        }
        const auto added = qint32(m_names.size());
        m_names.push_back(make());
        m_slots[i] = Slot{m_names.back(), quint32(h >> 32), added};
        if (index)
            *index = added;
        if (2 * m_names.size() > m_slots.size()) {
            grow();
            return m_names.back();
        }
        return m_slots[i].name;
    }

    // The index of name, added when new as make() gives it.
    template <typename Make> qint32 findOrAdd(QByteArrayView name, Make make)
    {
        qint32 index = -1;
        intern(name, make, &index);
        return index;
    }

    // For look-ups in batches: bring the first slot of a hash into the cache, then find the
    // kept name whose slot carries the hash's tag (without comparing bytes: the caller compares
    // later, once that name is in the cache too), or null when the probe meets an empty slot.
    void prefetch(quint64 h) const { __builtin_prefetch(&m_slots[std::size_t(h) & m_mask]); }
    const QByteArray *candidate(quint64 h) const
    {
        for (std::size_t i = std::size_t(h) & m_mask;; i = (i + 1) & m_mask) {
            const Slot &slot = m_slots[i];
            if (slot.index < 0)
                return nullptr;
            if (slot.tag == quint32(h >> 32))
                return &slot.name;
        }
    }
    // Changes whenever the slots move, which makes earlier candidates invalid.
    std::size_t generation() const { return m_slots.size(); }

    const QByteArray &name(qint32 index) const { return m_names[std::size_t(index)]; }
    std::size_t size() const { return m_names.size(); }
    tVectorOfString takeNames()
    {
        m_slots.clear();
        return std::move(m_names);
    }

private:
    struct Slot
    {
        QByteArray name;
        quint32 tag = 0;
        qint32 index = -1;
    };

    void grow()
    {
        std::vector<Slot> grown(2 * m_slots.size());
        const std::size_t mask = grown.size() - 1;
        for (Slot &slot : m_slots) {
            if (slot.index < 0)
                continue;
            const quint64 h = HashBytes(slot.name.constData(), slot.name.size());
            std::size_t i = std::size_t(h) & mask;
            while (grown[i].index >= 0)
                i = (i + 1) & mask;
            grown[i] = std::move(slot);
        }
        m_slots.swap(grown);
        m_mask = mask;
    }

    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
    tVectorOfString m_names;
};

// Names looked up through a content table, first by the QByteArray's data pointer and size:
// records of one interned name share their data, so a look-up mostly costs one probe of a small
// table of pointers and no hashing or comparing of bytes. Equal pointer and size mean equal bytes
// as long as the names seen are alive and unchanged, which holds during one catalogue step.
// Records whose names are not shared would only fill the pointer table, so it is given up when it
// grows far beyond the number of distinct names.
class TNameLookup
{
public:
    explicit TNameLookup(TNameTable &table) : m_table(table) { rehash(1 << 12); }

    // The index of name in the table, or -1.
    qint32 find(const QByteArray &name) { return lookup(name, false); }
    // The index of name, adding it to the table when it is new.
    qint32 findOrAdd(const QByteArray &name) { return lookup(name, true); }

private:
    struct Slot
    {
        const char *data = nullptr; // constData() is never null, so null marks an empty slot
        qint32 size = 0;            // names longer than 2 GB are not cached
        qint32 index = -1;
    };

    qint32 lookup(const QByteArray &name, bool add)
    {
        if (!m_enabled || name.size() > std::numeric_limits<qint32>::max())
            return add ? m_table.findOrAdd(name, [&] { return name; }) : m_table.find(name);
        const char *data = name.constData();
        std::size_t i = PointerHash(data) & m_mask;
        for (;; i = (i + 1) & m_mask) {
            const Slot &slot = m_slots[i];
            if (slot.data == data && slot.size == name.size())
                return slot.index;
            if (!slot.data)
                break;
        }
        const qint32 index =
            add ? m_table.findOrAdd(name, [&] { return name; }) : m_table.find(name);
        m_slots[i] = Slot{data, qint32(name.size()), index};
        if (2 * ++m_used > m_slots.size()) {
            if (m_used > 4 * m_table.size() + 4096)
                m_enabled = false; // the names are not shared: look them up by content
            else
                rehash(2 * m_slots.size());
        }
        return index;
    }

    static std::size_t PointerHash(const char *data)
    {
        const quint64 h = quint64(reinterpret_cast<quintptr>(data)) * 0x9E3779B97F4A7C15ull;
        return std::size_t(h >> 20);
    }

    void rehash(std::size_t capacity)
    {
        std::vector<Slot> old;
        old.swap(m_slots);
        m_slots.assign(capacity, Slot{});
        m_mask = capacity - 1;
        for (const Slot &slot : old) {
            if (!slot.data)
                continue;
            std::size_t i = PointerHash(slot.data) & m_mask;
            while (m_slots[i].data)
                i = (i + 1) & m_mask;
            m_slots[i] = slot;
        }
    }

    TNameTable &m_table;
    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
    std::size_t m_used = 0;
    bool m_enabled = true;
};

// Asks the system to back a large, still untouched array with huge pages: a record table of a
// million records is 96 MB, and taking it in 4 KB pages costs more time than parsing it.
template <typename T> void AdviseHugePages(std::vector<T> &v)
{
#ifdef __linux__
    constexpr quintptr huge = 2 << 20;
    const auto begin = reinterpret_cast<quintptr>(v.data());
    const quintptr end = begin + v.capacity() * sizeof(T);
    const quintptr first = (begin + huge - 1) & ~(huge - 1);
    const quintptr last = end & ~(huge - 1);
    if (last > first)
        madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
#else
    Q_UNUSED(v);
#endif
}

// Room for the records of a file of the given size: lines of the usual length (a record of a
// coordinate file takes 30 to 60 bytes) need no growing of the table. Only what is filled takes
// memory, and a table that turns out too small grows as usual.
void ReserveRecords(std::vector<tGene> &records, qint64 bytes)
{
    const qint64 wanted = std::min<qint64>(bytes / 24, qint64(1) << 28);
    if (wanted <= qint64(records.capacity()))
        return;
    try {
        records.reserve(std::size_t(wanted));
        AdviseHugePages(records);
    } catch (const std::bad_alloc &) {
    }
}

// Thrown inside the reading loop; the loop turns every error into the line's EInOutError.
struct TBadLine
{
};

QString LineErrorMessage(qint64 line)
{
    return QStringLiteral("Error in the file at line %1").arg(line);
}

// The line-by-line reader over bytes that arrive in blocks.
//
// Gene names are looked up in batches of lines, in three passes: the first parses each line and
// hashes its gene name, asking for the name's slot in the table; the second reads the slots and
// asks for the names they hold; the third compares and stores the records. The cache misses of
// the look-ups thus overlap instead of following one another, which takes a third off the time
// of a large file with many names. A line that fails stops the load at once from the first pass,
// with its own line number; the records of the batch are lost with the whole load.
class TCoordinateParser
{
public:
    explicit TCoordinateParser(std::vector<tGene> &records) : m_records(records), m_genes(1024)
    {
        // The record table starts as one row with room for 100 records.
        m_records.clear();
        m_records.reserve(100);
    }

    // Reads the lines of [p, end): every line that ends with LF, and when final also the last
    // line without one. Returns where the unread rest begins (the start of an unfinished line).
    const char *parseLines(const char *p, const char *end, bool final)
    {
        while (!m_finished && p < end) {
            if (*p == kCtrlZ) {
                // Ctrl+Z at the start of a line ends the file.
                m_finished = true;
                break;
            }
            const auto *lf = static_cast<const char *>(std::memchr(p, '\n', std::size_t(end - p)));
            if (!lf) {
                if (!final)
                    break;
                parseLine(p, end);
                p = end;
                break;
            }
            parseLine(p, lf);
            p = lf + 1;
        }
        flush();
        return m_finished ? end : p;
    }

    bool finished() const { return m_finished; }
    qint64 lineCounter() const { return m_lineCounter; }

private:
    static constexpr int kBatch = 32;
    static constexpr int kInlineName = 40;

    // A record between the first and the last pass.
    struct TPending
    {
        qint32 chromosome = 0; // index in m_chromosomes
        qint32 start = 0;
        qint32 end = 0;
        qint32 strand = 0;
        QByteArray comment;
        QByteArray gene;     // when known from the first pass (no name, or a long one)
        bool lookUp = false; // else: the upper-cased name is in key, its hash in hash
        int keyLength = 0;
        quint64 hash = 0;
        const QByteArray *candidate = nullptr;
        char key[kInlineName];
    };

    void parseLine(const char *p, const char *q)
    {
        ++m_lineCounter;
        // A CR before the LF ends the line with it; any other CR is dropped from the line.
        while (q > p && q[-1] == '\r')
            --q;
        if (q > p && std::memchr(p, '\r', std::size_t(q - p))) {
            m_scratch.clear();
            for (const char *s = p; s < q; ++s)
                if (*s != '\r')
                    m_scratch.push_back(*s);
            p = m_scratch.data();
            q = p + m_scratch.size();
        }

        // Trimming: bytes of value 32 or less go from both ends.
        while (p < q && IsTrimByte(*p))
            ++p;
        while (q > p && IsTrimByte(q[-1]))
            --q;
        if (p == q)
            return;

        // Columns 1 to 6; anything after the sixth is ignored. Columns are short, so a plain
        // byte loop finds their tabs sooner than a call per column.
        QByteArrayView columns[6];
        int count = 0;
        const char *s = p;
        for (const char *t = p;; ++t) {
            if (t == q || *t == '\t') {
                columns[count++] = QByteArrayView(s, t - s);
                if (t == q || count == 6)
                    break;
                s = t + 1;
            }
        }
        if (count < 4)
            return;

        TPending &r = m_pending[m_pendingCount];
        if (!TryStrToInt(columns[1], r.start) || !TryStrToInt(columns[2], r.end) ||
            !TryStrToInt(columns[3], r.strand))
            throw TBadLine();
        if (r.strand == -1)
            std::swap(r.start, r.end);
        r.chromosome = chromosome(Trimmed(columns[0]));
        r.lookUp = false;
        r.candidate = nullptr;
        const QByteArrayView gene = count >= 5 ? Trimmed(columns[4]) : QByteArrayView();
        if (gene.isEmpty()) {
            r.gene = kUnknownGene;
        } else if (gene.size() > kInlineName) {
            r.gene = intern(UpperCaseAZ(gene.toByteArray()));
        } else {
            r.lookUp = true;
            r.keyLength = int(gene.size());
            for (int k = 0; k < r.keyLength; ++k)
                r.key[k] = UpperAZ(gene[k]);
            r.hash = HashBytes(r.key, r.keyLength);
            m_genes.prefetch(r.hash);
        }
        r.comment.clear();
        if (count >= 6) {
            const QByteArrayView text = Trimmed(columns[5]);
            if (!text.isEmpty())
                r.comment = UpperCaseAZ(text.toByteArray());
        }
        if (++m_pendingCount == kBatch)
            flush();
    }

    // The second and third passes over the batch.
    void flush()
    {
        const std::size_t generation = m_genes.generation();
        for (int k = 0; k < m_pendingCount; ++k) {
            TPending &r = m_pending[k];
            if (r.lookUp && (r.candidate = m_genes.candidate(r.hash)))
                __builtin_prefetch(r.candidate->constData());
        }
        for (int k = 0; k < m_pendingCount; ++k) {
            TPending &r = m_pending[k];
            const QByteArray *gene = &r.gene;
            if (r.lookUp) {
                const QByteArrayView key(r.key, r.keyLength);
                // A candidate holds if the slots have not moved since and its bytes agree.
                if (r.candidate && m_genes.generation() == generation &&
                    SameBytes(key, *r.candidate))
                    gene = r.candidate;
                else
                    gene = &intern(key, r.hash);
            }
            // Braces, not emplace_back's parentheses: clang 14 does not build aggregates from
            // parentheses, and the sanitizer build uses it.
            m_records.push_back(tGene{m_chromosomes.name(r.chromosome), 0, 0, r.start, r.end,
                                      r.strand, *gene, std::move(r.comment)});
        }
        m_pendingCount = 0;
    }

    static QByteArrayView Trimmed(QByteArrayView text)
    {
        const char *b = text.data();
        const char *e = b + text.size();
        while (b < e && IsTrimByte(*b))
            ++b;
        while (e > b && IsTrimByte(e[-1]))
            --e;
        return QByteArrayView(b, e - b);
    }

    qint32 chromosome(QByteArrayView name)
    {
        if (m_lastChromosome >= 0 && SameBytes(name, m_chromosomes.name(m_lastChromosome)))
            return m_lastChromosome;
        m_chromosomes.intern(
            name, [&] { return name.toByteArray(); }, &m_lastChromosome);
        return m_lastChromosome;
    }

    const QByteArray &intern(QByteArrayView name, quint64 hash)
    {
        return m_genes.intern(name, hash, [&] {
            return SameBytes(name, kUnknownGene) ? kUnknownGene : name.toByteArray();
        });
    }
    const QByteArray &intern(const QByteArray &name)
    {
        return intern(name, HashBytes(name.constData(), name.size()));
    }

    std::vector<tGene> &m_records;
    TNameTable m_chromosomes;
    TNameTable m_genes;
    qint32 m_lastChromosome = -1;
    // 64 bits: a file of more than 2^31 lines (empty ones, say) still numbers its lines.
    qint64 m_lineCounter = 0;
    bool m_finished = false;
    std::string m_scratch;
    TPending m_pending[kBatch];
    int m_pendingCount = 0;
};

std::vector<tGene> &SingleRow(TCatalogue &catalogue)
{
    if (catalogue.FRecords.empty())
        catalogue.FRecords.emplace_back();
    return catalogue.FRecords.front();
}

} // namespace

std::vector<tGene> ParseCoordinateText(const QByteArray &text)
{
    std::vector<tGene> records;
    TCoordinateParser parser(records);
    ReserveRecords(records, text.size());
    try {
        parser.parseLines(text.constData(), text.constData() + text.size(), true);
    } catch (...) {
        throw EInOutError(LineErrorMessage(parser.lineCounter()));
    }
    return records;
}

std::vector<tGene> ReadCoordinateDevice(QIODevice &device)
{
    std::vector<tGene> records;
    TCoordinateParser parser(records);
    if (!device.isSequential())
        ReserveRecords(records, device.size() - device.pos());
    try {
        std::vector<char> buffer;
        qsizetype held = 0;    // bytes in the buffer not yet parsed: the start of a line
        qsizetype scanned = 0; // of those, the bytes known to hold no LF
        for (;;) {
            if (qsizetype(buffer.size()) - held < kBlockSize / 2)
                buffer.resize(std::size_t(held + kBlockSize));
            const qint64 got =
                device.read(buffer.data() + held, qint64(buffer.size()) - qint64(held));
            if (got < 0)
                throw TBadLine();
            if (got == 0) {
                parser.parseLines(buffer.data(), buffer.data() + held, true);
                break;
            }
            held += got;
            // A line longer than a block: read on until its LF arrives.
            if (!std::memchr(buffer.data() + scanned, '\n', std::size_t(held - scanned))) {
                scanned = held;
                continue;
            }
            const char *rest = parser.parseLines(buffer.data(), buffer.data() + held, false);
            if (parser.finished())
                break;
            held = buffer.data() + held - rest;
            std::memmove(buffer.data(), rest, std::size_t(held));
            scanned = held;
        }
    } catch (...) {
        throw EInOutError(LineErrorMessage(parser.lineCounter()));
    }
    return records;
}

std::vector<tGene> LoadCoordinateFile(const QString &path)
{
    if (path.isEmpty())
        throw EInOutError(QStringLiteral("Cannot open file \"\": No file name specified"));
    const auto cannotOpen = [&](const QString &reason) {
        return EInOutError(QStringLiteral("Cannot open file \"%1\": %2").arg(path, reason));
    };
    QFile file;
#ifdef Q_OS_UNIX
    // Only a regular file has an end. Opening a FIFO without a writer would wait for ever and a
    // device such as /dev/zero never ends, so both are refused; the open itself must not block,
    // hence O_NONBLOCK until the file is known to be regular.
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw cannotOpen(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat status = {};
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        throw cannotOpen(QString::fromLocal8Bit(std::strerror(error)));
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        throw cannotOpen(S_ISDIR(status.st_mode) ? QString::fromLocal8Bit(std::strerror(EISDIR))
                                                 : QStringLiteral("Not a regular file"));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw cannotOpen(file.errorString());
    }
#else
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw cannotOpen(file.errorString());
#endif
    return ReadCoordinateDevice(file);
    // The QFile closes the file on every path.
}

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
        lookup.findOrAdd(record.GeneName);
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
            const qint32 g = lookup.find(record.GeneName);
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
    if (records.size() > std::size_t(std::numeric_limits<qint32>::max()))
        throw EIntOverflow();
    TCatalogue catalogue;
    catalogue.FRecordCount = qint32(records.size());
    catalogue.FRecords.push_back(std::move(records));
    BuildChromosomeList(catalogue);
    BuildGeneList(catalogue);
    GroupRecords(catalogue);
    return catalogue;
}

TCatalogue LoadCatalogue(const QString &path)
{
    return CatalogueFromRecords(LoadCoordinateFile(path));
}

TCatalogue LoadCatalogue(const QStringList &paths)
{
    if (paths.size() == 1)
        return LoadCatalogue(paths.first());
    std::vector<tGene> records;
    for (const QString &path : paths) {
        std::vector<tGene> more = LoadCoordinateFile(path);
        records.insert(records.end(), more.begin(), more.end());
    }
    return CatalogueFromRecords(std::move(records));
}

qint32 MapCoordinate(const ChromosomeView &view, qint32 c)
{
    const qint32 shifted = CheckedAdd(c, view.Offset);
    return view.Inverted ? CheckedNeg(shifted) : shifted;
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
