// The coordinate file reader and the map catalogue: the line, column and
// integer rules, the error line numbers, the catalogue's lists, orders, indices and counts (also
// against a literal implementation of the plain linear scans), and that a failed load leaves a
// previously loaded catalogue whole.
#include "ReferenceReader.h"
#include "core/Catalogue.h"
#include "util/StringOps.h"
#include "util/VectorOps.h"

#include <QtTest>

#include <functional>
#include <random>

namespace {

// One record as text: chromosome|start|end|strand|gene|comment.
QString Describe(const tGene &r)
{
    return QStringLiteral("%1|%2|%3|%4|%5|%6")
        .arg(QString::fromLatin1(r.ChromosomeName))
        .arg(r.Start)
        .arg(r.End)
        .arg(r.Strand)
        .arg(QString::fromLatin1(r.GeneName), QString::fromLatin1(r.Comment));
}

QStringList Describe(const std::vector<tGene> &records)
{
    QStringList lines;
    for (const tGene &r : records)
        lines << Describe(r);
    return lines;
}

// Every field of a catalogue, one line each, for comparing two catalogues.
QStringList Lines(const TCatalogue &c)
{
    QStringList lines;
    lines << QStringLiteral("count %1 max %2 rows %3")
                 .arg(c.FRecordCount)
                 .arg(c.FMaxGeneCount)
                 .arg(c.FRecords.size());
    for (std::size_t i = 0; i < c.FChromosomeNames.size(); ++i)
        lines << QStringLiteral("chromosome %1 %2")
                     .arg(i)
                     .arg(QString::fromLatin1(c.FChromosomeNames[i]));
    for (std::size_t i = 0; i < c.FGeneNames.size(); ++i)
        lines << QStringLiteral("gene %1 %2 count %3")
                     .arg(i)
                     .arg(QString::fromLatin1(c.FGeneNames[i]))
                     .arg(i < c.FGeneCounts.size() ? qint64(c.FGeneCounts[i]) : -1);
    if (c.FGeneCounts.size() != c.FGeneNames.size())
        lines << QStringLiteral("gene counts %1").arg(c.FGeneCounts.size());
    for (const ChromosomeView &v : c.FChromosomes)
        lines << QStringLiteral("view %1 inverted %2 offset %3 min %4 max %5")
                     .arg(v.ChromosomeIndex)
                     .arg(v.Inverted ? "true" : "false")
                     .arg(v.Offset)
                     .arg(v.MinCoord)
                     .arg(v.MaxCoord);
    for (std::size_t row = 0; row < c.FRecords.size(); ++row)
        for (const tGene &r : c.FRecords[row])
            lines << QStringLiteral("row %1: %2 chr %3 gene %4")
                         .arg(row)
                         .arg(Describe(r))
                         .arg(r.ChromosomeIndex)
                         .arg(r.GeneIndex);
    return lines;
}

// The catalogue steps exactly as the file format describes them, with the plain vector routines and
// the linear scans, to check the hashing implementation against.
TCatalogue ReferenceCatalogue(std::vector<tGene> records)
{
    TCatalogue c;
    c.FRecordCount = qint32(records.size());
    c.FRecords = {records};
    std::vector<tGene> &row0 = c.FRecords[0];

    // BuildChromosomeList
    tVectorOfString names;
    for (const tGene &r : row0)
        names.push_back(r.ChromosomeName);
    c.FChromosomeNames = UniqueStrings(names);
    const qint32 last = qint32(c.FChromosomeNames.size()) - 1;
    for (tGene &r : row0)
        r.ChromosomeIndex = IndexOfString(c.FChromosomeNames, r.ChromosomeName, 0, last);
    c.FChromosomes.assign(c.FChromosomeNames.size(), ChromosomeView{});
    for (std::size_t i = 0; i < c.FChromosomes.size(); ++i)
        c.FChromosomes[i] = ChromosomeView{qint32(i), false, 0, 0, 0};

    // BuildGeneList
    tVectorOfString genes;
    for (const tGene &r : row0)
        genes.push_back(r.GeneName);
    c.FGeneNames = UniqueStrings(genes);
    SortStrings(c.FGeneNames);

    // GroupRecords 1: gene indices and counts
    c.FGeneCounts = MakeZeroVector(qint32(c.FGeneNames.size()));
    for (std::size_t g = 0; g < c.FGeneNames.size(); ++g) {
        if (c.FGeneNames[g] == "???")
            continue;
        for (const ChromosomeView &view : c.FChromosomes)
            for (tGene &r : row0)
                if (r.ChromosomeIndex == view.ChromosomeIndex && r.GeneName == c.FGeneNames[g]) {
                    r.GeneIndex = qint32(g);
                    ++c.FGeneCounts[g];
                    break;
                }
    }
    // 2
    c.FMaxGeneCount = c.FGeneCounts.empty() ? 0 : MaxOfVector(c.FGeneCounts);
    // 3: regrouping in place, row 0 being the old single row
    const std::size_t chromosomes = c.FChromosomes.size();
    tVectorOfCardinal counter = MakeZeroVector(qint32(chromosomes));
    c.FRecords.resize(std::max<std::size_t>(chromosomes, 1));
    for (std::size_t k = 1; k < c.FRecords.size(); ++k)
        c.FRecords[k].resize(c.FRecords[0].size());
    for (std::size_t k = 0; k < c.FRecords[0].size(); ++k) {
        const tGene r = c.FRecords[0][k];
        c.FRecords[std::size_t(r.ChromosomeIndex)][counter[std::size_t(r.ChromosomeIndex)]] = r;
        ++counter[std::size_t(r.ChromosomeIndex)];
    }
    if (chromosomes == 0)
        c.FRecords.clear();
    for (std::size_t k = 0; k < chromosomes; ++k)
        c.FRecords[k].resize(counter[k]);
    // 4: extents and offsets
    for (std::size_t k = 0; k < chromosomes; ++k) {
        ChromosomeView &view = c.FChromosomes[k];
        view.MinCoord = std::min(c.FRecords[k][0].Start, c.FRecords[k][0].End);
        view.MaxCoord = std::max(c.FRecords[k][0].Start, c.FRecords[k][0].End);
        for (const tGene &r : c.FRecords[k]) {
            view.MinCoord = std::min({view.MinCoord, r.Start, r.End});
            view.MaxCoord = std::max({view.MaxCoord, r.Start, r.End});
        }
        view.Offset = CheckedNeg(view.MinCoord);
    }
    return c;
}

// The records, or the error message.
QStringList ReadOrError(const std::function<std::vector<tGene>()> &read)
{
    try {
        return Describe(read());
    } catch (const EInOutError &e) {
        return {e.message()};
    }
}

// The message of the exception that f raises, or "no error".
QString ErrorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const EInOutError &e) {
        return QStringLiteral("EInOutError: ") + e.message();
    } catch (const Exception &e) {
        return QStringLiteral("other: ") + e.message();
    }
    return QStringLiteral("no error");
}

QString LineError(int line)
{
    return QStringLiteral("EInOutError: Error in the file at line %1").arg(line);
}

// A device that gives some bytes and then fails to read.
class TFailingDevice : public QIODevice
{
public:
    explicit TFailingDevice(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (m_pos >= m_bytes.size())
            return -1;
        const qint64 n = std::min<qint64>(maxSize, std::min<qint64>(m_bytes.size() - m_pos, 7));
        std::memcpy(data, m_bytes.constData() + m_pos, std::size_t(n));
        m_pos += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_pos = 0;
};

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    // The reader
    void records_data();
    void records();
    void errors_data();
    void errors();
    void errorLineAfterManyLines();
    void blockBoundaries();
    void lineLongerThanABlock();
    void cannotOpen();
    void readFailure();
    void namesShareData();
    void sameAsLiteralReader();
    void manyNamesAcrossBatches();
    void secondLoadReplacesEverything();

    // The catalogue
    void chromosomeOrder();
    void geneOrder();
    void geneIndexFirstRecordRule();
    void countsAndMax();
    void caseOfNames();
    void extentsAndOffset();
    void offsetOverflow();
    void regroupingStable();
    void emptyCatalogue_data();
    void emptyCatalogue();
    void stepsOneByOne();
    void sameAsLiteralSteps();
    void sameAsLiteralStepsUnsharedNames();

    // Decisions of the issue
    void failedLoadKeepsPreviousCatalogue();
    void examples_data();
    void examples();
    void severalFilesNeverMerge_data();
    void severalFilesNeverMerge();

private:
    QString writeFile(const QString &name, const QByteArray &bytes);
    QTemporaryDir m_dir;
};

void TestCatalogue::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString TestCatalogue::writeFile(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// --- The reader --------------------------------------------------------------------------------

void TestCatalogue::records_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("records");

    QTest::newRow("strand -1 swaps, name upper-cased, no comment")
        << QByteArray("chr1\t100\t500\t-1\tabc") << QStringList{"chr1|500|100|-1|ABC|"};
    QTest::newRow("strands 1, 0, 2, -2 keep the order")
        << QByteArray("c\t100\t500\t1\ta\nc\t100\t500\t0\ta\nc\t100\t500\t2\ta\nc\t100\t500\t-2\ta")
        << QStringList{"c|100|500|1|A|", "c|100|500|0|A|", "c|100|500|2|A|", "c|100|500|-2|A|"};
    QTest::newRow("strand -1 written in hex is -1 too")
        << QByteArray("c\t1\t2\t$FFFFFFFF\tg") << QStringList{"c|2|1|-1|G|"};
    QTest::newRow("4 columns: ???")
        << QByteArray("chr1\t1\t2\t1") << QStringList{"chr1|1|2|1|???|"};
    QTest::newRow("5th column only spaces: ???")
        << QByteArray("chr1\t1\t2\t1\t   \tnote") << QStringList{"chr1|1|2|1|???|NOTE"};
    QTest::newRow("5th column empty: ???")
        << QByteArray("chr1\t1\t2\t1\t\tnote") << QStringList{"chr1|1|2|1|???|NOTE"};
    QTest::newRow("??? written in the file")
        << QByteArray("c\t1\t2\t1\t???") << QStringList{"c|1|2|1|???|"};
    QTest::newRow("leading tab shifts the columns left")
        << QByteArray("\t7\t100\t200\t1\tg") << QStringList{"7|100|200|1|G|"};
    QTest::newRow("trailing tabs do not make columns")
        << QByteArray("c\t1\t2\t1\t\t\t\nd\t1\t2\t1\tg\t\t\t")
        << QStringList{"c|1|2|1|???|", "d|1|2|1|G|"};
    QTest::newRow("3 columns, blank and space lines skipped")
        << QByteArray("c\t1\t2\n\n    \n \t \nc\t1\t2\t1\tg") << QStringList{"c|1|2|1|G|"};
    QTest::newRow("heading of 3 columns skipped")
        << QByteArray("chromosome\tstart\tend\nc\t1\t2\t1") << QStringList{"c|1|2|1|???|"};
    QTest::newRow("hex starts $1F and 0x1F") << QByteArray("c\t$1F\t0x1F\t1\nc\tx1f\t0X1f\t1")
                                             << QStringList{"c|31|31|1|???|", "c|31|31|1|???|"};
    QTest::newRow("hex bit patterns") << QByteArray("c\t$80000000\t$7FFFFFFF\t1")
                                      << QStringList{"c|-2147483648|2147483647|1|???|"};
    QTest::newRow("decimal range ends and signs") << QByteArray("c\t-2147483648\t+2147483647\t-0")
                                                  << QStringList{"c|-2147483648|2147483647|0|???|"};
    QTest::newRow("space before the digits")
        << QByteArray("c\t  100\t   $10\t  -1") << QStringList{"c|16|100|-1|???|"};
    QTest::newRow("space after the last column's value is trimmed with the line")
        << QByteArray("c\t1\t2\t1   ") << QStringList{"c|1|2|1|???|"};
    QTest::newRow("chromosome name trimmed, case kept")
        << QByteArray("  ChrX  \t1\t2\t1\tg") << QStringList{"ChrX|1|2|1|G|"};
    QTest::newRow("chromosome with inner space")
        << QByteArray("chr 1\t1\t2\t1") << QStringList{"chr 1|1|2|1|???|"};
    QTest::newRow("comment upper-cased and trimmed")
        << QByteArray("c\t1\t2\t1\tg\t  see note  ") << QStringList{"c|1|2|1|G|SEE NOTE"};
    QTest::newRow("comment of spaces is empty")
        << QByteArray("c\t1\t2\t1\tg\t   \tx") << QStringList{"c|1|2|1|G|"};
    QTest::newRow("columns after the sixth ignored")
        << QByteArray("c\t1\t2\t1\tg\tnote\tabc\t\tnot an int") << QStringList{"c|1|2|1|G|NOTE"};
    QTest::newRow("upper-casing a to z only")
        << QByteArray("c\t1\t2\t1\tab`{\xe9\xc3\xa4z\tx\xffy")
        << QStringList{QString::fromLatin1("c|1|2|1|AB`{\xe9\xc3\xa4Z|X\xffY")};
    QTest::newRow("gene names inner spaces kept")
        << QByteArray("c\t1\t2\t1\t a b ") << QStringList{"c|1|2|1|A B|"};
    QTest::newRow("start greater than end kept")
        << QByteArray("c\t1500\t900\t1") << QStringList{"c|1500|900|1|???|"};

    // Line ends
    QTest::newRow("LF") << QByteArray("a\t1\t2\t1\nb\t3\t4\t1\n")
                        << QStringList{"a|1|2|1|???|", "b|3|4|1|???|"};
    QTest::newRow("CRLF") << QByteArray("a\t1\t2\t1\tg\r\nb\t3\t4\t1\th\r\n")
                          << QStringList{"a|1|2|1|G|", "b|3|4|1|H|"};
    QTest::newRow("lone CR dropped inside a number")
        << QByteArray("a\t1\r0\t2\r\r0\r0\t1") << QStringList{"a|10|200|1|???|"};
    QTest::newRow("lone CR does not end a line")
        << QByteArray("a\t1\t2\t1\t\rb\t3") << QStringList{"a|1|2|1|B|3"};
    QTest::newRow("CR inside a name dropped")
        << QByteArray("ch\rr1\t1\t2\t1\tg\re\tn\ro\r\r\n") << QStringList{"chr1|1|2|1|GE|NO"};
    QTest::newRow("CRCRLF") << QByteArray("a\t1\t2\t1\r\r\nb\t1\t2\t1")
                            << QStringList{"a|1|2|1|???|", "b|1|2|1|???|"};
    QTest::newRow("mixed line ends") << QByteArray("a\t1\t2\t1\r\nb\t1\t2\t1\nc\t1\t2\t1")
                                     << QStringList{"a|1|2|1|???|", "b|1|2|1|???|", "c|1|2|1|???|"};
    QTest::newRow("last line without line end")
        << QByteArray("a\t1\t2\t1\tg") << QStringList{"a|1|2|1|G|"};
    QTest::newRow("Ctrl+Z at the start of a line ends the file")
        << QByteArray("a\t1\t2\t1\n\x1a"
                      "b\t1\t2\t1\nc\tbad\t2\t1\n")
        << QStringList{"a|1|2|1|???|"};
    QTest::newRow("Ctrl+Z alone on a line")
        << QByteArray("a\t1\t2\t1\r\n\x1a\r\nb\t1\t2\t1") << QStringList{"a|1|2|1|???|"};
    QTest::newRow("Ctrl+Z first in the file") << QByteArray("\x1a"
                                                            "a\t1\t2\t1")
                                              << QStringList{};
    QTest::newRow("Ctrl+Z inside a line is a byte")
        << QByteArray("a\t1\t2\t1\tg\x1ah") << QStringList{"a|1|2|1|G\x1aH|"};
    QTest::newRow("Ctrl+Z after leading spaces is trimmed") << QByteArray(" \x1a"
                                                                          "a\t1\t2\t1")
                                                            << QStringList{"a|1|2|1|???|"};
    QTest::newRow("Ctrl+Z at the end of a line trimmed")
        << QByteArray("a\t1\t2\t1\tg\x1a\nb\t1\t2\t1") << QStringList{"a|1|2|1|G|", "b|1|2|1|???|"};
    QTest::newRow("NUL bytes trimmed at the ends")
        << QByteArrayLiteral("\0a\t1\t2\t1\tg\0") << QStringList{"a|1|2|1|G|"};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("only line ends") << QByteArray("\n\r\n\n") << QStringList{};
}

void TestCatalogue::records()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, records);
    const std::vector<tGene> parsed = ParseCoordinateText(text);
    QCOMPARE(Describe(parsed), records);
    for (const tGene &r : parsed) {
        QCOMPARE(r.ChromosomeIndex, 0);
        QCOMPARE(r.GeneIndex, 0);
    }
    // The same bytes read from a file.
    const QString path = writeFile(QStringLiteral("records.txt"), text);
    QCOMPARE(Describe(LoadCoordinateFile(path)), records);
}

void TestCatalogue::errors_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("line");
    QTest::newRow("space after the start") << QByteArray("c\t100 \t200\t1") << 1;
    QTest::newRow("space after the strand before a fifth column")
        << QByteArray("c\t1\t2\t1 \tg") << 1;
    QTest::newRow("-$1F") << QByteArray("c\t-$1F\t2\t1") << 1;
    QTest::newRow("empty start") << QByteArray("c\t\t2\t1") << 1;
    QTest::newRow("empty end") << QByteArray("c\t1\t\t1\tg") << 1;
    QTest::newRow("empty strand") << QByteArray("c\t1\t2\t\tg") << 1;
    QTest::newRow("start of spaces") << QByteArray("c\t  \t2\t1") << 1;
    QTest::newRow("too large") << QByteArray("c\t2147483648\t2\t1") << 1;
    QTest::newRow("too small") << QByteArray("c\t1\t-2147483649\t1") << 1;
    QTest::newRow("nine hex digits") << QByteArray("c\t$123456789\t2\t1") << 1;
    QTest::newRow("strand not a number") << QByteArray("c\t1\t2\t+\tg") << 1;
    QTest::newRow("fraction") << QByteArray("c\t1.5\t2\t1") << 1;
    QTest::newRow("heading of 4 columns")
        << QByteArray("chromosome\tstart\tend\tstrand\nc\t1\t2\t1") << 1;
    QTest::newRow("leading tab shifts a name into the strand")
        << QByteArray("c\t1\t2\t1\n\t100\t200\t1\tgene") << 2;
    QTest::newRow("skipped lines count")
        << QByteArray("\n\n   \nc\t1\t2\n\t\nc\tx\t2\t1\nc\t1\t2\t1") << 6;
    QTest::newRow("CRLF lines count") << QByteArray("c\t1\t2\t1\r\n\r\nc\t1\tz\t1\r\n") << 3;
    QTest::newRow("lone CRs do not count") << QByteArray("a\rb\rc\nc\t1\t2\tx") << 2;
    QTest::newRow("error on the last line without line end")
        << QByteArray("c\t1\t2\t1\nc\t1\t2\t1\nc\tq\t2\t1") << 3;
    QTest::newRow("Ctrl+Z inside a number") << QByteArray("c\t1\x1a\t2\t1") << 1;
    QTest::newRow("Ctrl+Z after a CR is not at the line start") << QByteArray("c\t1\t2\t1\n\r\x1a"
                                                                              "c\tq\t2\t1")
                                                                << 2;
    QTest::newRow("error before a Ctrl+Z line") << QByteArray("c\tq\t2\t1\n\x1a") << 1;
}

void TestCatalogue::errors()
{
    QFETCH(QByteArray, text);
    QFETCH(int, line);
    QCOMPARE(ErrorOf([&] { ParseCoordinateText(text); }), LineError(line));
    const QString path = writeFile(QStringLiteral("errors.txt"), text);
    QCOMPARE(ErrorOf([&] { LoadCoordinateFile(path); }), LineError(line));
    QCOMPARE(ErrorOf([&] { LoadCatalogue(path); }), LineError(line));
}

// The counter goes on over many blocks of the reader.
void TestCatalogue::errorLineAfterManyLines()
{
    QByteArray text;
    const int lines = 600000;
    for (int i = 1; i < lines; ++i) {
        text += "chr";
        text += QByteArray::number(i % 7);
        text += (i % 3 == 0) ? "\t10\t20\t1\tgene\r\n" : (i % 5 == 0 ? "\n" : "\t10\t20\t-1\n");
    }
    text += "chr1\t10\t20\t1 \tgene\n";
    QVERIFY(text.size() > 2 * (4 << 20)); // more than two of the reader's blocks
    const QString path = writeFile(QStringLiteral("long.txt"), text);
    QCOMPARE(ErrorOf([&] { LoadCoordinateFile(path); }), LineError(lines));
    QCOMPARE(ErrorOf([&] { ParseCoordinateText(text); }), LineError(lines));
}

// Lines that straddle the reader's blocks come out as from the whole text at once.
void TestCatalogue::blockBoundaries()
{
    std::mt19937 random(3);
    QByteArray text;
    int expected = 0;
    while (text.size() < 10 * 1000 * 1000) {
        const int kind = int(random() % 10);
        if (kind == 0) {
            text += "\n";
            continue;
        }
        text += "chr" + QByteArray::number(int(random() % 13)) + "\t";
        text += QByteArray::number(int(random() % 1000000)) + "\t";
        text += QByteArray::number(int(random() % 1000000)) + "\t";
        text += (random() % 2) ? "1" : "-1";
        if (kind > 2)
            text += "\tgn" + QByteArray::number(int(random() % 5000));
        if (kind > 7)
            text += "\tcomment " + QByteArray(int(random() % 300), 'x');
        text += (kind % 2) ? "\r\n" : "\n";
        ++expected;
    }
    const QString path = writeFile(QStringLiteral("blocks.txt"), text);
    const std::vector<tGene> fromFile = LoadCoordinateFile(path);
    const std::vector<tGene> fromText = ParseCoordinateText(text);
    QCOMPARE(int(fromFile.size()), expected);
    QCOMPARE(Describe(fromFile), Describe(fromText));
    QFile::remove(path);
}

void TestCatalogue::lineLongerThanABlock()
{
    const QByteArray comment(9 * 1000 * 1000, 'n');
    const QByteArray text = "a\t1\t2\t1\tg\n\nb\t3\t4\t-1\tlong\t" + comment + "\r\nc\t5\t6\t1";
    const QString path = writeFile(QStringLiteral("longline.txt"), text);
    const std::vector<tGene> records = LoadCoordinateFile(path);
    QCOMPARE(records.size(), std::size_t(3));
    QCOMPARE(records[1].Comment, comment.toUpper());
    QCOMPARE(records[1].Start, 4);
    QCOMPARE(records[2].ChromosomeName, QByteArray("c"));
    QFile::remove(path);
    // And an error after it still has its number.
    const QString bad = writeFile(QStringLiteral("longbad.txt"), text + "\n\nd\tq\t1\t1");
    QCOMPARE(ErrorOf([&] { LoadCoordinateFile(bad); }), LineError(6));
    QFile::remove(bad);
}

void TestCatalogue::cannotOpen()
{
    const QString missing = m_dir.filePath(QStringLiteral("no/such/file.txt"));
    QCOMPARE(ErrorOf([&] { LoadCoordinateFile(missing); }),
             QStringLiteral("EInOutError: Cannot open file \"%1\": No such file or directory")
                 .arg(missing));
    QCOMPARE(ErrorOf([&] { LoadCatalogue(missing); }),
             QStringLiteral("EInOutError: Cannot open file \"%1\": No such file or directory")
                 .arg(missing));
    // A folder cannot be opened as a file either; the message names it.
    const QString folder = m_dir.path();
    const QString message = ErrorOf([&] { LoadCoordinateFile(folder); });
    QVERIFY2(
        message.startsWith(QStringLiteral("EInOutError: Cannot open file \"%1\": ").arg(folder)),
        qPrintable(message));
    QCOMPARE(ErrorOf([&] { LoadCoordinateFile(QString()); }),
             QStringLiteral("EInOutError: Cannot open file \"\": No file name specified"));
}

// An error of the device while reading becomes the line error, numbered by the lines read
// before it.
void TestCatalogue::readFailure()
{
    {
        TFailingDevice device("a\t1\t2\t1\n\nb\t1\t2\t1\nc\t1\t");
        QVERIFY(device.open(QIODevice::ReadOnly));
        QCOMPARE(ErrorOf([&] { ReadCoordinateDevice(device); }), LineError(3));
    }
    {
        TFailingDevice device("a\t1\t2\t1\n");
        QVERIFY(device.open(QIODevice::ReadOnly));
        QCOMPARE(ErrorOf([&] { ReadCoordinateDevice(device); }), LineError(1));
    }
    {
        TFailingDevice device("");
        QVERIFY(device.open(QIODevice::ReadOnly));
        QCOMPARE(ErrorOf([&] { ReadCoordinateDevice(device); }), LineError(0));
    }
    {
        // A Ctrl+Z line ends the file before the device fails.
        TFailingDevice device("a\t1\t2\t1\n\x1a\n");
        QVERIFY(device.open(QIODevice::ReadOnly));
        QCOMPARE(Describe(ReadCoordinateDevice(device)), QStringList{"a|1|2|1|???|"});
    }
    // A real file system error: /proc/self/mem opens but cannot be read at offset 0.
    if (QFile::exists(QStringLiteral("/proc/self/mem")))
        QCOMPARE(ErrorOf([&] { LoadCoordinateFile(QStringLiteral("/proc/self/mem")); }),
                 LineError(0));
}

// Records of one name share one QByteArray; an empty comment is a null QByteArray.
void TestCatalogue::namesShareData()
{
    const std::vector<tGene> r = ParseCoordinateText(
        "chr1\t1\t2\t1\tabc\nchr1\t1\t2\t1\tABC\tx\nchr2\t1\t2\t1\tabc\nchr1\t1\t2\t1");
    QCOMPARE(r.size(), std::size_t(4));
    QCOMPARE(r[0].ChromosomeName.constData(), r[1].ChromosomeName.constData());
    QCOMPARE(r[0].ChromosomeName.constData(), r[3].ChromosomeName.constData());
    QCOMPARE(r[0].GeneName.constData(), r[1].GeneName.constData());
    QCOMPARE(r[0].GeneName.constData(), r[2].GeneName.constData());
    QCOMPARE(r[3].GeneName, kUnknownGene);
    QVERIFY(r[0].Comment.isNull());
    QCOMPARE(r[1].Comment, QByteArray("X"));
}

// Random byte soup of the tricky bytes: the reader agrees with the literal one, records or
// error line alike.
void TestCatalogue::sameAsLiteralReader()
{
    std::mt19937 random(99);
    const QByteArray tokens[] = {"\t",         "\t",   "\t",
                                 "\n",         "\n",   "\r",
                                 "\r\n",       " ",    "  ",
                                 "\x1a",       "1",    "42",
                                 "-1",         "+7",   "$1F",
                                 "0x10",       "x",    "-",
                                 "???",        "abc",  "\xe9",
                                 "Gene",       "chr1", "2147483648",
                                 "$123456789", "CHR1", QByteArray(1, '\0')};
    int errors = 0;
    for (int round = 0; round < 4000; ++round) {
        QByteArray text;
        const int n = int(random() % 60);
        for (int i = 0; i < n; ++i)
            text += tokens[random() % (sizeof tokens / sizeof *tokens)];
        // Now and then a well-formed line, so that records come out too.
        if (random() % 2)
            text = "c\t1\t2\t-1\tg\n" + text + "\nd\t3\t4\t1\tabc\tnote";
        const QStringList expected = ReadOrError([&] { return ReferenceRead(text); });
        QCOMPARE(ReadOrError([&] { return ParseCoordinateText(text); }), expected);
        errors += expected.size() == 1 && expected[0].startsWith("Error");
    }
    QVERIFY(errors > 100); // both outcomes were tried
}

// Many names, long and short, new ones arriving in every batch of the reader while its table
// grows: the same records as the literal reader, and the names shared.
void TestCatalogue::manyNamesAcrossBatches()
{
    std::mt19937 random(17);
    QByteArray text;
    for (int i = 0; i < 200000; ++i) {
        const int g = int(random() % 50000);
        text += "c" + QByteArray::number(g % 3) + "\t" + QByteArray::number(i) + "\t" +
                QByteArray::number(i + g) + "\t1\t";
        if (g % 10 == 0)
            text += "a_rather_long_gene_name_of_more_than_forty_bytes_" + QByteArray::number(g);
        else
            text += (g % 2 ? "gene" : "GENE") + QByteArray::number(g);
        text += "\n";
    }
    const std::vector<tGene> records = ParseCoordinateText(text);
    QCOMPARE(Describe(records), Describe(ReferenceRead(text)));
    QHash<QByteArray, const char *> first;
    for (const tGene &r : records) {
        const char *&data = first[r.GeneName];
        if (!data)
            data = r.GeneName.constData();
        QCOMPARE(r.GeneName.constData(), data);
    }
}

void TestCatalogue::secondLoadReplacesEverything()
{
    TCatalogue c = LoadCatalogue(writeFile(QStringLiteral("first.txt"),
                                           "old1\t1\t2\t1\tOLDGENE\told note\nold2\t5\t9\t1\tx"));
    c.FChromosomes[0].Inverted = true;
    c = LoadCatalogue(writeFile(QStringLiteral("second.txt"), "new\t10\t20\t1\tnewgene"));
    const QStringList lines = Lines(c);
    QCOMPARE(lines,
             (QStringList{"count 1 max 1 rows 1", "chromosome 0 new", "gene 0 NEWGENE count 1",
                          "view 0 inverted false offset -10 min 10 max 20",
                          "row 0: new|10|20|1|NEWGENE| chr 0 gene 0"}));
}

// --- The catalogue -------------------------------------------------------------------------------

void TestCatalogue::chromosomeOrder()
{
    const TCatalogue c = CatalogueFromRecords(ParseCoordinateText(
        "chr2\t1\t2\t1\tA\nchr1\t1\t2\t1\tA\nchr2\t1\t2\t1\tB\nchr10\t1\t2\t1\tA\nchr1\t3\t4\t1"));
    QCOMPARE(c.FChromosomeNames, (tVectorOfString{"chr2", "chr1", "chr10"}));
    QCOMPARE(c.FChromosomes.size(), std::size_t(3));
    QCOMPARE(c.FRecords.size(), std::size_t(3));
    for (std::size_t i = 0; i < 3; ++i) {
        QCOMPARE(c.FChromosomes[i].ChromosomeIndex, qint32(i));
        QCOMPARE(c.FChromosomes[i].Inverted, false);
        for (const tGene &r : c.FRecords[i]) {
            QCOMPARE(r.ChromosomeIndex, qint32(i));
            QCOMPARE(r.ChromosomeName, c.FChromosomeNames[i]);
        }
    }
}

void TestCatalogue::geneOrder()
{
    const TCatalogue c = CatalogueFromRecords(ParseCoordinateText(
        "c\t1\t2\t1\tB\nc\t1\t2\t1\t10\nc\t1\t2\t1\t9\nc\t1\t2\t1\tA\nc\t1\t2\t1"));
    QCOMPARE(c.FGeneNames, (tVectorOfString{"10", "9", "???", "A", "B"}));

    const TCatalogue d = CatalogueFromRecords(ParseCoordinateText(
        "c\t1\t2\t1\tabc\nc\t1\t2\t1\tab\nc\t1\t2\t1\t\xe9t\xe9\nc\t1\t2\t1\tz\nc\t1\t2\t1\t_x\n"
        "c\t1\t2\t1\t0"));
    QCOMPARE(d.FGeneNames, (tVectorOfString{"0", "AB", "ABC", "Z", "_X", "\xe9T\xe9"}));
}

void TestCatalogue::geneIndexFirstRecordRule()
{
    const TCatalogue c = CatalogueFromRecords(ParseCoordinateText("chr1\t1\t2\t1\tA\n"
                                                                  "chr1\t3\t4\t1\tG\n"
                                                                  "chr2\t5\t6\t1\tG\n"
                                                                  "chr1\t7\t8\t1\tG\n"
                                                                  "chr1\t9\t10\t1\n"
                                                                  "chr2\t11\t12\t1\t???\n"));
    QCOMPARE(c.FGeneNames, (tVectorOfString{"???", "A", "G"}));
    const auto &chr1 = c.FRecords[0];
    const auto &chr2 = c.FRecords[1];
    QCOMPARE(chr1.size(), std::size_t(4));
    QCOMPARE(chr1[0].GeneIndex, 1); // A
    QCOMPARE(chr1[1].GeneIndex, 2); // the first G on chr1
    QCOMPARE(chr1[2].GeneIndex, 0); // the second G on chr1
    QCOMPARE(chr1[3].GeneIndex, 0); // ???
    QCOMPARE(chr2[0].GeneIndex, 2); // G on chr2
    QCOMPARE(chr2[1].GeneIndex, 0); // ???
    QCOMPARE(c.FGeneCounts, (tVectorOfCardinal{0, 1, 2}));
    QCOMPARE(c.FMaxGeneCount, 2u);
}

void TestCatalogue::countsAndMax()
{
    const TCatalogue c = CatalogueFromRecords(ParseCoordinateText(
        "a\t1\t2\t1\tONLY\nb\t1\t2\t1\tX\nc\t1\t2\t1\tX\na\t1\t2\t1\tX\na\t1\t2\t1\tX\n"
        "b\t1\t2\t1\nc\t1\t2\t1\nb\t1\t2\t1\tY\nb\t1\t2\t1\tY"));
    QCOMPARE(c.FGeneNames, (tVectorOfString{"???", "ONLY", "X", "Y"}));
    QCOMPARE(c.FGeneCounts, (tVectorOfCardinal{0, 1, 3, 1}));
    QCOMPARE(c.FMaxGeneCount, 3u);
    QCOMPARE(c.FRecordCount, 9);

    // A file of unnamed records only: every count 0, the maximum 0.
    const TCatalogue u = CatalogueFromRecords(ParseCoordinateText("a\t1\t2\t1\nb\t1\t2\t1"));
    QCOMPARE(u.FGeneNames, (tVectorOfString{"???"}));
    QCOMPARE(u.FGeneCounts, (tVectorOfCardinal{0}));
    QCOMPARE(u.FMaxGeneCount, 0u);
}

void TestCatalogue::caseOfNames()
{
    const TCatalogue c = CatalogueFromRecords(
        ParseCoordinateText("chrX\t1\t2\t1\tabc\nCHRX\t1\t2\t1\tABC\nchrX\t1\t2\t1\tAbc"));
    QCOMPARE(c.FChromosomeNames, (tVectorOfString{"chrX", "CHRX"}));
    QCOMPARE(c.FGeneNames, (tVectorOfString{"ABC"}));
    QCOMPARE(c.FGeneCounts, (tVectorOfCardinal{2}));
}

void TestCatalogue::extentsAndOffset()
{
    const TCatalogue c = CatalogueFromRecords(ParseCoordinateText(
        "a\t1500\t900\t1\nb\t-50\t-10\t1\na\t200\t400\t1\nb\t$10\t-5\t-1\nc\t7\t7\t1"));
    QCOMPARE(c.FChromosomes[0].MinCoord, 200);
    QCOMPARE(c.FChromosomes[0].MaxCoord, 1500);
    QCOMPARE(c.FChromosomes[0].Offset, -200);
    QCOMPARE(c.FChromosomes[1].MinCoord, -50);
    QCOMPARE(c.FChromosomes[1].MaxCoord, 16);
    QCOMPARE(c.FChromosomes[1].Offset, 50);
    QCOMPARE(c.FChromosomes[2].MinCoord, 7);
    QCOMPARE(c.FChromosomes[2].MaxCoord, 7);
    QCOMPARE(c.FChromosomes[2].Offset, -7);
    for (const ChromosomeView &v : c.FChromosomes)
        QCOMPARE(v.Inverted, false);
}

// -MinCoord of the least 32-bit value does not fit: checked arithmetic raises.
void TestCatalogue::offsetOverflow()
{
    const std::vector<tGene> r = ParseCoordinateText("a\t-2147483648\t0\t1");
    QCOMPARE(ErrorOf([&] { CatalogueFromRecords(r); }), QStringLiteral("other: Integer overflow"));
    const std::vector<tGene> fine = ParseCoordinateText("a\t-2147483647\t2147483647\t1");
    QCOMPARE(CatalogueFromRecords(fine).FChromosomes[0].Offset, 2147483647);
}

void TestCatalogue::regroupingStable()
{
    QByteArray text;
    for (int i = 0; i < 300; ++i)
        text += "c" + QByteArray::number((i * 7) % 5) + "\t" + QByteArray::number(i) + "\t" +
                QByteArray::number(i + 1) + "\t1\tg" + QByteArray::number(i % 11) + "\n";
    const TCatalogue c = CatalogueFromRecords(ParseCoordinateText(text));
    QCOMPARE(c.FRecords.size(), c.FChromosomeNames.size());
    std::size_t total = 0;
    for (std::size_t row = 0; row < c.FRecords.size(); ++row) {
        total += c.FRecords[row].size();
        for (std::size_t k = 1; k < c.FRecords[row].size(); ++k)
            QVERIFY(c.FRecords[row][k - 1].Start < c.FRecords[row][k].Start); // file order
        for (const tGene &r : c.FRecords[row])
            QCOMPARE(r.ChromosomeIndex, qint32(row));
    }
    QCOMPARE(total, std::size_t(c.FRecordCount));
    QCOMPARE(c.FRecordCount, 300);
}

void TestCatalogue::emptyCatalogue_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("blank lines") << QByteArray("\n\n  \r\n\t\n");
    QTest::newRow("Ctrl+Z first") << QByteArray("\x1a"
                                                "a\t1\t2\t1\n");
}

void TestCatalogue::emptyCatalogue()
{
    QFETCH(QByteArray, text);
    const TCatalogue c = LoadCatalogue(writeFile(QStringLiteral("empty.txt"), text));
    QCOMPARE(c.FRecordCount, 0);
    QVERIFY(c.FRecords.empty());
    QVERIFY(c.FChromosomeNames.empty());
    QVERIFY(c.FGeneNames.empty());
    QVERIFY(c.FChromosomes.empty());
    QVERIFY(c.FGeneCounts.empty());
    QCOMPARE(c.FMaxGeneCount, 0u);
    QCOMPARE(Lines(c), Lines(ReferenceCatalogue({})));
}

// The three steps called one by one on a single-row table, as the file format does.
void TestCatalogue::stepsOneByOne()
{
    TCatalogue c;
    c.FRecords = {ParseCoordinateText("b\t5\t1\t1\tY\na\t2\t3\t1\tX\nb\t4\t9\t1\tX")};
    c.FRecordCount = 3;
    BuildChromosomeList(c);
    QCOMPARE(c.FChromosomeNames, (tVectorOfString{"b", "a"}));
    QCOMPARE(c.FRecords.size(), std::size_t(1)); // still one row
    QCOMPARE(c.FRecords[0][1].ChromosomeIndex, 1);
    QCOMPARE(c.FChromosomes.size(), std::size_t(2));
    BuildGeneList(c);
    QCOMPARE(c.FGeneNames, (tVectorOfString{"X", "Y"}));
    QCOMPARE(c.FRecords[0][0].GeneIndex, 0); // not yet set
    GroupRecords(c);
    QCOMPARE(c.FRecords.size(), std::size_t(2));
    QCOMPARE(Describe(c.FRecords[0]), (QStringList{"b|5|1|1|Y|", "b|4|9|1|X|"}));
    QCOMPARE(Describe(c.FRecords[1]), (QStringList{"a|2|3|1|X|"}));
    QCOMPARE(c.FRecords[0][0].GeneIndex, 1);
    QCOMPARE(c.FRecords[0][1].GeneIndex, 0);
    QCOMPARE(c.FRecords[1][0].GeneIndex, 0);
    QCOMPARE(c.FGeneCounts, (tVectorOfCardinal{2, 1}));
    QCOMPARE(c.FChromosomes[0].Offset, -1);
    QCOMPARE(c.FChromosomes[0].MaxCoord, 9);
}

// Random files: the hashing steps give exactly what the literal linear scans give.
void TestCatalogue::sameAsLiteralSteps()
{
    std::mt19937 random(2024);
    const char *chromosomes[] = {"chr1", "chr2", "Chr1", "chr10", "x", "chr1 ", "\xe9"};
    const char *genes[] = {"a", "A", "ab", "abc", "B", "10", "9", "", "???", "\xe9t", "z_1", "G"};
    for (int round = 0; round < 300; ++round) {
        QByteArray text;
        const int lines = int(random() % 60);
        const int chromosomePool = 1 + int(random() % 7);
        const int genePool = 1 + int(random() % 12);
        for (int i = 0; i < lines; ++i) {
            text += chromosomes[random() % chromosomePool];
            text += "\t" + QByteArray::number(int(random() % 2001) - 1000);
            text += "\t" + QByteArray::number(int(random() % 2001) - 1000);
            text += (random() % 2) ? "\t-1" : "\t1";
            if (random() % 4)
                text += QByteArray("\t") + genes[random() % genePool];
            if (random() % 5 == 0)
                text += "\tnote";
            text += "\n";
        }
        const std::vector<tGene> records = ParseCoordinateText(text);
        QCOMPARE(Lines(CatalogueFromRecords(records)), Lines(ReferenceCatalogue(records)));
    }
}

// Records made by hand, each name its own QByteArray (nothing shared): the same result.
void TestCatalogue::sameAsLiteralStepsUnsharedNames()
{
    std::mt19937 random(5);
    std::vector<tGene> records;
    for (int i = 0; i < 12000; ++i) {
        tGene r;
        const QByteArray chromosome = "c" + QByteArray::number(int(random() % 6));
        const QByteArray gene = "G" + QByteArray::number(int(random() % 40));
        r.ChromosomeName = QByteArray(chromosome.constData(), chromosome.size());
        r.GeneName = i % 17 ? QByteArray(gene.constData(), gene.size()) : QByteArray("???");
        r.Start = int(random() % 100000);
        r.End = int(random() % 100000);
        r.Strand = 1;
        records.push_back(r);
    }
    QCOMPARE(Lines(CatalogueFromRecords(records)), Lines(ReferenceCatalogue(records)));
}

// --- Decisions of the issue --------------------------------------------------------------------

void TestCatalogue::failedLoadKeepsPreviousCatalogue()
{
    TCatalogue c = LoadCatalogue(writeFile(
        QStringLiteral("good.txt"), "chr1\t100\t500\t-1\tabc\nchr2\t10\t20\t1\tabc\tnote\n"));
    // State a user could have reached since: a reversed row, a moved offset.
    c.FChromosomes[1].Inverted = true;
    c.FChromosomes[1].Offset = 1234;
    const QStringList before = Lines(c);

    const QString bad =
        writeFile(QStringLiteral("bad.txt"), "chr9\t1\t2\t1\tzzz\nchr9\t1 \t2\t1\n");
    QCOMPARE(ErrorOf([&] { c = LoadCatalogue(bad); }), LineError(2));
    QCOMPARE(Lines(c), before);

    const QString missing = m_dir.filePath(QStringLiteral("missing.txt"));
    QVERIFY(ErrorOf([&] { c = LoadCatalogue(missing); }).startsWith("EInOutError: Cannot open"));
    QCOMPARE(Lines(c), before);
}

void TestCatalogue::examples_data()
{
    QTest::addColumn<QString>("name");
    const QDir examples(QStringLiteral(OSTRINEL_EXAMPLES));
    const QStringList files = examples.entryList({QStringLiteral("*.txt")}, QDir::Files);
    if (files.isEmpty())
        QTest::newRow("none") << QString();
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << examples.filePath(file);
}

// The sample files load, and the demo shows what it is made to show.
void TestCatalogue::examples()
{
    QFETCH(QString, name);
    if (name.isEmpty())
        QSKIP("no example files");
    const TCatalogue c = LoadCatalogue(name);
    QVERIFY(c.FRecordCount > 0);
    QCOMPARE(Lines(c), Lines(ReferenceCatalogue(LoadCoordinateFile(name))));
    if (!name.endsWith(QStringLiteral("/demo.txt")))
        return;
    QVERIFY(c.FChromosomeNames.size() >= 4 && c.FChromosomeNames.size() <= 5);
    QVERIFY(c.FMaxGeneCount >= 3);
    bool unnamed = false, repeated = false, comment = false, reverse = false, forward = false;
    for (const auto &row : c.FRecords)
        for (const tGene &r : row) {
            unnamed |= r.GeneName == kUnknownGene;
            repeated |= r.GeneName != kUnknownGene && r.GeneIndex == 0;
            comment |= !r.Comment.isEmpty();
            reverse |= r.Strand == -1;
            forward |= r.Strand == 1;
        }
    QVERIFY(unnamed);
    QVERIFY(repeated);
    QVERIFY(comment);
    QVERIFY(reverse && forward);
}

// Files loaded together keep every chromosome of their own, whatever their names and paths.
void TestCatalogue::severalFilesNeverMerge_data()
{
    QTest::addColumn<QStringList>("paths"); // a path given twice is the same file twice
    QTest::addColumn<QStringList>("names"); // each file's chromosomes, comma-separated
    QTest::newRow("same file twice") << QStringList{"x.txt", "x.txt"} << QStringList{"c1", "c1"};
    QTest::newRow("same stem") << QStringList{"x.txt", "x.dat"} << QStringList{"c1", "c1"};
    QTest::newRow("same name, two folders")
        << QStringList{"a/x.txt", "b/x.txt", "a/x.txt"} << QStringList{"c1", "c1", "c1"};
    QTest::newRow("prefixed name taken")
        << QStringList{"x.txt", "y.txt"} << QStringList{"c1", "c1,x:c1,y:c1"};
    QTest::newRow("numbered label taken")
        << QStringList{"x.txt", "x.txt", "x.txt~2"} << QStringList{"c1", "c1", "c1,x.txt~2:c1"};
}

void TestCatalogue::severalFilesNeverMerge()
{
    QFETCH(QStringList, paths);
    QFETCH(QStringList, names);
    QTemporaryDir dir;
    QStringList files;
    QSet<QString> written;
    qsizetype expected = 0;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString path = dir.filePath(paths[i]);
        files << path;
        if (written.contains(path))
            continue;
        written.insert(path);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (const QString &name : names[i].split(','))
            file.write(name.toUtf8() + "\t10\t20\t1\tg\n");
        expected += names[i].split(',').size();
    }
    // The same file twice is two genomes.
    expected += paths.size() - written.size();
    const TCatalogue catalogue = LoadCatalogue(files);
    QCOMPARE(qsizetype(catalogue.FChromosomeNames.size()), expected);
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_core_catalogue.moc"
