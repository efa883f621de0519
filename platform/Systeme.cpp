// The version text: read from the program file's own version record, as the caption and the
// about window show it.
#include "platform/Systeme.h"

#include "platform/VersionInfo.h"
#include "util/CommonDecl.h"

#include <QByteArray>

#include <unistd.h>

#include <vector>

QByteArray ProgramFileName()
{
    // The link names the file actually running, also when it was started through another link.
    QByteArray path(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), std::size_t(path.size()));
    if (length <= 0 || length >= path.size())
        throw EInOutError(QStringLiteral("The program file cannot be found"));
    path.truncate(qsizetype(length));
    return path;
}

void ReadFileVersion(quint16 &major, quint16 &minor, quint16 &release, quint16 &build)
{
    const QByteArray fileName = ProgramFileName();
    const quint32 size = GetFileVersionInfoSizeA(fileName.constData());
    if (size == 0)
        throw EInOutError(QStringLiteral("The program file has no version information"));
    std::vector<char> buffer(size);
    if (!GetFileVersionInfoA(fileName.constData(), size, buffer.data()))
        throw EInOutError(QStringLiteral("The version information cannot be read"));
    const void *value = nullptr;
    quint32 length = 0;
    if (!VerQueryValueA(buffer.data(), "\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO))
        throw EInOutError(QStringLiteral("The version information has no fixed file version"));
    const auto *info = static_cast<const VS_FIXEDFILEINFO *>(value);
    major = quint16(info->dwFileVersionMS >> 16);
    minor = quint16(info->dwFileVersionMS & 0xFFFF);
    release = quint16(info->dwFileVersionLS >> 16);
    build = quint16(info->dwFileVersionLS & 0xFFFF);
}

QString FormatVersion(quint16 major, quint16 minor, quint16 release, quint16 build, quint8 count)
{
    const quint16 numbers[] = {major, minor, release, build};
    QString text = QString::asprintf("%d", int(numbers[0]));
    for (int i = 2; i <= count && i <= 4; ++i)
        text += QString::asprintf(".%d", int(numbers[i - 1]));
    return text;
}

QString VersionText(quint8 count)
{
    // A program file without a record is no error for the user: the version shows empty.
    try {
        quint16 major = 0, minor = 0, release = 0, build = 0;
        ReadFileVersion(major, minor, release, build);
        return FormatVersion(major, minor, release, build, count);
    } catch (const std::exception &) {
        return QString();
    }
}
