// Questions to the terminfo database, kept apart because <term.h> defines capability names
// (columns, lines, buttons ...) as macros that would break any other header.
#pragma once

#include <cstddef>

namespace qb::render::terminal {

// True when `type` (a TERM value) is a terminal the screen can be shown on: known to
// terminfo, with cursor addressing, not a generic ("dumb") or hard-copy one. Reads the
// description only; nothing is written to the terminal.
bool UsableTerminalType(const char* type, int outputFd);

// The bytes that give the terminal ncurses now runs on back as it was (attributes off,
// mouse off, bracketed paste off, keypad off, cursor shown, normal screen); at most `capacity` of
// them.
size_t TerminalLeaveBytes(char* out, size_t capacity);

} // namespace qb::render::terminal
