#include "core/SyntenyBlocks.h"

#include <algorithm>
#include <tuple>

namespace {
// What a step to the next anchor costs at the longest gap allowed, in anchors: a chain always
// gains by one more anchor, and of two ways to reach an anchor the closer one wins.
constexpr double kGapPenalty = 0.5;

// The chaining of one kind of anchor (gene links or aligned stretches) in one orientation.
struct TPass
{
    bool Inverted = false;
    std::vector<qint32> Order;    // the anchors in upper order
    std::vector<double> Score;    // per place in Order, the best chain ending there
    std::vector<qint32> Previous; // the place in Order of the anchor before it, or -1
};

// What lies between anchor a and a later anchor b along one row: genes for gene links (the
// difference of their ranks less one), bases for stretches (0 when they overlap). Below 0 when
// b does not come after a on that row, which for an inverted chain's lower row means before.
double UpperGap(const TSyntenyAnchor &a, const TSyntenyAnchor &b, bool stretches)
{
    if (!stretches)
        return double(b.UpperRank - a.UpperRank - 1);
    if (!(b.UpperStart > a.UpperStart && b.UpperEnd > a.UpperEnd))
        return -1;
    return std::max(0.0, b.UpperStart - a.UpperEnd - 1);
}

double LowerGap(const TSyntenyAnchor &a, const TSyntenyAnchor &b, bool stretches, bool inverted)
{
    if (!stretches)
        return double(inverted ? a.LowerRank - b.LowerRank - 1 : b.LowerRank - a.LowerRank - 1);
    if (inverted) {
        if (!(b.LowerStart < a.LowerStart && b.LowerEnd < a.LowerEnd))
            return -1;
        return std::max(0.0, a.LowerStart - b.LowerEnd - 1);
    }
    if (!(b.LowerStart > a.LowerStart && b.LowerEnd > a.LowerEnd))
        return -1;
    return std::max(0.0, b.LowerStart - a.LowerEnd - 1);
}

// The best chain ending at each anchor of the pass, looking back at most kBlockLookBack anchors
// and never past the gap allowed on the upper row, which the upper order makes a stop.
void Score(const std::vector<TSyntenyAnchor> &anchors, bool stretches, double limit, TPass &pass)
{
    const std::vector<qint32> &order = pass.Order;
    const auto n = qint32(order.size());
    double longest = 0; // the longest stretch on the upper row: how far back one may still end
    if (stretches)
        for (const qint32 i : order)
            longest = std::max(longest, anchors[std::size_t(i)].UpperEnd -
                                            anchors[std::size_t(i)].UpperStart);
    const double scale = kGapPenalty / std::max(limit, 1.0);
    pass.Score.assign(std::size_t(n), 1);
    pass.Previous.assign(std::size_t(n), -1);
    for (qint32 k = 0; k < n; ++k) {
        const TSyntenyAnchor &b = anchors[std::size_t(order[std::size_t(k)])];
        double &best = pass.Score[std::size_t(k)];
        for (qint32 j = k - 1; j >= std::max(0, k - kBlockLookBack); --j) {
            const TSyntenyAnchor &a = anchors[std::size_t(order[std::size_t(j)])];
            const double up = UpperGap(a, b, stretches);
            if (stretches ? b.UpperStart - a.UpperStart - longest - 1 > limit : up > limit)
                break;
            if (up < 0 || up > limit)
                continue;
            const double down = LowerGap(a, b, stretches, pass.Inverted);
            if (down < 0 || down > limit)
                continue;
            const double score = pass.Score[std::size_t(j)] + 1 - scale * std::max(up, down);
            if (score > best) {
                best = score;
                pass.Previous[std::size_t(k)] = j;
            }
        }
    }
}

TSyntenyBlock BlockOf(qint32 upper, qint32 lower, const std::vector<TSyntenyAnchor> &anchors,
                      std::vector<qint32> chain, bool inverted)
{
    TSyntenyBlock block;
    block.Upper = upper;
    block.Lower = lower;
    block.Inverted = inverted;
    block.AnchorCount = qint32(chain.size());
    const TSyntenyAnchor &first = anchors[std::size_t(chain.front())];
    block.UpperStart = first.UpperStart;
    block.UpperEnd = first.UpperEnd;
    block.LowerStart = first.LowerStart;
    block.LowerEnd = first.LowerEnd;
    double identities = 0;
    int measured = 0;
    for (const qint32 i : chain) {
        const TSyntenyAnchor &a = anchors[std::size_t(i)];
        block.UpperStart = std::min(block.UpperStart, a.UpperStart);
        block.UpperEnd = std::max(block.UpperEnd, a.UpperEnd);
        block.LowerStart = std::min(block.LowerStart, a.LowerStart);
        block.LowerEnd = std::max(block.LowerEnd, a.LowerEnd);
        if (a.Identity >= 0) {
            identities += a.Identity;
            ++measured;
        }
    }
    if (measured > 0)
        block.Identity = float(identities / measured);
    block.Anchors = std::move(chain);
    return block;
}

// A chain (in upper order) without the links at either end that run against it, when most of
// its links run with it: where the genes' strands tell the orientation, a chain that reached
// past its last gene into the first of the next block, turned the other way, gives it back.
void TrimAgainst(std::vector<qint32> &chain, const std::vector<TSyntenyAnchor> &anchors,
                 bool inverted)
{
    const auto against = [&](qint32 i) { return anchors[std::size_t(i)].Inverted != inverted; };
    const auto with =
        std::count_if(chain.begin(), chain.end(), [&](qint32 i) { return !against(i); });
    if (2 * std::size_t(with) <= chain.size())
        return;
    while (against(chain.back()))
        chain.pop_back();
    const auto first = std::find_if_not(chain.begin(), chain.end(), against);
    chain.erase(chain.begin(), first);
}

// What becomes of an anchor while the chains are taken.
enum : char
{
    kFree,
    kTaken,   // in a block
    kDeferred // on a chain cut short by a block taken this round: chained again next round
};

// The blocks of the anchors of one kind (indices into anchors), added to blocks; state marks
// the anchors taken. Chains are taken best score first. One that runs into an anchor a block of
// the same round took would be cut there, leaving the rest of it to be split into pieces (its
// best way went through that anchor, not round it): it waits, with every chain that runs into
// it, for the next round, which chains the anchors left over again. The last round takes chains
// as they are cut.
void ChainKind(qint32 upper, qint32 lower, const std::vector<TSyntenyAnchor> &anchors,
               std::vector<qint32> kind, bool stretches, const TBlockOptions &options,
               std::vector<char> &state, std::vector<TSyntenyBlock> &blocks)
{
    constexpr int kRounds = 8;
    const auto upperOrder = [&](qint32 x, qint32 y) {
        const TSyntenyAnchor &a = anchors[std::size_t(x)], &b = anchors[std::size_t(y)];
        if (stretches)
            return std::tie(a.UpperStart, a.UpperEnd, a.LowerStart, x) <
                   std::tie(b.UpperStart, b.UpperEnd, b.LowerStart, y);
        return std::tie(a.UpperRank, a.LowerRank, x) < std::tie(b.UpperRank, b.LowerRank, y);
    };
    std::sort(kind.begin(), kind.end(), upperOrder);
    const double limit = stretches ? double(options.MaxGapLength) : double(options.MaxGap);
    const qint32 fewest = std::max(2, options.MinAnchors);
    // A chain of c anchors scores at least 1 + (c - 1) / 2: ends that score less cannot end one
    // long enough.
    const double least = 1 + (fewest - 1) * (1 - kGapPenalty) - 1e-9;
    struct TEnd
    {
        double Score;
        int Pass;
        qint32 At;
    };
    std::vector<TEnd> ends;
    std::vector<qint32> chain;
    for (int round = 0; round < kRounds && !kind.empty(); ++round) {
        TPass passes[2];
        for (int p = 0; p < 2; ++p) {
            TPass &pass = passes[p];
            pass.Inverted = p == 1;
            for (const qint32 i : kind)
                if (!stretches || anchors[std::size_t(i)].Inverted == pass.Inverted)
                    pass.Order.push_back(i);
            Score(anchors, stretches, limit, pass);
        }
        ends.clear();
        for (int p = 0; p < 2; ++p)
            for (std::size_t k = 0; k < passes[p].Score.size(); ++k)
                if (passes[p].Score[k] >= least)
                    ends.push_back({passes[p].Score[k], p, qint32(k)});
        std::sort(ends.begin(), ends.end(), [](const TEnd &a, const TEnd &b) {
            return std::tie(b.Score, a.Pass, a.At) < std::tie(a.Score, b.Pass, b.At);
        });
        const bool last = round == kRounds - 1;
        bool deferred = false;
        for (const TEnd &end : ends) {
            const TPass &pass = passes[end.Pass];
            chain.clear();
            qint32 k = end.At;
            for (; k >= 0 && state[std::size_t(pass.Order[std::size_t(k)])] == kFree;
                 k = pass.Previous[std::size_t(k)])
                chain.push_back(pass.Order[std::size_t(k)]);
            if (chain.empty())
                continue; // within a block already
            if (k >= 0 && !last) {
                // The whole of its way waits, before the anchor taken too.
                for (const qint32 i : chain)
                    state[std::size_t(i)] = kDeferred;
                for (; k >= 0; k = pass.Previous[std::size_t(k)])
                    if (char &at = state[std::size_t(pass.Order[std::size_t(k)])]; at == kFree)
                        at = kDeferred;
                deferred = true;
                continue;
            }
            std::reverse(chain.begin(), chain.end());
            TrimAgainst(chain, anchors, pass.Inverted);
            if (qint32(chain.size()) < fewest)
                continue;
            for (const qint32 i : chain)
                state[std::size_t(i)] = kTaken;
            blocks.push_back(BlockOf(upper, lower, anchors, chain, pass.Inverted));
        }
        if (!deferred)
            break;
        // The anchors left, still in upper order.
        std::erase_if(kind, [&](qint32 i) { return state[std::size_t(i)] == kTaken; });
        for (const qint32 i : kind)
            state[std::size_t(i)] = kFree;
    }
}
} // namespace

std::vector<TSyntenyBlock> ChainSyntenyBlocks(qint32 upper, qint32 lower,
                                              const std::vector<TSyntenyAnchor> &anchors,
                                              const TBlockOptions &options)
{
    std::vector<qint32> genes, stretches;
    for (std::size_t i = 0; i < anchors.size(); ++i)
        (anchors[i].Stretch() ? stretches : genes).push_back(qint32(i));
    std::vector<char> state(anchors.size(), kFree);
    std::vector<TSyntenyBlock> blocks;
    ChainKind(upper, lower, anchors, std::move(genes), false, options, state, blocks);
    ChainKind(upper, lower, anchors, std::move(stretches), true, options, state, blocks);
    std::sort(blocks.begin(), blocks.end(), [](const TSyntenyBlock &a, const TSyntenyBlock &b) {
        return std::tie(a.UpperStart, a.LowerStart, a.UpperEnd) <
               std::tie(b.UpperStart, b.LowerStart, b.UpperEnd);
    });
    return blocks;
}
