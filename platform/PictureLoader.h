// Picture loaders by file type: the program's own decoders, each turning the bytes of one kind of
// picture file into an image. The JPEG loader decodes through libjpeg.
#pragma once

#include "util/CommonDecl.h"

#include <QByteArray>
#include <QImage>
#include <QString>

// A picture that cannot be decoded, or a file type no loader knows.
class EInvalidGraphic : public Exception
{
public:
    using Exception::Exception;
};

// Decodes the whole contents of a picture file; raises EInvalidGraphic.
using TPictureLoader = QImage (*)(const QByteArray &bytes);

// The loaders are kept for the whole run, by file type without the dot, ignoring letter case.
// A later registration of the same type replaces the earlier one.
void RegisterPictureLoader(const QString &fileType, TPictureLoader loader);
void UnregisterPictureLoader(const QString &fileType);
bool HasPictureLoader(const QString &fileType);

// Registers every loader of the program (JPEG under "jpeg" and "jpg"); called once at start-up.
void RegisterPictureLoaders();

// Decodes picture bytes with the loader of a file type.
QImage LoadPictureData(const QByteArray &bytes, const QString &fileType);
// Reads a picture file (also a ":/" resource), choosing the loader by the file's extension;
// raises EInOutError when the file cannot be read, EInvalidGraphic when it cannot be decoded.
QImage LoadPicture(const QString &fileName);

// The JPEG loader: a colour or greyscale JPEG as an RGB image; CMYK pictures are refused.
QImage DecodeJpeg(const QByteArray &bytes);
