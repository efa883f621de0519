// The paint engine behind the metafile device: what QPainter draws, in picture pixels, cut to the
// clip and handed to the metafile writer with the pen, brush and font it needs selected.
#pragma once

#include "platform/MetafileWriter.h"

#include <QBrush>
#include <QFont>
#include <QPaintEngine>
#include <QPen>
#include <QRectF>
#include <QTransform>

#include <memory>
#include <optional>
#include <vector>

class TMetafileDevice;

// Turns QPainter calls into metafile records. It takes every painter feature itself (no
// rasterised fallbacks), applies the painter's transform to the points it receives and clips to
// the picture and the painter's clip rectangle itself: readers that fit the drawn content's box
// would otherwise shrink the picture to make room for what lies outside it (labels parked far
// off, a background one pixel larger than the picture).
class TMetafileEngine final : public QPaintEngine
{
public:
    TMetafileEngine() : QPaintEngine(AllFeatures) {}

    bool begin(QPaintDevice *pdev) override;
    bool end() override;
    void updateState(const QPaintEngineState &state) override;
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
    void drawPolygon(const QPointF *points, int count, PolygonDrawMode mode) override;
    void drawPolygon(const QPoint *points, int count, PolygonDrawMode mode) override;
    void drawLines(const QLineF *lines, int count) override;
    void drawLines(const QLine *lines, int count) override;
    void drawRects(const QRectF *rects, int count) override;
    void drawRects(const QRect *rects, int count) override;
    void drawPath(const QPainterPath &path) override;
    void drawTextItem(const QPointF &p, const QTextItem &item) override;
    Type type() const override { return User; }

private:
    void WriteText(const QPointF &at, const QString &text, const std::vector<int> &dx,
                   const TGdiFont &font, const std::optional<QRect> &clip);
    static TPoints Points(const QPolygonF &polygon);
    TGdiPen Pen() const;
    TGdiBrush Brush() const;
    void Use(const TGdiPen &pen, const TGdiBrush &brush, quint32 fillMode);
    // Polygons in picture pixels, each cut to the clip rectangle.
    void Fill(const std::vector<QPolygonF> &polygons, const TGdiPen &pen, const TGdiBrush &brush,
              quint32 fillMode);
    // A line in picture pixels, cut to the clip rectangle (possibly into several pieces).
    void Stroke(const QPolygonF &line);

    TMetafileDevice *m_device = nullptr;
    std::unique_ptr<TMetafileWriter> m_writer;
    QPen m_pen;
    QBrush m_brush;
    QFont m_font;
    QTransform m_transform;
    QRectF m_picture;
    QRectF m_clip;
    std::optional<TGdiPen> m_selectedPen;
    std::optional<TGdiBrush> m_selectedBrush;
    std::optional<TGdiFont> m_selectedFont;
    std::optional<QRgb> m_textColor;
    std::optional<quint32> m_fillMode;
};
