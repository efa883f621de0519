// The clipping a metafile needs done before its records are written: readers fit their picture
// to everything a record reaches, so polygons and lines are cut to the clip rectangle here.
#pragma once

#include <QPolygonF>
#include <QRectF>

#include <vector>

// The part of a closed polygon inside the rectangle; empty when nothing of it lies inside.
QPolygonF ClipPolygon(const QPolygonF &polygon, const QRectF &clip);
// The pieces of an open line inside the rectangle, in the line's order.
std::vector<QPolygonF> ClipPolyline(const QPolygonF &line, const QRectF &clip);
