// Synteny blocks: the links between two rows chained into runs of collinear anchors, positions
// rising together on both rows (direct) or rising on one while falling on the other (inverted).
// Plain data, no widgets: the map hands in its links as anchors (map/BlockReport).
//
// The chaining is MCScanX's: a dynamic programme over the anchors in upper order, where an
// anchor scores one plus the best score of an anchor before it that it may follow, less a gap
// penalty that grows with the distance between them (half an anchor at the longest gap
// allowed). Two anchors follow each other only when both rows rise (or, for an inverted chain,
// the lower row falls) and neither row has more than the gap allowed between them: for gene
// links, the genes between them along the row (whatever they link to), for aligned stretches
// the bases between them. As MCScanX does, the look-back is bounded (at most kBlockLookBack
// anchors, and never past the gap allowed on the upper row), so one pass costs O(n * window).
// The chains are then taken best score first, each anchor in one block at most. A chain that
// runs into an anchor a block took in the same round waits, with the whole of its way, for the
// next round, which chains the anchors left again (up to eight rounds), so that it goes round
// that anchor rather than falling apart at it. Gene links and aligned stretches are chained
// apart, each with its own gap; an aligned stretch joins only chains of its own orientation,
// while a gene link joins a chain whichever way its two genes run, except that a chain whose
// links mostly run its way does not end on one that runs the other way.
#pragma once

#include <QtGlobal>

#include <vector>

// One link between the two rows.
struct TSyntenyAnchor
{
    // The rank of each end among the genes of its row, 0 for the first; -1 for an aligned
    // stretch, whose gaps are measured in bases.
    qint64 UpperRank = -1, LowerRank = -1;
    // Where the ends lie along the rows, Start <= End.
    double UpperStart = 0, UpperEnd = 0, LowerStart = 0, LowerEnd = 0;
    bool Inverted = false; // the two ends run opposite ways
    float Identity = -1;   // per cent, below 0 when unknown
    bool Stretch() const { return UpperRank < 0 || LowerRank < 0; }
};

struct TBlockOptions
{
    qint32 MaxGap = 5;           // genes between two anchors of a block, on either row
    qint64 MaxGapLength = 20000; // bases between two aligned stretches of a block, on either row
    qint32 MinAnchors = 3;       // the fewest anchors a block has; 2 at least
};

// What the command line accepts.
constexpr qint32 kMaxBlockGap = 1000;
constexpr qint32 kMaxBlockMin = 1000000;
// How many anchors back in upper order the chaining looks for the one an anchor follows.
constexpr int kBlockLookBack = 64;

struct TSyntenyBlock
{
    qint32 Upper = 0, Lower = 0; // the two rows
    // The stretch the block covers on each row, Start <= End, in the anchors' coordinates.
    double UpperStart = 0, UpperEnd = 0, LowerStart = 0, LowerEnd = 0;
    qint32 AnchorCount = 0;
    bool Inverted = false;
    float Identity = -1;         // the mean of its anchors' identities, below 0 when none has one
    std::vector<qint32> Anchors; // indices into the anchors given, in upper order
};

// The blocks of the anchors between rows upper and lower, by where they start on the upper row.
std::vector<TSyntenyBlock> ChainSyntenyBlocks(qint32 upper, qint32 lower,
                                              const std::vector<TSyntenyAnchor> &anchors,
                                              const TBlockOptions &options);
