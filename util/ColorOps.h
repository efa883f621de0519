// Colours and palettes: TColor is a Windows COLORREF 0x00BBGGRR (red in the low byte), a palette
// an array of them. Builds gradients and picks a palette colour for a scaled value.
#pragma once

#include <QColor>
#include <QtGlobal>

#include <vector>

using TColor = quint32;
using tPalette = std::vector<TColor>;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clGray = 0x808080;

constexpr TColor RGBToColor(int r, int g, int b)
{
    return TColor(r & 0xFF) | (TColor(g & 0xFF) << 8) | (TColor(b & 0xFF) << 16);
}
constexpr int RedOf(TColor c)
{
    return int(c & 0xFF);
}
constexpr int GreenOf(TColor c)
{
    return int((c >> 8) & 0xFF);
}
constexpr int BlueOf(TColor c)
{
    return int((c >> 16) & 0xFF);
}

// The one conversion from a COLORREF to Qt's colour.
inline QColor ToQColor(TColor c)
{
    return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}

// A palette of (steps - 1) * perStep entries interpolated between the colour steps.
// Raises EInvalidGraphicOperation for fewer than two steps or perStep below 1.
tPalette MakeGradient(const std::vector<TColor> &steps, qint32 perStep);

// The palette colour of value scaled between min and max; missingColor for the missing value.
TColor ColorOfValue(const tPalette &palette, TColor missingColor, double value, double min,
                    double max, double missingValue);

// The two palettes of the View menu.
tPalette FirePalette();
tPalette GrayPalette();
