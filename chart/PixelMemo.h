// A drawing step remembered by the pixels it left: the same shapes drawn over the same pixels
// give the same pixels, so a step repeated with the same inputs over what it found before can
// copy back what it left instead of drawing again. Only on an exact raster image.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>

class QPainter;

class TPixelMemo
{
public:
    // Before the step, which draws nothing outside box (logical) and whose inputs key says in
    // full: when the last step had the same key and the same painter state and found the
    // pixels under box as they are now, puts back what it left and answers true; the step
    // need not draw. Otherwise answers false, and the step draws and then calls Keep.
    bool Replay(QPainter &painter, const QRect &box, QByteArray key);
    // After a step Replay answered false for: remembers what it found and what it left.
    void Keep(QPainter &painter);

private:
    QByteArray m_key, m_nextKey;
    QRect m_area, m_nextArea; // device pixels
    QImage m_before, m_after, m_nextBefore;
};
