// The built-in window classes: their procedures and how each draws itself into its cells.
#pragma once

#include "platform/user/window.h"

namespace qb::user {

LRESULT CALLBACK DialogWindowProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ComboBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK StaticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ProgressProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK TreeViewProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK MenuPopupProc(HWND, UINT, WPARAM, LPARAM);

void PaintButton(Window* window, render::Canvas& canvas);
void PaintEdit(Window* window, render::Canvas& canvas);
void PaintComboBox(Window* window, render::Canvas& canvas);
void PaintStatic(Window* window, render::Canvas& canvas);
void PaintProgress(Window* window, render::Canvas& canvas);
void PaintTreeView(Window* window, render::Canvas& canvas);
void PaintMenuPopup(Window* window, render::Canvas& canvas);

// The focused control of the window's thread, and whether it is this one.
bool HasFocus(Window* window);
// Whether the button is the one Enter presses in its dialog (drawn as the default).
bool IsDefaultButton(Window* button);

} // namespace qb::user
