#include "platform/MetafileWriter.h"

#include <algorithm>
#include <cmath>

U_COLORREF ColorRef(QRgb c)
{
    return U_RGB(qRed(c), qGreen(c), qBlue(c));
}

qint16 Coord16(double v)
{
    if (!std::isfinite(v))
        return 0;
    return qint16(std::clamp(std::lround(v), -32768L, 32767L));
}
