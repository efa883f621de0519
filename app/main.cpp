// Program entry: the application settings, then the main window (created first, so closing it
// ends the program), then the about window, hidden until "&Credits...", then the message loop.
#include "app/TdlgAbout.h"
#include "app/TdlgOstrinel.h"
#include "platform/HelpSystem.h"
#include "platform/PictureLoader.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    RegisterPictureLoaders();

    THelpSystem help;
    help.SetHelpFile(QStringLiteral("OSTRINEL.HLP"));
    help.Install(app);
    // The title only: a display name would be appended to every window's caption.
    QApplication::setApplicationName(QStringLiteral("Ostrinel"));

    TdlgOstrinel window(&help);
    // Owned by the main window, so it lives exactly as long and shares its end.
    auto *about = new TdlgAbout(&window);
    window.SetAboutWindow(about);

    window.show();
    return app.exec();
}
