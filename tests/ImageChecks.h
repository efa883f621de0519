// Questions the tests ask of a drawn or decoded picture.
#pragma once

#include <QImage>

// True when some pixel is not grey: on a map, only the palettes' colours are not.
inline bool HasColour(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) != qGreen(p) || qGreen(p) != qBlue(p))
                return true;
        }
    return false;
}
