// Every state a person must tell at a glance looks different from the cell it sits on, in
// colour and in monochrome.
#include "platform/render/terminal/cell_look.h"

#include <gtest/gtest.h>

#include "qb/render.h"

namespace qb::render::terminal {
namespace {

struct Contrast {
    const char* what;
    uint16_t plain; // the cell without the state
    uint16_t with;  // the same cell with it
};

const Contrast kContrasts[] = {
    {"focused button", kAttrNone, kAttrFocused},
    {"default button", kAttrNone, kAttrDefault},
    {"focused default button", kAttrDefault, kAttrDefault | kAttrFocused},
    {"disabled control", kAttrNone, kAttrDisabled},
    {"disabled default button", kAttrDefault, kAttrDefault | kAttrDisabled},
    {"check mark", kAttrNone, kAttrChecked},
    {"selected tree item", kAttrNone, kAttrSelected},
    {"selected item with focus", kAttrSelected, kAttrSelected | kAttrFocused},
    {"progress fill", kAttrNone, kAttrProgress},
    {"edit field", kAttrNone, kAttrField},
    {"caret in a field", kAttrField, kAttrField | kAttrCaret},
    {"caret in a focused field", kAttrField | kAttrFocused, kAttrField | kAttrFocused | kAttrCaret},
    {"caret on selected text", kAttrField | kAttrSelected, kAttrField | kAttrSelected | kAttrCaret},
    {"caption", kAttrNone, kAttrFrame | kAttrCaption},
    {"active caption", kAttrFrame | kAttrCaption, kAttrFrame | kAttrCaption | kAttrActive},
    {"active frame", kAttrFrame, kAttrFrame | kAttrActive},
    {"accelerator letter", kAttrNone, kAttrMnemonic},
    {"accelerator of a focused button", kAttrFocused, kAttrFocused | kAttrMnemonic},
    {"accelerator of a disabled button", kAttrDisabled, kAttrDisabled | kAttrMnemonic},
};

TEST(CellLookTest, EveryStateStandsOutFromItsCell) {
    for (Palette palette :
         {Palette::kMonochrome, Palette::kEightColours, Palette::kSixteenColours}) {
        for (const Contrast& c : kContrasts) {
            EXPECT_NE(LookOf(c.plain, palette), LookOf(c.with, palette))
                << c.what << " in palette " << static_cast<int>(palette);
        }
    }
}

TEST(CellLookTest, MonochromeUsesNoColourAndPlainCellsAreTheTerminalsOwn) {
    for (uint16_t attr = 0; attr < (kAttrMnemonic << 1); ++attr)
        ASSERT_EQ(LookOf(attr, Palette::kMonochrome).pair, kPairPlain) << attr;
    EXPECT_EQ(LookOf(kAttrNone, Palette::kEightColours), CellLook{});
    EXPECT_EQ(LookOf(kAttrWideTail, Palette::kSixteenColours), CellLook{});
}

} // namespace
} // namespace qb::render::terminal
