// The files a run writes (the picture, the reports, the group table), opened before anything is
// read and made visible together: a regular file (or one not there yet) is written to a
// temporary file beside it and renamed into place once every output is whole; a device, a pipe
// read by another program or the file standard output goes to is written in place, as renaming
// would replace it. No output may be an input or another output.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

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
    // Raises EInOutError "Cannot create file %1: cause" when a write fell short.
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

// What a file is to the run, as messages name it.
enum class TFileRole
{
    Input,         // a coordinate file
    HomologyTable, // --homology FILE
    ProteinFile,   // beside an input, read by --homology auto
    AlignmentFile, // --alignments FILE
    ColourTable,   // --colour-table FILE
    TreeFile,      // --tree FILE
    Picture,
    Report,
    GroupTable,
    BlockReport
};
QString RoleText(TFileRole role);

// A file of the run: what it is, its name as given and in the system's bytes.
struct TRunFile
{
    TFileRole Role;
    QString Name;
    QByteArray Path;
};

// Every output of a run, opened together. Commit makes them visible only when all were written
// whole; until then, and when the run fails, no file is replaced.
class TRenderOutputs
{
public:
    // Raises EUsageError, before any output is opened, for an output that is one of the inputs
    // or another output (by the file a name leads to, links followed, or the name a new file
    // would get) and for two outputs on standard output; then opens each as TOutputFile does.
    TRenderOutputs(const std::vector<TRunFile> &outputs, const std::vector<TRunFile> &inputs,
                   QIODevice &standard);
    // The output of that role; none when the run writes none.
    TOutputFile *Output(TFileRole role);
    // Writes the text to the output of that role, when there is one.
    void Write(TFileRole role, const QByteArray &text);
    void Commit();

private:
    std::vector<std::pair<TFileRole, std::unique_ptr<TOutputFile>>> m_outputs;
};
