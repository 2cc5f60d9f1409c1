#include "platform/user/dialog.h"

#include <algorithm>

#include "platform/render/boundary.h"
#include "platform/user/controls.h"
#include "platform/user/focus.h"
#include "platform/user/input.h"
#include "platform/user/label_room.h"
#include "platform/user/layout.h"
#include "platform/user/message_queue.h"

#if QB_HAVE_RESOURCES
#include "win/resource.h"
#endif

namespace qb::user {

namespace {

constexpr DWORD kErrorControlIdNotFound = 1421;
constexpr size_t kNumberTextCapacity = 64; // digits of a dialog item number, terminator in

bool Focusable(const Window* w) {
    return (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED);
}

// A control the arrow keys may move to: one a person sees and can use, and one that shows
// that it has the focus (a label, an icon, a group box or a progress bar shows nothing).
bool ShowsFocus(Window* w) {
    if (!ReallyVisible(w) || !ReallyEnabled(w)) return false;
    if (w->cls->kind == Kind::kStatic || w->cls->kind == Kind::kProgress) return false;
    return (CallProc(w, WM_GETDLGCODE, 0, 0) & DLGC_STATIC) == 0;
}

const ClassInfo* ItemClass(const NameOrOrdinal& cls) {
    if (cls.isOrdinal)
        return FindClass(reinterpret_cast<LPCWSTR>(static_cast<uintptr_t>(cls.ordinal)));
    return FindClass(cls.name.c_str());
}

HICON LoadItemIcon(HINSTANCE instance, WORD id) {
#if QB_HAVE_RESOURCES
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, 0, 0, 0));
#else
    (void)instance;
    (void)id;
    return nullptr;
#endif
}

void RestoreFocus(Window* dialog);

// On activation the control that had the focus when the dialog lost it gets it back as it
// was, caret and selection untouched (a plain focus change): a person's next key goes on
// where they left off. Only a dialog with no such control (just shown, or the control is
// gone) starts at its first tab stop.
void ReactivateFocus(Window* dialog) {
    Window* saved = FromHandle(dialog->lastFocus);
    if (saved != nullptr && saved != dialog && !saved->destroyed && IsDescendant(dialog, saved) &&
        ReallyVisible(saved)) {
        SetFocusTo(saved);
        return;
    }
    RestoreFocus(dialog);
}

void RestoreFocus(Window* dialog) {
    if (dialog->style & WS_DISABLED) return;
    Window* last = FromHandle(dialog->lastFocus);
    if (last != nullptr && IsDescendant(dialog, last) && last != dialog && ReallyEnabled(last) &&
        ReallyVisible(last)) {
        DialogSetFocus(last);
        return;
    }
    if (Window* first = NextTabItem(dialog, nullptr, false)) DialogSetFocus(first);
}

// The dialog procedure placed the focus itself (or filled the field after the dialog manager
// focused it on showing): the edit that has it when the dialog starts has its whole text
// selected all the same, so that what a person types or pastes first replaces it.
void SelectStartFocus(Window* dialog) {
    Window* focus = FromHandle(GetFocus());
    if (focus == nullptr || focus == dialog || !IsDescendant(dialog, focus)) return;
    if (CallProc(focus, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) CallProc(focus, EM_SETSEL, 0, -1);
}

LRESULT DefaultDialogHandling(Window* dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = dialog->handle;
    switch (msg) {
    case WM_CLOSE: {
        // The close box, Alt+F4: the dialog is asked to cancel.
        HWND cancel = GetDlgItem(hwnd, IDCANCEL);
        if (cancel != nullptr && !IsWindowEnabled(cancel)) {
            Beep(MB_OK);
            return 0;
        }
        PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(cancel));
        return 0;
    }
    case DM_GETDEFID: {
        UINT id = DefaultButtonId(dialog);
        return id != 0 ? MAKELONG(id, DC_HASDEFID) : 0;
    }
    case DM_SETDEFID:
        dialog->defaultId = static_cast<UINT>(wParam);
        for (Window* child : dialog->children) {
            if (child->cls->kind != Kind::kButton) continue;
            DWORD type = child->style & BS_TYPEMASK;
            if (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON) continue;
            DWORD style = (child->style & ~static_cast<DWORD>(BS_TYPEMASK)) |
                          (child->id == wParam ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
            child->style = style;
        }
        Invalidate();
        return TRUE;
    case WM_NEXTDLGCTL: {
        Window* target = nullptr;
        if (LOWORD(lParam)) {
            target = FromHandle(reinterpret_cast<HWND>(wParam));
        } else {
            target = NextTabItem(dialog, FromHandle(GetFocus()), wParam != 0);
        }
        if (target != nullptr && IsDescendant(dialog, target)) DialogSetFocus(target);
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            Window* f = FromHandle(focus);
            if (f != nullptr && f != dialog && IsDescendant(dialog, f)) dialog->lastFocus = focus;
        } else {
            ReactivateFocus(dialog);
        }
        return 0;
    case WM_SETFOCUS:
        RestoreFocus(dialog);
        return 0;
    case WM_SHOWWINDOW:
        if (!wParam) {
            HWND focus = GetFocus();
            Window* f = FromHandle(focus);
            if (f != nullptr && f != dialog && IsDescendant(dialog, f)) dialog->lastFocus = focus;
        }
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

// Messages whose result the dialog procedure returns directly, not through DWLP_MSGRESULT.
bool ReturnsDirectly(UINT msg) {
    return msg == WM_INITDIALOG;
}

int RoundUp(int units, int step) {
    return units <= 0 ? 0 : (units + step - 1) / step * step;
}

RECT PlaceDialog(const DialogTemplate& t, Window* dialogOwner, int frameW, int frameH) {
    // The client area takes whole cells, as a dialog takes whole pixels on Windows.
    int width = RoundUp(t.cx, kUnitsPerColumn) + 2 * frameW;
    int height = RoundUp(t.cy, kUnitsPerRow) + 2 * frameH;
    int x = t.x;
    int y = t.y;
    int screenW = GetSystemMetrics(SM_CXSCREEN);
    int screenH = GetSystemMetrics(SM_CYSCREEN);
    if (t.style & DS_CENTER) {
        x = (screenW - width) / 2;
        y = (screenH - height) / 2;
    } else if (dialogOwner != nullptr && !(t.style & DS_ABSALIGN)) {
        POINT origin{0, 0};
        ClientToScreen(dialogOwner->handle, &origin);
        x += origin.x;
        y += origin.y;
    }
    // Keep it on the screen where it fits.
    if (x + width > screenW) x = screenW - width;
    if (y + height > screenH) y = screenH - height;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    return RECT{x, y, x + width, y + height};
}

} // namespace

UINT DefaultButtonId(Window* dialog) {
    if (dialog->defaultId != 0) return dialog->defaultId;
    for (Window* child : dialog->children) {
        if (child->cls->kind == Kind::kButton && (child->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            return static_cast<UINT>(child->id);
    }
    return 0;
}

Window* NextTabItem(Window* dialog, Window* from, bool previous) {
    auto& list = dialog->children;
    if (list.empty()) return nullptr;
    int n = static_cast<int>(list.size());
    int start = -1;
    if (from != nullptr) {
        // A control inside a child of the dialog counts as that child.
        while (from != nullptr && from->parent != dialog) from = from->parent;
        auto it = std::find(list.begin(), list.end(), from);
        if (it != list.end()) start = static_cast<int>(it - list.begin());
    }
    for (int step = 1; step <= n; ++step) {
        int index;
        if (start < 0)
            index = previous ? n - step : step - 1;
        else
            index = ((start + (previous ? -step : step)) % n + n) % n;
        Window* candidate = list[static_cast<size_t>(index)];
        if ((candidate->style & WS_TABSTOP) && Focusable(candidate)) return candidate;
    }
    return nullptr;
}

Window* NextGroupItem(Window* dialog, Window* from, bool previous) {
    auto& list = dialog->children;
    auto it = std::find(list.begin(), list.end(), from);
    if (it == list.end()) return nullptr;
    size_t index = static_cast<size_t>(it - list.begin());
    size_t first = index;
    while (first > 0 && !(list[first]->style & WS_GROUP)) --first;
    size_t last = index + 1;
    while (last < list.size() && !(list[last]->style & WS_GROUP)) ++last;
    size_t count = last - first;
    for (size_t step = 1; step < count; ++step) {
        size_t offset =
            previous ? (index - first + count - step) % count : (index - first + step) % count;
        Window* candidate = list[first + offset];
        if (ShowsFocus(candidate)) return candidate;
    }
    return nullptr;
}

Window* CreateDialogFromTemplate(HINSTANCE instance, const DialogTemplate& t, HWND owner,
                                 DLGPROC proc, LPARAM param, bool modal) {
    const ClassInfo* cls =
        t.windowClass.Empty() ? ClassOfKind(Kind::kDialog) : ItemClass(t.windowClass);
    if (cls == nullptr) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    Window* ownerWindow = owner != nullptr ? FromHandle(owner) : nullptr;
    if (owner != nullptr && ownerWindow == nullptr) return nullptr;
    CreateParams params;
    params.exStyle = t.exStyle;
    params.cls = cls;
    params.text = t.title;
    params.style = t.style & ~static_cast<DWORD>(WS_VISIBLE);
    params.parentOrOwner = owner;
    params.instance = instance;
    // The frame is known only from the style: measure it on a scratch window description.
    Window probe;
    probe.style = params.style;
    probe.exStyle = params.exStyle;
    probe.cls = cls;
    bool child = (params.style & WS_CHILD) != 0;
    if (child) {
        params.rect =
            RECT{t.x, t.y, t.x + RoundUp(t.cx, kUnitsPerColumn), t.y + RoundUp(t.cy, kUnitsPerRow)};
    } else {
        params.rect = PlaceDialog(t, ownerWindow != nullptr ? RootOf(ownerWindow) : nullptr,
                                  FrameWidthUnits(&probe), FrameHeightUnits(&probe));
    }
    Window* dialog = CreateWindowObject(params);
    if (dialog == nullptr) return nullptr;
    HWND handle = dialog->handle;
    WindowRef ref(dialog);
    dialog->dlgProc = proc;
    dialog->modal = modal;

    for (const DialogItem& item : t.items) {
        const ClassInfo* itemClass = ItemClass(item.windowClass);
        if (itemClass == nullptr) {
            if (t.style & DS_NOFAILCREATE) continue;
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            DestroyWindow(handle);
            return nullptr;
        }
        CreateParams itemParams;
        itemParams.exStyle = item.exStyle;
        itemParams.cls = itemClass;
        itemParams.text = item.title.isOrdinal ? u"" : item.title.name;
        itemParams.style = (item.style | WS_CHILD) & ~static_cast<DWORD>(WS_POPUP);
        itemParams.rect = RECT{item.x, item.y, item.x + item.cx, item.y + item.cy};
        itemParams.parentOrOwner = handle;
        itemParams.id = static_cast<UINT_PTR>(static_cast<WORD>(item.id));
        itemParams.instance = instance;
        itemParams.createParam =
            item.creationData.empty() ? nullptr : const_cast<BYTE*>(item.creationData.data());
        Window* control = CreateWindowObject(itemParams);
        if (!ref.Alive()) return nullptr;
        if (control == nullptr) {
            if (t.style & DS_NOFAILCREATE) continue;
            DestroyWindow(handle);
            return nullptr;
        }
        if (item.title.isOrdinal && itemClass->kind == Kind::kStatic) {
            if (HICON icon = LoadItemIcon(instance, item.title.ordinal))
                CallProc(control, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
        }
    }

    if (t.style & DS_SETFONT) CallProc(dialog, WM_SETFONT, 0, FALSE);
    if (!ref.Alive()) return nullptr;
    Window* firstTab = NextTabItem(dialog, nullptr, false);
    HWND firstHandle = firstTab != nullptr ? firstTab->handle : nullptr;
    LRESULT setDefaultFocus =
        CallProc(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstHandle), param);
    if (!ref.Alive()) return nullptr;
    // Its texts are set now: the width its labels need is settled once, before it is drawn.
    WidenForLabels(dialog);
    if (setDefaultFocus && !dialog->dialogEnded) {
        if (Window* target = FromHandle(firstHandle)) {
            if (IsDescendant(dialog, target)) DialogSetFocus(target);
        }
    } else if (!dialog->dialogEnded) {
        SelectStartFocus(dialog);
    }
    // The template's WS_VISIBLE shows the dialog once it is initialised, as on Windows.
    if (!modal && (t.style & WS_VISIBLE) && !(dialog->style & WS_VISIBLE) && !dialog->dialogEnded)
        ShowWindow(handle, SW_SHOWNORMAL);
    if (!ref.Alive()) return nullptr;
    return dialog;
}

INT_PTR RunModal(Window* dialog, Window* owner) {
    WindowRef ref(dialog);
    HWND handle = dialog->handle;
    if (!dialog->dialogEnded) ShowWindow(handle, SW_SHOWNORMAL);
    MSG msg;
    while (ref.Alive() && !dialog->dialogEnded && NextModalMessage(&msg)) {
        if (!IsDialogMessageW(handle, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    INT_PTR result = ref.Alive() ? dialog->dialogResult : 0;
    if (owner != nullptr && !owner->destroyed && (!ref.Alive() || dialog->ownerDisabled))
        EnableWindow(owner->handle, TRUE);
    if (ref.Alive()) dialog->ownerDisabled = false;
    if (ref.Alive()) DestroyWindow(handle);
    return result;
}

bool NextModalMessage(MSG* msg) {
    BOOL got = GetMessageW(msg, nullptr, 0, 0);
    // The quit message ends the modal loop and goes on to the outer loop.
    if (got == 0) PostQuitMessage(static_cast<int>(msg->wParam));
    return got > 0;
}

INT_PTR RunModalTemplate(HINSTANCE instance, const DialogTemplate& t, HWND parent, DLGPROC proc,
                         LPARAM param, const ModalDecision& decision, INT_PTR abandonResult,
                         bool* abandoned) {
    *abandoned = false;
    Window* owner = nullptr;
    if (parent != nullptr) {
        Window* given = FromHandle(parent);
        if (given == nullptr) return -1;
        owner = RootOf(given);
    }
    if (decision.plan == ModalPlan::kRefuse) return -1;
    // The owner is disabled first, so the dialog's own start sees it as Windows shows it.
    bool reenable = owner != nullptr && !(owner->style & WS_DISABLED);
    if (reenable) EnableWindow(owner->handle, FALSE);
    Window* dialog = CreateDialogFromTemplate(
        instance, t, owner != nullptr ? owner->handle : nullptr, proc, param, true);
    if (dialog == nullptr) {
        if (reenable && !owner->destroyed) EnableWindow(owner->handle, TRUE);
        return -1;
    }
    HWND handle = dialog->handle;
    WindowRef ref(dialog);
    dialog->ownerDisabled = reenable;
    if (!dialog->dialogEnded) ShowWindow(handle, SW_SHOWNORMAL);
    if (decision.plan == ModalPlan::kAnswer && ref.Alive() && !dialog->dialogEnded)
        EndDialog(handle, decision.answer);
    bool driven = decision.plan == ModalPlan::kDrive;
    if (driven && ref.Alive() && !dialog->dialogEnded) {
        ObserveModalShown(handle, decision,
                          [handle, abandonResult] { EndDialog(handle, abandonResult); });
    }
    INT_PTR result = RunModal(dialog, reenable ? owner : nullptr);
    if (driven) *abandoned = ObserveModalLoopEnded(handle);
    return result;
}

} // namespace qb::user

using namespace qb::user;

LRESULT WINAPI DefDlgProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DialogWindowProc(hwnd, msg, wParam, lParam);
}

namespace qb::user {
LRESULT CALLBACK DialogWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* dialog = FromHandle(hwnd);
    if (dialog == nullptr) return 0;
    WindowRef ref(dialog);
    if (dialog->dlgProc != nullptr) {
        dialog->msgResult = 0;
        INT_PTR handled = dialog->dlgProc(hwnd, msg, wParam, lParam);
        if (!ref.Alive()) return ReturnsDirectly(msg) ? handled : 0;
        if (ReturnsDirectly(msg)) return handled;
        if (handled) return dialog->msgResult;
    } else if (msg == WM_INITDIALOG) {
        return TRUE;
    }
    return DefaultDialogHandling(dialog, msg, wParam, lParam);
}
} // namespace qb::user

HWND WINAPI CreateDialogIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW bytes, HWND parent,
                                       DLGPROC proc, LPARAM param) {
    EnsureRendererLink();
    DialogTemplate t;
    if (!ParseDialogTemplate(bytes, kMaxTemplateBytes, &t)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Window* dialog = CreateDialogFromTemplate(instance, t, parent, proc, param, false);
    return dialog != nullptr ? dialog->handle : nullptr;
}

INT_PTR WINAPI DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW bytes, HWND parent,
                                       DLGPROC proc, LPARAM param) {
    EnsureRendererLink();
    DialogTemplate t;
    ModalReport report;
    report.kind = ModalKind::kDialog;
    report.owner = parent;
    report.dialogTemplate = bytes;
    if (!ParseDialogTemplate(bytes, kMaxTemplateBytes, &t)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        report.result = -1;
        ObserveModalEnded(report);
        return -1;
    }
    report.title = t.title;
    ModalDecision decision = ObserveModalStarting(ModalKind::kDialog, bytes);
    report.plan = decision.plan;
    report.result =
        RunModalTemplate(instance, t, parent, proc, param, decision, -1, &report.abandoned);
    ObserveModalEnded(report);
    return report.result;
}

BOOL WINAPI EndDialog(HWND hwnd, INT_PTR result) {
    Window* dialog = FromHandle(hwnd);
    if (dialog == nullptr) return FALSE;
    dialog->dialogEnded = true;
    dialog->dialogResult = result;
    if (dialog->ownerDisabled) {
        // The owner comes back before the dialog goes, so it is the one activated.
        dialog->ownerDisabled = false;
        if (FromHandle(dialog->owner) != nullptr) EnableWindow(dialog->owner, TRUE);
    }
    ShowWindow(hwnd, SW_HIDE);
    PostMessageW(hwnd, WM_NULL, 0, 0);
    return TRUE;
}

BOOL WINAPI IsDialogMessageW(HWND hwnd, LPMSG msg) {
    if (msg == nullptr) return FALSE;
    Window* dialog = FromHandle(hwnd);
    Window* target = FromHandle(msg->hwnd);
    if (dialog == nullptr || target == nullptr || !IsDescendant(dialog, target)) return FALSE;
    TranslateMessage(msg);
    DispatchMessageW(msg);
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND hwnd, int id) {
    Window* dialog = FromHandle(hwnd);
    if (dialog == nullptr) return nullptr;
    for (Window* child : dialog->children) {
        if (static_cast<int>(child->id) == id ||
            static_cast<WORD>(child->id) == static_cast<WORD>(id))
            return child->handle;
    }
    SetLastError(kErrorControlIdNotFound);
    return nullptr;
}

int WINAPI GetDlgCtrlID(HWND hwnd) {
    Window* window = FromHandle(hwnd);
    if (window == nullptr || window->parent == nullptr) return 0;
    return static_cast<int>(window->id);
}

LRESULT WINAPI SendDlgItemMessageW(HWND hwnd, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND item = GetDlgItem(hwnd, id);
    return item != nullptr ? SendMessageW(item, msg, wParam, lParam) : 0;
}

BOOL WINAPI SetDlgItemTextW(HWND hwnd, int id, LPCWSTR text) {
    HWND item = GetDlgItem(hwnd, id);
    return item != nullptr ? SetWindowTextW(item, text) : FALSE;
}

UINT WINAPI GetDlgItemTextW(HWND hwnd, int id, LPWSTR buffer, int max) {
    if (buffer != nullptr && max > 0) buffer[0] = 0;
    HWND item = GetDlgItem(hwnd, id);
    if (item == nullptr) return 0;
    return static_cast<UINT>(GetWindowTextW(item, buffer, max));
}

BOOL WINAPI SetDlgItemInt(HWND hwnd, int id, UINT value, BOOL isSigned) {
    WCHAR text[kNumberTextCapacity];
    size_t n = 0;
    bool negative = isSigned && static_cast<int>(value) < 0;
    uint64_t magnitude =
        negative ? static_cast<uint64_t>(-static_cast<int64_t>(static_cast<int>(value))) : value;
    WCHAR digits[kNumberTextCapacity];
    size_t count = 0;
    do {
        digits[count++] = static_cast<WCHAR>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) text[n++] = u'-';
    while (count > 0) text[n++] = digits[--count];
    text[n] = 0;
    return SetDlgItemTextW(hwnd, id, text);
}

UINT WINAPI GetDlgItemInt(HWND hwnd, int id, BOOL* translated, BOOL isSigned) {
    if (translated != nullptr) *translated = FALSE;
    WCHAR text[kNumberTextCapacity];
    HWND item = GetDlgItem(hwnd, id);
    if (item == nullptr) return 0;
    int length = GetWindowTextW(item, text, static_cast<int>(kNumberTextCapacity));
    int i = 0;
    while (i < length && text[i] == u' ') ++i;
    bool negative = false;
    if (isSigned && i < length && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    int firstDigit = i;
    uint64_t value = 0;
    // Digits are read up to the first other character, as Windows does.
    while (i < length && text[i] >= u'0' && text[i] <= u'9') {
        value = value * 10 + static_cast<uint64_t>(text[i] - u'0');
        if (value > 0xFFFFFFFFull) return 0;
        ++i;
    }
    if (i == firstDigit) return 0;
    if (isSigned) {
        if (negative ? value > 0x80000000ull : value > 0x7FFFFFFFull) return 0;
        if (translated != nullptr) *translated = TRUE;
        int64_t signedValue = negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
        return static_cast<UINT>(static_cast<int32_t>(signedValue));
    }
    if (translated != nullptr) *translated = TRUE;
    return static_cast<UINT>(value);
}

BOOL WINAPI CheckDlgButton(HWND hwnd, int id, UINT check) {
    HWND item = GetDlgItem(hwnd, id);
    if (item == nullptr) return FALSE;
    SendMessageW(item, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND hwnd, int id) {
    HWND item = GetDlgItem(hwnd, id);
    if (item == nullptr) return 0;
    return static_cast<UINT>(SendMessageW(item, BM_GETCHECK, 0, 0));
}

HWND WINAPI GetNextDlgTabItem(HWND hwnd, HWND control, BOOL previous) {
    Window* dialog = FromHandle(hwnd);
    if (dialog == nullptr) return nullptr;
    Window* from = control != nullptr ? FromHandle(control) : nullptr;
    Window* next = NextTabItem(dialog, from, previous != FALSE);
    return next != nullptr ? next->handle : nullptr;
}

HWND WINAPI GetNextDlgGroupItem(HWND hwnd, HWND control, BOOL previous) {
    Window* dialog = FromHandle(hwnd);
    Window* from = FromHandle(control);
    if (dialog == nullptr || from == nullptr) return nullptr;
    Window* next = NextGroupItem(dialog, from, previous != FALSE);
    return next != nullptr ? next->handle : control;
}

BOOL WINAPI MapDialogRect(HWND hwnd, LPRECT rect) {
    // One dialog unit is one unit of the screen's coordinates.
    return IsWindow(hwnd) && rect != nullptr;
}

LONG WINAPI GetDialogBaseUnits(void) {
    return MAKELONG(kUnitsPerColumn, kUnitsPerRow);
}
