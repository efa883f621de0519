#include "map/GraphExport.h"

#include "chart/TChart.h"
#include "map/FigureLayout.h"
#include "map/SvgWriter.h"
#include "platform/TMetafileDevice.h"
#include "util/CommonDecl.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <limits>
#include <optional>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

[[noreturn]] void CannotCreate(const QString &fileName, const QString &cause = {})
{
    if (cause.isEmpty())
        throw EInOutError(QStringLiteral("Cannot create file %1").arg(fileName));
    throw EInOutError(QStringLiteral("Cannot create file %1: %2").arg(fileName, cause));
}

// A file that could not be written, with what the system said of it when the device kept that.
[[noreturn]] void CannotCreate(const QString &fileName, QIODevice &device)
{
    CannotCreate(fileName, WriteFailure(device));
}

// Replaces the file with what write puts into it. A regular file goes through a temporary file
// renamed into place, so a failure leaves no broken file and an old file whole. A device or
// pipe cannot be replaced by renaming and is written directly.
void WriteFile(const QString &fileName, const std::function<bool(QIODevice &)> &write)
{
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile() && !info.isDir()) {
        QFile file;
        if (const QString cause = OpenInPlace(fileName, file); !cause.isEmpty())
            throw EInOutError(QStringLiteral("Cannot create file %1: %2").arg(fileName, cause));
        if (!write(file) || !file.flush())
            CannotCreate(fileName, file);
        file.close();
        if (file.error() != QFileDevice::NoError)
            CannotCreate(fileName, file);
        return;
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        CannotCreate(fileName, file);
    // A write cut short (a full disk, a size limit) can still leave commit() content with the
    // truncated file: the flush reports it.
    if (!write(file) || !file.flush() || file.error() != QFileDevice::NoError) {
        const QString cause = WriteFailure(file);
        file.cancelWriting();
        CannotCreate(fileName, cause);
    }
    if (!file.commit())
        CannotCreate(fileName, file);
}

// The picture's rectangle in chart pixels: the chart's own, or the figure's around it.
QRect PictureRect(const QRect &r, const TGraphOptions &options)
{
    if (options.Picture.isEmpty())
        return r;
    return QRect(r.topLeft() - options.ChartAt, options.Picture);
}

// One drawing of the chart over its own rectangle into a picture whose origin is the picture
// rectangle's top-left corner, then what a figure draws around it.
void DrawPicture(TChart &chart, const QRect &r, QPaintDevice &device, const QString &fileName,
                 const TGraphOptions &options, QIODevice *out = nullptr)
{
    const QRect picture = PictureRect(r, options);
    QPainter painter(&device);
    painter.translate(-picture.topLeft());
    try {
        chart.Draw(painter, r);
        if (options.Decorate) {
            painter.translate(picture.topLeft());
            options.Decorate(painter);
        }
    } catch (...) {
        // Ending the picture writes it out, which may fail in turn (out of memory): that must
        // not happen in the painter's destructor while this error is on its way.
        try {
            painter.end();
        } catch (...) {
        }
        throw;
    }
    // A picture written as it is drawn tells a failed write here.
    if (!painter.end()) {
        if (out)
            CannotCreate(fileName, *out);
        CannotCreate(fileName);
    }
}

// Rows as SVG groups: the chart brackets each row's drawing, and the writer puts it in a group
// whose id is "row-N" (N from 1, top down) and whose title is the chromosome's name.
void WriteSvgPicture(TChart &chart, const QRect &r, const QString &fileName, QIODevice &out,
                     const TGraphOptions &options)
{
    TSvgWriter svg(
        out, PictureRect(r, options).size(),
        int(std::lround(options.Millimetres ? kFigurePixelsPerInch : TMetafileDevice::ScreenDpi())),
        QFileInfo(fileName).completeBaseName(), QStringLiteral("Drawn by Ostrinel"));
    if (options.Millimetres)
        svg.SetMillimetres(*options.Millimetres);
    qsizetype rows = 0;
    auto hook = std::exchange(
        chart.OnSeriesGroup, [&](TChart &, QPainter &, const TArrowSeries &series, bool begin) {
            if (begin)
                svg.BeginGroup(QStringLiteral("row-%1").arg(++rows), DisplayText(series.Title));
            else
                svg.EndGroup();
        });
    try {
        DrawPicture(chart, r, svg, fileName, options, &out);
    } catch (...) {
        chart.OnSeriesGroup = std::move(hook);
        throw;
    }
    chart.OnSeriesGroup = std::move(hook);
}

void WritePdfPicture(TChart &chart, const QRect &r, const QString &fileName, QIODevice &out,
                     const TGraphOptions &options)
{
    QPdfWriter pdf(&out);
    if (options.Millimetres) {
        // The page the figure asks for, drawn in figure pixels.
        pdf.setResolution(int(kFigurePixelsPerInch));
        pdf.setPageSize(QPageSize(*options.Millimetres, QPageSize::Millimeter, QString(),
                                  QPageSize::ExactMatch));
    } else {
        // One point per chart pixel: a page of whole points is then exactly the picture.
        pdf.setResolution(72);
        pdf.setPageSize(QPageSize(QSizeF(PictureRect(r, options).size()), QPageSize::Point,
                                  QString(), QPageSize::ExactMatch));
    }
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setTitle(QFileInfo(fileName).completeBaseName());
    pdf.setCreator(QStringLiteral("Ostrinel"));
    DrawPicture(chart, r, pdf, fileName, options, &out);
}

// A 24-bit BMP of an RGB888 image, rows bottom up as the format has them, one row at a time.
// Qt's own writer first converts the whole image to 32 bits, which may not fit where the image
// did, and then writes a picture of 0 x 0 pixels without telling.
void WriteBmp(const QImage &image, const QString &fileName, QIODevice &out)
{
    const qint64 row = (qint64(image.width()) * 3 + 3) / 4 * 4;
    const qint64 pixels = row * image.height();
    QByteArray header(54, '\0');
    uchar *h = reinterpret_cast<uchar *>(header.data());
    h[0] = 'B';
    h[1] = 'M';
    qToLittleEndian(quint32(54 + pixels), h + 2);
    qToLittleEndian(quint32(54), h + 10); // the pixels' offset
    qToLittleEndian(quint32(40), h + 14); // the information header's size
    qToLittleEndian(qint32(image.width()), h + 18);
    qToLittleEndian(qint32(image.height()), h + 22);
    qToLittleEndian(quint16(1), h + 26); // planes
    qToLittleEndian(quint16(24), h + 28);
    qToLittleEndian(quint32(pixels), h + 34);
    qToLittleEndian(qint32(image.dotsPerMeterX()), h + 38);
    qToLittleEndian(qint32(image.dotsPerMeterY()), h + 42);
    if (!WriteWhole(out, header))
        CannotCreate(fileName, out);
    QByteArray line(row, '\0');
    for (int y = image.height() - 1; y >= 0; --y) {
        const uchar *rgb = image.constScanLine(y);
        char *bgr = line.data();
        for (int x = 0; x < image.width(); ++x, rgb += 3, bgr += 3) {
            bgr[0] = char(rgb[2]);
            bgr[1] = char(rgb[1]);
            bgr[2] = char(rgb[0]);
        }
        if (!WriteWhole(out, line))
            CannotCreate(fileName, out);
    }
}

void WriteRasterPicture(TChart &chart, const QRect &r, TGraphFormat format,
                        const TGraphOptions &options, const QString &fileName, QIODevice &out)
{
    const QSize size = PictureRect(r, options).size();
    const int scale = options.Scale;
    qint64 w = qint64(std::max(1, size.width())) * scale;
    qint64 h = qint64(std::max(1, size.height())) * scale;
    // A figure's pixels follow its size and dots per inch.
    const bool figure = options.Millimetres && options.Dpi > 0;
    if (figure) {
        w = std::max<qint64>(1, std::llround(options.Millimetres->width() / 25.4 * options.Dpi));
        h = std::max<qint64>(1, std::llround(options.Millimetres->height() / 25.4 * options.Dpi));
    }
    if (w * h > kMaxGraphPixels)
        throw EInOutError(QStringLiteral("Cannot create file %1: a picture of %2 x %3 pixels is "
                                         "larger than the %4 million pixels drawn at most")
                              .arg(fileName)
                              .arg(w)
                              .arg(h)
                              .arg(kMaxGraphPixels / 1000000));
    const QImage::Format pixels =
        format == TGraphFormat::Bmp ? QImage::Format_RGB888 : QImage::Format_RGB32;
    QImage image(int(w), int(h), pixels);
    if (image.isNull())
        throw EInOutError(QStringLiteral("Out of memory while drawing the picture: %1 x %2 "
                                         "pixels need %3 MB")
                              .arg(w)
                              .arg(h)
                              .arg((w * h * (pixels == QImage::Format_RGB888 ? 3 : 4)) >> 20));
    image.fill(Qt::white);
    // The chart draws in its own pixels; the painter spreads each over scale x scale.
    image.setDevicePixelRatio(figure ? options.Dpi / kFigurePixelsPerInch : scale);
    const double dpi = figure ? options.Dpi : TMetafileDevice::ScreenDpi() * scale;
    const int dotsPerMeter = int(std::lround(dpi / 0.0254));
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    DrawPicture(chart, r, image, fileName, options);
    if (format == TGraphFormat::Bmp) {
        WriteBmp(image, fileName, out);
        return;
    }
    // PNG is made in memory first: a write error inside the PNG library jumps out of Qt's writer
    // past its own clean-up, while one of ours is only a short write.
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        CannotCreate(fileName);
    if (!WriteWhole(out, png))
        CannotCreate(fileName, out);
}

// The screen's rectangle, which a chart without one of its own takes from the page's drawing.
struct TScreenRect
{
    QRect Rect;

    explicit TScreenRect(const TChart &chart) : Rect(chart.ChartRect()) {}

    void Restore(TChart &chart) const
    {
        if (chart.ChartRect() != Rect)
            chart.SetChartRect(Rect);
        chart.Invalidate();
    }
};

QString PrintFailure(const QPrinter &printer)
{
    if (!printer.outputFileName().isEmpty())
        return QStringLiteral("Cannot create file %1").arg(printer.outputFileName());
    return QStringLiteral("Cannot print on printer \"%1\"").arg(printer.printerName());
}

// Draws the chart over the printer's page; raises EInOutError(failure) when the printer fails.
void PrintPage(TChart &chart, QPrinter &printer, const QString &failure)
{
    const TScreenRect screen(chart);
    QPainter painter;
    if (!painter.begin(&printer))
        throw EInOutError(failure);
    try {
        // The page's printable area in printer pixels, seen through a window at the screen's
        // resolution: the chart's pixel-sized fonts, arrows and label levels keep their size
        // in inches while the rows spread over the whole page.
        const QRect page(0, 0, printer.width(), printer.height());
        const double scale = printer.resolution() / TMetafileDevice::ScreenDpi();
        const QRect logical(0, 0, std::max(1, int(std::lround(page.width() / scale))),
                            std::max(1, int(std::lround(page.height() / scale))));
        // The labels stand over their arrows in the page's own view, and the connectors meet
        // them: one drawing.
        painter.setViewport(page);
        painter.setWindow(logical);
        chart.Draw(painter, logical);
    } catch (...) {
        painter.end();
        screen.Restore(chart);
        throw;
    }
    const bool ended = painter.end();
    screen.Restore(chart);
    if (!ended || printer.printerState() == QPrinter::Error)
        throw EInOutError(failure);
}

// A PDF written to its end closes with the offset of its cross-reference table and "%%EOF"; a
// file cut short, or missing a piece on the way, does not point at the table.
bool WholePdf(const QByteArray &pdf)
{
    const qsizetype at = pdf.lastIndexOf("startxref");
    if (at < 0)
        return false;
    const QByteArray tail = pdf.mid(at + 9).simplified();
    if (!tail.endsWith(" %%EOF"))
        return false;
    bool ok = false;
    const qlonglong offset = tail.chopped(6).toLongLong(&ok);
    return ok && offset >= 0 && offset < at && pdf.mid(qsizetype(offset), 4) == "xref";
}

// Sets the printer's output file for a scope, the caller's coming back at its end.
class TOutputFileName
{
public:
    TOutputFileName(QPrinter &printer, const QString &name)
        : m_printer(printer), m_old(printer.outputFileName())
    {
        m_printer.setOutputFileName(name);
    }
    ~TOutputFileName() { m_printer.setOutputFileName(m_old); }
    TOutputFileName(const TOutputFileName &) = delete;
    TOutputFileName &operator=(const TOutputFileName &) = delete;

private:
    QPrinter &m_printer;
    QString m_old;
};

} // namespace

namespace {
TGraphFormat KnownFormatOf(const QString &fileName)
{
    const TGraphFormat format = GraphFormatOf(fileName);
    if (format == TGraphFormat::None)
        throw EUnknownGraphType(
            QStringLiteral("Cannot save \"%1\": the picture can be saved as a Windows metafile "
                           "(.wmf), an enhanced metafile (.emf), a bitmap (.bmp), an SVG "
                           "picture (.svg), a PDF document (.pdf) or a PNG picture (.png)")
                .arg(fileName));
    return format;
}
} // namespace

QString WriteFailure(QIODevice &out)
{
    auto *file = qobject_cast<QFileDevice *>(&out);
    if (!file || file->error() == QFileDevice::NoError)
        return {};
    file->flush();
    return file->errorString();
}

bool WriteWhole(QIODevice &out, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const qint64 written = out.write(bytes.data(), bytes.size());
        if (written <= 0)
            return false;
        bytes = bytes.sliced(qsizetype(written));
    }
    return true;
}

QString OpenInPlace(const QString &fileName, QFile &file)
{
    // Opening a pipe no program reads from would wait for ever: without waiting it fails.
    const int fd = ::open(QFile::encodeName(fileName).constData(),
                          O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENXIO ? QStringLiteral("no program reads from the pipe")
                              : QString::fromLocal8Bit(std::strerror(errno));
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0 ||
        !file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                   QFileDevice::AutoCloseHandle)) {
        const QString cause = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return cause;
    }
    return {};
}

QString GraphExtension(const QString &fileName)
{
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < slash)
        return {};
    QString ext = fileName.mid(dot);
    // Only A to Z: other letters keep their case, as the file system sees them.
    for (QChar &c : ext)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    return ext;
}

TGraphFormat GraphFormatOf(const QString &fileName)
{
    const QString ext = GraphExtension(fileName);
    if (ext == QLatin1String(".wmf"))
        return TGraphFormat::Wmf;
    if (ext == QLatin1String(".emf"))
        return TGraphFormat::Emf;
    if (ext == QLatin1String(".bmp"))
        return TGraphFormat::Bmp;
    if (ext == QLatin1String(".svg"))
        return TGraphFormat::Svg;
    if (ext == QLatin1String(".pdf"))
        return TGraphFormat::Pdf;
    if (ext == QLatin1String(".png"))
        return TGraphFormat::Png;
    return TGraphFormat::None;
}

bool IsRasterFormat(TGraphFormat format)
{
    return format == TGraphFormat::Bmp || format == TGraphFormat::Png;
}

void WriteGraph(TChart &chart, const QString &fileName, QIODevice &out,
                const TGraphOptions &options)
{
    const TGraphFormat format = KnownFormatOf(fileName);
    const QRect r = chart.ChartRect();
    const int w = std::max(0, r.width());
    const int h = std::max(0, r.height());
    const QRect whole(r.topLeft(), QSize(std::max(1, w), std::max(1, h)));
    QByteArray bytes;
    switch (format) {
    case TGraphFormat::Bmp:
    case TGraphFormat::Png:
        WriteRasterPicture(chart, r, format, options, fileName, out);
        return;
    case TGraphFormat::Svg:
        WriteSvgPicture(chart, whole, fileName, out, options);
        return;
    case TGraphFormat::Pdf:
        WritePdfPicture(chart, whole, fileName, out, options);
        return;
    default: {
        // A metafile is one pixel narrower and lower than the chart, as the screen's own copy is.
        const QSize picture = PictureRect(r, options).size();
        TMetafileDevice metafile(
            format == TGraphFormat::Wmf ? TMetafileKind::Wmf : TMetafileKind::Emf,
            QSize(std::max(1, picture.width() - 1), std::max(1, picture.height() - 1)));
        DrawPicture(chart, r, metafile, fileName, options);
        bytes = metafile.Bytes();
        break;
    }
    }
    if (bytes.isEmpty() || !WriteWhole(out, bytes))
        CannotCreate(fileName, out);
}

void SaveGraph(TChart &chart, const QString &fileName, const TGraphOptions &options)
{
    KnownFormatOf(fileName);
    WriteFile(fileName, [&](QIODevice &out) {
        WriteGraph(chart, fileName, out, options);
        return true;
    });
}

void PrintGraph(TChart &chart, QPrinter &printer)
{
    printer.setDocName(QString());
    const QString target = printer.outputFileName();
    if (target.isEmpty() || printer.outputFormat() != QPrinter::PdfFormat) {
        PrintPage(chart, printer, PrintFailure(printer));
        return;
    }
    // The printer writes a PDF file in place and does not tell when a write fails (a full disk
    // leaves a cut file and no error): the page goes to a temporary file first, is checked
    // whole, and only then replaces the file as a saved picture does.
    QTemporaryFile temp(QDir::tempPath() + QStringLiteral("/ostrinel-print-XXXXXX.pdf"));
    if (!temp.open())
        CannotCreate(target);
    {
        const TOutputFileName redirected(printer, temp.fileName());
        PrintPage(chart, printer, QStringLiteral("Cannot create file %1").arg(target));
    }
    QFile printed(temp.fileName());
    const QByteArray bytes = printed.open(QIODevice::ReadOnly) ? printed.readAll() : QByteArray();
    if (!WholePdf(bytes))
        CannotCreate(target);
    WriteFile(target, [&](QIODevice &out) { return WriteWhole(out, bytes); });
}
