// The picture loader registry and the JPEG loader. libjpeg reports errors through a callback that
// must not return; ours jumps back to the decoder instead of ending the program, and treats the
// library's warnings about corrupt data as errors too, so a damaged picture never shows half grey.
#include "platform/PictureLoader.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace {

// The registry is filled once at start-up by RegisterPictureLoaders and only read afterwards.
QHash<QString, TPictureLoader> &Loaders()
{
    static QHash<QString, TPictureLoader> loaders;
    return loaders;
}

QString TypeKey(const QString &fileType)
{
    QString key = fileType.toLower();
    if (key.startsWith(QLatin1Char('.')))
        key.remove(0, 1);
    return key;
}

struct tJpegError
{
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JpegErrorExit(j_common_ptr info)
{
    auto *error = reinterpret_cast<tJpegError *>(info->err);
    error->Manager.format_message(info, error->Message);
    std::longjmp(error->Jump, 1);
}

void JpegEmitMessage(j_common_ptr info, int level)
{
    if (level < 0) // a warning: the data is corrupt
        JpegErrorExit(info);
}

void JpegOutputMessage(j_common_ptr) {}

// Runs the decoder. No object with a destructor lives in this frame across the jump: the image
// belongs to the caller and is only assigned here.
bool DecodeJpegInto(const QByteArray &bytes, QImage &image, char *message, bool &cmyk)
{
    jpeg_decompress_struct info;
    tJpegError error;
    info.err = jpeg_std_error(&error.Manager);
    error.Manager.error_exit = JpegErrorExit;
    error.Manager.emit_message = JpegEmitMessage;
    error.Manager.output_message = JpegOutputMessage;
    error.Message[0] = '\0';
    if (setjmp(error.Jump) != 0) {
        jpeg_destroy_decompress(&info);
        std::strncpy(message, error.Message, JMSG_LENGTH_MAX);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        cmyk = true;
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    image = QImage(int(info.output_width), int(info.output_height), QImage::Format_RGB888);
    if (image.isNull()) {
        jpeg_destroy_decompress(&info);
        std::strncpy(message, "the picture is too large", JMSG_LENGTH_MAX);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.scanLine(int(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

void RegisterPictureLoader(const QString &fileType, TPictureLoader loader)
{
    Loaders().insert(TypeKey(fileType), loader);
}

void UnregisterPictureLoader(const QString &fileType)
{
    Loaders().remove(TypeKey(fileType));
}

bool HasPictureLoader(const QString &fileType)
{
    return Loaders().contains(TypeKey(fileType));
}

void RegisterPictureLoaders()
{
    RegisterPictureLoader(QStringLiteral("jpeg"), DecodeJpeg);
    RegisterPictureLoader(QStringLiteral("jpg"), DecodeJpeg);
}

QImage LoadPictureData(const QByteArray &bytes, const QString &fileType)
{
    const TPictureLoader loader = Loaders().value(TypeKey(fileType), nullptr);
    if (loader == nullptr)
        throw EInvalidGraphic(
            QStringLiteral("Unknown picture file extension (.%1)").arg(TypeKey(fileType)));
    return loader(bytes);
}

QImage LoadPicture(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EInOutError(QStringLiteral("Cannot open the picture file \"%1\"").arg(fileName));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EInOutError(QStringLiteral("Cannot read the picture file \"%1\"").arg(fileName));
    return LoadPictureData(bytes, QFileInfo(fileName).suffix());
}

QImage DecodeJpeg(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        throw EInvalidGraphic(QStringLiteral("The JPEG picture is empty"));
    QImage image;
    char message[JMSG_LENGTH_MAX] = {};
    bool cmyk = false;
    if (!DecodeJpegInto(bytes, image, message, cmyk)) {
        if (cmyk)
            throw EInvalidGraphic(QStringLiteral("CMYK JPEG pictures are not supported"));
        throw EInvalidGraphic(
            QStringLiteral("JPEG error: %1").arg(QString::fromLocal8Bit(message)));
    }
    return image;
}
