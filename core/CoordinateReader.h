// The coordinate file reader: one record per usable line of the program's own tab-separated
// coordinate format, read in large blocks.
#pragma once

#include "util/CommonDecl.h"

#include <QString>

#include <vector>

class QFile;
class QIODevice;

// Reads a coordinate file into a fresh single-row record table. Raises EInOutError with
// "Error in the file at line N" for a line that cannot be read or converted, and a message
// naming the file and the system's reason when it cannot be opened.
std::vector<tGene> LoadCoordinateFile(const QString &path);
// The same reader over bytes already in memory (the fuzzer and the tests use it).
std::vector<tGene> ParseCoordinateText(const QByteArray &text);
// The same reader over a device already open for reading, read in large blocks; a failed read
// of the device gives "Error in the file at line N", N the number of lines read before it.
std::vector<tGene> ReadCoordinateDevice(QIODevice &device);
// Opens a regular file for unbuffered reading. Raises EInOutError naming the file and the
// system's reason when it cannot be opened or is no regular file (a folder, FIFO or device).
void OpenRegularFile(const QString &path, QFile &file);
