// The WMF writer of the metafile device: a placeable WMF (22-byte header, 96 units per inch,
// anisotropic mapping).
#pragma once

#include "platform/MetafileWriter.h"

#include <QSize>

#include <memory>

// A writer for a picture of size pixels at dpi pixels per inch; Failed() tells whether it could
// start.
std::unique_ptr<TMetafileWriter> CreateWmfWriter(QSize size, double dpi);
