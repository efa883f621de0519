#include "platform/TMetafileDevice.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPaintEngine>
#include <QPainterPath>
#include <QScreen>
#include <QTextLayout>
#include <QTransform>
#include <QtEndian>

#include <uemf.h>
#include <uwmf.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

// The GDI objects a record needs selected, in device units of the picture.
struct TGdiPen
{
    quint32 Style = U_PS_SOLID;
    int Width = 1;
    QRgb Color = 0;
    bool operator==(const TGdiPen &) const = default;
};

struct TGdiBrush
{
    bool Null = true;
    QRgb Color = 0;
    bool operator==(const TGdiBrush &) const = default;
};

struct TGdiFont
{
    QString Family;
    int Height = 0;     // character height in pixels (written negated, as GDI expects)
    int Escapement = 0; // tenths of a degree, counter-clockwise
    int Weight = U_FW_NORMAL;
    bool Italic = false;
    bool operator==(const TGdiFont &) const = default;
};

using TPoints = std::vector<U_POINT16>;

U_COLORREF ColorRef(QRgb c)
{
    return U_RGB(qRed(c), qGreen(c), qBlue(c));
}

// Metafile coordinates are 16-bit: anything farther out is pinned to the edge of that range.
qint16 Coord16(double v)
{
    if (!std::isfinite(v))
        return 0;
    return qint16(std::clamp(std::lround(v), -32768L, 32767L));
}

U_RECTL BoundsOf(const U_POINT16 *points, std::size_t count)
{
    U_RECTL r{0, 0, 0, 0};
    if (count == 0)
        return r;
    r.left = r.right = points[0].x;
    r.top = r.bottom = points[0].y;
    for (std::size_t i = 1; i < count; ++i) {
        r.left = std::min<int32_t>(r.left, points[i].x);
        r.right = std::max<int32_t>(r.right, points[i].x);
        r.top = std::min<int32_t>(r.top, points[i].y);
        r.bottom = std::max<int32_t>(r.bottom, points[i].y);
    }
    return r;
}

// Sutherland-Hodgman against each edge of an axis-aligned rectangle.
QPolygonF ClipPolygon(const QPolygonF &polygon, const QRectF &clip)
{
    const QRectF box = polygon.boundingRect();
    if (clip.contains(box))
        return polygon;
    if (!clip.intersects(box) && !(box.width() == 0 || box.height() == 0))
        return {};
    QPolygonF out = polygon;
    if (out.size() > 1 && out.isClosed())
        out.removeLast();
    auto cut = [&out](auto inside, auto cross) {
        QPolygonF next;
        for (qsizetype i = 0; i < out.size(); ++i) {
            const QPointF a = out[i];
            const QPointF b = out[(i + 1) % out.size()];
            if (inside(a)) {
                next.append(a);
                if (!inside(b))
                    next.append(cross(a, b));
            } else if (inside(b)) {
                next.append(cross(a, b));
            }
        }
        out = next;
    };
    auto atX = [](double x) {
        return [x](QPointF a, QPointF b) {
            return QPointF(x, a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x()));
        };
    };
    auto atY = [](double y) {
        return [y](QPointF a, QPointF b) {
            return QPointF(a.x() + (b.x() - a.x()) * (y - a.y()) / (b.y() - a.y()), y);
        };
    };
    const double l = clip.left(), r = clip.right(), t = clip.top(), btm = clip.bottom();
    cut([l](QPointF p) { return p.x() >= l; }, atX(l));
    cut([r](QPointF p) { return p.x() <= r; }, atX(r));
    cut([t](QPointF p) { return p.y() >= t; }, atY(t));
    cut([btm](QPointF p) { return p.y() <= btm; }, atY(btm));
    return out;
}

// Liang-Barsky per segment; touching pieces are joined back into one line.
std::vector<QPolygonF> ClipPolyline(const QPolygonF &line, const QRectF &clip)
{
    std::vector<QPolygonF> pieces;
    if (clip.contains(line.boundingRect())) {
        pieces.push_back(line);
        return pieces;
    }
    for (qsizetype i = 0; i + 1 < line.size(); ++i) {
        const QPointF a = line[i], b = line[i + 1];
        const double dx = b.x() - a.x(), dy = b.y() - a.y();
        double t0 = 0, t1 = 1;
        bool visible = true;
        const double p[4] = {-dx, dx, -dy, dy};
        const double q[4] = {a.x() - clip.left(), clip.right() - a.x(), a.y() - clip.top(),
                             clip.bottom() - a.y()};
        for (int k = 0; k < 4 && visible; ++k) {
            if (p[k] == 0) {
                visible = q[k] >= 0;
            } else {
                const double t = q[k] / p[k];
                if (p[k] < 0)
                    t0 = std::max(t0, t);
                else
                    t1 = std::min(t1, t);
                visible = t0 <= t1;
            }
        }
        if (!visible)
            continue;
        const QPointF from(a.x() + t0 * dx, a.y() + t0 * dy);
        const QPointF to(a.x() + t1 * dx, a.y() + t1 * dy);
        if (!pieces.empty() && pieces.back().last() == from)
            pieces.back().append(to);
        else
            pieces.push_back(QPolygonF{from, to});
    }
    return pieces;
}

// One kind of metafile: the records for what the engine draws. Object creation, selection and
// deletion stay here because the two formats keep their handle tables differently.
class TMetafileWriter
{
public:
    virtual ~TMetafileWriter() = default;
    bool Failed() const { return m_failed; }

    virtual void SelectPen(const TGdiPen &pen) = 0;
    virtual void SelectBrush(const TGdiBrush &brush) = 0;
    virtual void SelectFont(const TGdiFont &font) = 0;
    virtual void SetTextColor(QRgb color) = 0;
    virtual void SetFillMode(quint32 mode) = 0;
    virtual void Polygon(const TPoints &points) = 0;
    virtual void PolyPolygon(const std::vector<TPoints> &polygons) = 0;
    virtual void Polyline(const TPoints &points) = 0;
    // Text with its reference point on the baseline; dx holds each UTF-16 unit's advance. With
    // a clip rectangle the reader cuts the text to it.
    virtual void Text(U_POINT16 at, const QString &text, const std::vector<int> &dx,
                      const std::optional<QRect> &clip) = 0;
    // Ends the metafile and returns its bytes (empty when any record failed).
    virtual QByteArray Finish() = 0;

protected:
    // libUEMF wants a file to write to on finishing; the bytes are taken from its buffer
    // instead, so that the caller decides where (and whether) they land.
    static constexpr const char *kSink = "/dev/null";
    bool m_failed = false;
};

class TWmfWriter final : public TMetafileWriter
{
public:
    TWmfWriter(QSize size, double dpi)
    {
        if (wmf_start(kSink, 65536, 65536, &m_wt) != 0 || wmf_htable_create(128, 128, &m_ht) != 0) {
            m_failed = true;
            return;
        }
        wmf_highwater(U_HIGHWATER_CLEAR);
        // The placeable header's box is the picture's size at 96 units per inch.
        U_PAIRF *inches = U_PAIRF_set(float(size.width() / dpi), float(size.height() / dpi));
        char *header = inches ? U_WMRHEADER_set(inches, 96) : nullptr;
        free(inches);
        if (!header || wmf_header_append(reinterpret_cast<U_METARECORD *>(header), m_wt, 1) != 0)
            m_failed = true;
        // Readers replay the mapping mode before the extents, as GDI needs it.
        Append(U_WMRSETMAPMODE_set(U_MM_ANISOTROPIC));
        Append(U_WMRSETWINDOWORG_set(point16_set(0, 0)));
        Append(U_WMRSETWINDOWEXT_set(point16_set(Coord16(size.width()), Coord16(size.height()))));
        Append(U_WMRSETBKMODE_set(U_TRANSPARENT));
        Append(U_WMRSETTEXTALIGN_set(U_TA_BASELINE));
    }

    ~TWmfWriter() override
    {
        if (m_wt)
            wmf_free(&m_wt);
        if (m_ht)
            wmf_htable_free(&m_ht);
    }

    void SelectPen(const TGdiPen &pen) override
    {
        Replace(&m_pen, wcreatepenindirect_set(&m_newHandle, m_ht,
                                               U_PEN_set(quint16(pen.Style), quint16(pen.Width),
                                                         ColorRef(pen.Color))));
    }

    void SelectBrush(const TGdiBrush &brush) override
    {
        const U_WLOGBRUSH lb =
            U_WLOGBRUSH_set(brush.Null ? U_BS_NULL : U_BS_SOLID, ColorRef(brush.Color), 0);
        Replace(&m_brush, wcreatebrushindirect_set(&m_newHandle, m_ht, lb));
    }

    void SelectFont(const TGdiFont &font) override
    {
        QByteArray face = font.Family.toLatin1().left(31);
        U_FONT *uf =
            U_FONT_set(qint16(-font.Height), 0, qint16(font.Escapement), qint16(font.Escapement),
                       qint16(font.Weight), font.Italic, 0, 0, U_DEFAULT_CHARSET,
                       U_OUT_DEFAULT_PRECIS, 0, U_DEFAULT_QUALITY, U_DEFAULT_PITCH, face.data());
        if (!uf) {
            m_failed = true;
            return;
        }
        Replace(&m_font, wcreatefontindirect_set(&m_newHandle, m_ht, uf));
        free(uf);
    }

    void SetTextColor(QRgb color) override { Append(U_WMRSETTEXTCOLOR_set(ColorRef(color))); }
    void SetFillMode(quint32 mode) override { Append(U_WMRSETPOLYFILLMODE_set(quint16(mode))); }

    void Polygon(const TPoints &points) override
    {
        Append(U_WMRPOLYGON_set(quint16(points.size()), points.data()));
    }

    void PolyPolygon(const std::vector<TPoints> &polygons) override
    {
        std::vector<quint16> counts;
        TPoints all;
        for (const TPoints &p : polygons) {
            counts.push_back(quint16(p.size()));
            all.insert(all.end(), p.begin(), p.end());
        }
        Append(U_WMRPOLYPOLYGON_set(quint16(counts.size()), counts.data(), all.data()));
    }

    void Polyline(const TPoints &points) override
    {
        Append(U_WMRPOLYLINE_set(quint16(points.size()), points.data()));
    }

    void Text(U_POINT16 at, const QString &text, const std::vector<int> &dx,
              const std::optional<QRect> &clip) override
    {
        // WMF text is 8-bit; the map's names are 8-bit strings shown as Latin-1.
        QByteArray bytes = text.toLatin1();
        std::vector<qint16> dx16;
        for (int d : dx)
            dx16.push_back(Coord16(d));
        // The record's rectangle is left, top, right, bottom (as readers take it); libUEMF
        // writes the fields in reverse, so they are handed over reversed.
        U_RECT16 rect{0, 0, 0, 0};
        if (clip) {
            rect.bottom = Coord16(clip->left());
            rect.right = Coord16(clip->top());
            rect.top = Coord16(clip->right() + 1);
            rect.left = Coord16(clip->bottom() + 1);
        }
        Append(U_WMREXTTEXTOUT_set(at, qint16(bytes.size()), clip ? U_ETO_CLIPPED : 0,
                                   bytes.constData(), dx16.data(), rect));
    }

    QByteArray Finish() override
    {
        if (m_failed)
            return {};
        Append(U_WMREOF_set());
        if (m_failed || wmf_finish(m_wt) != 0)
            return {};
        QByteArray bytes(m_wt->buf, qsizetype(m_wt->used));
        // libUEMF counts the placeable header into the metafile's size; the size field covers
        // only the metafile that follows it.
        if (bytes.size() >= U_SIZE_WMRPLACEABLE + U_SIZE_WMRHEADER) {
            const quint32 words = quint32(bytes.size() - U_SIZE_WMRPLACEABLE) / 2;
            qToLittleEndian(words, bytes.data() + U_SIZE_WMRPLACEABLE + 6);
        }
        return bytes;
    }

private:
    void Append(char *record)
    {
        if (!record || wmf_append(reinterpret_cast<U_METARECORD *>(record), m_wt, U_REC_FREE) != 0)
            m_failed = true;
    }

    // Appends the create record already made into m_newHandle, selects it and deletes the
    // object it replaces (no longer selected, so free to go).
    void Replace(uint32_t *current, char *create)
    {
        if (!create) {
            m_failed = true;
            return;
        }
        Append(create);
        Append(wselectobject_set(m_newHandle, m_ht));
        if (*current)
            Append(wdeleteobject_set(current, m_ht));
        *current = m_newHandle;
    }

    WMFTRACK *m_wt = nullptr;
    WMFHANDLES *m_ht = nullptr;
    uint32_t m_newHandle = 0;
    uint32_t m_pen = 0, m_brush = 0, m_font = 0;
};

class TEmfWriter final : public TMetafileWriter
{
public:
    TEmfWriter(QSize size, double dpi)
    {
        if (emf_start(kSink, 65536, 65536, &m_et) != 0 || emf_htable_create(128, 128, &m_ht) != 0) {
            m_failed = true;
            return;
        }
        // Bounds are inclusive device pixels; the frame gives the physical size in 0.01 mm.
        const U_RECTL bounds{0, 0, size.width(), size.height()};
        const U_RECTL frame{0, 0, int32_t(std::lround(size.width() * 2540.0 / dpi)),
                            int32_t(std::lround(size.height() * 2540.0 / dpi))};
        // The reference device is the screen the picture was made on.
        QSize screen(1024, 768);
        if (QGuiApplication::primaryScreen())
            screen = QGuiApplication::primaryScreen()->size();
        const U_SIZEL device = sizel_set(screen.width(), screen.height());
        const U_SIZEL mm = sizel_set(std::max(1L, std::lround(screen.width() * 25.4 / dpi)),
                                     std::max(1L, std::lround(screen.height() * 25.4 / dpi)));
        // The description: application, NUL, picture, NUL, NUL.
        const QString desc =
            QStringLiteral("Ostrinel") + QChar(0) + QStringLiteral("Map") + QChar(0) + QChar(0);
        std::vector<uint16_t> desc16(desc.utf16(), desc.utf16() + desc.size());
        char *header = U_EMRHEADER_set(bounds, frame, nullptr, U_CBSTR(desc16.size()),
                                       desc16.data(), device, mm, 0);
        Append(header);
        Append(U_EMRSETMAPMODE_set(U_MM_TEXT));
        Append(U_EMRSETBKMODE_set(U_TRANSPARENT));
        Append(U_EMRSETTEXTALIGN_set(U_TA_BASELINE));
    }

    ~TEmfWriter() override
    {
        if (m_et)
            emf_free(&m_et);
        if (m_ht)
            emf_htable_free(&m_ht);
    }

    void SelectPen(const TGdiPen &pen) override
    {
        const U_LOGPEN lp = logpen_set(pen.Style, point32_set(pen.Width, 0), ColorRef(pen.Color));
        Replace(&m_pen, createpen_set(&m_newHandle, m_ht, lp));
    }

    void SelectBrush(const TGdiBrush &brush) override
    {
        const U_LOGBRUSH lb =
            logbrush_set(brush.Null ? U_BS_NULL : U_BS_SOLID, ColorRef(brush.Color), 0);
        Replace(&m_brush, createbrushindirect_set(&m_newHandle, m_ht, lb));
    }

    void SelectFont(const TGdiFont &font) override
    {
        uint16_t face[U_LF_FACESIZE] = {};
        const QString family = font.Family.left(U_LF_FACESIZE - 1);
        std::copy(family.utf16(), family.utf16() + family.size(), face);
        U_LOGFONT lf = logfont_set(-font.Height, 0, font.Escapement, font.Escapement, font.Weight,
                                   font.Italic, 0, 0, U_DEFAULT_CHARSET, U_OUT_DEFAULT_PRECIS, 0,
                                   U_DEFAULT_QUALITY, U_DEFAULT_PITCH, face);
        Replace(&m_font, extcreatefontindirectw_set(&m_newHandle, m_ht,
                                                    reinterpret_cast<const char *>(&lf), nullptr));
    }

    void SetTextColor(QRgb color) override { Append(U_EMRSETTEXTCOLOR_set(ColorRef(color))); }
    void SetFillMode(quint32 mode) override { Append(U_EMRSETPOLYFILLMODE_set(mode)); }

    void Polygon(const TPoints &points) override
    {
        Append(U_EMRPOLYGON16_set(BoundsOf(points.data(), points.size()), uint32_t(points.size()),
                                  points.data()));
    }

    void PolyPolygon(const std::vector<TPoints> &polygons) override
    {
        std::vector<uint32_t> counts;
        TPoints all;
        for (const TPoints &p : polygons) {
            counts.push_back(uint32_t(p.size()));
            all.insert(all.end(), p.begin(), p.end());
        }
        Append(U_EMRPOLYPOLYGON16_set(BoundsOf(all.data(), all.size()), uint32_t(counts.size()),
                                      counts.data(), uint32_t(all.size()), all.data()));
    }

    void Polyline(const TPoints &points) override
    {
        Append(U_EMRPOLYLINE16_set(BoundsOf(points.data(), points.size()), uint32_t(points.size()),
                                   points.data()));
    }

    void Text(U_POINT16 at, const QString &text, const std::vector<int> &dx,
              const std::optional<QRect> &clip) override
    {
        std::vector<uint16_t> units(text.utf16(), text.utf16() + text.size());
        std::vector<uint32_t> dx32;
        int width = 0;
        for (int d : dx) {
            dx32.push_back(uint32_t(std::max(0, d)));
            width += std::max(0, d);
        }
        U_RECTL rect{0, 0, 0, 0};
        if (clip)
            rect = U_RECTL{clip->left(), clip->top(), clip->right() + 1, clip->bottom() + 1};
        char *part = emrtext_set(point32_set(at.x, at.y), U_NUM_STR(units.size()), 2, units.data(),
                                 clip ? U_ETO_CLIPPED : U_ETO_NONE, rect, dx32.data());
        if (!part) {
            m_failed = true;
            return;
        }
        const U_RECTL bounds{at.x, at.y - 1, at.x + width, at.y};
        Append(U_EMREXTTEXTOUTW_set(bounds, U_GM_COMPATIBLE, 1.0f, 1.0f,
                                    reinterpret_cast<PU_EMRTEXT>(part)));
        free(part);
    }

    QByteArray Finish() override
    {
        if (m_failed)
            return {};
        // Own objects go only once stock ones have taken their place.
        Append(selectobject_set(U_BLACK_PEN, m_ht));
        Append(selectobject_set(U_WHITE_BRUSH, m_ht));
        Append(selectobject_set(U_SYSTEM_FONT, m_ht));
        for (uint32_t *h : {&m_pen, &m_brush, &m_font})
            if (*h)
                Append(deleteobject_set(h, m_ht));
        Append(U_EMREOF_set(0, nullptr, m_et));
        if (m_failed || emf_finish(m_et, m_ht) != 0)
            return {};
        return QByteArray(m_et->buf, qsizetype(m_et->used));
    }

private:
    void Append(char *record)
    {
        if (!record ||
            emf_append(reinterpret_cast<U_ENHMETARECORD *>(record), m_et, U_REC_FREE) != 0)
            m_failed = true;
    }

    void Replace(uint32_t *current, char *create)
    {
        if (!create) {
            m_failed = true;
            return;
        }
        Append(create);
        Append(selectobject_set(m_newHandle, m_ht));
        if (*current)
            Append(deleteobject_set(current, m_ht));
        *current = m_newHandle;
    }

    EMFTRACK *m_et = nullptr;
    EMFHANDLES *m_ht = nullptr;
    uint32_t m_newHandle = 0;
    uint32_t m_pen = 0, m_brush = 0, m_font = 0;
};

} // namespace

// Turns QPainter calls into metafile records. It takes every painter feature itself (no
// rasterised fallbacks), applies the painter's transform to the points it receives and clips to
// the picture and the painter's clip rectangle itself: readers that fit the drawn content's box
// would otherwise shrink the picture to make room for what lies outside it (labels parked far
// off, a background one pixel larger than the picture).
class TMetafileEngine final : public QPaintEngine
{
public:
    TMetafileEngine() : QPaintEngine(AllFeatures) {}

    bool begin(QPaintDevice *pdev) override
    {
        m_device = static_cast<TMetafileDevice *>(pdev);
        m_device->m_bytes.clear();
        const QSize size = m_device->m_size;
        if (m_device->m_kind == TMetafileKind::Wmf)
            m_writer = std::make_unique<TWmfWriter>(size, m_device->m_dpi);
        else
            m_writer = std::make_unique<TEmfWriter>(size, m_device->m_dpi);
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

    bool end() override
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

    void updateState(const QPaintEngineState &state) override
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

    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}

    void drawPolygon(const QPointF *points, int count, PolygonDrawMode mode) override
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

    void drawPolygon(const QPoint *points, int count, PolygonDrawMode mode) override
    {
        std::vector<QPointF> pts(points, points + count);
        drawPolygon(pts.data(), count, mode);
    }

    void drawLines(const QLineF *lines, int count) override
    {
        for (int i = 0; i < count; ++i)
            Stroke(QPolygonF{m_transform.map(lines[i].p1()), m_transform.map(lines[i].p2())});
    }

    void drawLines(const QLine *lines, int count) override
    {
        for (int i = 0; i < count; ++i) {
            const QLineF line(lines[i]);
            drawLines(&line, 1);
        }
    }

    void drawRects(const QRectF *rects, int count) override
    {
        for (int i = 0; i < count; ++i) {
            const QRectF &r = rects[i];
            const QPointF corners[4] = {r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()};
            drawPolygon(corners, 4, OddEvenMode);
        }
    }

    void drawRects(const QRect *rects, int count) override
    {
        for (int i = 0; i < count; ++i) {
            const QRectF r(rects[i]);
            drawRects(&r, 1);
        }
    }

    void drawPath(const QPainterPath &path) override
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

    void drawTextItem(const QPointF &p, const QTextItem &item) override
    {
        const QString text = item.text();
        if (text.isEmpty())
            return;
        QFont font = item.font();
        // Fonts often carry a point size: the device's resolution turns it into pixels.
        const double pixels = font.pixelSize() > 0
                                  ? font.pixelSize()
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
                      text.mid(first, i - first),
                      std::vector<int>(dx.begin() + first, dx.begin() + i), gdi,
                      inside ? std::nullopt : std::optional<QRect>(m_clip.toAlignedRect()));
        }
    }

    Type type() const override { return User; }

private:
    void WriteText(const QPointF &at, const QString &text, const std::vector<int> &dx,
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

    static TPoints Points(const QPolygonF &polygon)
    {
        TPoints out;
        out.reserve(std::size_t(polygon.size()));
        for (const QPointF &p : polygon)
            out.push_back(point16_set(Coord16(p.x()), Coord16(p.y())));
        return out;
    }

    TGdiPen Pen() const
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

    TGdiBrush Brush() const
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

    void Use(const TGdiPen &pen, const TGdiBrush &brush, quint32 fillMode)
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

    // Polygons in picture pixels, each cut to the clip rectangle.
    void Fill(const std::vector<QPolygonF> &polygons, const TGdiPen &pen, const TGdiBrush &brush,
              quint32 fillMode)
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

    // A line in picture pixels, cut to the clip rectangle (possibly into several pieces).
    void Stroke(const QPolygonF &line)
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

TMetafileDevice::TMetafileDevice(TMetafileKind kind, QSize size, double dpi)
    : m_kind(kind), m_size(size.expandedTo(QSize(1, 1))), m_dpi(dpi > 0 ? dpi : ScreenDpi()),
      m_engine(std::make_unique<TMetafileEngine>())
{
}

TMetafileDevice::~TMetafileDevice() = default;

QPaintEngine *TMetafileDevice::paintEngine() const
{
    return m_engine.get();
}

double TMetafileDevice::ScreenDpi()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        return screen->logicalDotsPerInchY();
    return 96.0;
}

int TMetafileDevice::metric(PaintDeviceMetric metric) const
{
    switch (metric) {
    case PdmWidth:
        return m_size.width();
    case PdmHeight:
        return m_size.height();
    case PdmWidthMM:
        return int(std::lround(m_size.width() * 25.4 / m_dpi));
    case PdmHeightMM:
        return int(std::lround(m_size.height() * 25.4 / m_dpi));
    case PdmNumColors:
        return 0x1000000;
    case PdmDepth:
        return 24;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return int(std::lround(m_dpi));
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return int(devicePixelRatioFScale());
    }
    return 0;
}
