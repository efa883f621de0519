#include "platform/MetafileClip.h"

#include <algorithm>

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
