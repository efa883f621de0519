// Help contexts are dynamic properties, so any widget, menu or action can carry one without a
// subclass. The help file is found and read when a topic is asked for, not when its name is set:
// the resources of the program may be registered later, and a help file may appear or change
// while the program runs.
#include "platform/HelpSystem.h"

#include "util/CommonDecl.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <memory>

namespace {

constexpr char kContextProperty[] = "ostrinelHelpContext";
const QString kViewerCaption = QStringLiteral("Ostrinel Help");
// A menu nested deeper than this is a loop in the menu structure.
constexpr int kMaxMenuDepth = 16;

int ActionContext(const QAction *action);

// The context of a menu, or of the menu above it when it has none of its own.
int MenuContext(const QMenu *menu, int depth = 0)
{
    if (menu == nullptr || depth > kMaxMenuDepth)
        return 0;
    if (const int own = HelpContext(menu))
        return own;
    if (const int own = HelpContext(menu->menuAction()))
        return own;
    // The menu above is the one that holds this menu's entry; a menu made with addMenu() on
    // another menu also has it as its parent.
    for (const QObject *holder : menu->menuAction()->associatedObjects())
        if (const auto *above = qobject_cast<const QMenu *>(holder))
            if (const int context = MenuContext(above, depth + 1))
                return context;
    return MenuContext(qobject_cast<const QMenu *>(menu->parentWidget()), depth + 1);
}

int ActionContext(const QAction *action)
{
    if (action == nullptr)
        return 0;
    if (const int own = HelpContext(action))
        return own;
    return action->menu() != nullptr ? MenuContext(action->menu()) : 0;
}

// The help viewer: a small window of its own showing one topic at a time.
class THelpViewer : public QWidget
{
public:
    THelpViewer() : QWidget(nullptr, Qt::Window)
    {
        setObjectName(QStringLiteral("helpViewer"));
        // Closing the main window ends the program even while help is open.
        setAttribute(Qt::WA_QuitOnClose, false);
        setWindowTitle(kViewerCaption);
        resize(560, 460);
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        m_text = new QTextBrowser(this);
        m_text->setObjectName(QStringLiteral("helpText"));
        m_text->setOpenLinks(false);
        layout->addWidget(m_text);
    }

    void ShowTopic(const tHelpTopic &topic)
    {
        setWindowTitle(kViewerCaption + QStringLiteral(" - ") + topic.Title);
        m_text->setHtml(HelpTopicHtml(topic));
        show();
        raise();
        activateWindow();
    }

private:
    QTextBrowser *m_text;
};

} // namespace

void SetHelpContext(QObject *object, int context)
{
    if (object != nullptr)
        object->setProperty(kContextProperty, context);
}

int HelpContext(const QObject *object)
{
    return object != nullptr ? object->property(kContextProperty).toInt() : 0;
}

QMap<int, tHelpTopic> ParseHelpTopics(const QByteArray &contents)
{
    QMap<int, tHelpTopic> topics;
    tHelpTopic *current = nullptr;
    const QStringList lines = QString::fromUtf8(contents).split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.startsWith(QLatin1String("@topic"))) {
            // "@topic <number> <title>": a positive number, used once, and a title.
            const QStringList parts = line.mid(6).simplified().split(QLatin1Char(0x20));
            bool isNumber = false;
            const int context = parts.value(0).toInt(&isNumber);
            const QString title = parts.mid(1).join(QLatin1Char(' ')).trimmed();
            if (!line.mid(6, 1).isEmpty() && !line.at(6).isSpace())
                isNumber = false;
            if (!isNumber || context <= 0 || title.isEmpty() || topics.contains(context))
                throw EInOutError(QStringLiteral("Error in the help file at line %1").arg(i + 1));
            current = &topics[context];
            current->Context = context;
            current->Title = title;
        } else if (current != nullptr) {
            current->Text += line + QLatin1Char('\n');
        }
    }
    for (tHelpTopic &topic : topics)
        while (topic.Text.endsWith(QLatin1String("\n\n")))
            topic.Text.chop(1);
    return topics;
}

QString HelpTopicHtml(const tHelpTopic &topic)
{
    QString html = QStringLiteral("<h2>%1</h2>\n").arg(topic.Title.toHtmlEscaped());
    enum class Block
    {
        None,
        Paragraph,
        List,
        Code
    } block = Block::None;
    const auto close = [&] {
        static const char *const ends[] = {"", "</p>\n", "</ul>\n", "</pre>\n"};
        html += QLatin1String(ends[int(block)]);
        block = Block::None;
    };
    const auto open = [&](Block wanted, const char *tag) {
        if (block != wanted) {
            close();
            html += QLatin1String(tag);
            block = wanted;
        } else if (wanted == Block::Paragraph) {
            html += QLatin1Char(' ');
        } else if (wanted == Block::Code) {
            html += QLatin1Char('\n');
        }
    };
    for (const QString &line : topic.Text.split(QLatin1Char('\n'))) {
        if (line.trimmed().isEmpty()) {
            close();
        } else if (line.startsWith(QLatin1String("## "))) {
            close();
            html += QStringLiteral("<h3>%1</h3>\n").arg(line.mid(3).trimmed().toHtmlEscaped());
        } else if (line.startsWith(QLatin1String("- "))) {
            open(Block::List, "<ul>\n");
            html += QStringLiteral("<li>%1</li>\n").arg(line.mid(2).trimmed().toHtmlEscaped());
        } else if (line.startsWith(QLatin1String("    "))) {
            open(Block::Code, "<pre>");
            QString shown = line.mid(4);
            shown.replace(QLatin1Char('\t'), QLatin1String("    "));
            html += shown.toHtmlEscaped();
        } else {
            open(Block::Paragraph, "<p>");
            html += line.trimmed().toHtmlEscaped();
        }
    }
    close();
    return html;
}

QString FindHelpFile(const QString &fileName, const QStringList &folders)
{
    if (fileName.isEmpty())
        return QString();
    const QFileInfo given(fileName);
    if (given.isAbsolute() || fileName.contains(QLatin1Char('/')))
        return given.isFile() ? given.filePath() : QString();
    for (const QString &folder : folders) {
        const QDir dir(folder);
        for (const QString &entry : dir.entryList(QDir::Files))
            if (entry.compare(fileName, Qt::CaseInsensitive) == 0)
                return dir.filePath(entry);
    }
    return QString();
}

struct THelpSystem::Impl
{
    QString FileName;
    QStringList Folders;
    bool FoldersSet = false;
    std::unique_ptr<THelpViewer> Viewer;
    std::unique_ptr<QMessageBox> Message;

    // The viewer's own report of a help file or topic that cannot be shown; it does not block.
    void Report(const QString &text)
    {
        if (!Message) {
            Message = std::make_unique<QMessageBox>(QMessageBox::Warning, kViewerCaption, text,
                                                    QMessageBox::Ok);
            Message->setObjectName(QStringLiteral("helpMessage"));
            Message->setModal(false);
            Message->setAttribute(Qt::WA_QuitOnClose, false);
        }
        Message->setText(text);
        Message->show();
        Message->raise();
    }
};

THelpSystem::THelpSystem(QObject *parent) : QObject(parent), d(new Impl) {}

THelpSystem::~THelpSystem()
{
    delete d;
}

void THelpSystem::SetHelpFile(const QString &fileName)
{
    d->FileName = fileName;
}

QString THelpSystem::HelpFile() const
{
    return d->FileName;
}

void THelpSystem::SetHelpFolders(const QStringList &folders)
{
    d->Folders = folders;
    d->FoldersSet = true;
}

void THelpSystem::ShowTopic(int context)
{
    if (context <= 0)
        return;
    // Beside the program, then where the install puts it (share/ostrinel beside bin/), then the
    // copy built into the program.
    const QString programDir = QCoreApplication::applicationDirPath();
    const QStringList folders =
        d->FoldersSet ? d->Folders
                      : QStringList{programDir, programDir + QStringLiteral("/../share/ostrinel"),
                                    QStringLiteral(":/help")};
    const QString path = FindHelpFile(d->FileName, folders);
    if (path.isEmpty()) {
        d->Report(QStringLiteral("Cannot find the help file \"%1\".").arg(d->FileName));
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        d->Report(QStringLiteral("Cannot open the help file \"%1\".").arg(path));
        return;
    }
    QMap<int, tHelpTopic> topics;
    try {
        topics = ParseHelpTopics(file.readAll());
    } catch (const Exception &error) {
        d->Report(QStringLiteral("%1 (%2).").arg(error.message(), d->FileName));
        return;
    }
    const auto topic = topics.constFind(context);
    if (topic == topics.constEnd()) {
        d->Report(
            QStringLiteral("The help file \"%1\" has no topic %2.").arg(d->FileName).arg(context));
        return;
    }
    if (!d->Viewer)
        d->Viewer = std::make_unique<THelpViewer>();
    d->Viewer->ShowTopic(*topic);
}

int THelpSystem::CurrentContext() const
{
    // While a menu is open the highlighted entry decides; other pop-ups carry no context.
    if (QWidget *popup = QApplication::activePopupWidget()) {
        const auto *menu = qobject_cast<const QMenu *>(popup);
        if (menu == nullptr)
            return 0;
        if (const int context = ActionContext(menu->activeAction()))
            return context;
        return MenuContext(menu);
    }
    QWidget *widget = QApplication::focusWidget();
    if (const auto *bar = qobject_cast<const QMenuBar *>(widget))
        if (bar->activeAction() != nullptr)
            return ActionContext(bar->activeAction());
    if (widget == nullptr)
        widget = QApplication::activeWindow();
    // The walk stops at the window: a report window does not borrow its owner's context.
    for (; widget != nullptr; widget = widget->parentWidget()) {
        if (const int context = HelpContext(widget))
            return context;
        if (widget->isWindow())
            break;
    }
    return 0;
}

void THelpSystem::Install(QApplication &app)
{
    app.installEventFilter(this);
}

bool THelpSystem::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier) {
            const int context = CurrentContext();
            if (context != 0) {
                // Close the open menus first: they hold the keyboard and would cover the viewer.
                for (int i = 0; i < kMaxMenuDepth && QApplication::activePopupWidget(); ++i)
                    QApplication::activePopupWidget()->close();
                ShowTopic(context);
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}
