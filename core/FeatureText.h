// What the annotation readers (GFF3, GTF, BED, GenBank) share: the line reader over a device,
// the error of a line, the position conversion, percent-decoding and the builder that turns a
// feature into a catalogue record by the same rules as a coordinate file line.
#pragma once

#include "core/NameTable.h"
#include "util/CommonDecl.h"

#include <QByteArrayView>
#include <QString>

#include <string>
#include <vector>

class QIODevice;

// A line that breaks its format: the reason in the program's words, the line it was found on.
struct TFormatError
{
    qint64 Line = 0;
    QString Reason;
};

// Reads a device line by line in large blocks: a line is a view into the block without its LF
// and without a CR before it, valid until the next call. A UTF-8 byte order mark at the start of
// the file is dropped. A line longer than a block grows the block, up to kMaxLineBytes; a file
// that grows while it is read, or a long line holding a run of kBinaryRun NUL bytes, raises the
// TFormatError of the line being read.
class TLineReader
{
public:
    explicit TLineReader(QIODevice &device);

    // The next line, false at the end of the device.
    bool next(QByteArrayView &line);
    // The number of the line last returned (1 for the first).
    qint64 lineNumber() const { return m_line; }
    // The size of the device when it has one (a file), else 0.
    qint64 sizeHint() const;
    // Raises the TFormatError of the line last returned.
    [[noreturn]] void fail(const QString &reason) const;

private:
    void fill();

    QIODevice &m_device;
    const qint64 m_size; // at the start, -1 for a device without one
    qint64 m_total = 0;  // bytes read
    qsizetype m_nulRun = 0;
    std::vector<char> m_buffer;
    qsizetype m_begin = 0;   // start of the unread bytes
    qsizetype m_end = 0;     // end of the bytes read
    qsizetype m_scanned = 0; // the unread bytes before this hold no LF
    bool m_atEnd = false;
    bool m_first = true;
    qint64 m_line = 0;
};

// The columns of a line split at a separator byte into at most max columns, the last of them
// taking the rest of the line; the number found. Views into the line.
int SplitColumns(QByteArrayView line, char separator, QByteArrayView *columns, int max);

// A 1-based or 0-based position of an annotation file: decimal digits only, then the checked
// conversion of coordinate files (at most 2147483647). False for anything else.
bool ReadPosition(QByteArrayView text, qint32 &value);

// True when every % of the text starts an escape of two hexadecimal digits.
bool PercentEscapesValid(QByteArrayView text);
// The text with every %XX escape replaced by its byte; the escapes must be valid.
QByteArray PercentDecoded(QByteArrayView text);

// Distinct byte strings, such as the IDs of a file's features, numbered in the order they were
// added. The bytes live in one arena and a slot takes eight bytes, so that a file of a million IDs
// costs no allocation per ID and a table that stays small; prefetch() lets a reader ask for a
// slot early and look it up once other work of the line is done.
class TIdIndex
{
public:
    TIdIndex();

    static quint64 Hash(QByteArrayView id) { return HashBytes(id.data(), id.size()); }
    void prefetch(quint64 hash) const { __builtin_prefetch(&m_slots[std::size_t(hash) & m_mask]); }
    // The number of id, which is size() before the call when it is new.
    qint32 findOrAdd(QByteArrayView id, quint64 hash);
    // The number of id, or -1.
    qint32 find(QByteArrayView id) const;
    qint32 size() const { return qint32(m_hashes.size()); }
    // After prefetch(), asks for the bytes of the ID the slot holds.
    void prefetchCandidate(quint64 hash) const;

private:
    struct Slot
    {
        quint32 tag = 0;
        qint32 index = -1;
    };
    QByteArrayView at(qint32 index) const;
    void grow();

    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
    std::string m_bytes;
    std::vector<quint64> m_ends;   // where each ID's bytes end in m_bytes
    std::vector<quint64> m_hashes; // for growing without hashing again
};

// Makes records the way the coordinate file reader does: chromosome names kept as given, gene
// names and comments trimmed and upper-cased a to z, an empty gene name "???", an empty comment
// a null QByteArray, strand -1 with start and end swapped. Names are interned, so that every
// record of one name shares one QByteArray.
class TRecordBuilder
{
public:
    TRecordBuilder() : m_chromosomes(64), m_genes(1024) {}

    // The index of a chromosome name, added when new.
    qint32 chromosome(QByteArrayView name);
    const QByteArray &chromosomeName(qint32 index) const { return m_chromosomes.name(index); }
    QByteArray geneName(QByteArrayView name);
    // geneName in three steps, for readers that look up a batch of lines at a time so that the
    // cache misses of the look-ups overlap: geneKey() makes the trimmed, upper-cased key, asks
    // for its slot and returns its hash; prefetchGeneName() asks for the name the slot holds;
    // geneName(key, hash) gives the kept name.
    quint64 geneKey(QByteArrayView name, std::string &key) const;
    void prefetchGeneName(quint64 hash) const;
    QByteArray geneName(const std::string &key, quint64 hash);
    static QByteArray comment(QByteArrayView text);
    // A record from start <= end; the strand decides which of them becomes Start.
    tGene record(qint32 chromosome, qint32 start, qint32 end, qint32 strand, QByteArray gene,
                 QByteArray comment) const;

private:
    TNameTable m_chromosomes;
    TNameTable m_genes;
    qint32 m_last = -1;
    std::string m_key;
};
