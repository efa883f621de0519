// An outside program run to its end in a process group of its own, so that stopping it stops
// every program it started too. Its messages are kept to their last bytes only: a program that
// writes gigabytes of them costs no memory.
#pragma once

#include "util/CommonDecl.h"

#include <QByteArray>
#include <QStringList>

#include <functional>

// A run stopped before the program ended: by the caller (the user's Cancel) or by SIGINT or
// SIGTERM once EndChildrenOnSignals was called; Signal is then that signal, else 0. The program
// and its process group have been ended by then.
class ECancelled : public Exception
{
public:
    explicit ECancelled(int signal = 0) : Exception(QStringLiteral("Cancelled")), Signal(signal) {}
    int Signal;
};

struct TChildResult
{
    int ExitCode = -1;    // -1 when a signal ended the program
    QByteArray LastBytes; // the end of its standard output and error, merged
};

// Runs program with the arguments in folder, standard input empty, and calls tick about five
// times a second while it runs. A tick that raises ends the program's group and the error goes
// on, as does ECancelled for a signal. Raises EInOutError when the program cannot start.
TChildResult RunChildProgram(const QString &program, const QStringList &arguments,
                             const QString &folder, const std::function<void()> &tick);

// For a program without a window: SIGINT and SIGTERM end the running child's group, and the run
// raises ECancelled with the signal, to be ended by ResumeSignal once the program has cleaned
// up; without a child running they end the program at once, as they would have.
void EndChildrenOnSignals();
// Ends the program by the signal, as if no handler had caught it.
[[noreturn]] void ResumeSignal(int signal);
