// Menus: loaded from standard (and extended) menu template bytes, kept as handles that are
// checked on every call, and shown by TrackPopupMenuEx as a small framed window over the
// others while a modal loop takes every key and click.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/render/boundary.h"
#include "platform/render/cell_text.h"
#include "platform/user/controls.h"
#include "platform/user/dialog.h"
#include "platform/user/focus.h"
#include "platform/user/input.h"
#include "platform/user/layout.h"
#include "platform/user/menu_template.h"
#include "platform/user/message_queue.h"
#include "platform/user/template_reader.h"
#include "qb/observer.h"

#if QB_HAVE_RESOURCES
#include "win/resource.h"
#endif

namespace qb::user {

namespace {

constexpr size_t kMaxMenuTemplateBytes = 64 * 1024;
constexpr size_t kMaxMenuItems = 1024;
constexpr int kMaxMenuDepth = 16;
constexpr size_t kMaxMenuText = 1024;
constexpr uintptr_t kFirstMenuHandle = 0x00200010;
constexpr uintptr_t kMenuHandleStep = 4;
constexpr WORD kExtendedMenuVersion = 1;
constexpr DWORD kExtendedPopupFlag = 0x01;
constexpr DWORD kExtendedLastFlag = 0x80;
constexpr DWORD kStateGrayed = 0x00000003;

struct MenuItem {
    UINT flags = 0;
    UINT_PTR id = 0;
    std::u16string text;
    HMENU submenu = nullptr;
};

struct Menu {
    std::vector<MenuItem> items;
};

std::mutex gMenuLock;
uintptr_t gNextMenu = kFirstMenuHandle;
std::unordered_map<uintptr_t, std::unique_ptr<Menu>>& Menus() {
    static auto* menus = new std::unordered_map<uintptr_t, std::unique_ptr<Menu>>();
    return *menus;
}

HMENU NewMenu() {
    std::lock_guard<std::mutex> lock(gMenuLock);
    HMENU handle = reinterpret_cast<HMENU>(gNextMenu);
    gNextMenu += kMenuHandleStep;
    Menus()[reinterpret_cast<uintptr_t>(handle)] = std::make_unique<Menu>();
    return handle;
}

// Menus are used on the thread that made them; the table itself is shared.
Menu* FindMenu(HMENU handle) {
    std::lock_guard<std::mutex> lock(gMenuLock);
    auto it = Menus().find(reinterpret_cast<uintptr_t>(handle));
    return it == Menus().end() ? nullptr : it->second.get();
}

void FreeMenu(HMENU handle, int depth) {
    std::unique_ptr<Menu> menu;
    {
        std::lock_guard<std::mutex> lock(gMenuLock);
        auto it = Menus().find(reinterpret_cast<uintptr_t>(handle));
        if (it == Menus().end()) return;
        menu = std::move(it->second);
        Menus().erase(it);
    }
    if (depth > kMaxMenuDepth) return;
    for (const MenuItem& item : menu->items) {
        if (item.submenu != nullptr) FreeMenu(item.submenu, depth + 1);
    }
}

bool ReadStandardItems(TemplateReader& in, Menu* menu, int depth) {
    if (depth > kMaxMenuDepth) return false;
    for (;;) {
        WORD flags = 0;
        if (!in.Word(&flags)) return false;
        MenuItem item;
        item.flags = flags & ~static_cast<UINT>(MF_END);
        if (!(flags & MF_POPUP)) {
            WORD id = 0;
            if (!in.Word(&id)) return false;
            item.id = id;
        }
        if (!in.String(&item.text)) return false;
        // MENUITEM SEPARATOR is an item with no flags, id or text.
        if (!(flags & MF_POPUP) && item.id == 0 && item.text.empty() && (item.flags & ~MF_END) == 0)
            item.flags |= MF_SEPARATOR;
        if (flags & MF_POPUP) {
            item.submenu = NewMenu();
            item.id = reinterpret_cast<UINT_PTR>(item.submenu);
            if (!ReadStandardItems(in, FindMenu(item.submenu), depth + 1)) {
                FreeMenu(item.submenu, 0);
                return false;
            }
        }
        if (menu->items.size() >= kMaxMenuItems) return false;
        menu->items.push_back(item);
        if (flags & MF_END) return true;
    }
}

bool ReadExtendedItems(TemplateReader& in, Menu* menu, int depth) {
    if (depth > kMaxMenuDepth) return false;
    for (;;) {
        DWORD type = 0;
        DWORD state = 0;
        DWORD id = 0;
        WORD resInfo = 0;
        if (!in.AlignDword() || !in.Dword(&type) || !in.Dword(&state) || !in.Dword(&id) ||
            !in.Word(&resInfo))
            return false;
        MenuItem item;
        if (!in.String(&item.text)) return false;
        item.flags =
            (type & MF_SEPARATOR) | ((state & kStateGrayed) ? MF_GRAYED : 0) | (state & MF_CHECKED);
        item.id = id;
        if (resInfo & kExtendedPopupFlag) {
            DWORD helpId = 0;
            if (!in.AlignDword() || !in.Dword(&helpId)) return false;
            item.flags |= MF_POPUP;
            item.submenu = NewMenu();
            if (!ReadExtendedItems(in, FindMenu(item.submenu), depth + 1)) {
                FreeMenu(item.submenu, 0);
                return false;
            }
        }
        if (menu->items.size() >= kMaxMenuItems) return false;
        menu->items.push_back(item);
        if (resInfo & kExtendedLastFlag) return true;
    }
}

HMENU ParseMenu(const void* bytes, size_t size) {
    if (bytes == nullptr) return nullptr;
    TemplateReader in(static_cast<const BYTE*>(bytes), size, kMaxMenuText);
    WORD version = 0;
    WORD offset = 0;
    if (!in.Word(&version) || !in.Word(&offset)) return nullptr;
    HMENU handle = NewMenu();
    bool ok = false;
    if (version == kExtendedMenuVersion) {
        // The offset counts from the end of the version and offset words.
        ok = in.Skip(offset) && ReadExtendedItems(in, FindMenu(handle), 0);
    } else if (version == 0) {
        ok = in.Skip(offset) && ReadStandardItems(in, FindMenu(handle), 0);
    }
    if (!ok) {
        FreeMenu(handle, 0);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return handle;
}

const MenuItem* ItemOf(Menu* menu, UINT which, UINT flags) {
    if (flags & MF_BYPOSITION) {
        if (which >= menu->items.size()) return nullptr;
        return &menu->items[which];
    }
    for (const MenuItem& item : menu->items) {
        if (!(item.flags & MF_POPUP) && item.id == which) return &item;
    }
    return nullptr;
}

bool Selectable(const MenuItem& item) {
    return !(item.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED | MF_POPUP));
}

// ---- The tracking window --------------------------------------------------------------

struct PopupState : ControlState {
    HMENU menu = nullptr;
    int highlight = -1;
    bool done = false;
    UINT chosen = 0;
};

PopupState* PopupOf(Window* w) {
    if (!w->state) w->state = std::make_unique<PopupState>();
    return static_cast<PopupState*>(w->state.get());
}

void Finish(Window* popup, UINT id) {
    PopupState* s = PopupOf(popup);
    s->done = true;
    s->chosen = id;
    PostMessageW(popup->handle, WM_NULL, 0, 0);
}

void Choose(Window* popup, int index) {
    PopupState* s = PopupOf(popup);
    Menu* menu = FindMenu(s->menu);
    if (menu == nullptr || index < 0 || index >= static_cast<int>(menu->items.size())) return;
    const MenuItem& item = menu->items[static_cast<size_t>(index)];
    if (!Selectable(item)) {
        Beep(MB_OK);
        return;
    }
    Finish(popup, static_cast<UINT>(item.id));
}

void MoveHighlight(Window* popup, int step) {
    PopupState* s = PopupOf(popup);
    Menu* menu = FindMenu(s->menu);
    if (menu == nullptr || menu->items.empty()) return;
    int n = static_cast<int>(menu->items.size());
    int index = s->highlight;
    for (int k = 0; k < n; ++k) {
        index = ((index < 0 ? (step > 0 ? -1 : 0) : index) + step + n) % n;
        if (!(menu->items[static_cast<size_t>(index)].flags & MF_SEPARATOR)) {
            s->highlight = index;
            Invalidate();
            return;
        }
    }
}

} // namespace

LRESULT CALLBACK MenuPopupProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FromHandle(hwnd);
    if (w == nullptr) return 0;
    PopupState* s = PopupOf(w);
    Menu* menu = FindMenu(s->menu);
    switch (msg) {
    case WM_KEYDOWN:
        switch (wParam) {
        case VK_UP:
            MoveHighlight(w, -1);
            break;
        case VK_DOWN:
            MoveHighlight(w, 1);
            break;
        case VK_HOME:
            s->highlight = -1;
            MoveHighlight(w, 1);
            break;
        case VK_END:
            s->highlight = 0;
            MoveHighlight(w, -1);
            break;
        case VK_RETURN:
        case VK_SPACE:
            Choose(w, s->highlight);
            break;
        case VK_ESCAPE:
        case VK_LEFT:
            Finish(w, 0);
            break;
        default:
            break;
        }
        return 0;
    case WM_CHAR:
    case WM_SYSCHAR: {
        if (menu == nullptr || wParam <= u' ') return 0;
        char16_t wanted = FoldCase(static_cast<char16_t>(wParam));
        for (size_t i = 0; i < menu->items.size(); ++i) {
            char16_t mark = 0;
            StripAccelerator(menu->items[i].text, &mark);
            if (mark != 0 && FoldCase(mark) == wanted) {
                s->highlight = static_cast<int>(i);
                Invalidate();
                Choose(w, static_cast<int>(i));
                return 0;
            }
        }
        Beep(MB_OK);
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: {
        int x = static_cast<SHORT>(LOWORD(lParam));
        int y = static_cast<SHORT>(HIWORD(lParam));
        render::CellRect client = ClientScreenCells(w);
        int row = y < 0 ? -1 : y / kUnitsPerRow;
        int column = x < 0 ? -1 : x / kUnitsPerColumn;
        bool inside = row >= 0 && column >= 0 && row < client.Height() && column < client.Width();
        if (!inside) {
            if (msg == WM_LBUTTONDOWN) Finish(w, 0); // a click elsewhere dismisses the menu
            return 0;
        }
        s->highlight = row;
        Invalidate();
        if (msg == WM_LBUTTONUP) Choose(w, row);
        return 0;
    }
    case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

void PaintMenuPopup(Window* w, render::Canvas& canvas) {
    PopupState* s = PopupOf(w);
    Menu* menu = FindMenu(s->menu);
    if (menu == nullptr) return;
    int width = canvas.Width();
    for (size_t i = 0; i < menu->items.size() && static_cast<int>(i) < canvas.Height(); ++i) {
        const MenuItem& item = menu->items[i];
        int row = static_cast<int>(i);
        if (item.flags & MF_SEPARATOR) {
            canvas.HLine(0, row, width, render::kAttrFrame);
            continue;
        }
        uint16_t attr = render::kAttrNone;
        if (!Selectable(item)) attr |= render::kAttrDisabled;
        if (row == s->highlight) attr |= render::kAttrSelected;
        canvas.Fill(render::CellRect{0, row, width, row + 1}, U' ', attr);
        if (item.flags & MF_CHECKED) canvas.Put(0, row, U'*', attr);
        std::u16string text = StripAccelerator(item.text, nullptr);
        std::u16string accelerator;
        size_t tab = text.find(u'\t');
        if (tab != std::u16string::npos) {
            accelerator = text.substr(tab + 1);
            text.resize(tab);
        }
        canvas.Text(1, row, text, width - 1, attr);
        if (!accelerator.empty()) {
            int aw = render::TextWidth(accelerator);
            canvas.Text(width - 1 - aw, row, accelerator, aw, attr);
        }
        if (item.flags & MF_POPUP) canvas.Put(width - 1, row, U'>', attr);
    }
}

HMENU LoadMenuFromBytes(const void* bytes, size_t size) {
    return ParseMenu(bytes, size);
}

} // namespace qb::user

using namespace qb::user;

HMENU WINAPI LoadMenuIndirectW(const void* bytes) {
    return ParseMenu(bytes, kMaxMenuTemplateBytes);
}

HMENU WINAPI LoadMenuW(HINSTANCE instance, LPCWSTR name) {
#if QB_HAVE_RESOURCES
    HRSRC resource = FindResourceW(instance, name, RT_MENU);
    if (resource == nullptr) return nullptr;
    HGLOBAL loaded = LoadResource(instance, resource);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) return nullptr;
    return ParseMenu(bytes, SizeofResource(instance, resource));
#else
    (void)instance;
    (void)name;
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
#endif
}

HMENU WINAPI CreatePopupMenu(void) {
    return NewMenu();
}

BOOL WINAPI AppendMenuW(HMENU handle, UINT flags, UINT_PTR id, LPCWSTR text) {
    Menu* menu = FindMenu(handle);
    if (menu == nullptr) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    if (menu->items.size() >= kMaxMenuItems) return FALSE;
    MenuItem item;
    item.flags = flags & ~static_cast<UINT>(MF_BYPOSITION);
    item.id = id;
    if (flags & MF_POPUP) item.submenu = reinterpret_cast<HMENU>(id);
    for (size_t i = 0;
         !(flags & MF_SEPARATOR) && text != nullptr && text[i] != 0 && i < kMaxMenuText; ++i)
        item.text.push_back(text[i]);
    menu->items.push_back(item);
    return TRUE;
}

HMENU WINAPI GetSubMenu(HMENU handle, int position) {
    Menu* menu = FindMenu(handle);
    if (menu == nullptr || position < 0 || static_cast<size_t>(position) >= menu->items.size())
        return nullptr;
    return menu->items[static_cast<size_t>(position)].submenu;
}

int WINAPI GetMenuItemCount(HMENU handle) {
    Menu* menu = FindMenu(handle);
    if (menu == nullptr) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return -1;
    }
    return static_cast<int>(menu->items.size());
}

UINT WINAPI GetMenuItemID(HMENU handle, int position) {
    Menu* menu = FindMenu(handle);
    if (menu == nullptr || position < 0 || static_cast<size_t>(position) >= menu->items.size())
        return static_cast<UINT>(-1);
    const MenuItem& item = menu->items[static_cast<size_t>(position)];
    if (item.flags & MF_POPUP) return static_cast<UINT>(-1);
    return static_cast<UINT>(item.id);
}

UINT WINAPI GetMenuState(HMENU handle, UINT which, UINT flags) {
    Menu* menu = FindMenu(handle);
    const MenuItem* item = menu != nullptr ? ItemOf(menu, which, flags) : nullptr;
    if (item == nullptr) return static_cast<UINT>(-1);
    UINT state = item->flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_SEPARATOR | MF_POPUP);
    if (item->submenu != nullptr) {
        if (Menu* sub = FindMenu(item->submenu))
            state |= static_cast<UINT>(std::min<size_t>(sub->items.size(), 0xFF)) << 8;
    }
    return state;
}

int WINAPI GetMenuStringW(HMENU handle, UINT which, LPWSTR buffer, int max, UINT flags) {
    Menu* menu = FindMenu(handle);
    const MenuItem* item = menu != nullptr ? ItemOf(menu, which, flags) : nullptr;
    if (item == nullptr) return 0;
    if (buffer == nullptr || max <= 0) return static_cast<int>(item->text.size());
    size_t n = std::min(item->text.size(), static_cast<size_t>(max - 1));
    std::copy(item->text.begin(), item->text.begin() + static_cast<std::ptrdiff_t>(n), buffer);
    buffer[n] = 0;
    return static_cast<int>(n);
}

BOOL WINAPI EnableMenuItem(HMENU handle, UINT which, UINT enable) {
    Menu* menu = FindMenu(handle);
    auto* item = menu != nullptr ? const_cast<MenuItem*>(ItemOf(menu, which, enable)) : nullptr;
    if (item == nullptr) return static_cast<BOOL>(-1);
    BOOL previous = static_cast<BOOL>(item->flags & (MF_GRAYED | MF_DISABLED));
    item->flags = (item->flags & ~static_cast<UINT>(MF_GRAYED | MF_DISABLED)) |
                  (enable & (MF_GRAYED | MF_DISABLED));
    Invalidate();
    return previous;
}

BOOL WINAPI IsMenu(HMENU handle) {
    return FindMenu(handle) != nullptr;
}

BOOL WINAPI DestroyMenu(HMENU handle) {
    if (FindMenu(handle) == nullptr) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    FreeMenu(handle, 0);
    return TRUE;
}

BOOL WINAPI TrackPopupMenuEx(HMENU handle, UINT flags, int x, int y, HWND owner, LPTPMPARAMS) {
    EnsureRendererLink();
    Menu* menu = FindMenu(handle);
    if (menu == nullptr) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    if (FromHandle(owner) == nullptr) return FALSE;
    bool returnCommand = (flags & TPM_RETURNCMD) != 0;

    ModalReport report;
    report.kind = ModalKind::kMenu;
    report.owner = owner;
    ModalDecision decision = ObserveModalStarting(ModalKind::kMenu);
    report.plan = decision.plan;
    UINT chosen = 0;
    bool tracked = false;
    if (decision.plan == ModalPlan::kAnswer) {
        UINT wanted = static_cast<UINT>(decision.answer);
        const MenuItem* item = ItemOf(menu, wanted, MF_BYCOMMAND);
        if (item != nullptr && Selectable(*item))
            chosen = wanted;
        else
            report.abandoned = wanted != 0; // a grayed or unknown item can't be chosen
        tracked = true;
    } else if (decision.plan == ModalPlan::kRefuse) {
        tracked = true;
    }
    if (!tracked) {
        int columns = 4;
        for (const MenuItem& item : menu->items)
            columns =
                std::max(columns, qb::render::TextWidth(StripAccelerator(item.text, nullptr)) + 3);
        int rows = std::max<int>(1, static_cast<int>(menu->items.size()));
        int width = (columns + 2) * kUnitsPerColumn;
        int height = (rows + 2) * kUnitsPerRow;
        int left = x;
        int top = y;
        if (flags & TPM_RIGHTALIGN)
            left = x - width;
        else if (flags & TPM_CENTERALIGN)
            left = x - width / 2;
        if (flags & TPM_BOTTOMALIGN)
            top = y - height;
        else if (flags & TPM_VCENTERALIGN)
            top = y - height / 2;
        int screenW = GetSystemMetrics(SM_CXSCREEN);
        int screenH = GetSystemMetrics(SM_CYSCREEN);
        left = std::max(0, std::min(left, screenW - width));
        top = std::max(0, std::min(top, screenH - height));

        CreateParams params;
        params.cls = ClassOfKind(Kind::kMenuPopup);
        params.style = WS_POPUP | WS_BORDER | WS_VISIBLE;
        params.exStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
        params.rect = RECT{left, top, left + width, top + height};
        params.parentOrOwner = owner;
        Window* popup = CreateWindowObject(params);
        if (popup == nullptr) return FALSE;
        HWND popupHandle = popup->handle;
        WindowRef ref(popup);
        PopupState* state = PopupOf(popup);
        state->menu = handle;
        MoveHighlight(popup, 1);
        RaiseTopLevel(popup);
        MessageQueue* queue = CurrentQueue(true);
        HWND previousCapture = queue->capture;
        queue->capture = popupHandle;
        Invalidate();
        bool driven = decision.plan == ModalPlan::kDrive;
        if (driven) {
            ObserveModalShown(popupHandle, decision, [popupHandle] {
                if (Window* p = FromHandle(popupHandle)) Finish(p, 0);
            });
        }
        MSG msg;
        while (ref.Alive() && !state->done && NextModalMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (driven) report.abandoned = ObserveModalLoopEnded(popupHandle);
        chosen = ref.Alive() ? state->chosen : 0;
        queue->capture = previousCapture;
        if (ref.Alive()) DestroyWindow(popupHandle);
    }
    report.result = static_cast<INT_PTR>(chosen);
    ObserveModalEnded(report);
    if (returnCommand) return static_cast<BOOL>(chosen);
    if (chosen != 0 && IsWindow(owner))
        PostMessageW(owner, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(chosen), 0), 0);
    return TRUE;
}
