// The EMF writer of the metafile device: the records of an enhanced metafile, whose frame gives
// the picture's physical size and whose description names the program.
#pragma once

#include "platform/MetafileWriter.h"

#include <QSize>

#include <memory>

// A writer for a picture of size pixels at dpi pixels per inch; Failed() tells whether it could
// start.
std::unique_ptr<TMetafileWriter> CreateEmfWriter(QSize size, double dpi);
