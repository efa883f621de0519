// Drawing the chart into an image: arrow geometry and colours, axis mapping, the template's
// exclusion, the event order, label placements, hit testing and the repaint guard.
#include "chart/ChartGeometry.h"
#include "chart/TChart.h"
#include "util/CommonDecl.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

#include <limits>
#include <random>

namespace {
const QRect kRect(0, 0, 600, 400);
constexpr TColor kArrow = 0x0000FF;   // red
constexpr TColor kOutline = 0xFF0000; // blue

// A chart like the map's: an inactive template and a fixed left range of two rows.
void Setup(TChart &chart)
{
    chart.Series(0).Active = false;
    chart.SetAxisRange(chart.LeftAxis, -3, 0);
}

TArrowSeries &AddRow(TChart &chart)
{
    TArrowSeries &s = chart.AddSeries(chart.CreateArrowSeries());
    s.Pointer.Pen.Visible = false;
    s.SeriesColor = kArrow;
    return s;
}

QImage Draw(TChart &chart, const QRect &rect = kRect)
{
    QImage image(rect.size(), QImage::Format_RGB32);
    image.fill(Qt::gray);
    QPainter painter(&image);
    chart.Draw(painter, rect);
    return image;
}

TColor At(const QImage &image, int x, int y)
{
    const QRgb c = image.pixel(x, y);
    return RGBToColor(qRed(c), qGreen(c), qBlue(c));
}

// Pixels of the given colour in column x and in row y.
int ColumnCount(const QImage &image, int x, TColor color)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        n += At(image, x, y) == color;
    return n;
}

int RowCount(const QImage &image, int y, TColor color)
{
    int n = 0;
    for (int x = 0; x < image.width(); ++x)
        n += At(image, x, y) == color;
    return n;
}
} // namespace

class TestChartDrawing : public QObject
{
    Q_OBJECT

private slots:
    void valuesMapAsOneByOne();
    void arrowShaftAndHead();
    void shortArrowIsAllHead();
    void outline();
    void zeroLengthDrawsNothing();
    void pointColours_data();
    void pointColours();
    void bottomMapping_data();
    void bottomMapping();
    void leftMapping();
    void templateExcluded();
    void userRangeKept();
    void eventOrder();
    void placementsCreatedOnFirstDraw();
    void fixedPlacementHonoured();
    void labelBox();
    void hitTest_data();
    void hitTest();
    void emptyChart();
    void leftOutWorkChangesNoPixel_data();
    void leftOutWorkChangesNoPixel();
    void exportRectangle();
    void handlerErrorLeavesChartUsable();
    void rebuiltRowsRefreshRange();
};

void TestChartDrawing::arrowShaftAndHead()
{
    TChart chart;
    Setup(chart);
    chart.SetAxisRange(chart.BottomAxis, 0, 100);
    TArrowSeries &s = AddRow(chart);
    s.SetArrowWidth(22);
    s.SetArrowHeight(10);
    s.AppendArrow(10, -1, 90, -1, "", 0);
    const QImage image = Draw(chart);
    const int x0 = chart.ValueToPixel(chart.BottomAxis, 10);
    const int x1 = chart.ValueToPixel(chart.BottomAxis, 90);
    const int y = chart.ValueToPixel(chart.LeftAxis, -1);

    // The shaft: half of ArrowWidth thick, centred on the row.
    const int mid = (x0 + x1) / 2;
    QCOMPARE(ColumnCount(image, mid, kArrow), 11);
    QCOMPARE(At(image, mid, y - 5), kArrow);
    QCOMPARE(At(image, mid, y + 5), kArrow);
    QVERIFY(At(image, mid, y - 6) != kArrow);
    QVERIFY(At(image, mid, y + 6) != kArrow);
    // From the start pixel to the end pixel.
    QCOMPARE(At(image, x0, y), kArrow);
    QVERIFY(At(image, x0 - 1, y) != kArrow);
    QVERIFY(At(image, x1 + 1, y) != kArrow);
    QVERIFY(At(image, x1 + 1, y - 1) != kArrow);

    // The head: ArrowWidth across at its base, ArrowHeight long, narrowing to the end.
    int widest = 0, headStart = 0, tip = 0;
    for (int x = x1 - 20; x <= x1 + 2; ++x) {
        const int n = ColumnCount(image, x, kArrow);
        widest = std::max(widest, n);
        if (n > 11 && headStart == 0)
            headStart = x;
        if (n > 0)
            tip = x;
        if (headStart && x > headStart && x <= x1)
            QVERIFY2(n < ColumnCount(image, x - 1, kArrow), "the head narrows toward its tip");
    }
    QVERIFY2(widest >= 21 && widest <= 22, qPrintable(QString::number(widest)));
    QCOMPARE(tip - headStart + 1, 10);
    QCOMPARE(tip, x1);
    QCOMPARE(ColumnCount(image, x1 - 12, kArrow), 11); // shaft again before the head
}

void TestChartDrawing::shortArrowIsAllHead()
{
    TChart chart;
    Setup(chart);
    chart.SetAxisRange(chart.BottomAxis, 0, 100);
    TArrowSeries &s = AddRow(chart);
    s.SetArrowWidth(22);
    s.SetArrowHeight(100); // longer than the arrow: the head is the whole arrow
    s.AppendArrow(40, -1, 50, -1, "", 0);
    const QImage image = Draw(chart);
    const int x0 = chart.ValueToPixel(chart.BottomAxis, 40);
    const int x1 = chart.ValueToPixel(chart.BottomAxis, 50);
    const int base = ColumnCount(image, x0, kArrow);
    QVERIFY2(base >= 21 && base <= 22, qPrintable(QString::number(base)));
    QVERIFY(ColumnCount(image, (x0 + x1) / 2, kArrow) < base);
    QVERIFY(ColumnCount(image, x1, kArrow) <= 3);
}

void TestChartDrawing::outline()
{
    TChart chart;
    Setup(chart);
    chart.SetAxisRange(chart.BottomAxis, 0, 100);
    TArrowSeries &s = AddRow(chart);
    s.SetArrowWidth(22);
    s.SetArrowHeight(10);
    s.Pointer.Pen.Visible = true;
    s.Pointer.Pen.Color = kOutline;
    s.AppendArrow(10, -1, 90, -1, "", 0);
    const QImage image = Draw(chart);
    const int mid =
        (chart.ValueToPixel(chart.BottomAxis, 10) + chart.ValueToPixel(chart.BottomAxis, 90)) / 2;
    const int y = chart.ValueToPixel(chart.LeftAxis, -1);
    QCOMPARE(At(image, mid, y), kArrow);
    QVERIFY(ColumnCount(image, mid, kOutline) >= 2); // top and bottom edge
    int top = y;
    while (At(image, mid, top - 1) == kArrow || At(image, mid, top - 1) == kOutline)
        --top;
    QCOMPARE(At(image, mid, top), kOutline);

    // Hidden pen: no outline colour anywhere.
    s.Pointer.Pen.Visible = false;
    const QImage plain = Draw(chart);
    QCOMPARE(ColumnCount(plain, mid, kOutline), 0);
}

void TestChartDrawing::zeroLengthDrawsNothing()
{
    TChart chart;
    Setup(chart);
    chart.SetAxisRange(chart.BottomAxis, 0, 100);
    AddRow(chart);
    const QImage empty = Draw(chart);
    TArrowSeries &s = chart.Series(1);
    s.Pointer.Pen.Visible = true;
    s.AppendArrow(50, -1, 50, -1, "", 0);
    QCOMPARE(Draw(chart), empty);
    s.AppendArrow(60, -1, 70, -1, "", 0);
    QVERIFY(Draw(chart) != empty);
}

void TestChartDrawing::pointColours_data()
{
    QTest::addColumn<bool>("eachPoint");
    QTest::newRow("each point its own") << true;
    QTest::newRow("series colour") << false;
}

void TestChartDrawing::pointColours()
{
    QFETCH(bool, eachPoint);
    TChart chart;
    Setup(chart);
    chart.SetAxisRange(chart.BottomAxis, 0, 100);
    TArrowSeries &s = AddRow(chart);
    s.ColorEachPoint = eachPoint;
    s.SeriesColor = 0x00FF00;
    s.AppendArrow(10, -1, 40, -1, "", 0x0000FF);
    s.AppendArrow(60, -2, 90, -2, "", RGBToColor(10, 20, 30));
    const QImage image = Draw(chart);
    const int y1 = chart.ValueToPixel(chart.LeftAxis, -1);
    const int y2 = chart.ValueToPixel(chart.LeftAxis, -2);
    const int xa = chart.ValueToPixel(chart.BottomAxis, 25);
    const int xb = chart.ValueToPixel(chart.BottomAxis, 75);
    QCOMPARE(At(image, xa, y1), eachPoint ? TColor(0x0000FF) : TColor(0x00FF00));
    QCOMPARE(At(image, xb, y2), eachPoint ? RGBToColor(10, 20, 30) : TColor(0x00FF00));
}

void TestChartDrawing::bottomMapping_data()
{
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::newRow("1000 wide") << QRect(0, 0, 1000, 300) << 0.0 << 1000.0;
    QTest::newRow("shifted rect") << QRect(50, 20, 500, 300) << -200.0 << 300.0;
    QTest::newRow("genome scale") << QRect(0, 0, 1900, 900) << 0.0 << 5e7;
}

void TestChartDrawing::bottomMapping()
{
    QFETCH(QRect, rect);
    QFETCH(double, lo);
    QFETCH(double, hi);
    TChart chart;
    Setup(chart);
    chart.SetChartRect(rect);
    chart.SetAxisRange(chart.BottomAxis, lo, hi);
    // MarginLeft 10 percent; the axis spans 2 to 98 percent of the rest.
    const double plotLeft = rect.left() + rect.width() * 0.10;
    const double plotWidth = rect.width() * 0.90;
    const int left = qRound(plotLeft + plotWidth * 0.02);
    const int right = qRound(plotLeft + plotWidth * 0.98);
    QCOMPARE(chart.ValueToPixel(chart.BottomAxis, lo), left);
    QCOMPARE(chart.ValueToPixel(chart.BottomAxis, hi), right);
    QCOMPARE(chart.ValueToPixel(chart.BottomAxis, (lo + hi) / 2), qRound((left + right) / 2.0));
    const TArrowSeries &any = chart.Series(0);
    const double perPixel = (hi - lo) / (right - left);
    for (double v : {lo, hi, lo + (hi - lo) * 0.37}) {
        const int px = chart.ValueToPixel(chart.BottomAxis, v);
        QVERIFY(std::abs(chart.PixelToValue(any, px) - v) <= perPixel / 2 + 1e-9);
    }
}

void TestChartDrawing::leftMapping()
{
    TChart chart;
    Setup(chart);
    chart.SetChartRect(kRect);
    const int top = chart.ValueToPixel(chart.LeftAxis, 0);
    const int bottom = chart.ValueToPixel(chart.LeftAxis, -3);
    QVERIFY(top < bottom); // the maximum at the top
    QVERIFY(top >= 0 && bottom < kRect.height());
    const int row1 = chart.ValueToPixel(chart.LeftAxis, -1);
    const int row2 = chart.ValueToPixel(chart.LeftAxis, -2);
    QVERIFY(std::abs((row2 - row1) - (row1 - top)) <= 1);
    QVERIFY(std::abs((bottom - row2) - (row1 - top)) <= 1);
    // Room under the plot for the turned axis labels.
    QVERIFY(kRect.height() - bottom > 10);
}

void TestChartDrawing::templateExcluded()
{
    TChart chart;
    Setup(chart);
    TArrowSeries &t = chart.Series(0);
    t.SeriesColor = 0x00FF00;
    t.AppendArrow(-5000, -1, 9000, -1, "T", 0x00FF00);
    TArrowSeries &s = AddRow(chart);
    s.AppendArrow(100, -1, 200, -2, "A", 0);
    s.AppendArrow(150, -1, 400, -1, "B", 0);
    const QImage image = Draw(chart);
    QCOMPARE(chart.BottomAxisMinimum(), 100.0);
    QCOMPARE(chart.BottomAxis.Maximum, 400.0); // the end X counts too
    for (int y = 0; y < image.height(); ++y)
        QCOMPARE(RowCount(image, y, 0x00FF00), 0);

    // Made active, it is drawn and widens the range.
    t.Active = true;
    Draw(chart);
    QCOMPARE(chart.BottomAxisMinimum(), -5000.0);
    QCOMPARE(chart.BottomAxis.Maximum, 9000.0);
}

void TestChartDrawing::userRangeKept()
{
    TChart chart;
    Setup(chart);
    TArrowSeries &s = AddRow(chart);
    s.AppendArrow(0, -1, 1000, -1, "", 0);
    Draw(chart);
    QCOMPARE(chart.BottomAxisMinimum(), 0.0);
    chart.ZoomTo(200, 300);
    QVERIFY(chart.Zoomed());
    s.AppendArrow(-500, -1, 100, -1, "", 0); // new data does not move the user's range
    Draw(chart);
    QCOMPARE(chart.BottomAxisMinimum(), 200.0);
    chart.ScrollBy(50);
    Draw(chart);
    QCOMPARE(chart.BottomAxisMinimum(), 250.0);
    QCOMPARE(chart.BottomAxis.Maximum, 350.0);
    chart.UndoZoom();
    QVERIFY(!chart.Zoomed());
    Draw(chart);
    QCOMPARE(chart.BottomAxisMinimum(), -500.0);
}

void TestChartDrawing::eventOrder()
{
    TChart chart;
    Setup(chart);
    chart.SetAxisRange(chart.BottomAxis, 0, 100);
    TArrowSeries &s = AddRow(chart);
    s.SetArrowWidth(20);
    s.AppendArrow(20, -1, 80, -1, "", 0);
    QImage image(kRect.size(), QImage::Format_RGB32);
    QStringList events;
    int x = 0, y = 0;
    chart.OnBeforeDrawSeries = [&](TChart &c, TCanvas &canvas) {
        events << "before";
        x = c.ValueToPixel(c.BottomAxis, 50);
        y = c.ValueToPixel(c.LeftAxis, -1);
        // Background done, series not yet.
        QCOMPARE(At(image, x, y), clWhite);
        canvas.SetPen(0x00FF00, 1, Qt::SolidLine);
        canvas.MoveTo(x - 250, y);
        canvas.LineTo(x + 250, y);
    };
    chart.OnAfterDraw = [&](TChart &, TCanvas *canvas) {
        events << "after";
        QVERIFY(canvas != nullptr);
        QCOMPARE(At(image, x, y), kArrow); // the series covered the early line
        canvas->SetPen(0xFF0000, 1, Qt::SolidLine);
        canvas->MoveTo(x, y - 50);
        canvas->LineTo(x, y + 50);
    };
    {
        QPainter painter(&image);
        chart.Draw(painter, kRect);
    }
    QCOMPARE(events, QStringList({"before", "after"}));
    QCOMPARE(At(image, x, y), TColor(0xFF0000)); // the late line stays on top
    QCOMPARE(At(image, chart.ValueToPixel(chart.BottomAxis, 10), y), TColor(0x00FF00));
}

void TestChartDrawing::placementsCreatedOnFirstDraw()
{
    TChart chart;
    Setup(chart);
    chart.SetAxisRange(chart.BottomAxis, 0, 100);
    TArrowSeries &s = AddRow(chart);
    s.Marks.Visible = true;
    s.Marks.ArrowLength = 10;
    s.AppendArrow(30, -1, 60, -1, "GENE", 0);
    s.AppendArrow(70, -1, 80, -1, "", 0);
    QVERIFY(s.Position(0) == nullptr);
    Draw(chart);
    const TSeriesMarkPosition *p = s.Position(0);
    QVERIFY(p != nullptr);
    QVERIFY(!p->Fixed);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(9);
    const QFontMetrics metrics(font);
    QVERIFY(p->LabelWidth > metrics.horizontalAdvance(QStringLiteral("GENE")));
    QVERIFY(p->LabelWidth <= metrics.horizontalAdvance(QStringLiteral("GENE")) + 8);
    QVERIFY(p->LabelHeight >= metrics.height());
    // The chart's own placement stands above the point's start.
    const int x = chart.ValueToPixel(chart.BottomAxis, 30);
    const int y = chart.ValueToPixel(chart.LeftAxis, -1);
    QVERIFY(std::abs(p->LabelLeft + p->LabelWidth / 2 - x) <= 1);
    QCOMPARE(p->LabelTop + p->LabelHeight, y - 10);
    QCOMPARE(p->LeaderEnd, QPoint(x, y));
    QVERIFY(s.Position(1) != nullptr); // an empty label has a record too

    // Hidden marks: no records for a new series.
    TArrowSeries &hidden = AddRow(chart);
    hidden.AppendArrow(10, -2, 20, -2, "X", 0);
    Draw(chart);
    QVERIFY(hidden.Position(0) == nullptr);
}

void TestChartDrawing::fixedPlacementHonoured()
{
    TChart chart;
    Setup(chart);
    chart.SetAxisRange(chart.BottomAxis, 0, 100);
    TArrowSeries &s = AddRow(chart);
    s.Marks.Visible = true;
    s.AppendArrow(30, -1, 60, -1, "GENE", 0);
    Draw(chart);
    const int width = s.Position(0)->LabelWidth;
    TSeriesMarkPosition &p = *s.Marks.Positions[0];
    p.Fixed = true;
    p.LabelLeft = 40;
    p.LabelTop = 30;
    p.LeaderStart = QPoint(45, 30);
    p.LeaderEnd = QPoint(45, 200);
    p.LabelWidth = 1; // remeasured
    const QImage image = Draw(chart);
    QVERIFY(p.Fixed);
    QCOMPARE(p.LabelLeft, 40);
    QCOMPARE(p.LabelTop, 30);
    QCOMPARE(p.LeaderEnd, QPoint(45, 200));
    QCOMPARE(p.LabelWidth, width);
    QCOMPARE(At(image, 41, 31), s.Marks.BackColor);
    QCOMPARE(At(image, 45, 150), s.Marks.Arrow.Color); // the solid leader pen
}

void TestChartDrawing::labelBox()
{
    TChart chart;
    Setup(chart);
    chart.SetAxisRange(chart.BottomAxis, 0, 100);
    TArrowSeries &s = AddRow(chart);
    s.Marks.Visible = true;
    s.Marks.Frame.Visible = true;
    s.Marks.Frame.Color = 0x00FF00;
    s.Marks.BackColor = 0xFFFF00;
    s.AppendArrow(30, -1, 60, -1, "MMMM", 0);
    Draw(chart);
    TSeriesMarkPosition &p = *s.Marks.Positions[0];
    p.Fixed = true;
    p.LabelLeft = 100;
    p.LabelTop = 50;
    p.LeaderStart = p.LeaderEnd = QPoint(-50, -50);
    QImage image = Draw(chart);
    const int r = 100 + p.LabelWidth - 1, b = 50 + p.LabelHeight - 1;
    QCOMPARE(At(image, 100, 50), TColor(0x00FF00)); // frame at the box's corners
    QCOMPARE(At(image, r, b), TColor(0x00FF00));
    QVERIFY(At(image, r + 1, b) != 0x00FF00);
    QCOMPARE(At(image, 101, 51), TColor(0xFFFF00)); // filled inside
    int ink = 0;
    for (int y = 51; y < b; ++y)
        for (int x = 101; x < r; ++x)
            ink += qGray(image.pixel(x, y)) < 100;
    QVERIFY(ink > 10); // the text in black

    // Transparent and unframed: only the text.
    s.Marks.Transparent = true;
    s.Marks.Frame.Visible = false;
    image = Draw(chart);
    QCOMPARE(At(image, 100, 50), clWhite);
    QCOMPARE(At(image, 101, 51), clWhite);
}

void TestChartDrawing::hitTest_data()
{
    QTest::addColumn<int>("dx");
    QTest::addColumn<int>("dy");
    QTest::addColumn<bool>("hit");
    // ArrowWidth 12, ArrowHeight 5, from the start pixel.
    QTest::newRow("on the start") << 0 << 0 << true;
    QTest::newRow("just inside left") << -11 << 0 << true;
    QTest::newRow("left edge") << -12 << 0 << false;
    QTest::newRow("just inside right") << 11 << 0 << true;
    QTest::newRow("right edge") << 12 << 0 << false;
    QTest::newRow("just inside above") << 0 << -4 << true;
    QTest::newRow("above edge") << 0 << -5 << false;
    QTest::newRow("just inside below") << 0 << 4 << true;
    QTest::newRow("below edge") << 0 << 5 << false;
    QTest::newRow("corner") << 11 << 4 << true;
}

void TestChartDrawing::hitTest()
{
    QFETCH(int, dx);
    QFETCH(int, dy);
    QFETCH(bool, hit);
    TChart chart;
    Setup(chart);
    chart.SetAxisRange(chart.BottomAxis, 0, 100);
    chart.Series(0).AppendArrow(50, -1, 60, -1, "", 0); // inactive: never hit
    TArrowSeries &a = AddRow(chart);
    a.SetArrowWidth(12);
    a.SetArrowHeight(5);
    a.AppendArrow(10, -2, 20, -2, "", 0);
    a.AppendArrow(50, -1, 90, -1, "", 0);
    TArrowSeries &b = AddRow(chart);
    b.AppendArrow(50, -1, 70, -1, "", 0); // the same start: series 1 comes first
    Draw(chart);
    const int x = chart.ValueToPixel(chart.BottomAxis, 50);
    const int y = chart.ValueToPixel(chart.LeftAxis, -1);
    int series = -1, point = -1;
    QCOMPARE(chart.HitTest(x + dx, y + dy, &series, &point), hit);
    if (hit) {
        QCOMPARE(series, 1);
        QCOMPARE(point, 1);
    }
}

void TestChartDrawing::emptyChart()
{
    TChart chart;
    Setup(chart);
    chart.SetAxisRange(chart.LeftAxis, -1, 0);
    const QImage image = Draw(chart);
    QCOMPARE(At(image, kRect.width() / 2, kRect.height() / 4), clWhite);
    // The bottom axis line under the plot.
    bool axis = false;
    for (int y = kRect.height() / 2; y < kRect.height() && !axis; ++y)
        axis = RowCount(image, y, clBlack) > kRect.width() / 2;
    QVERIFY(axis);
    QVERIFY(std::isfinite(chart.BottomAxisMinimum()));
    QVERIFY(!chart.HitTest(kRect.width() / 2, kRect.height() / 2, nullptr, nullptr));
}

void TestChartDrawing::leftOutWorkChangesNoPixel_data()
{
    QTest::addColumn<bool>("framed");
    QTest::addColumn<int>("frameWidth");
    QTest::addColumn<int>("frameStyle");
    QTest::addColumn<bool>("clip");
    QTest::addColumn<bool>("staggered");
    QTest::addColumn<QPointF>("shift");
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("transparentRows"); // bit r: row r's boxes are not filled
    const int solid = int(Qt::SolidLine), dot = int(Qt::DotLine);
    QTest::newRow("framed, staggered")
        << true << 1 << solid << false << true << QPointF() << 1.0 << 0;
    QTest::newRow("framed, chart placement")
        << true << 1 << solid << false << false << QPointF() << 1.0 << 0;
    QTest::newRow("transparent, staggered")
        << false << 1 << solid << false << true << QPointF() << 1.0 << 7;
    QTest::newRow("wide frame") << true << 3 << solid << false << true << QPointF() << 1.0 << 0;
    QTest::newRow("dotted wide frame")
        << true << 2 << dot << false << true << QPointF() << 1.0 << 0;
    QTest::newRow("labels clipped") << true << 1 << solid << true << true << QPointF() << 1.0 << 0;
    QTest::newRow("whole-pixel shift")
        << true << 1 << solid << false << true << QPointF(-37, 25) << 1.0 << 0;
    QTest::newRow("half-pixel shift")
        << true << 1 << solid << false << true << QPointF(0.5, 0.5) << 1.0 << 0;
    QTest::newRow("scaled") << true << 1 << solid << false << true << QPointF() << 0.75 << 0;
    QTest::newRow("framed, one row unfilled")
        << true << 1 << solid << false << true << QPointF() << 1.0 << 2;
}

// Many genes per pixel on several rows, labels of varied lengths on five levels as the map
// staggers them: the drawing that leaves out painted-over work must give the plain picture.
void TestChartDrawing::leftOutWorkChangesNoPixel()
{
    QFETCH(bool, framed);
    QFETCH(int, frameWidth);
    QFETCH(int, frameStyle);
    QFETCH(bool, clip);
    QFETCH(bool, staggered);
    QFETCH(QPointF, shift);
    QFETCH(double, scale);
    QFETCH(int, transparentRows);
    TChart chart;
    Setup(chart);
    chart.SetAxisRange(chart.LeftAxis, -4, 0);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> start(0, 200000), length(0, 3000), name(0, 40);
    const char *stems[] = {"G", "BRCA", "LOC10", "ZNF", "Wj"};
    for (int r = 0; r < 3; ++r) {
        TArrowSeries &s = AddRow(chart);
        s.SetArrowWidth(35);
        s.SetArrowHeight(5);
        s.ColorEachPoint = true;
        s.Pointer.Pen.Visible = r != 1;
        s.Marks.Visible = true;
        s.Marks.Clip = clip && r == 2;
        s.Marks.Frame.Visible = framed;
        s.Marks.Frame.Width = frameWidth;
        s.Marks.Frame.Style = Qt::PenStyle(frameStyle);
        s.Marks.Transparent = (transparentRows >> r) & 1;
        s.Marks.Arrow.Color = clGray;
        s.Marks.Arrow.Style = Qt::DotLine;
        for (int i = 0; i < 3000; ++i) {
            const int x = start(random);
            const int n = name(random);
            s.AppendArrow(x, -(r + 1), x + length(random), -(r + 1),
                          stems[n % 5] + QByteArray::number(n * 37), RGBToColor(255, n * 6, 0));
        }
    }
    const QRect rect(0, 0, 500, 400);
    // Staggered as the map plans its rows.
    if (staggered)
        for (int r = 1; r <= 3; ++r)
            chart.Series(r).SetLabelPlan(TLabelPlan{});
    const auto drawn = [&] {
        QImage image(rect.size(), QImage::Format_RGB32);
        image.fill(Qt::gray);
        QPainter painter(&image);
        painter.translate(shift);
        painter.scale(scale, scale);
        chart.Draw(painter, rect);
        return image;
    };
    const QImage quick = drawn();
    const TChartDrawStats stats = chart.LastDrawStats();
    chart.SkipHiddenWork = false;
    const QImage plain = drawn();
    QCOMPARE(quick, plain);
    if (framed && scale == 1.0 && shift == QPointF(std::floor(shift.x()), std::floor(shift.y())))
        QVERIFY2(stats.LabelTextsDrawn < stats.Labels / 2, "most covered texts are left out");
}

// The row-at-a-time mapping of arrow middles gives the pixel of each alone, at halves, far
// outside, at infinities and for values that are not numbers, on scales large and small.
void TestChartDrawing::valuesMapAsOneByOne()
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> start{
        0,    1,      2.5, -3.5, 1e300,     -1e300, inf, -inf, nan, 7, 0.49999999999999994,
        -0.5, 1e-300, 4e9, -4e9, 123456.75, 3};
    std::vector<double> end{0,   2,   2.5, -2.5, 1e300, -1e300, inf,       inf, 1,
                            nan, 0.5, 0.5, 0,    4e9,   -4e9,   123457.25, 4};
    std::mt19937 random(3);
    std::uniform_real_distribution<double> any(-2e6, 2e6);
    for (int i = 0; i < 2001; ++i) {
        start.push_back(any(random));
        end.push_back(start.back() + any(random) / 100);
    }
    for (const double scale : {1.0, 0.37, 1e-3, 7.5, 1e12}) {
        TChartGeometry g;
        g.AxisLeft = 190.5;
        g.BottomMin = -1234.25;
        g.XScale = scale;
        std::vector<double> middles(start.size());
        for (std::size_t i = 0; i < start.size(); ++i)
            middles[i] = (start[i] + end[i]) / 2;
        std::vector<int> out(start.size());
        g.XPixels(middles.data(), out.data(), start.size());
        for (std::size_t i = 0; i < start.size(); ++i)
            QVERIFY2(out[i] == g.XPixel(middles[i]),
                     qPrintable(QStringLiteral("scale %1, value %2").arg(scale).arg(i)));
    }
}

void TestChartDrawing::exportRectangle()
{
    // Drawing into another rectangle (an export) maps into that rectangle during the drawing
    // and leaves the client geometry as it was.
    TChart chart;
    Setup(chart);
    chart.SetChartRect(kRect);
    TArrowSeries &s = AddRow(chart);
    s.AppendArrow(0, -1, 100, -1, "", 0);
    const int before = chart.ValueToPixel(chart.BottomAxis, 100);
    int during = 0;
    chart.OnAfterDraw = [&](TChart &c, TCanvas *) { during = c.ValueToPixel(c.BottomAxis, 100); };
    const QRect big(0, 0, 1200, 800);
    Draw(chart, big);
    QCOMPARE(during, qRound(1200 * 0.1 + 1200 * 0.9 * 0.98));
    QCOMPARE(chart.ValueToPixel(chart.BottomAxis, 100), before);
    QCOMPARE(chart.ChartRect(), kRect);
}

void TestChartDrawing::handlerErrorLeavesChartUsable()
{
    TChart chart;
    Setup(chart);
    chart.SetChartRect(kRect);
    AddRow(chart).AppendArrow(0, -1, 100, -1, "", 0);
    const int before = chart.ValueToPixel(chart.BottomAxis, 100);
    chart.OnAfterDraw = [](TChart &, TCanvas *) { throw ERangeError(); };
    QImage image(QSize(1200, 800), QImage::Format_RGB32);
    QPainter painter(&image);
    const QPen pen(Qt::green);
    painter.setPen(pen);
    QVERIFY_THROWS_EXCEPTION(ERangeError, chart.Draw(painter, QRect(0, 0, 1200, 800)));
    QCOMPARE(painter.pen(), pen); // the painter is handed back as it came
    QVERIFY(!painter.hasClipping());
    // No longer drawing: pixels come from the client rectangle again.
    QCOMPARE(chart.ValueToPixel(chart.BottomAxis, 100), before);
    chart.OnAfterDraw = nullptr;
    chart.Draw(painter, kRect);
}

// A rebuild frees the rows and makes new ones, often with as many points: the automatic range
// must follow the new points, not a geometry remembered from the freed rows.
void TestChartDrawing::rebuiltRowsRefreshRange()
{
    TChart chart;
    Setup(chart);
    chart.SetChartRect(kRect);
    for (int round = 1; round <= 3; ++round) {
        while (chart.SeriesCount() > 1)
            chart.FreeSeries(chart.SeriesCount() - 1);
        AddRow(chart).AppendArrow(0, -1, 100.0 * round, -1, "", 0);
        const int left = chart.ValueToPixel(chart.BottomAxis, 0);
        const int right = chart.ValueToPixel(chart.BottomAxis, 100.0 * round);
        QCOMPARE(right, qRound(600 * 0.1 + 600 * 0.9 * 0.98)); // the new maximum at the end
        const double expected = left + (right - left) / double(round);
        QVERIFY(std::abs(chart.ValueToPixel(chart.BottomAxis, 100) - expected) <= 1);
    }
}

QTEST_MAIN(TestChartDrawing)
#include "tst_chart_drawing.moc"
