// Turns what ncurses read from the terminal (wget_wch results and mouse events) into the
// input of qb/render.h. Pure: the reading is done elsewhere, so this is tested alone.
//
//  - printable characters become text (runs of them one FeedText), a space the Space key;
//  - Tab, Shift+Tab, Enter, Escape, Backspace (KEY_BACKSPACE, DEL and BS), Delete, arrows,
//    Home/End and PageUp/PageDown become keys (with Shift where the terminal tells it);
//  - the key sequences ncurses leaves as characters (xterm's modifier forms "CSI 1;m X" and
//    "CSI n;m ~", SS3 and CSI spellings of the cursor keys, both Home/End families) become
//    their keys with Shift, Alt and Ctrl; any other complete "ESC [" or "ESC O" sequence,
//    and one cut short, is dropped whole: no byte of one is ever text;
//  - Escape followed at once by a printable character is Alt with that character, as a
//    terminal sends Alt+letter ("ESC [" or "ESC O" with nothing after it too); an Escape with
//    nothing after it (ncurses has already waited its short ESCDELAY) is the Escape key;
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

// Whether the keys end inside what may still become one unit: a lone Escape (Alt and its
// letter) or a key sequence without its final byte. A reader that stopped at its capacity
// reads on before decoding.
bool EndsInsideSequence(const RawKey* keys, size_t count);

// Hands one event to its Feed* function; false for a kResize, which is left to the caller.
bool FeedEvent(const InputEvent& e);

} // namespace qb::render::terminal
