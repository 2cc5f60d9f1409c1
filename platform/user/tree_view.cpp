// The "SysTreeView32" class: items with text, image indexes and a caller's value, expanded
// and collapsed by the program or the user (arrows, +, -, Enter goes to the dialog), one
// selected item (the caret), notifications through WM_NOTIFY. An item may declare children
// it doesn't have yet (cChildren 1 or I_CHILDRENCALLBACK): it shows an expander, and the
// parent fills it in TVN_ITEMEXPANDING.
//   ├+ Documents       lines (TVS_HASLINES) and expanders (TVS_HASBUTTONS)
//   │ └─ Music
#include <algorithm>
#include <commctrl.h>
#include <unordered_map>

#include "platform/render/cell_text.h"
#include "platform/user/controls.h"
#include "platform/user/focus.h"
#include "platform/user/layout.h"

namespace qb::user {

namespace {

constexpr size_t kMaxTreeItems = 100000;
constexpr uintptr_t kFirstItemHandle = 0x00100010;
constexpr uintptr_t kItemHandleStep = 8;
constexpr size_t kTreeTextCapacity = 1024; // units asked of TVN_GETDISPINFO, terminator in
constexpr int kIndent = 2;

struct TreeItem {
    HTREEITEM handle = nullptr;
    std::u16string text;
    bool textCallback = false;
    int image = 0;
    int selectedImage = 0;
    int children = 0; // what the caller declared (TVIF_CHILDREN)
    bool childrenSet = false;
    LPARAM param = 0;
    UINT state = 0; // TVIS_EXPANDED, TVIS_EXPANDEDONCE, TVIS_BOLD, TVIS_CUT
    TreeItem* parent = nullptr;
    std::vector<TreeItem*> kids;
};

struct TreeState : ControlState {
    TreeItem root;
    std::unordered_map<uintptr_t, std::unique_ptr<TreeItem>> items;
    TreeItem* caret = nullptr;
    size_t firstVisible = 0;
    HIMAGELIST normalImages = nullptr;
    HIMAGELIST stateImages = nullptr;
    uintptr_t nextHandle = kFirstItemHandle;
};

TreeState* StateOf(Window* w) {
    if (!w->state) {
        auto state = std::make_unique<TreeState>();
        state->root.state = TVIS_EXPANDED;
        w->state = std::move(state);
    }
    return static_cast<TreeState*>(w->state.get());
}

TreeItem* Find(TreeState* s, HTREEITEM handle) {
    auto it = s->items.find(reinterpret_cast<uintptr_t>(handle));
    return it == s->items.end() ? nullptr : it->second.get();
}

bool IsRootHandle(HTREEITEM h) {
    return h == nullptr || h == TVI_ROOT;
}

std::u16string TextOf(Window* w, TreeItem* item) {
    if (!item->textCallback) return item->text;
    // The parent supplies the text on demand.
    WCHAR buffer[kTreeTextCapacity] = {};
    NMTVDISPINFOW info{};
    info.hdr.code = TVN_GETDISPINFOW;
    info.item.mask = TVIF_TEXT;
    info.item.hItem = item->handle;
    info.item.pszText = buffer;
    info.item.cchTextMax = static_cast<int>(kTreeTextCapacity);
    info.item.lParam = item->param;
    NotifyParent(w, &info.hdr);
    buffer[kTreeTextCapacity - 1] = 0;
    const WCHAR* text = info.item.pszText != nullptr ? info.item.pszText : buffer;
    std::u16string out;
    for (size_t i = 0; i < kTreeTextCapacity && text[i] != 0; ++i) out.push_back(text[i]);
    return out;
}

bool HasChildren(const TreeItem* item) {
    if (!item->kids.empty()) return true;
    return item->childrenSet && item->children != 0;
}

bool Expanded(const TreeItem* item) {
    return (item->state & TVIS_EXPANDED) != 0;
}

int CompareText(const std::u16string& a, const std::u16string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        char16_t x = FoldCase(a[i]);
        char16_t y = FoldCase(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return 0;
}

// The rows shown: every item whose ancestors are all expanded, in order.
void CollectVisible(TreeItem* parent, std::vector<TreeItem*>* out) {
    for (TreeItem* kid : parent->kids) {
        out->push_back(kid);
        if (Expanded(kid)) CollectVisible(kid, out);
    }
}

std::vector<TreeItem*> VisibleRows(TreeState* s) {
    std::vector<TreeItem*> rows;
    CollectVisible(&s->root, &rows);
    return rows;
}

int Depth(const TreeItem* item) {
    int depth = 0;
    for (const TreeItem* p = item->parent; p != nullptr && p->parent != nullptr; p = p->parent)
        ++depth;
    return depth;
}

TVITEMW Describe(TreeState* s, TreeItem* item) {
    TVITEMW info{};
    if (item == nullptr) return info;
    info.mask = TVIF_HANDLE | TVIF_STATE | TVIF_PARAM;
    info.hItem = item->handle;
    info.state = item->state | (item == s->caret ? TVIS_SELECTED : 0);
    info.stateMask = 0xFFFF;
    info.lParam = item->param;
    return info;
}

// TVN_ITEMEXPANDING: the parent may fill the children now, or refuse (TRUE).
bool NotifyExpand(Window* w, TreeItem* item, UINT action, UINT code) {
    NMTREEVIEWW nm{};
    nm.hdr.code = code;
    nm.action = action;
    nm.itemNew = Describe(StateOf(w), item);
    return NotifyParent(w, &nm.hdr) != 0;
}

void SelectItem(Window* w, TreeItem* item, UINT cause);

bool Expand(Window* w, TreeItem* item, UINT code, bool byUser) {
    TreeState* s = StateOf(w);
    HWND handle = w->handle;
    UINT action = code & TVE_TOGGLE;
    if (action == TVE_TOGGLE) action = Expanded(item) ? TVE_COLLAPSE : TVE_EXPAND;
    if (action == TVE_EXPAND) {
        if (Expanded(item)) return TRUE;
        if (!HasChildren(item)) return FALSE;
        bool notify = byUser || !(item->state & TVIS_EXPANDEDONCE);
        if (notify) {
            if (NotifyExpand(w, item, TVE_EXPAND, TVN_ITEMEXPANDINGW)) return FALSE;
            if (FromHandle(handle) == nullptr || Find(s, item->handle) != item) return FALSE;
        }
        item->state |= TVIS_EXPANDED | TVIS_EXPANDEDONCE;
        Invalidate();
        if (notify) NotifyExpand(w, item, TVE_EXPAND, TVN_ITEMEXPANDEDW);
        return TRUE;
    }
    if (action == TVE_COLLAPSE) {
        if (!Expanded(item) && !(code & TVE_COLLAPSERESET)) return TRUE;
        if (NotifyExpand(w, item, TVE_COLLAPSE, TVN_ITEMEXPANDINGW)) return FALSE;
        if (FromHandle(handle) == nullptr || Find(s, item->handle) != item) return FALSE;
        item->state &= ~static_cast<UINT>(TVIS_EXPANDED);
        // A hidden selection moves up to the collapsed item.
        for (TreeItem* p = s->caret != nullptr ? s->caret->parent : nullptr; p != nullptr;
             p = p->parent) {
            if (p == item) {
                SelectItem(w, item, byUser ? TVC_BYKEYBOARD : TVC_UNKNOWN);
                break;
            }
        }
        if (code & TVE_COLLAPSERESET) {
            std::vector<TreeItem*> kids = item->kids;
            for (TreeItem* kid : kids)
                SendMessageW(handle, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(kid->handle));
            item->state &= ~static_cast<UINT>(TVIS_EXPANDEDONCE);
        }
        Invalidate();
        NotifyExpand(w, item, TVE_COLLAPSE, TVN_ITEMEXPANDEDW);
        return TRUE;
    }
    return FALSE;
}

void EnsureVisible(Window* w, TreeItem* item) {
    TreeState* s = StateOf(w);
    std::vector<TreeItem*> ancestors;
    for (TreeItem* p = item->parent; p != nullptr && p != &s->root; p = p->parent)
        ancestors.push_back(p);
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it)
        Expand(w, *it, TVE_EXPAND, false);
    std::vector<TreeItem*> rows = VisibleRows(s);
    auto pos = std::find(rows.begin(), rows.end(), item);
    if (pos == rows.end()) return;
    size_t index = static_cast<size_t>(pos - rows.begin());
    size_t height = static_cast<size_t>(std::max(1, ChildCells(w).Height()));
    if (index < s->firstVisible) s->firstVisible = index;
    if (index >= s->firstVisible + height) s->firstVisible = index - height + 1;
    Invalidate();
}

void SelectItem(Window* w, TreeItem* item, UINT cause) {
    TreeState* s = StateOf(w);
    if (item == s->caret) {
        if (item != nullptr) EnsureVisible(w, item);
        return;
    }
    HWND handle = w->handle;
    NMTREEVIEWW nm{};
    nm.hdr.code = TVN_SELCHANGINGW;
    nm.action = cause;
    nm.itemOld = Describe(s, s->caret);
    nm.itemNew = Describe(s, item);
    if (NotifyParent(w, &nm.hdr) != 0) return;
    if (FromHandle(handle) == nullptr) return;
    if (item != nullptr && Find(s, item->handle) != item) return;
    TreeItem* old = s->caret;
    s->caret = item;
    if (item != nullptr) EnsureVisible(w, item);
    Invalidate();
    nm.hdr.code = TVN_SELCHANGEDW;
    nm.itemOld = Describe(s, old);
    nm.itemNew = Describe(s, item);
    NotifyParent(w, &nm.hdr);
}

void DeleteSubtree(Window* w, TreeItem* item) {
    TreeState* s = StateOf(w);
    std::vector<TreeItem*> kids = item->kids;
    for (TreeItem* kid : kids) DeleteSubtree(w, kid);
    NMTREEVIEWW nm{};
    nm.hdr.code = TVN_DELETEITEMW;
    nm.itemOld = Describe(s, item);
    NotifyParent(w, &nm.hdr);
    if (s->caret == item) s->caret = nullptr;
    auto& siblings = item->parent->kids;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), item), siblings.end());
    s->items.erase(reinterpret_cast<uintptr_t>(item->handle));
}

void ApplyFields(TreeItem* item, const TVITEMW& info) {
    if (info.mask & TVIF_TEXT) {
        item->textCallback = info.pszText == LPSTR_TEXTCALLBACKW;
        item->text.clear();
        if (!item->textCallback && info.pszText != nullptr) {
            for (size_t i = 0; info.pszText[i] != 0 && i < kTreeTextCapacity; ++i)
                item->text.push_back(info.pszText[i]);
        }
    }
    if (info.mask & TVIF_IMAGE) item->image = info.iImage;
    if (info.mask & TVIF_SELECTEDIMAGE) item->selectedImage = info.iSelectedImage;
    if (info.mask & TVIF_PARAM) item->param = info.lParam;
    if (info.mask & TVIF_CHILDREN) {
        item->children = info.cChildren;
        item->childrenSet = true;
    }
    if (info.mask & TVIF_STATE) {
        UINT keep = TVIS_EXPANDED | TVIS_EXPANDEDONCE | TVIS_BOLD | TVIS_CUT;
        UINT mask = info.stateMask & keep;
        item->state = (item->state & ~mask) | (info.state & mask);
    }
}

LRESULT Insert(Window* w, const TVINSERTSTRUCTW* insert) {
    TreeState* s = StateOf(w);
    if (insert == nullptr || s->items.size() >= kMaxTreeItems) return 0;
    TreeItem* parent = IsRootHandle(insert->hParent) ? &s->root : Find(s, insert->hParent);
    if (parent == nullptr) return 0;
    auto owned = std::make_unique<TreeItem>();
    TreeItem* item = owned.get();
    item->handle = reinterpret_cast<HTREEITEM>(s->nextHandle);
    s->nextHandle += kItemHandleStep;
    item->parent = parent;
    ApplyFields(item, insert->item);
    auto& kids = parent->kids;
    HTREEITEM after = insert->hInsertAfter;
    if (after == TVI_FIRST) {
        kids.insert(kids.begin(), item);
    } else if (after == TVI_SORT) {
        std::u16string text = TextOf(w, item);
        auto pos = kids.begin();
        while (pos != kids.end() && CompareText(TextOf(w, *pos), text) <= 0) ++pos;
        kids.insert(pos, item);
    } else {
        TreeItem* anchor = after == TVI_LAST ? nullptr : Find(s, after);
        auto pos = std::find(kids.begin(), kids.end(), anchor);
        kids.insert(pos == kids.end() ? kids.end() : pos + 1, item);
    }
    s->items[reinterpret_cast<uintptr_t>(item->handle)] = std::move(owned);
    Invalidate();
    return reinterpret_cast<LRESULT>(item->handle);
}

BOOL GetItem(Window* w, TVITEMW* info) {
    TreeState* s = StateOf(w);
    if (info == nullptr) return FALSE;
    TreeItem* item = Find(s, info->hItem);
    if (item == nullptr) return FALSE;
    if (info->mask & TVIF_TEXT) {
        if (info->pszText != nullptr && info->cchTextMax > 0) {
            std::u16string text = TextOf(w, item);
            size_t n = std::min(text.size(), static_cast<size_t>(info->cchTextMax - 1));
            std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), info->pszText);
            info->pszText[n] = 0;
        }
    }
    if (info->mask & TVIF_IMAGE) info->iImage = item->image;
    if (info->mask & TVIF_SELECTEDIMAGE) info->iSelectedImage = item->selectedImage;
    if (info->mask & TVIF_PARAM) info->lParam = item->param;
    if (info->mask & TVIF_STATE)
        info->state = (item->state | (item == s->caret ? TVIS_SELECTED : 0)) & info->stateMask;
    if (info->mask & TVIF_CHILDREN) {
        if (item->childrenSet && item->children == I_CHILDRENCALLBACK) {
            NMTVDISPINFOW disp{};
            disp.hdr.code = TVN_GETDISPINFOW;
            disp.item.mask = TVIF_CHILDREN;
            disp.item.hItem = item->handle;
            disp.item.lParam = item->param;
            NotifyParent(w, &disp.hdr);
            info->cChildren = disp.item.cChildren;
        } else if (item->childrenSet) {
            info->cChildren = item->children;
        } else {
            info->cChildren = item->kids.empty() ? 0 : 1;
        }
    }
    return TRUE;
}

HTREEITEM Handle(const TreeItem* item) {
    return item != nullptr ? item->handle : nullptr;
}

LRESULT NextItem(Window* w, UINT code, HTREEITEM from) {
    TreeState* s = StateOf(w);
    TreeItem* item = IsRootHandle(from) ? nullptr : Find(s, from);
    auto sibling = [&](TreeItem* it, int step) -> TreeItem* {
        auto& kids = it->parent->kids;
        auto pos = std::find(kids.begin(), kids.end(), it);
        std::ptrdiff_t index = (pos - kids.begin()) + step;
        if (index < 0 || index >= static_cast<std::ptrdiff_t>(kids.size())) return nullptr;
        return kids[static_cast<size_t>(index)];
    };
    std::vector<TreeItem*> rows;
    auto visibleStep = [&](int step) -> TreeItem* {
        rows = VisibleRows(s);
        auto pos = std::find(rows.begin(), rows.end(), item);
        if (pos == rows.end()) return nullptr;
        std::ptrdiff_t index = (pos - rows.begin()) + step;
        if (index < 0 || index >= static_cast<std::ptrdiff_t>(rows.size())) return nullptr;
        return rows[static_cast<size_t>(index)];
    };
    TreeItem* result = nullptr;
    switch (code) {
    case TVGN_ROOT:
        result = s->root.kids.empty() ? nullptr : s->root.kids.front();
        break;
    case TVGN_CARET:
        result = s->caret;
        break;
    case TVGN_CHILD: {
        TreeItem* parent = item != nullptr ? item : (IsRootHandle(from) ? &s->root : nullptr);
        if (parent != nullptr && !parent->kids.empty()) result = parent->kids.front();
        break;
    }
    case TVGN_NEXT:
        result = item != nullptr ? sibling(item, 1) : nullptr;
        break;
    case TVGN_PREVIOUS:
        result = item != nullptr ? sibling(item, -1) : nullptr;
        break;
    case TVGN_PARENT:
        result = item != nullptr && item->parent != &s->root ? item->parent : nullptr;
        break;
    case TVGN_FIRSTVISIBLE:
        rows = VisibleRows(s);
        result = s->firstVisible < rows.size() ? rows[s->firstVisible] : nullptr;
        break;
    case TVGN_NEXTVISIBLE:
        result = item != nullptr ? visibleStep(1) : nullptr;
        break;
    case TVGN_PREVIOUSVISIBLE:
        result = item != nullptr ? visibleStep(-1) : nullptr;
        break;
    case TVGN_LASTVISIBLE:
        rows = VisibleRows(s);
        result = rows.empty() ? nullptr : rows.back();
        break;
    default:
        break;
    }
    return reinterpret_cast<LRESULT>(Handle(result));
}

void MoveCaretBy(Window* w, int step) {
    TreeState* s = StateOf(w);
    std::vector<TreeItem*> rows = VisibleRows(s);
    if (rows.empty()) return;
    auto pos = std::find(rows.begin(), rows.end(), s->caret);
    std::ptrdiff_t index = pos == rows.end() ? 0 : (pos - rows.begin()) + step;
    index = std::clamp<std::ptrdiff_t>(index, 0, static_cast<std::ptrdiff_t>(rows.size()) - 1);
    SelectItem(w, rows[static_cast<size_t>(index)], TVC_BYKEYBOARD);
}

void OnKey(Window* w, WPARAM vk) {
    TreeState* s = StateOf(w);
    int page = std::max(1, ChildCells(w).Height() - 1);
    TreeItem* caret = s->caret;
    switch (vk) {
    case VK_UP:
        MoveCaretBy(w, -1);
        break;
    case VK_DOWN:
        MoveCaretBy(w, 1);
        break;
    case VK_PRIOR:
        MoveCaretBy(w, -page);
        break;
    case VK_NEXT:
        MoveCaretBy(w, page);
        break;
    case VK_HOME:
        MoveCaretBy(w, -static_cast<int>(kMaxTreeItems));
        break;
    case VK_END:
        MoveCaretBy(w, static_cast<int>(kMaxTreeItems));
        break;
    case VK_LEFT:
        if (caret == nullptr) break;
        if (Expanded(caret) && HasChildren(caret))
            Expand(w, caret, TVE_COLLAPSE, true);
        else if (caret->parent != &s->root)
            SelectItem(w, caret->parent, TVC_BYKEYBOARD);
        break;
    case VK_RIGHT:
        if (caret == nullptr) break;
        if (!Expanded(caret))
            Expand(w, caret, TVE_EXPAND, true);
        else if (!caret->kids.empty())
            SelectItem(w, caret->kids.front(), TVC_BYKEYBOARD);
        break;
    case VK_ADD:
        if (caret != nullptr) Expand(w, caret, TVE_EXPAND, true);
        break;
    case VK_SUBTRACT:
        if (caret != nullptr) Expand(w, caret, TVE_COLLAPSE, true);
        break;
    default:
        break;
    }
}

void OnChar(Window* w, char16_t ch) {
    TreeState* s = StateOf(w);
    if (ch == u'+') return OnKey(w, VK_ADD);
    if (ch == u'-') return OnKey(w, VK_SUBTRACT);
    if (ch <= u' ') return;
    // A letter moves to the next shown item whose text starts with it.
    std::vector<TreeItem*> rows = VisibleRows(s);
    if (rows.empty()) return;
    auto pos = std::find(rows.begin(), rows.end(), s->caret);
    size_t start = pos == rows.end() ? 0 : static_cast<size_t>(pos - rows.begin()) + 1;
    for (size_t k = 0; k < rows.size(); ++k) {
        TreeItem* item = rows[(start + k) % rows.size()];
        std::u16string text = TextOf(w, item);
        if (!text.empty() && FoldCase(text[0]) == FoldCase(ch)) {
            SelectItem(w, item, TVC_BYKEYBOARD);
            return;
        }
    }
}

// Where the expander of the item's row is.
int ExpanderColumn(Window* w, const TreeItem* item) {
    bool lines = (w->style & TVS_HASLINES) != 0;
    int depth = Depth(item);
    if (lines) return depth * kIndent + ((depth > 0 || (w->style & TVS_LINESATROOT)) ? 1 : 0);
    return depth * kIndent;
}

void OnClick(Window* w, LPARAM lParam) {
    HWND handle = w->handle;
    SetFocusTo(w);
    if (FromHandle(handle) == nullptr) return;
    TreeState* s = StateOf(w);
    int row = static_cast<SHORT>(HIWORD(lParam)) / kUnitsPerRow;
    int column = static_cast<SHORT>(LOWORD(lParam)) / kUnitsPerColumn;
    std::vector<TreeItem*> rows = VisibleRows(s);
    size_t index = s->firstVisible + static_cast<size_t>(std::max(0, row));
    if (row < 0 || index >= rows.size()) return;
    TreeItem* item = rows[index];
    if ((w->style & TVS_HASBUTTONS) && HasChildren(item) && column == ExpanderColumn(w, item)) {
        Expand(w, item, TVE_TOGGLE, true);
        return;
    }
    SelectItem(w, item, TVC_BYMOUSE);
}

bool HasNextSibling(const TreeItem* item) {
    return item->parent != nullptr && item->parent->kids.back() != item;
}

} // namespace

LRESULT CALLBACK TreeViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FromHandle(hwnd);
    if (w == nullptr) return 0;
    WindowRef ref(w);
    TreeState* s = StateOf(w);
    switch (msg) {
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case TVM_INSERTITEMW:
        return Insert(w, reinterpret_cast<const TVINSERTSTRUCTW*>(lParam));
    case TVM_DELETEITEM: {
        auto handle = reinterpret_cast<HTREEITEM>(lParam);
        if (IsRootHandle(handle)) {
            std::vector<TreeItem*> kids = s->root.kids;
            for (TreeItem* kid : kids) DeleteSubtree(w, kid);
            s->firstVisible = 0;
        } else {
            TreeItem* item = Find(s, handle);
            if (item == nullptr) return FALSE;
            DeleteSubtree(w, item);
        }
        Invalidate();
        return TRUE;
    }
    case TVM_EXPAND: {
        TreeItem* item = Find(s, reinterpret_cast<HTREEITEM>(lParam));
        if (item == nullptr) return FALSE;
        return Expand(w, item, static_cast<UINT>(wParam), false) ? TRUE : FALSE;
    }
    case TVM_GETCOUNT:
        return static_cast<LRESULT>(s->items.size());
    case TVM_GETINDENT:
        return kIndent * kUnitsPerColumn;
    case TVM_SETIMAGELIST: {
        HIMAGELIST& slot = wParam == TVSIL_STATE ? s->stateImages : s->normalImages;
        HIMAGELIST old = slot;
        slot = reinterpret_cast<HIMAGELIST>(lParam);
        return reinterpret_cast<LRESULT>(old);
    }
    case TVM_GETIMAGELIST:
        return reinterpret_cast<LRESULT>(wParam == TVSIL_STATE ? s->stateImages : s->normalImages);
    case TVM_GETNEXTITEM:
        return NextItem(w, static_cast<UINT>(wParam), reinterpret_cast<HTREEITEM>(lParam));
    case TVM_SELECTITEM: {
        auto handle = reinterpret_cast<HTREEITEM>(lParam);
        TreeItem* item = handle == nullptr ? nullptr : Find(s, handle);
        if (handle != nullptr && item == nullptr) return FALSE;
        if (wParam == TVGN_CARET) {
            SelectItem(w, item, TVC_UNKNOWN);
            return TRUE;
        }
        if (wParam == TVGN_FIRSTVISIBLE && item != nullptr) {
            EnsureVisible(w, item);
            std::vector<TreeItem*> rows = VisibleRows(s);
            auto pos = std::find(rows.begin(), rows.end(), item);
            if (pos != rows.end()) s->firstVisible = static_cast<size_t>(pos - rows.begin());
            Invalidate();
            return TRUE;
        }
        return wParam == TVGN_DROPHILITE ? TRUE : FALSE;
    }
    case TVM_GETITEMW:
        return GetItem(w, reinterpret_cast<TVITEMW*>(lParam));
    case TVM_SETITEMW: {
        auto* info = reinterpret_cast<const TVITEMW*>(lParam);
        TreeItem* item = info != nullptr ? Find(s, info->hItem) : nullptr;
        if (item == nullptr) return FALSE;
        ApplyFields(item, *info);
        Invalidate();
        return TRUE;
    }
    case TVM_GETVISIBLECOUNT:
        return std::max(1, ChildCells(w).Height());
    case TVM_ENSUREVISIBLE: {
        TreeItem* item = Find(s, reinterpret_cast<HTREEITEM>(lParam));
        if (item == nullptr) return FALSE;
        EnsureVisible(w, item);
        return TRUE;
    }
    case TVM_SORTCHILDREN: {
        auto handle = reinterpret_cast<HTREEITEM>(lParam);
        TreeItem* item = IsRootHandle(handle) ? &s->root : Find(s, handle);
        if (item == nullptr) return FALSE;
        std::stable_sort(item->kids.begin(), item->kids.end(), [&](TreeItem* a, TreeItem* b) {
            return CompareText(TextOf(w, a), TextOf(w, b)) < 0;
        });
        Invalidate();
        return TRUE;
    }
    // Dispatched as in the edit control, to the tree's own handlers.
    case WM_KEYDOWN:
        OnKey(w, wParam);
        return 0;
    case WM_CHAR:
        OnChar(w, static_cast<char16_t>(wParam));
        return 0;
    case WM_LBUTTONDOWN:
        OnClick(w, lParam);
        return 0;
    case WM_LBUTTONUP:
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        Invalidate();
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

void PaintTreeView(Window* w, render::Canvas& canvas) {
    TreeState* s = StateOf(w);
    std::vector<TreeItem*> rows = VisibleRows(s);
    int height = canvas.Height();
    int width = canvas.Width();
    if (s->caret != nullptr) {
        auto pos = std::find(rows.begin(), rows.end(), s->caret);
        if (pos != rows.end()) {
            size_t index = static_cast<size_t>(pos - rows.begin());
            if (index < s->firstVisible) s->firstVisible = index;
            if (index >= s->firstVisible + static_cast<size_t>(height))
                s->firstVisible = index - static_cast<size_t>(height) + 1;
        }
    }
    if (s->firstVisible >= rows.size()) s->firstVisible = rows.empty() ? 0 : rows.size() - 1;
    bool lines = (w->style & TVS_HASLINES) != 0;
    bool buttons = (w->style & TVS_HASBUTTONS) != 0;
    bool focused = HasFocus(w);
    uint16_t base = ReallyEnabled(w) ? render::kAttrNone : render::kAttrDisabled;
    for (int row = 0; row < height; ++row) {
        size_t index = s->firstVisible + static_cast<size_t>(row);
        if (index >= rows.size()) break;
        TreeItem* item = rows[index];
        int depth = Depth(item);
        int column = 0;
        if (lines) {
            // The lines of the ancestors that have more items below.
            std::vector<const TreeItem*> chain;
            for (const TreeItem* p = item->parent; p != nullptr && p->parent != nullptr;
                 p = p->parent)
                chain.push_back(p);
            bool atRoot = (w->style & TVS_LINESATROOT) != 0;
            for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
                bool first = (it == chain.rbegin());
                if (first && !atRoot) {
                    column += kIndent;
                    continue;
                }
                canvas.Put(column, row, HasNextSibling(*it) ? U'│' : U' ', base);
                column += kIndent;
            }
            if (depth > 0 || atRoot) {
                canvas.Put(column, row, HasNextSibling(item) ? U'├' : U'└', base);
                ++column;
            }
        } else {
            column = depth * kIndent;
        }
        char32_t expander = lines ? U'─' : U' ';
        if (buttons && HasChildren(item)) expander = Expanded(item) ? U'-' : U'+';
        canvas.Put(column, row, expander, base);
        column += 2;
        uint16_t attr = base | ((item->state & TVIS_CUT) ? render::kAttrDisabled : 0);
        if (item == s->caret) attr |= render::kAttrSelected | (focused ? render::kAttrFocused : 0);
        std::u16string text = TextOf(w, item);
        if (column < width) canvas.Text(column, row, text, width - column, attr);
        if (item == s->caret && focused && column < width) canvas.SetCaret(column, row);
    }
}

} // namespace qb::user
