// Help: the numbered topics of the program's help file, shown by our own help viewer, and the
// help contexts of windows, controls and menu entries that F1 follows.
#pragma once

#include <QObject>
#include <QString>

class QApplication;
class QWidget;
class QAction;
class QMenu;

// Gives a widget, menu or action a help context number (0: none).
void SetHelpContext(QObject *object, int context);
int HelpContext(const QObject *object);

// The application's help: the help file, the viewer, and F1 handling for the whole program.
class THelpSystem : public QObject
{
    Q_OBJECT
public:
    explicit THelpSystem(QObject *parent = nullptr);
    ~THelpSystem() override;

    void SetHelpFile(const QString &fileName);
    QString HelpFile() const;
    // Shows a numbered topic of the help file; a missing file or topic is reported by the viewer.
    void ShowTopic(int context);
    // The context F1 shows now: the highlighted menu entry (or its menu), else the focused
    // widget or its nearest ancestor with a context; 0 for none.
    int CurrentContext() const;
    // Installs the F1 handling on the application.
    void Install(QApplication &app);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Impl;
    Impl *d;
};
