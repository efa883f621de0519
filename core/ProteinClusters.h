// Homologs computed from the loaded genes' proteins: MMseqs2 (the program `mmseqs`, Debian
// package mmseqs2) clusters them in a temporary folder, and its clusters become the groups. The
// clusters are cached by the proteins' content and the thresholds, so that the same files load
// again without running it; an entry is used only when its checksum and its clusters check out.
#pragma once

#include "core/Homology.h"

// Puts each record whose protein ids holds into the group of its MMseqs2 cluster (clusters of
// one protein are no group) and returns the group names, each the name of the cluster's first
// named gene in load order. Raises EHomologyError when no record has a protein, when mmseqs is
// missing (naming the package) or fails, or its table fails the check; nothing is cached then.
// MMseqs2 runs in a process group of its own (RunChildProgram): a progress that raises
// (ECancelled for the user's Cancel) ends it with every program it started.
tVectorOfString ClusterProteins(std::vector<tGene> &records, const TRecordIds &ids,
                                const THomologyThresholds &thresholds,
                                const THomologyProgress &progress);

// Gives each record that has CDS parts but no protein yet the translation of its parts, with
// the standard genetic code, from the sequences ids holds.
void TranslateCdsParts(TRecordIds &ids);

// Where the clusters are cached: $XDG_CACHE_HOME/ostrinel, else ~/.cache/ostrinel.
QString HomologyCacheFolder();
