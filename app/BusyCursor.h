// The wait cursor over a command that blocks the window for longer than a moment.
#pragma once

#include <QElapsedTimer>

class TBusyCursor
{
public:
    // How long a command runs before the cursor tells the user to wait.
    static constexpr qint64 kDelayMs = 200;

    // Starts the clock; a guard made while another is alive leaves the cursor to that one.
    TBusyCursor();
    // Puts the cursor back if this guard changed it, also when the command failed.
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor &) = delete;
    TBusyCursor &operator=(const TBusyCursor &) = delete;

    // Called from the running command's drawings and rebuild steps: shows the wait cursor once
    // the live guard's command has run past the delay. Does nothing when no guard is alive.
    static void Tick();
    // Puts the normal cursor back while the command waits for the user; the next Tick after it
    // shows the wait cursor again.
    static void Pause();

private:
    QElapsedTimer m_clock;
    bool m_shown = false;
    static TBusyCursor *s_live;
};
