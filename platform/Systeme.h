// The program version, read from the version record stored in the program file itself.
#pragma once

#include <QString>
#include <QtGlobal>

// The four numbers of the fixed file version; raises when the program file has no record.
void ReadFileVersion(quint16 &major, quint16 &minor, quint16 &release, quint16 &build);
// The first `count` version numbers joined by dots ("1.0" for 2); empty when none can be read.
QString VersionText(quint8 count);
