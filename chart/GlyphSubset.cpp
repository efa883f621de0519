#include "chart/GlyphSubset.h"

#include <QImage>
#include <QStaticText>
#include <QTextLayout>

#include <cmath>

TTextGlyphs LayOutGlyphs(const QString &text, const QFont &font)
{
    TTextGlyphs glyphs;
    QTextLayout layout(text, font);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (!line.isValid()) {
        layout.endLayout();
        return glyphs;
    }
    line.setLineWidth(1e6);
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    if (runs.size() != 1 || runs[0].glyphIndexes().size() > 64)
        return glyphs;
    const QGlyphRun &run = runs[0];
    glyphs.Font = run.rawFont();
    const QList<quint32> indexes = run.glyphIndexes();
    const QList<QPointF> positions = run.positions();
    if (positions.size() != indexes.size())
        return glyphs;
    for (qsizetype i = 0; i < indexes.size(); ++i) {
        glyphs.Indexes.push_back(indexes[i]);
        glyphs.Positions.push_back(positions[i]);
        // As for a whole text's ink: one pixel more round it for antialiasing at fractional
        // glyph edges.
        glyphs.Inks.push_back(glyphs.Font.boundingRect(indexes[i])
                                  .translated(positions[i])
                                  .toAlignedRect()
                                  .adjusted(-1, -1, 1, 1));
    }
    glyphs.Usable = true;
    return glyphs;
}

void DrawGlyphs(QPainter &painter, const QPointF &topLeft, const TTextGlyphs &glyphs, quint64 which,
                QGlyphRun &run)
{
    quint32 indexes[64];
    QPointF positions[64];
    int n = 0;
    for (std::size_t i = 0; i < glyphs.Indexes.size(); ++i) {
        if ((which >> i) & 1) {
            indexes[n] = glyphs.Indexes[i];
            positions[n++] = glyphs.Positions[i];
        }
    }
    run.setRawFont(glyphs.Font);
    // Read in place for this one drawing.
    run.setRawData(indexes, positions, n);
    painter.drawGlyphRun(topLeft, run);
}

bool GlyphsAgreeWithStaticText(const QFont &font, double scale)
{
    // Texts of the kinds gene names take, at several whole-pixel corners.
    const char *const texts[] = {"GRAS12", "KAVX8", "BRCA1", "WjAV77", "LOC102934", "Tg(AA)",
                                 "ff1",    "Wavy",  "zzz",   "AVA-1",  "T.Y_9",     "iiil"};
    int k = 0;
    for (const char *t : texts) {
        const QString text = QString::fromLatin1(t);
        const TTextGlyphs glyphs = LayOutGlyphs(text, font);
        if (!glyphs.Usable)
            continue;
        const QPointF at(3 + k % 4, 2 + k % 3);
        ++k;
        QStaticText staticText(text);
        staticText.setTextFormat(Qt::PlainText);
        staticText.prepare(QTransform(), font);
        const QSize size(int(std::ceil((glyphs.Inks.back().right() + 16) * scale)),
                         int(std::ceil((font.pixelSize() * 3 + 16) * scale)));
        QImage whole(size, QImage::Format_RGB32), byGlyph(size, QImage::Format_RGB32);
        whole.fill(0xffff80);
        byGlyph.fill(0xffff80);
        {
            QPainter p(&whole);
            p.scale(scale, scale);
            p.setFont(font);
            p.setPen(Qt::black);
            p.drawStaticText(at, staticText);
        }
        {
            QPainter p(&byGlyph);
            p.scale(scale, scale);
            p.setPen(Qt::black);
            QGlyphRun run;
            DrawGlyphs(p, at, glyphs, ~quint64(0), run);
        }
        if (whole != byGlyph)
            return false;
        for (std::size_t g = 0; g < glyphs.Indexes.size(); ++g) {
            QImage one(size, QImage::Format_RGB32);
            one.fill(0xffff80);
            {
                QPainter p(&one);
                p.scale(scale, scale);
                p.setPen(Qt::black);
                QGlyphRun run;
                DrawGlyphs(p, at, glyphs, quint64(1) << g, run);
            }
            const QRect logical = glyphs.Inks[g].translated(at.toPoint());
            const QRect ink(QPoint(int(std::floor(logical.left() * scale)),
                                   int(std::floor(logical.top() * scale))),
                            QPoint(int(std::ceil((logical.right() + 1) * scale)) - 1,
                                   int(std::ceil((logical.bottom() + 1) * scale)) - 1));
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x)
                    if (!ink.contains(x, y) && one.pixel(x, y) != 0xffffff80u)
                        return false;
        }
    }
    return k > 0;
}
