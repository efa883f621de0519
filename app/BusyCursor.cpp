// A command blocks the event loop, so a timer started with it would fire only when it is over.
// Instead the command's own progress (each drawing and rebuild step) asks whether it has run past
// the delay, and the cursor is changed there; X11 and the other platforms show a cursor change
// at once, without the event loop.
#include "app/BusyCursor.h"

#include <QCursor>
#include <QGuiApplication>

TBusyCursor *TBusyCursor::s_live = nullptr;

TBusyCursor::TBusyCursor()
{
    if (s_live)
        return;
    s_live = this;
    m_clock.start();
}

TBusyCursor::~TBusyCursor()
{
    if (s_live != this)
        return;
    s_live = nullptr;
    if (m_shown)
        QGuiApplication::restoreOverrideCursor();
}

void TBusyCursor::Pause()
{
    if (s_live && s_live->m_shown) {
        s_live->m_shown = false;
        QGuiApplication::restoreOverrideCursor();
    }
}

void TBusyCursor::Tick()
{
    TBusyCursor *live = s_live;
    if (!live || live->m_shown || live->m_clock.elapsed() < kDelayMs)
        return;
    live->m_shown = true;
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}
