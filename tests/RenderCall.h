// The batch renderer run in the test's own process, its picture and messages kept in memory.
#pragma once

#include "render/RenderRun.h"

#include <QBuffer>
#include <QByteArray>
#include <QStringList>

// Runs `ostrinel-render ARGUMENTS`; returns its exit status and, when asked, what it printed on
// standard error.
inline int RenderInProcess(const QStringList &arguments, QByteArray *err = nullptr)
{
    QBuffer out;
    QBuffer messages;
    out.open(QIODevice::WriteOnly);
    messages.open(QIODevice::WriteOnly);
    const int status = RunRender(QStringList{"ostrinel-render"} + arguments, out, messages);
    if (err)
        *err = messages.data();
    return status;
}
