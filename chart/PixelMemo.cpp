#include "chart/PixelMemo.h"

#include "chart/TCanvas.h"

#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cmath>
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

namespace {
constexpr int kMostStamps = 4096;

QByteArray PenKey(double scale, const QPen &pen)
{
    QByteArray key;
    const double words[] = {scale,
                            pen.widthF(),
                            double(pen.style()),
                            double(pen.capStyle()),
                            double(pen.joinStyle()),
                            double(pen.color().rgba()),
                            pen.dashOffset(),
                            double(pen.isCosmetic())};
    key.append(reinterpret_cast<const char *>(words), sizeof(words));
    return key;
}
} // namespace

bool TLineStamps::Begin(QPainter &painter, const QPen &pen)
{
    m_image = nullptr;
    const double scale = ScaledPixels(painter);
    const QTransform t = painter.combinedTransform();
    if (scale <= 0 || t.dx() != std::floor(t.dx()) || t.dy() != std::floor(t.dy()))
        return false;
    auto *image = static_cast<QImage *>(painter.device());
    if (image->format() != QImage::Format_RGB32 && image->format() != QImage::Format_ARGB32 &&
        image->format() != QImage::Format_ARGB32_Premultiplied)
        return false;
    if (painter.testRenderHint(QPainter::Antialiasing) || painter.opacity() != 1.0 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver)
        return false;
    if (pen.style() == Qt::NoPen || pen.style() == Qt::CustomDashLine ||
        pen.brush().style() != Qt::SolidPattern || pen.color().alpha() != 255)
        return false;
    QRect inside = image->rect();
    if (painter.hasClipping()) {
        const QRegion region = painter.clipRegion();
        if (region.rectCount() > 1)
            return false;
        // Only the device pixels wholly inside the scaled clip take ink for certain.
        const QRectF r = t.mapRect(QRectF(region.boundingRect()));
        inside &= QRect(QPoint(int(std::ceil(r.left())), int(std::ceil(r.top()))),
                        QPoint(int(std::floor(r.right())) - 1, int(std::floor(r.bottom())) - 1));
    }
    if (scale != m_scale || pen != m_pen || m_stamps.size() > kMostStamps)
        m_stamps.clear();
    m_scale = scale;
    m_pen = pen;
    m_offset = QPointF(t.dx(), t.dy());
    m_inside = inside;
    m_color = 0xff000000u | pen.color().rgb();
    const QByteArray key = PenKey(scale, pen);
    auto checked = std::find_if(m_checked.begin(), m_checked.end(),
                                [&key](const auto &c) { return c.first == key; });
    if (checked == m_checked.end()) {
        m_checked.emplace_back(key, true); // the check itself copies stamps
        const bool agrees = AgreesWithPainter();
        checked = std::find_if(m_checked.begin(), m_checked.end(),
                               [&key](const auto &c) { return c.first == key; });
        checked->second = agrees;
        // The check drew elsewhere: the state of this painter is taken anew.
        return agrees && Begin(painter, pen);
    }
    if (!checked->second)
        return false;
    m_image = image;
    return true;
}

bool TLineStamps::Line(const QPoint &p, const QPoint &q)
{
    if (!m_image)
        return false;
    const double ax = p.x() * m_scale + m_offset.x(), ay = p.y() * m_scale + m_offset.y();
    const double bx = q.x() * m_scale + m_offset.x(), by = q.y() * m_scale + m_offset.y();
    // Well inside: the pen's reach past the ends, rounding, and a pixel more.
    const double reach = std::max(1.0, m_pen.widthF()) * m_scale + 2;
    if (std::min(ax, bx) - reach < m_inside.left() || std::max(ax, bx) + reach > m_inside.right() ||
        std::min(ay, by) - reach < m_inside.top() || std::max(ay, by) + reach > m_inside.bottom())
        return false;
    const int anchorX = int(std::floor(ax)), anchorY = int(std::floor(ay));
    // The phase in 256ths of a pixel: a scale that puts ends elsewhere is drawn by the painter.
    const double fx = (ax - anchorX) * 256, fy = (ay - anchorY) * 256;
    if (fx != std::floor(fx) || fy != std::floor(fy))
        return false;
    const int dx = q.x() - p.x(), dy = q.y() - p.y();
    if (std::abs(dx) > 32767 || std::abs(dy) > 32767)
        return false;
    const quint64 key = (quint64(quint16(dx)) << 32) | (quint64(quint16(dy)) << 16) |
                        (quint64(fx) << 8) | quint64(fy);
    auto it = m_stamps.find(key);
    if (it == m_stamps.end())
        it = m_stamps.insert(key, Make(p, q, anchorX, anchorY));
    const TStamp &stamp = it.value();
    if (!stamp.Usable || !m_inside.contains(stamp.Bounds.translated(anchorX, anchorY)))
        return false;
    // The painter's own buffer: the one its engine writes into, without a copy made.
    auto *bits = const_cast<uchar *>(m_image->constBits());
    const qsizetype stride = m_image->bytesPerLine();
    for (std::size_t r = 0; r < stamp.Runs.size(); ++r) {
        const QPoint at = stamp.Runs[r] + QPoint(anchorX, anchorY);
        auto *row = reinterpret_cast<quint32 *>(bits + stride * at.y()) + at.x();
        std::fill_n(row, stamp.RunLengths[r], m_color);
    }
    return true;
}

TLineStamps::TStamp TLineStamps::Make(const QPoint &p, const QPoint &q, int anchorX,
                                      int anchorY) const
{
    TStamp stamp;
    const int margin = int(std::ceil(std::max(1.0, m_pen.widthF()) * m_scale)) + 3;
    const int runX = int(std::ceil(std::abs(q.x() - p.x()) * m_scale));
    const int runY = int(std::ceil(std::abs(q.y() - p.y()) * m_scale));
    // The anchor's pixel in the stamp, with room for the run either way and the pen.
    const int sx = margin + (q.x() < p.x() ? runX : 0), sy = margin + (q.y() < p.y() ? runY : 0);
    QImage image(runX + 2 * margin + 1, runY + 2 * margin + 1, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return stamp;
    image.fill(0);
    {
        // The same scale and the same fraction: only a whole-pixel shift apart.
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setTransform(QTransform(m_scale, 0, 0, m_scale, m_offset.x() - (anchorX - sx),
                                        m_offset.y() - (anchorY - sy)));
        painter.setPen(m_pen);
        painter.drawLine(p, q);
    }
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        const auto *row = reinterpret_cast<const quint32 *>(image.constScanLine(y));
        for (int x = 0; x < image.width();) {
            if (!row[x]) {
                ++x;
                continue;
            }
            int end = x;
            while (end < image.width() && row[end]) {
                if (row[end] != m_color)
                    return stamp; // not one opaque colour: left to the painter
                ++end;
            }
            // Ink on the stamp's edge may have been cut off.
            if (x == 0 || end == image.width() || y == 0 || y == image.height() - 1)
                return stamp;
            stamp.Runs.emplace_back(x - sx, y - sy);
            stamp.RunLengths.push_back(end - x);
            bounds |= QRect(x - sx, y - sy, end - x, 1);
            x = end;
        }
    }
    stamp.Bounds = bounds;
    stamp.Usable = true;
    return stamp;
}

bool TLineStamps::AgreesWithPainter()
{
    // Lines as labels draw them, upright and slanted, both ways, at every phase a scale
    // of a few sixteenths gives, copied and drawn over the same white surface.
    const QSize logical(120, 90);
    QImage drawn((QSizeF(logical) * m_scale).toSize(), QImage::Format_RGB32);
    if (drawn.isNull())
        return false;
    drawn.setDevicePixelRatio(m_scale);
    drawn.fill(Qt::white);
    QImage copied = drawn;
    copied.detach();
    TLineStamps stamps;
    stamps.m_checked = m_checked;
    QPainter a(&drawn), b(&copied);
    a.setRenderHint(QPainter::Antialiasing, false);
    b.setRenderHint(QPainter::Antialiasing, false);
    a.setPen(m_pen);
    b.setPen(m_pen);
    if (!stamps.Begin(b, m_pen))
        return false;
    int copies = 0;
    for (int i = 0; i < 40; ++i) {
        const QPoint p(4 + i * 2 + i % 3, 6 + (i * 7) % 23);
        const QPoint q =
            p + QPoint(i % 5 == 4 ? (i % 7) - 3 : 0, (i % 2 ? 1 : -1) * (3 + i % 9) * 2);
        const QPoint from = i % 4 == 3 ? q : p, to = i % 4 == 3 ? p : q;
        a.drawLine(from, to);
        if (stamps.Line(from, to))
            ++copies;
        else
            b.drawLine(from, to);
    }
    a.end();
    b.end();
    return copies > 0 && drawn == copied;
}
