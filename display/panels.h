// The panels that list the strategies or the colours (pool flags in random-
// pool mode, brush palette in paint mode), and the colour-layout icon.
#pragma once

#include "grid_view.h"

namespace talvane {

// Colours of a row's name when neither hovered nor excluded, and when
// excluded from the random pool.
inline constexpr Rgb kRowNameColor{1.0f, 1.0f, 0.9f};
inline constexpr Rgb kExcludedRowColor{0.25f, 0.25f, 0.25f};
// The layout icon's plate.
inline constexpr Rgb kIconPlateColor{0.8f, 0.8f, 0.8f};

// Self and others panels in strategy view, the colour panel in colour view.
void drawPanels(const FrameDescription& frame);
// "self strategies": eight rows in the left column, marks selfExcluded.
void drawSelfPanel(const FrameDescription& frame);
// "others strategies": eight rows in the right column, marks otherExcluded.
void drawOthersPanel(const FrameDescription& frame);
// "colors (ethnicity)": three rows in the left column, marks selfExcluded.
void drawColorPanel(const FrameDescription& frame);

// A 4 x 4 preview of colorLayout on a grey plate at 627..654 x 455..481.
void drawLayoutIcon(const FrameDescription& frame);

}  // namespace talvane
