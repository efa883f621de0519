// The files a run writes (the picture and the report), opened before anything is read and made
// visible together: a regular file (or one not there yet) is written to a temporary file beside
// it and renamed into place once every output is whole; a device, a pipe read by another program
// or the file standard output goes to is written in place, as renaming would replace it.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class QIODevice;
class QSaveFile;
class QFile;

// A file as the system knows it: two names of one file have the same identity.
struct TFileIdentity
{
    quint64 Device = 0;
    quint64 Inode = 0;
    friend bool operator==(const TFileIdentity &, const TFileIdentity &) = default;
};

// The identity of the regular file a name leads to (links followed); none for anything else.
std::optional<TFileIdentity> RegularFileIdentity(const QByteArray &path);
// The name a new file would get: the folder's canonical path and the last part, links followed;
// two outputs with the same one would overwrite each other.
QString ResolvedOutputName(const QString &name);

class TOutputFile
{
public:
    // Opens the output: standard is the device standard output stands for (for "-" or a name of
    // the file standard output goes to). Raises EInOutError "Cannot create file %1: cause" for a
    // folder, a socket or block device, a pipe no program reads, or a file that cannot be made.
    // path is the name in the system's bytes; a name with no UTF-8 spelling is made through
    // a temporary file of its own bytes.
    TOutputFile(const QString &name, const QByteArray &path, QIODevice &standard);
    ~TOutputFile();
    TOutputFile(const TOutputFile &) = delete;
    TOutputFile &operator=(const TOutputFile &) = delete;

    QIODevice &Device();
    // Writes text whole or raises EInOutError.
    void Write(const QByteArray &text);
    // Raises EInOutError "Cannot create file %1" when a write fell short.
    void Check();
    // Renames the temporary file into place; an output written in place is done already.
    void Commit();
    bool Standard() const { return m_standard != nullptr; }

private:
    [[noreturn]] void Fail(const QString &cause = {}) const;

    QString m_name;
    QIODevice *m_standard = nullptr;
    std::unique_ptr<QSaveFile> m_save;
    std::unique_ptr<QFile> m_inPlace;
    // The temporary file and the target, in the system's bytes, of a name Qt cannot spell.
    std::unique_ptr<QFile> m_system;
    QByteArray m_temporaryPath;
    QByteArray m_path;
};

// The picture and the report (none when its name is empty), opened together. Commit makes both
// visible only when both were written whole.
class TRenderOutputs
{
public:
    // Of the options, the picture and the report (none when not named) with their system bytes.
    TRenderOutputs(const QString &picture, const QByteArray &picturePath, const QString &report,
                   const QByteArray &reportPath, QIODevice &standard);
    QIODevice &Picture() { return m_picture->Device(); }
    // Writes the report's text, when there is a report.
    void WriteReport(const QByteArray &text);
    void Commit();

private:
    std::unique_ptr<TOutputFile> m_picture;
    std::unique_ptr<TOutputFile> m_report;
};
