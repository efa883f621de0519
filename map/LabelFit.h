// Labels that fit: on a dense map the staggered label boxes cover the arrows and connectors of
// the rows above them. A map that shows only the labels that fit keeps those whose box covers
// no arrow and no other label kept, taking the chosen genes' labels first, then the longer
// records' first.
#pragma once

#include <QByteArray>
#include <QSet>

#include <vector>

class TChart;
struct TCatalogue;

// The texts the labels of the checked genes show (each record's own name), which a fit takes
// first; empty when every gene is checked, so that none goes before another.
QSet<QByteArray> ChosenLabels(const TCatalogue &catalogue, const std::vector<bool> &geneChecked);

// Per series and point, true for a label left out. The labels stand where the last layout put
// them; taken chosen ones first, then by the length of their record, longest first (ties: rows
// top down, left to right), each is kept when its box lies clear of every arrow of every row
// and of every label kept before it. A label not wholly inside the chart is left out; labels not
// placed are not looked at.
std::vector<std::vector<bool>> LabelsNotFitting(const TChart &chart,
                                                const QSet<QByteArray> &chosen);
