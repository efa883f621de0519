// Saving the chart as a picture file (placeable WMF, EMF, 24-bit BMP, SVG, PDF or PNG, chosen by
// the file's extension) and printing it over a whole page. The chart draws itself with all the
// map's own steps through its event handlers, so the picture shows what the screen shows.
#pragma once

#include "util/CommonDecl.h"

#include <QByteArrayView>
#include <QPoint>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <functional>
#include <optional>

class TChart;
class QPainter;
class QPrinter;
class QIODevice;
class QFile;

enum class TGraphFormat
{
    None,
    Wmf,
    Emf,
    Bmp,
    Svg,
    Pdf,
    Png
};

// How a picture is drawn beyond what its file name says.
struct TGraphOptions
{
    // Raster pictures (BMP, PNG): the same layout at this many pixels per chart pixel.
    int Scale = 1;
    // A figure for print: the physical size the picture carries (the PDF's page, the SVG's width
    // and height) and, for a raster picture, its dots per inch, which also set its pixels. None:
    // sized in the chart's pixels, as on screen.
    std::optional<QSizeF> Millimetres;
    double Dpi = 0;
    // The whole picture in chart pixels and where the chart's top-left stands in it, for what a
    // figure draws around the map (Decorate, after the chart, its origin the picture's top-left).
    // An empty Picture: the chart alone.
    QSize Picture;
    QPoint ChartAt;
    std::function<void(QPainter &)> Decorate;
};

// A file name whose extension is none of the picture types.
class EUnknownGraphType : public Exception
{
public:
    using Exception::Exception;
};

// The extension of a file name: from its last period after the last path separator, A-Z lowered.
QString GraphExtension(const QString &fileName);
TGraphFormat GraphFormatOf(const QString &fileName);
// BMP and PNG: drawn into pixels, so the scale applies.
bool IsRasterFormat(TGraphFormat format);

// Raster pictures larger than this many pixels are refused before any is drawn.
constexpr qint64 kMaxGraphPixels = 400'000'000;

// Writes the chart, at its current client size, to fileName through a temporary file renamed
// into place. Raises EInOutError "Cannot create file %s" when it cannot be written, and a
// message naming the file and the picture types for any other extension; nothing is written
// then. An SVG picture has every label and chromosome name as text and one group per row, whose
// id is "row-N" (N from 1, top down) and whose title is the chromosome's name; a PDF picture is
// one page of as many points as the chart has pixels, its fonts embedded.
void SaveGraph(TChart &chart, const QString &fileName, const TGraphOptions &options = {});
// The same picture written into out, which the caller makes the file: fileName gives the type,
// the title and the messages. A raster picture past kMaxGraphPixels, or one there is not the
// memory for, raises EInOutError before drawing.
void WriteGraph(TChart &chart, const QString &fileName, QIODevice &out,
                const TGraphOptions &options = {});

// Writes bytes to out whole, writing on after a short write (a file size limit lets part
// through without an error), so that a failure leaves what the system said in out's error
// string. False when not all were written.
bool WriteWhole(QIODevice &out, QByteArrayView bytes);

// What the system said of out's failed write ("No space left on device", "File too large"),
// none when out keeps no error. A buffered write that got part through keeps no cause of its
// own: the rest is tried once more, which fails with it.
QString WriteFailure(QIODevice &out);

// Opens a device or a pipe for writing in place, without waiting for a reader: file is then
// open. Returns the cause when it cannot be ("no program reads from the pipe"), else nothing.
QString OpenInPlace(const QString &fileName, QFile &file);

// Draws the chart over the printer's whole printable page (one page, no title), labels and
// connectors standing where the rows' plans put them in the page's view; the screen keeps its
// own. A PDF file is
// written whole or not at all, as a saved picture is: "Cannot create file %s" when it cannot be,
// the old file left as it was.
void PrintGraph(TChart &chart, QPrinter &printer);
