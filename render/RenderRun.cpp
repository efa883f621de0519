#include "render/RenderRun.h"

#include "chart/TChart.h"
#include "core/ChildProgram.h"
#include "core/MapOperations.h"
#include "core/Regions.h"
#include "map/BlockReport.h"
#include "map/FigureExport.h"
#include "map/GraphExport.h"
#include "map/GroupColours.h"
#include "map/MapSession.h"
#include "map/RowReport.h"
#include "platform/Systeme.h"
#include "render/RenderOptions.h"
#include "render/RenderOutput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QIODevice>
#include <QTemporaryDir>

#include <new>
#include <unistd.h>

namespace {

// An input that cannot be read or drawn: exit status 1.
class EBadInput : public Exception
{
public:
    using Exception::Exception;
};

void Write(QIODevice &device, const QString &text)
{
    device.write(text.toUtf8());
}

// Standard output cut short (a full disk, a size limit) is an error, not a run done.
void WriteOut(QIODevice &out, const QString &text)
{
    if (WriteWhole(out, text.toUtf8()))
        return;
    const QString cause = WriteFailure(out);
    throw EInOutError(QStringLiteral("Cannot write to standard output") +
                      (cause.isEmpty() ? QString() : QStringLiteral(": ") + cause));
}

QString MessageOf(const std::exception &error)
{
    if (const auto *e = dynamic_cast<const Exception *>(&error))
        return e->message();
    if (dynamic_cast<const std::bad_alloc *>(&error))
        return QStringLiteral("Out of memory");
    return QString::fromLocal8Bit(error.what());
}

// The reader's message with the name of the file it is about: of several files it names the
// one that failed itself.
QString WithFileName(const QStringList &inputs, const QString &message)
{
    if (inputs.size() == 1 && !message.contains(inputs.first()))
        return inputs.first() + QStringLiteral(": ") + message;
    return message;
}

// The list items (positions in the chromosome list) under each shown name: a name may stand for
// more than one when shown names are cut.
QHash<QString, std::vector<std::size_t>> ChromosomeItems(const TCatalogue &catalogue)
{
    QHash<QString, std::vector<std::size_t>> items;
    items.reserve(qsizetype(catalogue.FChromosomes.size()));
    for (std::size_t i = 0; i < catalogue.FChromosomes.size(); ++i) {
        const qint32 c = catalogue.FChromosomes[i].ChromosomeIndex;
        items[DisplayText(At(catalogue.FChromosomeNames, c))].push_back(i);
    }
    return items;
}

const std::vector<std::size_t> &ItemsNamed(const QHash<QString, std::vector<std::size_t>> &items,
                                           const QString &name)
{
    const auto found = items.constFind(name);
    if (found == items.cend())
        throw EUsageError(QStringLiteral("No chromosome \"%1\" in the input").arg(name));
    return *found;
}

// The list items whose name is one of names.
std::vector<bool> ChromosomesNamed(const TCatalogue &catalogue,
                                   const QHash<QString, std::vector<std::size_t>> &items,
                                   const QStringList &names)
{
    std::vector<bool> checked(catalogue.FChromosomes.size(), false);
    for (const QString &name : names)
        for (std::size_t i : ItemsNamed(items, name))
            checked[i] = true;
    return checked;
}

// Gene names are one gene whatever their case, as the catalogue reads them: each folded name
// leads to the first gene that has it.
QHash<QString, qint32> GeneIndices(const TCatalogue &catalogue)
{
    QHash<QString, qint32> genes;
    genes.reserve(qsizetype(catalogue.FGeneNames.size()));
    for (std::size_t g = 0; g < catalogue.FGeneNames.size(); ++g) {
        QString folded = DisplayText(catalogue.FGeneNames[g]).toCaseFolded();
        if (!genes.contains(folded))
            genes.insert(std::move(folded), qint32(g));
    }
    return genes;
}

qint32 GeneNamed(const QHash<QString, qint32> &genes, const QString &name)
{
    const auto found = genes.constFind(name.toCaseFolded());
    if (found == genes.cend())
        throw EUsageError(QStringLiteral("No gene \"%1\" in the input").arg(name));
    return *found;
}

std::vector<bool> GenesNamed(const TCatalogue &catalogue, const QHash<QString, qint32> &genes,
                             const QStringList &names)
{
    std::vector<bool> checked(catalogue.FGeneNames.size(), false);
    for (const QString &name : names)
        checked[std::size_t(GeneNamed(genes, name))] = true;
    return checked;
}

// Sets the clicked item as a click on the first shown record of gene g would, as the map
// pop-up needs it for "Align on this gene".
void ClickFirstRecordOf(TMapSession &session, const TChart &chart, qint32 g, const QString &name)
{
    const TCatalogue &catalogue = session.FCatalogue;
    for (int s = 1; s < chart.SeriesCount(); ++s) {
        const qint32 c = chart.Series(s).Tag;
        const qint32 r = FirstRecordOf(catalogue, c, g);
        if (r < 0)
            continue;
        if (!MapItemActions(catalogue, c, r).AlignEnabled)
            throw EUsageError(
                QStringLiteral("Cannot align on gene \"%1\": it is on one chromosome only")
                    .arg(name));
        session.FClickedChromosome = c;
        session.FClickedRecord = r;
        return;
    }
    throw EUsageError(
        QStringLiteral("Cannot align on gene \"%1\": no shown row carries it").arg(name));
}

// True when the first record of gene g on chromosome c points left.
bool PointsLeft(const TCatalogue &catalogue, qint32 c, qint32 g)
{
    const qint32 first = FirstRecordOf(catalogue, c, g);
    if (first < 0)
        return false;
    const tGene &record = catalogue.FRecords[std::size_t(c)][std::size_t(first)];
    return record.End < record.Start;
}

// The whole run after the command line was read.
void Render(const TRenderOptions &o, QIODevice &out, QIODevice &err)
{
    // Every output is made ready before anything is read: a folder missing or a pipe nobody
    // reads is told at once, and nothing is replaced unless all are written whole.
    TRenderOutputs outputs(o.Outputs(), o.Reads(), out);

    // The chart as the window sets it up, sized for the figure and wired to its session.
    TFigureChart figure(o.Figure);
    TChart &chart = figure.Chart();
    TMapSession &session = figure.Session();
    const auto repaint = [&figure] { figure.Repaint(); };
    figure.SetView(o.View);
    if (o.GrayPalette)
        session.FPalette = GrayPalette();
    if (!o.ColourTable.isEmpty()) {
        try {
            session.FColourTable = ReadColourTable(o.ColourTable);
        } catch (const EInOutError &error) {
            throw EBadInput(QStringLiteral("%1: %2").arg(o.ColourTable, error.message()));
        }
    }
    session.GenomeNames = o.GenomeNames;

    // An input whose name has no UTF-8 spelling is read through a link that has one, named
    // as the command line shows it, in a folder of the run's own; messages name it as given.
    QTemporaryDir links;
    QStringList inputs = o.Inputs;
    for (qsizetype i = 0; i < inputs.size(); ++i) {
        if (o.InputPaths[i] == QFile::encodeName(o.Inputs[i]))
            continue;
        const QString folder = links.filePath(QString::number(i));
        QByteArray target = o.InputPaths[i];
        if (!target.startsWith('/'))
            target = QFile::encodeName(QDir::currentPath()) + '/' + target;
        const QString link = folder + QLatin1Char('/') + QFileInfo(o.Inputs[i]).fileName();
        if (QDir().mkpath(folder) &&
            ::symlink(target.constData(), QFile::encodeName(link).constData()) == 0)
            inputs[i] = link;
    }
    session.FHomology = o.Homology;
    session.FAlignmentPaths = o.Alignments;
    session.FAlignmentFilters = o.AlignmentFilters;
    QString lastStep;
    session.HomologyProgress = [&err, &lastStep](const QString &step) {
        if (step != lastStep)
            Write(err, step + QLatin1Char('\n'));
        lastStep = step;
    };
    try {
        session.Open(inputs);
    } catch (const ECancelled &) {
        throw;
    } catch (const EHomologyError &error) {
        throw EBadInput(error.message());
    } catch (const EAlignmentError &error) {
        // It names its file already, and none of the map's.
        throw EBadInput(error.message());
    } catch (const std::bad_alloc &) {
        throw EBadInput(QStringLiteral("Out of memory while reading the input files"));
    } catch (const std::exception &error) {
        QString message = MessageOf(error);
        for (qsizetype i = 0; i < inputs.size(); ++i)
            message.replace(inputs[i], o.Inputs[i]);
        throw EBadInput(WithFileName(o.Inputs, message));
    }
    if (o.Homology.IsSet())
        Write(err, session.FHomologyReport.Text() + QLatin1Char('\n'));
    if (!o.Alignments.isEmpty())
        Write(err, session.FAlignmentReport.Text() + QLatin1Char('\n'));

    // Names are looked up before any command, so that a wrong one runs none.
    const TCatalogue &catalogue = session.FCatalogue;
    // Only the regions asked for, as a catalogue of their own.
    if (!o.Regions.empty() || !o.Around.isEmpty()) {
        const std::vector<TRegion> regions =
            o.Around.isEmpty()
                ? o.Regions
                : RegionsAround(catalogue, GeneNamed(GeneIndices(catalogue), o.Around), o.Flank);
        TCatalogue shown;
        try {
            shown = CatalogueOfRegions(catalogue, regions);
        } catch (const ERegionError &error) {
            throw EUsageError(error.message());
        }
        try {
            session.Install(std::move(shown));
            session.Redraw();
        } catch (const std::bad_alloc &) {
            throw EBadInput(QStringLiteral("Out of memory while running the commands"));
        } catch (const std::exception &error) {
            throw EBadInput(MessageOf(error));
        }
    }
    std::vector<qint32> first;
    if (!o.Order.isEmpty()) {
        const QHash<QString, std::vector<std::size_t>> listed = ChromosomeItems(catalogue);
        for (const QString &name : o.Order)
            for (std::size_t i : ItemsNamed(listed, name))
                first.push_back(qint32(i));
    }
    // A tree orders the rows as its leaves; --order then puts its names first.
    if (!o.Tree.isEmpty()) {
        try {
            session.SetTree(o.Tree);
        } catch (const ETreeError &error) {
            throw EBadInput(QStringLiteral("%1: %2").arg(o.Tree, error.message()));
        }
        if (!session.FTreeRows.Text().isEmpty())
            Write(err, session.FTreeRows.Text() + QLatin1Char('\n'));
    }
    // The row order comes first: the other names are looked up in the list it leaves.
    if (!first.empty()) {
        try {
            session.OrderRows(first);
        } catch (const std::bad_alloc &) {
            throw EBadInput(QStringLiteral("Out of memory while running the commands"));
        } catch (const std::exception &error) {
            throw EBadInput(MessageOf(error));
        }
    }
    const QHash<QString, std::vector<std::size_t>> items = ChromosomeItems(catalogue);
    const QHash<QString, qint32> geneIndices = GeneIndices(catalogue);
    std::vector<bool> chromosomes = o.Chromosomes
                                        ? ChromosomesNamed(catalogue, items, *o.Chromosomes)
                                        : session.ChromosomeChecked;
    std::vector<bool> genes =
        o.Genes ? GenesNamed(catalogue, geneIndices, *o.Genes) : session.GeneChecked;
    std::vector<qint32> inverse;
    for (const QString &name : o.Inverse)
        for (std::size_t i : ItemsNamed(items, name))
            inverse.push_back(qint32(i));
    const QString &alignName = o.Around.isEmpty() ? o.Align : o.Around;
    const qint32 alignGene = alignName.isEmpty() ? -1 : GeneNamed(geneIndices, alignName);
    if (o.GeneRight)
        for (std::size_t i = 0; i < catalogue.FChromosomes.size(); ++i)
            if (PointsLeft(catalogue, catalogue.FChromosomes[i].ChromosomeIndex, alignGene))
                inverse.push_back(qint32(i));

    try {
        if (o.Chromosomes || o.Genes)
            session.SetChecks(std::move(chromosomes), std::move(genes));
        if (o.OrderAuto) {
            const TRowOrderReport order = session.OrderRowsAuto();
            Write(err, order.Text() + QLatin1Char('\n'));
            // The rows to reverse follow their chromosomes to their new places.
            std::vector<qint32> placeOf(order.Items.size());
            for (std::size_t i = 0; i < order.Items.size(); ++i)
                placeOf[std::size_t(order.Items[i])] = qint32(i);
            for (qint32 &k : inverse)
                k = placeOf[std::size_t(k)];
        }
        if (o.Disentangle)
            session.Disentangle();
        for (qint32 k : inverse)
            session.InverseChromosome(k);
        // A gene on one row only has nothing to align with: around it, the row stays as it is.
        if (alignGene >= 0 && (o.Around.isEmpty() || At(catalogue.FGeneCounts, alignGene) > 1)) {
            ClickFirstRecordOf(session, chart, alignGene, alignName);
            session.AlignOnClicked();
        }
        if (o.Zoom) {
            // The widget repaints after a zoom, laying the labels out for the new range.
            chart.ZoomTo(o.Zoom->first, o.Zoom->second);
            repaint();
        }
    } catch (const EUsageError &) {
        throw;
    } catch (const std::bad_alloc &) {
        throw EBadInput(QStringLiteral("Out of memory while running the commands"));
    } catch (const std::exception &error) {
        throw EBadInput(MessageOf(error));
    }

    try {
        figure.LayOut();
    } catch (const EFigureError &error) {
        throw EUsageError(error.message());
    }
    if (figure.LabelsLeftOutForFit())
        Write(err, QStringLiteral("Most gene names would cover arrows or one another at this "
                                  "size: only those that fit are shown; --labels all keeps every "
                                  "label.\n"));
    if (figure.NamesLeftOut())
        Write(err, QStringLiteral("The rows stand too close for gene names at this size: they "
                                  "are left out. A taller --size or a smaller --font-size shows "
                                  "them.\n"));

    const char *step = "making the reports";
    try {
        const QByteArray report =
            o.Report.isEmpty()
                ? QByteArray()
                : RowReportText(RowReport(catalogue, chart, session.FRegionAlignments));
        const QByteArray blocks =
            o.BlocksReport.isEmpty()
                ? QByteArray()
                : BlockReportText(BlockReport(
                      chart, catalogue,
                      SyntenyBlocksOf(chart, catalogue, session.FRegionAlignments, o.Blocks)));
        step = "drawing the picture";
        figure.Write(o.Output, outputs.Output(TFileRole::Picture)->Device());
        step = "writing the files";
        outputs.Write(TFileRole::Report, report);
        outputs.Write(TFileRole::BlockReport, blocks);
        if (outputs.Output(TFileRole::GroupTable))
            outputs.Write(TFileRole::GroupTable, GroupsText(catalogue, session.FHomologyReport));
        outputs.Commit();
    } catch (const std::bad_alloc &) {
        throw EInOutError(QStringLiteral("Out of memory while %1").arg(QLatin1String(step)));
    }
}

} // namespace

int RunRender(const QStringList &arguments, QIODevice &out, QIODevice &err,
              const QList<QByteArray> &system)
{
    const QString program = QStringLiteral("ostrinel-render");
    try {
        const TRenderOptions o = ParseRenderArguments(arguments, system);
        if (o.Help) {
            WriteOut(out, RenderHelpText());
            return kRenderDone;
        }
        if (o.Version) {
            WriteOut(out, program + QLatin1Char(' ') + VersionText(4) + QLatin1Char('\n'));
            return kRenderDone;
        }
        Render(o, out, err);
        return kRenderDone;
    } catch (const ECancelled &stop) {
        // A signal ended MMseqs2; now that the run has cleaned up, it ends the program.
        if (stop.Signal != 0)
            ResumeSignal(stop.Signal);
        Write(err, program + QStringLiteral(": ") + stop.message() + QLatin1Char('\n'));
        return kRenderBadInput;
    } catch (const EUsageError &error) {
        Write(err, program + QStringLiteral(": ") + error.message() +
                       QStringLiteral("\nTry \"ostrinel-render --help\" for the options.\n"));
        return kRenderBadUsage;
    } catch (const EBadInput &error) {
        Write(err, program + QStringLiteral(": ") + error.message() + QLatin1Char('\n'));
        return kRenderBadInput;
    } catch (const std::exception &error) {
        // Saving the picture or the report.
        Write(err, program + QStringLiteral(": ") + MessageOf(error) + QLatin1Char('\n'));
        return kRenderBadUsage;
    }
}
