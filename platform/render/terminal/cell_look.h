// How a cell's attributes look in the terminal: a small palette where the terminal has
// colours, plain attributes (reverse, bold, underline, dim) where it has not. Each state a
// person must see at a glance (focus, default button, disabled, checked, selection, caret,
// progress fill, active window) looks different from the plain cell it sits on.
#pragma once

#include <curses.h>

#include <cstdint>

namespace qb::render::terminal {

// The colour pairs of the palette (ncurses pair numbers; 0 is the terminal's own colours).
enum ColourPair : short {
    kPairPlain = 0,
    kPairCaptionActive = 1,
    kPairCaptionInactive,
    kPairFrameActive,
    kPairFocus,
    kPairDefaultButton,
    kPairChecked,
    kPairSelected,
    kPairProgress,
    kPairDisabled,
    kPairCount,
};

struct CellLook {
    attr_t attrs = A_NORMAL;
    short pair = kPairPlain;
    bool operator==(const CellLook&) const = default;
};

// What the terminal can show.
enum class Palette {
    kMonochrome,     // attributes only
    kEightColours,   // colours; disabled text is dim
    kSixteenColours, // colours with a grey for disabled text
};

// The palette of the terminal ncurses runs on (after start_color()).
Palette PaletteOfTerminal();

// The look of a cell with these qb::render::CellAttr bits.
CellLook LookOf(uint16_t cellAttr, Palette palette);

// Defines the palette's pairs; after start_color(), only when the terminal has colours.
void InitPalette(Palette palette);

} // namespace qb::render::terminal
