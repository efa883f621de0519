// Homologs computed from the loaded genes' proteins: MMseqs2 (the program `mmseqs`, Debian
// package mmseqs2) clusters them in a temporary folder, and its clusters become the groups; it
// then aligns the proteins the clusters join, for the identities of the links. Both are cached by
// the proteins' content and the thresholds, so that the same files load again without running
// it; an entry is used only when its checksum and its content check out.
#pragma once

#include "core/Homology.h"
#include "core/HomologyCache.h"

// Puts each record whose protein ids holds into the group of its MMseqs2 cluster (clusters of
// one protein are no group) and returns the group names, each the name of the cluster's first
// named gene in load order. Raises EHomologyError when no record has a protein, when mmseqs is
// missing (naming the package) or fails, or its table fails the check; nothing is cached then.
// MMseqs2 runs in a process group of its own (RunChildProgram): a progress that raises
// (ECancelled for the user's Cancel) ends it with every program it started.
tVectorOfString ClusterProteins(std::vector<tGene> &records, const TRecordIds &ids,
                                const THomologyThresholds &thresholds,
                                const THomologyProgress &progress);

// What FindProteinHomologs finds: the groups, as ClusterProteins gives them, and the identities
// of the links, for CatalogueFromRecords.
struct TProteinHomologs
{
    tVectorOfString Groups;
    std::vector<qint32> HitKeys;      // per record its own index when it is in a group, else -1
    QHash<quint64, float> Identities; // LinkIdentityKey of two hit keys: the best hit, per cent
};

// ClusterProteins, then MMseqs2 aligns each protein in a group with the others of its group, at
// most 300 of them ("Aligning N proteins with MMseqs2..."), and each pair keeps its best
// alignment's identity; a pair whose alignment fails the e-value has none. The alignment runs,
// fails and is cancelled as the clustering does, and is cached the same way, apart. A failed
// alignment fails the load (EHomologyError) but caches the clusters, checked whole before it
// ran; a cancel caches nothing.
TProteinHomologs FindProteinHomologs(std::vector<tGene> &records, const TRecordIds &ids,
                                     const THomologyThresholds &thresholds,
                                     const THomologyProgress &progress);

// Gives each record that has CDS parts but no protein yet the translation of its parts, with
// the standard genetic code, from the sequences ids holds.
void TranslateCdsParts(TRecordIds &ids);
