// The program version, read from the version record stored in the program file itself.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The four numbers of the fixed file version; raises when the program file has no record.
void ReadFileVersion(quint16 &major, quint16 &minor, quint16 &release, quint16 &build);
// The first `count` version numbers joined by dots ("1.0" for 2); empty when none can be read.
QString VersionText(quint8 count);
// The text VersionText gives for these four numbers: "%d" for the first, ".%d" for each further
// one up to `count` (at most four).
QString FormatVersion(quint16 major, quint16 minor, quint16 release, quint16 build, quint8 count);
// Full path of the running program file, whose version record ReadFileVersion reads.
QByteArray ProgramFileName();
