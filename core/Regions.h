// Parts of chromosomes shown on their own: the records of a catalogue that lie in given regions
// (a figure of one stretch of each genome), and the regions around one gene on every chromosome
// that carries it (a gene-cluster figure).
#pragma once

#include "core/Catalogue.h"

#include <QByteArray>

#include <vector>

// A region the catalogue cannot show.
class ERegionError : public Exception
{
public:
    using Exception::Exception;
};

struct TRegion
{
    QByteArray Chromosome; // as shown in the chromosome list
    qint64 From = 0;
    qint64 To = 0; // From <= To, coordinates of the file
};

// A new catalogue of the records that overlap one of the regions, their chromosomes in the
// catalogue's order, each cut to the part inside the regions (a record reaching over two regions
// apart keeps a part in each, the later a repeat); the gene lists and counts are those of the
// records kept. Two or more regions apart on one chromosome are drawn side by side, a break of
// a few per cent of the longest row between them (ChromosomeView::Stretches); the records keep
// the file's coordinates. Linear in the records, the regions sorted once per chromosome. Raises
// ERegionError naming a region whose chromosome is not in the catalogue, or that holds no
// record.
TCatalogue CatalogueOfRegions(const TCatalogue &catalogue, const std::vector<TRegion> &regions);
// For each chromosome that carries gene g, the region from flank bases before its first record
// of g to flank bases after it, in list order.
std::vector<TRegion> RegionsAround(const TCatalogue &catalogue, qint32 g, qint64 flank);
