// The picture a chart widget shows once its exact frame is on screen: frames are drawn off the
// GUI thread, so a grab right after a command may still show the last one.
#pragma once

#include "app/TChartWidget.h"

#include <QImage>

inline QImage ChartShot(TChartWidget *widget)
{
    widget->WaitForFrame();
    return widget->grab().toImage();
}
