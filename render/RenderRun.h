// One run of the batch renderer: the map session driven exactly as the window drives it (the
// chart set up and sized as the window's, the load with its rebuild cycle, then the commands the
// options ask for), the picture saved and the row report written.
#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

class QIODevice;

// Exit statuses.
constexpr int kRenderDone = 0;
constexpr int kRenderBadInput = 1; // an input file cannot be read or drawn
constexpr int kRenderBadUsage = 2; // a bad option, option value or output file

// Runs the command line (the program name first); --help, --version and a report to "-" go to
// out, messages to err. system holds the same arguments as the system's bytes, for file names
// that are not UTF-8. Returns the exit status.
int RunRender(const QStringList &arguments, QIODevice &out, QIODevice &err,
              const QList<QByteArray> &system = {});
