// The row order with the fewest connector crossings ("Operations > Order rows", --order auto):
// the crossings of every two shown rows counted as if they stood next to each other, and the
// order of the rows whose neighbours' counts sum least, every row keeping its orientation and
// offset. Since the row report counts only the connectors between neighbours, that sum is the
// report's total crossings in the new order.
#pragma once

#include "core/Catalogue.h"
#include "map/RowReport.h"

#include <QString>

#include <vector>

class TChart;

// The crossings of every two rows as if adjacent: the links between the points of the names both
// carry, each joining all of one row's points of a name to all of the other's.
struct TCrossingMatrix
{
    qint32 Rows = 0;
    std::vector<tCrossings> Counts; // Rows x Rows, symmetric, 0 on the diagonal

    tCrossings At(qint32 i, qint32 j) const
    {
        return Counts[std::size_t(i) * std::size_t(Rows) + std::size_t(j)];
    }
};
// Of the chart's row series top down (series s is row s - 1), by their points' link keys and map
// positions, as ConnectorCrossings counts them.
TCrossingMatrix PairwiseCrossings(const TChart &chart);

// The sum of the crossings of each two rows next to each other in order.
tCrossings PathCrossings(const TCrossingMatrix &matrix, const std::vector<qint32> &order);

// Up to this many rows the order is the best of all orders.
constexpr qint32 kExactOrderRows = 10;
// An order of rows 0..Rows-1 with the least PathCrossings. Up to exactRows rows (at most 20) the
// best of all, ties to the order that comes first (compared row by row); beyond, a search: the
// list order and nearest-neighbour orders from spread starting rows, each improved by reversing
// stretches (2-opt) and moving runs of rows elsewhere, turned or not (or-opt), until no move
// lowers the sum, then the best kicked (a short stretch shuffled) and improved again; the
// lowest found, ties as above. The same matrix always gives the same order.
std::vector<qint32> LeastCrossingOrder(const TCrossingMatrix &matrix,
                                       qint32 exactRows = kExactOrderRows);

// Past this many rows the command refuses (ERowOrderError): the matrix grows with the square of
// the rows and the search with their cube.
constexpr qint32 kMostOrderRows = 1000;
class ERowOrderError : public Exception
{
public:
    using Exception::Exception;
};

struct TRowOrder
{
    // The new list as OrderChromosomes takes it: the old item of each new one. The shown rows
    // take one another's places; the other items stay where they are.
    std::vector<qint32> Items;
    tCrossings Crossings = 0; // the sum over neighbouring rows in the new order
    bool Exact = false;       // the best of all orders (not the search's)
};
// The order of the chart's rows with the fewest crossings between neighbours; ERowOrderError
// past kMostOrderRows rows.
TRowOrder FewestCrossingsOrder(const TCatalogue &catalogue, const TChart &chart);

// What "Order rows" did: the row report's total crossings before and after, and the new list.
struct TRowOrderReport
{
    tCrossings Before = 0;
    tCrossings After = 0;
    std::vector<qint32> Items; // the old item of each new one
    // "Order: crossings 1234 before, 56 after"
    QString Text() const;
};
