// The chart on screen: owns a TChart, paints it, forwards resize and presses to it, and runs
// the mouse zoom and scroll (drags and the wheel). Holds no drawing maths of its own.
#pragma once

#include "chart/TChart.h"

#include <QImage>
#include <QWidget>

class TChartWidget : public QWidget
{
    Q_OBJECT
public:
    explicit TChartWidget(QWidget *parent = nullptr);
    ~TChartWidget() override;

    TChart &Chart() { return m_chart; }
    const TChart &Chart() const { return m_chart; }

    // Full, synchronous drawing now.
    void RepaintNow();
    // Screen position of the chart's top-left pixel.
    QPoint ClientOrigin() const { return mapToGlobal(QPoint(0, 0)); }

signals:
    // A double click of the left button.
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    // The wheel scrolls the bottom axis sideways; with Ctrl it zooms about the pointer.
    void wheelEvent(QWheelEvent *event) override;

private:
    TChart m_chart;
    enum class Drag
    {
        None,
        Zoom,
        Scroll
    } m_drag = Drag::None;
    QPoint m_pressPos;
    QPoint m_lastPos;
    QImage m_frame; // the last drawing, shown again under a zoom rectangle
};
