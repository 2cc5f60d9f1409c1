#include "platform/render/terminal/terminal_session.h"

#include <langinfo.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/render/terminal/terminfo_query.h"

namespace qb::render::terminal {

namespace {

// Long enough for the rest of an arrow key's sequence over a slow link, short enough that
// Escape answers at once; an ESCDELAY in the environment wins.
constexpr int kEscDelayMs = 50;
// Every button event is asked for, though only a left press acts (key_decoder.h): ncurses
// answers an event outside the mask by reading on for the next one, a blocking read that
// would hold the message loop, and every redraw, until the next key or click.
constexpr mmask_t kMouseEvents = ALL_MOUSE_EVENTS;
constexpr char kUtf8[] = "UTF-8";
constexpr char kUtf8Fallback[] = "C.UTF-8";
constexpr char kStandIn = '?';

// Bracketed paste (xterm's private mode 2004): the terminal marks pasted text with these, so
// it is not taken as typed keys. Terminals that don't know the mode ignore its switch.
constexpr char kPasteModeOn[] = "\033[?2004h";
constexpr char kPasteModeOff[] = "\033[?2004l";
constexpr char kPasteStartMark[] = "\033[200~";
constexpr char kPasteEndMark[] = "\033[201~";
// Our own key codes for the marks, far above those ncurses gives the terminal's own keys.
constexpr int kPasteStartCode = KEY_MAX + 0x400;
constexpr int kPasteEndCode = KEY_MAX + 0x401;

void WriteAll(int fd, const char* bytes, size_t length) {
    while (length > 0) {
        ssize_t n = write(fd, bytes, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        bytes += n;
        length -= static_cast<size_t>(n);
    }
}

// The code ncurses reports for `mark`: the terminal description's own, or ours defined now.
int KeyCodeOfMark(const char* mark, int ours) {
    int known = key_defined(mark);
    if (known > 0) return known;
    return define_key(mark, ours) == OK ? ours : 0;
}

// Line drawing goes through ncurses' own table, which knows what the terminal can draw.
const cchar_t* LineGlyph(char32_t ch) {
    switch (ch) {
    case U'─':
        return WACS_HLINE;
    case U'│':
        return WACS_VLINE;
    case U'┌':
        return WACS_ULCORNER;
    case U'┐':
        return WACS_URCORNER;
    case U'└':
        return WACS_LLCORNER;
    case U'┘':
        return WACS_LRCORNER;
    default:
        return nullptr;
    }
}

// Blocks and arrows where the terminal doesn't speak UTF-8.
const cchar_t* LegacyGlyph(char32_t ch) {
    switch (ch) {
    case U'█':
    case U'■':
        return WACS_BLOCK;
    case U'░':
        return WACS_BOARD;
    case U'▒':
        return WACS_CKBOARD;
    case U'▼':
        return WACS_DARROW;
    case U'▲':
        return WACS_UARROW;
    default:
        return nullptr;
    }
}

} // namespace

void TerminalSession::UseTerminalLocale() {
    // Only the GUI thread's character type changes (uselocale): ncursesw writes wide text in
    // the code set of the user's locale, UTF-8 where that is C or POSIX.
    locale_t wanted = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    if (wanted != static_cast<locale_t>(0) &&
        std::strcmp(nl_langinfo_l(CODESET, wanted), "ANSI_X3.4-1968") == 0) {
        freelocale(wanted);
        wanted = static_cast<locale_t>(0);
    }
    if (wanted == static_cast<locale_t>(0))
        wanted = newlocale(LC_CTYPE_MASK, kUtf8Fallback, static_cast<locale_t>(0));
    if (wanted == static_cast<locale_t>(0)) return;
    locale_ = wanted;
    previousLocale_ = uselocale(wanted);
    utf8_ = std::strcmp(nl_langinfo_l(CODESET, wanted), kUtf8) == 0;
}

void TerminalSession::RestoreLocale() {
    if (locale_ == static_cast<locale_t>(0)) return;
    uselocale(previousLocale_);
    freelocale(locale_);
    locale_ = static_cast<locale_t>(0);
}

bool TerminalSession::Start() {
    if (screen_ != nullptr) return true;
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return false;
    restore_ = EmergencyRestore{};
    restore_.ttyFd = STDIN_FILENO;
    restore_.outputFd = STDOUT_FILENO;
    if (tcgetattr(STDIN_FILENO, &restore_.shellModes) != 0) return false;

    UseTerminalLocale();
    screen_ = newterm(nullptr, stdout, stdin);
    if (screen_ == nullptr) {
        RestoreLocale();
        return false;
    }
    suspended_ = false;
    if (std::getenv("ESCDELAY") == nullptr) set_escdelay(kEscDelayMs);
    SetInputModes();
    if (has_colors() && start_color() == OK) {
        palette_ = PaletteOfTerminal();
        InitPalette(palette_);
    }
    EnableMouse();
    DefinePasteMarks();
    curs_set(0);
    leaveok(stdscr, TRUE);
    restore_.leaveLength = TerminalLeaveBytes(restore_.leave, kMaxLeaveBytes);
    SetBracketedPaste(true);
    return true;
}

void TerminalSession::DefinePasteMarks() {
    pasteStartCode_ = KeyCodeOfMark(kPasteStartMark, kPasteStartCode);
    pasteEndCode_ = KeyCodeOfMark(kPasteEndMark, kPasteEndCode);
}

void TerminalSession::SetBracketedPaste(bool on) {
    // Without both marks known a paste would show up as stray keys: then leave the mode off.
    if (pasteStartCode_ == 0 || pasteEndCode_ == 0) return;
    fflush(stdout);
    if (on)
        WriteAll(STDOUT_FILENO, kPasteModeOn, sizeof kPasteModeOn - 1);
    else
        WriteAll(STDOUT_FILENO, kPasteModeOff, sizeof kPasteModeOff - 1);
}

void TerminalSession::SetInputModes() {
    cbreak();
    noecho();
    nonl();
    intrflush(stdscr, FALSE);
    keypad(stdscr, TRUE);
    meta(stdscr, TRUE);
    nodelay(stdscr, TRUE);
    // Ctrl+S, Ctrl+Q and Ctrl+V reach the dialogs instead of the terminal driver; Ctrl+C and
    // Ctrl+Z still signal.
    termios modes;
    if (tcgetattr(STDIN_FILENO, &modes) == 0) {
        modes.c_iflag &= static_cast<tcflag_t>(~(IXON | IXOFF));
        modes.c_lflag &= static_cast<tcflag_t>(~IEXTEN);
        tcsetattr(STDIN_FILENO, TCSANOW, &modes);
        def_prog_mode();
    }
}

void TerminalSession::EnableMouse() {
    mouseinterval(0); // a press is reported at once, not held back to make a click
    mousemask(kMouseEvents, nullptr);
}

void TerminalSession::Suspend() {
    if (screen_ == nullptr || suspended_) return;
    endwin();
    SetBracketedPaste(false);
    suspended_ = true;
}

void TerminalSession::Resume() {
    if (screen_ == nullptr || !suspended_) return;
    suspended_ = false;
    RedrawAll();
    refresh(); // leaves the shell's modes for the program's and enters the alternate screen
    keypad(stdscr, TRUE);
    EnableMouse();
    SetBracketedPaste(true);
}

void TerminalSession::Stop() {
    if (screen_ == nullptr) return;
    if (!suspended_) {
        endwin();
        SetBracketedPaste(false);
    }
    delscreen(screen_);
    screen_ = nullptr;
    suspended_ = false;
    RestoreLocale();
}

void TerminalSession::FollowSize(int* columns, int* rows) {
    if (screen_ != nullptr) {
        winsize size{};
        if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0 &&
            (size.ws_col != COLS || size.ws_row != LINES))
            resize_term(size.ws_row, size.ws_col);
    }
    *columns = screen_ != nullptr ? COLS : 0;
    *rows = screen_ != nullptr ? LINES : 0;
}

void TerminalSession::RedrawAll() {
    if (screen_ != nullptr) clearok(curscr, TRUE);
}

void TerminalSession::PutCell(int row, int column, char32_t ch, const CellLook& look) {
    const cchar_t* glyph = LineGlyph(ch);
    if (glyph == nullptr && !utf8_) glyph = LegacyGlyph(ch);
    wchar_t text[CCHARW_MAX] = {};
    attr_t attrs = look.attrs;
    if (glyph != nullptr) {
        attr_t glyphAttrs = A_NORMAL;
        short glyphPair = 0;
        if (getcchar(glyph, text, &glyphAttrs, &glyphPair, nullptr) == ERR) text[0] = kStandIn;
        attrs |= glyphAttrs & A_ALTCHARSET;
    } else {
        text[0] = static_cast<wchar_t>(ch);
    }
    text[1] = L'\0';
    cchar_t cell;
    setcchar(&cell, text, attrs, look.pair, nullptr);
    mvwadd_wch(stdscr, row, column, &cell); // the bottom-right cell "fails" but is drawn
}

void TerminalSession::Paint(const Screen& screen) {
    if (!Active()) return;
    const CellLook plain = LookOf(kAttrNone, palette_);
    for (int row = 0; row < LINES; ++row) {
        int column = 0;
        while (column < COLS) {
            if (row >= screen.rows || column >= screen.columns) {
                PutCell(row, column++, U' ', plain);
                continue;
            }
            const Cell& cell = screen.At(column, row);
            CellLook look = LookOf(cell.attr, palette_);
            if (cell.attr & kAttrWideTail) { // its first half could not be drawn wide
                PutCell(row, column++, U' ', look);
                continue;
            }
            bool wide = column + 1 < screen.columns &&
                        (screen.At(column + 1, row).attr & kAttrWideTail) != 0;
            int cells = wide ? 2 : 1;
            char32_t ch = cell.ch;
            // The terminal must give the character the cells the grid gave it, or every
            // column after it (a frame, a button) would shift: else a stand-in.
            if (LineGlyph(ch) == nullptr && (utf8_ || LegacyGlyph(ch) == nullptr)) {
                int shown = wcwidth(static_cast<wchar_t>(ch));
                if (shown != cells || (wide && column + 1 >= COLS)) {
                    ch = static_cast<char32_t>(kStandIn);
                    cells = 1;
                }
            } else {
                cells = 1;
            }
            PutCell(row, column, ch, look);
            column += cells;
        }
    }
    if (screen.caretVisible && screen.caretColumn < COLS && screen.caretRow < LINES &&
        screen.caretColumn >= 0 && screen.caretRow >= 0) {
        leaveok(stdscr, FALSE);
        wmove(stdscr, screen.caretRow, screen.caretColumn);
        curs_set(1);
    } else {
        leaveok(stdscr, TRUE);
        curs_set(0);
    }
    wnoutrefresh(stdscr);
    doupdate();
}

void TerminalSession::PaintLine(const std::u32string& line) {
    if (!Active()) return;
    const CellLook plain = LookOf(kAttrNone, palette_);
    int width = 0;
    for (char32_t ch : line) width += std::max(0, wcwidth(static_cast<wchar_t>(ch)));
    const int row = LINES / 2;
    for (int r = 0; r < LINES; ++r)
        for (int c = 0; c < COLS; ++c) PutCell(r, c, U' ', plain);
    int column = width < COLS ? (COLS - width) / 2 : 0;
    for (char32_t ch : line) {
        const int cells = std::max(0, wcwidth(static_cast<wchar_t>(ch)));
        if (column + cells > COLS) break;
        PutCell(row, column, ch, plain);
        column += cells;
    }
    leaveok(stdscr, TRUE);
    curs_set(0);
    wnoutrefresh(stdscr);
    doupdate();
}

size_t TerminalSession::ReadKeys(RawKey* out, size_t capacity) {
    if (!Active()) return 0;
    size_t count = 0;
    GiveSpelled(out, &count, capacity);
    while (count < capacity) {
        wint_t value = 0;
        int kind = wget_wch(stdscr, &value);
        if (kind == ERR) break;
        RawKey key;
        key.value = static_cast<char32_t>(value);
        if (kind == KEY_CODE_YES) {
            key.kind = RawKey::Kind::kKeyCode;
            if (pasteStartCode_ != 0 && static_cast<int>(value) == pasteStartCode_)
                key.kind = RawKey::Kind::kPasteStart;
            else if (pasteEndCode_ != 0 && static_cast<int>(value) == pasteEndCode_)
                key.kind = RawKey::Kind::kPasteEnd;
            else if (value == KEY_MOUSE) {
                MEVENT event{};
                if (getmouse(&event) != OK) continue;
                key.kind = RawKey::Kind::kMouse;
                key.column = event.x;
                key.row = event.y;
                key.buttons = static_cast<unsigned long>(event.bstate);
            } else if (static_cast<int>(value) > KEY_MAX) {
                char* sequence = keybound(static_cast<int>(value), 0);
                if (sequence == nullptr) continue;
                spelled_ = sequence;
                free(sequence);
                GiveSpelled(out, &count, capacity);
                continue;
            }
        }
        out[count++] = key;
    }
    return count;
}

void TerminalSession::GiveSpelled(RawKey* out, size_t* count, size_t capacity) {
    size_t given = 0;
    for (; *count < capacity && given < spelled_.size(); ++given)
        out[(*count)++] =
            RawKey{RawKey::Kind::kCharacter,
                   static_cast<char32_t>(static_cast<unsigned char>(spelled_[given]))};
    spelled_.erase(0, given);
}

void TerminalSession::Beep() {
    if (Active()) beep();
}

} // namespace qb::render::terminal
