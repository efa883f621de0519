// The version text and the version record read from the program file itself. The test program
// carries the record like Ostrinel does; with --print-version it prints VersionText(2) and
// VersionText(4), so that a copy of it without the record can be run and asked.
#include "platform/Systeme.h"
#include "platform/VersionInfo.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

QByteArray ReadBlock(const QByteArray &fileName)
{
    const quint32 size = GetFileVersionInfoSizeA(fileName.constData());
    if (size == 0)
        return QByteArray();
    QByteArray block(qsizetype(size), '\0');
    if (!GetFileVersionInfoA(fileName.constData(), size, block.data()))
        return QByteArray();
    return block;
}

QString StringValue(const QByteArray &block, const char *subBlock)
{
    const void *value = nullptr;
    quint32 length = 0;
    if (!VerQueryValueA(block.constData(), subBlock, &value, &length))
        return QStringLiteral("<none>");
    const char *text = static_cast<const char *>(value);
    if (length == 0 || text[length - 1] != '\0')
        return QStringLiteral("<unterminated>");
    return QString::fromLatin1(text, qsizetype(length - 1));
}

} // namespace

class TestVersion : public QObject
{
    Q_OBJECT
private slots:
    void versionText_data();
    void versionText();
    void formatVersion_data();
    void formatVersion();
    void fixedFileInfo();
    void stringTable_data();
    void stringTable();
    void translation();
    void readFileVersion();
    void filesWithoutRecord_data();
    void filesWithoutRecord();
    void programWithRecord();
    void programWithoutRecord();

private:
    QTemporaryDir m_dir;
};

void TestVersion::versionText_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "1";
    QTest::newRow("1") << 1 << "1";
    QTest::newRow("2") << 2 << "1.0";
    QTest::newRow("3") << 3 << "1.0.10";
    QTest::newRow("4") << 4 << "1.0.10.26";
    QTest::newRow("5") << 5 << "1.0.10.26";
    QTest::newRow("255") << 255 << "1.0.10.26";
}

void TestVersion::versionText()
{
    QFETCH(int, count);
    QTEST(VersionText(quint8(count)), "text");
}

void TestVersion::formatVersion_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("release");
    QTest::addColumn<int>("build");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("text");
    QTest::newRow("all five digits") << 65535 << 65535 << 0 << 65535 << 4 << "65535.65535.0.65535";
    QTest::newRow("zero major") << 0 << 7 << 0 << 0 << 2 << "0.7";
    QTest::newRow("zero alone") << 0 << 1 << 2 << 3 << 1 << "0";
    QTest::newRow("no leading zeros") << 10 << 9 << 100 << 1000 << 3 << "10.9.100";
}

void TestVersion::formatVersion()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, release);
    QFETCH(int, build);
    QFETCH(int, count);
    QTEST(FormatVersion(quint16(major), quint16(minor), quint16(release), quint16(build),
                        quint8(count)),
          "text");
}

void TestVersion::fixedFileInfo()
{
    const QByteArray block = ReadBlock(ProgramFileName());
    QVERIFY(!block.isEmpty());
    const void *value = nullptr;
    quint32 length = 0;
    QVERIFY(VerQueryValueA(block.constData(), "\\", &value, &length));
    QCOMPARE(length, quint32(sizeof(VS_FIXEDFILEINFO)));
    VS_FIXEDFILEINFO info;
    std::memcpy(&info, value, sizeof info);
    QCOMPARE(info.dwSignature, 0xFEEF04BDu);
    QCOMPARE(info.dwFileVersionMS, 0x00010000u);
    QCOMPARE(info.dwFileVersionLS, 0x000A001Au);
    QCOMPARE(info.dwProductVersionMS, 0x00010000u);
    QCOMPARE(info.dwProductVersionLS, 0x000A001Au);
}

void TestVersion::stringTable_data()
{
    QTest::addColumn<QByteArray>("subBlock");
    QTest::addColumn<QString>("value");
    const QByteArray table = "\\StringFileInfo\\040904E4\\";
    QTest::newRow("FileVersion") << table + "FileVersion"
                                 << "1.0.10.26";
    QTest::newRow("ProductVersion") << table + "ProductVersion"
                                    << "1.0.0.0";
    for (const char *name : {"CompanyName", "FileDescription", "InternalName", "OriginalFilename",
                             "ProductName", "Comments"})
        QTest::newRow(name) << table + name << "";
    QTest::newRow("case ignored") << QByteArray("\\stringfileinfo\\040904e4\\FILEVERSION")
                                  << "1.0.10.26";
    QTest::newRow("unknown name") << table + "LegalCopyright"
                                  << "<none>";
    QTest::newRow("name prefix") << table + "File"
                                 << "<none>";
    QTest::newRow("other language")
        << QByteArray("\\StringFileInfo\\040704B0\\FileVersion") << "<none>";
    QTest::newRow("table itself") << QByteArray("\\StringFileInfo") << "<none>";
}

void TestVersion::stringTable()
{
    QFETCH(QByteArray, subBlock);
    const QByteArray block = ReadBlock(ProgramFileName());
    QVERIFY(!block.isEmpty());
    QTEST(StringValue(block, subBlock.constData()), "value");
}

void TestVersion::translation()
{
    const QByteArray block = ReadBlock(ProgramFileName());
    const void *value = nullptr;
    quint32 length = 0;
    QVERIFY(VerQueryValueA(block.constData(), "\\VarFileInfo\\Translation", &value, &length));
    QCOMPARE(length, 4u);
    quint16 pair[2];
    std::memcpy(pair, value, sizeof pair);
    QCOMPARE(pair[0], quint16(0x0409));
    QCOMPARE(pair[1], quint16(0x04E4));
}

void TestVersion::readFileVersion()
{
    quint16 major = 9, minor = 9, release = 9, build = 9;
    ReadFileVersion(major, minor, release, build);
    QCOMPARE(major, quint16(1));
    QCOMPARE(minor, quint16(0));
    QCOMPARE(release, quint16(10));
    QCOMPARE(build, quint16(26));
}

void TestVersion::filesWithoutRecord_data()
{
    QVERIFY(m_dir.isValid());
    QFile self(QString::fromLocal8Bit(ProgramFileName()));
    QVERIFY(self.open(QIODevice::ReadOnly));
    const QByteArray program = self.readAll();

    QTest::addColumn<QString>("fileName");
    const auto write = [&](const char *name, const QByteArray &contents) {
        const QString path = m_dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
        QTest::newRow(name) << path;
    };
    write("empty", QByteArray());
    write("text", "Chr1\t10\t20\t1\tABC\n");
    write("elf header only", program.left(64));
    write("first kilobyte", program.left(1024));
    // Section headers pointing far outside the file must not be followed.
    QByteArray badOffsets = program.left(4096);
    const quint64 farAway = 0x7FFFFFFFFFFFull;
    std::memcpy(badOffsets.data() + 0x28, &farAway, sizeof farAway); // e_shoff of an ELF64 file
    write("section headers outside", badOffsets);
    QTest::newRow("missing file") << m_dir.filePath(QStringLiteral("no such program"));
}

void TestVersion::filesWithoutRecord()
{
    QFETCH(QString, fileName);
    const QByteArray name = QFile::encodeName(fileName);
    QCOMPARE(GetFileVersionInfoSizeA(name.constData()), 0u);
    char buffer[1024];
    QVERIFY(!GetFileVersionInfoA(name.constData(), sizeof buffer, buffer));
}

void TestVersion::programWithRecord()
{
    QProcess process;
    process.start(QString::fromLocal8Bit(ProgramFileName()), {QStringLiteral("--print-version")});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardOutput(), QByteArray("[1.0]\n[1.0.10.26]\n"));
}

void TestVersion::programWithoutRecord()
{
    QVERIFY(m_dir.isValid());
    const QString copy = m_dir.filePath(QStringLiteral("program without record"));
    const QString program = QString::fromLocal8Bit(ProgramFileName());
    QCOMPARE(QProcess::execute(
                 QStringLiteral("objcopy"),
                 {QStringLiteral("--remove-section=") + QString::fromLatin1(kVersionSectionName),
                  program, copy}),
             0);
    QCOMPARE(GetFileVersionInfoSizeA(QFile::encodeName(copy).constData()), 0u);

    QProcess process;
    process.start(copy, {QStringLiteral("--print-version")});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardOutput(), QByteArray("[]\n[]\n"));
}

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--print-version") == 0) {
        std::printf("[%s]\n[%s]\n", qPrintable(VersionText(2)), qPrintable(VersionText(4)));
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestVersion test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_platform_version.moc"
