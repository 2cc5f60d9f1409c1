#include "platform/user/window.h"

#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "platform/render/boundary.h"
#include "platform/user/controls.h"
#include "platform/user/focus.h"
#include "platform/user/input.h"
#include "platform/user/message_queue.h"

namespace qb::user {

namespace {

// Handles are never reused: a stale handle fails cleanly instead of reaching a newer window.
constexpr uintptr_t kFirstHandle = 0x00010010;
constexpr uintptr_t kHandleStep = 4;
constexpr size_t kMaxClasses = 256;

std::mutex gTableLock;
uintptr_t gNextHandle = kFirstHandle;

std::unordered_map<uintptr_t, Window*>& Table() {
    static auto* table = new std::unordered_map<uintptr_t, Window*>();
    return *table;
}

std::vector<Window*>& TopLevelList() {
    static auto* list = new std::vector<Window*>();
    return *list;
}

std::vector<ClassInfo*>& Classes() {
    static auto* classes = [] {
        auto* list = new std::vector<ClassInfo*>();
        auto add = [&](const char16_t* name, Kind kind, WNDPROC proc, PaintFunction paint) {
            list->push_back(new ClassInfo{name, kind, proc, paint, nullptr});
        };
        add(u"#32770", Kind::kDialog, DialogWindowProc, nullptr);
        add(u"Button", Kind::kButton, ButtonProc, PaintButton);
        add(u"Edit", Kind::kEdit, EditProc, PaintEdit);
        add(u"Static", Kind::kStatic, StaticProc, PaintStatic);
        add(u"ComboBox", Kind::kComboBox, ComboBoxProc, PaintComboBox);
        add(u"msctls_progress32", Kind::kProgress, ProgressProc, PaintProgress);
        add(u"SysTreeView32", Kind::kTreeView, TreeViewProc, PaintTreeView);
        add(u"#32768", Kind::kMenuPopup, MenuPopupProc, PaintMenuPopup);
        return list;
    }();
    return *classes;
}

bool SameClassName(const std::u16string& a, const char16_t* b) {
    size_t i = 0;
    for (; i < a.size(); ++i) {
        if (b[i] == 0 || FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return b[i] == 0;
}

bool HasBand(Window* w) {
    return (w->exStyle & WS_EX_TOPMOST) != 0;
}

} // namespace

char16_t FoldCase(char16_t ch) {
    if (ch >= u'A' && ch <= u'Z') return static_cast<char16_t>(ch - u'A' + u'a');
    if (ch >= 0xFF21 && ch <= 0xFF3A) return static_cast<char16_t>(ch + 0x20); // fullwidth
    return ch;
}

Window* FromHandleAnyThread(HWND hwnd) {
    std::lock_guard<std::mutex> lock(gTableLock);
    auto it = Table().find(reinterpret_cast<uintptr_t>(hwnd));
    if (it == Table().end()) return nullptr;
    return it->second;
}

Window* FromHandle(HWND hwnd) {
    Window* window = FromHandleAnyThread(hwnd);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (window->threadId != CurrentThreadId()) {
        SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
        return nullptr;
    }
    return window;
}

std::shared_ptr<MessageQueue> QueueOfWindow(HWND hwnd, DWORD* threadId) {
    std::lock_guard<std::mutex> lock(gTableLock);
    auto it = Table().find(reinterpret_cast<uintptr_t>(hwnd));
    if (it == Table().end()) return nullptr;
    if (threadId != nullptr) *threadId = it->second->threadId;
    return it->second->queue;
}

WindowRef::WindowRef(Window* window) : window_(window) {
    if (window_ != nullptr) ++window_->busy;
}

WindowRef::~WindowRef() {
    if (window_ == nullptr) return;
    if (--window_->busy == 0 && window_->destroyed) delete window_;
}

const ClassInfo* FindClass(const char16_t* name) {
    if (name == nullptr) return nullptr;
    if (IS_INTRESOURCE(name)) {
        // Atoms of the predefined dialog control classes.
        switch (reinterpret_cast<uintptr_t>(name)) {
        case 0x0080:
            return ClassOfKind(Kind::kButton);
        case 0x0081:
            return ClassOfKind(Kind::kEdit);
        case 0x0082:
            return ClassOfKind(Kind::kStatic);
        case 0x0085:
            return ClassOfKind(Kind::kComboBox);
        default:
            break;
        }
        for (ClassInfo* cls : Classes()) {
            if (reinterpret_cast<uintptr_t>(cls) == reinterpret_cast<uintptr_t>(name)) return cls;
        }
        return nullptr;
    }
    for (ClassInfo* cls : Classes()) {
        if (SameClassName(cls->name, name)) return cls;
    }
    return nullptr;
}

const ClassInfo* ClassOfKind(Kind kind) {
    for (ClassInfo* cls : Classes()) {
        if (cls->kind == kind) return cls;
    }
    return nullptr;
}

const std::vector<Window*>& TopLevels() {
    return TopLevelList();
}

void RaiseTopLevel(Window* window) {
    auto& list = TopLevelList();
    auto it = std::find(list.begin(), list.end(), window);
    if (it == list.end()) return;
    list.erase(it);
    // In front of the first window of the same band (topmost windows come first).
    auto pos = list.begin();
    if (!HasBand(window)) {
        while (pos != list.end() && HasBand(*pos)) ++pos;
    }
    list.insert(pos, window);
    // Windows it owns stay in front of it.
    std::vector<Window*> owned;
    for (Window* other : list) {
        if (other != window && other->owner == window->handle) owned.push_back(other);
    }
    for (auto rit = owned.rbegin(); rit != owned.rend(); ++rit) {
        if (HasBand(window)) (*rit)->exStyle |= WS_EX_TOPMOST;
        RaiseTopLevel(*rit);
    }
    Invalidate();
}

void LowerTopLevel(Window* window) {
    auto& list = TopLevelList();
    auto it = std::find(list.begin(), list.end(), window);
    if (it == list.end()) return;
    list.erase(it);
    window->exStyle &= ~static_cast<DWORD>(WS_EX_TOPMOST);
    list.push_back(window);
    Invalidate();
}

Window* RootOf(Window* window) {
    while (window != nullptr && window->parent != nullptr) window = window->parent;
    return window;
}

bool IsDescendant(Window* ancestor, Window* window) {
    for (Window* w = window; w != nullptr; w = w->parent) {
        if (w == ancestor) return true;
    }
    return false;
}

bool ReallyVisible(Window* window) {
    for (Window* w = window; w != nullptr; w = w->parent) {
        if (!(w->style & WS_VISIBLE)) return false;
    }
    return window != nullptr;
}

bool ReallyEnabled(Window* window) {
    for (Window* w = window; w != nullptr; w = w->parent) {
        if (w->style & WS_DISABLED) return false;
    }
    return window != nullptr;
}

LRESULT CallProc(Window* window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (window == nullptr || window->destroyed || window->proc == nullptr) return 0;
    WindowRef ref(window);
    return window->proc(window->handle, msg, wParam, lParam);
}

void NotifyParent(Window* control, WORD code) {
    Window* parent = control->parent;
    if (parent == nullptr) return;
    CallProc(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(control->id), code),
             reinterpret_cast<LPARAM>(control->handle));
}

LRESULT NotifyParent(Window* control, NMHDR* header) {
    Window* parent = control->parent;
    if (parent == nullptr) return 0;
    header->hwndFrom = control->handle;
    header->idFrom = control->id;
    return CallProc(parent, WM_NOTIFY, control->id, reinterpret_cast<LPARAM>(header));
}

void Invalidate() {
    render::internal::MarkScreenChanged();
}

std::u16string StripAccelerator(const std::u16string& text, char16_t* accelerator) {
    std::u16string out;
    char16_t found = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != u'&' && found == 0) found = text[i];
        }
        out.push_back(text[i]);
    }
    if (accelerator != nullptr) *accelerator = found;
    return out;
}

Window* CreateWindowObject(const CreateParams& params) {
    EnsureRendererLink();
    auto queue = CurrentQueueShared();
    Window* parent = nullptr;
    HWND owner = nullptr;
    if (params.style & WS_CHILD) {
        parent = FromHandle(params.parentOrOwner);
        if (parent == nullptr) return nullptr;
    } else if (params.parentOrOwner != nullptr) {
        Window* ownerWindow = FromHandleAnyThread(params.parentOrOwner);
        if (ownerWindow == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        owner = RootOf(ownerWindow)->handle; // the owner is always a top-level window
    }

    auto* window = new Window();
    window->threadId = CurrentThreadId();
    window->queue = queue;
    window->cls = params.cls;
    window->proc = params.cls->proc;
    window->parent = parent;
    window->owner = owner;
    window->style = params.style;
    window->exStyle = params.exStyle;
    window->rect = params.rect;
    window->id = params.id;
    window->text = params.text;
    window->instance = params.instance;
    {
        std::lock_guard<std::mutex> lock(gTableLock);
        window->handle = reinterpret_cast<HWND>(gNextHandle);
        gNextHandle += kHandleStep;
        Table()[reinterpret_cast<uintptr_t>(window->handle)] = window;
    }
    if (parent != nullptr) {
        parent->children.push_back(window); // below the earlier children: template order
    } else {
        auto& list = TopLevelList();
        auto pos = list.begin();
        if (!HasBand(window)) {
            while (pos != list.end() && HasBand(*pos)) ++pos;
        }
        list.insert(pos, window);
    }

    CREATESTRUCTW cs{};
    cs.lpCreateParams = params.createParam;
    cs.hInstance = params.instance;
    cs.hwndParent = params.parentOrOwner;
    cs.x = params.rect.left;
    cs.y = params.rect.top;
    cs.cx = params.rect.right - params.rect.left;
    cs.cy = params.rect.bottom - params.rect.top;
    cs.style = static_cast<LONG>(params.style);
    cs.lpszName = window->text.c_str();
    cs.lpszClass = params.cls->name.c_str();
    cs.dwExStyle = params.exStyle;
    HWND handle = window->handle;
    WindowRef ref(window);
    if (!CallProc(window, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) ||
        CallProc(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        if (!window->destroyed) DestroyWindow(handle);
        return nullptr;
    }
    if (window->destroyed) return nullptr;
    if (window->style & WS_VISIBLE) Invalidate();
    return window;
}

void DestroyWindowObject(Window* window) {
    if (window == nullptr || window->destroyed) return;
    WindowRef ref(window);
    HWND handle = window->handle;
    MessageQueue* queue = window->queue.get();
    bool wasVisible = ReallyVisible(window);
    if (window->parent == nullptr && (window->style & WS_VISIBLE)) {
        window->style &= ~static_cast<DWORD>(WS_VISIBLE);
        CallProc(window, WM_SHOWWINDOW, FALSE, 0);
    }
    // Windows it owns go first, as on Windows.
    if (window->parent == nullptr) {
        std::vector<HWND> owned;
        for (Window* other : TopLevelList()) {
            if (other->owner == handle) owned.push_back(other->handle);
        }
        for (HWND h : owned) DestroyWindow(h);
    }
    ForgetFocusOf(window);
    CallProc(window, WM_DESTROY, 0, 0);
    // Children get WM_DESTROY after their parent, as on Windows.
    std::vector<HWND> children;
    for (Window* child : window->children) children.push_back(child->handle);
    for (HWND h : children) {
        if (Window* child = FromHandleAnyThread(h)) DestroyWindowObject(child);
    }
    CallProc(window, WM_NCDESTROY, 0, 0);

    // Its timers end with it.
    auto& timers = queue->timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [&](const Timer& t) { return t.hwnd == handle; }),
                 timers.end());
    {
        std::lock_guard<std::mutex> lock(gTableLock);
        Table().erase(reinterpret_cast<uintptr_t>(handle));
    }
    if (window->parent != nullptr) {
        auto& siblings = window->parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
    } else {
        auto& list = TopLevelList();
        list.erase(std::remove(list.begin(), list.end(), window), list.end());
    }
    window->destroyed = true;
    window->state.reset();
    if (wasVisible) Invalidate();
}

} // namespace qb::user

using namespace qb::user;

ATOM WINAPI RegisterClassW(const WNDCLASSW* wc) {
    if (wc == nullptr || wc->lpszClassName == nullptr || wc->lpfnWndProc == nullptr ||
        IS_INTRESOURCE(wc->lpszClassName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (FindClass(wc->lpszClassName) != nullptr) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    if (Classes().size() >= kMaxClasses) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    auto* cls =
        new ClassInfo{wc->lpszClassName, Kind::kCustom, wc->lpfnWndProc, nullptr, wc->hInstance};
    Classes().push_back(cls);
    return static_cast<ATOM>(0xC000 + Classes().size());
}

BOOL WINAPI UnregisterClassW(LPCWSTR, HINSTANCE) {
    return TRUE;
}

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
    const ClassInfo* cls = FindClass(className);
    if (cls == nullptr) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    if (x == CW_USEDEFAULT) x = 0;
    if (y == CW_USEDEFAULT) y = 0;
    if (width == CW_USEDEFAULT) width = 0;
    if (height == CW_USEDEFAULT) height = 0;
    CreateParams params;
    params.exStyle = exStyle;
    params.cls = cls;
    params.text = windowName != nullptr ? windowName : u"";
    params.style = style;
    params.rect = RECT{x, y, x + width, y + height};
    params.parentOrOwner = parent;
    params.id = (style & WS_CHILD) ? reinterpret_cast<UINT_PTR>(menu) : 0;
    params.instance = instance;
    params.createParam = param;
    Window* window = CreateWindowObject(params);
    if (window == nullptr) return nullptr;
    if (!window->parent && (style & WS_VISIBLE)) ActivateWindow(window);
    return window->handle;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
    Window* window = FromHandle(hwnd);
    if (window == nullptr) return FALSE;
    DestroyWindowObject(window);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hwnd) {
    return FromHandleAnyThread(hwnd) != nullptr;
}

BOOL WINAPI IsChild(HWND parent, HWND hwnd) {
    Window* p = FromHandleAnyThread(parent);
    Window* w = FromHandleAnyThread(hwnd);
    if (p == nullptr || w == nullptr || w == p) return FALSE;
    return IsDescendant(p, w);
}

HWND WINAPI GetParent(HWND hwnd) {
    Window* window = FromHandle(hwnd);
    if (window == nullptr) return nullptr;
    if (window->parent != nullptr) return window->parent->handle;
    // A pop-up's parent is its owner, as GetParent reports it on Windows.
    if (window->style & WS_POPUP) return window->owner;
    return nullptr;
}

HWND WINAPI GetDesktopWindow(void) {
    return nullptr;
}

DWORD WINAPI GetWindowThreadProcessId(HWND hwnd, LPDWORD processId) {
    DWORD thread = 0;
    if (!QueueOfWindow(hwnd, &thread)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (processId != nullptr) *processId = static_cast<DWORD>(getpid());
    return thread;
}

HWND WINAPI GetWindow(HWND hwnd, UINT cmd) {
    Window* window = FromHandle(hwnd);
    if (window == nullptr) return nullptr;
    if (cmd == GW_CHILD) return window->children.empty() ? nullptr : window->children[0]->handle;
    if (cmd == GW_OWNER) return window->owner;
    const std::vector<Window*>& siblings =
        window->parent != nullptr ? window->parent->children : TopLevelList();
    auto it = std::find(siblings.begin(), siblings.end(), window);
    if (it == siblings.end()) return nullptr;
    switch (cmd) {
    case GW_HWNDFIRST:
        return siblings.front()->handle;
    case GW_HWNDLAST:
        return siblings.back()->handle;
    case GW_HWNDNEXT:
        return (it + 1) == siblings.end() ? nullptr : (*(it + 1))->handle;
    case GW_HWNDPREV:
        return it == siblings.begin() ? nullptr : (*(it - 1))->handle;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

HWND WINAPI GetAncestor(HWND hwnd, UINT flags) {
    Window* window = FromHandle(hwnd);
    if (window == nullptr) return nullptr;
    switch (flags) {
    case GA_PARENT:
        return window->parent != nullptr ? window->parent->handle : nullptr;
    case GA_ROOT:
        return RootOf(window)->handle;
    case GA_ROOTOWNER: {
        Window* root = RootOf(window);
        while (root->owner != nullptr) {
            Window* owner = FromHandleAnyThread(root->owner);
            if (owner == nullptr) break;
            root = owner;
        }
        return root->handle;
    }
    default:
        return nullptr;
    }
}
