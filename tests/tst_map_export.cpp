// Saving the map as a picture and printing it: the extension rule, the picture sizes, the files
// read back by independent readers (they must show the rows' colours, the names and the
// connectors), the bitmap against a drawing of the same chart, failed saves and prints (missing
// and read-only folders, the full device, a size limit) that leave nothing broken, and a printed
// page read back from PDF. Run as the superuser, the read-only cases take the permissions of the
// user nobody for the save.
#include "MapFixtures.h"
#include "MetafileReaders.h"
#include "MetafileRecords.h"
#include "chart/TCanvas.h"
#include "map/Connectors.h"
#include "map/GraphExport.h"
#include "map/LabelLayout.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

const QString kDemo = QStringLiteral(OSTRINEL_EXAMPLES "/demo.txt");

// The map as the main window runs it: connectors before the rows, then labels and names after
// every drawing, and the rebuild cycle (once without connectors, once with).
struct TExportMap
{
    TMapFixture Map;
    TChart Chart;
    bool SkipConnectors = false;
    std::function<void()> OnDrawn; // after each drawing

    explicit TExportMap(TCatalogue catalogue, QSize size = QSize(900, 520))
        : Map(std::move(catalogue))
    {
        SetupMapChart(Chart);
        Chart.OnBeforeDrawSeries = [this](TChart &chart, TCanvas &canvas) {
            if (Map.View.LinkGenes && !SkipConnectors)
                DrawConnectors(chart, canvas);
        };
        Chart.OnAfterDraw = [this](TChart &chart, TCanvas *canvas) {
            if (OnDrawn)
                OnDrawn();
            if (canvas)
                DrawChromosomeNames(chart, *canvas, Map.Catalogue, Map.ChromosomeChecked);
        };
        Chart.SetChartRect(QRect(QPoint(0, 0), size));
    }

    QImage Screen()
    {
        const QRect r = Chart.ChartRect();
        QImage image(std::max(1, r.width()), std::max(1, r.height()), QImage::Format_RGB888);
        image.fill(Qt::white);
        QPainter painter(&image);
        Chart.Draw(painter, r);
        return image;
    }

    void Rebuild()
    {
        SkipConnectors = true;
        Map.Rebuild(Chart);
        Screen();
        SkipConnectors = false;
        Screen();
    }

    // The label texts the map shows whole inside the picture, and the chromosome names.
    QStringList Labels() const
    {
        QStringList out;
        const QRect inside = Chart.ChartRect().adjusted(0, 0, -1, -1);
        for (int s = 1; s < Chart.SeriesCount(); ++s) {
            const TArrowSeries &series = Chart.Series(s);
            if (!series.Marks.Visible)
                continue;
            for (int i = 0; i < series.Count(); ++i) {
                const TSeriesMarkPosition *pos = series.Position(i);
                if (!pos || series.Label(i) == kUnknownGene || series.Label(i).isEmpty() ||
                    !inside.contains(
                        QRect(pos->LabelLeft, pos->LabelTop, pos->LabelWidth, pos->LabelHeight)))
                    continue;
                out.append(QString::fromLatin1(series.Label(i)));
            }
        }
        out.removeDuplicates();
        return out;
    }
    // The chromosome names that start inside the picture: they stand right-aligned left of the
    // map, so a wide type face can push a long one past the left edge.
    QStringList Names() const
    {
        QFont bold = Chart.CanvasFont;
        bold.setBold(true);
        QImage device(1, 1, QImage::Format_RGB888);
        const QFontMetrics metrics(bold, &device);
        const int right = Chart.ValueToPixel(Chart.BottomAxis, 0) - 40;
        QStringList out;
        for (const QByteArray &n : Map.Catalogue.FChromosomeNames)
            if (right - metrics.horizontalAdvance(QString::fromLatin1(n)) >= 0)
                out.append(QString::fromLatin1(n));
        return out;
    }
    QList<QRgb> ArrowColors() const
    {
        QList<QRgb> out;
        for (int s = 1; s < Chart.SeriesCount(); ++s)
            for (int i = 0; i < Chart.Series(s).Count(); ++i)
                if (!out.contains(ToQColor(Chart.Series(s).Color(i)).rgb()))
                    out.append(ToQColor(Chart.Series(s).Color(i)).rgb());
        return out;
    }
};

// The demo file when the examples are present; otherwise a small map of the same kind.
TCatalogue DemoCatalogue()
{
    if (QFile::exists(kDemo))
        return LoadCatalogue(kDemo);
    return MakeCatalogue(
        {{"chrA", {{100, 900, "ALPHA"}, {1500, 1200, "BETA"}, {2000, 2600, "GAMMA"}}},
         {"chrB", {{300, 800, "BETA"}, {1000, 1800, "ALPHA"}, {2400, 2100, "DELTA"}}},
         {"chrC", {{50, 700, "GAMMA"}, {900, 1500, "DELTA"}, {1700, 2500, "ALPHA"}}}});
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The size a file says its picture has: placeable box, EMF bounds, or bitmap header.
QSize PictureSize(const QByteArray &file, TGraphFormat format)
{
    switch (format) {
    case TGraphFormat::Wmf:
        return file.size() < 22 ? QSize()
                                : QSize(S16(file, 10) - S16(file, 6), S16(file, 12) - S16(file, 8));
    case TGraphFormat::Emf:
        return file.size() < 88
                   ? QSize()
                   : QSize(S32(file, 16) - S32(file, 8), S32(file, 20) - S32(file, 12));
    case TGraphFormat::Bmp:
        return file.size() < 54 ? QSize() : QSize(S32(file, 18), std::abs(S32(file, 22)));
    case TGraphFormat::Svg: // read back by their own tools, not measured here
    case TGraphFormat::Pdf:
    case TGraphFormat::Png:
    case TGraphFormat::None:
        break;
    }
    return {};
}

// Black lines of four points without fill, as the readers write them.
int BrokenBlackLines(const QString &svg, bool wmf)
{
    static const QRegularExpression wmfLine(
        QStringLiteral("<polyline points=\"([^\"]*)\"\\s*style=\"([^\"]*)\""));
    static const QRegularExpression emfLine(
        QStringLiteral("<path d=\"([^\"]*)\" stroke=\"#000000\"([^>]*)>"));
    int count = 0;
    for (const QRegularExpressionMatch &m : (wmf ? wmfLine : emfLine).globalMatch(svg)) {
        const QString points = m.captured(1);
        if (wmf) {
            if (m.captured(2).contains("stroke:black") &&
                points.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts).size() == 4)
                ++count;
        } else if (points.count('L') == 3 && !points.contains('Z') &&
                   m.captured(2).contains("fill=\"none\"")) {
            ++count;
        }
    }
    return count;
}

struct TFileSizeLimit
{
    rlimit Old{};
    explicit TFileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit then fails instead of killing us
        getrlimit(RLIMIT_FSIZE, &Old);
        rlimit limit = Old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit() { setrlimit(RLIMIT_FSIZE, &Old); }
};

// Runs the enclosed code with the effective user nobody when the tests run as the superuser,
// whom permissions do not stop; the superuser comes back as soon as the scope ends, also on a
// failed check.
class TPermissionsApply
{
public:
    static constexpr uid_t kNobody = 65534;
    TPermissionsApply()
    {
        if (geteuid() == 0) {
            m_dropped = seteuid(kNobody) == 0;
            m_failed = !m_dropped;
        }
    }
    ~TPermissionsApply()
    {
        if (m_dropped && seteuid(0) != 0)
            std::abort(); // the remaining tests would run as the wrong user
    }
    TPermissionsApply(const TPermissionsApply &) = delete;
    TPermissionsApply &operator=(const TPermissionsApply &) = delete;
    // False when the superuser could not become nobody.
    bool Ok() const { return !m_failed; }

private:
    bool m_dropped = false;
    bool m_failed = false;
};

// Whether the effective user may write into path (access() asks for the real user).
bool MayWrite(const QString &path)
{
    return faccessat(AT_FDCWD, QFile::encodeName(path).constData(), W_OK, AT_EACCESS) == 0;
}

const QFile::Permissions kReadOnlyFolder = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                           QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
const QFile::Permissions kOpenFolder = kReadOnlyFolder | QFile::WriteOwner;
const QFile::Permissions kWritableFile = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                         QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden |
                                  QDir::System);
}

QString PdfText(const QString &pdf)
{
    QProcess gs;
    gs.start(QStringLiteral("gs"),
             {"-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=txtwrite", "-o", "-", pdf});
    if (!gs.waitForFinished(60000))
        return {};
    return QString::fromUtf8(gs.readAllStandardOutput());
}

int PdfPageCount(const QString &pdf)
{
    QProcess gs;
    gs.start(QStringLiteral("gs"),
             {"-q", "-dNODISPLAY", "-dNOSAFER", "-c",
              QStringLiteral("(%1) (r) file runpdfbegin pdfpagecount = quit").arg(pdf)});
    if (!gs.waitForFinished(60000))
        return -1;
    bool ok = false;
    const int n = QString::fromUtf8(gs.readAllStandardOutput()).trimmed().toInt(&ok);
    return ok ? n : -1;
}

} // namespace

Q_DECLARE_METATYPE(TGraphFormat)

class tst_map_export : public QObject
{
    Q_OBJECT
private slots:
    void extension_data();
    void extension();
    void unknownType_data();
    void unknownType();
    void sizes_data();
    void sizes();
    void placeableHeader();
    void onePicture();
    void readers_data();
    void readers();
    void neverDrawn();
    void bitmapPixels();
    void cannotCreate_data();
    void cannotCreate();
    void readOnlyFolder_data();
    void readOnlyFolder();
    void fullDevice_data();
    void fullDevice();
    void failedSaveKeepsOldFile_data();
    void failedSaveKeepsOldFile();
    void bitmapInLittleMemory();
    void printToPdf();
    void printFailure_data();
    void printFailure();
};

void tst_map_export::extension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<TGraphFormat>("format");
    QTest::newRow(".WMF") << "map.WMF"
                          << ".wmf" << TGraphFormat::Wmf;
    QTest::newRow(".wmf") << "/home/u/map.wmf"
                          << ".wmf" << TGraphFormat::Wmf;
    QTest::newRow(".Emf") << "map.Emf"
                          << ".emf" << TGraphFormat::Emf;
    QTest::newRow(".bmp") << "map.bMp"
                          << ".bmp" << TGraphFormat::Bmp;
    QTest::newRow("no extension") << "map"
                                  << "" << TGraphFormat::None;
    QTest::newRow(".jpg") << "map.jpg"
                          << ".jpg" << TGraphFormat::None;
    QTest::newRow(".wmf.txt") << "map.wmf.txt"
                              << ".txt" << TGraphFormat::None;
    QTest::newRow("period in a folder only") << "/tmp/my.maps/graph"
                                             << "" << TGraphFormat::None;
    QTest::newRow("period in a folder and a name") << "my.maps/graph.EMF"
                                                   << ".emf" << TGraphFormat::Emf;
    QTest::newRow("trailing period") << "map."
                                     << "." << TGraphFormat::None;
    QTest::newRow("only A to Z lowered")
        << QString::fromUtf8("map.ÉMF") << QString::fromUtf8(".Émf") << TGraphFormat::None;
    QTest::newRow("hidden name") << "/tmp/.wmf"
                                 << ".wmf" << TGraphFormat::Wmf;
}

void tst_map_export::extension()
{
    QFETCH(QString, name);
    QFETCH(QString, extension);
    QFETCH(TGraphFormat, format);
    QCOMPARE(GraphExtension(name), extension);
    QCOMPARE(GraphFormatOf(name), format);
}

void tst_map_export::unknownType_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow(".jpg") << "map.jpg";
    QTest::newRow(".wmf.txt") << "map.wmf.txt";
    QTest::newRow("no extension") << "map";
}

void tst_map_export::unknownType()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    TExportMap map(DemoCatalogue());
    map.Rebuild();
    const QString path = dir.filePath(name);
    try {
        SaveGraph(map.Chart, path);
        QFAIL("an unknown type was saved");
    } catch (const EUnknownGraphType &e) {
        QCOMPARE(e.message(),
                 QStringLiteral("Cannot save \"%1\": the picture can be saved as a "
                                "Windows metafile (.wmf), an enhanced metafile (.emf), "
                                "a bitmap (.bmp), an SVG picture (.svg), a PDF "
                                "document (.pdf) or a PNG picture (.png)")
                     .arg(path));
    }
    QVERIFY(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());

    // An existing file of that name stays as it was.
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old picture");
    old.close();
    QVERIFY_THROWS_EXCEPTION(EUnknownGraphType, SaveGraph(map.Chart, path));
    QCOMPARE(ReadAll(path), QByteArray("old picture"));
}

void tst_map_export::sizes_data()
{
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QSize>("chart");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<bool>("demo");
    for (const char *ext : {".wmf", ".emf"}) {
        QTest::addRow("%s 1x1 empty", ext) << ext << QSize(1, 1) << QSize(1, 1) << false;
        QTest::addRow("%s 2x2 empty", ext) << ext << QSize(2, 2) << QSize(1, 1) << false;
        QTest::addRow("%s 3x7 empty", ext) << ext << QSize(3, 7) << QSize(2, 6) << false;
        QTest::addRow("%s 640x360 empty", ext)
            << ext << QSize(640, 360) << QSize(639, 359) << false;
        QTest::addRow("%s 901x433 demo", ext) << ext << QSize(901, 433) << QSize(900, 432) << true;
    }
    QTest::newRow(".bmp 1x1 empty") << ".bmp" << QSize(1, 1) << QSize(1, 1) << false;
    QTest::newRow(".bmp 2x2 empty") << ".bmp" << QSize(2, 2) << QSize(2, 2) << false;
    QTest::newRow(".bmp 901x433 demo") << ".bmp" << QSize(901, 433) << QSize(901, 433) << true;
}

void tst_map_export::sizes()
{
    QFETCH(QString, ext);
    QFETCH(QSize, chart);
    QFETCH(QSize, picture);
    QFETCH(bool, demo);
    QTemporaryDir dir;
    TExportMap map(demo ? DemoCatalogue() : TCatalogue{}, chart);
    map.Rebuild();
    const QString path = dir.filePath("map" + ext);
    SaveGraph(map.Chart, path);
    const QByteArray file = ReadAll(path);
    QCOMPARE(PictureSize(file, GraphFormatOf(path)), picture);
    if (ext == ".bmp") {
        QCOMPARE(U16(file, 0), quint16(0x4D42)); // "BM"
        QCOMPARE(U16(file, 28), quint16(24));
        QCOMPARE(QImage(path).size(), picture);
    }
}

void tst_map_export::placeableHeader()
{
    QTemporaryDir dir;
    TExportMap map(DemoCatalogue(), QSize(800, 400));
    map.Rebuild();
    const QString path = dir.filePath("map.WMF");
    SaveGraph(map.Chart, path);
    const QByteArray file = ReadAll(path);
    QVERIFY(file.size() > 22);
    QCOMPARE(U32(file, 0), 0x9AC6CDD7u);
    QCOMPARE(S16(file, 6), qint16(0));
    QCOMPARE(S16(file, 8), qint16(0));
    QCOMPARE(S16(file, 10), qint16(799));
    QCOMPARE(S16(file, 12), qint16(399));
    QCOMPARE(U16(file, 14), quint16(96));
    quint16 sum = 0;
    for (int i = 0; i < 10; ++i)
        sum ^= U16(file, 2 * i);
    QCOMPARE(U16(file, 20), sum);
    // Anisotropic mapping over the picture.
    bool anisotropic = false;
    for (const auto &[function, params] : WmfRecords(file))
        if (function == 0x0103)
            anisotropic = U16(params, 0) == 8;
    QVERIFY(anisotropic);
}

void tst_map_export::onePicture()
{
    // However often the screen's drawing repeats, the file holds one drawing: each
    // chromosome name is written once, the white page once.
    QTemporaryDir dir;
    TExportMap map(DemoCatalogue());
    map.Rebuild();
    const QString path = dir.filePath("map.wmf");
    SaveGraph(map.Chart, path);
    const QList<MetaRecord> records = WmfRecords(ReadAll(path));
    QVERIFY(!records.isEmpty());
    for (const QString &name : map.Names()) {
        int count = 0;
        for (const auto &[function, params] : records)
            if (function == 0x0A32 && params.mid(8, S16(params, 4)) == name.toLatin1())
                ++count;
        QCOMPARE(count, 1);
    }
}

void tst_map_export::readers_data()
{
    QTest::addColumn<QString>("ext");
    QTest::newRow("wmf2svg") << ".wmf";
    QTest::newRow("emf2svg-conv") << ".emf";
}

void tst_map_export::readers()
{
    QFETCH(QString, ext);
    const bool wmf = ext == ".wmf";
    if (!readers::Installed(readers::Tool(wmf)))
        QSKIP("the metafile reader is not installed");
    QTemporaryDir dir;
    TExportMap map(DemoCatalogue());
    map.Rebuild();
    const QString path = dir.filePath("map" + ext);
    SaveGraph(map.Chart, path);
    QString error;
    const std::optional<QString> svg = readers::ToSvg(wmf, ReadAll(path), &error);
    QVERIFY2(svg, qPrintable(error));
    const QString text = readers::TextOf(*svg);
    QVERIFY(!map.Labels().isEmpty());
    for (const QString &label : map.Labels())
        QVERIFY2(text.contains(label), qPrintable(label + " not in " + text));
    for (const QString &name : map.Names())
        QVERIFY2(text.contains(name), qPrintable(name + " not in " + text));

    // Connectors are black broken lines of three pieces; nothing else in the map is one.
    const int withConnectors = BrokenBlackLines(*svg, wmf);
    map.Map.View.LinkGenes = false;
    map.Screen();
    const QString without = dir.filePath("without" + ext);
    SaveGraph(map.Chart, without);
    const std::optional<QString> svgWithout = readers::ToSvg(wmf, ReadAll(without));
    QVERIFY(svgWithout);
    QVERIFY2(withConnectors > 0, qPrintable(*svg));
    QCOMPARE(BrokenBlackLines(*svgWithout, wmf), 0);

    if (!wmf) {
        for (QRgb c : map.ArrowColors())
            QVERIFY2(svg->contains(QStringLiteral("fill=\"%1\"").arg(QColor(c).name().toUpper())),
                     qPrintable(QColor(c).name()));
        return;
    }
    // wmf2svg names colours by the nearest colour name; ImageMagick (also on libwmf) paints
    // the exact ones.
    if (!readers::Installed("convert"))
        QSKIP("ImageMagick is not installed");
    const std::optional<QImage> raster = readers::RasterOfWmf(ReadAll(path));
    QVERIFY(raster);
    QSet<QRgb> painted;
    for (int y = 0; y < raster->height(); ++y)
        for (int x = 0; x < raster->width(); ++x)
            painted.insert(raster->pixel(x, y) & 0xFFFFFF);
    for (QRgb c : map.ArrowColors())
        QVERIFY2(painted.contains(c & 0xFFFFFF), qPrintable(QColor(c).name()));
}

void tst_map_export::neverDrawn()
{
    // A chart built but never drawn is laid out first: labels and connectors still appear.
    if (!readers::Installed(readers::Tool(false)))
        QSKIP("emf2svg-conv is not installed");
    TExportMap map(DemoCatalogue());
    map.Map.Rebuild(map.Chart);
    QTemporaryDir dir;
    const QString path = dir.filePath("map.emf");
    SaveGraph(map.Chart, path);
    const std::optional<QString> svg = readers::ToSvg(false, ReadAll(path));
    QVERIFY(svg);
    const QString text = readers::TextOf(*svg);
    for (const QString &label : map.Labels())
        QVERIFY2(text.contains(label), qPrintable(label));

    TExportMap drawn(DemoCatalogue());
    drawn.Rebuild();
    const QString drawnPath = dir.filePath("drawn.emf");
    SaveGraph(drawn.Chart, drawnPath);
    QCOMPARE(ReadAll(path), ReadAll(drawnPath));
}

void tst_map_export::bitmapPixels()
{
    QTemporaryDir dir;
    TExportMap map(DemoCatalogue(), QSize(777, 401));
    map.Rebuild();
    const QString path = dir.filePath("map.bmp");
    SaveGraph(map.Chart, path);
    QImage saved(path);
    QCOMPARE(saved.size(), QSize(777, 401));

    // The plain drawing: every part drawn, nothing left out as covered.
    QImage expected(777, 401, QImage::Format_RGB888);
    expected.fill(Qt::white);
    map.Chart.SkipHiddenWork = false;
    {
        QPainter painter(&expected);
        map.Chart.Draw(painter, map.Chart.ChartRect());
    }
    saved = saved.convertToFormat(QImage::Format_RGB888);
    QCOMPARE(saved, expected);
    // Not a blank page: the rows are there.
    int coloured = 0;
    for (int y = 0; y < saved.height(); y += 2)
        for (int x = 0; x < saved.width(); x += 2)
            if (saved.pixel(x, y) != qRgb(255, 255, 255))
                ++coloured;
    QVERIFY(coloured > 100);
}

void tst_map_export::cannotCreate_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("cause");
    QTest::newRow("missing folder wmf") << "missing/map.wmf"
                                        << "No such file or directory";
    QTest::newRow("missing folder emf") << "missing/map.emf"
                                        << "No such file or directory";
    QTest::newRow("missing folder bmp") << "missing/map.bmp"
                                        << "No such file or directory";
    QTest::newRow("a folder") << "folder.wmf"
                              << "Filename refers to a directory";
    QTest::newRow("full device wmf") << "/dev/full"
                                     << "No space left on device";
}

void tst_map_export::cannotCreate()
{
    QFETCH(QString, name);
    QFETCH(QString, cause);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("folder.wmf"));
    TExportMap map(DemoCatalogue());
    map.Rebuild();
    QString path = name.startsWith('/') ? name : dir.filePath(name);
    if (path == "/dev/full") {
        if (!QFile::exists(path))
            QSKIP("no /dev/full");
        // The device takes its type from a link's name; the device itself is written into.
        path = dir.filePath("full.wmf");
        QVERIFY(QFile::link("/dev/full", path));
    }
    try {
        SaveGraph(map.Chart, path);
        QFAIL("saved where it could not be");
    } catch (const EInOutError &e) {
        QCOMPARE(e.message(), "Cannot create file " + path + ": " + cause);
    }
    QVERIFY(!QFile::exists(dir.filePath("missing")));
    QVERIFY(QFileInfo(dir.filePath("folder.wmf")).isDir());
}

void tst_map_export::readOnlyFolder_data()
{
    QTest::addColumn<QString>("ext");
    QTest::addColumn<bool>("existing");
    for (const char *ext : {".wmf", ".emf", ".bmp"}) {
        QTest::addRow("new %s", ext) << ext << false;
        QTest::addRow("existing %s", ext) << ext << true;
    }
}

void tst_map_export::readOnlyFolder()
{
    // A folder nobody may write into: a new picture is not created, and an old one stays whole
    // even though the file itself could be written over, since the save replaces it by a
    // temporary file that the folder does not take.
    QFETCH(QString, ext);
    QFETCH(bool, existing);
    QTemporaryDir dir;
    QVERIFY(QFile::setPermissions(dir.path(), kOpenFolder));
    const QString folder = dir.filePath("pictures");
    QVERIFY(QDir().mkdir(folder));
    const QString path = folder + "/map" + ext;
    const QByteArray old("old picture, not to be lost");
    if (existing) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(old);
        f.close();
        QVERIFY(QFile::setPermissions(path, kWritableFile));
    }
    QVERIFY(QFile::setPermissions(folder, kReadOnlyFolder));
    TExportMap map(DemoCatalogue());
    map.Rebuild();
    {
        const TPermissionsApply nobody;
        if (!nobody.Ok())
            QSKIP("the superuser cannot take another user's permissions here");
        QVERIFY(!MayWrite(folder));
        QCOMPARE(MayWrite(path), existing);
        try {
            SaveGraph(map.Chart, path);
            QFAIL("saved into a read-only folder");
        } catch (const EInOutError &e) {
            QCOMPARE(e.message(), "Cannot create file " + path + ": Permission denied");
        }
    }
    QVERIFY(QFile::setPermissions(folder, kOpenFolder));
    if (existing) {
        QCOMPARE(ReadAll(path), old);
        QCOMPARE(Entries(folder), QStringList{"map" + ext});
    } else {
        QCOMPARE(Entries(folder), QStringList());
    }
    // The same save where the folder may be written.
    SaveGraph(map.Chart, path);
    QVERIFY(QFileInfo(path).size() > 100);
}

void tst_map_export::fullDevice_data()
{
    QTest::addColumn<QString>("ext");
    QTest::addColumn<bool>("node");
    for (const char *ext : {".wmf", ".emf", ".bmp"}) {
        QTest::addRow("link %s", ext) << ext << false;
        QTest::addRow("device %s", ext) << ext << true;
    }
}

void tst_map_export::fullDevice()
{
    // The full device under a name of a picture type, through a link or as the device itself
    // (the same device numbers): every write fails, the save says so, and the name still
    // stands for the device, not replaced by a file.
    QFETCH(QString, ext);
    QFETCH(bool, node);
    if (!QFile::exists("/dev/full"))
        QSKIP("no /dev/full");
    QTemporaryDir dir;
    const QString path = dir.filePath("full" + ext);
    struct stat full
    {
    };
    QVERIFY(stat("/dev/full", &full) == 0);
    if (node) {
        if (mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, full.st_rdev) != 0)
            QSKIP("device files cannot be made here");
    } else {
        QVERIFY(QFile::link("/dev/full", path));
    }
    TExportMap map(DemoCatalogue());
    map.Rebuild();
    try {
        SaveGraph(map.Chart, path);
        QFAIL("saved onto a full device");
    } catch (const EInOutError &e) {
        QCOMPARE(e.message(), "Cannot create file " + path + ": No space left on device");
    }
    QCOMPARE(QFileInfo(path).isSymLink(), !node);
    struct stat after
    {
    };
    QVERIFY(stat(QFile::encodeName(path).constData(), &after) == 0);
    QVERIFY(S_ISCHR(after.st_mode));
    QCOMPARE(after.st_rdev, full.st_rdev);
    QCOMPARE(Entries(dir.path()), QStringList{"full" + ext});
}

void tst_map_export::failedSaveKeepsOldFile_data()
{
    QTest::addColumn<QString>("ext");
    QTest::newRow("wmf") << ".wmf";
    QTest::newRow("emf") << ".emf";
    QTest::newRow("bmp") << ".bmp";
}

void tst_map_export::failedSaveKeepsOldFile()
{
    // A file size limit makes the write fail part-way, for any user: the old file stays whole
    // and no temporary file is left behind.
    QFETCH(QString, ext);
    QTemporaryDir dir;
    TExportMap map(DemoCatalogue());
    map.Rebuild();
    const QString path = dir.filePath("map" + ext);
    SaveGraph(map.Chart, path);
    const qint64 full = QFileInfo(path).size();
    QVERIFY(full > 100);
    const QByteArray old(50, 'x');
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    {
        TFileSizeLimit limit(rlim_t(full / 2));
        try {
            SaveGraph(map.Chart, path);
            QFAIL("a save past the size limit succeeded");
        } catch (const EInOutError &e) {
            QCOMPARE(e.message(), "Cannot create file " + path + ": File too large");
        }
    }
    QCOMPARE(ReadAll(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{"map" + ext});
    // Without the limit the same save replaces it.
    SaveGraph(map.Chart, path);
    QCOMPARE(QFileInfo(path).size(), full);
}

// Counts what is written, keeping the first write.
class TCountingDevice : public QIODevice
{
public:
    qint64 Size = 0;
    QByteArray Head;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        if (Head.isEmpty())
            Head = QByteArray(data, qsizetype(size));
        Size += size;
        return size;
    }
};

// A bitmap of 8000 x 8000 pixels (192 MB) where there is room for it but not for it again at 32
// bits: written whole, not as a picture of no pixels.
void tst_map_export::bitmapInLittleMemory()
{
#ifdef __SANITIZE_ADDRESS__
    QSKIP("an address space limit under the address sanitizer");
#endif
    TExportMap map(DemoCatalogue(), QSize(1000, 1000));
    map.Rebuild();
    TGraphOptions options;
    options.Scale = 8;
    TCountingDevice out;
    QVERIFY(out.open(QIODevice::WriteOnly));
    QFile statm("/proc/self/statm");
    QVERIFY(statm.open(QIODevice::ReadOnly));
    rlimit old{};
    getrlimit(RLIMIT_AS, &old);
    rlimit limit = old;
    limit.rlim_cur =
        rlim_t(statm.readAll().split(' ')[0].toLongLong() * sysconf(_SC_PAGESIZE) + (352LL << 20));
    setrlimit(RLIMIT_AS, &limit);
    QString message;
    try {
        WriteGraph(map.Chart, "map.bmp", out, options);
    } catch (const EInOutError &e) {
        message = e.message();
    }
    setrlimit(RLIMIT_AS, &old);
    QCOMPARE(message, QString());
    QCOMPARE(out.Size, 54 + 8000LL * 8000 * 3);
    QCOMPARE(S32(out.Head, 18), 8000);
}

void tst_map_export::printToPdf()
{
    QTemporaryDir dir;
    TExportMap map(DemoCatalogue());
    map.Rebuild();
    const QRect screenRect = map.Chart.ChartRect();
    const auto placements = [&] {
        std::vector<TSeriesMarkPosition> all;
        for (int s = 0; s < map.Chart.SeriesCount(); ++s)
            for (int i = 0; i < map.Chart.Series(s).Count(); ++i)
                if (const TSeriesMarkPosition *p = map.Chart.Series(s).Position(i))
                    all.push_back(*p);
        return all;
    };
    const std::vector<TSeriesMarkPosition> before = placements();
    QVERIFY(!before.empty());
    const QString wmfBefore = dir.filePath("before.wmf");
    SaveGraph(map.Chart, wmfBefore);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString pdf = dir.filePath("map.pdf");
    printer.setOutputFileName(pdf);
    printer.setDocName(QStringLiteral("a title"));
    QList<QRect> rects;
    map.OnDrawn = [&] { rects.append(map.Chart.ChartRect()); };
    PrintGraph(map.Chart, printer);
    map.OnDrawn = nullptr;

    // Drawn once, in the page's own view.
    QCOMPARE(rects.size(), 1);
    QVERIFY(rects.first() != screenRect);
    const double pageRatio = double(printer.width()) / printer.height();
    QVERIFY(qAbs(double(rects.first().width()) / rects.first().height() - pageRatio) < 0.01);

    // The screen's layout is as it was.
    QCOMPARE(map.Chart.ChartRect(), screenRect);
    const std::vector<TSeriesMarkPosition> after = placements();
    QCOMPARE(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        QCOMPARE(after[i].LabelLeft, before[i].LabelLeft);
        QCOMPARE(after[i].LabelTop, before[i].LabelTop);
        QCOMPARE(after[i].LeaderEnd, before[i].LeaderEnd);
    }
    map.Screen();
    const QString wmfAfter = dir.filePath("after.wmf");
    SaveGraph(map.Chart, wmfAfter);
    QCOMPARE(ReadAll(wmfAfter), ReadAll(wmfBefore));

    QVERIFY(QFile::exists(pdf));
    if (QStandardPaths::findExecutable("gs").isEmpty())
        QSKIP("ghostscript is not installed");
    QCOMPARE(PdfPageCount(pdf), 1);
    const QString text = PdfText(pdf);
    for (const QString &label : map.Labels())
        QVERIFY2(text.contains(label), qPrintable(label + " not in " + text));
    // One drawing on the page: each name once, not once per layout pass.
    for (const QString &name : map.Names())
        QVERIFY2(text.count(QRegularExpression("\\b" + QRegularExpression::escape(name) + "\\b")) ==
                     1,
                 qPrintable(name + " not once in " + text));
}

void tst_map_export::printFailure_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<bool>("existing");
    QTest::addColumn<QString>("cause");
    QTest::newRow("missing folder") << "missing" << false << ": No such file or directory";
    QTest::newRow("read-only folder") << "read-only" << false << ": Permission denied";
    QTest::newRow("read-only file in a read-only folder")
        << "read-only" << true << ": Permission denied";
    QTest::newRow("full device") << "full" << false << ": No space left on device";
    // The printer does not tell why its file came out cut short.
    QTest::newRow("size limit, old file") << "limit" << true << "";
}

void tst_map_export::printFailure()
{
    // Printing to a PDF file that cannot be written: a clear message, an old file whole, no
    // file left half-written, and the screen's layout as before.
    QFETCH(QString, where);
    QFETCH(bool, existing);
    QFETCH(QString, cause);
    QTemporaryDir dir;
    QVERIFY(QFile::setPermissions(dir.path(), kOpenFolder));
    TExportMap map(DemoCatalogue());
    map.Rebuild();
    const QString wmfBefore = dir.filePath("before.wmf");
    SaveGraph(map.Chart, wmfBefore);

    const QString folder = dir.filePath("out");
    QVERIFY(QDir().mkdir(folder));
    QString pdf = folder + "/map.pdf";
    if (where == "missing")
        pdf = folder + "/missing/map.pdf";
    if (where == "full") {
        if (!QFile::exists("/dev/full"))
            QSKIP("no /dev/full");
        QVERIFY(QFile::link("/dev/full", pdf));
    }
    QByteArray old;
    if (existing) {
        // A real PDF, larger than the size limit below.
        QPrinter first(QPrinter::HighResolution);
        first.setOutputFormat(QPrinter::PdfFormat);
        first.setOutputFileName(pdf);
        PrintGraph(map.Chart, first);
        old = ReadAll(pdf);
        QVERIFY(old.size() > 2000);
        if (where == "read-only")
            QVERIFY(
                QFile::setPermissions(pdf, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    }
    if (where == "read-only")
        QVERIFY(QFile::setPermissions(folder, kReadOnlyFolder));

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    {
        std::optional<TPermissionsApply> nobody;
        if (where == "read-only") {
            nobody.emplace();
            if (!nobody->Ok())
                QSKIP("the superuser cannot take another user's permissions here");
        }
        std::optional<TFileSizeLimit> limit;
        if (where == "limit")
            limit.emplace(rlim_t(old.size() / 2));
        try {
            PrintGraph(map.Chart, printer);
            QFAIL("printed where the file cannot be written");
        } catch (const EInOutError &e) {
            QCOMPARE(e.message(), "Cannot create file " + pdf + cause);
        }
    }
    QVERIFY(QFile::setPermissions(folder, kOpenFolder));
    QCOMPARE(printer.outputFileName(), pdf);
    if (existing)
        QCOMPARE(ReadAll(pdf), old);
    QStringList expected;
    if (existing || where == "full")
        expected.append("map.pdf");
    QCOMPARE(Entries(folder), expected);
    QCOMPARE(QFileInfo(pdf).isSymLink(), where == "full");

    const QString wmfAfter = dir.filePath("after.wmf");
    SaveGraph(map.Chart, wmfAfter);
    QCOMPARE(ReadAll(wmfAfter), ReadAll(wmfBefore));
}

QTEST_MAIN(tst_map_export)
#include "tst_map_export.moc"
