// Window sizes as the program's windows are designed: the whole window, frame included. The
// window system adds the frame only once the window is shown, so the size inside the frame is
// set again whenever the frame turns out other than when it was last set.
#pragma once

#include <QRect>
#include <QSize>

class QWidget;

// Where the main window stands, frame included: the whole width of the screen from its left
// edge, at the designed top and height where they fit in the screen's available area (a scaled
// screen can be shorter than the design); otherwise as high as that area allows, moved up so
// that the lower rows and the axis stay on the screen.
QRect DesignedPlace(const QRect &screen, const QRect &available, int top, int height);

// Gives the top-level window the outer size `outer`; with `fixed` the user cannot resize it.
// Until the window is framed the frame counts as nothing. A window the program has placed
// (moved) before this call keeps that place for its frame.
void SetOuterSize(QWidget *window, QSize outer, bool fixed = false);
