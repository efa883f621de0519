// Program entry: the application settings, then the main window (created first, so closing it
// ends the program), then the about window, hidden until "&Credits...", then the message loop.
// Files named on the command line (the desktop entry's "Open With") load as one map once the loop
// runs.
#include "app/TdlgAbout.h"
#include "app/TdlgOstrinel.h"
#include "platform/FaceCheck.h"
#include "platform/HelpSystem.h"
#include "platform/PictureLoader.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <csignal>
#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    RegisterPictureLoaders();
    // Saving a picture past the file size limit then fails with a message, instead of the
    // signal ending the program and the map with it.
    std::signal(SIGXFSZ, SIG_IGN);

    if (const QString warning = MapFaceWarning(); !warning.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(warning));

    THelpSystem help;
    help.SetHelpFile(QStringLiteral("OSTRINEL.HLP"));
    help.Install(app);
    // The title only: a display name would be appended to every window's caption.
    QApplication::setApplicationName(QStringLiteral("Ostrinel"));
    // The installed desktop entry and icon: lets the desktop match the windows to them.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.ostrinel.Ostrinel"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.ostrinel.Ostrinel")));

    TdlgOstrinel window(&help);
    // Owned by the main window, so it lives exactly as long and shares its end.
    auto *about = new TdlgAbout(&window);
    window.SetAboutWindow(about);

    window.show();
    const QStringList files = QCoreApplication::arguments().mid(1);
    if (!files.isEmpty())
        QTimer::singleShot(0, &window, [&window, files] { window.LoadStartFiles(files); });
    return app.exec();
}
