// The coordinate file reader: one record per usable line of the program's own tab-separated
// coordinate format, read in large blocks.
#pragma once

#include "util/CommonDecl.h"

#include <QString>

#include <vector>

class QIODevice;

// Reads a coordinate file into a fresh single-row record table. Raises EInOutError with
// "Error in the file at line N" for a line that cannot be read or converted, and the message of
// TTextInput when it cannot be opened or is in an encoding the program does not read.
std::vector<tGene> LoadCoordinateFile(const QString &path);
// The same reader over bytes already in memory (the fuzzer and the tests use it).
std::vector<tGene> ParseCoordinateText(const QByteArray &text);
// The same reader over a device already open for reading, read in large blocks; a failed read
// of the device gives "Error in the file at line N", N the number of lines read before it.
std::vector<tGene> ReadCoordinateDevice(QIODevice &device);
