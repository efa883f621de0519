// The about window as start-up makes it: caption, layout, version line and its two pictures
// from the program's resources; and the embedded help file found by its other spelling.
#include "app/TdlgAbout.h"
#include "platform/EmfPicture.h"
#include "platform/HelpSystem.h"
#include "platform/PictureLoader.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>

namespace {

int NonGreyPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAbs(qRed(p) - qBlue(p)) > 40)
                ++count;
        }
    return count;
}

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT
private slots:
    void withoutJpegLoader();
    void layout_data();
    void layout();
    void texts();
    void pictures();
    void shownTwice();
    void embeddedHelpFile();
};

void TestAbout::withoutJpegLoader()
{
    // Start-up registers the loaders before the window is made; without them it cannot be.
    UnregisterPictureLoader(QStringLiteral("jpg"));
    UnregisterPictureLoader(QStringLiteral("jpeg"));
    QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, TdlgAbout{});
    RegisterPictureLoaders();
}

void TestAbout::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("left panel") << "Panel1" << QRect(8, 8, 217, 209);
    QTest::newRow("JPEG picture") << "Image1" << QRect(2, 2, 213, 205);
    QTest::newRow("right panel") << "Panel2" << QRect(232, 8, 377, 209);
    QTest::newRow("name") << "lblName" << QRect(2, 2, 373, 63);
    QTest::newRow("version") << "lblVersion" << QRect(2, 65, 373, 13);
    // Designed at (272, 138) of the window: on the right panel's left part, down to its bottom.
    QTest::newRow("EMF picture") << "Image2" << QRect(40, 130, 137, 79);
}

void TestAbout::layout()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    TdlgAbout about;
    QWidget *child = about.findChild<QWidget *>(name);
    QVERIFY(child != nullptr);
    QCOMPARE(child->geometry(), geometry);
}

void TestAbout::texts()
{
    TdlgAbout about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About Ostrinel"));
    QCOMPARE(about.frameGeometry(), QRect(659, 272, 621, 251));
    QVERIFY(!about.isVisible());
    QCOMPARE(about.findChild<QLabel *>(QStringLiteral("lblVersion"))->text(),
             QStringLiteral("Version 1.0.10.26"));
    const QLabel *name = about.findChild<QLabel *>(QStringLiteral("lblName"));
    QCOMPARE(name->text(), QStringLiteral("Ostrinel"));
    QCOMPARE(name->font().family(), QStringLiteral("Times New Roman"));
    QCOMPARE(name->font().pixelSize(), 48);
    QVERIFY(name->font().bold() && name->font().italic());
    QVERIFY(about.findChildren<QAbstractButton *>().isEmpty());
    QCOMPARE(HelpContext(&about), 0);
}

void TestAbout::pictures()
{
    TdlgAbout about;
    const QLabel *jpeg = about.findChild<QLabel *>(QStringLiteral("Image1"));
    QCOMPARE(jpeg->pixmap().size(), QSize(320, 284));
    QVERIFY(jpeg->hasScaledContents());
    const auto *emf = about.findChild<TEmfPictureView *>(QStringLiteral("Image2"));
    QVERIFY(emf != nullptr);
    QCOMPARE(emf->Picture().Size(), QSize(137, 79));

    about.show();
    // The panel shows the second picture whole.
    QCOMPARE(emf->visibleRegion(), QRegion(emf->rect()));
    const QImage shot = about.grab().toImage();
    // The coloured arrows of both pictures are on screen, inside their own places.
    QVERIFY(NonGreyPixels(shot.copy(10, 10, 213, 205)) > 500);
    QVERIFY(NonGreyPixels(shot.copy(272, 138, 137, 79)) > 200);
    QCOMPARE(NonGreyPixels(shot.copy(420, 100, 180, 100)), 0);
}

void TestAbout::shownTwice()
{
    TdlgAbout about;
    for (int i = 0; i < 2; ++i) {
        QTimer::singleShot(0, &about, &QDialog::reject);
        about.exec();
        QVERIFY(!about.isVisible());
        QCOMPARE(about.findChild<QLabel *>(QStringLiteral("lblVersion"))->text(),
                 QStringLiteral("Version 1.0.10.26"));
    }
}

void TestAbout::embeddedHelpFile()
{
    RegisterProgramResources();
    const QString path = FindHelpFile(QStringLiteral("Ostrinel.hlp"), {QStringLiteral(":/help")});
    QCOMPARE(path, QStringLiteral(":/help/OSTRINEL.HLP"));
}

QTEST_MAIN(TestAbout)
#include "tst_gui_about.moc"
