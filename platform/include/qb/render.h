// The renderer boundary of platform/user: the composed screen of cells that every window
// draws into, and the input path back from whoever shows that screen.
//
// platform/user keeps the windows; platform/render composes them into one grid of cells
// (all visible top-level windows in Z order, a modal dialog over its owner, frames and
// captions). A renderer (render/terminal shows the grid with ncursesw) implements
// `Renderer`, attaches itself with `SetRenderer` on the GUI thread, and:
//   - is told by `ScreenChanged` that the screen changed; it then reads `ComposeScreen()`;
//   - hands its input descriptor to the message loop (`InputFd`), which polls it while it
//     waits and calls `InputReady` on the GUI thread when it can be read;
//   - turns what it reads into the `Feed*` calls below, which post the messages the dialog
//     manager expects (WM_KEYDOWN, WM_CHAR, WM_SYSCHAR, WM_LBUTTONDOWN, WM_CLOSE ...).
// Without a renderer (headless: tests, pipes, cron) nothing is shown; the screen can still
// be composed and read, which is what the tests do (qb/testhook.h).
//
// Coordinates: the screen is `columns` x `rows` cells. Window positions are kept in dialog
// units (one pixel is one dialog unit): a cell is 4 units wide and 8 units high, so
// GetSystemMetrics(SM_CXSCREEN) is columns * 4 and SM_CYSCREEN rows * 8.
//
// Threads: everything here is called on the GUI thread (the thread that called
// SetRenderer, which is the thread that runs the message loop), except `Wake`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qb::render {

// ---- The composed screen ----------------------------------------------------------------

// What a cell shows beyond its character. Several may be set at once.
enum CellAttr : uint16_t {
    kAttrNone = 0,
    kAttrFocused = 1u << 0,   // belongs to the control that has the keyboard focus
    kAttrDefault = 1u << 1,   // belongs to the default push button of its dialog
    kAttrDisabled = 1u << 2,  // disabled control, grayed menu item, disabled window
    kAttrChecked = 1u << 3,   // the mark of a checked check box
    kAttrSelected = 1u << 4,  // selected text, selected tree item, highlighted menu item
    kAttrCaret = 1u << 5,     // the cell under the text caret (see Screen::caretColumn)
    kAttrFrame = 1u << 6,     // a window frame, group box or separator line
    kAttrCaption = 1u << 7,   // the caption row of a window (title and close box)
    kAttrActive = 1u << 8,    // frame or caption of the active (foreground) window
    kAttrField = 1u << 9,     // the input area of an edit or combo box (shown underlined)
    kAttrWideTail = 1u << 10, // right half of a wide character; `ch` is 0
    kAttrProgress = 1u << 11, // the filled part of a progress bar
    kAttrMnemonic = 1u << 12, // a button's accelerator letter, Alt+letter (shown underlined)
};

// One cell: a UCS code point (UTF-16 surrogate pairs are joined) and its attributes. A wide
// (East Asian) character takes two cells: the first holds it, the second has `ch` 0 and
// kAttrWideTail. An empty cell holds U+0020.
struct Cell {
    char32_t ch = U' ';
    uint16_t attr = kAttrNone;
};

// A snapshot of the whole screen, row by row.
struct Screen {
    int columns = 0;
    int rows = 0;
    std::vector<Cell> cells; // columns * rows, row-major
    // The size the visible windows need to be shown whole (the largest of them).
    int neededColumns = 0;
    int neededRows = 0;
    bool caretVisible = false; // a focused edit shows its caret
    int caretColumn = 0;
    int caretRow = 0;

    const Cell& At(int column, int row) const {
        return cells[static_cast<size_t>(row) * static_cast<size_t>(columns) +
                     static_cast<size_t>(column)];
    }
};

// Composes the visible windows as they are now. GUI thread.
Screen ComposeScreen();

// The screen size in cells (80 x 25 until a renderer reports its size with FeedResize).
int ScreenColumns();
int ScreenRows();

// True when at least one top-level window is visible (a terminal renderer takes the
// terminal only from then on).
bool AnyWindowVisible();

// ---- The renderer -----------------------------------------------------------------------

class Renderer {
public:
    virtual ~Renderer() = default;
    // The screen changed since the last call (coalesced: at most once each time the message
    // loop is about to wait or return). Called on the GUI thread, never from a posting
    // thread. Also called once right after SetRenderer.
    virtual void ScreenChanged() = 0;
    // A descriptor that the message loop polls for reading while it waits; -1 for none.
    virtual int InputFd() = 0;
    // InputFd() can be read: read it and feed what it holds through the Feed* functions.
    virtual void InputReady() = 0;
    // MessageBeep and refused keys.
    virtual void Beep() {}
};

// Attaches the renderer to the calling thread, which becomes the GUI thread; nullptr
// detaches. The caller keeps ownership. While a renderer is attached, MessageBoxW shows a
// window instead of writing to standard error.
void SetRenderer(Renderer* renderer);
Renderer* GetRenderer();

// Wakes the GUI thread's message loop (safe from any thread and from a signal handler's
// self-pipe reader); the loop then checks InputFd() again and repaints if needed.
void Wake();

// ---- Input ------------------------------------------------------------------------------
// Keys go to the focused control of the active window, as Windows routes them; the
// dialog manager then does Tab, Enter, Escape, Space and the "&" accelerators.

enum class Key {
    kTab,
    kEnter,
    kEscape,
    kSpace,
    kBackspace,
    kDelete,
    kLeft,
    kRight,
    kUp,
    kDown,
    kHome,
    kEnd,
    kPageUp,
    kPageDown,
    kF4, // opens a combo box's list
};

enum Modifier : unsigned {
    kModNone = 0,
    kModShift = 1u << 0, // Shift+Tab is kTab with kModShift
    kModCtrl = 1u << 1,
    kModAlt = 1u << 2,
};

// A special key (posted as WM_KEYDOWN / WM_KEYUP, with Alt as WM_SYSKEYDOWN).
void FeedKey(Key key, unsigned modifiers = kModNone);
// Printable text typed by the user (posted as WM_CHAR, one per UTF-16 unit).
void FeedText(const char16_t* text, size_t length);
// Text pasted into the terminal (one line, no control characters): goes to the focused
// field as typed characters do, and nowhere when the focus is not on a writable field, so
// that no pasted letter or space can press a button.
void FeedPaste(const char16_t* text, size_t length);
// One character with modifiers: Alt+letter is FeedChar(u'r', kModAlt) (WM_SYSCHAR).
void FeedChar(char16_t ch, unsigned modifiers = kModNone);
// A left click at a screen cell: activates the window there, presses buttons, moves the
// caret, selects tree items; a click on a close box closes that window (WM_CLOSE).
void FeedClick(int column, int row);
// Closes the active window as its close box would (WM_SYSCOMMAND SC_CLOSE).
void FeedCloseActive();
// The screen is now columns x rows cells (at least 1 x 1). Top-level windows keep their
// place relative to the screen: a centred one stays centred, and one that fits stays whole.
void FeedResize(int columns, int rows);

} // namespace qb::render
