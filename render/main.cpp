// ostrinel-render: the batch renderer. It needs no display: unless told otherwise through
// QT_QPA_PLATFORM, Qt draws offscreen.
#include "core/ChildProgram.h"
#include "platform/FaceCheck.h"
#include "render/RenderRun.h"

#include <QFile>
#include <QGuiApplication>

#include <csignal>
#include <unistd.h>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("ostrinel-render"));
    // A file size limit reached ends a write short, which is then reported, instead of the
    // signal ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // An interrupted or terminated run ends MMseqs2 with it, which runs in a group of its own.
    EndChildrenOnSignals();
    // Unbuffered: each write reaches the system at once, so its failure is seen where it is made.
    QFile out;
    QFile err;
    out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    err.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    // File names are the system's bytes, which need not be UTF-8.
    QList<QByteArray> system;
    for (int i = 0; i < argc; ++i)
        system.append(QByteArray(argv[i]));
    // Once per run, on standard error only: the check is about this machine, not the map.
    if (const QString warning = MapFaceWarning(); !warning.isEmpty())
        err.write(warning.toLocal8Bit() + '\n');
    const int status = RunRender(QGuiApplication::arguments(), out, err, system);
    return status;
}
