// The one line shown instead of the windows when the terminal is smaller than they need.
#pragma once

#include <string>

#include "qb/render.h"

namespace qb::render::terminal {

// Whether the screen is too small to show every visible window whole.
bool TooSmall(const Screen& screen);

// The language of the system's texts: the rule of qb/language.h, as the program's.
bool SystemIsJapanese();

// "Terminal too small (36x14)": the size needed (in Japanese when `japanese`); shorter
// wordings where the screen's columns hold less, so that no word is cut.
std::u32string SizeNotice(const Screen& screen, bool japanese);

} // namespace qb::render::terminal
