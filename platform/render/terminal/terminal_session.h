// The terminal while ncurses holds it: started on standard input and output, painted from
// the composed screen, read for keys and mouse, given back (suspended) and taken again.
// GUI thread only.
#pragma once

#include <curses.h>
#include <locale.h>

#include <cstddef>
#include <string>

#include "platform/render/terminal/cell_look.h"
#include "platform/render/terminal/key_decoder.h"
#include "platform/render/terminal/signal_relay.h"
#include "qb/render.h"

namespace qb::render::terminal {

class TerminalSession {
public:
    TerminalSession() = default;
    ~TerminalSession() { Stop(); }
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;

    // Starts ncurses: alternate screen, no echo, keys without line editing (signals keep
    // coming from Ctrl+C and Ctrl+Z), keypad, mouse, bracketed paste, colours. False when it
    // can't.
    bool Start();
    // Gives the terminal back (endwin); Resume takes it again and redraws it whole.
    void Suspend();
    void Resume();
    // Gives the terminal back for good.
    void Stop();

    bool Started() const { return screen_ != nullptr; }
    bool Active() const { return screen_ != nullptr && !suspended_; }
    // What a signal handler needs to give the terminal back by itself.
    const EmergencyRestore& Restore() const { return restore_; }

    // Makes ncurses use the terminal's present size and returns it.
    void FollowSize(int* columns, int* rows);
    // The next Paint redraws every cell, not only the changed ones.
    void RedrawAll();
    // Draws the screen and updates the terminal with what changed.
    void Paint(const Screen& screen);
    // Shows only this line, in the middle of the terminal (cut where it is too narrow).
    void PaintLine(const std::u32string& line);
    // Reads what is waiting, without waiting (an Escape waits ESCDELAY for what follows).
    // A key ncurses knows only by an extended name (xterm's "kLFT5" ...) is given as the
    // characters of its sequence, which the key decoder reads as every other terminal's.
    size_t ReadKeys(RawKey* out, size_t capacity);
    void Beep();

private:
    void UseTerminalLocale();
    void RestoreLocale();
    void SetInputModes();
    void EnableMouse();
    void DefinePasteMarks();
    void SetBracketedPaste(bool on);
    void GiveSpelled(RawKey* out, size_t* count, size_t capacity);
    void PutCell(int row, int column, char32_t ch, const CellLook& look);

    SCREEN* screen_ = nullptr;
    bool suspended_ = false;
    bool utf8_ = false;
    Palette palette_ = Palette::kMonochrome;
    int pasteStartCode_ = 0; // the key codes ncurses reports for the paste's marks
    int pasteEndCode_ = 0;
    std::string spelled_; // the rest of an extended key's sequence, given by the next read
    locale_t locale_ = static_cast<locale_t>(0);
    locale_t previousLocale_ = static_cast<locale_t>(0);
    EmergencyRestore restore_{};
};

} // namespace qb::render::terminal
