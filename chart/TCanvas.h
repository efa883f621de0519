// The drawing canvas the chart hands to its event handlers: pen, bold font, move/line and text,
// in chart pixels, over whatever QPainter the chart is drawing into.
#pragma once

#include "util/ColorOps.h"

#include <QByteArray>
#include <QFont>
#include <QPainter>
#include <QPoint>

class TCanvas
{
public:
    explicit TCanvas(QPainter &painter);

    void SetPen(TColor color, int width, Qt::PenStyle style);
    void SetFontBold(bool bold);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Polyline(const QPoint *points, int count);
    void TextOut(int x, int y, const QByteArray &text);
    int TextWidth(const QByteArray &text) const;
    int TextHeight(const QByteArray &text) const;

    QPainter &Painter() { return m_painter; }

private:
    QPainter &m_painter;
    QPoint m_penPos;
};
