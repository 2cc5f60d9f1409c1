// Turns what ncurses read from the terminal (wget_wch results and mouse events) into the
// input of qb/render.h. Pure: the reading is done elsewhere, so this is tested alone.
//
//  - printable characters become text (runs of them one FeedText), a space the Space key;
//  - Tab, Shift+Tab, Enter, Escape, Backspace (KEY_BACKSPACE, DEL and BS), Delete, arrows,
//    Home/End and PageUp/PageDown become keys (with Shift where the terminal tells it);
//  - Escape followed at once by a printable character is Alt with that character, as a
//    terminal sends Alt+letter; an Escape with nothing after it (ncurses has already waited
//    its short ESCDELAY) is the Escape key;
//  - Ctrl+letter becomes that letter with Ctrl (the window layer makes the control code);
//  - a left press or click becomes a click at its cell; KEY_RESIZE a size check;
//  - what the terminal marks as pasted (bracketed paste) is one paste of text: its first line
//    only, spaces as text, control characters and keys inside it dropped, so that a pasted
//    newline or space never acts as Enter or Space. A paste may span several reads.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "qb/render.h"

namespace qb::render::terminal {

struct RawKey {
    enum class Kind { kCharacter, kKeyCode, kMouse, kPasteStart, kPasteEnd };
    Kind kind = Kind::kCharacter;
    char32_t value = 0; // the character, or the KEY_* code
    int column = 0;     // kMouse: the cell
    int row = 0;
    unsigned long buttons = 0; // kMouse: the mmask_t of the event
};

struct InputEvent {
    enum class Kind { kKey, kText, kChar, kClick, kResize, kPaste };
    Kind kind = Kind::kKey;
    Key key = Key::kEnter;         // kKey
    unsigned modifiers = kModNone; // kKey, kChar
    std::u16string text;           // kText, kPaste; kChar: the one character
    int column = 0;                // kClick
    int row = 0;
    bool operator==(const InputEvent&) const = default;
};

// Where a paste stands between reads.
struct PasteState {
    bool inside = false;    // between the paste's start and end marks
    bool lineEnded = false; // its first line is complete: the rest is dropped
};

// Decodes keys read in one go (an Escape at the end had nothing after it). The part of a
// paste read so far is given as a kPaste at once; `paste` carries the rest over to the next
// read (none: each call stands alone).
std::vector<InputEvent> DecodeKeys(const RawKey* keys, size_t count, PasteState* paste = nullptr);

// Hands the events to the Feed* functions; a kResize is left to the caller, which returns
// how many of those there were.
int FeedEvents(const std::vector<InputEvent>& events);

} // namespace qb::render::terminal
