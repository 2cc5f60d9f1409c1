#include "platform/user/focus.h"

#include "platform/user/message_queue.h"

namespace qb::user {

namespace {

bool CanActivate(Window* w) {
    return w != nullptr && !w->destroyed && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED) &&
           w->cls->kind != Kind::kMenuPopup;
}

} // namespace

HWND SetFocusTo(Window* window) {
    MessageQueue* queue = CurrentQueue(true);
    HWND old = queue->focus;
    HWND next = window != nullptr ? window->handle : nullptr;
    if (old == next) return old;
    if (window != nullptr) {
        Window* root = RootOf(window);
        if (queue->active != root->handle && root->cls->kind != Kind::kMenuPopup)
            ActivateWindow(root);
        if (window->destroyed) return old;
        // Activation may have moved the focus already (a dialog restores its own).
        old = queue->focus;
        if (old == next) return old;
    }
    queue->focus = next;
    if (Window* oldWindow = FromHandle(old))
        CallProc(oldWindow, WM_KILLFOCUS, reinterpret_cast<WPARAM>(next), 0);
    if (window != nullptr && !window->destroyed && queue->focus == next) {
        Window* root = RootOf(window);
        if (root != window && root->cls->kind == Kind::kDialog) root->lastFocus = next;
        CallProc(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    }
    Invalidate();
    return old;
}

void DialogSetFocus(Window* control) {
    if (control == nullptr) return;
    HWND handle = control->handle;
    LRESULT code = CallProc(control, WM_GETDLGCODE, 0, 0);
    SetFocusTo(control);
    if ((code & DLGC_HASSETSEL) && FromHandle(handle) != nullptr)
        CallProc(control, EM_SETSEL, 0, -1);
}

void ActivateWindow(Window* top) {
    MessageQueue* queue = CurrentQueue(true);
    if (top == nullptr) return;
    RaiseTopLevel(top);
    if (queue->active == top->handle) return;
    HWND old = queue->active;
    queue->active = top->handle;
    if (Window* oldWindow = FromHandle(old)) {
        CallProc(oldWindow, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0),
                 reinterpret_cast<LPARAM>(top->handle));
    }
    if (top->destroyed || queue->active != top->handle) return;
    CallProc(top, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), reinterpret_cast<LPARAM>(old));
    Invalidate();
}

void ActivateNext(Window* leaving) {
    if (leaving != nullptr && leaving->owner != nullptr) {
        Window* owner = FromHandle(leaving->owner);
        if (CanActivate(owner)) {
            ActivateWindow(owner);
            return;
        }
    }
    for (Window* w : TopLevels()) {
        if (w != leaving && CanActivate(w)) {
            ActivateWindow(w);
            return;
        }
    }
}

void ForgetFocusOf(Window* window) {
    MessageQueue* queue = CurrentQueue(true);
    if (Window* focus = FromHandle(queue->focus)) {
        if (IsDescendant(window, focus)) {
            queue->focus = nullptr;
            Window* root = RootOf(window);
            if (root != window && root->lastFocus == focus->handle) root->lastFocus = nullptr;
        }
    }
    if (queue->active == window->handle) {
        queue->active = nullptr;
        ActivateNext(window);
    }
    if (queue->capture == window->handle) queue->capture = nullptr;
}

} // namespace qb::user
