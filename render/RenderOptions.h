// The command line of the batch renderer: `ostrinel-render [options] INPUT... OUTPUT`. Each
// option mirrors a switch or command of the window and keeps its meaning there.
#pragma once

#include "core/Catalogue.h"
#include "core/Homology.h"
#include "core/RegionAlignments.h"
#include "core/Regions.h"
#include "core/SyntenyBlocks.h"
#include "map/FigureExport.h"
#include "map/ViewOptions.h"
#include "render/RenderOutput.h"
#include "util/CommonDecl.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

struct TRenderOptions
{
    QStringList Inputs; // loaded as one catalogue, in this order
    QString Output;     // the picture type follows its extension
    // The names of the inputs, the homology table and the outputs as the system spells them:
    // the bytes of the command line, which need not be UTF-8.
    QList<QByteArray> InputPaths;
    QByteArray HomologyPath;
    QList<QByteArray> AlignmentPaths;
    QByteArray OutputPath;
    QByteArray ReportPath;
    QByteArray GroupsPath;
    QByteArray ColourTablePath;
    QByteArray TreePath;
    QByteArray BlocksReportPath;
    // The picture's size, resolution, type faces and what stands around the map.
    TFigureOptions Figure;
    QStringList Order;      // these chromosomes' rows first, in this order
    bool OrderAuto = false; // the shown rows in the order with the fewest crossings
    TGenomeNames GenomeNames = TGenomeNames::Collisions;
    std::vector<TRegion> Regions; // only these parts of their chromosomes are shown
    QString Around;               // every row carrying this gene, around it; none when empty
    qint64 Flank = 10000;         // bases shown either side of Around
    bool GeneRight = false;       // rows turned so that Around points right
    bool GrayPalette = false;
    QString ColourTable; // gene or group colours with --colours groups; none when empty
    QString Tree;        // a Newick tree whose leaves name rows; none when empty
    TViewOptions View;
    std::optional<QStringList> Chromosomes; // the checked ones; all when not given
    std::optional<QStringList> Genes;       // the checked ones; all when not given
    QStringList Inverse;                    // mirrored in this order
    QString Align;                          // gene to align on; none when empty
    bool Disentangle = false;
    std::optional<std::pair<double, double>> Zoom; // bottom axis range
    QString Report;           // the row report's file, "-" for standard output; none when empty
    THomologySource Homology; // genes joined by a table or by their proteins; none when unset
    QString Groups;           // the gene, genome, group table's file; none when empty
    QStringList Alignments;   // region alignment files, read against the loaded map
    TAlignmentFilters AlignmentFilters;
    QString BlocksReport; // the synteny blocks' file, "-" for standard output; none when empty
    TBlockOptions Blocks; // how links chain into blocks
    bool Help = false;
    bool Version = false;

    // Every file the run writes, the picture first; every file it reads. No output may be an
    // input or another output (see TRenderOutputs).
    std::vector<TRunFile> Outputs() const;
    std::vector<TRunFile> Reads() const;
};

// A command line the renderer cannot run: a bad option, option value or output name.
class EUsageError : public Exception
{
public:
    using Exception::Exception;
};

// Reads the arguments (the program name first); system, when given, holds the same arguments as
// the system's bytes. Raises EUsageError with a message in the program's words.
TRenderOptions ParseRenderArguments(const QStringList &arguments,
                                    const QList<QByteArray> &system = {});
// The bytes the system knows a name by: the argument of system that reads as name, when name
// has no UTF-8 spelling of its own, else name in UTF-8.
QByteArray SystemName(const QString &name, const QList<QByteArray> &system);
// The text of --help.
QString RenderHelpText();
