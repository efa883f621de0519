// The row report: for each shown row of the map, how it stands (orientation, offset) and how
// well it links to the row above (shared genes, the coefficient Disentangle judged it by and the
// crossings of the connectors between the two rows), so that a user sees what Disentangle did
// and why. A plain function of the catalogue and the rows on the chart.
#pragma once

#include "core/Catalogue.h"
#include "map/Ribbons.h"

#include <QByteArray>
#include <QString>

#include <span>
#include <utility>
#include <vector>

class TChart;

// A count of crossings: two rows of n records each named alike cross C(n, 2)^2 times, past 64
// bits from n of about 65,000 on; 128 bits hold any count of links records can make.
__extension__ typedef unsigned __int128 tCrossings;
// The count in decimal digits.
QByteArray CrossingsText(tCrossings count);

struct TRowReportLine
{
    QString Name;
    qint32 Row = 0; // 1 at the top
    bool Inverted = false;
    qint32 Offset = 0;
    qint64 Records = 0;
    qint64 SharedGenes = 0;   // gene names also on the row above
    double Spearman = 0;      // against the chromosome before it in the list; NaN for the first
    tCrossings Crossings = 0; // pairs of connectors from the row above whose ends cross
    qint64 Ribbons = 0;       // ribbons from the rows above (gene links and aligned stretches)
    double MeanIdentity = -1; // theirs, in per cent; below 0 when none has an identity
};

// One line per row series of the chart, top down; the ribbons as TRibbons gives them for the
// chart (with the map's aligned stretches, when given).
std::vector<TRowReportLine> RowReport(const TCatalogue &catalogue, const TChart &chart,
                                      const std::vector<TRegionAlignment> &stretches = {});
// The lines as tab-separated text, a heading line first.
QByteArray RowReportText(const std::vector<TRowReportLine> &lines);
// A name as one field of a tab-separated line, in UTF-8: a tab or line break in it, which would
// split its line, becomes a space.
QByteArray ReportField(QString name);
// Pairs of segments, each given by its (upper, lower) ends, whose ends run in opposite order:
// one is left of the other above and right of it below. Equal ends do not cross.
tCrossings CountCrossings(std::vector<std::pair<double, double>> ends);
// The links between an upper and a lower row by the map positions of their ends: single links,
// and each name that joins many upper points to many lower ones kept as its two sorted lists.
struct TRowLinks
{
    struct TProduct
    {
        std::vector<double> Upper, Lower;
    };
    std::vector<std::pair<double, double>> Links;
    std::vector<TProduct> Products;
    // Every one of upper joined to every one of lower, as the connectors of one name join them.
    void Join(std::span<const double> upper, std::span<const double> lower);
};
// Pairs of the links that cross, a product's k x m links counted from its two lists.
tCrossings LinkCrossings(TRowLinks links);
// Per row series (index as on the chart), the crossings among the connectors from the row right
// above, by the points' map positions; 0 for the template and the top row.
std::vector<tCrossings> ConnectorCrossings(const TChart &chart);
// Their sum over the rows: the report's total.
tCrossings TotalConnectorCrossings(const TChart &chart);
