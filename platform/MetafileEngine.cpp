#include "platform/MetafileEngine.h"

#include "platform/EmfWriter.h"
#include "platform/MetafileClip.h"
#include "platform/TMetafileDevice.h"
#include "platform/WmfWriter.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

bool TMetafileEngine::begin(QPaintDevice *pdev)
{
    m_device = static_cast<TMetafileDevice *>(pdev);
    m_device->m_bytes.clear();
    const QSize size = m_device->m_size;
    if (m_device->m_kind == TMetafileKind::Wmf)
        m_writer = CreateWmfWriter(size, m_device->m_dpi);
    else
        m_writer = CreateEmfWriter(size, m_device->m_dpi);
    m_selectedPen.reset();
    m_selectedBrush.reset();
    m_selectedFont.reset();
    m_textColor.reset();
    m_fillMode.reset();
    m_picture = QRectF(0, 0, size.width(), size.height());
    m_clip = m_picture;

    // A full-size white page first: readers that fit the drawn content's box then keep the
    // picture's own size, and the picture has the chart's white background either way.
    TGdiPen none;
    none.Style = U_PS_NULL;
    none.Width = 0;
    Use(none, TGdiBrush{false, qRgb(255, 255, 255)}, U_ALTERNATE);
    m_writer->Polygon(Points(QPolygonF{m_picture.topLeft(), m_picture.topRight(),
                                       m_picture.bottomRight(), m_picture.bottomLeft()}));

    // The painter's initial pen, brush and font never come through updateState.
    if (painter()) {
        m_pen = painter()->pen();
        m_brush = painter()->brush();
        m_font = painter()->font();
        m_transform = painter()->combinedTransform();
    }
    setActive(true);
    return !m_writer->Failed();
}

bool TMetafileEngine::end()
{
    bool ok = false;
    if (m_writer) {
        m_device->m_bytes = m_writer->Finish();
        ok = !m_device->m_bytes.isEmpty();
    }
    m_writer.reset();
    setActive(false);
    return ok;
}

void TMetafileEngine::updateState(const QPaintEngineState &state)
{
    const DirtyFlags flags = state.state();
    if (flags & DirtyPen)
        m_pen = state.pen();
    if (flags & DirtyBrush)
        m_brush = state.brush();
    if (flags & DirtyFont)
        m_font = state.font();
    if (flags & DirtyTransform)
        m_transform = state.transform();
    if (flags & (DirtyClipEnabled | DirtyClipRegion | DirtyClipPath)) {
        // Clips are kept as their bounding rectangle in picture pixels.
        m_clip = m_picture;
        if (painter() && painter()->hasClipping())
            m_clip &= m_transform.mapRect(painter()->clipBoundingRect());
    }
}

void TMetafileEngine::drawPolygon(const QPointF *points, int count, PolygonDrawMode mode)
{
    if (count < 2)
        return;
    QPolygonF device;
    for (int i = 0; i < count; ++i)
        device.append(m_transform.map(points[i]));
    if (mode == PolylineMode) {
        Stroke(device);
        return;
    }
    Fill({device}, Pen(), Brush(), mode == WindingMode ? U_WINDING : U_ALTERNATE);
}

void TMetafileEngine::drawPolygon(const QPoint *points, int count, PolygonDrawMode mode)
{
    std::vector<QPointF> pts(points, points + count);
    drawPolygon(pts.data(), count, mode);
}

void TMetafileEngine::drawLines(const QLineF *lines, int count)
{
    for (int i = 0; i < count; ++i)
        Stroke(QPolygonF{m_transform.map(lines[i].p1()), m_transform.map(lines[i].p2())});
}

void TMetafileEngine::drawLines(const QLine *lines, int count)
{
    for (int i = 0; i < count; ++i) {
        const QLineF line(lines[i]);
        drawLines(&line, 1);
    }
}

void TMetafileEngine::drawRects(const QRectF *rects, int count)
{
    for (int i = 0; i < count; ++i) {
        const QRectF &r = rects[i];
        const QPointF corners[4] = {r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()};
        drawPolygon(corners, 4, OddEvenMode);
    }
}

void TMetafileEngine::drawRects(const QRect *rects, int count)
{
    for (int i = 0; i < count; ++i) {
        const QRectF r(rects[i]);
        drawRects(&r, 1);
    }
}

void TMetafileEngine::drawPath(const QPainterPath &path)
{
    // Curves (ellipses, rounded shapes) arrive here and leave as flattened polygons.
    std::vector<QPolygonF> parts;
    bool allClosed = true;
    for (const QPolygonF &part : path.toSubpathPolygons(m_transform)) {
        if (part.size() < 2)
            continue;
        allClosed = allClosed && part.isClosed();
        parts.push_back(part);
    }
    if (parts.empty())
        return;
    const quint32 fill = path.fillRule() == Qt::WindingFill ? U_WINDING : U_ALTERNATE;
    if (allClosed) {
        Fill(parts, Pen(), Brush(), fill);
        return;
    }
    // Qt fills open subpaths as if closed but strokes them open.
    TGdiPen none;
    none.Style = U_PS_NULL;
    none.Width = 0;
    Fill(parts, none, Brush(), fill);
    for (const QPolygonF &part : parts)
        Stroke(part);
}

void TMetafileEngine::drawTextItem(const QPointF &p, const QTextItem &item)
{
    const QString text = item.text();
    if (text.isEmpty())
        return;
    QFont font = item.font();
    // Fonts often carry a point size: the device's resolution turns it into pixels.
    const double pixels = font.pixelSize() > 0 ? font.pixelSize()
                                               : font.pointSizeF() * m_device->logicalDpiY() / 72.0;
    font.setPixelSize(std::max(1, int(std::lround(pixels))));
    const double scale = std::sqrt(std::abs(m_transform.determinant()));

    TGdiFont gdi;
    gdi.Family = font.family();
    gdi.Height = std::max(1, int(std::lround(font.pixelSize() * scale)));
    gdi.Weight = std::clamp(int(font.weight()), 100, 900);
    gdi.Italic = font.italic();
    const QPointF x = m_transform.map(QPointF(1, 0)) - m_transform.map(QPointF(0, 0));
    gdi.Escapement = int(std::lround(-std::atan2(x.y(), x.x()) * 1800.0 / M_PI));

    // Each unit's advance as Qt lays the text out, so that readers space it the same.
    // One layout of the whole text gives every unit's position: measuring each prefix anew
    // would take time in the square of the text's length.
    const QFontMetricsF metrics(font, m_device);
    QTextLayout layout(text, font, m_device);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    const qsizetype n = text.size();
    std::vector<double> pos(std::size_t(n) + 1, 0.0);
    std::vector<int> dx(std::size_t(n), 0);
    for (qsizetype i = 1; i <= n; ++i) {
        pos[std::size_t(i)] = line.isValid() ? line.cursorToX(int(i)) : 0.0;
        dx[std::size_t(i - 1)] = int(std::lround(pos[std::size_t(i)] * scale) -
                                     std::lround(pos[std::size_t(i - 1)] * scale));
    }

    // Readers fit their picture to the text they are given, clipped or not: characters that
    // do not fit along the line are left out, and runs that reach over the clip across the
    // line are cut by the reader.
    const bool horizontal = std::abs(x.x()) >= std::abs(x.y());
    auto cellOf = [&](qsizetype i) {
        return m_transform.mapRect(QRectF(p.x() + pos[std::size_t(i)], p.y() - metrics.ascent(),
                                          pos[std::size_t(i) + 1] - pos[std::size_t(i)],
                                          metrics.ascent() + metrics.descent()));
    };
    auto fits = [&](const QRectF &cell) {
        constexpr double slack = 0.5;
        if (!cell.intersects(m_clip) && !(cell.width() == 0 || cell.height() == 0))
            return false;
        return horizontal ? cell.left() >= m_clip.left() - slack &&
                                cell.right() <= m_clip.right() + slack &&
                                cell.bottom() > m_clip.top() && cell.top() < m_clip.bottom()
                          : cell.top() >= m_clip.top() - slack &&
                                cell.bottom() <= m_clip.bottom() + slack &&
                                cell.right() > m_clip.left() && cell.left() < m_clip.right();
    };

    qsizetype i = 0;
    while (i < n) {
        if (!fits(cellOf(i))) {
            ++i;
            continue;
        }
        const qsizetype first = i;
        bool inside = true;
        for (; i < n; ++i) {
            const QRectF cell = cellOf(i);
            if (!fits(cell))
                break;
            inside = inside && m_clip.adjusted(-0.5, -0.5, 0.5, 0.5).contains(cell);
        }
        WriteText(m_transform.map(p + QPointF(pos[std::size_t(first)], 0)),
                  text.mid(first, i - first), std::vector<int>(dx.begin() + first, dx.begin() + i),
                  gdi, inside ? std::nullopt : std::optional<QRect>(m_clip.toAlignedRect()));
    }
}

void TMetafileEngine::WriteText(const QPointF &at, const QString &text, const std::vector<int> &dx,
                                const TGdiFont &font, const std::optional<QRect> &clip)
{
    if (m_selectedFont != font) {
        m_writer->SelectFont(font);
        m_selectedFont = font;
    }
    const QRgb color = m_pen.color().rgb();
    if (m_textColor != color) {
        m_writer->SetTextColor(color);
        m_textColor = color;
    }
    m_writer->Text(point16_set(Coord16(at.x()), Coord16(at.y())), text, dx, clip);
}

TPoints TMetafileEngine::Points(const QPolygonF &polygon)
{
    TPoints out;
    out.reserve(std::size_t(polygon.size()));
    for (const QPointF &p : polygon)
        out.push_back(point16_set(Coord16(p.x()), Coord16(p.y())));
    return out;
}

TGdiPen TMetafileEngine::Pen() const
{
    TGdiPen pen;
    if (m_pen.style() == Qt::NoPen || m_pen.color().alpha() == 0) {
        pen.Style = U_PS_NULL;
        pen.Width = 0;
        return pen;
    }
    switch (m_pen.style()) {
    case Qt::DotLine:
        pen.Style = U_PS_DOT;
        break;
    case Qt::DashLine:
        pen.Style = U_PS_DASH;
        break;
    case Qt::DashDotLine:
        pen.Style = U_PS_DASHDOT;
        break;
    case Qt::DashDotDotLine:
        pen.Style = U_PS_DASHDOTDOT;
        break;
    default:
        pen.Style = U_PS_SOLID;
        break;
    }
    const double scale = std::sqrt(std::abs(m_transform.determinant()));
    const double width = m_pen.isCosmetic() ? m_pen.widthF() : m_pen.widthF() * scale;
    pen.Width = std::max(1, int(std::lround(width)));
    pen.Color = m_pen.color().rgb();
    return pen;
}

TGdiBrush TMetafileEngine::Brush() const
{
    TGdiBrush brush;
    if (m_brush.style() == Qt::NoBrush)
        return brush;
    QColor c = m_brush.color();
    if (m_brush.gradient() && !m_brush.gradient()->stops().isEmpty())
        c = m_brush.gradient()->stops().first().second;
    if (c.alpha() == 0)
        return brush;
    brush.Null = false;
    brush.Color = c.rgb();
    return brush;
}

void TMetafileEngine::Use(const TGdiPen &pen, const TGdiBrush &brush, quint32 fillMode)
{
    if (m_selectedPen != pen) {
        m_writer->SelectPen(pen);
        m_selectedPen = pen;
    }
    if (m_selectedBrush != brush) {
        m_writer->SelectBrush(brush);
        m_selectedBrush = brush;
    }
    if (m_fillMode != fillMode) {
        m_writer->SetFillMode(fillMode);
        m_fillMode = fillMode;
    }
}

void TMetafileEngine::Fill(const std::vector<QPolygonF> &polygons, const TGdiPen &pen,
                           const TGdiBrush &brush, quint32 fillMode)
{
    if (pen.Style == U_PS_NULL && brush.Null)
        return;
    std::vector<TPoints> kept;
    for (const QPolygonF &polygon : polygons) {
        const QPolygonF cut = ClipPolygon(polygon, m_clip);
        if (cut.size() >= 3)
            kept.push_back(Points(cut));
    }
    if (kept.empty())
        return;
    Use(pen, brush, fillMode);
    if (kept.size() == 1)
        m_writer->Polygon(kept.front());
    else
        m_writer->PolyPolygon(kept);
}

void TMetafileEngine::Stroke(const QPolygonF &line)
{
    const TGdiPen pen = Pen();
    if (pen.Style == U_PS_NULL || line.size() < 2)
        return;
    for (const QPolygonF &piece : ClipPolyline(line, m_clip)) {
        if (m_selectedPen != pen) {
            m_writer->SelectPen(pen);
            m_selectedPen = pen;
        }
        m_writer->Polyline(Points(piece));
    }
}
