// The synteny blocks of the map as drawn: the links between each pair of rows that the ribbons
// join (gene links of the map's homology and region alignments) chained into blocks
// (core/SyntenyBlocks), and the batch renderer's block report. A plain function of the
// catalogue, the rows on the chart and the alignments, so that blocks follow the rows' order,
// reversal and offsets.
#pragma once

#include "core/Catalogue.h"
#include "core/RegionAlignments.h"
#include "core/SyntenyBlocks.h"

#include <QByteArray>
#include <QString>

#include <vector>

class TChart;

// The blocks between the rows of the chart, rows as series indices, in the order of their upper
// row, then their lower row, then where they start on the upper row. Their spans are in axis
// values, as TRibbon's, and their orientation as drawn: reversing one of the two rows turns it.
// Their anchors are indices into what TRibbons::Of gives for the same chart, catalogue and
// alignments. A gene link's anchor ranks are its points' indices along the rows (the points
// stand in order of their starts); a ribbon that spans a whole group of repeats takes no part.
std::vector<TSyntenyBlock> SyntenyBlocksOf(const TChart &chart, const TCatalogue &catalogue,
                                           const std::vector<TRegionAlignment> &alignments,
                                           const TBlockOptions &options);

struct TBlockReportLine
{
    QString Upper, Lower; // chromosome names
    // In the chromosomes' own coordinates (before offset and mirroring), Start <= End.
    qint64 UpperStart = 0, UpperEnd = 0, LowerStart = 0, LowerEnd = 0;
    qint32 Anchors = 0;
    bool Inverted = false;
    double MeanIdentity = -1; // per cent; below 0 when no anchor has one
};

// One line per block of SyntenyBlocksOf for the same chart and catalogue.
std::vector<TBlockReportLine> BlockReport(const TChart &chart, const TCatalogue &catalogue,
                                          const std::vector<TSyntenyBlock> &blocks);
// The lines as tab-separated text, a heading line first.
QByteArray BlockReportText(const std::vector<TBlockReportLine> &lines);
