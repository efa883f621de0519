// What a metafile writer is asked to record: the GDI pen, brush and font a record needs
// selected, and the interface both metafile kinds (WMF, EMF) implement with libUEMF.
#pragma once

#include <QByteArray>
#include <QRect>
#include <QRgb>
#include <QString>

#include <uemf.h>

#include <optional>
#include <vector>

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

// The GDI colour of a Qt colour; GDI records carry no alpha.
U_COLORREF ColorRef(QRgb c);
// Metafile coordinates are 16-bit: anything farther out is pinned to the edge of that range.
qint16 Coord16(double v);

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
