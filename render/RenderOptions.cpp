#include "render/RenderOptions.h"

#include "map/GraphExport.h"

#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>

#include <cmath>
#include <limits>
#include <vector>

namespace {
// Larger pictures than this are no longer drawn in a reasonable time or memory.
constexpr int kMaxSide = 20000;
constexpr int kMaxScale = 16;

struct TSwitch
{
    const char *Name;
    bool TViewOptions::*Field;
    bool Value;
};

// The View switches the command line turns from their default.
const TSwitch kSwitches[] = {
    {"no-gene-names", &TViewOptions::GeneName, false},
    {"no-connectors", &TViewOptions::LinkGenes, false},
    {"hide-unchecked", &TViewOptions::HideGenes, true},
    {"no-grid", &TViewOptions::Grid, false},
    {"names-first-line", &TViewOptions::FirstLineNames, true},
    {"no-frame-names", &TViewOptions::FrameGeneName, false},
    {"no-frame-arrows", &TViewOptions::FrameArrows, false},
    {"row-scales", &TViewOptions::RowScales, true},
    {"no-axis", &TViewOptions::Axis, false},
};

const char *const kValued[] = {"size",          "palette",
                               "chromosomes",   "genes",
                               "inverse",       "align",
                               "zoom",          "scale",
                               "report",        "dpi",
                               "order",         "genome-names",
                               "title",         "scale-bar-length",
                               "region",        "around",
                               "flank",         "font",
                               "font-size",     "name-font-size",
                               "homology",      "min-identity",
                               "max-evalue",    "groups",
                               "labels",        "links",
                               "ribbon-shape",  "link-colours",
                               "alignments",    "min-length",
                               "blocks-report", "block-min",
                               "block-gap",     "block-gap-length",
                               "colours",       "colour-table",
                               "tree"};
const QLatin1String kScaleBar("--scale-bar");
const QLatin1String kScaleBarLength("--scale-bar-length=");

[[noreturn]] void Bad(const QString &message)
{
    throw EUsageError(message);
}

// Names given as A,B,... in one or more values of the option; an empty value names none.
QStringList NameList(const QStringList &values)
{
    QStringList names;
    for (const QString &value : values)
        for (const QString &name : value.split(QLatin1Char(',')))
            if (!name.isEmpty())
                names << name;
    return names;
}

TFigureSize ParseSize(const QString &text)
{
    const std::optional<TFigureSize> size = ParseFigureSize(text);
    if (!size)
        Bad(QStringLiteral("Bad --size \"%1\": give WIDTHxHEIGHT in pixels, each from 1 to %2, "
                           "or in mm, in or pt, as 180x100mm")
                .arg(text)
                .arg(kMaxSide));
    return *size;
}

// A type size in points, 0 when the option is not given.
double FontSize(const QCommandLineParser &parser, const QString &option)
{
    if (!parser.isSet(option))
        return 0;
    const QString text = parser.value(option);
    bool ok = false;
    const double size = text.toDouble(&ok);
    if (!ok || !(size >= kMinFigureFontPoints) || size > kMaxFigureFontPoints)
        Bad(QStringLiteral("Bad --%1 \"%2\": give a size in points from %3 to %4")
                .arg(option, text)
                .arg(kMinFigureFontPoints)
                .arg(kMaxFigureFontPoints));
    return size;
}

// NAME:FROM-TO, the name up to the last colon (names of several files hold one).
TRegion ParseRegion(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(.+):(\\d+)-(\\d+)$"));
    const QRegularExpressionMatch m = pattern.match(text);
    const QString bad = QStringLiteral("Bad --region \"%1\": ").arg(text);
    if (!m.hasMatch())
        Bad(bad + QStringLiteral("give NAME:FROM-TO, FROM and TO positions as 1000-5000"));
    // No record of a file lies past the largest position a record holds.
    const qint64 last = std::numeric_limits<qint32>::max();
    for (int i : {2, 3}) {
        bool ok = false;
        if (m.captured(i).toLongLong(&ok) > last || !ok)
            Bad(bad + QStringLiteral("%1 is past position %2, the last a chromosome has")
                          .arg(m.captured(i))
                          .arg(last));
    }
    const qint64 from = m.captured(2).toLongLong();
    const qint64 to = m.captured(3).toLongLong();
    if (from > to)
        Bad(bad + QStringLiteral("give NAME:FROM-TO, FROM not above TO"));
    return {m.captured(1).toUtf8(), from, to};
}

// One of the words an option takes, as the index into words; fallback when it is not given.
int Choice(const QCommandLineParser &parser, const QString &option,
           const std::vector<QLatin1String> &words, int fallback)
{
    if (!parser.isSet(option))
        return fallback;
    const QString value = parser.value(option);
    for (std::size_t i = 0; i < words.size(); ++i)
        if (value == words[i])
            return int(i);
    QStringList listed;
    for (const QLatin1String &word : words)
        listed << word;
    const QString last = listed.takeLast();
    Bad(QStringLiteral("Bad --%1 \"%2\": give %3 or %4")
            .arg(option, value, listed.join(QStringLiteral(", ")), last));
}

// How the links are drawn: --links, --ribbon-shape and --link-colours.
void ReadLinkOptions(const QCommandLineParser &parser, TViewOptions &view)
{
    const auto word = [](const char *w) { return QLatin1String(w); };
    view.LinkStyle = TLinkStyle(Choice(parser, QStringLiteral("links"),
                                       {word("connectors"), word("ribbons"), word("blocks")},
                                       int(view.LinkStyle)));
    view.RibbonShape =
        TRibbonShape(Choice(parser, QStringLiteral("ribbon-shape"),
                            {word("straight"), word("curved")}, int(view.RibbonShape)));
    view.LinkColours = TLinkColours(Choice(parser, QStringLiteral("link-colours"),
                                           {word("identity"), word("grey"), word("black")},
                                           int(view.LinkColours)));
}

// What --scale-bar takes for its value: auto, or what reads as a number with or without a unit
// (the bar's length, told what is wrong with it when it is none), never a file name.
bool ScaleBarValue(const QString &argument)
{
    static const QRegularExpression number(
        QStringLiteral("^[-+]?(\\d+\\.?\\d*|\\.\\d+)(e[-+]?\\d+)?\\s*(bp|kb|mb|gb)?$"),
        QRegularExpression::CaseInsensitiveOption);
    return argument == QLatin1String("auto") || number.match(argument).hasMatch();
}

// "--scale-bar" takes a value only when the next argument is one (see ScaleBarValue), so that it
// can also stand alone before the input files; the value goes to a hidden option.
QStringList WithScaleBarValues(const QStringList &arguments)
{
    QStringList out;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        if (a == QLatin1String("--")) {
            out << arguments.mid(i);
            break;
        }
        const QString bare = a.startsWith(QLatin1String("--")) ? a : QLatin1Char('-') + a;
        if (bare.startsWith(kScaleBar + QLatin1Char('='))) {
            out << kScaleBarLength + bare.mid(kScaleBar.size() + 1);
        } else if (bare == kScaleBar && i + 1 < arguments.size() &&
                   ScaleBarValue(arguments[i + 1])) {
            out << kScaleBarLength + arguments[++i];
        } else if (bare == kScaleBar) {
            out << kScaleBarLength + QStringLiteral("auto");
        } else {
            out << a;
        }
    }
    return out;
}

std::pair<double, double> ParseZoom(const QString &text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'), 1);
    bool okFrom = false;
    bool okTo = false;
    const double from = colon > 0 ? text.left(colon).toDouble(&okFrom) : 0;
    const double to = colon > 0 ? text.mid(colon + 1).toDouble(&okTo) : 0;
    if (!okFrom || !okTo || !std::isfinite(from) || !std::isfinite(to) || !(from < to))
        Bad(QStringLiteral("Bad --zoom \"%1\": give FROM:TO, two map positions with FROM below TO")
                .arg(text));
    // Both ends finite can still span more than a double holds: the axis would never find
    // its steps.
    if (!std::isfinite(to - from))
        Bad(QStringLiteral("Bad --zoom \"%1\": the span from FROM to TO is too large to draw")
                .arg(text));
    return {from, to};
}

// A whole number the option takes, from least to most, or fallback when it is not given.
qint64 WholeNumber(const QCommandLineParser &parser, const QString &option, qint64 least,
                   qint64 most, const QString &what, qint64 fallback)
{
    if (!parser.isSet(option))
        return fallback;
    const QString text = parser.value(option);
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < least || value > most)
        Bad(QStringLiteral("Bad --%1 \"%2\": give a whole number of %3 from %4 to %5")
                .arg(option, text, what)
                .arg(least)
                .arg(most));
    return value;
}

// --blocks-report and how its links chain: --block-gap, --block-gap-length, --block-min.
void ReadBlockOptions(const QCommandLineParser &parser, TRenderOptions &o)
{
    const QString report = QStringLiteral("blocks-report");
    o.BlocksReport = parser.value(report);
    if (parser.isSet(report) && o.BlocksReport.isEmpty())
        Bad(QStringLiteral("--blocks-report needs a file name, or - for standard output"));
    // Blocks chain for the report and for the ribbons drawn as blocks.
    const bool chained = !o.BlocksReport.isEmpty() || o.View.LinkStyle != TLinkStyle::Connectors;
    for (const char *name : {"block-gap", "block-gap-length", "block-min"})
        if (parser.isSet(QString::fromLatin1(name)) && !chained)
            Bad(QStringLiteral("--%1 goes with --blocks-report or --links ribbons or blocks")
                    .arg(QLatin1String(name)));
    o.Blocks.MaxGap = qint32(WholeNumber(parser, QStringLiteral("block-gap"), 0, kMaxBlockGap,
                                         QStringLiteral("genes"), o.Blocks.MaxGap));
    o.Blocks.MinAnchors = qint32(WholeNumber(parser, QStringLiteral("block-min"), 2, kMaxBlockMin,
                                             QStringLiteral("links"), o.Blocks.MinAnchors));
    const QString length = QStringLiteral("block-gap-length");
    if (parser.isSet(length)) {
        const QString text = parser.value(length);
        const std::optional<double> bases =
            text == QLatin1String("0") ? std::optional<double>(0) : ParseBaseLength(text);
        if (!bases)
            Bad(QStringLiteral("Bad --block-gap-length \"%1\": give a length such as 500bp or "
                               "20kb")
                    .arg(text));
        if (o.Alignments.isEmpty())
            Bad(QStringLiteral("--block-gap-length applies with --alignments only"));
        o.Blocks.MaxGapLength = qint64(*bases);
    }
}
} // namespace

QByteArray SystemName(const QString &name, const QList<QByteArray> &system)
{
    const QByteArray encoded = QFile::encodeName(name);
    for (const QByteArray &argument : system)
        if (argument != encoded && QFile::decodeName(argument) == name)
            return argument;
    return encoded;
}

TRenderOptions ParseRenderArguments(const QStringList &arguments, const QList<QByteArray> &system)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    parser.addOption(QCommandLineOption(QStringLiteral("version")));
    parser.addOption(QCommandLineOption(QStringLiteral("disentangle")));
    for (const TSwitch &s : kSwitches)
        parser.addOption(QCommandLineOption(QString::fromLatin1(s.Name)));
    for (const char *name : kValued)
        parser.addOption(
            QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    parser.addOption(QCommandLineOption(QStringLiteral("legend")));
    parser.addOption(QCommandLineOption(QStringLiteral("gene-right")));
    parser.addOption(QCommandLineOption(QStringLiteral("italic")));
    if (!parser.parse(WithScaleBarValues(arguments)))
        Bad(parser.errorText());

    TRenderOptions o;
    o.Help = parser.isSet(QStringLiteral("help"));
    o.Version = parser.isSet(QStringLiteral("version"));
    if (o.Help || o.Version)
        return o;

    // An option given twice would leave the reader guessing which one counts.
    for (const char *name : kValued) {
        const QString option = QString::fromLatin1(name);
        if (option != QLatin1String("inverse") && option != QLatin1String("chromosomes") &&
            option != QLatin1String("genes") && option != QLatin1String("region") &&
            option != QLatin1String("alignments") && parser.values(option).size() > 1)
            Bad(QStringLiteral("--%1 is given more than once")
                    .arg(option.startsWith(QLatin1String("scale-bar")) ? kScaleBar.mid(2)
                                                                       : option));
    }

    for (const TSwitch &s : kSwitches)
        if (parser.isSet(QString::fromLatin1(s.Name)))
            o.View.*s.Field = s.Value;
    o.Disentangle = parser.isSet(QStringLiteral("disentangle"));
    if (parser.isSet(QStringLiteral("size"))) {
        const TFigureSize size = ParseSize(parser.value(QStringLiteral("size")));
        o.Figure.Size = size.Pixels();
        if (size.Physical())
            o.Figure.Millimetres = size.Millimetres();
    }
    o.Figure.Decor.Legend = parser.isSet(QStringLiteral("legend"));
    if (parser.isSet(QStringLiteral("scale-bar-length"))) {
        const QString text = parser.value(QStringLiteral("scale-bar-length"));
        o.Figure.Decor.ScaleBar = true;
        try {
            o.Figure.Decor.ScaleBarLength = ScaleBarLengthOf(text);
        } catch (const EFigureError &error) {
            Bad(error.message());
        }
    }
    if (parser.isSet(QStringLiteral("title"))) {
        o.Figure.Decor.Title = parser.value(QStringLiteral("title"));
        if (o.Figure.Decor.Title.trimmed().isEmpty())
            Bad(QStringLiteral("--title needs a text"));
    }
    // "auto" as the whole value asks for the order; "auto," names a chromosome.
    o.OrderAuto = parser.value(QStringLiteral("order")) == QLatin1String("auto");
    if (parser.isSet(QStringLiteral("order")) && !o.OrderAuto) {
        o.Order = NameList(parser.values(QStringLiteral("order")));
        for (qsizetype i = 0; i < o.Order.size(); ++i)
            if (o.Order.indexOf(o.Order[i]) != i)
                Bad(QStringLiteral("--order names \"%1\" twice").arg(o.Order[i]));
    }
    for (const QString &region : parser.values(QStringLiteral("region")))
        o.Regions.push_back(ParseRegion(region));
    o.Around = parser.value(QStringLiteral("around"));
    o.GeneRight = parser.isSet(QStringLiteral("gene-right"));
    if (parser.isSet(QStringLiteral("around")) && o.Around.isEmpty())
        Bad(QStringLiteral("--around needs a gene name"));
    if (!o.Around.isEmpty() && (!o.Regions.empty() || parser.isSet(QStringLiteral("align"))))
        Bad(QStringLiteral("--around chooses the regions and the alignment itself: give no "
                           "--region or --align with it"));
    if (parser.isSet(QStringLiteral("flank"))) {
        const QString text = parser.value(QStringLiteral("flank"));
        const std::optional<double> flank =
            text == QLatin1String("0") ? std::optional<double>(0) : ParseBaseLength(text);
        if (!flank || *flank > 1e9)
            Bad(QStringLiteral("Bad --flank \"%1\": give a length such as 500bp, 10kb or 1Mb")
                    .arg(text));
        if (o.Around.isEmpty())
            Bad(QStringLiteral("--flank goes with --around"));
        o.Flank = qint64(*flank);
    }
    o.Figure.Italic = parser.isSet(QStringLiteral("italic"));
    if (parser.isSet(QStringLiteral("font"))) {
        o.Figure.FontFamily = parser.value(QStringLiteral("font")).trimmed();
        if (o.Figure.FontFamily.isEmpty())
            Bad(QStringLiteral("--font needs a font family"));
    }
    o.Figure.FontSize = FontSize(parser, QStringLiteral("font-size"));
    o.Figure.NameFontSize = FontSize(parser, QStringLiteral("name-font-size"));
    if (parser.isSet(QStringLiteral("labels"))) {
        const QString labels = parser.value(QStringLiteral("labels"));
        if (labels != QLatin1String("all") && labels != QLatin1String("fit"))
            Bad(QStringLiteral("Bad --labels \"%1\": give all or fit").arg(labels));
        o.Figure.LabelsFit = labels == QLatin1String("fit");
        o.Figure.LabelsChosen = true;
    }
    if (o.GeneRight && o.Around.isEmpty())
        Bad(QStringLiteral("--gene-right goes with --around"));
    if (parser.isSet(QStringLiteral("genome-names"))) {
        const QString names = parser.value(QStringLiteral("genome-names"));
        if (names != QLatin1String("always") && names != QLatin1String("collisions"))
            Bad(QStringLiteral("Bad --genome-names \"%1\": give always or collisions").arg(names));
        if (names == QLatin1String("always"))
            o.GenomeNames = TGenomeNames::Always;
    }
    ReadLinkOptions(parser, o.View);
    o.View.ColourByGroup = Choice(parser, QStringLiteral("colours"),
                                  {QLatin1String("count"), QLatin1String("groups")}, 0) == 1;
    o.ColourTable = parser.value(QStringLiteral("colour-table"));
    o.Tree = parser.value(QStringLiteral("tree"));
    if (parser.isSet(QStringLiteral("tree")) && o.Tree.isEmpty())
        Bad(QStringLiteral("--tree needs a Newick file"));
    if (parser.isSet(QStringLiteral("colour-table")) &&
        (o.ColourTable.isEmpty() || !o.View.ColourByGroup))
        Bad(QStringLiteral("--colour-table needs a file name and --colours groups"));
    if (parser.isSet(QStringLiteral("palette"))) {
        const QString palette = parser.value(QStringLiteral("palette"));
        if (palette != QLatin1String("fire") && palette != QLatin1String("gray"))
            Bad(QStringLiteral("Bad --palette \"%1\": give fire or gray").arg(palette));
        o.GrayPalette = palette == QLatin1String("gray");
    }
    if (parser.isSet(QStringLiteral("chromosomes")))
        o.Chromosomes = NameList(parser.values(QStringLiteral("chromosomes")));
    if (parser.isSet(QStringLiteral("genes")))
        o.Genes = NameList(parser.values(QStringLiteral("genes")));
    o.Inverse = parser.values(QStringLiteral("inverse"));
    o.Align = parser.value(QStringLiteral("align"));
    if (parser.isSet(QStringLiteral("align")) && o.Align.isEmpty())
        Bad(QStringLiteral("--align needs a gene name"));
    if (parser.isSet(QStringLiteral("zoom")))
        o.Zoom = ParseZoom(parser.value(QStringLiteral("zoom")));
    o.Homology.Table = parser.value(QStringLiteral("homology"));
    if (parser.isSet(QStringLiteral("homology")) && o.Homology.Table.isEmpty())
        Bad(QStringLiteral("--homology needs a table file, or auto"));
    for (const QString &path : parser.values(QStringLiteral("alignments"))) {
        if (path.isEmpty())
            Bad(QStringLiteral("--alignments needs a file name"));
        o.Alignments << path;
    }
    // The identity also filters alignments, and only when given; the homology source keeps its
    // default.
    const auto threshold = [&](const char *name, double least, double most,
                               bool alignments) -> std::optional<double> {
        const QString option = QString::fromLatin1(name);
        if (!parser.isSet(option))
            return std::nullopt;
        if (!o.Homology.IsSet() && !(alignments && !o.Alignments.isEmpty()))
            Bad(QStringLiteral("--%1 applies with --homology%2 only")
                    .arg(option, alignments ? QStringLiteral(" or --alignments") : QString()));
        bool ok = false;
        const QString text = parser.value(option);
        const double value = text.toDouble(&ok);
        if (!ok || !(value >= least && value <= most))
            Bad(QStringLiteral("Bad --%1 \"%2\": give a number from %3 to %4")
                    .arg(option, text)
                    .arg(least)
                    .arg(most));
        return value;
    };
    if (const std::optional<double> identity = threshold("min-identity", 0, 100, true)) {
        o.Homology.Thresholds.MinIdentity = *identity;
        if (!o.Alignments.isEmpty())
            o.AlignmentFilters.MinIdentity = identity;
    }
    if (const std::optional<double> evalue = threshold("max-evalue", 0, 1e300, false))
        o.Homology.Thresholds.MaxEvalue = *evalue;
    if (parser.isSet(QStringLiteral("min-length"))) {
        const QString text = parser.value(QStringLiteral("min-length"));
        const std::optional<double> length =
            text == QLatin1String("0") ? std::optional<double>(0) : ParseBaseLength(text);
        if (!length)
            Bad(QStringLiteral("Bad --min-length \"%1\": give a length such as 500bp or 2kb")
                    .arg(text));
        if (o.Alignments.isEmpty())
            Bad(QStringLiteral("--min-length applies with --alignments only"));
        o.AlignmentFilters.MinLength = qint64(std::ceil(*length));
    }
    o.Groups = parser.value(QStringLiteral("groups"));
    if (parser.isSet(QStringLiteral("groups")) && (o.Groups.isEmpty() || !o.Homology.IsSet()))
        Bad(QStringLiteral("--groups needs a file name and --homology"));
    o.Report = parser.value(QStringLiteral("report"));
    if (parser.isSet(QStringLiteral("report")) && o.Report.isEmpty())
        Bad(QStringLiteral("--report needs a file name, or - for standard output"));
    ReadBlockOptions(parser, o);
    o.View.Blocks = o.Blocks;

    const QStringList files = parser.positionalArguments();
    if (files.size() < 2)
        Bad(files.isEmpty() ? QStringLiteral("No input file and no output file given")
                            : QStringLiteral("No output file given after the input file"));
    o.Inputs = files.mid(0, files.size() - 1);
    o.Output = files.last();
    const TGraphFormat format = GraphFormatOf(o.Output);
    if (format == TGraphFormat::None)
        Bad(QStringLiteral("Cannot save \"%1\": give the output file one of the extensions .svg, "
                           ".pdf, .png, .wmf, .emf or .bmp")
                .arg(o.Output));
    if (parser.isSet(QStringLiteral("scale"))) {
        const QString text = parser.value(QStringLiteral("scale"));
        bool ok = false;
        o.Figure.Scale = text.toInt(&ok);
        if (!ok || o.Figure.Scale < 1 || o.Figure.Scale > kMaxScale)
            Bad(QStringLiteral("Bad --scale \"%1\": give a whole number from 1 to %2")
                    .arg(text)
                    .arg(kMaxScale));
        if (o.Figure.Scale != 1 && !IsRasterFormat(format))
            Bad(QStringLiteral("--scale applies to pixel pictures only (.png, .bmp)"));
        if (o.Figure.Millimetres)
            Bad(QStringLiteral("--scale applies to a size in pixels; give --dpi with a size in "
                               "mm, in or pt"));
    }
    if (parser.isSet(QStringLiteral("dpi"))) {
        const QString text = parser.value(QStringLiteral("dpi"));
        bool ok = false;
        const int dpi = text.toInt(&ok);
        if (!ok || dpi < kMinFigureDpi || dpi > kMaxFigureDpi)
            Bad(QStringLiteral("Bad --dpi \"%1\": give a whole number from %2 to %3")
                    .arg(text)
                    .arg(kMinFigureDpi)
                    .arg(kMaxFigureDpi));
        if (!IsRasterFormat(format))
            Bad(QStringLiteral("--dpi applies to pixel pictures only (.png, .bmp)"));
        if (!o.Figure.Millimetres)
            Bad(QStringLiteral("--dpi needs a --size in mm, in or pt"));
        o.Figure.Dpi = dpi;
    } else if (o.Figure.Millimetres && IsRasterFormat(format)) {
        o.Figure.Dpi = kDefaultFigureDpi;
    }
    try {
        CheckFigureSize(o.Figure, parser.value(QStringLiteral("size")));
    } catch (const EFigureError &error) {
        Bad(error.message());
    }
    // Each side may be fine and their product still past what can be drawn.
    const qint64 pixels =
        qint64(o.Figure.Size.width()) * o.Figure.Scale * o.Figure.Size.height() * o.Figure.Scale;
    if (IsRasterFormat(format) && pixels > kMaxGraphPixels)
        Bad(QStringLiteral("A picture of %1 x %2 pixels is too large: give --size and --scale "
                           "for %3 million pixels at most")
                .arg(qint64(o.Figure.Size.width()) * o.Figure.Scale)
                .arg(qint64(o.Figure.Size.height()) * o.Figure.Scale)
                .arg(kMaxGraphPixels / 1000000));
    for (const QString &input : o.Inputs)
        o.InputPaths.append(SystemName(input, system));
    o.HomologyPath = SystemName(o.Homology.Table, system);
    for (const QString &path : o.Alignments)
        o.AlignmentPaths.append(SystemName(path, system));
    o.OutputPath = SystemName(o.Output, system);
    o.ReportPath = SystemName(o.Report, system);
    o.GroupsPath = SystemName(o.Groups, system);
    o.ColourTablePath = SystemName(o.ColourTable, system);
    o.TreePath = SystemName(o.Tree, system);
    o.BlocksReportPath = SystemName(o.BlocksReport, system);
    return o;
}

std::vector<TRunFile> TRenderOptions::Outputs() const
{
    std::vector<TRunFile> files{{TFileRole::Picture, Output, OutputPath}};
    if (!Report.isEmpty())
        files.push_back({TFileRole::Report, Report, ReportPath});
    if (!Groups.isEmpty())
        files.push_back({TFileRole::GroupTable, Groups, GroupsPath});
    if (!BlocksReport.isEmpty())
        files.push_back({TFileRole::BlockReport, BlocksReport, BlocksReportPath});
    return files;
}

std::vector<TRunFile> TRenderOptions::Reads() const
{
    std::vector<TRunFile> files;
    for (qsizetype i = 0; i < Inputs.size(); ++i) {
        files.push_back({TFileRole::Input, Inputs[i], InputPaths.value(i)});
        if (Homology.Table == kAutoHomology)
            for (const QString &fasta : ProteinFilesBeside(QFile::decodeName(InputPaths.value(i))))
                files.push_back({TFileRole::ProteinFile, fasta, QFile::encodeName(fasta)});
    }
    if (Homology.IsSet() && Homology.Table != kAutoHomology)
        files.push_back({TFileRole::HomologyTable, Homology.Table, HomologyPath});
    for (qsizetype i = 0; i < Alignments.size(); ++i)
        files.push_back({TFileRole::AlignmentFile, Alignments[i], AlignmentPaths.value(i)});
    if (!ColourTable.isEmpty())
        files.push_back({TFileRole::ColourTable, ColourTable, ColourTablePath});
    if (!Tree.isEmpty())
        files.push_back({TFileRole::TreeFile, Tree, TreePath});
    return files;
}

QString RenderHelpText()
{
    return QStringLiteral(
        "Usage: ostrinel-render [options] INPUT... OUTPUT\n"
        "Draws the map of the coordinate files INPUT (loaded as one catalogue, in the order\n"
        "given) as the Ostrinel window draws it, and saves it as OUTPUT. The picture type\n"
        "follows the extension: .svg, .pdf, .png, .wmf, .emf or .bmp.\n"
        "\n"
        "Options (each as the window's switch or command of the same name):\n"
        "  --size WxH[UNIT]      the picture's size in px (default 1600x900), or in mm, in or\n"
        "                        pt (as 180x100mm): PDF and SVG carry that size, and .png\n"
        "                        and .bmp have it at --dpi\n"
        "  --dpi N               .png and .bmp sized in mm, in or pt: N dots per inch\n"
        "                        (default 300), written in the file\n"
        "  --title TEXT          a title above the rows\n"
        "  --scale-bar [auto|LENGTH]  a scale bar under the rows, LENGTH as 10kb, 500bp or\n"
        "                        1.5Mb (default auto)\n"
        "  --legend              under the rows, the colour of a gene shared by 1, 2, ...\n"
        "                        chromosomes\n"
        "  --tree FILE           a Newick tree whose leaves name rows (a row's name, the name\n"
        "                        without its genome prefix, or a file's stem): the rows in\n"
        "                        its leaves' order, the tree drawn left of the names\n"
        "  --order A,B,...|auto  these chromosomes' rows first, in this order; auto: the\n"
        "                        shown rows in the order with the fewest connector\n"
        "                        crossings between neighbours, each keeping its\n"
        "                        orientation (best of all orders up to 10 rows, searched\n"
        "                        beyond), the crossings before and after on standard error\n"
        "  --font FAMILY         the font of the labels, names, title, scale bar and key\n"
        "  --font-size PT        the labels' type size; their levels keep in proportion\n"
        "  --name-font-size PT   the chromosome names' type size\n"
        "  --italic              gene names in italics\n"
        "  --labels all|fit      fit: only the gene names whose box covers no arrow and no\n"
        "                        other name, the genes checked by --genes first, then the\n"
        "                        longest records (default all; a figure whose names\n"
        "                        mostly cover arrows or one another takes fit)\n"
        "  --region NAME:FROM-TO show only this part of chromosome NAME (may be given again;\n"
        "                        only the chromosomes named are shown)\n"
        "  --around GENE         every chromosome that carries GENE, only around its first\n"
        "                        record of GENE, aligned on GENE\n"
        "  --flank LENGTH        with --around: how much either side (default 10kb)\n"
        "  --gene-right          with --around: rows turned so that GENE points right\n"
        "  --genome-names always|collisions  put the file's stem before every chromosome\n"
        "                        name, or only where two files share a name (default)\n"
        "  --palette fire|gray   the gene colour scale (default fire)\n"
        "  --colours count|groups  arrows coloured by how many chromosomes carry the gene\n"
        "                        (default), or each gene (each homology group) on two or\n"
        "                        more shown rows in a colour of its own, the others grey\n"
        "  --colour-table FILE   with --colours groups: lines of a gene or group name and a\n"
        "                        colour (#rrggbb or a name such as teal)\n"
        "  --no-gene-names       View > Gene name off\n"
        "  --no-connectors       View > Connectors off: no links of any style\n"
        "  --links connectors|ribbons|blocks  links drawn as connectors, or as ribbons from\n"
        "                        arrow span to arrow span, red where both genes run the\n"
        "                        same way as drawn, blue where they run opposite ways,\n"
        "                        lighter the lower the hits' identity (default connectors);\n"
        "                        blocks: each synteny block as one ribbon. Ribbons between\n"
        "                        rows whose genes are under two pixels wide are drawn as\n"
        "                        blocks too\n"
        "  --ribbon-shape straight|curved  the sides of the ribbons (default straight)\n"
        "  --link-colours identity|grey|black  ribbons red and blue by identity, one grey\n"
        "                        scale of identity, or black (default identity)\n"
        "  --hide-unchecked      View > Hide unchecked genes on\n"
        "  --no-grid             View > Grid off\n"
        "  --names-first-line    View > Names only on 1st line on\n"
        "  --no-frame-names      View > Frame gene names off\n"
        "  --no-frame-arrows     View > Frame arrows off\n"
        "  --row-scales          under each row a scale of its own coordinates (bp, kb, Mb),\n"
        "                        right to left on a reversed row, which is marked reversed\n"
        "  --no-axis             leave out the shared bottom axis\n"
        "  --chromosomes A,B,... check only these chromosomes\n"
        "  --genes X,Y,...       check only these genes; the others show their number\n"
        "  --inverse NAME        reverse this chromosome (may be given again)\n"
        "  --disentangle         Operations > Disentangle links\n"
        "  --align GENE          align on the first record of this gene, as the map's\n"
        "                        pop-up does\n"
        "  --zoom FROM:TO        show the map positions FROM to TO\n"
        "  --scale N             .png and .bmp: the same picture at N times the pixels\n"
        "  --report FILE         write one tab-separated line per shown row (name, row,\n"
        "                        inverted, offset, records, genes shared with the row above,\n"
        "                        Spearman coefficient against the chromosome before it, as\n"
        "                        Disentangle judges it, connector crossings with the row\n"
        "                        above) to FILE, or to standard output for -\n"
        "  --homology FILE|auto  genes of one homology group are one gene (counts, colours,\n"
        "                        checks, connectors, Disentangle, report), each labelled\n"
        "                        with its own name. FILE: group<TAB>gene lines (or an\n"
        "                        MMseqs2 cluster table), an Orthogroup table, or 12-column\n"
        "                        similarity hits; auto: the genes' proteins clustered by\n"
        "                        MMseqs2 (Debian package mmseqs2), cached by content\n"
        "  --min-identity P      hits and auto: least identity in per cent (default 30);\n"
        "                        alignments: the least identity they keep (default none)\n"
        "  --max-evalue E        hits and auto: greatest e-value (default 1e-5)\n"
        "  --groups FILE         write gene, genome and group of every record to FILE\n"
        "  --alignments FILE     region alignments between the rows (may be given again):\n"
        "                        12-column BLAST hits, PAF (minimap2) or show-coords -T -H\n"
        "                        (MUMmer), naming the chromosomes with or without their\n"
        "                        genome prefix, or by GenBank accession\n"
        "  --min-length LENGTH   alignments: the least aligned length kept, as 500bp or 2kb\n"
        "                        (default 0)\n"
        "  --blocks-report FILE  write the synteny blocks between the rows the links join,\n"
        "                        one tab-separated line each (upper and lower chromosome,\n"
        "                        upper start and end, lower start and end in the\n"
        "                        chromosomes' own coordinates, links, orientation + or -\n"
        "                        as drawn, mean identity), to FILE, or to standard output\n"
        "                        for -. A block is a chain of links whose ends rise\n"
        "                        together on both rows (+), or rise on one and fall on\n"
        "                        the other (-)\n"
        "  --block-gap N         blocks: the most genes between two links of a block on\n"
        "                        either row (default 5)\n"
        "  --block-gap-length LENGTH  blocks of region alignments: the most bases between\n"
        "                        two aligned stretches of a block on either row, as 20kb\n"
        "                        (default 20kb)\n"
        "  --block-min N         blocks: the fewest links a block has, 2 at least (default 3)\n"
        "  --help                show this text\n"
        "  --version             show the version\n"
        "\n"
        "The commands run in this order: regions, order, checks, order auto, disentangle,\n"
        "reverse, align, zoom.\n"
        "Exit status: 0 done, 1 an input file cannot be read or drawn, 2 a bad option or\n"
        "output file. Nothing is written on failure; an existing file stays as it was.\n");
}
