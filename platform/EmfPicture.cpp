// The EMF is converted once, when it is read, and its drawing replayed at every paint.
#include "platform/EmfPicture.h"

#include "platform/PictureLoader.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QtEndian>

#include <cstdlib>
#include <cstring>

#include <emf2svg.h>

namespace {

constexpr quint32 kEmrHeader = 1;
constexpr quint32 kEmfSignature = 0x464D4520; // " EMF"
constexpr qsizetype kHeaderMinSize = 88;

quint32 Word(const QByteArray &bytes, qsizetype at)
{
    quint32 value;
    std::memcpy(&value, bytes.constData() + at, sizeof value);
    return qFromLittleEndian(value);
}

} // namespace

TEmfPicture::TEmfPicture(const QByteArray &emf)
{
    // The header record gives the picture's bounds; the reader takes its width from them.
    if (emf.size() < kHeaderMinSize || Word(emf, 0) != kEmrHeader || Word(emf, 40) != kEmfSignature)
        throw EInvalidGraphic(QStringLiteral("The picture is no enhanced metafile"));
    const qint32 left = qint32(Word(emf, 8)), top = qint32(Word(emf, 12));
    const qint32 right = qint32(Word(emf, 16)), bottom = qint32(Word(emf, 20));
    const qint64 width = qint64(right) - left + 1, height = qint64(bottom) - top + 1;
    if (width <= 0 || height <= 0 || width > 1 << 16 || height > 1 << 16)
        throw EInvalidGraphic(QStringLiteral("The enhanced metafile has no valid bounds"));

    generatorOptions options;
    std::memset(&options, 0, sizeof options);
    options.svgDelimiter = true;
    options.imgWidth = double(width);
    options.imgHeight = double(height);
    QByteArray contents = emf; // the reader's interface takes a writable buffer
    char *svg = nullptr;
    size_t svgLength = 0;
    const int ok = emf2svg(contents.data(), size_t(contents.size()), &svg, &svgLength, &options);
    const QByteArray text = svg != nullptr ? QByteArray(svg, qsizetype(svgLength)) : QByteArray();
    std::free(svg);
    if (ok != 1 || text.isEmpty())
        throw EInvalidGraphic(QStringLiteral("The enhanced metafile cannot be read"));
    if (!QSvgRenderer(text).isValid())
        throw EInvalidGraphic(QStringLiteral("The enhanced metafile gives no drawing"));
    m_svg = text;
    m_size = QSize(int(width), int(height));
}

void TEmfPicture::Draw(QPainter &painter, const QRectF &target) const
{
    if (m_svg.isEmpty())
        return;
    QSvgRenderer renderer(m_svg);
    renderer.render(&painter, target);
}

TEmfPictureView::TEmfPictureView(QWidget *parent) : QWidget(parent) {}

void TEmfPictureView::SetPicture(const TEmfPicture &picture)
{
    m_picture = picture;
    update();
}

void TEmfPictureView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    m_picture.Draw(painter, QRectF(rect()));
}
