// Window sizes as the program's windows are designed: the whole window, frame included. The
// window system adds the frame only once the window is shown, so the size inside the frame is
// set again whenever the frame turns out other than when it was last set.
#pragma once

#include <QSize>

class QWidget;

// Gives the top-level window the outer size `outer`; with `fixed` the user cannot resize it.
// Until the window is framed the frame counts as nothing. A window the program has placed
// (moved) before this call keeps that place for its frame.
void SetOuterSize(QWidget *window, QSize outer, bool fixed = false);
