#include "platform/EmfWriter.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

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

std::unique_ptr<TMetafileWriter> CreateEmfWriter(QSize size, double dpi)
{
    return std::make_unique<TEmfWriter>(size, dpi);
}
