#include "chart/PixelMemo.h"

#include "chart/TCanvas.h"

#include <QPainter>
#include <QRegion>

#include <cstring>

namespace {
// The painter's image, when its pixels are exact and in a format copied here as words.
QImage *WordImage(const QPainter &painter)
{
    QImage *image = ExactImage(painter);
    if (image && image->format() != QImage::Format_RGB32 &&
        image->format() != QImage::Format_ARGB32_Premultiplied)
        return nullptr;
    return image;
}

// Everything of the painter's state that changes what a step leaves, besides its inputs.
void AppendPainterState(QByteArray &key, const QPainter &painter, const QImage &image)
{
    const QTransform t = painter.combinedTransform();
    const qint64 words[] = {image.width(),
                            image.height(),
                            qint64(image.format()),
                            qint64(t.dx()),
                            qint64(t.dy()),
                            qint64(painter.renderHints().toInt()),
                            qint64(painter.compositionMode()),
                            qint64(painter.opacity() * 1e6),
                            painter.hasClipping()};
    key.append(reinterpret_cast<const char *>(words), sizeof words);
    if (painter.hasClipping())
        for (const QRect &r : painter.clipRegion()) {
            const int sides[] = {r.left(), r.top(), r.right(), r.bottom()};
            key.append(reinterpret_cast<const char *>(sides), sizeof sides);
        }
}

bool SamePixels(const QImage &image, const QRect &area, const QImage &kept)
{
    const std::size_t bytes = std::size_t(area.width()) * 4;
    for (int y = 0; y < area.height(); ++y)
        if (std::memcmp(image.constScanLine(area.top() + y) + std::size_t(area.left()) * 4,
                        kept.constScanLine(y), bytes) != 0)
            return false;
    return true;
}
} // namespace

bool TPixelMemo::Replay(QPainter &painter, const QRect &box, QByteArray key)
{
    m_nextArea = QRect();
    m_nextBefore = QImage();
    QImage *image = WordImage(painter);
    if (!image)
        return false;
    AppendPainterState(key, painter, *image);
    const QTransform t = painter.combinedTransform();
    const QRect area = box.translated(int(t.dx()), int(t.dy())) & image->rect();
    if (key == m_key && area == m_area && !m_before.isNull() &&
        (area.isEmpty() || SamePixels(*image, area, m_before))) {
        // The painter's own buffer, written as the engine writes it, without a copy made.
        auto *pixels = const_cast<uchar *>(image->constBits());
        const std::size_t bytes = std::size_t(area.width()) * 4;
        for (int y = 0; y < area.height(); ++y)
            std::memcpy(pixels + std::size_t(area.top() + y) * std::size_t(image->bytesPerLine()) +
                            std::size_t(area.left()) * 4,
                        m_after.constScanLine(y), bytes);
        return true;
    }
    m_nextKey = std::move(key);
    m_nextArea = area;
    m_nextBefore = area.isEmpty() ? QImage(1, 1, image->format()) : image->copy(area);
    return false;
}

void TPixelMemo::Keep(QPainter &painter)
{
    QImage *image = WordImage(painter);
    if (!image || m_nextBefore.isNull()) {
        m_key.clear();
        m_before = QImage();
        return;
    }
    m_key = std::move(m_nextKey);
    m_area = m_nextArea;
    m_before = std::move(m_nextBefore);
    m_after = m_area.isEmpty() ? m_before : image->copy(m_area);
    m_nextBefore = QImage();
}
