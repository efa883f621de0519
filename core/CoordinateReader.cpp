// The coordinate file reader.
//
// The reader takes the file in large blocks and parses the bytes in place: a line is a view into
// the block, its columns are views into the line, and only what a record keeps becomes a
// QByteArray. Chromosome and gene names are interned, so every record of one name shares one
// QByteArray; an empty comment stays a null QByteArray. Gene names are looked up a batch of lines
// at a time, so that the cache misses of the look-ups overlap (see TCoordinateParser).
#include "core/CoordinateReader.h"

#include "core/NameTable.h"
#include "core/RecordMemory.h"
#include "core/TextInput.h"
#include "util/StringOps.h"

#include <QIODevice>

#include <cstring>
#include <string>

namespace {

constexpr char kCtrlZ = 26;
constexpr qsizetype kBlockSize = 4 << 20;

// Thrown inside the reading loop; the loop turns every error into the line's EInOutError.
struct TBadLine
{
};

// A file past what a real coordinate file can be: the line's message, then why.
struct TPastBounds
{
    const char *Reason;
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
        // A UTF-8 byte order mark that starts the file is no part of its first line.
        if (!m_started && end - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0)
            p += 3;
        m_started = true;
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
                                      r.strand, -1, *gene, std::move(r.comment)});
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
    bool m_started = false;
    bool m_finished = false;
    std::string m_scratch;
    TPending m_pending[kBatch];
    int m_pendingCount = 0;
};

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
    // A file has the size it had when opened: reading more means it grows (or, as some system
    // files, never ends).
    const qint64 size = device.isSequential() ? -1 : device.size() - device.pos();
    if (size > 0)
        ReserveRecords(records, size);
    try {
        std::vector<char> buffer;
        qsizetype held = 0;    // bytes in the buffer not yet parsed: the start of a line
        qsizetype scanned = 0; // of those, the bytes known to hold no LF
        qint64 total = 0;
        qsizetype nulRun = 0;
        for (;;) {
            if (qsizetype(buffer.size()) - held < kBlockSize / 2)
                buffer.resize(std::size_t(held + kBlockSize));
            const qint64 got =
                device.read(buffer.data() + held, qint64(buffer.size()) - qint64(held));
            if (got < 0)
                throw TBadLine();
            total += got;
            if (size >= 0 && total > size)
                throw TPastBounds{"The file grew while it was read."};
            if (got == 0) {
                parser.parseLines(buffer.data(), buffer.data() + held, true);
                break;
            }
            held += got;
            // A line longer than a block: read on until its LF arrives, within what a text
            // line can be.
            if (!std::memchr(buffer.data() + scanned, '\n', std::size_t(held - scanned))) {
                if (held > kMaxLineBytes)
                    throw TPastBounds{"The line is longer than 256 MB, more than a text file "
                                      "holds."};
                if (HasBinaryRun(buffer.data() + scanned, held - scanned, nulRun))
                    throw TPastBounds{"The line holds a run of 65536 NUL bytes: the file is not "
                                      "text."};
                scanned = held;
                continue;
            }
            nulRun = 0;
            const char *rest = parser.parseLines(buffer.data(), buffer.data() + held, false);
            if (parser.finished())
                break;
            held = buffer.data() + held - rest;
            std::memmove(buffer.data(), rest, std::size_t(held));
            scanned = held;
        }
    } catch (const TPastBounds &e) {
        throw EInOutError(LineErrorMessage(parser.lineCounter() + 1) + QStringLiteral(". ") +
                          QString::fromLatin1(e.Reason));
    } catch (...) {
        throw EInOutError(LineErrorMessage(parser.lineCounter()));
    }
    return records;
}

std::vector<tGene> LoadCoordinateFile(const QString &path)
{
    TTextInput input(path);
    return ReadCoordinateDevice(input.device());
    // The input closes the file on every path.
}
