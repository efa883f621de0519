// An entry is written to a temporary file in the cache folder and renamed over its name: a reader
// finds a whole entry or none, and whatever was in its place (a link included, never what it
// points to) is replaced. A cache that cannot be written costs the next load time, nothing else.
#include "core/HomologyCache.h"

#include "core/FeatureText.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void Report(const THomologyProgress &progress, const QString &text)
{
    if (progress)
        progress(text);
}

} // namespace

QString HomologyCacheFolder()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/ostrinel");
}

QString OpenRegularFile(const QString &path, bool followLink, QFile &file, bool &missing)
{
    // O_NONBLOCK: opening a FIFO without a writer would wait for ever.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    missing = fd < 0 && errno == ENOENT;
    if (fd < 0)
        return errno == ELOOP ? QStringLiteral("Not a regular file")
                              : QString::fromLocal8Bit(std::strerror(errno));
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return QStringLiteral("Not a regular file");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return file.errorString();
    }
    return QString();
}

THomologyCacheEntry::THomologyCacheEntry(const QString &kind, QByteArrayView header, QByteArray key)
    : m_kind(kind), m_path(HomologyCacheFolder() + QLatin1Char('/') + kind + QLatin1Char('-') +
                           QString::fromLatin1(key) + QStringLiteral(".tsv")),
      m_header(header.toByteArray()), m_key(std::move(key))
{
}

bool THomologyCacheEntry::read(
    const std::function<void(TLineReader &, QCryptographicHash &)> &readLines,
    const THomologyProgress &progress, const QString &what) const
{
    try {
        QFile file;
        bool missing = false;
        const QString why = OpenRegularFile(m_path, false, file, missing);
        if (missing)
            return false;
        if (!why.isEmpty())
            throw TBadTable{why};
        try {
            TLineReader lines(file);
            QByteArrayView header;
            if (!lines.next(header) || !header.startsWith(m_header))
                throw TBadTable{QStringLiteral("it has no checksum")};
            const QByteArray sum = header.sliced(m_header.size()).toByteArray();
            QCryptographicHash hash(QCryptographicHash::Sha256);
            hash.addData(m_key + '\n');
            try {
                readLines(lines, hash);
            } catch (const TBadTable &bad) {
                throw TBadTable{QStringLiteral("its table ") + bad.Reason};
            }
            if (hash.result().toHex() != sum)
                throw TBadTable{QStringLiteral("its checksum does not match its content")};
            return true;
        } catch (const TFormatError &e) {
            throw TBadTable{QStringLiteral("its first line cannot be read: %1").arg(e.Reason)};
        }
    } catch (const TBadTable &bad) {
        QFile::remove(m_path);
        Report(progress, QStringLiteral("The cache entry %1 fails its check (%2): it is removed "
                                        "and %3 are computed again")
                             .arg(m_path, bad.Reason, what));
        return false;
    }
}

void THomologyCacheEntry::write(const QByteArray &body) const
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(m_key + '\n');
    hash.addData(body);
    const QByteArray text = m_header + hash.result().toHex() + '\n' + body;
    const QString folder = QFileInfo(m_path).path();
    if (!QDir().mkpath(folder))
        return;
    QTemporaryFile temporary(folder + QStringLiteral("/.") + m_kind + QStringLiteral("-XXXXXX"));
    if (!temporary.open() || temporary.write(text) != text.size() || !temporary.flush())
        return;
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(),
                    QFile::encodeName(m_path).constData()) == 0)
        temporary.setAutoRemove(false);
}
