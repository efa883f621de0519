// Help: the numbered topics of the program's help file, shown by our own help viewer, and the
// help contexts of windows, controls and menu entries that F1 follows.
#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

class QApplication;
class QWidget;
class QAction;
class QMenu;

// Gives a widget, menu or action a help context number (0: none).
void SetHelpContext(QObject *object, int context);
int HelpContext(const QObject *object);

// One numbered topic of a help file.
struct tHelpTopic
{
    int Context = 0;
    QString Title;
    QString Text; // the topic's lines, in the markup the help file describes
};

// Reads the topics of a help file. The format is described in the first lines of OSTRINEL.HLP:
// a line "@topic <number> <title>" starts a topic, ";" lines before the first topic are
// comments. Raises EInOutError ("Error in the help file at line n") for a bad topic line or a
// number used twice.
QMap<int, tHelpTopic> ParseHelpTopics(const QByteArray &contents);
// A topic's text as the viewer shows it (HTML).
QString HelpTopicHtml(const tHelpTopic &topic);
// Finds a help file by name, ignoring letter case: the name itself when it is a path to an
// existing file, else in each of the folders in turn. Empty when there is none.
QString FindHelpFile(const QString &fileName, const QStringList &folders);

// The application's help: the help file, the viewer, and F1 handling for the whole program.
class THelpSystem : public QObject
{
    Q_OBJECT
public:
    explicit THelpSystem(QObject *parent = nullptr);
    ~THelpSystem() override;

    // The help file is looked for, when a topic is shown, beside the program and then in the
    // program's resources (":/help").
    void SetHelpFile(const QString &fileName);
    QString HelpFile() const;
    // The folders searched for the help file; by default the program's folder and ":/help".
    void SetHelpFolders(const QStringList &folders);
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
