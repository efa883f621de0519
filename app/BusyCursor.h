// The wait cursor over a command that blocks the window for longer than a moment. The window
// owns one; each command holds a scope from it.
#pragma once

#include <QElapsedTimer>

class TBusyCursor
{
public:
    // How long a command runs before the cursor tells the user to wait.
    static constexpr qint64 kDelayMs = 200;

    // One command's hold on the cursor: starts the clock, and on leaving puts the cursor back
    // if it was changed, also when the command failed. A scope taken while another is held
    // leaves the cursor to the outer one.
    class Scope
    {
    public:
        explicit Scope(TBusyCursor &owner);
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        TBusyCursor &m_owner;
    };

    TBusyCursor() = default;
    TBusyCursor(const TBusyCursor &) = delete;
    TBusyCursor &operator=(const TBusyCursor &) = delete;

    // Called from the running command's drawings and rebuild steps: shows the wait cursor once
    // the command has run past the delay. Does nothing outside a command.
    void Tick();
    // Puts the normal cursor back while the command waits for the user; the next Tick after it
    // shows the wait cursor again.
    void Pause();

private:
    void Restore();

    QElapsedTimer m_clock;
    int m_depth = 0;
    bool m_shown = false;
};
