// The display switches of the View menu as one value, read from the menu's check marks whenever
// the map is built, laid out or drawn, and the in-place effect of each switch on the chart.
#pragma once

#include "core/SyntenyBlocks.h"

class TChart;

// How links between rows are drawn, once "&Connectors" is on.
enum class TLinkStyle
{
    Connectors, // black broken lines from label to label
    Ribbons,    // bands from arrow span to arrow span, as blocks where genes are too narrow
    Blocks      // each synteny block as one band, the links outside blocks as ribbons
};
enum class TRibbonShape
{
    Straight,
    Curved // cubic sides
};
// What a ribbon's colour says.
enum class TLinkColours
{
    Identity, // red direct, blue inverted, lighter the lower the identity
    Grey,     // one grey scale of identity
    Black
};

struct TViewOptions
{
    bool GeneName = true;                          // "&Gene name"
    bool LinkGenes = true;                         // "&Connectors"
    bool HideGenes = false;                        // "&Hide unchecked genes"
    bool Grid = true;                              // "G&rid"
    bool FirstLineNames = false;                   // "&Names only on 1st line"
    bool FrameGeneName = true;                     // "&Frame gene names"
    bool FrameArrows = true;                       // "Frame &arrows"
    TLinkStyle LinkStyle = TLinkStyle::Connectors; // "Ribbons"
    TRibbonShape RibbonShape = TRibbonShape::Straight;
    TLinkColours LinkColours = TLinkColours::Identity;
    bool ColourByGroup = false; // "Colour by group": each shared gene or group its own colour
    bool RowScales = false;     // "Row scales": each row's own coordinates under it
    bool Axis = true;           // the shared bottom axis
    TBlockOptions Blocks;       // how links chain into synteny blocks
};

// Effects on all series, the template included, so that later rows inherit them.
void ApplyGeneName(TChart &chart, bool checked);
void ApplyGrid(TChart &chart, bool checked);
void ApplyFrameGeneName(TChart &chart, bool checked);
void ApplyFrameArrows(TChart &chart, bool checked);
void ApplyAxis(TChart &chart, bool shown);

// Gives the chart the settings of the map's chart form and the template series 0.
void SetupMapChart(TChart &chart);
