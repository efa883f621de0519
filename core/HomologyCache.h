// The cache of what MMseqs2 computes from the loaded genes' proteins (their clusters, the
// identities of the pairs the clusters join): one file per result, KIND-KEY.tsv, KEY the SHA-256
// of everything the result is computed from, so that any change of it misses. An entry's first
// line carries the checksum of its key and content; it is read only as a regular file, and
// written whole or not at all.
#pragma once

#include "core/Homology.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

class QCryptographicHash;
class QFile;
class TLineReader;

// What makes a table or a cache entry unusable, said of it ("is cut short: ...").
struct TBadTable
{
    QString Reason;
};

// Where the entries are kept: $XDG_CACHE_HOME/ostrinel, else ~/.cache/ostrinel.
QString HomologyCacheFolder();

// Opens a file that must be a regular one, following a symbolic link only when asked; the
// reason it cannot be opened, else an empty text. missing: there is no such file.
QString OpenRegularFile(const QString &path, bool followLink, QFile &file, bool &missing);

class THomologyCacheEntry
{
public:
    // kind names the file ("clusters"); header is its first line up to the checksum; key the
    // hexadecimal SHA-256 of what the entry holds the result of.
    THomologyCacheEntry(const QString &kind, QByteArrayView header, QByteArray key);

    const QString &path() const { return m_path; }

    // Reads the entry; false when there is none. readLines takes the lines after the first,
    // adding each with its LF to the hash, and raises TBadTable for lines that fail its check.
    // An entry that is no regular file (a link is never followed), lacks its checksum, fails it or
    // the lines' check is removed, a step naming it and saying that what ("the clusters") are
    // computed again; false then too.
    bool read(const std::function<void(TLineReader &, QCryptographicHash &)> &readLines,
              const THomologyProgress &progress, const QString &what) const;
    // Makes body (lines each ending in LF) the entry.
    void write(const QByteArray &body) const;

private:
    QString m_kind, m_path;
    QByteArray m_header, m_key;
};
