// The one test hook of platform/user: tests drive the system through the Win32 API itself
// and, for what a person does, through these functions. Everything here runs on the GUI
// thread (the thread that owns the windows), unless said otherwise.
//
//  - Modal answers: message boxes, modal dialogs and pop-up menus take scripted answers in
//    the order they appear (one queue for all three kinds). A modal whose kind (or template)
//    does not match the front of the queue is unscripted and runs as it would for a person.
//  - Reading: the composed screen or one window's grid, as UTF-8 text or as cells.
//  - Input: keys, text and clicks as a person gives them (the renderer's input path).
//  - The clipboard's content, and the tick count that GetTickCount and the timers see.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "qb/observer.h"
#include "qb/render.h"
#include "windows.h"

namespace qb::test {

// Clears the answer queue, the records and the beeps, turns strict modals off and empties
// the clipboard (the hook's own, not the desktop's). Windows are left alone.
void Reset();

// ---- Modal answers ----------------------------------------------------------------------

// Runs inside the modal loop once the window (message box, dialog or pop-up menu) has been
// created and shown (for a dialog: after WM_INITDIALOG). It may read the grid, set fields
// with the API, feed keys or clicks (PressKey ...), or end the dialog itself (EndDialog).
// Whatever it fed is handled after it returns; a driven window that is then left open
// with nothing more to do ends with -1 (a dialog), IDCANCEL (a box) or 0 (a menu), and its
// record says so (`abandoned`).
using Driver = std::function<void(HWND window)>;

// The next MessageBoxW returns `result` without showing anything.
void AnswerMessageBox(int result);
// The next MessageBoxW is shown as a window (even headless) and driven.
void DriveMessageBox(Driver driver);
// The next modal dialog (DialogBoxIndirectParamW) is created, gets WM_INITDIALOG, and is
// then ended with `result`. `dialogTemplate` null matches any template.
void AnswerDialog(INT_PTR result, const void* dialogTemplate = nullptr);
// The next modal dialog is created, shown and driven.
void DriveDialog(Driver driver, const void* dialogTemplate = nullptr);
// The next TrackPopupMenuEx chooses the command `id` (0: dismissed). A grayed item can't
// be chosen: the menu is then dismissed and the record says so.
void AnswerMenu(UINT id);
// The next pop-up menu is shown and driven (arrows, Enter, Escape, letters).
void DriveMenu(Driver driver);
// Answers not yet used.
size_t PendingAnswers();

// With strict modals on, a modal that has no scripted answer while no renderer is attached
// fails at once (a dialog returns -1, a box its default button, a menu 0) instead of
// waiting for a person that isn't there. Off after Reset().
void SetStrictModals(bool strict);

using ModalKind = user::ModalKind;

// A modal window as the window system reported its end (title, text, type, owner, template,
// result, abandoned), and whether this hook answered or drove it.
struct ModalRecord : user::ModalReport {
    bool scripted = false;
};
// Every modal shown since Reset(), in order of their end.
std::vector<ModalRecord> ModalHistory();

// The dialog template with resource id `id` (FindResourceW with RT_DIALOG, LoadResource,
// LockResource); null if there is none.
const void* DialogTemplate(HINSTANCE instance, int id);

// ---- Reading what a person sees -----------------------------------------------------------

// The whole screen as text: one line per row (trailing spaces cut), rows joined by "\n".
std::string ScreenText();
render::Screen ScreenGrid();
// One window (a top-level window with its frame, or a control) drawn alone into a grid of
// its own size, as it looks on the screen when nothing covers it.
std::string WindowText(HWND window);
render::Screen WindowGrid(HWND window);
// Text of a grid, as above.
std::string GridText(const render::Screen& grid);
// The cell rectangle (left, top, right, bottom exclusive) where the window is on screen.
RECT WindowCells(HWND window);

// ---- Input as a person gives it -----------------------------------------------------------
// Each feeds the event through the renderer's input path, then handles the messages that
// are waiting (Pump). Inside a Driver they only feed: the modal loop handles them.

void PressKey(render::Key key, unsigned modifiers = render::kModNone);
void TypeText(const char16_t* text);
// Alt+letter.
void PressAlt(char16_t letter);
// A click at the centre of the window's cells (a control or a top-level window).
void ClickWindow(HWND window);
void ClickCell(int column, int row);
// The window's close box.
void ClickCloseBox(HWND window);

// Handles every message waiting for the calling thread (PeekMessageW, TranslateMessage,
// DispatchMessageW) without waiting; returns how many. Inside a modal loop it only feeds.
int Pump();
// Pumps (waiting for messages) until `done` returns true or `timeoutMs` of real time pass.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// ---- Clipboard, time, beeps ---------------------------------------------------------------

// What GetClipboardData(CF_UNICODETEXT) returns from now on; nullptr: the clipboard is
// empty. Either way the desktop clipboard is no longer read. Safe from any thread.
void SetClipboardText(const char16_t* text);
// Back to the desktop clipboard (wl-paste or xclip), as without the hook.
void UseDesktopClipboard();

// The tick count seen by GetTickCount and the timers: set it, move it forward (due
// timers then fire in the next message loop pass), or go back to the real clock.
void SetTickCount(DWORD ticks);
void AdvanceTickCount(DWORD milliseconds);
void UseRealTime();

// The MessageBeep types sounded since Reset().
std::vector<UINT> Beeps();

} // namespace qb::test
