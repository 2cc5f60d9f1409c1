// The dialog manager's keyboard: Tab and Shift+Tab through the tab stops, Enter for the
// default (or focused) push button, Escape for IDCANCEL, arrows between the buttons of a
// group, and the "&" accelerators with Alt (or alone when the focused control takes no
// characters). It runs for every key message dispatched to a dialog's control, so a plain
// message loop gets it too.
#include "platform/user/dialog.h"
#include "platform/user/focus.h"
#include "platform/user/input.h"
#include "platform/user/message_queue.h"

namespace qb::user {

namespace {

bool IsPushButton(Window* w) {
    if (w == nullptr || w->cls->kind != Kind::kButton) return false;
    DWORD type = w->style & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

Window* DialogOf(Window* target) {
    Window* root = RootOf(target);
    if (root == nullptr || root->cls->kind != Kind::kDialog) return nullptr;
    return root;
}

void PressButtonOfId(Window* dialog, UINT id) {
    HWND control = GetDlgItem(dialog->handle, static_cast<int>(id));
    if (control != nullptr && !IsWindowEnabled(control)) {
        Beep(MB_OK);
        return;
    }
    if (Window* button = FromHandle(control)) {
        if (IsPushButton(button)) {
            SendMessageW(control, BM_CLICK, 0, 0);
            return;
        }
    }
    SendMessageW(dialog->handle, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                 reinterpret_cast<LPARAM>(control));
}

// The control whose text marks `letter` with "&".
bool Accelerate(Window* dialog, char16_t letter) {
    char16_t wanted = FoldCase(letter);
    auto& list = dialog->children;
    for (size_t i = 0; i < list.size(); ++i) {
        Window* control = list[i];
        if (!(control->style & WS_VISIBLE) || (control->style & WS_DISABLED)) continue;
        if (control->cls->kind == Kind::kStatic && (control->style & SS_NOPREFIX)) continue;
        if (control->cls->kind != Kind::kButton && control->cls->kind != Kind::kStatic) continue;
        char16_t mark = 0;
        StripAccelerator(control->text, &mark);
        if (mark == 0 || FoldCase(mark) != wanted) continue;
        bool label =
            control->cls->kind == Kind::kStatic || (control->style & BS_TYPEMASK) == BS_GROUPBOX;
        if (label) {
            // A label's accelerator focuses the control after it.
            if (Window* next = NextTabItem(dialog, control, false)) DialogSetFocus(next);
            return true;
        }
        if (!IsPushButton(control)) DialogSetFocus(control);
        SendMessageW(control->handle, BM_CLICK, 0, 0);
        return true;
    }
    return false;
}

} // namespace

bool RouteDialogKey(Window* target, const MSG* msg) {
    Window* dialog = DialogOf(target);
    if (dialog == nullptr || (dialog->style & WS_DISABLED)) return false;
    HWND dialogHandle = dialog->handle;
    WindowRef ref(dialog);
    LRESULT code = CallProc(target, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg));
    if (code & DLGC_WANTMESSAGE) return false;
    MessageQueue* queue = CurrentQueue(true);
    bool shift = (queue->keyModifiers & render::kModShift) != 0;

    switch (msg->message) {
    case WM_KEYDOWN:
        switch (msg->wParam) {
        case VK_TAB: {
            if (code & DLGC_WANTTAB) return false;
            Window* next = NextTabItem(dialog, target == dialog ? nullptr : target, shift);
            if (next != nullptr) DialogSetFocus(next);
            return true;
        }
        case VK_RETURN: {
            if (IsPushButton(target) && ReallyEnabled(target)) {
                SendMessageW(target->handle, BM_CLICK, 0, 0);
                return true;
            }
            UINT id = DefaultButtonId(dialog);
            PressButtonOfId(dialog, id != 0 ? id : IDOK);
            return true;
        }
        case VK_ESCAPE: {
            HWND cancel = GetDlgItem(dialogHandle, IDCANCEL);
            if (cancel != nullptr && !IsWindowEnabled(cancel)) {
                Beep(MB_OK);
                return true;
            }
            SendMessageW(dialogHandle, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(cancel));
            return true;
        }
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN: {
            if ((code & DLGC_WANTARROWS) || target == dialog) return false;
            bool previous = msg->wParam == VK_LEFT || msg->wParam == VK_UP;
            if (Window* next = NextGroupItem(dialog, target, previous)) DialogSetFocus(next);
            return true;
        }
        default:
            return false;
        }
    case WM_CHAR:
        // Tab, Enter and Escape were handled as keys; their characters go nowhere.
        if (msg->wParam == u'\t' || msg->wParam == u'\r' || msg->wParam == 0x1B)
            return !(code & DLGC_WANTALLKEYS);
        if (msg->wParam == u' ' || (code & DLGC_WANTCHARS)) return false;
        return Accelerate(dialog, static_cast<char16_t>(msg->wParam));
    case WM_SYSCHAR:
        if (!Accelerate(dialog, static_cast<char16_t>(msg->wParam))) Beep(MB_OK);
        return true;
    default:
        return false;
    }
}

} // namespace qb::user
