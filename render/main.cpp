// ostrinel-render: the batch renderer. It needs no display: unless told otherwise through
// QT_QPA_PLATFORM, Qt draws offscreen.
#include "render/RenderRun.h"

#include <QFile>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("ostrinel-render"));
    QFile out;
    QFile err;
    out.open(stdout, QIODevice::WriteOnly);
    err.open(stderr, QIODevice::WriteOnly);
    const int status = RunRender(QGuiApplication::arguments(), out, err);
    out.flush();
    err.flush();
    return status;
}
