// Reading a captured pane as a person sees it: lines, display columns (East Asian wide
// characters take two), and the frame of a window found by its caption.
#pragma once

#include <string>
#include <vector>

namespace qb::test {

std::vector<std::string> paneLines(const std::string& text);

// Columns the UTF-8 text takes on the screen.
int displayWidth(const std::string& utf8);

// The character (UTF-8) shown at a display column of the line; "" past its end or on the
// second half of a wide character.
std::string charAtColumn(const std::string& line, int column);

// Where the window captioned `title` is, in cells (right and bottom inclusive: the frame).
struct FrameCells {
    int left = -1;
    int top = -1;
    int right = -1;
    int bottom = -1;
};

// Finds the window's top frame line by its caption, then follows its sides down to the
// bottom corners. `whole` is false when a side is broken anywhere (a character of the
// wrong width shifted it, or something was drawn over it).
FrameCells findFrame(const std::string& pane, const std::string& title, bool* whole);

} // namespace qb::test
