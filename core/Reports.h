// The text reports: the chromosome report, the gene report, the item report of one clicked map
// item, and the gene list legend. Pure functions of the catalogue; the windows only show them.
#pragma once

#include "core/Catalogue.h"

#include <QStringList>

// |End - Start| as a checked 32-bit value.
qint32 RecordLength(const tGene &record);

// The caption of a chromosome or gene report window: "Info for " and the name.
QString InfoCaption(const QByteArray &name);

// Lines of the chromosome report of row k (header and ruler first).
QStringList ChromosomeReport(const TCatalogue &catalogue, qint32 k);
// Lines of the gene report of gene g (header and ruler first): per chromosome row in order, the
// first record carrying the gene's name. For a homology group, "Group:" and "Members:" lines
// first, then every record of the group.
QStringList GeneReport(const TCatalogue &catalogue, qint32 g);
// The three lines of the item report of record `record` of row `chromosome`.
QStringList ItemReport(const TCatalogue &catalogue, qint32 chromosome, qint32 record);
// One line "g: NAME" per gene of the list but "???".
QStringList LegendLines(const TCatalogue &catalogue);
