// A tree in Newick form whose leaves name rows: read from a file, matched to the chromosomes of
// the map (a row's name, its name without the genome prefix, or the stem of the file whose rows
// it stands for). Plain data, no widgets.
#pragma once

#include "core/Catalogue.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// A tree file that cannot be read: "Error in the tree file at character N: ...".
class ETreeError : public EInOutError
{
public:
    using EInOutError::EInOutError;
};

struct TTreeNode
{
    QString Name;
    double Length = -1; // of the branch above it; below 0 when the file gives none
    qint32 Parent = -1;
    std::vector<qint32> Children;
};

struct TNewickTree
{
    std::vector<TTreeNode> Nodes; // the root first
    bool HasLengths = false;      // some branch has a length
    // The leaves, left to right as the file writes them.
    std::vector<qint32> Leaves() const;
};

TNewickTree ParseNewick(const QByteArray &text);
TNewickTree ReadNewickFile(const QString &path);

// Where the leaves stand among the rows: per leaf (in Leaves() order) the chromosomes it names,
// in list order; and the names of the leaves naming no row and of the rows no leaf names.
struct TTreeRows
{
    std::vector<std::vector<qint32>> OfLeaf;
    // The same chromosomes by name, which stay right when the list is reordered.
    std::vector<std::vector<QByteArray>> NamesOfLeaf;
    QStringList UnmatchedLeaves;
    QStringList UnmatchedRows;
    // One line for the user; empty when every leaf and row is matched.
    QString Text() const;
};
// fileStems: per chromosome, the stem of the file it was read from (empty when unknown).
TTreeRows MatchTreeRows(const TNewickTree &tree, const TCatalogue &catalogue,
                        const std::vector<QString> &fileStems);
