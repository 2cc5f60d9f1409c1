// Keyboard focus and the active window of a thread, as Windows keeps them: WM_KILLFOCUS and
// WM_SETFOCUS on every change, WM_ACTIVATE when the active top-level window changes, and a
// dialog gets its last focused control back when it is activated again.
#pragma once

#include "platform/user/window.h"

namespace qb::user {

// Gives the focus to the window (null: nobody); returns the previous focus.
HWND SetFocusTo(Window* window);
// The dialog manager's way of focusing a control: an edit gets all its text selected.
void DialogSetFocus(Window* control);
// Makes a top-level window the active one (and brings it to the front of its band).
void ActivateWindow(Window* top);
// The window is going away or hidden: focus and activation move elsewhere.
void ForgetFocusOf(Window* window);
// Activates the next candidate after `leaving`: its owner if it can take it, else the
// frontmost visible, enabled top-level window.
void ActivateNext(Window* leaving);

} // namespace qb::user
