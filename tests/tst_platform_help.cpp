// The help system: the help file's topics, the F1 contexts of nested widgets and menus, and the
// viewer's own report of a missing help file or topic.
#include "platform/HelpSystem.h"

#include "util/CommonDecl.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

namespace {

const QString kResources = QStringLiteral(OSTRINEL_EXAMPLES "/../resources");

QByteArray ProgramHelpFile()
{
    QFile file(kResources + QStringLiteral("/OSTRINEL.HLP"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QWidget *VisibleWindow(const QString &objectName)
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->objectName() == objectName && widget->isVisible())
            return widget;
    return nullptr;
}

QString ViewerText()
{
    QWidget *viewer = VisibleWindow(QStringLiteral("helpViewer"));
    if (viewer == nullptr)
        return QString();
    return viewer->findChild<QTextBrowser *>()->toPlainText();
}

QString MessageText()
{
    auto *box = qobject_cast<QMessageBox *>(VisibleWindow(QStringLiteral("helpMessage")));
    return box != nullptr ? box->text() : QString();
}

// A window shaped like the main window: contexts on the window, the lists, their captions and
// the menus, none on the side panel, the pop-up menu or the report window.
struct MainWindowShape
{
    QMainWindow Window;
    QWidget *Panel;
    QLabel *Caption;
    QListWidget *Genes;
    QListWidget *Plain;
    QMenu *File;
    QAction *Open;
    QMenu *View;
    QMenu *Palette;
    QAction *Fire;
    QMenu *Popup;
    QAction *CheckAll;
    QWidget *Report;

    MainWindowShape()
    {
        SetHelpContext(&Window, 100);
        Panel = new QWidget(&Window);
        Window.setCentralWidget(Panel);
        Caption = new QLabel(QStringLiteral("&Genes:"), Panel);
        Genes = new QListWidget(Panel);
        Plain = new QListWidget(Panel);
        Plain->move(0, 200);
        SetHelpContext(Caption, 300);
        SetHelpContext(Genes, 300);
        File = Window.menuBar()->addMenu(QStringLiteral("&File"));
        Open = File->addAction(QStringLiteral("&Open..."));
        SetHelpContext(File, 400);
        SetHelpContext(Open, 400);
        View = Window.menuBar()->addMenu(QStringLiteral("&View"));
        SetHelpContext(View, 400);
        Palette = View->addMenu(QStringLiteral("&Palette"));
        Fire = Palette->addAction(QStringLiteral("&Fire scale"));
        Popup = new QMenu(Genes);
        CheckAll = Popup->addAction(QStringLiteral("Check &all"));
        Report = new QWidget(&Window, Qt::Window);
        new QListWidget(Report);
        Window.resize(400, 300);
        Window.show();
    }
};

bool Focus(QWidget *widget)
{
    widget->window()->show();
    widget->window()->activateWindow();
    if (!QTest::qWaitForWindowActive(widget->window()))
        return false;
    widget->setFocus();
    return QTest::qWaitFor([&] { return QApplication::focusWidget() == widget; });
}

bool Open(QMenu *menu, QAction *highlighted)
{
    menu->popup(QPoint(10, 10));
    if (!QTest::qWaitFor([&] { return QApplication::activePopupWidget() == menu; }))
        return false;
    menu->setActiveAction(highlighted);
    return true;
}

void CloseMenus()
{
    for (int i = 0; i < 8 && QApplication::activePopupWidget(); ++i)
        QApplication::activePopupWidget()->close();
}

} // namespace

class TestHelp : public QObject
{
    Q_OBJECT
private slots:
    void programTopics_data();
    void programTopics();
    void commentsAndLineEnds();
    void badTopicLines_data();
    void badTopicLines();
    void topicHtml();
    void findIgnoresCase();
    void widgetContexts();
    void menuContexts();
    void f1ShowsTopic();
    void f1OnPopupShowsNothing();
    void missingFileReported();
    void missingTopicReported();
    void cleanup();
};

void TestHelp::cleanup()
{
    CloseMenus();
}

void TestHelp::programTopics_data()
{
    QTest::addColumn<int>("context");
    QTest::addColumn<QStringList>("mentions");
    QTest::newRow("100") << 100
                         << QStringList{"Open...", "tab", "strand", "Error in the file at line"};
    QTest::newRow("300") << 300
                         << QStringList{"Inverse chromosome", "Check all",          "Check none",
                                        "Get info...",        "Align on this gene", "Double-click",
                                        "Load from file..."};
    QTest::newRow("400") << 400
                         << QStringList{"Open...",
                                        "Save graph...",
                                        "Ctrl+P",
                                        "Legend...",
                                        "Fire scale",
                                        "Gray scale",
                                        "Gene name",
                                        "Connectors",
                                        "Hide unchecked genes",
                                        "Grid",
                                        "Names only on 1st line",
                                        "Frame gene names",
                                        "Frame arrows",
                                        "Disentangle links",
                                        "Order rows",
                                        "Help contents...",
                                        "Credits..."};
}

void TestHelp::programTopics()
{
    QFETCH(int, context);
    QFETCH(QStringList, mentions);
    const QMap<int, tHelpTopic> topics = ParseHelpTopics(ProgramHelpFile());
    QCOMPARE(topics.keys(), (QList<int>{100, 300, 400}));
    const tHelpTopic topic = topics.value(context);
    QCOMPARE(topic.Context, context);
    QVERIFY(!topic.Title.isEmpty());
    for (const QString &mention : mentions)
        QVERIFY2(topic.Text.contains(mention, Qt::CaseInsensitive), qPrintable(mention));
}

void TestHelp::commentsAndLineEnds()
{
    const QByteArray file = "; a comment\r\n"
                            "text before any topic\r\n"
                            "@topic 7 First one\r\n"
                            "line a\r\n"
                            "; not a comment here\r\n"
                            "\r\n"
                            "\r\n"
                            "@topic   12   Second   topic  \n"
                            "line b";
    const QMap<int, tHelpTopic> topics = ParseHelpTopics(file);
    QCOMPARE(topics.size(), 2);
    QCOMPARE(topics[7].Title, QStringLiteral("First one"));
    QCOMPARE(topics[7].Text, QStringLiteral("line a\n; not a comment here\n"));
    QCOMPARE(topics[12].Title, QStringLiteral("Second topic"));
    QCOMPARE(topics[12].Text, QStringLiteral("line b\n"));
}

void TestHelp::badTopicLines_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("message");
    QTest::newRow("no number") << QByteArray("@topic Title") << "Error in the help file at line 1";
    QTest::newRow("no title") << QByteArray("x\n@topic 5") << "Error in the help file at line 2";
    QTest::newRow("zero") << QByteArray("@topic 0 Nothing") << "Error in the help file at line 1";
    QTest::newRow("glued") << QByteArray("@topic100 Glued") << "Error in the help file at line 1";
    QTest::newRow("twice") << QByteArray("@topic 5 A\ntext\n@topic 5 B")
                           << "Error in the help file at line 3";
}

void TestHelp::badTopicLines()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, message);
    try {
        ParseHelpTopics(file);
        QFAIL("a bad topic line was accepted");
    } catch (const EInOutError &error) {
        QCOMPARE(error.message(), message);
    }
}

void TestHelp::topicHtml()
{
    tHelpTopic topic;
    topic.Title = QStringLiteral("A <b> & c");
    topic.Text = QStringLiteral("one\ntwo\n\n## Head\n- item <1>\n- item 2\n    a\tb\nend\n");
    const QString html = HelpTopicHtml(topic);
    QCOMPARE(html, QStringLiteral("<h2>A &lt;b&gt; &amp; c</h2>\n<p>one two</p>\n<h3>Head</h3>\n"
                                  "<ul>\n<li>item &lt;1&gt;</li>\n<li>item 2</li>\n</ul>\n"
                                  "<pre>a    b</pre>\n<p>end</p>\n"));
}

void TestHelp::findIgnoresCase()
{
    QTemporaryDir empty, dir;
    QFile file(dir.filePath(QStringLiteral("Ostrinel.hlp")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QStringList folders{empty.path(), dir.path()};
    QCOMPARE(FindHelpFile(QStringLiteral("OSTRINEL.HLP"), folders), file.fileName());
    QCOMPARE(FindHelpFile(QStringLiteral("ostrinel.HLP"), folders), file.fileName());
    QCOMPARE(FindHelpFile(QStringLiteral("OTHER.HLP"), folders), QString());
    QCOMPARE(FindHelpFile(file.fileName(), {}), file.fileName());
    QCOMPARE(FindHelpFile(empty.filePath(QStringLiteral("OSTRINEL.HLP")), folders), QString());
}

void TestHelp::widgetContexts()
{
    THelpSystem help;
    MainWindowShape shape;
    QVERIFY(Focus(shape.Genes));
    QCOMPARE(help.CurrentContext(), 300);
    // A control without a context takes the window's, through the panel that has none.
    QVERIFY(Focus(shape.Plain));
    QCOMPARE(help.CurrentContext(), 100);
    // A report window is a window of its own: it does not borrow its owner's context.
    shape.Report->show();
    QVERIFY(Focus(shape.Report->findChild<QListWidget *>()));
    QCOMPARE(help.CurrentContext(), 0);
}

void TestHelp::menuContexts()
{
    THelpSystem help;
    MainWindowShape shape;
    QVERIFY(Focus(shape.Genes));
    QVERIFY(Open(shape.File, shape.Open));
    QCOMPARE(help.CurrentContext(), 400);
    CloseMenus();
    // A palette entry has no context of its own: its menu's, then the View menu's.
    QVERIFY(Open(shape.Palette, shape.Fire));
    QCOMPARE(help.CurrentContext(), 400);
    CloseMenus();
    SetHelpContext(shape.Palette, 250);
    QVERIFY(Open(shape.Palette, shape.Fire));
    QCOMPARE(help.CurrentContext(), 250);
    CloseMenus();
    // Pop-up menus carry none, though their list has one.
    QVERIFY(Open(shape.Popup, shape.CheckAll));
    QCOMPARE(help.CurrentContext(), 0);
}

void TestHelp::f1ShowsTopic()
{
    THelpSystem help;
    help.SetHelpFile(QStringLiteral("ostrinel.hlp"));
    help.SetHelpFolders({kResources});
    help.Install(*qApp);
    MainWindowShape shape;
    QVERIFY(Focus(shape.Genes));
    QTest::keyClick(shape.Genes, Qt::Key_F1);
    QVERIFY(ViewerText().contains(QStringLiteral("Inverse chromosome")));
    QCOMPARE(VisibleWindow(QStringLiteral("helpViewer"))->windowTitle(),
             QStringLiteral("Ostrinel Help - The map and the lists"));

    QVERIFY(Open(shape.Palette, shape.Fire));
    QTest::keyClick(shape.Palette, Qt::Key_F1);
    QVERIFY(ViewerText().contains(QStringLiteral("Disentangle links")));
    QCOMPARE(QApplication::activePopupWidget(), nullptr);
}

void TestHelp::f1OnPopupShowsNothing()
{
    THelpSystem help;
    help.SetHelpFile(QStringLiteral("OSTRINEL.HLP"));
    help.SetHelpFolders({kResources});
    help.Install(*qApp);
    MainWindowShape shape;
    QVERIFY(Focus(shape.Genes));
    QVERIFY(Open(shape.Popup, shape.CheckAll));
    QTest::keyClick(shape.Popup, Qt::Key_F1);
    QCOMPARE(VisibleWindow(QStringLiteral("helpViewer")), nullptr);
    QCOMPARE(MessageText(), QString());
}

void TestHelp::missingFileReported()
{
    QTemporaryDir dir;
    THelpSystem help;
    help.SetHelpFile(QStringLiteral("OSTRINEL.HLP"));
    help.SetHelpFolders({dir.path()});
    help.ShowTopic(100);
    QCOMPARE(MessageText(), QStringLiteral("Cannot find the help file \"OSTRINEL.HLP\"."));
    QCOMPARE(VisibleWindow(QStringLiteral("helpViewer")), nullptr);
}

void TestHelp::missingTopicReported()
{
    THelpSystem help;
    help.SetHelpFile(QStringLiteral("OSTRINEL.HLP"));
    help.SetHelpFolders({kResources});
    help.ShowTopic(250);
    QCOMPARE(MessageText(), QStringLiteral("The help file \"OSTRINEL.HLP\" has no topic 250."));
    help.ShowTopic(100);
    QCOMPARE(VisibleWindow(QStringLiteral("helpViewer"))->windowTitle(),
             QStringLiteral("Ostrinel Help - Ostrinel"));
    QVERIFY(ViewerText().contains(QStringLiteral("Opening a file")));
    // Neither window keeps the program running once the main window is closed.
    QVERIFY(!VisibleWindow(QStringLiteral("helpViewer"))->testAttribute(Qt::WA_QuitOnClose));
    QVERIFY(!VisibleWindow(QStringLiteral("helpMessage"))->testAttribute(Qt::WA_QuitOnClose));
}

QTEST_MAIN(TestHelp)
#include "tst_platform_help.moc"
