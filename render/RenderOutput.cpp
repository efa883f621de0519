#include "render/RenderOutput.h"

#include "map/GraphExport.h"
#include "render/RenderOptions.h"
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

// "-", or a name of the file standard output goes to.
bool GoesToStandardOutput(const QString &name, const QByteArray &path)
{
    if (name == QLatin1String("-"))
        return true;
    struct stat target;
    struct stat out;
    return ::stat(path.constData(), &target) == 0 && ::fstat(STDOUT_FILENO, &out) == 0 &&
           SameFile(out, target);
}

bool GoesToStandardOutput(const TRunFile &file)
{
    return GoesToStandardOutput(file.Name, file.Path);
}

// Writing a character device twice (/dev/null) loses nothing; any other file would end with
// one output in it, or both mixed.
bool OneFile(const TRunFile &a, const TRunFile &b)
{
    struct stat s;
    const bool device = ::stat(a.Path.constData(), &s) == 0 && S_ISCHR(s.st_mode);
    const auto identity = RegularFileIdentity(a.Path);
    return (identity && identity == RegularFileIdentity(b.Path)) ||
           (!device && ResolvedOutputName(a.Name) == ResolvedOutputName(b.Name));
}

[[noreturn]] void Overwrites(const TRunFile &output, const TRunFile &other)
{
    throw EUsageError(
        QStringLiteral("The %1 \"%2\" would overwrite the %3 \"%4\"")
            .arg(RoleText(output.Role), output.Name, RoleText(other.Role), other.Name));
}

// Before anything is opened: opening a pipe and closing it again would already tell its
// reader that the run ended.
void CheckOutputs(const std::vector<TRunFile> &outputs, const std::vector<TRunFile> &inputs)
{
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        const TRunFile &output = outputs[k];
        const bool standard = GoesToStandardOutput(output);
        const auto identity = standard ? std::nullopt : RegularFileIdentity(output.Path);
        for (const TRunFile &input : inputs)
            if (identity && identity == RegularFileIdentity(input.Path))
                Overwrites(output, input);
        for (std::size_t j = 0; j < k; ++j) {
            const TRunFile &other = outputs[j];
            // One stream cannot hold both: one would run into the other.
            if (standard && GoesToStandardOutput(other))
                throw EUsageError(
                    QStringLiteral("The %1 and the %2 would both go to standard output")
                        .arg(RoleText(other.Role), RoleText(output.Role)));
            if (!standard && !GoesToStandardOutput(other) && OneFile(output, other))
                Overwrites(output, other);
        }
    }
}

} // namespace

QString RoleText(TFileRole role)
{
    switch (role) {
    case TFileRole::Input:
        return QStringLiteral("input file");
    case TFileRole::HomologyTable:
        return QStringLiteral("homology table");
    case TFileRole::ProteinFile:
        return QStringLiteral("protein file");
    case TFileRole::AlignmentFile:
        return QStringLiteral("alignment file");
    case TFileRole::ColourTable:
        return QStringLiteral("colour table");
    case TFileRole::TreeFile:
        return QStringLiteral("tree file");
    case TFileRole::Picture:
        return QStringLiteral("picture");
    case TFileRole::Report:
        return QStringLiteral("report");
    case TFileRole::GroupTable:
        return QStringLiteral("group table");
    case TFileRole::BlockReport:
        return QStringLiteral("block report");
    }
    return {};
}

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
    if (GoesToStandardOutput(name, path)) {
        m_standard = &standard;
        return;
    }
    struct stat target;
    if (::stat(path.constData(), &target) == 0) {
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
    if (!WriteWhole(Device(), text))
        Fail(WriteFailure(Device()));
}

void TOutputFile::Check()
{
    // A write cut short (a full disk, a size limit) leaves the device's error behind.
    if (!WrittenWhole(Device()))
        Fail(WriteFailure(Device()));
}

void TOutputFile::Commit()
{
    if (m_save && !m_save->commit())
        Fail(m_save->errorString());
    if (m_system) {
        m_system->close();
        if (m_system->error() != QFileDevice::NoError) {
            const QString cause = m_system->errorString();
            ::unlink(m_temporaryPath.constData());
            Fail(cause);
        }
        if (::rename(m_temporaryPath.constData(), m_path.constData()) != 0) {
            const QString cause = QString::fromLocal8Bit(std::strerror(errno));
            ::unlink(m_temporaryPath.constData());
            Fail(cause);
        }
    }
}

TRenderOutputs::TRenderOutputs(const std::vector<TRunFile> &outputs,
                               const std::vector<TRunFile> &inputs, QIODevice &standard)
{
    CheckOutputs(outputs, inputs);
    for (const TRunFile &output : outputs)
        m_outputs.emplace_back(output.Role,
                               std::make_unique<TOutputFile>(output.Name, output.Path, standard));
}

TOutputFile *TRenderOutputs::Output(TFileRole role)
{
    for (auto &[kind, output] : m_outputs)
        if (kind == role)
            return output.get();
    return nullptr;
}

void TRenderOutputs::Write(TFileRole role, const QByteArray &text)
{
    if (TOutputFile *output = Output(role))
        output->Write(text);
}

void TRenderOutputs::Commit()
{
    // All whole before any replaces a file.
    for (auto &output : m_outputs)
        output.second->Check();
    for (auto &output : m_outputs)
        output.second->Commit();
}
