// The picture loaders and the EMF picture: the about window's own pictures decode and draw, and
// damaged or foreign data gives an error instead of ending the program.
#include "ImageChecks.h"
#include "platform/EmfPicture.h"
#include "platform/PictureLoader.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QTest>

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace {

const QString kResources = QStringLiteral(OSTRINEL_EXAMPLES "/../resources/");

QByteArray ReadResource(const QString &name)
{
    QFile file(kResources + name);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// A small JPEG in the given colour space, written with libjpeg.
QByteArray EncodeJpeg(int width, int height, J_COLOR_SPACE space, int components)
{
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char *out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&info, &out, &outSize);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = components;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(std::size_t(width * components));
    while (info.next_scanline < info.image_height) {
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = (unsigned char)((i * 7 + info.next_scanline * 13) & 0xFF);
        JSAMPROW rows = row.data();
        jpeg_write_scanlines(&info, &rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char *>(out), qsizetype(outSize));
    std::free(out);
    return bytes;
}

int NonWhitePixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF)
                ++count;
    return count;
}

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void aboutJpeg();
    void loadByExtension_data();
    void loadByExtension();
    void greyscaleJpeg();
    void cmykRefused();
    void damagedJpeg_data();
    void damagedJpeg();
    void unknownType();
    void missingFile();
    void emfDraws();
    void emfStretches();
    void badEmf_data();
    void badEmf();
};

void TestPictures::initTestCase()
{
    RegisterPictureLoaders();
}

void TestPictures::aboutJpeg()
{
    const QByteArray bytes = ReadResource(QStringLiteral("about.jpg"));
    QVERIFY(!bytes.isEmpty());
    const QImage image = DecodeJpeg(bytes);
    QCOMPARE(image.size(), QSize(320, 284));
    QVERIFY(HasColour(image));
}

void TestPictures::loadByExtension_data()
{
    QTest::addColumn<QString>("fileType");
    QTest::addColumn<bool>("known");
    QTest::newRow("jpg") << "jpg" << true;
    QTest::newRow("jpeg") << "jpeg" << true;
    QTest::newRow("upper case") << "JPG" << true;
    QTest::newRow("with dot") << ".jpeg" << true;
    QTest::newRow("bmp") << "bmp" << false;
    QTest::newRow("empty") << "" << false;
}

void TestPictures::loadByExtension()
{
    QFETCH(QString, fileType);
    QFETCH(bool, known);
    QCOMPARE(HasPictureLoader(fileType), known);
    const QByteArray bytes = ReadResource(QStringLiteral("about.jpg"));
    if (known)
        QCOMPARE(LoadPictureData(bytes, fileType).size(), QSize(320, 284));
    else
        QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, LoadPictureData(bytes, fileType));
}

void TestPictures::greyscaleJpeg()
{
    const QImage image = DecodeJpeg(EncodeJpeg(17, 9, JCS_GRAYSCALE, 1));
    QCOMPARE(image.size(), QSize(17, 9));
    QVERIFY(!HasColour(image));
    QVERIFY(!image.isNull());
}

void TestPictures::cmykRefused()
{
    const QByteArray cmyk = EncodeJpeg(8, 8, JCS_CMYK, 4);
    QVERIFY(!cmyk.isEmpty());
    try {
        DecodeJpeg(cmyk);
        QFAIL("a CMYK picture was decoded");
    } catch (const EInvalidGraphic &error) {
        QCOMPARE(error.message(), QStringLiteral("CMYK JPEG pictures are not supported"));
    }
}

void TestPictures::damagedJpeg_data()
{
    const QByteArray good = ReadResource(QStringLiteral("about.jpg"));
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not a jpeg") << QByteArray("Chr1\t10\t20\t1\tABC\n");
    QTest::newRow("start marker only") << QByteArray("\xFF\xD8", 2);
    QTest::newRow("header cut") << good.left(200);
    QTest::newRow("data cut") << good.left(good.size() / 2);
    QByteArray garbled = good;
    for (qsizetype i = garbled.size() / 3; i < garbled.size() / 3 + 64; ++i)
        garbled[i] = char(0xFF);
    QTest::newRow("markers in the data") << garbled;
}

void TestPictures::damagedJpeg()
{
    QFETCH(QByteArray, bytes);
    try {
        DecodeJpeg(bytes);
        QFAIL("a damaged picture was decoded");
    } catch (const EInvalidGraphic &error) {
        QVERIFY(!error.message().isEmpty());
    }
}

void TestPictures::unknownType()
{
    try {
        LoadPictureData(QByteArray("BM"), QStringLiteral("bmp"));
        QFAIL("no loader should know bmp");
    } catch (const EInvalidGraphic &error) {
        QCOMPARE(error.message(), QStringLiteral("Unknown picture file extension (.bmp)"));
    }
}

void TestPictures::missingFile()
{
    QVERIFY_THROWS_EXCEPTION(EInOutError, LoadPicture(kResources + QStringLiteral("none.jpg")));
    QCOMPARE(LoadPicture(kResources + QStringLiteral("about.jpg")).size(), QSize(320, 284));
}

void TestPictures::emfDraws()
{
    const TEmfPicture picture(ReadResource(QStringLiteral("about.emf")));
    QCOMPARE(picture.Size(), QSize(137, 79));
    QImage image(137, 79, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        picture.Draw(painter, QRectF(0, 0, 137, 79));
    }
    // Most of the picture is its coloured ground and arrows.
    QVERIFY(NonWhitePixels(image) > 137 * 79 / 2);
    QVERIFY(HasColour(image));
}

void TestPictures::emfStretches()
{
    const TEmfPicture picture(ReadResource(QStringLiteral("about.emf")));
    QImage image(300, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        picture.Draw(painter, QRectF(200, 0, 100, 100));
    }
    // Drawn into the target rectangle only.
    QCOMPARE(NonWhitePixels(image.copy(0, 0, 195, 100)), 0);
    QVERIFY(NonWhitePixels(image.copy(200, 0, 100, 100)) > 100 * 100 / 2);
}

void TestPictures::badEmf_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("jpeg") << ReadResource(QStringLiteral("about.jpg"));
    QByteArray noBounds = ReadResource(QStringLiteral("about.emf"));
    const qint32 backwards = -5;
    std::memcpy(noBounds.data() + 16, &backwards, sizeof backwards); // right edge left of left
    QTest::newRow("bounds reversed") << noBounds;
}

void TestPictures::badEmf()
{
    QFETCH(QByteArray, bytes);
    QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, TEmfPicture{bytes});
}

QTEST_MAIN(TestPictures)
#include "tst_platform_pictures.moc"
