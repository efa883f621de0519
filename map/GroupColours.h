// Colours by group: each gene (with a homology source, each group) on two or more shown rows
// in a colour of its own from a categorical palette, a gene on one row light grey, and the
// colours a colour table sets for chosen genes.
#pragma once

#include "core/Catalogue.h"
#include "util/ColorOps.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <vector>

// A gene on one shown row only.
constexpr TColor kSingleRowColour = RGBToColor(217, 217, 217);

// The k-th colour of the categorical palette: thirty colours chosen to stay apart for readers
// with the common colour vision deficiencies where so many can (Paul Tol's bright, muted and
// light schemes and Okabe and Ito's), then the same again darker, then lighter, and so on.
TColor CategoricalColour(std::size_t k);

// Gene or group names (upper-cased, as the catalogue keeps them) and the colours chosen for them.
using TColourTable = QHash<QByteArray, TColor>;

// Reads a colour table: per line a gene or group name, then a colour as #rrggbb or a colour name
// (SVG's: "teal", "orange"), separated by a tab or spaces; blank lines and # comments are passed
// over. A broken line raises EInOutError "Error in the colour table at line N: ...".
TColourTable ReadColourTable(const QString &path);
TColourTable ParseColourTable(const QByteArray &text);

// Per gene of the list, the colour of colours by group over the checked chromosomes: genes on two
// or more of them take the palette's colours in list order, the others kSingleRowColour; a gene
// the table names takes the table's colour.
std::vector<TColor> GroupColours(const TCatalogue &catalogue,
                                 const std::vector<bool> &chromosomeChecked,
                                 const TColourTable &table);
