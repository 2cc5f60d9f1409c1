// When the terminal is too small for the windows, and the one line that says so.
#include "platform/render/terminal/size_notice.h"

#include <gtest/gtest.h>

namespace qb::render::terminal {
namespace {

TEST(SizeNotice, TooSmallWhenEitherSideIsShort) {
    const struct {
        int columns, rows;
        bool tooSmall;
    } cases[] = {{36, 14, false}, {35, 14, true}, {36, 13, true}, {200, 60, false}, {1, 1, true}};
    for (const auto& c : cases) {
        Screen screen;
        screen.columns = c.columns;
        screen.rows = c.rows;
        screen.neededColumns = 36;
        screen.neededRows = 14;
        EXPECT_EQ(TooSmall(screen), c.tooSmall) << c.columns << "x" << c.rows;
    }
    EXPECT_FALSE(TooSmall(Screen{})); // no window shown needs nothing
}

TEST(SizeNotice, SaysWhatIsNeededInTheSystemLanguage) {
    Screen screen;
    screen.neededColumns = 36;
    screen.neededRows = 14;
    EXPECT_EQ(SizeNotice(screen, false), U"Terminal too small (36x14)");
    EXPECT_EQ(SizeNotice(screen, true), U"端末が小さすぎます (36x14)");
}

// A narrow terminal gets a shorter wording, whole, never one cut inside a word.
TEST(SizeNotice, ShorterWordingsWhereTheFullOneDoesNotFit) {
    const struct {
        int columns;
        bool japanese;
        const char32_t* notice;
    } cases[] = {
        {26, false, U"Terminal too small (36x14)"},
        {25, false, U"Too small (36x14)"},
        {20, false, U"Too small (36x14)"},
        {16, false, U"(36x14)"},
        {3, false, U"(36x14)"},
        {26, true, U"端末が小さすぎます (36x14)"},
        {25, true, U"小さすぎます (36x14)"},
        {20, true, U"小さすぎます (36x14)"},
        {19, true, U"(36x14)"},
    };
    for (const auto& c : cases) {
        Screen screen;
        screen.columns = c.columns;
        screen.rows = 10;
        screen.neededColumns = 36;
        screen.neededRows = 14;
        EXPECT_EQ(SizeNotice(screen, c.japanese), c.notice) << c.columns << " " << c.japanese;
    }
}

} // namespace
} // namespace qb::render::terminal
