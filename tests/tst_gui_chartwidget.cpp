// The chart on screen: a frame being drawn leaves the wheel answering, the last frame moved;
// presses reach the click handler with the hit series and point, a claimed
// press starts nothing, dragging zooms, restores and scrolls the bottom axis, a double click is
// signalled and a resize is raised; the wheel scrolls, and with Ctrl zooms about the pointer.
#include "app/TChartWidget.h"

#include <QSignalSpy>
#include <QWheelEvent>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <thread>

namespace {
// A widget with one row from 0 to 1000 and the template made inactive, shown and drawn once.
struct TShownChart
{
    TChartWidget Widget;
    TShownChart()
    {
        TChart &chart = Widget.Chart();
        chart.Series(0).Active = false;
        chart.SetAxisRange(chart.LeftAxis, -2, 0);
        TArrowSeries &row = chart.AddSeries(chart.CreateArrowSeries());
        row.SetArrowWidth(10);
        row.SetArrowHeight(5);
        row.AppendArrow(0, -1, 100, -1, "A", 0);
        row.AppendArrow(500, -1, 1000, -1, "B", 0);
        Widget.resize(600, 300);
        Widget.show();
        if (!QTest::qWaitForWindowExposed(&Widget))
            qFatal("the chart window was not shown");
        Widget.RepaintNow();
    }
    TChart &Chart() { return Widget.Chart(); }
    QPoint PointOf(double x, double y)
    {
        return QPoint(Chart().ValueToPixel(Chart().BottomAxis, x),
                      Chart().ValueToPixel(Chart().LeftAxis, y));
    }
    void Drag(Qt::MouseButton button, QPoint from, QPoint to)
    {
        QTest::mousePress(&Widget, button, {}, from);
        QTest::mouseMove(&Widget, (from + to) / 2);
        QTest::mouseMove(&Widget, to);
        QTest::mouseRelease(&Widget, button, {}, to);
        Widget.RepaintNow();
    }
};
} // namespace

class TestChartWidget : public QObject
{
    Q_OBJECT

private slots:
    void clickReachesHandler_data();
    void clickReachesHandler();
    void zoomAndRestore();
    void claimedPressStartsNothing();
    void rightDragScrolls();
    void previewWhileDrawing();
    void wheel_data();
    void wheel();
    void doubleClick();
    void resizeRaised();
};

void TestChartWidget::clickReachesHandler_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<bool>("hit");
    QTest::addColumn<int>("point");
    QTest::newRow("first gene") << 0.0 << true << 0;
    QTest::newRow("second gene") << 500.0 << true << 1;
    QTest::newRow("between") << 300.0 << false << -1;
}

void TestChartWidget::clickReachesHandler()
{
    QFETCH(double, x);
    QFETCH(bool, hit);
    QFETCH(int, point);
    TShownChart shown;
    int calls = 0, gotPoint = -1, gotX = -1;
    Qt::MouseButton gotButton = Qt::NoButton;
    Qt::KeyboardModifiers gotModifiers;
    TArrowSeries *gotSeries = nullptr;
    shown.Chart().OnClickSeries = [&](TChart &, TArrowSeries &s, int p, Qt::MouseButton b,
                                      Qt::KeyboardModifiers m, int px, int) {
        ++calls;
        gotSeries = &s;
        gotPoint = p;
        gotButton = b;
        gotModifiers = m;
        gotX = px;
    };
    const QPoint at = shown.PointOf(x, -1);
    QTest::mousePress(&shown.Widget, Qt::RightButton, Qt::ShiftModifier, at);
    QTest::mouseRelease(&shown.Widget, Qt::RightButton, Qt::ShiftModifier, at);
    QCOMPARE(calls, hit ? 1 : 0);
    if (hit) {
        QCOMPARE(gotSeries, &shown.Chart().Series(1));
        QCOMPARE(gotPoint, point);
        QCOMPARE(gotButton, Qt::RightButton);
        QVERIFY(gotModifiers & Qt::ShiftModifier);
        QCOMPARE(gotX, at.x());
    }
}

void TestChartWidget::zoomAndRestore()
{
    TShownChart shown;
    QCOMPARE(shown.Chart().BottomAxisMinimum(), 0.0);
    const QPoint from = shown.PointOf(200, -0.5);
    const QPoint to = shown.PointOf(400, -1.5);
    const double lo = shown.Chart().PixelToValue(shown.Chart().Series(1), from.x());
    const double hi = shown.Chart().PixelToValue(shown.Chart().Series(1), to.x());
    shown.Drag(Qt::LeftButton, from, to);
    QVERIFY(shown.Chart().Zoomed());
    QCOMPARE(shown.Chart().BottomAxisMinimum(), lo);
    QCOMPARE(shown.Chart().BottomAxis.Maximum, hi);

    // Up and to the left: the automatic range again.
    shown.Drag(Qt::LeftButton, shown.PointOf(400, -1.5), shown.PointOf(200, -0.5));
    QVERIFY(!shown.Chart().Zoomed());
    QCOMPARE(shown.Chart().BottomAxisMinimum(), 0.0);
    QCOMPARE(shown.Chart().BottomAxis.Maximum, 1000.0);
}

void TestChartWidget::claimedPressStartsNothing()
{
    TShownChart shown;
    shown.Chart().OnClickSeries = [](TChart &c, TArrowSeries &, int, Qt::MouseButton,
                                     Qt::KeyboardModifiers, int, int) { c.CancelMouse(); };
    shown.Drag(Qt::LeftButton, shown.PointOf(0, -1), shown.PointOf(300, -1.8));
    QVERIFY(!shown.Chart().Zoomed());
    QCOMPARE(shown.Chart().BottomAxisMinimum(), 0.0);
    // A press beside the genes is not claimed and zooms.
    shown.Drag(Qt::LeftButton, shown.PointOf(200, -0.3), shown.PointOf(300, -1.8));
    QVERIFY(shown.Chart().Zoomed());
}

void TestChartWidget::rightDragScrolls()
{
    TShownChart shown;
    const QPoint from = shown.PointOf(300, -0.5);
    const QPoint to = from + QPoint(100, 0);
    const double shift = shown.Chart().PixelToValue(shown.Chart().Series(1), to.x()) -
                         shown.Chart().PixelToValue(shown.Chart().Series(1), from.x());
    shown.Drag(Qt::RightButton, from, to);
    QVERIFY(shown.Chart().Zoomed());
    // The plot follows the mouse to the right: the range moves left.
    QVERIFY(std::abs(shown.Chart().BottomAxisMinimum() + shift) < 1e-6);
    QVERIFY(std::abs(shown.Chart().BottomAxis.Maximum - (1000 - shift)) < 1e-6);
}

void TestChartWidget::wheel_data()
{
    QTest::addColumn<QPoint>("angle"); // a notch is 120: a tenth of the range, or a zoom by 1.25
    QTest::addColumn<QPoint>("pixels");
    QTest::addColumn<double>("shift"); // NaN: with Ctrl, about the pointer
    QTest::addColumn<double>("width");
    const double ctrl = qQNaN();
    QTest::newRow("notch toward") << QPoint(0, -120) << QPoint() << 100. << 1000.;
    QTest::newRow("half notch away") << QPoint(0, 60) << QPoint() << -50. << 1000.;
    QTest::newRow("tilt left") << QPoint(240, 0) << QPoint() << -200. << 1000.;
    QTest::newRow("touchpad") << QPoint(-90, 0) << QPoint(-60, 0) << 0. << 1000.;
    QTest::newRow("Ctrl, away") << QPoint(0, 120) << QPoint() << ctrl << 800.;
    QTest::newRow("Ctrl, 2 toward") << QPoint(0, -240) << QPoint() << ctrl << 1562.5;
    QTest::newRow("Ctrl, to nothing") << QPoint(0, 120000) << QPoint() << ctrl << 1000.;
    QTest::newRow("Ctrl, to infinity") << QPoint(0, -480000) << QPoint() << ctrl << 1000.;
}

void TestChartWidget::wheel()
{
    QFETCH(QPoint, angle);
    QFETCH(QPoint, pixels);
    QFETCH(double, shift);
    QFETCH(double, width);
    TShownChart shown;
    const QPoint at = shown.PointOf(300, -0.5);
    const double pointed = shown.Chart().PixelToValue(shown.Chart().Series(1), at.x());
    shift += shown.Chart().PixelToValue(shown.Chart().Series(1), at.x() - pixels.x()) -
             pointed; // the fingers
    QWheelEvent event(at, at, pixels, angle, Qt::NoButton,
                      qIsNaN(shift) ? Qt::ControlModifier : Qt::NoModifier, Qt::NoScrollPhase,
                      false);
    QCoreApplication::sendEvent(&shown.Widget, &event);
    const auto [lo, hi] = shown.Chart().BottomAxisRange();
    QVERIFY(std::abs(hi - lo - width) < 1e-6);
    QVERIFY(qIsNaN(shift) ? std::abs(shown.Chart().ValueToPixel(shown.Chart().BottomAxis, pointed) -
                                     at.x()) <= 1
                          : std::abs(lo - shift) < 1e-6);
    // Undone by the drag up and to the left, as a dragged zoom is.
    shown.Drag(Qt::LeftButton, shown.PointOf(400, -1.5), shown.PointOf(200, -0.5));
    QCOMPARE(shown.Chart().BottomAxisRange(), std::make_pair(0.0, 1000.0));
}

// Only the left button's double click saves; for the others it is one more press.
void TestChartWidget::doubleClick()
{
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        TShownChart shown;
        int presses = 0;
        shown.Chart().OnClickSeries = [&](auto &&...) { ++presses; };
        QSignalSpy spy(&shown.Widget, &TChartWidget::doubleClicked);
        QTest::mouseDClick(&shown.Widget, button, {}, shown.PointOf(0, -1));
        QCOMPARE(spy.count(), button == Qt::LeftButton ? 1 : 0);
        QCOMPARE(presses, button == Qt::LeftButton ? 0 : 1);
    }
}

void TestChartWidget::resizeRaised()
{
    TShownChart shown;
    int resized = 0;
    QRect seen;
    shown.Chart().OnResize = [&](TChart &c) {
        ++resized;
        seen = c.ChartRect();
    };
    shown.Widget.resize(700, 350);
    QCOMPARE(resized, 1);
    QCOMPARE(seen, QRect(0, 0, 700, 350));
}

// A frame held on the map's thread: the wheel still answers at once, the last frame shown moved
// by the scroll, and the exact frame of the new range, as the plain drawing gives it, follows.
void TestChartWidget::previewWhileDrawing()
{
    TShownChart shown;
    const QPoint a = shown.PointOf(0, -1), b = shown.PointOf(100, -1), c = shown.PointOf(800, -1);
    std::atomic<bool> hold{true}, held{false};
    // A failed check must not leave the map's thread held.
    const auto release = qScopeGuard([&] { hold = false; });
    shown.Chart().OnBeforeDrawSeries = [&](TChart &, TCanvas &) {
        held = true;
        while (hold)
            std::this_thread::yield();
    };
    shown.Chart().ZoomTo(0, 1000);
    shown.Widget.update();
    QTRY_VERIFY(held);
    const QImage old = shown.Widget.grab().toImage();
    const QPointF at(a);
    QWheelEvent away(at, at, {}, QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                     false);
    QCoreApplication::sendEvent(&shown.Widget, &away);
    const QImage preview = shown.Widget.grab().toImage();
    QVERIFY(!shown.Widget.FrameExact());
    // A tenth of the range to the left: what showed at x shows at x + (b - a).
    const int dx = b.x() - a.x(), y = a.y();
    QVERIFY(dx > 0);
    int same = 0;
    for (int x = a.x(); x < c.x(); ++x)
        same += preview.pixel(x + dx, y) == old.pixel(x, y);
    QCOMPARE(same, c.x() - a.x());
    QVERIFY(preview != old);
    hold = false;
    shown.Widget.WaitForFrame();
    QVERIFY(shown.Widget.FrameExact());
    TChart &chart = shown.Chart();
    QCOMPARE(chart.BottomAxisMinimum(), -100.0);
    QImage plain(shown.Widget.size(), QImage::Format_RGB32);
    {
        QPainter painter(&plain);
        chart.Draw(painter, shown.Widget.rect());
    }
    QCOMPARE(shown.Widget.grab().toImage().convertToFormat(QImage::Format_RGB32), plain);
}

QTEST_MAIN(TestChartWidget)
#include "tst_gui_chartwidget.moc"
