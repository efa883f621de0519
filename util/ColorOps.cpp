#include "util/ColorOps.h"

#include "util/CommonDecl.h"

#include <cmath>
#include <limits>

namespace {
// A COLORREF with its top bit set is a system colour, not an RGB value: its channels are
// meaningless here, so it is refused like any value outside its range.
void CheckPlainRgb(TColor c)
{
    if (c & 0x80000000u)
        throw ERangeError();
}

// Truncation toward zero of j * d + c0; the sum is formed in extended precision so that
// entries that fall exactly on an integer (fire entry 80 = 0xCC) are not lost to a rounding
// error of the double d.
int Channel(qint32 j, double d, int c0)
{
    const long double v = static_cast<long double>(j) * static_cast<long double>(d) + c0;
    return int(std::trunc(v));
}
} // namespace

tPalette MakeGradient(const std::vector<TColor> &steps, qint32 perStep)
{
    if (steps.size() < 2)
        throw EInvalidGraphicOperation(
            QStringLiteral("Color gradient nees at least two colour steps."));
    if (perStep < 1)
        throw EInvalidGraphicOperation(
            QStringLiteral("Color gradient needs at least one colour per step, not %1.")
                .arg(perStep));
    for (TColor c : steps)
        CheckPlainRgb(c);

    const qint32 segments = qint32(steps.size()) - 1;
    const qint32 length = CheckedMul(segments, perStep);
    tPalette palette(std::size_t(length), 0);

    for (qint32 s = 0; s < segments; ++s) {
        const TColor c0 = steps[std::size_t(s)];
        const TColor c1 = steps[std::size_t(s) + 1];
        const double dr = double(RedOf(c1) - RedOf(c0)) / perStep;
        const double dg = double(GreenOf(c1) - GreenOf(c0)) / perStep;
        const double db = double(BlueOf(c1) - BlueOf(c0)) / perStep;
        TColor *out = palette.data() + qint64(s) * perStep;
        for (qint32 j = 0; j < perStep; ++j)
            out[j] = RGBToColor(Channel(j, dr, RedOf(c0)), Channel(j, dg, GreenOf(c0)),
                                Channel(j, db, BlueOf(c0)));
    }
    return palette;
}

TColor ColorOfValue(const tPalette &palette, TColor missingColor, double value, double min,
                    double max, double missingValue)
{
    if (std::fabs(value - missingValue) < 0.000001)
        return missingColor;
    if (max == min)
        return At(palette, 0);
    // Extended precision throughout, rounding included: a double ratio moves exact halves of
    // the fire palette (3 of 94 is 25.5, entry 26, not 25.49999... and entry 25), and rounding
    // the extended x through a double would turn 229.4999... (27 of 94) into an even 230.
    const long double ratio =
        (static_cast<long double>(value) - min) / (static_cast<long double>(max) - min);
    const long double x = static_cast<long double>(qint64(palette.size()) - 1) * ratio;
    if (std::isnan(x))
        throw EInvalidOp();
    const long double rounded = std::nearbyint(x);
    if (rounded < std::numeric_limits<qint32>::min() ||
        rounded > std::numeric_limits<qint32>::max())
        throw ERangeError();
    const qint32 i = qint32(rounded);
    if (i < 0)
        return At(palette, 0);
    if (qint64(i) > qint64(palette.size()) - 1)
        return At(palette, qint64(palette.size()) - 1);
    return palette[std::size_t(i)];
}

tPalette FirePalette()
{
    return MakeGradient({0xFFFFFF, 0x00FFFF, 0x0000FF}, 400);
}

tPalette GrayPalette()
{
    return MakeGradient({0xFFFFFF, 0x000000}, 255);
}
