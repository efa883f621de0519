// The chart's geometry: where the plot, the axes and their labels lie in a rectangle, and the
// linear mapping between axis values and pixels. Painting, hit testing, the value of a pixel
// and export all take their pixels from here.
#pragma once

#include "chart/TChart.h"

#include <QFont>
#include <QPainter>
#include <QRect>
#include <QString>

#include <algorithm>
#include <cmath>
#include <vector>

struct TChartGeometryInput
{
    QRect Rect;
    int MarginLeft = 0;
    int MarginRight = 0;
    TChartAxis Left;
    TChartAxis Bottom; // with the range to use (the automatic one already filled in)
};

struct TAxisTick
{
    double Value = 0;
    int Pixel = 0;
    QString Text;
};

struct TChartGeometry
{
    QRect Rect;
    // Plot edges in continuous pixel coordinates (pixel i covers [i, i + 1)).
    double PlotLeft = 0, PlotRight = 0, PlotTop = 0, PlotBottom = 0;
    // Ends of the bottom axis inside the plot.
    double AxisLeft = 0, AxisRight = 0;
    double BottomMin = 0, BottomMax = 1;
    double LeftMin = 0, LeftMax = 1;
    double XScale = 0; // pixels per bottom-axis unit
    double YScale = 0; // pixels per left-axis unit
    std::vector<TAxisTick> BottomTicks;

    int XPixel(double value) const { return ToPixel(AxisLeft + (value - BottomMin) * XScale); }
    // out[i] = XPixel(values[i]) for i < count: a row of values mapped in one pass, two at a
    // time where the processor allows.
    void XPixels(const double *values, int *out, std::size_t count) const;
    int YPixel(double value) const { return ToPixel(PlotBottom - (value - LeftMin) * YScale); }
    double XValue(int px) const
    {
        return XScale == 0 ? BottomMin : BottomMin + (px - AxisLeft) / XScale;
    }
    // The pixels inside the plot.
    QRect PlotRect() const;

    // Rounded half up and held far outside any surface. Runs for every point of every drawing,
    // so the floor is a truncation stepped down below zero rather than a library call.
    static int ToPixel(double p)
    {
        if (std::isnan(p))
            return 0;
        const double v = std::clamp(p, -kPixelLimit, kPixelLimit) + 0.5;
        const int i = int(v);
        return i - (v < i);
    }
    static constexpr double kPixelLimit = 1 << 30;
};

TChartGeometry ComputeChartGeometry(const TChartGeometryInput &in);

// The font handlers find on the canvas, and the font of the axis labels.
QFont ChartCanvasFont();
QFont ChartAxisFont();

// The grid, drawn under everything else.
void DrawAxesBehind(QPainter &painter, const TChartGeometry &g, const TChartAxis &bottom);
// The bottom axis line, ticks and labels, drawn over the series (the map's left axis is hidden).
void DrawAxesInFront(QPainter &painter, const TChartGeometry &g, const TChartAxis &bottom);
