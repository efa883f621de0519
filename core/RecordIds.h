// The identifiers of the records a load reads, kept beside the record table for a homology
// source: per record the names a table may give for it (GFF3 ID, Name, gene, locus_tag,
// protein_id; GenBank /gene, /locus_tag, /protein_id) and, when asked for, its protein. The
// readers fill it only when given one, so a load without a source pays nothing.
#pragma once

#include "util/CommonDecl.h"

#include <QByteArrayView>
#include <QHash>

#include <string>
#include <vector>

class TRecordIds
{
public:
    explicit TRecordIds(bool proteins = false) : m_proteins(proteins) {}

    // Whether the readers should keep the records' proteins too.
    bool wantsProteins() const { return m_proteins; }
    // Records of the file read next come after the n records read so far.
    void setBase(std::size_t n) { m_base = n; }

    // An identifier of record r (counted from the start of the file being read); empty ones are
    // not kept.
    void add(std::size_t r, QByteArrayView id)
    {
        if (id.isEmpty())
            return;
        m_bytes.append(id.data(), std::size_t(id.size()));
        m_entries.push_back({m_base + r, m_bytes.size()});
    }
    // The protein of record r, one letter an amino acid; spaces are dropped, a final stop too.
    void setProtein(std::size_t r, QByteArrayView protein)
    {
        QByteArray kept;
        kept.reserve(protein.size());
        for (char c : protein)
            if (c != ' ' && c != '*')
                kept.append(c);
        if (!kept.isEmpty())
            m_proteinList.push_back({m_base + r, std::move(kept)});
    }

    // A part of the coding sequence of record r, on the sequence seqid of the file being read,
    // start <= end, 1-based; phase: the bases to skip at the part's 5' end.
    struct TCdsPart
    {
        std::size_t Record;
        QByteArray Sequence; // the file and seqid (see sequenceKey)
        qint32 Start, End, Strand, Phase;
    };
    void addCdsPart(std::size_t r, QByteArrayView seqid, qint32 start, qint32 end, qint32 strand,
                    qint32 phase)
    {
        m_cdsParts.push_back({m_base + r, sequenceKey(seqid), start, end, strand, phase});
    }
    // A nucleotide sequence of the file being read (a GFF3 file's ##FASTA, or a FASTA file
    // beside it), by its seqid.
    void addSequence(QByteArrayView seqid, QByteArray bases)
    {
        m_sequences.insert(sequenceKey(seqid), std::move(bases));
    }
    bool hasSequence(QByteArrayView seqid) const
    {
        return m_sequences.contains(sequenceKey(seqid));
    }
    const std::vector<TCdsPart> &cdsParts() const { return m_cdsParts; }
    const QHash<QByteArray, QByteArray> &sequences() const { return m_sequences; }
    // Seqids of different files are different sequences.
    QByteArray sequenceKey(QByteArrayView seqid) const
    {
        return QByteArray::number(qulonglong(m_base)) + '\t' + seqid.toByteArray();
    }

    // Calls f(record, id) for every identifier, in the order added.
    template <typename F> void forEach(F f) const
    {
        std::size_t begin = 0;
        for (const TEntry &e : m_entries) {
            f(e.Record, QByteArrayView(m_bytes.data() + begin, qsizetype(e.End - begin)));
            begin = e.End;
        }
    }
    // (record, protein) pairs in the order given.
    const std::vector<std::pair<std::size_t, QByteArray>> &proteins() const
    {
        return m_proteinList;
    }

    // Moves what another table holds for the records of one file, its record n becoming
    // place[n] of this file (-1: the record was dropped).
    void takeRenumbered(TRecordIds &from, const std::vector<qint64> &place)
    {
        from.forEach([&](std::size_t r, QByteArrayView id) {
            if (r < place.size() && place[r] >= 0)
                add(std::size_t(place[r]), id);
        });
        for (auto &[r, protein] : from.m_proteinList)
            if (r < place.size() && place[r] >= 0)
                m_proteinList.push_back({m_base + std::size_t(place[r]), std::move(protein)});

        from = TRecordIds(from.m_proteins);
    }

private:
    struct TEntry
    {
        std::size_t Record;
        std::size_t End; // where the identifier's bytes end in m_bytes
    };
    bool m_proteins = false;
    std::size_t m_base = 0;
    std::string m_bytes;
    std::vector<TEntry> m_entries;
    std::vector<std::pair<std::size_t, QByteArray>> m_proteinList;
    std::vector<TCdsPart> m_cdsParts;
    QHash<QByteArray, QByteArray> m_sequences;
};
