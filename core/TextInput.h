// Opening a text input: every file the program reads as text (coordinate and annotation files,
// homology tables, the FASTA files beside them) is opened here, so that each is held to the same
// rules. Only a regular file is read; its encoding is told from its first bytes: UTF-8 (or
// ASCII, or any other bytes) is read as it is, UTF-16 and UTF-32 with a byte-order mark are
// decoded to UTF-8 as they are read (bytes after a mark that are no text of its encoding are
// read as they are), and UTF-16 without one is refused, naming the encoding. The
// readers then apply the limits of what a text file can be (RecordMemory) to what they read.
#pragma once

#include "util/CommonDecl.h"

#include <QFile>
#include <QString>

#include <memory>

class QIODevice;

// Opens a regular file for unbuffered reading. Raises EInOutError "Cannot open file "PATH":
// REASON", the reason the system's or "Not a regular file" (a FIFO, a device, a socket); a FIFO
// does not hold the open.
void OpenRegularFile(const QString &path, QFile &file);

// A text file open for reading, at the start of its text. Raises EInOutError naming the file:
// as OpenRegularFile, or "Cannot read file "PATH": REASON" for an encoding it does not read.
class TTextInput
{
public:
    explicit TTextInput(const QString &path);
    ~TTextInput();
    TTextInput(const TTextInput &) = delete;
    TTextInput &operator=(const TTextInput &) = delete;

    // The text, in UTF-8 unless the file was some other 8-bit text. It has a size (that of the
    // text it gives), and seek(0) starts it again; a decoded file grows its text as the file grows.
    QIODevice &device();

private:
    QFile m_file;
    std::unique_ptr<QIODevice> m_decoded;
};
