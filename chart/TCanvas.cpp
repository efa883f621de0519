#include "chart/TCanvas.h"

#include "util/CommonDecl.h"

#include <QFontMetrics>
#include <QPen>

TCanvas::TCanvas(QPainter &painter) : m_painter(painter) {}

void TCanvas::SetPen(TColor color, int width, Qt::PenStyle style)
{
    QPen pen(ToQColor(color));
    pen.setWidth(width);
    pen.setStyle(style);
    m_painter.setPen(pen);
}

void TCanvas::SetFontBold(bool bold)
{
    QFont font = m_painter.font();
    font.setBold(bold);
    m_painter.setFont(font);
}

void TCanvas::MoveTo(int x, int y)
{
    m_penPos = QPoint(x, y);
}

void TCanvas::LineTo(int x, int y)
{
    const QPoint to(x, y);
    m_painter.drawLine(m_penPos, to);
    m_penPos = to;
}

void TCanvas::Polyline(const QPoint *points, int count)
{
    if (count < 2)
        return;
    m_painter.drawPolyline(points, count);
    m_penPos = points[count - 1];
}

void TCanvas::TextOut(int x, int y, const QByteArray &text)
{
    // Text keeps the canvas's font colour (black), whatever line pen is current.
    const QPen pen = m_painter.pen();
    m_painter.setPen(QPen(Qt::black));
    const QFontMetrics metrics = m_painter.fontMetrics();
    m_painter.drawText(QPoint(x, y + metrics.ascent()), DisplayText(text));
    m_painter.setPen(pen);
}

int TCanvas::TextWidth(const QByteArray &text) const
{
    return m_painter.fontMetrics().horizontalAdvance(DisplayText(text));
}

int TCanvas::TextHeight(const QByteArray & /*text*/) const
{
    return m_painter.fontMetrics().height();
}
