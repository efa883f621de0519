#include "platform/WmfWriter.h"

#include <QtEndian>

#include <uwmf.h>

#include <cstdlib>

namespace {

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

} // namespace

std::unique_ptr<TMetafileWriter> CreateWmfWriter(QSize size, double dpi)
{
    return std::make_unique<TWmfWriter>(size, dpi);
}
