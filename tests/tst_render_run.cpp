// The batch renderer run in-process: every picture type read back by an independent reader
// (rsvg-convert for SVG, pdftoppm and pdffonts for PDF, Qt's own image readers), each option's
// effect seen in the picture or the row report, and the error cases with their exit statuses.
#include "core/Catalogue.h"
#include "map/RowReport.h"
#include "render/RenderRun.h"

#include <QBuffer>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <sys/stat.h>

namespace {
const QString kDemo = QStringLiteral(OSTRINEL_EXAMPLES "/demo.txt");

struct TRun
{
    int Status = -1;
    QByteArray Out;
    QByteArray Err;
};

TRun Run(const QStringList &arguments)
{
    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    TRun run;
    run.Status = RunRender(QStringList{"ostrinel-render"} + arguments, out, err);
    run.Out = out.data();
    run.Err = err.data();
    return run;
}

// What an outside program makes of a file: its standard output, or a failed test.
QByteArray Outside(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        qWarning("%s failed: %s", qPrintable(program), process.readAllStandardError().constData());
    return process.exitCode() == 0 ? process.readAllStandardOutput() : QByteArray("failed");
}

// The SVG's row groups: their titles, and the texts drawn in each; texts outside rows apart.
struct TSvgRows
{
    QStringList Titles;
    QList<QStringList> Texts;
    QStringList Outside;
};

TSvgRows SvgRows(const QByteArray &svg)
{
    TSvgRows rows;
    QXmlStreamReader xml(svg);
    int rowDepth = -1;
    int depth = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            ++depth;
            if (xml.name() == u"g" && xml.attributes().value("id").startsWith(u"row-")) {
                rowDepth = depth;
                rows.Texts << QStringList();
            } else if (xml.name() == u"title" && rowDepth == depth - 1) {
                rows.Titles << xml.readElementText();
                --depth;
            } else if (xml.name() == u"text") {
                (rowDepth >= 0 ? rows.Texts.last() : rows.Outside) << xml.readElementText();
                --depth;
            }
        } else if (xml.isEndElement()) {
            if (depth-- == rowDepth)
                rowDepth = -1;
        }
    }
    if (xml.hasError())
        rows.Titles << QStringLiteral("XML error: ") + xml.errorString();
    return rows;
}

// The report as rows of fields, heading left out.
QList<QStringList> Report(const QByteArray &text)
{
    QList<QStringList> lines;
    for (const QByteArray &line : text.split('\n').mid(1))
        if (!line.isEmpty())
            lines << QString::fromUtf8(line).split(QLatin1Char('\t'));
    return lines;
}
} // namespace

class TestRender : public QObject
{
    Q_OBJECT
private slots:
    void pictures_data();
    void pictures();
    void errors_data();
    void errors();
    void outputsOfTheProcess_data();
    void outputsOfTheProcess();
    void crossings();
    void crossingsPast64Bits();
    void groupsInRowReport_data();
    void groupsInRowReport();
    void alignOnFirstGeneOfList();
    void disentangleAddsNoCrossing_data();
    void disentangleAddsNoCrossing();
    void blocksReport_data();
    void blocksReport();
    void orderAuto_data();
    void orderAuto();
};

void TestRender::pictures_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("output");
    QTest::newRow("svg") << QStringList{} << "map.svg";
    QTest::newRow("pdf") << QStringList{"--size", "901x433"} << "map.pdf";
    QTest::newRow("png scale 3") << QStringList{"--size", "400x200", "--scale", "3"} << "map.png";
    QTest::newRow("bmp") << QStringList{"--size", "333x222"} << "map.bmp";
    QTest::newRow("gray, no names")
        << QStringList{"--palette", "gray", "--no-gene-names"} << "gray.png";
    QTest::newRow("chromosomes") << QStringList{"--chromosomes", "tavC_chrII,velA_chr1"}
                                 << "two.svg";
    QTest::newRow("genes hidden") << QStringList{"--genes", "ROGA,HEPK", "--hide-unchecked"}
                                  << "genes.svg";
    QTest::newRow("genes numbered") << QStringList{"--genes", "ROGA"} << "numbered.svg";
    QTest::newRow("zoom") << QStringList{"--zoom", "40000:90000"} << "zoom.svg";
    QTest::newRow("disentangle") << QStringList{"--disentangle", "--report", "-"} << "d.emf";
    QTest::newRow("inverse") << QStringList{"--inverse", "murB_chr3", "--report", "-"} << "i.wmf";
    QTest::newRow("align") << QStringList{"--align", "dulA", "--report", "-"} << "a.png";
}

void TestRender::pictures()
{
    QFETCH(QStringList, options);
    QFETCH(QString, output);
    QTemporaryDir dir;
    const QString path = dir.filePath(output);
    const TRun run = Run(options + QStringList{kDemo, path});
    QCOMPARE(run.Err, QByteArray());
    QCOMPARE(run.Status, kRenderDone);
    const TCatalogue catalogue = LoadCatalogue(kDemo);
    QStringList names;
    for (const QByteArray &name : catalogue.FChromosomeNames)
        names << DisplayText(name);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QString tag = QTest::currentDataTag();

    if (output.endsWith(".svg")) {
        QVERIFY(Outside("xmllint", {"--noout", path}) != "failed");
        const TSvgRows rows = SvgRows(bytes);
        const QImage drawn = QImage::fromData(Outside("rsvg-convert", {"-f", "png", path}), "PNG");
        QCOMPARE(drawn.size(), QSize(1600, 900));
        if (tag == "svg") {
            QCOMPARE(rows.Titles, names);
            for (const QString &name : names)
                QVERIFY2(rows.Outside.contains(name), qPrintable(name));
            QVERIFY(rows.Texts.value(0).contains("ROGA"));
        } else if (tag == "chromosomes") {
            QCOMPARE(rows.Titles, (QStringList{"velA_chr1", "tavC_chrII"}));
        } else if (tag.startsWith("genes")) {
            const bool numbered = tag == "genes numbered";
            for (const QStringList &texts : rows.Texts)
                for (const QString &text : texts) {
                    bool number = false;
                    text.toInt(&number);
                    QVERIFY2(text == "ROGA" || (!numbered && text == "HEPK") ||
                                 (numbered && number),
                             qPrintable(text));
                }
        } else if (tag == "zoom") {
            for (const QString &text : rows.Outside)
                if (!names.contains(text))
                    QVERIFY2(text.toDouble() >= 40000 && text.toDouble() <= 90000,
                             qPrintable(text));
        }
    } else if (output.endsWith(".pdf")) {
        const QImage drawn =
            QImage::fromData(Outside("pdftoppm", {"-r", "72", "-png", "-singlefile", path}), "PNG");
        QCOMPARE(drawn.size(), QSize(901, 433));
        const QList<QByteArray> fonts = Outside("pdffonts", {path}).split('\n').mid(2);
        QVERIFY(!fonts.value(0).isEmpty());
        for (const QByteArray &font : fonts)
            if (!font.isEmpty())
                QVERIFY2(font.simplified().split(' ').value(4) == "yes", font.constData());
    } else if (tag == "png scale 3" || tag == "bmp") {
        const QImage image = QImage::fromData(bytes);
        QCOMPARE(image.size(), tag == "bmp" ? QSize(333, 222) : QSize(1200, 600));
        if (tag != "bmp")
            QCOMPARE(qRound(image.dotsPerMeterX() * 0.0254), 288);
    } else if (tag == "gray, no names") {
        const QImage image = QImage::fromData(bytes).convertToFormat(QImage::Format_RGB32);
        int colours = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                colours += qGray(image.pixel(x, y)) != qRed(image.pixel(x, y)) ||
                           qRed(image.pixel(x, y)) != qBlue(image.pixel(x, y));
        QCOMPARE(colours, 0);
        // Gene names and connectors are separate switches: without names the connectors show,
        // and only they differ from the same map drawn without them.
        const QString bare = dir.filePath(QStringLiteral("bare.png"));
        QCOMPARE(Run(options + QStringList{"--no-connectors", kDemo, bare}).Status, kRenderDone);
        QImage without(bare);
        QVERIFY(!without.isNull());
        QVERIFY(image != without.convertToFormat(QImage::Format_RGB32));
    }

    if (!options.contains("--report"))
        return;
    const QList<QStringList> report = Report(run.Out);
    QCOMPARE(report.size(), names.size());
    for (int r = 0; r < report.size(); ++r) {
        QCOMPARE(report[r].size(), 10);
        QCOMPARE(report[r][0], names[r]);
        const bool inverted = report[r][2] == "yes";
        if (tag == "disentangle" && r > 0)
            QCOMPARE(inverted != (report[r - 1][2] == "yes"), report[r][6].toDouble() < 0);
        if (tag == "inverse")
            QCOMPARE(inverted, names[r] == "murB_chr3");
    }
    if (tag == "align") {
        // Every row carrying the gene has its first record of it at one map position.
        QSet<qint64> positions;
        for (int r = 0; r < report.size(); ++r)
            for (const tGene &record : catalogue.FRecords[std::size_t(r)])
                if (catalogue.FGeneNames[std::size_t(record.GeneIndex)] == "DULA") {
                    positions << qint64(record.Start) + report[r][3].toLongLong();
                    break;
                }
        QCOMPARE(positions.size(), 1);
    }
}

void TestRender::errors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const QString bad = QStringLiteral("BAD");
    QTest::newRow("unknown option") << QStringList{"--bogus", kDemo, "OUT.png"} << 2 << "bogus";
    QTest::newRow("bad size") << QStringList{"--size", "0x9", kDemo, "OUT.png"} << 2 << "--size";
    QTest::newRow("bad zoom") << QStringList{"--zoom", "9:1", kDemo, "OUT.png"} << 2 << "--zoom";
    QTest::newRow("jpg") << QStringList{kDemo, "OUT.jpg"} << 2 << ".svg, .pdf, .png";
    QTest::newRow("vector scale") << QStringList{"--scale", "2", kDemo, "OUT.svg"} << 2
                                  << "--scale";
    QTest::newRow("no output") << QStringList{kDemo} << 2 << "No output file";
    QTest::newRow("bad links") << QStringList{"--links", "bands", kDemo, "OUT.png"} << 2
                               << "Bad --links \"bands\": give connectors, ribbons or blocks";
    QTest::newRow("colour table without group colours")
        << QStringList{"--colour-table", "BAD", kDemo, "OUT.png"} << 2
        << "--colour-table needs a file name and --colours groups";
    QTest::newRow("broken tree") << QStringList{"--tree", bad, kDemo, "OUT.png"} << 1
                                 << "BAD: Error in the tree file at character";
    QTest::newRow("broken colour table")
        << QStringList{"--colours", "groups", "--colour-table", bad, kDemo, "OUT.png"} << 1
        << "Error in the colour table at line 1";
    QTest::newRow("unknown chromosome")
        << QStringList{"--inverse", "chrX", kDemo, "OUT.png"} << 2 << "No chromosome \"chrX\"";
    QTest::newRow("align on one") << QStringList{"--align", "ZELF", kDemo, "OUT.png"} << 2
                                  << "one chromosome only";
    QTest::newRow("missing input") << QStringList{"NONE.txt", "OUT.png"} << 1 << "NONE.txt";
    QTest::newRow("bad line") << QStringList{kDemo, bad, "OUT.png"} << 1
                              << "BAD: Error in the file at line 2";
    QTest::newRow("no folder") << QStringList{kDemo, "NONE/OUT.png"} << 2 << "Cannot create file";
    QTest::newRow("zoom span too large")
        << QStringList{"--zoom", "-1e308:1e308", kDemo, "OUT.png"} << 2 << "too large to draw";
    QTest::newRow("pixels past the limit")
        << QStringList{"--size", "20000x20000", "--scale", "2", kDemo, "OUT.bmp"} << 2
        << "40000 x 40000 pixels is too large";
    QTest::newRow("picture is an input spelt otherwise")
        << QStringList{"SELF.png", "./SELF.png"} << 2 << "would overwrite the input file";
    QTest::newRow("picture is a link to an input")
        << QStringList{"BAD", "LINK.png"} << 2 << "would overwrite the input file";
    QTest::newRow("report is an input spelt otherwise")
        << QStringList{"--report", "./SELF.png", "SELF.png", "OUT.png"} << 2
        << "would overwrite the input file";
    QTest::newRow("report is the picture spelt otherwise")
        << QStringList{"--report", "./OUT.png", kDemo, "OUT.png"} << 2
        << "would overwrite the picture";
    // Every output against every input and every other output, the homology table and the
    // proteins read beside an input among the inputs.
    QTest::newRow("report is the homology table spelt otherwise")
        << QStringList{"--homology", bad, "--report", "./BAD", kDemo, "OUT.png"} << 2
        << "./BAD\" would overwrite the homology table";
    QTest::newRow("group table is a link to the homology table")
        << QStringList{"--homology", bad, "--groups", "LINK.png", kDemo, "OUT.svg"} << 2
        << "would overwrite the homology table";
    QTest::newRow("group table is the picture spelt otherwise")
        << QStringList{"--homology", bad, "--groups", "./OUT.png", kDemo, "OUT.png"} << 2
        << "./OUT.png\" would overwrite the picture";
    QTest::newRow("group table is a protein file")
        << QStringList{"--homology", "auto", "--groups", "./SELF.fa", "SELF.png", "OUT.png"} << 2
        << "would overwrite the protein file";
    QTest::newRow("report in no folder, picture kept")
        << QStringList{"--report", "NONE/r.tsv", kDemo, "OUT.png"} << 2 << "Cannot create file";
    QTest::newRow("report is a folder, picture kept")
        << QStringList{"--report", "DIR", kDemo, "OUT.svg"} << 2 << "it is a folder";
    QTest::newRow("pipe nobody reads")
        << QStringList{kDemo, "FIFO.png"} << 2 << "no program reads from the pipe";
    QTest::newRow("threshold without a source")
        << QStringList{"--min-identity", "40", kDemo, "OUT.png"} << 2
        << "--min-identity applies with --homology or --alignments only";
    QTest::newRow("one link a block")
        << QStringList{"--blocks-report", "-", "--block-min", "1", kDemo, "OUT.png"} << 2
        << "Bad --block-min \"1\": give a whole number of links from 2 to 1000000";
    QTest::newRow("gap of no number")
        << QStringList{"--blocks-report", "-", "--block-gap", "5kb", kDemo, "OUT.png"} << 2
        << "Bad --block-gap \"5kb\": give a whole number of genes from 0 to 1000";
    QTest::newRow("block gap without the report")
        << QStringList{"--block-gap", "3", kDemo, "OUT.png"} << 2
        << "--block-gap goes with --blocks-report";
    QTest::newRow("block gap length without alignments")
        << QStringList{"--blocks-report", "-", "--block-gap-length", "5kb", kDemo, "OUT.png"} << 2
        << "--block-gap-length applies with --alignments only";
    QTest::newRow("both reports on standard output")
        << QStringList{"--report", "-", "--blocks-report", "-", kDemo, "OUT.png"} << 2
        << "The report and the block report would both go to standard output";
    QTest::newRow("length without alignments")
        << QStringList{"--min-length", "500", kDemo, "OUT.png"} << 2
        << "--min-length applies with --alignments only";
    QTest::newRow("report is an alignment file spelt otherwise")
        << QStringList{"--alignments", bad, "--report", "./BAD", kDemo, "OUT.png"} << 2
        << "./BAD\" would overwrite the alignment file";
    // Named by the alignment file, not by the map's.
    QTest::newRow("not an alignment file")
        << QStringList{"--alignments", bad, kDemo, "OUT.png"} << 1
        << "ostrinel-render: BAD: Error in the alignment file at line 1: not an alignment file";
    QTest::newRow("identity over 100")
        << QStringList{"--homology", bad, "--min-identity", "120", kDemo, "OUT.png"} << 2
        << "Bad --min-identity \"120\"";
    QTest::newRow("groups without a source")
        << QStringList{"--groups", "OUT.tsv", kDemo, "OUT.png"} << 2 << "--groups needs";
    QTest::newRow("homology table a FIFO nobody writes")
        << QStringList{"--homology", "FIFO.png", kDemo, "OUT.png"} << 1 << "Not a regular file";
    // The table's error, not put on the map's file.
    QTest::newRow("not a homology table")
        << QStringList{"--homology", bad, "--groups", "OUT.tsv", kDemo, "OUT.png"} << 1
        << "ostrinel-render: Error in the homology table at line 1: not a homology table";
}

void TestRender::errors()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QFile bad(dir.filePath("BAD"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("c1\t10\t20\t1\tg\nc1\tten\t20\t1\tg\n");
    bad.close();
    QVERIFY(QFile::copy(kDemo, dir.filePath("SELF.png")));
    QVERIFY(QFile::copy(kDemo, dir.filePath("SELF.fa")));
    QVERIFY(QFile::link(dir.filePath("BAD"), dir.filePath("LINK.png")));
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("FIFO.png")).constData(), 0600), 0);
    for (QString &argument : arguments)
        if (argument == "BAD" || argument.startsWith("OUT.") || argument.startsWith("NONE") ||
            argument.startsWith("./") || argument == "SELF.png" || argument == "LINK.png" ||
            argument == "FIFO.png")
            argument = dir.filePath(argument);
        else if (argument == "DIR")
            argument = dir.path();
    // An existing picture stays whole.
    QFile old(arguments.last());
    const bool existing =
        arguments.last().startsWith(dir.filePath("OUT.")) && old.open(QIODevice::WriteOnly);
    if (existing) {
        old.write("old picture");
        old.close();
    }

    const uint entries = QDir(dir.path()).count();
    const TRun run = Run(arguments);
    QCOMPARE(run.Status, status);
    QVERIFY2(run.Err.startsWith("ostrinel-render: ") && run.Err.contains(message.toUtf8()),
             run.Err.constData());
    QCOMPARE(run.Out, QByteArray());
    if (existing) {
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old picture"));
    }
    QCOMPARE(QDir(dir.path()).count(), entries);
}

// The program itself, where its standard output, the file size limit or another program on the
// other end of a pipe matter. Each script runs in a shell with R the program, IN an input and
// D an empty folder, and ends with the program's status unless it checks more.
void TestRender::outputsOfTheProcess_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("help to a full disk")
        << "\"$R\" --help >/dev/full" << 2
        << "Cannot write to standard output: No space left on device";
    QTest::newRow("report to a full disk") << "\"$R\" --report - \"$IN\" \"$D/a.png\" >/dev/full"
                                           << 2 << "Cannot write to standard output";
    QTest::newRow("file size limit")
        << "ulimit -f 1; \"$R\" \"$IN\" \"$D/a.png\"" << 2 << "a.png: File too large";
    QTest::newRow("file size limit, SVG written as drawn")
        << "ulimit -f 1; \"$R\" \"$IN\" \"$D/a.svg\"; s=$?; [ -z \"$(ls \"$D\")\" ] && exit $s" << 2
        << "a.svg: File too large";
    // The group table goes the way of the other outputs.
    const QString table = "printf 'G\\trogA\\nG\\trogB\\n' >\"$D/t.tsv\" && ";
    QTest::newRow("group table to the file of standard output")
        << table + "echo first >\"$D/r\" && i=$(stat -c %i \"$D/r\") && \"$R\" --homology "
                   "\"$D/t.tsv\" --groups /dev/stdout \"$IN\" \"$D/a.png\" >>\"$D/r\" && "
                   "[ \"$(stat -c %i \"$D/r\")\" = \"$i\" ] && grep -q '^first' \"$D/r\" && "
                   "grep -q '^gene' \"$D/r\""
        << 0 << "";
    // The superuser writes to a full device of the test's own: a fault would replace that one.
    QTest::newRow("group table to a full disk")
        << table + "F=\"$D/full\"; mknod \"$F\" c 1 7 2>/dev/null || F=/dev/full; \"$R\" "
                   "--homology \"$D/t.tsv\" --groups \"$F\" \"$IN\" \"$D/a.png\"; s=$?; "
                   "[ -c \"$F\" ] && [ ! -e \"$D/a.png\" ] && exit $s"
        << 2 << "full: No space left on device";
    QTest::newRow("report to a full disk, group table kept")
        << table + "echo old >\"$D/g.tsv\" && \"$R\" --homology \"$D/t.tsv\" --report /dev/full "
                   "--groups \"$D/g.tsv\" \"$IN\" \"$D/a.png\"; s=$?; "
                   "[ \"$(cat \"$D/g.tsv\")\" = old ] && [ ! -e \"$D/a.png\" ] && exit $s"
        << 2 << "No space left on device";
    QTest::newRow("picture and report to standard output")
        << "\"$R\" --report - \"$IN\" \"$D/a.png\" >\"$D/a.png\"" << 2
        << "would both go to standard output";
    QTest::newRow("report to the file of standard output")
        << ": >\"$D/r\"; i=$(stat -c %i \"$D/r\"); \"$R\" --report /dev/stdout \"$IN\" "
           "\"$D/a.png\" >>\"$D/r\" && [ \"$(stat -c %i \"$D/r\")\" = \"$i\" ] && "
           "grep -q '^velA_chr1' \"$D/r\""
        << 0 << "";
    QTest::newRow("report into a pipe") << "mkfifo \"$D/p\" && exec 3<>\"$D/p\" && \"$R\" --report "
                                           "\"$D/p\" \"$IN\" \"$D/a.png\" && "
                                           "[ -p \"$D/p\" ] && head -n 2 <&3 | grep -q '^velA_chr1'"
                                        << 0 << "";
    QTest::newRow("file names not UTF-8")
        << "n=$(printf 'caf\\351'); cp \"$IN\" \"$D/$n.txt\" && \"$R\" --report \"$D/$n.tsv\" "
           "\"$D/$n.txt\" \"$D/$n.png\" && [ -s \"$D/$n.png\" ] && [ -s \"$D/$n.tsv\" ] && "
           "[ $(ls \"$D\" | wc -l) = 3 ]; s=$?; rm -f \"$D\"/*; exit $s"
        << 0 << "";
    QTest::newRow("picture past the memory")
        << "ulimit -v 1500000; \"$R\" --size 20000x20000 \"$IN\" \"$D/a.png\"" << 2
        << "Out of memory while drawing the picture";
    // A signal ends MMseqs2, with the programs it started, before it ends the run as usual.
    for (const auto &[name, number] : {std::pair{"INT", 130}, std::pair{"TERM", 143}})
        QTest::newRow(qPrintable(QStringLiteral("SIG%1 while MMseqs2 runs").arg(name)))
            << QStringLiteral(
                   "mkdir \"$D/b\" && printf '#!/bin/sh\\nsleep 300 & echo $! >\"%s/k\"; "
                   "wait\\n' \"$D\" >\"$D/b/mmseqs\" && chmod +x \"$D/b/mmseqs\" && "
                   "PATH=\"$D/b:$PATH\" XDG_CACHE_HOME=\"$D\" \"$R\" --homology auto "
                   "\"$EX/homologs-a.gbk\" \"$D/a.png\" & r=$!; until [ -s \"$D/k\" ]; do "
                   "sleep 0.1; done; kill -%1 $r; wait $r; s=$?; p=/proc/$(cat \"$D/k\"); "
                   "for i in 1 2 3 4 5 6 7 8 9; do [ -e $p ] && ! grep -q ') Z ' $p/stat "
                   "&& sleep 0.5; done; [ $s = %2 ] && { [ ! -e $p ] || grep -q ') Z ' "
                   "$p/stat; }")
                   .arg(QLatin1String(name))
                   .arg(number)
            << 0 << "";
    QTest::newRow("control characters in names")
        << "printf 'c\\000\\001h\\t10\\t20\\t1\\tg\\033<&x\\n' >\"$D/c.txt\" && "
           "\"$R\" \"$D/c.txt\" \"$D/c.svg\" && xmllint --noout \"$D/c.svg\""
        << 0 << "";
}

void TestRender::outputsOfTheProcess()
{
    QFETCH(QString, script);
    QFETCH(int, status);
    QFETCH(QString, message);
#if defined(__SANITIZE_ADDRESS__)
    const bool sanitized = true;
#elif defined(__has_feature)
    const bool sanitized = __has_feature(address_sanitizer);
#else
    const bool sanitized = false;
#endif
    // The sanitizer reserves more address space than any such limit allows.
    if (sanitized && script.contains("ulimit -v"))
        QSKIP("an address space limit under the address sanitizer");
    QTemporaryDir dir;
    QProcess shell;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("R", QStringLiteral(OSTRINEL_BINARY_DIR "/ostrinel-render"));
    environment.insert("IN", kDemo);
    environment.insert("EX", QStringLiteral(OSTRINEL_EXAMPLES));
    environment.insert("D", dir.path());
    shell.setProcessEnvironment(environment);
    shell.start("sh", {"-c", script});
    QVERIFY(shell.waitForFinished(60000));
    const QByteArray err = shell.readAllStandardError();
    QCOMPARE(shell.exitStatus(), QProcess::NormalExit);
    QVERIFY2(shell.exitCode() == status, err.constData());
    QVERIFY2(err.contains(message.toUtf8()), err.constData());
}

// Crossings against a count of every pair, on ends with many ties.
void TestRender::crossings()
{
    QRandomGenerator random(15);
    for (int round = 0; round < 50; ++round) {
        std::vector<std::pair<double, double>> ends(random.bounded(60));
        for (auto &end : ends)
            end = {double(random.bounded(8)), double(random.bounded(8))};
        qint64 pairs = 0;
        for (std::size_t i = 0; i < ends.size(); ++i)
            for (std::size_t j = i + 1; j < ends.size(); ++j)
                pairs += (ends[i].first - ends[j].first) * (ends[i].second - ends[j].second) < 0;
        QCOMPARE(CrossingsText(CountCrossings(ends)), QByteArray::number(pairs));
    }
}

// Two rows of 80,000 records all named G: C(80000, 2)^2 crossings, past 64 bits.
void TestRender::crossingsPast64Bits()
{
    QTemporaryDir dir;
    QFile file(dir.filePath("g.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    constexpr int kRecords = 80000;
    for (const char *row : {"upper", "lower"})
        for (int i = 0; i < kRecords; ++i)
            file.write(row + ('\t' + QByteArray::number(i * 10 + 1)) + '\t' +
                       QByteArray::number(i * 10 + 5) + "\t1\tG\n");
    file.close();
    const TRun run = Run({"--report", "-", file.fileName(), dir.filePath("m.png")});
    QCOMPARE(run.Status, 0);
    const QList<QStringList> rows = Report(run.Out);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[1].value(7), QStringLiteral("10239744001600000000"));
}

// With homology groups, every group is a gene both rows share, the first in the list too:
// shared, crossings and Disentangle count it.
void TestRender::groupsInRowReport_data()
{
    QTest::addColumn<QByteArray>("rows"); // upper genes, lower genes, a space between
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("lower"); // inverted, shared genes, crossings
    QTest::newRow("two groups crossed") << QByteArray("A0 A1 B1 B0") << QStringList{} << "no 2 1";
    QTest::newRow("two groups, disentangled")
        << QByteArray("A0 A1 B1 B0") << QStringList{"--disentangle"} << "yes 2 0";
    QTest::newRow("three groups") << QByteArray("A0 A1 A2 B0 B1 B2") << QStringList{} << "no 3 0";
    QTest::newRow("one group") << QByteArray("A0 B0") << QStringList{} << "no 1 0";
}

void TestRender::groupsInRowReport()
{
    QFETCH(QByteArray, rows);
    QFETCH(QStringList, options);
    QFETCH(QString, lower);
    QTemporaryDir dir;
    QFile map(dir.filePath("m.txt"));
    QFile table(dir.filePath("g.tsv"));
    QVERIFY(map.open(QIODevice::WriteOnly) && table.open(QIODevice::WriteOnly));
    const QList<QByteArray> genes = rows.split(' ');
    for (qsizetype i = 0; i < genes.size(); ++i) {
        const bool upper = i < genes.size() / 2;
        const qsizetype at = upper ? i : i - genes.size() / 2;
        map.write((upper ? "up\t" : "low\t") + QByteArray::number(100 + 200 * at) + '\t' +
                  QByteArray::number(200 + 200 * at) + "\t1\t" + genes[i] + '\n');
        // Group Gk holds Ak and Bk.
        table.write("G" + genes[i].mid(1) + '\t' + genes[i] + '\n');
    }
    map.close();
    table.close();
    const TRun run = Run(options + QStringList{"--homology", table.fileName(), "--report", "-",
                                               map.fileName(), dir.filePath("m.png")});
    QVERIFY2(run.Status == 0, run.Err.constData());
    const QList<QStringList> report = Report(run.Out);
    QCOMPARE(report.size(), 2);
    QCOMPARE(QStringList({report[1].value(2), report[1].value(5), report[1].value(7)})
                 .join(QLatin1Char(' ')),
             lower);
}

// --align on gene 0 aligns each row on that gene's first record, not on a repeat before it.
void TestRender::alignOnFirstGeneOfList()
{
    QTemporaryDir dir;
    QFile map(dir.filePath("m.txt"));
    QVERIFY(map.open(QIODevice::WriteOnly));
    map.write("up\t1\t2\t1\tb\nup\t50\t60\t1\tb\nup\t300\t310\t1\ta\nlow\t1000\t1010\t1\ta\n");
    map.close();
    const TRun run = Run({"--align", "a", "--report", "-", map.fileName(), dir.filePath("m.png")});
    QCOMPARE(run.Status, 0);
    const QList<QStringList> rows = Report(run.Out);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].value(3).toInt() - rows[1].value(3).toInt(), 700);
}

void TestRender::disentangleAddsNoCrossing_data()
{
    QTest::addColumn<QStringList>("inputs");
    const QString examples = QStringLiteral(OSTRINEL_EXAMPLES "/");
    // Two GFF3 genomes and a BED one: rows of different genomes share at most one gene.
    QTest::newRow("three sample genomes")
        << QStringList{examples + "mouse.gff3", examples + "rat.gff3", examples + "hamster.bed"};
    QTest::newRow("demo") << QStringList{kDemo};
}

// Summed over the rows, the crossings with the row above do not rise by disentangling.
void TestRender::disentangleAddsNoCrossing()
{
    QFETCH(QStringList, inputs);
    QTemporaryDir dir;
    const QStringList tail =
        QStringList{"--report", "-"} + inputs + QStringList{dir.filePath("m.png")};
    qint64 total[2] = {0, 0};
    for (int turned = 0; turned < 2; ++turned)
        for (const QStringList &row :
             Report(Run(turned ? QStringList{"--disentangle"} + tail : tail).Out))
            total[turned] += row.value(7).toLongLong();
    QVERIFY2(total[1] <= total[0], qPrintable(QString::number(total[1])));
}

// The blocks of two rows on standard output, as --block-gap and --block-min chain them: g1 to
// g3 run the same way on both rows, u1 of the lower row between g2 and g3, and g4 to g6 follow
// turned round.
void TestRender::blocksReport_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("blocks");
    QTest::newRow("both") << QStringList{}
                          << "A B 1 2800 101 3900 3 + |A B 3001 5800 4101 6900 3 - |";
    QTest::newRow("no gap") << QStringList{"--block-gap", "0"} << "A B 3001 5800 4101 6900 3 - |";
    QTest::newRow("four links") << QStringList{"--block-min", "4"} << "";
}

void TestRender::blocksReport()
{
    QFETCH(QStringList, options);
    QFETCH(QString, blocks);
    QTemporaryDir dir;
    QFile map(dir.filePath("m.txt"));
    QVERIFY(map.open(QIODevice::WriteOnly));
    map.write("A\t1\t800\t1\tg1\nA\t1001\t1800\t1\tg2\nA\t2001\t2800\t1\tg3\n"
              "A\t3001\t3800\t1\tg4\nA\t4001\t4800\t1\tg5\nA\t5001\t5800\t1\tg6\n"
              "B\t101\t900\t1\tg1\nB\t1101\t1900\t1\tg2\nB\t2101\t2900\t1\tu1\n"
              "B\t3101\t3900\t1\tg3\nB\t4101\t4900\t-1\tg6\nB\t5101\t5900\t-1\tg5\n"
              "B\t6101\t6900\t-1\tg4\n");
    map.close();
    const TRun run =
        Run(options + QStringList{"--blocks-report", "-", map.fileName(), dir.filePath("m.svg")});
    QVERIFY2(run.Status == 0, run.Err.constData());
    const QByteArray heading = "upper\tlower\tupper start\tupper end\tlower start\tlower end\t"
                               "anchors\torientation\tmean identity\n";
    QVERIFY2(run.Out.startsWith(heading), run.Out.constData());
    QCOMPARE(QString::fromUtf8(run.Out.mid(heading.size()))
                 .replace(QLatin1Char('\t'), QLatin1Char(' '))
                 .replace(QLatin1Char('\n'), QLatin1Char('|')),
             blocks);
}

// Rows p0 to p3 of five genes, each one swap of neighbours from the one before, listed p2, p0,
// p3, p1: rows p and q cross |p - q| times.
const QByteArray kChainRows = [] {
    QByteArray text;
    for (const char *row : {"p2 badce", "p0 abcde", "p3 badec", "p1 bacde"})
        for (int k = 0; k < 5; ++k)
            text += QByteArray(row, 2) + '\t' + QByteArray::number(100 * k + 1) + '\t' +
                    QByteArray::number(100 * k + 50) + "\t1\t" + row[3 + k] + '\n';
    return text;
}();

void TestRender::orderAuto_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("rows"); // name:inverted, top down
    QTest::addColumn<QString>("line");
    QTest::newRow("four rows") << QStringList{} << "p0:no p1:no p2:no p3:no"
                               << "Order: crossings 7 before, 3 after";
    // The unchecked row keeps its place; the first of the two best ways round starts with p2.
    QTest::newRow("three checked")
        << QStringList{"--chromosomes", "p2,p0,p1"} << "p2:no p1:no p0:no"
        << "Order: crossings 3 before, 2 after";
    QTest::newRow("then reversed") << QStringList{"--inverse", "p0"} << "p0:yes p1:no p2:no p3:no"
                                   << "Order: crossings 7 before, 3 after";
}

// The crossings on standard error are the row report's totals before and after.
void TestRender::orderAuto()
{
    QFETCH(QStringList, options);
    QFETCH(QString, rows);
    QFETCH(QString, line);
    QTemporaryDir dir;
    QFile map(dir.filePath("chain.txt"));
    QVERIFY(map.open(QIODevice::WriteOnly) && map.write(kChainRows) == kChainRows.size());
    map.close();
    const TRun run = Run(options + QStringList{"--order", "auto", "--report", "-", map.fileName(),
                                               dir.filePath("m.png")});
    QVERIFY2(run.Status == 0, run.Err.constData());
    QVERIFY2(run.Err.contains(line.toUtf8() + '\n'), run.Err.constData());
    QStringList shown;
    qint64 total = 0;
    for (const QStringList &row : Report(run.Out)) {
        shown << row.value(0) + ':' + row.value(2);
        total += row.value(7).toLongLong();
    }
    QCOMPARE(shown.join(' '), rows);
    if (!options.contains("--inverse"))
        QVERIFY2(line.endsWith(QStringLiteral(" %1 after").arg(total)), qPrintable(line));
}

QTEST_MAIN(TestRender)
#include "tst_render_run.moc"
