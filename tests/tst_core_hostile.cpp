// Coordinate files that other programs wrote: huge lines, millions of empty lines, binary junk,
// Ctrl+Z in odd places, coordinates at the ends of 32 bits, hexadecimal bit patterns, a hundred
// thousand chromosomes, one gene everywhere, and files that cannot be read at all. Each ends in
// records or in a clear message with the right line number, never in a crash or a hang.
#include "HandCatalogue.h"
#include "ReferenceReader.h"
#include "core/Catalogue.h"
#include "core/MapOperations.h"
#include "core/RecordFile.h"
#include "util/StringOps.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint32 kMin = std::numeric_limits<qint32>::min();
constexpr qint32 kMax = std::numeric_limits<qint32>::max();
constexpr qsizetype kBlock = 4 << 20; // the reader's block size

QString Describe(const tGene &r)
{
    return QStringLiteral("%1|%2|%3|%4|%5|%6")
        .arg(QString::fromLatin1(r.ChromosomeName.toHex()))
        .arg(r.Start)
        .arg(r.End)
        .arg(r.Strand)
        .arg(QString::fromLatin1(r.GeneName.toHex()), QString::fromLatin1(r.Comment.toHex()));
}

// The records as text, or the message of the error the read ended in.
QStringList ReadOrError(const std::function<std::vector<tGene>()> &read)
{
    try {
        QStringList lines;
        for (const tGene &r : read())
            lines << Describe(r);
        return lines;
    } catch (const Exception &e) {
        return {QStringLiteral("error: ") + e.message()};
    }
}

QString ErrorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const Exception &e) {
        return e.message();
    }
    return QStringLiteral("no error");
}

QString LineError(qint64 line)
{
    return QStringLiteral("Error in the file at line %1").arg(line);
}

// The reading rules applied literally: the oracle for text no one wrote by hand.
QStringList LiteralRead(const QByteArray &text)
{
    return ReadOrError([&] { return ReferenceRead(text); });
}

// A random text from a fixed seed: uniform bytes, or bytes weighted towards what the reader
// looks at (tabs, line ends, digits, signs, hexadecimal marks, NUL, Ctrl+Z, spaces).
QByteArray RandomText(quint32 seed, qsizetype size, bool weighted)
{
    QRandomGenerator random(seed);
    QByteArray text(size, Qt::Uninitialized);
    static const char kInteresting[] = "\t\t\t\t\n\n\r 0123456789-+$xX\x1a\0abcZ???";
    for (qsizetype i = 0; i < size; ++i) {
        const quint32 v = random.generate();
        if (weighted && (v & 0x300) != 0)
            text[i] = kInteresting[(v >> 10) % (sizeof kInteresting - 1)];
        else
            text[i] = char(v & 0xFF);
    }
    return text;
}

template <std::size_t N> QByteArray Bytes(const char (&text)[N])
{
    return QByteArray(text, qsizetype(N) - 1); // NUL bytes included
}

qint32 GeneIndexOf(const TCatalogue &c, const char *name)
{
    const auto at = std::find(c.FGeneNames.begin(), c.FGeneNames.end(), QByteArray(name));
    return at == c.FGeneNames.end() ? -1 : qint32(at - c.FGeneNames.begin());
}

// The Inverted flag of every chromosome.
QList<bool> Flags(const TCatalogue &c)
{
    QList<bool> flags;
    for (const ChromosomeView &v : c.FChromosomes)
        flags << v.Inverted;
    return flags;
}

} // namespace

class TestHostile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void hugeLineWithoutTabs_data();
    void hugeLineWithoutTabs();
    void hugeNameColumns();
    void tenMillionEmptyLines_data();
    void tenMillionEmptyLines();
    void binaryJunk_data();
    void binaryJunk();
    void randomBinaryBlocks_data();
    void randomBinaryBlocks();
    void ctrlZ_data();
    void ctrlZ();
    void ctrlZAtBlockBoundary_data();
    void ctrlZAtBlockBoundary();
    void coordinateLimits_data();
    void coordinateLimits();
    void hexadecimal_data();
    void hexadecimal();
    void hundredThousandChromosomes();
    void shownTextOfHugeNames_data();
    void shownTextOfHugeNames();
    void disentangleWithoutRanks_data();
    void disentangleWithoutRanks();
    void disentangleOneGeneEverywhere();
    void unreadable_data();
    void unreadable();
    void fifoWithoutWriterDoesNotWait();
    void hostileAnnotations_data();
    void hostileAnnotations();
    void pastWhatTextCanBe_data();
    void pastWhatTextCanBe();
    void mutatedAnnotations();

private:
    QString WriteFile(const QString &name, const QByteArray &bytes);
    QTemporaryDir m_dir;
};

void TestHostile::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString TestHostile::WriteFile(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// --- Sizes ----------------------------------------------------------------------------------

void TestHostile::hugeLineWithoutTabs_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("outcome");
    // A 100 MB line of 25 reader blocks; without tabs it is skipped, but it counts as one line.
    QTest::newRow("first, then a bad line")
        << QByteArray() << QByteArray("\nc\t1\t2\t1\tg\nc\tbad\t2\t1\n") << LineError(3);
    QTest::newRow("between records, CRLF, then a bad line")
        << QByteArray("c\t1\t2\t1\n\n") << QByteArray("\r\nc\t3\t4\t1\nd\t5\t6 \t1\n")
        << LineError(5);
    QTest::newRow("last, without a line end, after a record")
        << QByteArray("c\t1\t2\t1\tg\n") << QByteArray() << QString();
}

void TestHostile::hugeLineWithoutTabs()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QString, outcome);
    QByteArray text = before;
    text.reserve(before.size() + (100 << 20) + after.size());
    // Spaces and NULs at both ends too: the trimming walks them without a column in sight.
    text += QByteArray(1000, ' ');
    text += QByteArray(100 << 20, 'A');
    text += QByteArray(1000, '\0');
    text += after;
    const QString path = WriteFile(QStringLiteral("huge.txt"), text);
    const QStringList fromText = ReadOrError([&] { return ParseCoordinateText(text); });
    const QStringList fromFile = ReadOrError([&] { return LoadCoordinateFile(path); });
    QFile::remove(path);
    QCOMPARE(fromFile, fromText);
    if (outcome.isEmpty()) {
        QCOMPARE(fromFile.size(), 1);
        QVERIFY(!fromFile.first().startsWith(QStringLiteral("error")));
    } else {
        QCOMPARE(fromFile, QStringList{QStringLiteral("error: ") + outcome});
    }
}

// A line of more than 4 columns whose name columns are huge: a record like any other.
void TestHostile::hugeNameColumns()
{
    const QByteArray chromosome(20 << 20, 'c');
    const QByteArray gene(30 << 20, 'g');
    const QByteArray text = "a\t1\t2\t1\tsmall\n" + chromosome + "\t5\t9\t-1\t" + gene +
                            "\tnote\t" + QByteArray(10 << 20, '7') + "\n";
    const QString bad = WriteFile(QStringLiteral("names.txt"), text + "c\tz\t1\t1\n");
    QCOMPARE(ErrorOf([&] { LoadCoordinateFile(bad); }), LineError(3));
    const QString good = WriteFile(QStringLiteral("names.txt"), text);
    const TCatalogue c = LoadCatalogue(good);
    QFile::remove(good);
    QCOMPARE(c.FChromosomeNames.size(), std::size_t(2));
    QCOMPARE(c.FChromosomeNames[1], chromosome);
    QCOMPARE(c.FGeneNames.size(), std::size_t(2));
    QCOMPARE(c.FGeneNames[0], gene.toUpper());
    const tGene &r = c.FRecords[1][0];
    QCOMPARE(r.Start, 9);
    QCOMPARE(r.End, 5);
    QCOMPARE(r.Comment, QByteArray("NOTE"));
    QCOMPARE(r.GeneIndex, 0);
    QCOMPARE(c.FGeneCounts[0], 1u);
    CheckMapCoordinates(c);
}

void TestHostile::tenMillionEmptyLines_data()
{
    QTest::addColumn<QByteArray>("empty");
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<QString>("outcome"); // the error, or the one record's start
    QTest::newRow("LF, then a record") << QByteArray("\n") << QByteArray("c\t7\t8\t1") << "7";
    QTest::newRow("LF, then a bad line")
        << QByteArray("\n") << QByteArray("c\t7 \t8\t1\n") << LineError(10000001);
    QTest::newRow("CRLF, then a bad line")
        << QByteArray("\r\n") << QByteArray("c\t7\t\t1\r\n") << LineError(10000001);
    QTest::newRow("blanks of spaces, tabs and NULs, then a record")
        << Bytes(" \t\0\n") << QByteArray("\n\nc\t-5\t8\t-1\n") << "8";
    QTest::newRow("short lines, then a bad line")
        << QByteArray("a\tb\tc\n") << QByteArray("\nc\t1\t2\t$\n") << LineError(10000002);
}

void TestHostile::tenMillionEmptyLines()
{
    QFETCH(QByteArray, empty);
    QFETCH(QByteArray, tail);
    QFETCH(QString, outcome);
    const QByteArray text = empty.repeated(10000000) + tail;
    const QString path = WriteFile(QStringLiteral("empty.txt"), text);
    const QStringList fromFile = ReadOrError([&] { return LoadCoordinateFile(path); });
    QFile::remove(path);
    QCOMPARE(ReadOrError([&] { return ParseCoordinateText(text); }), fromFile);
    if (outcome.startsWith(QStringLiteral("Error"))) {
        QCOMPARE(fromFile, QStringList{QStringLiteral("error: ") + outcome});
    } else {
        QCOMPARE(fromFile.size(), 1);
        QCOMPARE(fromFile.first().section('|', 1, 1), outcome);
    }
}

// --- Binary ---------------------------------------------------------------------------------

void TestHostile::binaryJunk_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("outcome"); // names in hex, or the error
    const auto row = [](const char *name, const QByteArray &text, const QStringList &outcome) {
        QTest::newRow(name) << text << outcome;
    };
    row("NUL inside the names is kept", Bytes("c\0h\t1\t2\t1\tg\0x\tn\0o\n"),
        {"630068|1|2|1|470058|4e004f"});
    row("NULs at the line end are trimmed", Bytes("c\t1\t2\t1\tg\0\0\0\n"), {"63|1|2|1|47|"});
    row("NUL between records is a blank line", Bytes("c\t1\t2\t1\n\0\nd\t3\t4\t1\n"),
        {"63|1|2|1|3f3f3f|", "64|3|4|1|3f3f3f|"});
    row("NUL inside a number", Bytes("a\t1\t2\t1\nc\t1\0\t2\t1\n"), {"error: " + LineError(2)});
    row("NUL before a number is no space",
        Bytes("c\t\0"
              "1\t2\t1\n"),
        {"error: " + LineError(1)});
    row("NUL as the whole strand", Bytes("c\t1\t2\t\0\tg\n"), {"error: " + LineError(1)});
    row("bytes above 127 and DEL stay as written, a to z only upper-cased",
        QByteArray("\xff\xfe\t1\t2\t1\t\xe9t\xe9\x7f\t\x80z\n"), {"fffe|1|2|1|e954e97f|805a"});
    row("a line of every byte but LF and tab, between records",
        [] {
            QByteArray junk;
            for (int b = 0; b < 256; ++b)
                if (b != '\n' && b != '\t')
                    junk += char(b);
            return "c\t1\t2\t1\n" + junk + junk + "\nd\t3\t4\t1\n";
        }(),
        {"63|1|2|1|3f3f3f|", "64|3|4|1|3f3f3f|"});
    row("a junk line with tabs fails at its number",
        "c\t1\t2\t1\n\n" + Bytes("\x01x\t\x03\t\x04\t\x05y\n"), {"error: " + LineError(3)});
}

void TestHostile::binaryJunk()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, outcome);
    QCOMPARE(ReadOrError([&] { return ParseCoordinateText(text); }), outcome);
    const QString path = WriteFile(QStringLiteral("junk.txt"), text);
    QCOMPARE(ReadOrError([&] { return LoadCoordinateFile(path); }), outcome);
    QCOMPARE(LiteralRead(text), outcome);
}

void TestHostile::randomBinaryBlocks_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<bool>("weighted");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("rounds");
    for (quint32 seed : {1u, 2u})
        QTest::newRow(qPrintable(QStringLiteral("uniform bytes, seed %1").arg(seed)))
            << seed << false << (9 << 20) << 3;
    for (quint32 seed : {11u, 12u, 13u, 14u})
        QTest::newRow(qPrintable(QStringLiteral("reader's bytes, seed %1").arg(seed)))
            << seed << true << (64 << 10) << 300;
}

// A random block, read from memory and from a file (over block boundaries), gives what the
// literal rules give: the same records, or the same line number. Each line that fails is then
// blotted out (its number kept) and the block read again, so that later lines are read too.
void TestHostile::randomBinaryBlocks()
{
    QFETCH(quint32, seed);
    QFETCH(bool, weighted);
    QFETCH(int, size);
    QFETCH(int, rounds);
    QByteArray text = RandomText(seed, size, weighted);
    int failures = 0;
    for (int round = 0; round < rounds; ++round) {
        const QStringList expected = LiteralRead(text);
        QCOMPARE(ReadOrError([&] { return ParseCoordinateText(text); }), expected);
        if (round == 0) {
            const QString path = WriteFile(QStringLiteral("random.bin"), text);
            QCOMPARE(ReadOrError([&] { return LoadCoordinateFile(path); }), expected);
            QFile::remove(path);
        }
        if (expected.isEmpty() || !expected.last().startsWith(QStringLiteral("error")))
            break;
        ++failures;
        const qint64 line = expected.last().section(' ', -1).toLongLong();
        qsizetype begin = 0;
        for (qint64 n = 1; n < line; ++n)
            begin = text.indexOf('\n', begin) + 1;
        qsizetype end = text.indexOf('\n', begin);
        if (end < 0)
            end = text.size();
        QVERIFY(end > begin);
        text.replace(begin, end - begin, QByteArray(end - begin, 'x'));
    }
    QVERIFY(failures > 0); // the junk did reach the number columns
}

// --- Ctrl+Z ---------------------------------------------------------------------------------

void TestHostile::ctrlZ_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("outcome");
    QTest::newRow("at a line start in the middle: the rest, bad lines too, is not read")
        << QByteArray("a\t1\t2\t1\n\nb\t3\t4\t1\n\x1a"
                      "c\tbad\t4\t1\nd\t5\t6\t1\n")
        << QStringList{"61|1|2|1|3f3f3f|", "62|3|4|1|3f3f3f|"};
    QTest::newRow("at a line start after CRLF")
        << QByteArray("a\t1\t2\t1\r\n\x1a\r\nb\t3\t4\t1\r\n") << QStringList{"61|1|2|1|3f3f3f|"};
    QTest::newRow("inside a name: one byte of it") << QByteArray("a\x1a"
                                                                 "b\t1\t2\t1\tg\x1ah\n")
                                                   << QStringList{"611a62|1|2|1|471a48|"};
    QTest::newRow("inside a number: an error at its line")
        << QByteArray("a\t1\t2\t1\nb\t3\x1a\t4\t1\n") << QStringList{"error: " + LineError(2)};
    QTest::newRow("after a tab at a line start: trimmed, the line reads on")
        << QByteArray("\t\x1a"
                      "a\t1\t2\t1\nb\t3\t4\t1")
        << QStringList{"61|1|2|1|3f3f3f|", "62|3|4|1|3f3f3f|"};
    QTest::newRow("many, each at a line start: the first ends the file")
        << QByteArray("\x1a\n\x1a\na\t1\t2\t1\n") << QStringList{};
}

void TestHostile::ctrlZ()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, outcome);
    QCOMPARE(ReadOrError([&] { return ParseCoordinateText(text); }), outcome);
    const QString path = WriteFile(QStringLiteral("ctrlz.txt"), text);
    QCOMPARE(ReadOrError([&] { return LoadCoordinateFile(path); }), outcome);
}

void TestHostile::ctrlZAtBlockBoundary_data()
{
    QTest::addColumn<qsizetype>("at");
    QTest::newRow("first byte of the second block") << kBlock;
    QTest::newRow("last byte of the first block") << kBlock - 1;
    QTest::newRow("first byte of the third block") << 2 * kBlock;
    QTest::newRow("after a line longer than a block") << kBlock + 12345;
}

// Where the file's blocks fall must not move the end of the file.
void TestHostile::ctrlZAtBlockBoundary()
{
    QFETCH(qsizetype, at);
    const QByteArray line = "chr\t10\t20\t1\tgene\n";
    QByteArray text = "first\t1\t2\t1\n";
    int records = 1;
    if (at > kBlock + 1000) {
        text += QByteArray(at - 1 - text.size(), 'n'); // one line without tabs up to it
    } else {
        for (; text.size() + line.size() < at; ++records)
            text += line;
        text += QByteArray(at - 1 - text.size(), ' ');
    }
    text += '\n';
    QCOMPARE(text.size(), at);
    text += "\x1a"
            "bad\tline\there\t!\n" +
            line;
    const QString path = WriteFile(QStringLiteral("boundary.txt"), text);
    const QStringList fromFile = ReadOrError([&] { return LoadCoordinateFile(path); });
    QFile::remove(path);
    QCOMPARE(fromFile.size(), records);
    QVERIFY(!fromFile.last().startsWith(QStringLiteral("error")));
    QCOMPARE(ReadOrError([&] { return ParseCoordinateText(text); }), fromFile);
}

// --- Numbers --------------------------------------------------------------------------------

void TestHostile::coordinateLimits_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("readError");
    QTest::addColumn<QString>("catalogueError");
    QTest::addColumn<QString>("mapError");
    const QString overflow = QStringLiteral("Integer overflow");
    const QString none;
    QTest::newRow("greatest value alone: drawn at 0")
        << QByteArray("a\t2147483647\t2147483647\t1") << none << none << none;
    QTest::newRow("span 0..2147483647")
        << QByteArray("a\t0\t2147483647\t1") << none << none << none;
    QTest::newRow("span -1..2147483646")
        << QByteArray("a\t-1\t2147483646\t-1") << none << none << none;
    QTest::newRow("span of 2147483648: -1..2147483647")
        << QByteArray("a\t5\t6\t1\na\t-1\t2147483647\t1") << none << none << overflow;
    QTest::newRow("-2147483647 and 2147483647 on one chromosome")
        << QByteArray("a\t-2147483647\t0\t1\nb\t1\t2\t1\na\t2147483647\t2147483647\t1") << none
        << none << overflow;
    QTest::newRow("-2147483647 and 2147483647 on two chromosomes")
        << QByteArray("a\t-2147483647\t0\t1\nb\t2147483647\t2147483647\t1") << none << none << none;
    QTest::newRow("least value: no offset draws it at 0")
        << QByteArray("a\t1\t2\t1\nb\t-2147483648\t-2147483648\t1") << none << overflow << none;
    QTest::newRow("least value as hexadecimal $80000000")
        << QByteArray("a\t$80000000\t0\t1") << none << overflow << none;
    QTest::newRow("least and greatest strands")
        << QByteArray("a\t1\t2\t-2147483648\na\t3\t4\t2147483647") << none << none << none;
    QTest::newRow("2147483648 at line 3")
        << QByteArray("a\t1\t2\t1\n\na\t2147483648\t2\t1\n") << LineError(3) << none << none;
    QTest::newRow("-2147483649 at line 2")
        << QByteArray("a\t1\t2\t1\na\t1\t-2147483649\t1\n") << LineError(2) << none << none;
    QTest::newRow("strand 4294967295 at line 1")
        << QByteArray("a\t1\t2\t4294967295") << LineError(1) << none << none;
    QTest::newRow("twenty digits")
        << QByteArray("a\t1\t99999999999999999999\t1") << LineError(1) << none << none;
    QTest::newRow("leading zeros are no overflow")
        << QByteArray("a\t0000000000002147483647\t-00000000002147483648\t1") << none << overflow
        << none;
}

void TestHostile::coordinateLimits()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, readError);
    QFETCH(QString, catalogueError);
    QFETCH(QString, mapError);
    std::vector<tGene> records;
    QCOMPARE(ErrorOf([&] { records = ParseCoordinateText(text); }),
             readError.isEmpty() ? QStringLiteral("no error") : readError);
    if (!readError.isEmpty())
        return;
    TCatalogue c;
    QCOMPARE(ErrorOf([&] { c = CatalogueFromRecords(records); }),
             catalogueError.isEmpty() ? QStringLiteral("no error") : catalogueError);
    if (!catalogueError.isEmpty())
        return;
    QCOMPARE(ErrorOf([&] { CheckMapCoordinates(c); }),
             mapError.isEmpty() ? QStringLiteral("no error") : mapError);
    if (mapError.isEmpty()) {
        // Every chromosome as loaded runs from 0 to its span.
        for (const ChromosomeView &v : c.FChromosomes) {
            QCOMPARE(MapCoordinate(v, v.MinCoord), 0);
            QCOMPARE(qint64(MapCoordinate(v, v.MaxCoord)), qint64(v.MaxCoord) - v.MinCoord);
        }
    }
}

void TestHostile::hexadecimal_data()
{
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::newRow("$80000000") << QByteArray("$80000000") << true << kMin;
    QTest::newRow("0xFFFFFFFF") << QByteArray("0xFFFFFFFF") << true << -1;
    QTest::newRow("x7FFFFFFF") << QByteArray("x7FFFFFFF") << true << kMax;
    QTest::newRow("X80000001") << QByteArray("X80000001") << true << kMin + 1;
    QTest::newRow("0Xfffffffe lower-case digits") << QByteArray("0Xfffffffe") << true << -2;
    QTest::newRow("$00000000 eight zeros") << QByteArray("$00000000") << true << 0;
    QTest::newRow("leading spaces") << QByteArray("   $1F") << true << 31;
    QTest::newRow("9 digits") << QByteArray("$FFFFFFFFF") << false << 0;
    QTest::newRow("9 digits, leading zero") << QByteArray("0x000000001") << false << 0;
    QTest::newRow("-$1F") << QByteArray("-$1F") << false << 0;
    QTest::newRow("+$1F") << QByteArray("+$1F") << false << 0;
    QTest::newRow("$ alone") << QByteArray("$") << false << 0;
    QTest::newRow("0x alone") << QByteArray("0x") << false << 0;
    QTest::newRow("X alone") << QByteArray("X") << false << 0;
    QTest::newRow("$-1") << QByteArray("$-1") << false << 0;
    QTest::newRow("$ 1F") << QByteArray("$ 1F") << false << 0;
    QTest::newRow("$1F and a space") << QByteArray("$1F ") << false << 0;
    QTest::newRow("$1G") << QByteArray("$1G") << false << 0;
    QTest::newRow("$$1") << QByteArray("$$1") << false << 0;
    QTest::newRow("00x1F") << QByteArray("00x1F") << false << 0;
    QTest::newRow("0$1F") << QByteArray("0$1F") << false << 0;
    QTest::newRow("0x0x1") << QByteArray("0x0x1") << false << 0;
}

void TestHostile::hexadecimal()
{
    QFETCH(QByteArray, start);
    QFETCH(bool, valid);
    QFETCH(int, value);
    // On line 2, as the start and as the strand (before a gene column, so that the line's
    // trimming does not reach it) of a record whose end is 5.
    const QByteArray asStart = "a\t1\t2\t1\nb\t" + start + "\t5\t1\n";
    const QByteArray asStrand = "a\t1\t2\t1\nb\t4\t5\t" + start + "\tg\n";
    if (!valid) {
        QCOMPARE(ErrorOf([&] { ParseCoordinateText(asStart); }), LineError(2));
        QCOMPARE(ErrorOf([&] { ParseCoordinateText(asStrand); }), LineError(2));
        return;
    }
    const std::vector<tGene> records = ParseCoordinateText(asStart);
    QCOMPARE(records.size(), std::size_t(2));
    QCOMPARE(records[1].Start, value);
    const std::vector<tGene> stranded = ParseCoordinateText(asStrand);
    QCOMPARE(stranded[1].Strand, value);
    // -1 as a bit pattern is the reverse strand like any -1.
    QCOMPARE(stranded[1].Start, value == -1 ? 5 : 4);
}

// --- Many chromosomes, one gene -------------------------------------------------------------

void TestHostile::hundredThousandChromosomes()
{
    constexpr int n = 100000;
    QByteArray text;
    for (int i = 0; i < n; ++i)
        text += "chr" + QByteArray::number(n - i) + "\t" + QByteArray::number(i) + "\t" +
                QByteArray::number(i + 10) + "\t1\t" +
                (i % 2 ? "shared" : "g" + QByteArray::number(i)) + "\n";
    text += "chr100000\t-5\t0\t1\tshared\n"; // the first chromosome again, at the end
    const QString path = WriteFile(QStringLiteral("many.txt"), text);
    const TCatalogue c = LoadCatalogue(path);
    QFile::remove(path);
    QCOMPARE(c.FChromosomeNames.size(), std::size_t(n));
    QCOMPARE(c.FChromosomeNames.front(), QByteArray("chr100000"));
    QCOMPARE(c.FChromosomeNames.back(), QByteArray("chr1"));
    QCOMPARE(c.FRecords.size(), std::size_t(n));
    QCOMPARE(c.FRecords[0].size(), std::size_t(2));
    QCOMPARE(c.FGeneNames.size(), std::size_t(n / 2 + 1));
    const qint32 shared = GeneIndexOf(c, "SHARED");
    QCOMPARE(c.FGeneCounts[std::size_t(shared)], quint32(n / 2 + 1));
    QCOMPARE(c.FMaxGeneCount, quint32(n / 2 + 1));
    QCOMPARE(c.FChromosomes[0].Offset, 5);
    QCOMPARE(c.FChromosomes[n - 1].Offset, -(n - 1));
    for (std::size_t i = 0; i < c.FRecords.size(); ++i)
        for (const tGene &r : c.FRecords[i])
            QCOMPARE(r.ChromosomeIndex, qint32(i));
    CheckMapCoordinates(c);
}

void TestHostile::disentangleWithoutRanks_data()
{
    QTest::addColumn<QList<QList<int>>>("starts"); // per chromosome: starts of the genes A, B
    QTest::addColumn<QList<bool>>("inverted");
    // -1 for a gene the chromosome does not carry. With two gene names a pair shares at most two
    // genes; a tie gives no variance, one shared gene no order: the coefficient 0 and the
    // orientation of the row above.
    QTest::newRow("opposite orders turn the second")
        << QList<QList<int>>{{100, 200}, {200, 100}} << QList<bool>{false, true};
    QTest::newRow("a tie keeps the turned orientation of the row above, twice")
        << QList<QList<int>>{{100, 200}, {200, 100}, {300, 300}, {100, 200}}
        << QList<bool>{false, true, true, true};
    QTest::newRow("a gene one row lacks leaves one shared gene")
        << QList<QList<int>>{{100, 200}, {200, 100}, {-1, 50}, {50, 10}}
        << QList<bool>{false, true, true, true};
    QTest::newRow("all starts 0: a tie")
        << QList<QList<int>>{{100, 200}, {200, 100}, {0, 0}, {0, 0}}
        << QList<bool>{false, true, true, true};
    QTest::newRow("after a tie the next pair decides again")
        << QList<QList<int>>{{100, 200}, {300, 300}, {200, 100}, {100, 200}}
        << QList<bool>{false, false, false, true};
    QTest::newRow("negative starts are positions, not counted in the mean")
        << QList<QList<int>>{{-300, -100}, {-100, -300}} << QList<bool>{false, true};
}

// Two gene names: vectors of two elements, the smallest a rank correlation can use.
void TestHostile::disentangleWithoutRanks()
{
    QFETCH(QList<QList<int>>, starts);
    QFETCH(QList<bool>, inverted);
    std::vector<THandRow> rows;
    for (int i = 0; i < starts.size(); ++i) {
        THandRow row{"c" + QByteArray::number(i), {}};
        if (starts[i][0] >= 0 || starts[i][0] < -1)
            row.Records.push_back({"A", starts[i][0], starts[i][0] + 5});
        if (starts[i][1] >= 0 || starts[i][1] < -1)
            row.Records.push_back({"B", starts[i][1], starts[i][1] + 5});
        rows.push_back(row);
    }
    TCatalogue c = HandCatalogue(rows, {"A", "B"});
    for (ChromosomeView &v : c.FChromosomes)
        v.Inverted = true; // inversions by hand are discarded
    Disentangle(c);
    QCOMPARE(Flags(c), inverted);
}

// One gene name on every chromosome, or only "???": at most one shared gene, which no rank
// correlation can order, so no row is turned (and none is left turned by hand).
void TestHostile::disentangleOneGeneEverywhere()
{
    for (const QByteArray &gene : {QByteArray("ONLY"), kUnknownGene}) {
        std::vector<THandRow> rows;
        for (int i = 0; i < 2000; ++i)
            rows.push_back(
                {"c" + QByteArray::number(i),
                 {{gene, (i % 7) * 100 + 1, (i % 7) * 100 + 50}, {gene, 1000 - i, 900 - i}}});
        TCatalogue c = HandCatalogue(rows);
        QCOMPARE(c.FGeneNames.size(), std::size_t(1));
        for (std::size_t i = 0; i < c.FChromosomes.size(); i += 3)
            c.FChromosomes[i].Inverted = true;
        Disentangle(c);
        QCOMPARE(Flags(c), QList<bool>(2000, false));
        QCOMPARE(GenePositions(c, 5).size(), std::size_t(gene == kUnknownGene ? 0 : 1));
    }
}

void TestHostile::shownTextOfHugeNames_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    const qsizetype n = kLongestDisplayText;
    const QString ellipsis(QChar(0x2026));
    QTest::newRow("exactly as long as shows") << QByteArray(n, 'a') << QString(n, 'a');
    QTest::newRow("one more") << QByteArray(n + 1, 'a') << QString(n - 1, 'a') + ellipsis;
    QTest::newRow("100 MB") << QByteArray(100 << 20, 'a') << QString(n - 1, 'a') + ellipsis;
    // Two-byte characters: the cut falls between characters, not inside one.
    QTest::newRow("UTF-8, two bytes each")
        << QByteArray("\xC3\xA9").repeated(3 * n) << QString(n - 1, QChar(0xE9)) + ellipsis;
    // Four-byte characters are two UTF-16 units: a pair is never split.
    QTest::newRow("UTF-8, four bytes each")
        << QByteArray("\xF0\x9F\x98\x80").repeated(n)
        << QString::fromUtf8(QByteArray("\xF0\x9F\x98\x80").repeated(n / 2 - 1)) + ellipsis;
    // Valid UTF-8 as far as it shows, but not as a whole: Latin-1, as for a short name.
    QTest::newRow("invalid byte past the cut")
        << QByteArray("\xC3\xA9").repeated(5 * n) + "\xFF"
        << QString::fromLatin1(QByteArray("\xC3\xA9").repeated(n / 2)).left(n - 1) + ellipsis;
}

// What the lists, the map and the reports show of a name: whole up to 4096 characters, else its
// start and an ellipsis, decoded by the same rule as a short name.
void TestHostile::shownTextOfHugeNames()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    const QString text = DisplayText(bytes);
    QCOMPARE(text.size(), shown.size());
    QCOMPARE(text, shown);
}

// --- Files that cannot be read ----------------------------------------------------------------

void TestHostile::unreadable_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("vanished") << "vanished"
                              << "No such file or directory";
    QTest::newRow("replaced by a folder") << "folder"
                                          << "Is a directory";
    QTest::newRow("a device that never ends") << "/dev/zero"
                                              << "Not a regular file";
    QTest::newRow("a link to nowhere") << "dangling"
                                       << "No such file or directory";
}

void TestHostile::unreadable()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QString path = m_dir.filePath(QStringLiteral("gone.txt"));
    WriteFile(QStringLiteral("gone.txt"), "a\t1\t2\t1\n");
    QVERIFY(QFile::remove(path));
    if (kind == QStringLiteral("folder"))
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("gone.txt")));
    else if (kind == QStringLiteral("dangling"))
        QVERIFY(QFile::link(m_dir.filePath(QStringLiteral("nowhere")), path));
    else if (kind.startsWith('/'))
        path = kind;
    QCOMPARE(ErrorOf([&] { LoadCatalogue(path); }),
             QStringLiteral("Cannot open file \"%1\": %2").arg(path, reason));
    QDir(m_dir.path()).rmdir(QStringLiteral("gone.txt"));
    QFile::remove(m_dir.filePath(QStringLiteral("gone.txt")));
}

// A FIFO that no program writes to would hold an ordinary open for ever. Should the reader
// block all the same, a writer comes after a few seconds, so the test fails instead of hanging.
void TestHostile::fifoWithoutWriterDoesNotWait()
{
    const QString path = m_dir.filePath(QStringLiteral("fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::atomic<bool> rescued = false;
    std::thread rescue([&] {
        std::unique_lock lock(mutex);
        if (!done.wait_for(lock, std::chrono::seconds(5), [&] { return finished; })) {
            rescued = true;
            const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
            if (fd >= 0)
                ::close(fd);
        }
    });
    const QString message = ErrorOf([&] { LoadCoordinateFile(path); });
    {
        std::lock_guard lock(mutex);
        finished = true;
    }
    done.notify_all();
    rescue.join();
    QVERIFY(!rescued);
    QCOMPARE(message, QStringLiteral("Cannot open file \"%1\": Not a regular file").arg(path));
    QFile::remove(path);
}

// --- Annotation files -----------------------------------------------------------------------

// Each row: the bytes, read through the file (so through the blocks of the line reader), and the
// outcome: the number of records, or the error.
void TestHostile::hostileAnnotations_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("outcome");
    const QByteArray gff3 = "##gff-version 3\n";
    const QByteArray gene = "c\ts\tgene\t1\t9\t.\t+\t.\t";
    const QByteArray big(30 << 20, 'x');
    const QString gff3Error = QStringLiteral("Error in the GFF3 file at line %1: %2");
    QTest::newRow("GFF3 huge attribute column")
        << gff3 + gene + "ID=g;Note=" + big + "\n" + gene + "ID=h\n"
        << "2 records";
    QTest::newRow("GFF3 huge column without =")
        << gff3 + gene + "ID=g\n" + gene + big + "\n"
        << gff3Error.arg(3).arg("attribute without \"tag=value\"");
    QTest::newRow("GFF3 a million tabs at the end")
        << gff3 + gene + QByteArray(1 << 20, '\t') + "\n"
        << "1 records";
    QTest::newRow("GFF3 a million columns")
        << gff3 + gene + QByteArray(1 << 20, '\t') + "x\n"
        << gff3Error.arg(2).arg("nine tab-separated columns expected");
    for (const char *escape : {"%", "%4", "%G1", "%%41", "% x"})
        QTest::newRow(qPrintable(QStringLiteral("GFF3 escape %1").arg(QByteArray(escape).toHex())))
            << gff3 + gene + "ID=g;Name=" + big.first(5 << 20) + escape + "\n"
            << gff3Error.arg(2).arg("broken percent escape");
    QTest::newRow("GFF3 escape at the end") << gff3 + gene + "ID=%41\n"
                                            << "1 records";
    QTest::newRow("GTF huge gene_name")
        << "c\ts\tgene\t1\t9\t.\t+\t.\tgene_id \"g\"; gene_name \"" + big + "\";\n"
        << "1 records";
    QTest::newRow("BED huge line") << "track x\n" + big + "\n"
                                   << "Error in the BED file at line 2: 3 or more columns expected";
    const QByteArray genBank = "LOCUS       R\nFEATURES             Location/Qualifiers\n"
                               "     gene            ";
    const QString unbalanced = QStringLiteral(
        "Error in the GenBank file at line 3: unbalanced parentheses in the location");
    QTest::newRow("GenBank a million join(")
        << genBank + QByteArray("join(").repeated(1 << 20) + "1..2\n//\n"
        << unbalanced;
    QTest::newRow("GenBank a million )") << genBank + "1..2" + QByteArray(1 << 20, ')') + "\n//\n"
                                         << unbalanced;
    QTest::newRow("GenBank deep and balanced")
        << genBank + QByteArray("complement(").repeated(1 << 20) + "1..2" +
               QByteArray(1 << 20, ')') + "\n//\n"
        << "1 records";
    QTest::newRow("GenBank location over 100,000 lines")
        << genBank + "join(1..2," + QByteArray("                     3..4,\n").repeated(100000) +
               "                     5..6)\n//\n"
        << "1 records";
    QTest::newRow("GenBank quote never closed")
        << genBank + "1..2\n                     /product=\"a\n" +
               QByteArray("                     /gene b\n").repeated(1 << 18) + "//\n"
        << "Error in the GenBank file at line 4: a quoted value without its end";
}

void TestHostile::hostileAnnotations()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, outcome);
    const QString path = WriteFile(QStringLiteral("annotation.txt"), text);
    QString got;
    try {
        got = QStringLiteral("%1 records").arg(LoadRecordFile(path).size());
    } catch (const Exception &e) {
        got = e.message();
    }
    QFile::remove(path);
    QCOMPARE(got, outcome);
}

// Files no text file can be: a long run of NUL bytes, a line past 256 MB (written a megabyte at a
// time, never held whole), a system file that gives more than the size it states. Each row: the
// path or the bytes around the filler, and the message.
void TestHostile::pastWhatTextCanBe_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<char>("filler");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<QString>("outcome");
    const QString notText = QStringLiteral("a run of 65536 NUL bytes: the file is not text");
    QTest::newRow("NUL line in a coordinate file")
        << QString() << QByteArray("a\t1\t2\t1\n") << '\0' << qint64(8 << 20)
        << LineError(2) + ". The line holds a run of 65536 NUL bytes: the file is not text.";
    QTest::newRow("NUL line in a GFF3 file")
        << QString() << QByteArray("##gff-version 3\n") << '\0' << qint64(8 << 20)
        << "Error in the GFF3 file at line 2: " + notText;
    QTest::newRow("line past 256 MB in a BED file")
        << QString() << QByteArray("track x\n") << 'x' << (qint64(256) << 20) + 1
        << QStringLiteral("Error in the BED file at line 2: the line is longer than 256 MB");
    QTest::newRow("system file larger than it says")
        << QStringLiteral("/proc/self/status") << QByteArray() << ' ' << qint64(0)
        << LineError(1) + ". The file grew while it was read.";
}

void TestHostile::pastWhatTextCanBe()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, head);
    QFETCH(char, filler);
    QFETCH(qint64, count);
    QFETCH(QString, outcome);
    if (path.isEmpty()) {
        path = m_dir.filePath(QStringLiteral("bounds.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(head);
        const QByteArray chunk(1 << 20, filler);
        for (qint64 left = count; left > 0; left -= chunk.size())
            QVERIFY(file.write(chunk.constData(), std::min<qint64>(left, chunk.size())) > 0);
    }
    QCOMPARE(ErrorOf([&] { LoadRecordFile(path); }), outcome);
    if (path.startsWith(m_dir.path()))
        QFile::remove(path);
}

// The samples with random bytes changed, from fixed seeds: each reads, or fails with its
// format's line error, never with anything else.
void TestHostile::mutatedAnnotations()
{
    const QRegularExpression lineError(
        QStringLiteral("^Error in the (((GFF3|GTF|GFF2|BED|GenBank|EMBL|PTT|dna_seg) file"
                       "( at line \\d+)?: )|file at line \\d+)"));
    static const char kBytes[] = "\t\n ()<>.,;=%\"/^:0123456789-+#abc";
    // The examples (read from their files), and small files of the formats they leave out.
    const QList<std::pair<const char *, QByteArray>> samples = {
        {"mouse.gff3", {}},
        {"clusters.gbk", {}},
        {"hamster.bed", {}},
        {"x.embl", "ID   E; SV 1; circular; DNA; STD; PRO; 100 BP.\nFT   gene            "
                   "join(complement(1..5),complement(90..100))\nFT                   /label=a\n"
                   "FT   rRNA            6..40\nXX\nSQ   Sequence\n     acgt\n//\n"},
        {"x.ptt", "T - 1..9\n1 proteins\nLocation\tStrand\tLength\tPID\tGene\tSynonym\tCode\t"
                  "COG\tProduct\n5..40\t+\t11\t1\tabc\tb1\t-\t-\tkinase\n"},
        {"x.tab", "name\tstart\tend\tstrand\tproduct\nabc\t5\t40\t1\tkinase\n"},
        {"x.gff", "##gff-version 2\nI\tc\tCDS\t10\t90\t.\t+\t0\tCDS \"F5\" ; Note \"x\"\n"}};
    for (auto [name, sample] : samples) {
        if (sample.isEmpty()) {
            QFile file(QStringLiteral(OSTRINEL_EXAMPLES "/") + QLatin1String(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            sample = file.readAll();
        }
        QRandomGenerator random(7);
        for (int round = 0; round < 300; ++round) {
            QByteArray text = sample;
            for (int k = 0, n = 1 + int(random.bounded(8)); k < n; ++k)
                text[random.bounded(int(text.size()))] =
                    kBytes[random.bounded(int(sizeof kBytes - 1))];
            try {
                ParseRecordText(text, QLatin1String(name));
            } catch (const EInOutError &e) {
                QVERIFY2(lineError.match(e.message()).hasMatch(), qPrintable(e.message()));
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_core_hostile.moc"
