#include "chart/ChartGeometry.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <QFontMetrics>

#include <algorithm>
#include <cmath>

namespace {
constexpr double kMarginTop = 8; // pixels above the plot
constexpr int kTickLength = 4;   // pixels below the axis line
constexpr int kLabelGap = 2;     // between a tick and its label
constexpr int kLabelSpacing = 6; // least room between neighbouring axis labels
constexpr int kMaxTicks = 1000;  // a guard against absurd ranges

// A range the mapping can divide by.
void Widen(double &lo, double &hi)
{
    if (!std::isfinite(lo) || !std::isfinite(hi)) {
        lo = 0;
        hi = 1;
    } else if (lo == hi) {
        lo -= 1;
        hi += 1;
    }
}

// The smallest 1, 2 or 5 times a power of ten that is at least raw.
double NiceStep(double raw)
{
    if (!(raw > 0) || !std::isfinite(raw))
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / power;
    const double nice = f <= 1 ? 1 : f <= 2 ? 2 : f <= 5 ? 5 : 10;
    return nice * power;
}

QString NumberText(double value, double step)
{
    const int decimals = step >= 1 ? 0 : int(std::ceil(-std::log10(step) - 1e-9));
    if (std::abs(value) < step * 1e-6)
        value = 0; // no "-0"
    return QString::number(value, 'f', std::clamp(decimals, 0, 15));
}

// Ticks at the multiples of a nice step inside [lo, hi], at least minSpacing pixels apart.
std::vector<TAxisTick> Ticks(double lo, double hi, double pixels, double minSpacing)
{
    std::vector<TAxisTick> ticks;
    const double a = std::min(lo, hi), b = std::max(lo, hi);
    if (!(pixels > 0) || !(b > a))
        return ticks;
    double step = NiceStep((b - a) * minSpacing / pixels);
    while ((b - a) / step > kMaxTicks)
        step = NiceStep(step * 2);
    const double first = std::ceil(a / step - 1e-9);
    for (int k = 0; k <= kMaxTicks; ++k) {
        const double v = (first + k) * step;
        if (v > b + step * 1e-9)
            break;
        ticks.push_back({v, 0, NumberText(v, step)});
    }
    return ticks;
}
} // namespace

void TChartGeometry::XPixels(const double *values, int *out, std::size_t count) const
{
    std::size_t i = 0;
#if defined(__SSE2__)
    // The same operations in the same order as XPixel and ToPixel, on two values at once.
    const __m128d half = _mm_set1_pd(0.5), left = _mm_set1_pd(AxisLeft);
    const __m128d from = _mm_set1_pd(BottomMin), scale = _mm_set1_pd(XScale);
    const __m128d lo = _mm_set1_pd(-kPixelLimit), hi = _mm_set1_pd(kPixelLimit);
    for (; i + 2 <= count; i += 2) {
        const __m128d p =
            _mm_add_pd(left, _mm_mul_pd(_mm_sub_pd(_mm_loadu_pd(values + i), from), scale));
        const __m128d nan = _mm_cmpunord_pd(p, p);
        const __m128d v = _mm_add_pd(_mm_min_pd(_mm_max_pd(p, lo), hi), half);
        const __m128i whole = _mm_cvttpd_epi32(v);
        const __m128d below = _mm_cmplt_pd(v, _mm_cvtepi32_pd(whole));
        // One 32-bit lane per value from the two 64-bit masks.
        const __m128i down = _mm_shuffle_epi32(_mm_castpd_si128(below), _MM_SHUFFLE(3, 3, 2, 0));
        const __m128i none = _mm_shuffle_epi32(_mm_castpd_si128(nan), _MM_SHUFFLE(3, 3, 2, 0));
        const __m128i pixel = _mm_andnot_si128(none, _mm_add_epi32(whole, down));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(out + i), pixel);
    }
#endif
    for (; i < count; ++i)
        out[i] = XPixel(values[i]);
}

QRect TChartGeometry::PlotRect() const
{
    const int l = int(std::floor(PlotLeft)), t = int(std::floor(PlotTop));
    const int r = int(std::ceil(PlotRight)), b = int(std::ceil(PlotBottom));
    return QRect(l, t, std::max(0, r - l), std::max(0, b - t));
}

QFont ChartCanvasFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    return font;
}

QFont ChartAxisFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    return font;
}

TChartGeometry ComputeChartGeometry(const TChartGeometryInput &in)
{
    TChartGeometry g;
    g.Rect = in.Rect;
    const double w = in.Rect.width(), h = in.Rect.height();
    g.PlotLeft = in.Rect.left() + w * in.MarginLeft / 100.0;
    g.PlotRight = std::max(g.PlotLeft, in.Rect.left() + w - w * in.MarginRight / 100.0);
    g.PlotTop = in.Rect.top() + std::min(kMarginTop, h / 4);
    const double plotWidth = g.PlotRight - g.PlotLeft;
    g.AxisLeft = g.PlotLeft + plotWidth * in.Bottom.StartPosition / 100.0;
    g.AxisRight = g.PlotLeft + plotWidth * in.Bottom.EndPosition / 100.0;

    g.BottomMin = in.Bottom.Minimum;
    g.BottomMax = in.Bottom.Maximum;
    Widen(g.BottomMin, g.BottomMax);
    g.LeftMin = in.Left.Minimum;
    g.LeftMax = in.Left.Maximum;
    Widen(g.LeftMin, g.LeftMax);
    g.XScale = (g.AxisRight - g.AxisLeft) / (g.BottomMax - g.BottomMin);

    // Room under the plot for the bottom axis: its ticks and its turned value labels.
    double labelSpace = 0;
    if (in.Bottom.Visible) {
        const QFontMetrics metrics(ChartAxisFont());
        const double axisPixels = std::abs(g.AxisRight - g.AxisLeft);
        g.BottomTicks =
            Ticks(g.BottomMin, g.BottomMax, axisPixels, metrics.height() + kLabelSpacing);
        int extent = 0;
        for (const TAxisTick &t : g.BottomTicks)
            extent = std::max(extent, metrics.horizontalAdvance(t.Text));
        labelSpace = kTickLength + kLabelGap + extent + kLabelGap;
    }
    g.PlotBottom = std::max(g.PlotTop + 1, in.Rect.top() + h - labelSpace);
    g.YScale = (g.PlotBottom - g.PlotTop) / (g.LeftMax - g.LeftMin);
    for (TAxisTick &t : g.BottomTicks)
        t.Pixel = g.XPixel(t.Value);
    return g;
}

void DrawAxesBehind(QPainter &painter, const TChartGeometry &g, const TChartAxis &bottom)
{
    if (!bottom.GridVisible)
        return;
    painter.save();
    painter.setPen(QPen(QColor(192, 192, 192), 1, Qt::DotLine));
    const int top = TChartGeometry::ToPixel(g.PlotTop);
    const int foot = TChartGeometry::ToPixel(g.PlotBottom) - 1;
    for (const TAxisTick &t : g.BottomTicks)
        painter.drawLine(t.Pixel, top, t.Pixel, foot);
    painter.restore();
}

void DrawAxesInFront(QPainter &painter, const TChartGeometry &g, const TChartAxis &bottom)
{
    painter.save();
    painter.setPen(QPen(Qt::black, 1, Qt::SolidLine));
    painter.setFont(ChartAxisFont());
    const QFontMetrics metrics(ChartAxisFont());
    const int plotLeft = TChartGeometry::ToPixel(g.PlotLeft);
    const int plotRight = TChartGeometry::ToPixel(g.PlotRight) - 1;
    const int axisY = TChartGeometry::ToPixel(g.PlotBottom);
    if (bottom.Visible) {
        painter.drawLine(plotLeft, axisY, plotRight, axisY);
        const int h = metrics.height();
        for (const TAxisTick &t : g.BottomTicks) {
            painter.drawLine(t.Pixel, axisY, t.Pixel, axisY + kTickLength);
            const int w = metrics.horizontalAdvance(t.Text);
            const int from = kTickLength + kLabelGap;
            // Read from bottom to top, ending just under the tick.
            painter.save();
            painter.translate(t.Pixel, axisY);
            painter.rotate(-90);
            painter.drawText(QRect(-(from + w), -h / 2, w, h), Qt::AlignRight | Qt::AlignVCenter,
                             t.Text);
            painter.restore();
        }
    }
    painter.restore();
}
