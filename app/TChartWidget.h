// The chart on screen: owns a TChart and the thread it is drawn on, shows the last finished frame
// at once (moved and scaled as a preview while a newer one is drawn), forwards resize and presses
// to the chart, and runs the mouse zoom and scroll (drags and the wheel). Holds no drawing maths
// of its own beyond placing the last frame under a new range.
#pragma once

#include "app/MapThread.h"
#include "chart/TChart.h"

#include <QImage>
#include <QWidget>

#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

class TChartWidget : public QWidget
{
    Q_OBJECT
public:
    explicit TChartWidget(QWidget *parent = nullptr);
    ~TChartWidget() override;

    // The chart, taken back from the map's thread: a frame being drawn is cancelled and the view
    // changes made meanwhile are applied. The frame shown counts as stale afterwards, since the
    // caller may change what it shows. On the map's thread, inside a job: the chart as it is.
    TChart &Chart();

    // Full, synchronous drawing now, on the calling thread (the GUI thread, or the map's thread
    // inside RunOffThread, whose frames are shown as they are finished).
    void RepaintNow();
    // Runs work on the map's thread, the chart and everything it draws belonging to it, while
    // this thread keeps answering: returns when work has ended, raising what it raised.
    // Presses, drags and the wheel on the chart do nothing meanwhile.
    void RunOffThread(const std::function<void()> &work);
    // Runs job on the map's thread once the chart is free (a frame being drawn is cancelled),
    // then done on this thread. The job reads the map and writes only its own results, which
    // done may read.
    void RunJob(std::function<void()> job, std::function<void()> done);
    // True while RunOffThread runs.
    bool Lent() const { return m_lent; }
    // Blocks until the exact frame of the current view is shown (tests, pictures of the screen).
    void WaitForFrame();
    // True when the frame shown is the exact one for the current view.
    bool FrameExact() const;
    // Screen position of the chart's top-left pixel.
    QPoint ClientOrigin() const { return mapToGlobal(QPoint(0, 0)); }

signals:
    // A double click of the left button.
    void doubleClicked();
    // A drawing off the GUI thread raised error.
    void drawFailed(std::exception_ptr error);

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
    // Where a frame put the bottom axis: its range and the pixels of its ends.
    struct TFrameView
    {
        double Lo = 0, Hi = 1;           // the bottom axis range
        double AxisLeft = 0, XScale = 1; // pixel of Lo, pixels per unit
        double PlotLeft = 0, PlotRight = 0;
        bool HasPoints = false;
    };
    struct TFrame
    {
        QImage Image;
        TFrameView View;
        bool Cancelled = false;
        std::exception_ptr Error;
    };

    // Draws the chart over rect at ratio on the calling thread, which owns the chart now.
    TFrame DrawFrame(const QRect &rect, qreal ratio);
    // Puts a finished frame on screen (GUI thread); an unfinished one is dropped.
    void Show(TFrame frame);
    // The frame a job left, if any (GUI thread).
    void TakeResult();
    // The map's thread stopped: its frame shown, the view changes applied, the next frame asked.
    void OnThreadFinished();
    // Cancels a frame being drawn and waits for it, or for a job (GUI thread).
    void Settle();
    // A job or frame ended: its frame taken, its done called.
    void Finish();
    // Starts drawing the exact frame when the chart is free and the frame shown is stale.
    void StartFrame();
    // A change of the view: made now when the chart is free, else queued for when it is, with
    // the range it leads to (none: unknown) for the preview.
    void ChangeView(std::function<void(TChart &)> change, std::optional<std::pair<double, double>>);
    void ApplyPending();
    // Value under pixel x in the view the next frame will show.
    double ValueAt(int x) const;
    std::pair<double, double> Range() const;
    bool HasPoints() const;
    void MarkStale();
    // No job holds the chart: the GUI thread may read and change it.
    bool ChartFree() const { return !m_drawing && !m_lent; }

    TChart m_chart;
    enum class Drag
    {
        None,
        Zoom,
        Scroll
    } m_drag = Drag::None;
    QPoint m_pressPos;
    QPoint m_lastPos;

    // GUI thread only.
    QImage m_frame; // the last finished frame
    TFrameView m_frameView;
    bool m_lent = false;    // RunOffThread runs
    bool m_drawing = false; // a frame job runs
    bool m_applying = false;
    std::function<void()> m_jobDone; // of the RunJob job under way
    std::vector<std::function<void(TChart &)>> m_pending;
    std::optional<std::pair<double, double>> m_previewRange; // the range m_pending leads to
    bool m_previewKnown = true;

    // The chart changed since the frame shown was started (set on either thread).
    std::atomic<bool> m_stale{true};

    // A frame a job finished, taken by the GUI thread; and what a job draws it at.
    std::mutex m_resultLock;
    std::optional<TFrame> m_result;
    QRect m_jobRect;
    qreal m_jobRatio = 1;

    TMapThread m_thread; // last: ends before the chart goes
};
