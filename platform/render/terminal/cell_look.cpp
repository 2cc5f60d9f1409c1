#include "platform/render/terminal/cell_look.h"

#include "qb/render.h"

namespace qb::render::terminal {

namespace {

// The terminal's bright black (grey) exists from 16 colours on.
constexpr short kGrey = 8;
constexpr int kColoursWithGrey = 16;
constexpr int kBasicColours = 8;

bool Has(uint16_t attr, uint16_t bit) {
    return (attr & bit) != 0;
}

CellLook ColourLook(uint16_t attr, bool grey) {
    CellLook look;
    bool active = Has(attr, kAttrActive);
    if (Has(attr, kAttrCaption)) {
        look.pair = active ? kPairCaptionActive : kPairCaptionInactive;
        if (active) look.attrs |= A_BOLD;
    } else if (Has(attr, kAttrFrame) && active) {
        look.pair = kPairFrameActive;
    }
    if (Has(attr, kAttrField) || Has(attr, kAttrMnemonic)) look.attrs |= A_UNDERLINE;
    if (Has(attr, kAttrProgress)) look.pair = kPairProgress;
    if (Has(attr, kAttrChecked)) {
        look.pair = kPairChecked;
        look.attrs |= A_BOLD;
    }
    if (Has(attr, kAttrDefault)) {
        look.pair = kPairDefaultButton;
        look.attrs |= A_BOLD;
    }
    if (Has(attr, kAttrFocused)) look.pair = kPairFocus;
    if (Has(attr, kAttrSelected)) {
        look.pair = kPairSelected;
        if (Has(attr, kAttrFocused)) look.attrs |= A_BOLD;
    }
    if (Has(attr, kAttrDisabled)) {
        look.pair = kPairDisabled;
        look.attrs &= ~A_BOLD;
        if (!grey) look.attrs |= A_DIM;
    }
    return look;
}

CellLook MonoLook(uint16_t attr) {
    CellLook look;
    bool active = Has(attr, kAttrActive);
    if (Has(attr, kAttrCaption))
        look.attrs |= A_REVERSE | (active ? A_BOLD : A_NORMAL);
    else if (Has(attr, kAttrFrame) && active)
        look.attrs |= A_BOLD;
    if (Has(attr, kAttrField) || Has(attr, kAttrMnemonic)) look.attrs |= A_UNDERLINE;
    if (Has(attr, kAttrProgress) || Has(attr, kAttrChecked) || Has(attr, kAttrDefault))
        look.attrs |= A_BOLD;
    if (Has(attr, kAttrFocused)) look.attrs |= A_REVERSE;
    if (Has(attr, kAttrSelected)) look.attrs |= A_REVERSE | (Has(attr, kAttrFocused) ? A_BOLD : 0);
    if (Has(attr, kAttrDisabled)) look.attrs = (look.attrs & ~(A_BOLD | A_REVERSE)) | A_DIM;
    return look;
}

} // namespace

Palette PaletteOfTerminal() {
    if (!has_colors() || COLORS < kBasicColours || COLOR_PAIRS < kPairCount)
        return Palette::kMonochrome;
    return COLORS >= kColoursWithGrey ? Palette::kSixteenColours : Palette::kEightColours;
}

CellLook LookOf(uint16_t attr, Palette palette) {
    CellLook look = palette == Palette::kMonochrome
                        ? MonoLook(attr)
                        : ColourLook(attr, palette == Palette::kSixteenColours);
    // The caret shows the cell under it the other way round, whatever it sits on.
    if (Has(attr, kAttrCaret)) look.attrs ^= A_REVERSE;
    return look;
}

void InitPalette(Palette palette) {
    if (palette == Palette::kMonochrome) return;
    // -1 is the terminal's own colour where use_default_colors() is supported.
    short background = use_default_colors() == OK ? -1 : COLOR_BLACK;
    short foreground = background == -1 ? -1 : COLOR_WHITE;
    short grey = palette == Palette::kSixteenColours ? kGrey : foreground;
    init_pair(kPairCaptionActive, COLOR_WHITE, COLOR_BLUE);
    init_pair(kPairCaptionInactive, COLOR_BLACK, COLOR_WHITE);
    init_pair(kPairFrameActive, COLOR_CYAN, background);
    init_pair(kPairFocus, COLOR_BLACK, COLOR_CYAN);
    init_pair(kPairDefaultButton, COLOR_YELLOW, background);
    init_pair(kPairChecked, COLOR_GREEN, background);
    init_pair(kPairSelected, COLOR_WHITE, COLOR_BLUE);
    init_pair(kPairProgress, COLOR_GREEN, background);
    init_pair(kPairDisabled, grey, background);
}

} // namespace qb::render::terminal
