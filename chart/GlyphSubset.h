// A label text as its glyphs, so that the glyphs of a text that later boxes hide can be left
// out: each glyph lands on the pixels it would as part of the whole text, and only those.
#pragma once

#include <QFont>
#include <QGlyphRun>
#include <QPainter>
#include <QPointF>
#include <QRawFont>
#include <QRect>
#include <QString>

#include <vector>

struct TTextGlyphs
{
    // False when the text does not come out as one run of at most 64 glyphs in one font: it is
    // then only ever drawn whole.
    bool Usable = false;
    QRawFont Font;
    std::vector<quint32> Indexes;
    std::vector<QPointF> Positions; // from the text's top-left corner
    std::vector<QRect> Inks;        // every pixel each glyph can touch, from the same corner
};

TTextGlyphs LayOutGlyphs(const QString &text, const QFont &font);

// Draws the glyphs whose bit is set in which, with the painter's pen, as drawStaticText at
// topLeft draws them within the whole text. run is scratch, reused from one call to the next.
void DrawGlyphs(QPainter &painter, const QPointF &topLeft, const TTextGlyphs &glyphs, quint64 which,
                QGlyphRun &run);

// Whether, in this process and font, drawn through this scale, a text drawn glyph by glyph
// gives the pixels that drawStaticText gives, and each glyph stays within the device pixels its
// scaled ink touches: checked on a fixed set of texts.
bool GlyphsAgreeWithStaticText(const QFont &font, double scale);
