// Window text, state, placement, styles and the default window procedure.
#include <algorithm>
#include <cstring>

#include "platform/render/boundary.h"
#include "platform/render/cell_text.h"
#include "platform/user/focus.h"
#include "platform/user/layout.h"
#include "platform/user/message_queue.h"
#include "platform/user/window.h"

using namespace qb::user;

namespace {

constexpr DWORD kErrorInvalidIndex = 1413;
// Window texts longer than this are cut (a named bound for every text a window keeps).
constexpr size_t kMaxWindowText = 1u << 20;
constexpr WPARAM kHitCaption = 2;
constexpr WPARAM kHitClose = 20;
constexpr WPARAM kHitDisabled = static_cast<WPARAM>(-2);

size_t Length(LPCWSTR text) {
    size_t n = 0;
    if (text == nullptr) return 0;
    while (text[n] != 0 && n < kMaxWindowText) ++n;
    return n;
}

POINT ClientOrigin(const Window* window) {
    if (window->parent == nullptr)
        return POINT{window->rect.left + FrameWidthUnits(window),
                     window->rect.top + FrameHeightUnits(window)};
    POINT parent = ClientOrigin(window->parent);
    return POINT{parent.x + window->rect.left, parent.y + window->rect.top};
}

bool ShowState(Window* window, bool show, bool activate) {
    bool was = (window->style & WS_VISIBLE) != 0;
    if (was == show) {
        if (show && activate && window->parent == nullptr) ActivateWindow(window);
        return was;
    }
    HWND handle = window->handle;
    CallProc(window, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    if (FromHandle(handle) == nullptr) return was;
    if (show) {
        window->style |= WS_VISIBLE;
        if (window->parent == nullptr && activate) ActivateWindow(window);
    } else {
        window->style &= ~static_cast<DWORD>(WS_VISIBLE);
        ForgetFocusOf(window);
    }
    Invalidate();
    return was;
}

} // namespace

namespace qb::user {

// Windows it owns, and the enabled one among them that should come forward on a click.
Window* EnabledOwnedPopup(Window* owner) {
    for (Window* w : TopLevels()) {
        if (w->owner == owner->handle && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED))
            return w;
    }
    return nullptr;
}

} // namespace qb::user

LRESULT WINAPI DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* window = FromHandle(hwnd);
    if (window == nullptr) return 0;
    switch (msg) {
    case WM_NCCREATE:
        return TRUE;
    case WM_SETTEXT: {
        auto text = reinterpret_cast<LPCWSTR>(lParam);
        window->text.assign(text != nullptr ? text : u"", Length(text));
        Invalidate();
        return TRUE;
    }
    case WM_GETTEXT: {
        auto buffer = reinterpret_cast<LPWSTR>(lParam);
        if (buffer == nullptr || wParam == 0) return 0;
        size_t n = std::min<size_t>(window->text.size(), wParam - 1);
        std::memcpy(buffer, window->text.data(), n * sizeof(WCHAR));
        buffer[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(window->text.size());
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageW(hwnd, WM_CLOSE, 0, 0);
        return 0;
    case WM_NCLBUTTONDOWN:
        if (wParam == kHitDisabled) {
            Beep(MB_OK);
            if (Window* popup = EnabledOwnedPopup(window)) ActivateWindow(popup);
        } else if (wParam == kHitClose) {
            SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        } else if (wParam == kHitCaption) {
            ActivateWindow(RootOf(window));
        }
        return 0;
    case WM_SETICON: {
        HICON old = wParam == ICON_SMALL ? window->smallIcon : window->bigIcon;
        (wParam == ICON_SMALL ? window->smallIcon : window->bigIcon) =
            reinterpret_cast<HICON>(lParam);
        return reinterpret_cast<LRESULT>(old);
    }
    case WM_GETICON:
        return reinterpret_cast<LRESULT>(wParam == ICON_SMALL ? window->smallIcon
                                                              : window->bigIcon);
    case WM_SETFONT:
        window->font = reinterpret_cast<HFONT>(wParam);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(window->font);
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && window->parent == nullptr) SetFocus(hwnd);
        return 0;
    default:
        return 0;
    }
}

LRESULT WINAPI CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (proc == nullptr) return 0;
    return proc(hwnd, msg, wParam, lParam);
}

int WINAPI GetWindowTextW(HWND hwnd, LPWSTR buffer, int max) {
    if (buffer == nullptr || max <= 0) return 0;
    buffer[0] = 0;
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(
        SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(max), reinterpret_cast<LPARAM>(buffer)));
}

int WINAPI GetWindowTextLengthW(HWND hwnd) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

BOOL WINAPI SetWindowTextW(HWND hwnd, LPCWSTR text) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable) {
    Window* window = FromHandle(hwnd);
    if (window == nullptr) return FALSE;
    BOOL wasDisabled = (window->style & WS_DISABLED) ? TRUE : FALSE;
    if (enable) {
        window->style &= ~static_cast<DWORD>(WS_DISABLED);
    } else {
        window->style |= WS_DISABLED;
        // A disabled control can't keep the focus: it goes to its dialog. (A disabled
        // top-level window keeps it until another window is activated, as the owner of a
        // modal dialog does.)
        MessageQueue* queue = CurrentQueue(true);
        Window* focus = FromHandle(queue->focus);
        if (window->parent != nullptr && focus != nullptr && IsDescendant(window, focus))
            SetFocusTo(RootOf(window));
    }
    if (wasDisabled != (enable ? FALSE : TRUE))
        CallProc(window, WM_ENABLE, enable ? TRUE : FALSE, 0);
    Invalidate();
    return wasDisabled;
}

BOOL WINAPI IsWindowEnabled(HWND hwnd) {
    Window* window = FromHandleAnyThread(hwnd);
    if (window == nullptr) return FALSE;
    return (window->style & WS_DISABLED) ? FALSE : TRUE;
}

BOOL WINAPI ShowWindow(HWND hwnd, int cmd) {
    Window* window = FromHandle(hwnd);
    if (window == nullptr) return FALSE;
    switch (cmd) {
    case SW_HIDE:
        return ShowState(window, false, false) ? TRUE : FALSE;
    case SW_SHOWNOACTIVATE:
    case SW_SHOWNA:
    case SW_SHOWMINNOACTIVE:
        return ShowState(window, true, false) ? TRUE : FALSE;
    default:
        return ShowState(window, true, true) ? TRUE : FALSE;
    }
}

BOOL WINAPI IsWindowVisible(HWND hwnd) {
    Window* window = FromHandle(hwnd);
    return ReallyVisible(window) ? TRUE : FALSE;
}

BOOL WINAPI SetWindowPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags) {
    Window* window = FromHandle(hwnd);
    if (window == nullptr) return FALSE;
    RECT& r = window->rect;
    LONG width = r.right - r.left;
    LONG height = r.bottom - r.top;
    if (!(flags & SWP_NOSIZE)) {
        width = std::max(0, cx);
        height = std::max(0, cy);
    }
    if (!(flags & SWP_NOMOVE)) {
        r.left = x;
        r.top = y;
    }
    r.right = r.left + width;
    r.bottom = r.top + height;
    if (!(flags & SWP_NOZORDER)) {
        if (window->parent == nullptr) {
            if (after == HWND_TOPMOST) {
                window->exStyle |= WS_EX_TOPMOST;
                RaiseTopLevel(window);
            } else if (after == HWND_NOTOPMOST) {
                window->exStyle &= ~static_cast<DWORD>(WS_EX_TOPMOST);
                RaiseTopLevel(window);
            } else if (after == HWND_TOP) {
                RaiseTopLevel(window);
            } else if (after == HWND_BOTTOM) {
                LowerTopLevel(window);
            }
        } else {
            auto& siblings = window->parent->children;
            Window* anchor = (after == HWND_TOP || after == HWND_TOPMOST || after == HWND_BOTTOM ||
                              after == HWND_NOTOPMOST)
                                 ? nullptr
                                 : FromHandle(after);
            if (after != HWND_NOTOPMOST &&
                (anchor == nullptr || anchor->parent == window->parent) && anchor != window) {
                siblings.erase(std::remove(siblings.begin(), siblings.end(), window),
                               siblings.end());
                if (after == HWND_BOTTOM) {
                    siblings.push_back(window);
                } else if (anchor != nullptr) {
                    siblings.insert(std::find(siblings.begin(), siblings.end(), anchor) + 1,
                                    window);
                } else {
                    siblings.insert(siblings.begin(), window);
                }
            }
        }
    }
    if (flags & SWP_SHOWWINDOW) ShowState(window, true, !(flags & SWP_NOACTIVATE));
    if (flags & SWP_HIDEWINDOW) ShowState(window, false, false);
    Invalidate();
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL) {
    return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
    Window* window = FromHandle(hwnd);
    if (window == nullptr || rect == nullptr) return FALSE;
    if (window->parent == nullptr) {
        *rect = window->rect;
        return TRUE;
    }
    POINT origin = ClientOrigin(window->parent);
    *rect = RECT{origin.x + window->rect.left, origin.y + window->rect.top,
                 origin.x + window->rect.right, origin.y + window->rect.bottom};
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
    Window* window = FromHandle(hwnd);
    if (window == nullptr || rect == nullptr) return FALSE;
    LONG w = window->rect.right - window->rect.left - 2 * FrameWidthUnits(window);
    LONG h = window->rect.bottom - window->rect.top - 2 * FrameHeightUnits(window);
    *rect = RECT{0, 0, std::max<LONG>(0, w), std::max<LONG>(0, h)};
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT point) {
    Window* window = FromHandle(hwnd);
    if (window == nullptr || point == nullptr) return FALSE;
    POINT origin = ClientOrigin(window);
    point->x += origin.x;
    point->y += origin.y;
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT point) {
    Window* window = FromHandle(hwnd);
    if (window == nullptr || point == nullptr) return FALSE;
    POINT origin = ClientOrigin(window);
    point->x -= origin.x;
    point->y -= origin.y;
    return TRUE;
}

HWND WINAPI SetFocus(HWND hwnd) {
    if (hwnd == nullptr) return SetFocusTo(nullptr);
    Window* window = FromHandle(hwnd);
    if (window == nullptr) return nullptr;
    return SetFocusTo(window);
}

HWND WINAPI GetFocus(void) {
    return CurrentQueue(true)->focus;
}
HWND WINAPI GetActiveWindow(void) {
    return CurrentQueue(true)->active;
}
HWND WINAPI GetForegroundWindow(void) {
    return CurrentQueue(true)->active;
}

HWND WINAPI SetActiveWindow(HWND hwnd) {
    Window* window = FromHandle(hwnd);
    if (window == nullptr) return nullptr;
    HWND old = CurrentQueue(true)->active;
    ActivateWindow(RootOf(window));
    return old;
}

BOOL WINAPI SetForegroundWindow(HWND hwnd) {
    return SetActiveWindow(hwnd) != nullptr || IsWindow(hwnd);
}

LONG_PTR WINAPI GetWindowLongPtrW(HWND hwnd, int index) {
    Window* window = FromHandle(hwnd);
    if (window == nullptr) return 0;
    bool dialog = window->cls->kind == Kind::kDialog;
    switch (index) {
    case GWL_STYLE:
        return static_cast<LONG_PTR>(static_cast<LONG>(window->style));
    case GWL_EXSTYLE:
        return static_cast<LONG_PTR>(static_cast<LONG>(window->exStyle));
    case GWLP_ID:
        return static_cast<LONG_PTR>(window->id);
    case GWLP_USERDATA:
        return window->userData;
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(window->proc);
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(window->instance);
    case GWLP_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(window->parent != nullptr ? window->parent->handle
                                                                    : window->owner);
    default:
        break;
    }
    if (dialog) {
        if (index == DWLP_MSGRESULT) return window->msgResult;
        if (index == DWLP_DLGPROC) return reinterpret_cast<LONG_PTR>(window->dlgProc);
        if (index == DWLP_USER) return window->dlgUser;
    }
    SetLastError(kErrorInvalidIndex);
    return 0;
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
    Window* window = FromHandle(hwnd);
    if (window == nullptr) return 0;
    LONG_PTR old = GetWindowLongPtrW(hwnd, index);
    bool dialog = window->cls->kind == Kind::kDialog;
    switch (index) {
    case GWL_STYLE:
        window->style = static_cast<DWORD>(value);
        break;
    case GWL_EXSTYLE:
        window->exStyle = static_cast<DWORD>(value);
        break;
    case GWLP_ID:
        window->id = static_cast<UINT_PTR>(value);
        break;
    case GWLP_USERDATA:
        window->userData = value;
        break;
    case GWLP_WNDPROC:
        window->proc = reinterpret_cast<WNDPROC>(value);
        break;
    case GWLP_HINSTANCE:
        window->instance = reinterpret_cast<HINSTANCE>(value);
        break;
    default:
        if (dialog && index == DWLP_MSGRESULT)
            window->msgResult = value;
        else if (dialog && index == DWLP_DLGPROC)
            window->dlgProc = reinterpret_cast<DLGPROC>(value);
        else if (dialog && index == DWLP_USER)
            window->dlgUser = value;
        else {
            SetLastError(kErrorInvalidIndex);
            return 0;
        }
    }
    Invalidate();
    return old;
}

LONG WINAPI GetWindowLongW(HWND hwnd, int index) {
    return static_cast<LONG>(GetWindowLongPtrW(hwnd, index));
}

LONG WINAPI SetWindowLongW(HWND hwnd, int index, LONG value) {
    return static_cast<LONG>(SetWindowLongPtrW(hwnd, index, value));
}

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT*, BOOL) {
    if (hwnd != nullptr && !IsWindow(hwnd)) return FALSE;
    Invalidate();
    return TRUE;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
    if (hwnd != nullptr && !IsWindow(hwnd)) return FALSE;
    qb::render::internal::FlushScreenChanged();
    return TRUE;
}

int WINAPI GetSystemMetrics(int index) {
    constexpr int kIconSize = 32;
    constexpr int kSmallIconSize = 16;
    switch (index) {
    case SM_CXSCREEN:
        return qb::render::ScreenColumns() * kUnitsPerColumn;
    case SM_CYSCREEN:
        return qb::render::ScreenRows() * kUnitsPerRow;
    case SM_CXICON:
    case SM_CYICON:
        return kIconSize;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return kSmallIconSize;
    default:
        return 0;
    }
}
