#include "core/Reports.h"

#include <algorithm>

namespace {
const QString kHeader = QStringLiteral("Chromosome\tGene\tLength\tComment");
const QString kRuler = QString(36, QLatin1Char('='));

QString RecordLine(const tGene &record)
{
    return DisplayText(record.ChromosomeName) + QLatin1Char('\t') + DisplayText(record.GeneName) +
           QLatin1Char('\t') + QString::number(RecordLength(record)) + QLatin1Char('\t') +
           DisplayText(record.Comment);
}
} // namespace

qint32 RecordLength(const tGene &record)
{
    return CheckedAbs(CheckedSub(record.End, record.Start));
}

QString InfoCaption(const QByteArray &name)
{
    return QStringLiteral("Info for ") + DisplayText(name);
}

QStringList ChromosomeReport(const TCatalogue &catalogue, qint32 k)
{
    QStringList lines{kHeader, kRuler};
    for (const tGene &record : At(catalogue.FRecords, k))
        lines << RecordLine(record);
    return lines;
}

QStringList GeneReport(const TCatalogue &catalogue, qint32 g)
{
    // Matched by name rather than by GeneIndex: index 0 is shared by the first gene in the list,
    // unnamed records and repeats, while the name picks exactly the gene in the caption.
    const QByteArray &name = At(catalogue.FGeneNames, g);
    const auto group = std::find(catalogue.FGroupNames.begin(), catalogue.FGroupNames.end(), name);
    if (group != catalogue.FGroupNames.end()) {
        // A homology group: every member, each under its own name.
        const auto k = qint32(group - catalogue.FGroupNames.begin());
        QStringList members;
        QStringList records;
        for (const std::vector<tGene> &row : catalogue.FRecords) {
            for (const tGene &record : row) {
                if (record.Group != k)
                    continue;
                records << RecordLine(record);
                if (!members.contains(DisplayText(record.GeneName)))
                    members << DisplayText(record.GeneName);
            }
        }
        return QStringList{QStringLiteral("Group:\t") + DisplayText(name),
                           QStringLiteral("Members:\t") + members.join(QStringLiteral(", ")),
                           kHeader, kRuler} +
               records;
    }
    QStringList lines{kHeader, kRuler};
    for (const std::vector<tGene> &row : catalogue.FRecords) {
        for (const tGene &record : row) {
            if (record.Group < 0 && record.GeneName == name) {
                lines << RecordLine(record);
                break;
            }
        }
    }
    return lines;
}

QStringList ItemReport(const TCatalogue &catalogue, qint32 chromosome, qint32 record)
{
    const tGene &item = At(At(catalogue.FRecords, chromosome), record);
    const QString length = QString::number(RecordLength(item));
    return {QStringLiteral("Name:\t") + DisplayText(item.GeneName),
            QStringLiteral("Length:\t") + length,
            QStringLiteral("Comments:\t") + DisplayText(item.Comment)};
}

QStringList LegendLines(const TCatalogue &catalogue)
{
    QStringList lines;
    // "???" shows as itself on the map, never as a number: it alone is left out.
    for (std::size_t g = 0; g < catalogue.FGeneNames.size(); ++g)
        if (IsNamedGene(catalogue, qint32(g)))
            lines << QString::number(g) + QStringLiteral(": ") +
                         DisplayText(catalogue.FGeneNames[g]);
    return lines;
}
