// The line reader keeps one buffer of at least a block and scans each byte for LF once, also in a
// line of hundreds of megabytes, so reading stays linear in the file's size.
#include "core/FeatureText.h"

#include "core/RecordMemory.h"
#include "util/StringOps.h"

#include <QIODevice>

#include <cstring>

namespace {

constexpr qsizetype kBlockSize = 4 << 20;

QByteArrayView Trimmed(QByteArrayView text)
{
    return TrimBytesView(text);
}

} // namespace

TLineReader::TLineReader(QIODevice &device)
    : m_device(device), m_size(device.isSequential() ? -1 : device.size() - device.pos())
{
}

void TLineReader::fill()
{
    // Keeps the unread bytes, moved to the front, and reads a block after them.
    const qsizetype held = m_end - m_begin;
    if (m_begin > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_begin, std::size_t(held));
        m_scanned -= m_begin;
        m_begin = 0;
        m_end = held;
    }
    if (qsizetype(m_buffer.size()) - held < kBlockSize / 2)
        m_buffer.resize(std::size_t(held + kBlockSize));
    const qint64 got = m_device.read(m_buffer.data() + held, qint64(m_buffer.size() - held));
    if (got < 0)
        throw TFormatError{m_line + 1, QStringLiteral("the file cannot be read")};
    if (got == 0)
        m_atEnd = true;
    // Within what a real text file can be (see kMaxLineBytes): a file that grows while it is
    // read, a line past the limit or a long run of NUL bytes stops the read.
    m_total += got;
    if (m_size >= 0 && m_total > m_size)
        throw TFormatError{m_line + 1, QStringLiteral("the file grew while it was read")};
    if (held > kMaxLineBytes)
        throw TFormatError{m_line + 1, QStringLiteral("the line is longer than 256 MB")};
    if (held < kBlockSize / 2)
        m_nulRun = 0;
    else if (HasBinaryRun(m_buffer.data() + held, got, m_nulRun))
        throw TFormatError{m_line + 1,
                           QStringLiteral("a run of 65536 NUL bytes: the file is not text")};
    m_end += got;
}

bool TLineReader::next(QByteArrayView &line)
{
    for (;;) {
        const char *base = m_buffer.data();
        const auto *lf = m_end > m_scanned
                             ? static_cast<const char *>(std::memchr(
                                   base + m_scanned, '\n', std::size_t(m_end - m_scanned)))
                             : nullptr;
        qsizetype stop = -1;
        qsizetype after = -1;
        if (lf) {
            stop = lf - base;
            after = stop + 1;
        } else if (m_atEnd) {
            if (m_begin == m_end)
                return false;
            stop = after = m_end;
        } else {
            m_scanned = m_end;
            fill();
            continue;
        }
        const char *p = base + m_begin;
        qsizetype n = stop - m_begin;
        if (n > 0 && p[n - 1] == '\r')
            --n;
        if (m_first) {
            m_first = false;
            if (n >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) {
                p += 3;
                n -= 3;
            }
        }
        m_begin = m_scanned = after;
        ++m_line;
        line = QByteArrayView(p, n);
        return true;
    }
}

qint64 TLineReader::sizeHint() const
{
    return m_device.isSequential() ? 0 : m_device.size();
}

void TLineReader::fail(const QString &reason) const
{
    throw TFormatError{m_line, reason};
}

int SplitColumns(QByteArrayView line, char separator, QByteArrayView *columns, int max)
{
    // The first columns are mostly short, so a plain byte loop finds their ends sooner than a
    // call each; the last one, often the longest, is searched with memchr.
    const char *p = line.data();
    const char *end = p + line.size();
    int count = 0;
    const char *from = p;
    for (; p < end && count + 2 < max; ++p) {
        if (*p == separator) {
            columns[count++] = QByteArrayView(from, p - from);
            from = p + 1;
        }
    }
    if (count + 2 == max) {
        if (const auto *t =
                static_cast<const char *>(std::memchr(from, separator, std::size_t(end - from)))) {
            columns[count++] = QByteArrayView(from, t - from);
            from = t + 1;
        }
    }
    columns[count++] = QByteArrayView(from, end - from);
    return count;
}

bool ReadPosition(QByteArrayView text, qint32 &value)
{
    if (text.isEmpty() || text.size() > 10)
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return TryStrToInt(text, value);
}

bool PercentEscapesValid(QByteArrayView text)
{
    const char *p = text.data();
    const char *end = p + text.size();
    while ((p = static_cast<const char *>(std::memchr(p, '%', std::size_t(end - p))))) {
        if (end - p < 3 || HexDigit(p[1]) < 0 || HexDigit(p[2]) < 0)
            return false;
        p += 3;
    }
    return true;
}

QByteArray PercentDecoded(QByteArrayView text)
{
    if (!text.contains('%'))
        return text.toByteArray();
    QByteArray decoded;
    decoded.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
            HexDigit(text[i + 2]) >= 0) {
            decoded.append(char(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2])));
            i += 2;
        } else {
            decoded.append(text[i]);
        }
    }
    return decoded;
}

TIdIndex::TIdIndex() : m_slots(1 << 12), m_mask((1 << 12) - 1) {}

QByteArrayView TIdIndex::at(qint32 index) const
{
    const quint64 begin = index == 0 ? 0 : m_ends[std::size_t(index) - 1];
    return QByteArrayView(m_bytes.data() + begin, qsizetype(m_ends[std::size_t(index)] - begin));
}

qint32 TIdIndex::findOrAdd(QByteArrayView id, quint64 hash)
{
    std::size_t i = std::size_t(hash) & m_mask;
    for (;; i = (i + 1) & m_mask) {
        const Slot &slot = m_slots[i];
        if (slot.index < 0)
            break;
        if (slot.tag == quint32(hash >> 32) && at(slot.index) == id)
            return slot.index;
    }
    const qint32 added = size();
    m_slots[i] = Slot{quint32(hash >> 32), added};
    m_bytes.append(id.data(), std::size_t(id.size()));
    m_ends.push_back(m_bytes.size());
    m_hashes.push_back(hash);
    if (2 * m_hashes.size() > m_slots.size())
        grow();
    return added;
}

void TIdIndex::prefetchCandidate(quint64 hash) const
{
    const Slot &slot = m_slots[std::size_t(hash) & m_mask];
    if (slot.index >= 0 && slot.tag == quint32(hash >> 32))
        __builtin_prefetch(at(slot.index).data());
}

qint32 TIdIndex::find(QByteArrayView id) const
{
    const quint64 hash = Hash(id);
    for (std::size_t i = std::size_t(hash) & m_mask;; i = (i + 1) & m_mask) {
        const Slot &slot = m_slots[i];
        if (slot.index < 0)
            return -1;
        if (slot.tag == quint32(hash >> 32) && at(slot.index) == id)
            return slot.index;
    }
}

void TIdIndex::grow()
{
    // Huge pages are asked for before the slots are first touched.
    std::vector<Slot> grown;
    grown.reserve(4 * m_slots.size());
    AdviseHugePages(grown);
    grown.resize(grown.capacity());
    const std::size_t mask = grown.size() - 1;
    for (std::size_t n = 0; n < m_hashes.size(); ++n) {
        std::size_t i = std::size_t(m_hashes[n]) & mask;
        while (grown[i].index >= 0)
            i = (i + 1) & mask;
        grown[i] = Slot{quint32(m_hashes[n] >> 32), qint32(n)};
    }
    m_slots.swap(grown);
    m_mask = mask;
}

qint32 TRecordBuilder::chromosome(QByteArrayView name)
{
    if (m_last >= 0 && SameBytes(name, m_chromosomes.name(m_last)))
        return m_last;
    m_chromosomes.intern(
        name, [&] { return name.toByteArray(); }, &m_last);
    return m_last;
}

QByteArray TRecordBuilder::geneName(QByteArrayView name)
{
    return geneName(m_key, geneKey(name, m_key));
}

quint64 TRecordBuilder::geneKey(QByteArrayView name, std::string &key) const
{
    name = Trimmed(name);
    key.resize(std::size_t(name.size()));
    for (qsizetype k = 0; k < name.size(); ++k)
        key[std::size_t(k)] = UpperAZ(name[k]);
    const quint64 hash = HashBytes(key.data(), qsizetype(key.size()));
    m_genes.prefetch(hash);
    return hash;
}

void TRecordBuilder::prefetchGeneName(quint64 hash) const
{
    if (const QByteArray *name = m_genes.candidate(hash))
        __builtin_prefetch(name->constData());
}

QByteArray TRecordBuilder::geneName(const std::string &key, quint64 hash)
{
    if (key.empty())
        return kUnknownGene;
    const QByteArrayView view(key.data(), qsizetype(key.size()));
    return m_genes.intern(view, hash, [&] {
        return SameBytes(view, kUnknownGene) ? kUnknownGene : view.toByteArray();
    });
}

QByteArray TRecordBuilder::comment(QByteArrayView text)
{
    text = Trimmed(text);
    if (text.isEmpty())
        return QByteArray();
    return UpperCaseAZ(text.toByteArray());
}

tGene TRecordBuilder::record(qint32 chromosome, qint32 start, qint32 end, qint32 strand,
                             QByteArray gene, QByteArray comment) const
{
    if (strand == -1)
        std::swap(start, end);
    return tGene{chromosomeName(chromosome), 0, 0, start, end, strand, -1, std::move(gene),
                 std::move(comment)};
}
