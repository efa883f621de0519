// A drawing step remembered by the pixels it left: the same shapes drawn over the same pixels
// give the same pixels, so a step repeated with the same inputs over what it found before can
// copy back what it left instead of drawing again. Only on an exact raster image.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QPen>
#include <QRect>

#include <utility>
#include <vector>

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

// Lines of one pen drawn by the painter once and copied where the same line recurs, on a scaled
// image (ScaledPixels, reached through a whole-pixel shift): an aliased line of an opaque pen
// leaves the same pixels wherever the same device fraction puts its ends. Each stamp is drawn by
// QPainter itself into a small image at the same scale, pen and sub-pixel phase; a self-check
// compares stamps with the painter before any is used. Stamps are keyed by all they depend on
// (the line's run, its phase); they are dropped when the scale or the pen changes, or when
// too many were made.
class TLineStamps
{
public:
    // Ready to copy lines of pen through painter in its present state (clip, hints, mode).
    bool Begin(QPainter &painter, const QPen &pen);
    // Copies the line p-q (logical) into the image when it lies wholly inside the clip; false
    // when the caller has to draw it.
    bool Line(const QPoint &p, const QPoint &q);

private:
    struct TStamp
    {
        bool Usable = false;
        QPoint Origin;            // stamp pixel (0, 0) relative to the line's device anchor
        QRect Bounds;             // of the painted pixels, in stamp pixels
        std::vector<QPoint> Runs; // per run: its first pixel
        std::vector<int> RunLengths;
    };
    TStamp Make(const QPoint &p, const QPoint &q, int anchorX, int anchorY) const;
    bool AgreesWithPainter();

    QImage *m_image = nullptr;
    double m_scale = 0;
    QPointF m_offset; // device pixels of logical (0, 0)
    QRect m_inside;   // device pixels wholly inside the clip and the image
    QPen m_pen;
    quint32 m_color = 0;
    QHash<quint64, TStamp> m_stamps;
    // Per scale and pen checked: whether stamps agree with the painter.
    std::vector<std::pair<QByteArray, bool>> m_checked;
};
