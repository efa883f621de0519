// The main window against hostile files and commands that overflow: a load or command that
// fails shows one clear message and leaves the catalogue, the view state, both check lists and
// the rows on the map as they were; huge labels, a hundred thousand chromosomes and one gene on
// every chromosome load, draw and disentangle.
#include "ChartShot.h"
#include "app/TChartWidget.h"
#include "app/TdlgOstrinel.h"
#include "chart/TChart.h"
#include "core/Catalogue.h"

#include <QFileDialog>
#include <QListWidget>
#include <QPrintDialog>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sys/stat.h>

namespace {

// Genes sort as "???", ABC, DEF, GHI.
const QByteArray kThreeRows = "chr1\t100\t500\t1\tabc\tfirst\n"
                              "chr1\t600\t900\t-1\tdef\n"
                              "chr2\t50\t300\t1\tabc\n"
                              "chr2\t400\t700\t1\tghi\n"
                              "chr3\t10\t200\t1\tdef\n"
                              "chr3\t300\t350\t1\n";

// Aligning on G moves A right by 10^9 (B's Y then starts the map), which puts X past 2^31.
const QByteArray kAlignOverflows = "A\t0\t1000000000\t1\tg\n"
                                   "A\t2000000000\t2000000001\t1\tx\n"
                                   "B\t1000000000\t2000000000\t1\tg\n"
                                   "B\t0\t10\t1\ty\n";

// Once aligned on K with the view scrolled to 2147483647, W of row A stands at -2147483648,
// which has no mirror image: reversing A fails, and so does disentangling, which turns A
// (its H, K, W run against those of P).
const QByteArray kMirrorOverflows = "Q\t1\t1000000000\t1\tk\n"
                                    "P\t100\t150\t1\th\n"
                                    "P\t200\t250\t1\tw\n"
                                    "A\t1000\t1000000000\t1\th\n"
                                    "A\t-4\t500\t1\tk\n"
                                    "A\t-5\t0\t1\tw\n";

QString Describe(const TCatalogue &c)
{
    QStringList lines;
    lines << QStringLiteral("records %1 max %2").arg(c.FRecordCount).arg(c.FMaxGeneCount);
    for (const QByteArray &name : c.FChromosomeNames)
        lines << QStringLiteral("chromosome ") + QString::fromLatin1(name.toHex());
    for (std::size_t g = 0; g < c.FGeneNames.size(); ++g)
        lines << QStringLiteral("gene %1 %2")
                     .arg(QString::fromLatin1(c.FGeneNames[g]))
                     .arg(g < c.FGeneCounts.size() ? c.FGeneCounts[g] : 0);
    for (const ChromosomeView &v : c.FChromosomes)
        lines << QStringLiteral("view %1 %2 %3 %4 %5")
                     .arg(v.ChromosomeIndex)
                     .arg(v.Inverted)
                     .arg(v.Offset)
                     .arg(v.MinCoord)
                     .arg(v.MaxCoord);
    for (const std::vector<tGene> &row : c.FRecords)
        for (const tGene &r : row)
            lines << QStringLiteral("%1 %2 %3 %4 %5")
                         .arg(r.ChromosomeIndex)
                         .arg(r.GeneIndex)
                         .arg(r.Start)
                         .arg(r.End)
                         .arg(QString::fromLatin1(r.GeneName));
    return lines.join('\n');
}

QString Describe(const QListWidget *list)
{
    QStringList lines;
    for (int i = 0; i < list->count(); ++i)
        lines
            << QStringLiteral("%1 %2").arg(list->item(i)->text()).arg(list->item(i)->checkState());
    return lines.join('\n');
}

QString Describe(const TChart &chart)
{
    QStringList lines;
    lines << QStringLiteral("left %1..%2").arg(chart.LeftAxis.Minimum).arg(chart.LeftAxis.Maximum);
    for (int s = 1; s < chart.SeriesCount(); ++s) {
        const TArrowSeries &row = chart.Series(s);
        lines << QStringLiteral("row %1 tag %2").arg(QString::fromLatin1(row.Title)).arg(row.Tag);
        for (int p = 0; p < row.Count(); ++p)
            lines << QStringLiteral("  %1..%2 %3 %4")
                         .arg(qint64(row.StartX(p)))
                         .arg(qint64(row.EndX(p)))
                         .arg(QString::fromLatin1(row.Label(p)))
                         .arg(row.Color(p), 0, 16);
    }
    return lines.join('\n');
}

TArrowSeries *RowOf(TChart &chart, qint32 chromosome)
{
    for (int i = 1; i < chart.SeriesCount(); ++i)
        if (chart.Series(i).Tag == chromosome)
            return &chart.Series(i);
    return nullptr;
}

} // namespace

class TestHostileWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void failedLoadKeepsEverything_data();
    void failedLoadKeepsEverything();
    void alignThatOverflowsKeepsEverything();
    void mirrorThatOverflowsKeepsEverything();
    void hugeLabels();
    void hundredThousandChromosomes();
    void disentangleOneGeneEverywhere_data();
    void disentangleOneGeneEverywhere();

private:
    // Everything a failed command must leave as it was, as text.
    struct TShown
    {
        QString Catalogue, Chromosomes, Genes, Rows;
        std::vector<const TArrowSeries *> Series;
    };
    TShown Shown();
    void CompareShown(const TShown &before, bool sameSeries);
    QString Fixture(const QString &name, const QByteArray &content);
    QString Load(const QByteArray &content);
    void RightPress(qint32 chromosome, double value);

    TdlgOstrinel &Window() { return *m_window; }
    QAction *Action(const char *name) { return m_window->findChild<QAction *>(name); }
    QListWidget *List(const char *name) { return m_window->findChild<QListWidget *>(name); }
    TChart &Chart() { return m_window->ChartWidget()->Chart(); }

    QTemporaryDir m_dir;
    std::unique_ptr<TdlgOstrinel> m_window;
    QStringList m_errors;
};

void TestHostileWindow::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestHostileWindow::init()
{
    m_errors.clear();
    m_window = std::make_unique<TdlgOstrinel>(nullptr);
    m_window->SetErrorReporter([this](const QString &text) { m_errors << text; });
    m_window->SetFileChooser([](QFileDialog &) { return QString(); });
    m_window->SetPrintDialogRunner([](QPrintDialog &) { return false; });
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestHostileWindow::cleanup()
{
    m_window.reset();
}

QString TestHostileWindow::Fixture(const QString &name, const QByteArray &content)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content) != content.size())
        qFatal("cannot write fixture %s", qPrintable(path));
    return path;
}

QString TestHostileWindow::Load(const QByteArray &content)
{
    const QString path = Fixture(QStringLiteral("good.txt"), content);
    Window().LoadFile(path);
    return path;
}

TestHostileWindow::TShown TestHostileWindow::Shown()
{
    TShown shown{Describe(Window().Catalogue()),
                 Describe(List("cklChromosomes")),
                 Describe(List("cklGenes")),
                 Describe(Chart()),
                 {}};
    for (int s = 1; s < Chart().SeriesCount(); ++s)
        shown.Series.push_back(&Chart().Series(s));
    return shown;
}

// sameSeries: the chart was not rebuilt at all (else rebuilt to the same rows and points).
void TestHostileWindow::CompareShown(const TShown &before, bool sameSeries)
{
    const TShown now = Shown();
    QCOMPARE(now.Catalogue, before.Catalogue);
    QCOMPARE(now.Chromosomes, before.Chromosomes);
    QCOMPARE(now.Genes, before.Genes);
    QCOMPARE(now.Rows, before.Rows);
    if (sameSeries)
        QVERIFY(now.Series == before.Series);
}

void TestHostileWindow::RightPress(qint32 chromosome, double value)
{
    TArrowSeries *row = RowOf(Chart(), chromosome);
    QVERIFY(row);
    Window().chChrMapClickSeries(*row, 0, Qt::RightButton, Qt::NoModifier,
                                 Chart().ValueToPixel(Chart().BottomAxis, value),
                                 Chart().ValueToPixel(Chart().LeftAxis, -(chromosome + 1)));
    Window().PopArrows()->hide();
}

void TestHostileWindow::failedLoadKeepsEverything_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("change"); // what happens to the file between dialog and load
    QTest::addColumn<QString>("message");
    const QString none;
    const QString overflow = QStringLiteral("Integer overflow.");
    QTest::newRow("a bad line after ten million empty lines")
        << QByteArray("\n").repeated(10000000) + "c\t1\t2 \t1\n"
        << none << "Error in the file at line 10000001.";
    QTest::newRow("a bad line after a line of 100 MB")
        << QByteArray(100 << 20, 'q') + "\n\n\nc\t1\t2\t1\tg\nc\t$\t2\t1\n"
        << none << "Error in the file at line 5.";
    QTest::newRow("one chromosome spans -2147483647..2147483647")
        << QByteArray("a\t1\t2\t1\nb\t-2147483647\t0\t1\tg\nb\t2147483647\t2147483647\t1\n") << none
        << overflow;
    QTest::newRow("the least coordinate")
        << QByteArray("a\t1\t2\t1\nb\t$80000000\t0\t1\n") << none << overflow;
    QTest::newRow("2147483648") << QByteArray("a\t1\t2\t1\n\nb\t2147483648\t0\t1\n") << none
                                << "Error in the file at line 3.";
    QTest::newRow("-2147483649") << QByteArray("a\t-2147483649\t2\t1\n") << none
                                 << "Error in the file at line 1.";
    QTest::newRow("NUL in a number") << QByteArray("a\t1\t2\t1\n\0\nb\t1\0\t0\t1\n", 19) << none
                                     << "Error in the file at line 3.";
    QByteArray junk(1 << 20, Qt::Uninitialized);
    QRandomGenerator random(7);
    for (char &b : junk)
        b = char(random.generate() & 0xFF);
    QTest::newRow("random binary block") << junk << none << QString();
    QTest::newRow("vanishes") << kThreeRows << "remove"
                              << "Cannot open file \"%1\": No such file "
                                 "or directory.";
    QTest::newRow("becomes a folder") << kThreeRows << "folder"
                                      << "Cannot open file \"%1\": Is a directory.";
    QTest::newRow("becomes a FIFO") << kThreeRows << "fifo"
                                    << "Cannot open file \"%1\": Not a regular file.";
}

// A load that fails, also when the file changes between the dialog and the load, leaves the
// previous file's catalogue, its view state, both lists as the user left them and the map's
// rows untouched.
void TestHostileWindow::failedLoadKeepsEverything()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, change);
    QFETCH(QString, message);
    Load(kThreeRows);
    List("cklGenes")->item(2)->setCheckState(Qt::Unchecked);
    List("cklChromosomes")->item(1)->setCheckState(Qt::Unchecked);
    List("cklChromosomes")->setCurrentRow(2);
    Action("popInverseChromosome")->trigger();
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
    QVERIFY(Window().Catalogue().FChromosomes[2].Inverted);
    const TShown before = Shown();

    const QString path = Fixture(QStringLiteral("hostile.txt"), content);
    if (message.isEmpty()) {
        try {
            ParseCoordinateText(content);
            QFAIL("the random block reads without error");
        } catch (const Exception &e) {
            message = e.message() + '.';
        }
    }
    Window().SetFileChooser([&](QFileDialog &) {
        // The user chose the file; then another program changes it.
        if (change == QStringLiteral("remove")) {
            QFile::remove(path);
        } else if (change == QStringLiteral("folder")) {
            QFile::remove(path);
            QDir(m_dir.path()).mkdir(QStringLiteral("hostile.txt"));
        } else if (change == QStringLiteral("fifo")) {
            QFile::remove(path);
            ::mkfifo(QFile::encodeName(path).constData(), 0600);
        }
        return path;
    });
    Action("mnuOpen")->trigger();
    QDir(m_dir.path()).rmdir(QStringLiteral("hostile.txt"));
    QFile::remove(path);

    QCOMPARE(m_errors, QStringList{message.contains("%1") ? message.arg(path) : message});
    CompareShown(before, true);
    // And the map still answers: a later command works on the old catalogue.
    List("cklChromosomes")->item(1)->setCheckState(Qt::Checked);
    QCOMPARE(Chart().SeriesCount(), 4);
    QCOMPARE(m_errors.size(), 1);
}

// The second step of an alignment overflows: the offsets go back, and the map the first step
// had drawn is drawn again as it was before the command.
void TestHostileWindow::alignThatOverflowsKeepsEverything()
{
    Load(kAlignOverflows);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
    const TShown before = Shown();
    const QImage picture = ChartShot(Window().ChartWidget());
    RightPress(0, 5e8);
    QCOMPARE(Window().ClickedRecord(), 0);
    QVERIFY(Action("popAlign")->isEnabled());
    Action("popAlign")->trigger();
    QCOMPARE(m_errors, QStringList{QStringLiteral("Integer overflow.")});
    CompareShown(before, false);
    // The same picture, connectors included: the failed command does not leave them switched off.
    QCOMPARE(ChartShot(Window().ChartWidget()), picture);
}

// Mirroring a row that stands at -2147483648 overflows, in Inverse and in Disentangle alike;
// the check fails before the chart is touched.
void TestHostileWindow::mirrorThatOverflowsKeepsEverything()
{
    Load(kMirrorOverflows);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
    RightPress(0, 5e8); // K on Q
    QCOMPARE(Window().ClickedRecord(), 0);
    // The user has scrolled the map: the alignment takes the left end of the view.
    Chart().SetAxisRange(Chart().BottomAxis, 2147483647.0, 2147483647.0 + 1e9);
    Action("popAlign")->trigger();
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
    QCOMPARE(Window().Catalogue().FChromosomes[2].Offset, 4 - 2147483647);
    const TShown before = Shown();

    List("cklChromosomes")->setCurrentRow(2);
    Action("popInverseChromosome")->trigger();
    QCOMPARE(m_errors, QStringList{QStringLiteral("Integer overflow.")});
    CompareShown(before, true);

    Action("mnuDisentangle")->trigger();
    QCOMPARE(m_errors.size(), 2);
    QCOMPARE(m_errors.last(), QStringLiteral("Integer overflow."));
    CompareShown(before, true);

    // Unchecked, the row still cannot be turned: it would fail to draw once checked again.
    List("cklChromosomes")->item(2)->setCheckState(Qt::Unchecked);
    const TShown unchecked = Shown();
    Action("popInverseChromosome")->trigger();
    QCOMPARE(m_errors.size(), 3);
    CompareShown(unchecked, true);
    List("cklChromosomes")->item(2)->setCheckState(Qt::Checked);
    QCOMPARE(m_errors.size(), 3);
    QCOMPARE(Shown().Rows, before.Rows);
}

// Names of megabytes load, fill the lists and draw; nothing waits on their length.
void TestHostileWindow::hugeLabels()
{
    const QByteArray chromosome = QByteArray("chr") + QByteArray(4 << 20, 'c');
    const QByteArray gene = QByteArray("g") + QByteArray(4 << 20, 'W');
    QByteArray text = "small\t1\t100\t1\t" + gene + "\n";
    text += chromosome + "\t50\t400\t1\t" + gene + "\tcomment " + QByteArray(1 << 20, 'x') + "\n";
    text += chromosome + "\t500\t900\t-1\tshort\n";
    Load(text);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
    QCOMPARE(List("cklChromosomes")->count(), 2);
    // The lists show as much of a name as can show, and say that it goes on.
    const QString shown = List("cklChromosomes")->item(1)->text();
    QCOMPARE(shown.size(), kLongestDisplayText);
    QVERIFY(shown.startsWith(QStringLiteral("chrccc")));
    QVERIFY(shown.endsWith(QStringLiteral("c\u2026")));
    QCOMPARE(List("cklGenes")->item(0)->text(), DisplayText(gene.toUpper()));
    // The catalogue and the map keep the whole names.
    QCOMPARE(Window().Catalogue().FChromosomeNames[1], chromosome);
    QCOMPARE(Chart().SeriesCount(), 3);
    QCOMPARE(Chart().Series(2).Title, chromosome);
    QCOMPARE(Chart().Series(2).Label(0), gene.toUpper());
    // Drawn on screen and into a picture, and again after a rebuild with the names moved.
    const QImage picture = ChartShot(Window().ChartWidget());
    QVERIFY(!picture.isNull());
    Action("mnuFirstLineNames")->trigger();
    Action("mnuHideGenes")->trigger();
    List("cklGenes")->item(0)->setCheckState(Qt::Unchecked);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
    QCOMPARE(Chart().Series(2).Count(), 1);
}

// A hundred thousand one-record chromosomes: one row each, drawn, and disentangled.
void TestHostileWindow::hundredThousandChromosomes()
{
    constexpr int n = 100000;
    QByteArray text;
    for (int i = 0; i < n; ++i)
        text += "c" + QByteArray::number(i) + "\t" + QByteArray::number(i) + "\t" +
                QByteArray::number(2 * i + 5) + "\t1\t" + (i % 3 ? "g" : "s") +
                QByteArray::number(i % 1000) + "\n";
    Load(text);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
    QCOMPARE(List("cklChromosomes")->count(), n);
    QCOMPARE(Chart().SeriesCount(), n + 1);
    QCOMPARE(Chart().LeftAxis.Minimum, double(-(n + 1)));
    QCOMPARE(RowOf(Chart(), n - 1)->EndX(0), double(n + 4));
    // Each chromosome carries one gene of 1,000: vectors of 1,000 positions with one of them
    // set, which now costs the records, not the chromosomes times the gene names.
    Action("mnuDisentangle")->trigger();
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
    QCOMPARE(Chart().SeriesCount(), n + 1);
    QVERIFY(!Window().Catalogue().FChromosomes[0].Inverted);
}

void TestHostileWindow::disentangleOneGeneEverywhere_data()
{
    QTest::addColumn<QByteArray>("gene");
    QTest::newRow("one gene name") << QByteArray("only");
    QTest::newRow("only ???") << QByteArray();
}

// Gene-position vectors of one element have no ranks: no row is turned, also none that was
// turned by hand, and no error comes up.
void TestHostileWindow::disentangleOneGeneEverywhere()
{
    QFETCH(QByteArray, gene);
    QByteArray text;
    for (int i = 0; i < 500; ++i)
        text += "c" + QByteArray::number(i) + "\t" + QByteArray::number(1000 - i) + "\t" +
                QByteArray::number((i * 37) % 1000) + "\t1\t" + gene + "\n" + "c" +
                QByteArray::number(i) + "\t5\t6\t1\t" + gene + "\n";
    Load(text);
    QCOMPARE(Window().Catalogue().FGeneNames.size(), std::size_t(1));
    for (int row : {1, 7, 499}) {
        List("cklChromosomes")->setCurrentRow(row);
        Action("popInverseChromosome")->trigger();
    }
    QVERIFY(Window().Catalogue().FChromosomes[7].Inverted);
    Action("mnuDisentangle")->trigger();
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
    for (const ChromosomeView &v : Window().Catalogue().FChromosomes)
        QVERIFY(!v.Inverted);
    // Every row as loaded again: from 0 to the right.
    for (int s = 1; s < Chart().SeriesCount(); ++s)
        for (int p = 0; p < Chart().Series(s).Count(); ++p)
            QVERIFY(Chart().Series(s).StartX(p) >= 0);
}

QTEST_MAIN(TestHostileWindow)
#include "tst_gui_hostile.moc"
