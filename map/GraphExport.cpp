#include "map/GraphExport.h"

#include "chart/TChart.h"
#include "platform/TMetafileDevice.h"
#include "util/CommonDecl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QSaveFile>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

namespace {

[[noreturn]] void CannotCreate(const QString &fileName)
{
    throw EInOutError(QStringLiteral("Cannot create file %1").arg(fileName));
}

// Replaces the file with what write puts into it. A regular file goes through a temporary file
// renamed into place, so a failure leaves no broken file and an old file whole. A device or
// pipe cannot be replaced by renaming and is written directly.
void WriteFile(const QString &fileName, const std::function<bool(QIODevice &)> &write)
{
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile() && !info.isDir()) {
        QFile file(fileName);
        if (!file.open(QIODevice::WriteOnly) || !write(file) || !file.flush())
            CannotCreate(fileName);
        file.close();
        if (file.error() != QFileDevice::NoError)
            CannotCreate(fileName);
        return;
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        CannotCreate(fileName);
    // A write cut short (a full disk, a size limit) can still leave commit() content with the
    // truncated file: the flush reports it.
    if (!write(file) || !file.flush() || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        CannotCreate(fileName);
    }
    if (!file.commit())
        CannotCreate(fileName);
}

// True when some label of an active row has never been placed: the chart has not been drawn
// at its current state, so connectors and labels would have nothing to stand on.
bool NeedsLayout(const TChart &chart)
{
    for (int s = 1; s < chart.SeriesCount(); ++s) {
        const TArrowSeries &series = chart.Series(s);
        if (!series.Active || !series.Marks.Visible)
            continue;
        for (int i = 0; i < series.Count(); ++i)
            if (!series.Position(i))
                return true;
    }
    return false;
}

// One drawing of the chart over its own rectangle into a picture whose origin is the
// rectangle's top-left corner. A chart never drawn is laid out first in a throwaway image.
void DrawPicture(TChart &chart, const QRect &r, QPaintDevice &device)
{
    if (NeedsLayout(chart)) {
        QImage scratch(std::max(1, r.right() + 1), std::max(1, r.bottom() + 1),
                       QImage::Format_RGB32);
        QPainter measure(&scratch);
        chart.Paint(measure, r);
    }
    QPainter painter(&device);
    painter.translate(-r.topLeft());
    chart.Draw(painter, r);
}

// Everything a page layout changes and the screen needs back.
struct TScreenLayout
{
    QRect Rect;
    std::vector<std::vector<std::optional<TSeriesMarkPosition>>> Positions;

    explicit TScreenLayout(const TChart &chart) : Rect(chart.ChartRect())
    {
        for (int s = 0; s < chart.SeriesCount(); ++s)
            Positions.push_back(chart.Series(s).Marks.Positions);
    }

    void Restore(TChart &chart) const
    {
        for (int s = 0; s < chart.SeriesCount() && s < int(Positions.size()); ++s)
            chart.Series(s).Marks.Positions = Positions[std::size_t(s)];
        // A chart without a client rectangle of its own takes the last drawing's: give it back.
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
    const TScreenLayout screen(chart);
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
        // The labels are laid out anew for the page, so that they stand over their arrows and
        // the connectors meet them; the repeated drawings this takes go to a scratch image,
        // and the page gets one.
        {
            QImage scratch(logical.size(), QImage::Format_RGB32);
            QPainter measure(&scratch);
            chart.Paint(measure, logical);
        }
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
    return TGraphFormat::None;
}

void SaveGraph(TChart &chart, const QString &fileName)
{
    const TGraphFormat format = GraphFormatOf(fileName);
    if (format == TGraphFormat::None)
        throw EUnknownGraphType(
            QStringLiteral("Cannot save \"%1\": the picture can be saved as a Windows metafile "
                           "(.wmf), an enhanced metafile (.emf) or a bitmap (.bmp)")
                .arg(fileName));

    const QRect r = chart.ChartRect();
    const int w = std::max(0, r.width());
    const int h = std::max(0, r.height());
    if (format == TGraphFormat::Bmp) {
        QImage image(std::max(1, w), std::max(1, h), QImage::Format_RGB888);
        image.fill(Qt::white);
        DrawPicture(chart, r, image);
        WriteFile(fileName, [&](QIODevice &out) { return image.save(&out, "BMP"); });
        return;
    }
    // A metafile is one pixel narrower and lower than the chart, as the screen's own copy is.
    TMetafileDevice metafile(format == TGraphFormat::Wmf ? TMetafileKind::Wmf : TMetafileKind::Emf,
                             QSize(std::max(1, w - 1), std::max(1, h - 1)));
    DrawPicture(chart, r, metafile);
    const QByteArray bytes = metafile.Bytes();
    if (bytes.isEmpty())
        CannotCreate(fileName);
    WriteFile(fileName, [&](QIODevice &out) { return out.write(bytes) == bytes.size(); });
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
    WriteFile(target, [&](QIODevice &out) { return out.write(bytes) == bytes.size(); });
}
