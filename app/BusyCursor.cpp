// A command blocks the event loop, so a timer started with it would fire only when it is over.
// Instead the command's own progress (each drawing and rebuild step) asks whether it has run past
// the delay, and the cursor is changed there; X11 and the other platforms show a cursor change
// at once, without the event loop.
#include "app/BusyCursor.h"

#include <QCursor>
#include <QGuiApplication>

TBusyCursor::Scope::Scope(TBusyCursor &owner) : m_owner(owner)
{
    if (m_owner.m_depth++ == 0)
        m_owner.m_clock.start();
}

TBusyCursor::Scope::~Scope()
{
    if (--m_owner.m_depth == 0)
        m_owner.Restore();
}

void TBusyCursor::Restore()
{
    if (m_shown) {
        m_shown = false;
        QGuiApplication::restoreOverrideCursor();
    }
}

void TBusyCursor::Pause()
{
    Restore();
}

void TBusyCursor::Tick()
{
    if (m_depth == 0 || m_shown || m_clock.elapsed() < kDelayMs)
        return;
    m_shown = true;
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}
