#include "render/RenderOutput.h"

#include "map/GraphExport.h"
#include "util/CommonDecl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool SameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A write in place fails as the device's error says; short writes leave an error too.
bool WrittenWhole(QIODevice &device)
{
    auto *file = qobject_cast<QFileDevice *>(&device);
    if (!file)
        return true;
    return file->flush() && file->error() == QFileDevice::NoError;
}

} // namespace

std::optional<TFileIdentity> RegularFileIdentity(const QByteArray &path)
{
    struct stat s;
    if (path.isEmpty() || ::stat(path.constData(), &s) != 0 || !S_ISREG(s.st_mode))
        return std::nullopt;
    return TFileIdentity{quint64(s.st_dev), quint64(s.st_ino)};
}

QString ResolvedOutputName(const QString &name)
{
    QFileInfo info(name);
    // A link, even one to a file not made yet, is written through to its target.
    for (int links = 0; info.isSymLink() && links < 40; ++links)
        info.setFile(info.symLinkTarget());
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') + info.fileName();
}

TOutputFile::TOutputFile(const QString &name, const QByteArray &path, QIODevice &standard)
    : m_name(name), m_path(path)
{
    if (name == QLatin1String("-")) {
        m_standard = &standard;
        return;
    }
    struct stat target;
    if (::stat(path.constData(), &target) == 0) {
        struct stat out;
        if (::fstat(STDOUT_FILENO, &out) == 0 && SameFile(out, target)) {
            m_standard = &standard;
            return;
        }
        if (S_ISDIR(target.st_mode))
            Fail(QStringLiteral("it is a folder"));
        if (S_ISCHR(target.st_mode) || S_ISFIFO(target.st_mode)) {
            m_inPlace = std::make_unique<QFile>();
            if (const QString cause = OpenInPlace(QFile::decodeName(path), *m_inPlace);
                !cause.isEmpty())
                Fail(cause);
            return;
        }
        if (!S_ISREG(target.st_mode))
            Fail(QStringLiteral("it is not a regular file"));
    }
    if (path != QFile::encodeName(name)) {
        // Beside the target, as a saved file's temporary is, and renamed by the same bytes.
        m_temporaryPath = path + ".XXXXXX";
        const int fd = ::mkstemp(m_temporaryPath.data());
        m_system = std::make_unique<QFile>();
        if (fd < 0)
            Fail(QString::fromLocal8Bit(std::strerror(errno)));
        if (!m_system->open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            ::unlink(m_temporaryPath.constData());
            Fail();
        }
        return;
    }
    m_save = std::make_unique<QSaveFile>(name);
    if (!m_save->open(QIODevice::WriteOnly))
        Fail(m_save->errorString());
}

TOutputFile::~TOutputFile()
{
    // Not committed: the temporary file goes.
    if (m_system && m_system->isOpen()) {
        m_system->close();
        ::unlink(m_temporaryPath.constData());
    }
}

void TOutputFile::Fail(const QString &cause) const
{
    QString message = m_standard ? QStringLiteral("Cannot write to standard output")
                                 : QStringLiteral("Cannot create file %1").arg(m_name);
    if (!cause.isEmpty())
        message += QStringLiteral(": ") + cause;
    throw EInOutError(message);
}

QIODevice &TOutputFile::Device()
{
    if (m_standard)
        return *m_standard;
    if (m_inPlace)
        return *m_inPlace;
    if (m_system)
        return *m_system;
    return *m_save;
}

void TOutputFile::Write(const QByteArray &text)
{
    if (Device().write(text) != text.size())
        Fail();
}

void TOutputFile::Check()
{
    // A write cut short (a full disk, a size limit) leaves the device's error behind.
    if (!WrittenWhole(Device()))
        Fail();
}

void TOutputFile::Commit()
{
    if (m_save && !m_save->commit())
        Fail();
    if (m_system) {
        m_system->close();
        const bool renamed = m_system->error() == QFileDevice::NoError &&
                             ::rename(m_temporaryPath.constData(), m_path.constData()) == 0;
        if (!renamed) {
            ::unlink(m_temporaryPath.constData());
            Fail();
        }
    }
}

TRenderOutputs::TRenderOutputs(const QString &picture, const QByteArray &picturePath,
                               const QString &report, const QByteArray &reportPath,
                               QIODevice &standard)
{
    m_picture = std::make_unique<TOutputFile>(picture, picturePath, standard);
    if (!report.isEmpty())
        m_report = std::make_unique<TOutputFile>(report, reportPath, standard);
    // One stream cannot hold both: the report would run into the picture.
    if (m_report && m_report->Standard() && m_picture->Standard())
        throw EInOutError(
            QStringLiteral("The picture and the report would both go to standard output"));
}

void TRenderOutputs::WriteReport(const QByteArray &text)
{
    if (m_report)
        m_report->Write(text);
}

void TRenderOutputs::Commit()
{
    // Both whole before either replaces a file.
    m_picture->Check();
    if (m_report)
        m_report->Check();
    m_picture->Commit();
    if (m_report)
        m_report->Commit();
}
