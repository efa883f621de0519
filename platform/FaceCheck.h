// The type face every picture asks for. Maps and figures name "Arial"; what the system gives for
// that name decides every text width, so the program checks once that it is a face with Arial's
// metrics (Arial itself, or Liberation Sans from the package fonts-liberation2).
#pragma once

#include <QString>

// The family the font system gives for "Arial".
QString ResolvedMapFace();
// Whether a family has Arial's metrics.
bool HasArialMetrics(const QString &family);
// Empty when "Arial" resolves to a face with its metrics, else a warning naming the face found
// and the package that brings the right one.
QString MapFaceWarning();
