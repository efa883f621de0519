// The record chains of the metafiles the program writes, read byte by byte: little-endian
// fields, WMF records after both headers, EMF records from the header on.
#pragma once

#include <QByteArray>
#include <QList>
#include <QtEndian>

inline quint16 U16(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}
inline qint16 S16(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<qint16>(b.constData() + at);
}
inline quint32 U32(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}
inline qint32 S32(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<qint32>(b.constData() + at);
}

// One record: its function (WMF) or type (EMF) and its parameter bytes.
struct MetaRecord
{
    quint32 Type;
    QByteArray Params;
};

// The records after the placeable header and the standard header; fails on a broken chain.
inline QList<MetaRecord> WmfRecords(const QByteArray &file)
{
    QList<MetaRecord> out;
    qsizetype at = 22 + 18;
    while (at + 6 <= file.size()) {
        const quint32 words = U32(file, at);
        if (words < 3 || at + qsizetype(words) * 2 > file.size())
            return {};
        out.append({U16(file, at + 4), file.mid(at + 6, qsizetype(words) * 2 - 6)});
        at += qsizetype(words) * 2;
        if (out.last().Type == 0)
            break;
    }
    return at == file.size() ? out : QList<MetaRecord>{};
}

inline QList<MetaRecord> EmfRecords(const QByteArray &file)
{
    QList<MetaRecord> out;
    qsizetype at = 0;
    while (at + 8 <= file.size()) {
        const quint32 size = U32(file, at + 4);
        if (size < 8 || size % 4 != 0 || at + qsizetype(size) > file.size())
            return {};
        out.append({U32(file, at), file.mid(at + 8, qsizetype(size) - 8)});
        at += size;
        if (out.last().Type == 14)
            break;
    }
    return at == file.size() ? out : QList<MetaRecord>{};
}

inline QList<MetaRecord> OfType(const QList<MetaRecord> &records, quint32 type)
{
    QList<MetaRecord> out;
    for (const MetaRecord &r : records)
        if (r.Type == type)
            out.append(r);
    return out;
}
