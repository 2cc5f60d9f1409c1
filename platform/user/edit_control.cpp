// The "Edit" class, and the edit field of the "ComboBox" class (a drop-down combo box used
// as an edit): one line of text with a caret and a selection, horizontal scrolling
// (ES_AUTOHSCROLL), password display, read-only and digits-only fields, a length limit.
// Focus from the dialog manager selects the whole text (EM_SETSEL 0, -1), typing replaces
// the selection, as on Windows.
#include <algorithm>
#include <commctrl.h>

#include "platform/render/cell_text.h"
#include "platform/user/controls.h"
#include "platform/user/focus.h"
#include "platform/user/layout.h"

namespace qb::user {

namespace {

constexpr size_t kEditDefaultLimit = 32767; // characters a user may type before EM_LIMITTEXT
constexpr size_t kEditMaxText = 1u << 20;   // characters any edit holds at most
constexpr char16_t kDefaultPasswordChar = u'*';
constexpr size_t kMaxComboItems = 4096;
constexpr WORD kComboSetFocus = 3;
constexpr WORD kComboKillFocus = 4;

struct EditState : ControlState {
    size_t anchor = 0; // the selection runs from anchor to caret
    size_t caret = 0;
    size_t scroll = 0; // first unit shown
    size_t limit = kEditDefaultLimit;
    char16_t passwordChar = kDefaultPasswordChar;
    std::vector<std::u16string> items; // a combo box's list, dropped down as a popup menu
};

bool IsCombo(const Window* w) {
    return w->cls->kind == Kind::kComboBox;
}

EditState* StateOf(Window* w) {
    if (!w->state) w->state = std::make_unique<EditState>();
    return static_cast<EditState*>(w->state.get());
}

size_t SelMin(const EditState* s) {
    return std::min(s->anchor, s->caret);
}
size_t SelMax(const EditState* s) {
    return std::max(s->anchor, s->caret);
}

bool IsPassword(const Window* w) {
    return !IsCombo(w) && (w->style & ES_PASSWORD);
}
bool IsReadOnly(const Window* w) {
    return !IsCombo(w) && (w->style & ES_READONLY);
}
bool AutoScrolls(const Window* w) {
    return IsCombo(w) ? (w->style & CBS_AUTOHSCROLL) != 0 : (w->style & ES_AUTOHSCROLL) != 0;
}

int FieldWidth(const Window* w) {
    int width = ChildCells(w).Width();
    if (IsCombo(w)) --width; // the drop-down arrow
    return std::max(1, width);
}

size_t PrevIndex(const std::u16string& t, size_t i) {
    if (i == 0) return 0;
    --i;
    if (i > 0 && t[i] >= 0xDC00 && t[i] <= 0xDFFF && t[i - 1] >= 0xD800 && t[i - 1] <= 0xDBFF) --i;
    return i;
}

size_t NextIndex(const std::u16string& t, size_t i) {
    if (i >= t.size()) return t.size();
    size_t next = i;
    render::NextCodePoint(t.data(), t.size(), &next);
    return next;
}

int DisplayWidth(const Window* w, const std::u16string& text, size_t from, size_t to) {
    if (IsPassword(w)) {
        int n = 0;
        for (size_t i = from; i < to; i = NextIndex(text, i)) ++n;
        return n;
    }
    return render::TextWidth(text.data() + from, to - from);
}

void KeepCaretVisible(Window* w) {
    EditState* s = StateOf(w);
    int width = FieldWidth(w);
    if (s->scroll > s->caret) s->scroll = s->caret;
    // The caret needs a cell of its own after the text before it.
    while (s->scroll < s->caret && DisplayWidth(w, w->text, s->scroll, s->caret) >= width)
        s->scroll = NextIndex(w->text, s->scroll);
    if (s->scroll > w->text.size()) s->scroll = w->text.size();
}

void NotifyChange(Window* w) {
    Invalidate();
    NotifyParent(w, IsCombo(w) ? static_cast<WORD>(CBN_EDITCHANGE) : static_cast<WORD>(EN_CHANGE));
}

// Replaces the selection with `insert`; false (and a beep) when the limit or the field's
// width doesn't allow it.
bool ReplaceSelection(Window* w, const std::u16string& insert, bool byUser) {
    EditState* s = StateOf(w);
    size_t from = SelMin(s);
    size_t to = SelMax(s);
    std::u16string text = w->text.substr(0, from) + insert + w->text.substr(to);
    size_t bound = byUser ? std::min(s->limit, kEditMaxText) : kEditMaxText;
    if (text.size() > bound) {
        if (byUser) {
            Beep(MB_OK);
            NotifyParent(w, static_cast<WORD>(EN_MAXTEXT));
        }
        return false;
    }
    if (byUser && !AutoScrolls(w) && DisplayWidth(w, text, 0, text.size()) > FieldWidth(w)) {
        Beep(MB_OK);
        return false;
    }
    w->text = std::move(text);
    s->caret = s->anchor = from + insert.size();
    KeepCaretVisible(w);
    NotifyChange(w);
    return true;
}

void MoveCaret(Window* w, size_t to, bool extend) {
    EditState* s = StateOf(w);
    s->caret = std::min(to, w->text.size());
    if (!extend) s->anchor = s->caret;
    KeepCaretVisible(w);
    Invalidate();
}

void Paste(Window* w) {
    if (IsReadOnly(w)) {
        Beep(MB_OK);
        return;
    }
    if (!OpenClipboard(w->handle)) return;
    std::u16string text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (auto* units = static_cast<const WCHAR*>(GlobalLock(data))) {
            size_t capacity = GlobalSize(data) / sizeof(WCHAR);
            for (size_t i = 0; i < capacity && units[i] != 0; ++i) {
                if (units[i] == u'\r' || units[i] == u'\n') break; // one line
                text.push_back(units[i]);
            }
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    if (!text.empty()) ReplaceSelection(w, text, true);
}

void OnChar(Window* w, char16_t ch) {
    EditState* s = StateOf(w);
    constexpr char16_t kCtrlA = 0x01;
    constexpr char16_t kCtrlV = 0x16;
    if (ch == kCtrlA) {
        s->anchor = 0;
        MoveCaret(w, w->text.size(), true);
        return;
    }
    if (ch == kCtrlV) {
        Paste(w);
        return;
    }
    if (ch == 0x08) {
        if (IsReadOnly(w)) {
            Beep(MB_OK);
            return;
        }
        if (s->anchor == s->caret) {
            if (s->caret == 0) return;
            s->anchor = PrevIndex(w->text, s->caret);
        }
        ReplaceSelection(w, u"", true);
        return;
    }
    if (ch < 0x20 || ch == 0x7F) return;
    if (IsReadOnly(w) || (!IsCombo(w) && (w->style & ES_NUMBER) && (ch < u'0' || ch > u'9'))) {
        Beep(MB_OK);
        return;
    }
    ReplaceSelection(w, std::u16string(1, ch), true);
}

// Ctrl+Left and Ctrl+Right stop at the start of words, as the desktop's edit does: a word
// is a run of anything but spaces (a URL's "/" and "." are inside it).
bool IsWordBreak(char16_t ch) {
    return ch == u' ' || ch == u'\t';
}

size_t PrevWordStart(const std::u16string& t, size_t i) {
    while (i > 0 && IsWordBreak(t[i - 1])) --i;
    while (i > 0 && !IsWordBreak(t[i - 1])) --i;
    return i;
}

size_t NextWordStart(const std::u16string& t, size_t i) {
    while (i < t.size() && !IsWordBreak(t[i])) ++i;
    while (i < t.size() && IsWordBreak(t[i])) ++i;
    return i;
}

void OnKeyDown(Window* w, WPARAM vk) {
    EditState* s = StateOf(w);
    bool shift = GetKeyState(VK_SHIFT) < 0;
    bool ctrl = GetKeyState(VK_CONTROL) < 0;
    switch (vk) {
    case VK_LEFT:
        if (ctrl)
            MoveCaret(w, PrevWordStart(w->text, s->caret), shift);
        else if (!shift && s->anchor != s->caret)
            MoveCaret(w, SelMin(s), false);
        else
            MoveCaret(w, PrevIndex(w->text, s->caret), shift);
        break;
    case VK_RIGHT:
        if (ctrl)
            MoveCaret(w, NextWordStart(w->text, s->caret), shift);
        else if (!shift && s->anchor != s->caret)
            MoveCaret(w, SelMax(s), false);
        else
            MoveCaret(w, NextIndex(w->text, s->caret), shift);
        break;
    case VK_HOME:
        MoveCaret(w, 0, shift);
        break;
    case VK_END:
        MoveCaret(w, w->text.size(), shift);
        break;
    case VK_DELETE:
        if (IsReadOnly(w)) {
            Beep(MB_OK);
            break;
        }
        if (s->anchor == s->caret) {
            if (s->caret >= w->text.size()) break;
            s->anchor = NextIndex(w->text, s->caret);
        }
        ReplaceSelection(w, u"", true);
        break;
    default:
        break;
    }
}

size_t IndexAtColumn(Window* w, int column) {
    EditState* s = StateOf(w);
    size_t i = s->scroll;
    int used = 0;
    while (i < w->text.size()) {
        size_t next = NextIndex(w->text, i);
        int cw = DisplayWidth(w, w->text, i, next);
        if (used + cw > column) break;
        used += cw;
        i = next;
    }
    return i;
}

void SetSelection(Window* w, long start, long end) {
    EditState* s = StateOf(w);
    size_t length = w->text.size();
    if (start < 0) {
        s->anchor = s->caret; // deselects, the caret stays
    } else {
        size_t a = std::min(static_cast<size_t>(start), length);
        size_t c = end < 0 ? length : std::min(static_cast<size_t>(end), length);
        s->anchor = a;
        s->caret = c;
    }
    KeepCaretVisible(w);
    Invalidate();
}

LRESULT SelectionResult(Window* w, WPARAM wParam, LPARAM lParam) {
    EditState* s = StateOf(w);
    auto from = static_cast<DWORD>(SelMin(s));
    auto to = static_cast<DWORD>(SelMax(s));
    if (auto* p = reinterpret_cast<DWORD*>(wParam)) *p = from;
    if (auto* p = reinterpret_cast<DWORD*>(lParam)) *p = to;
    if (from > 0xFFFF || to > 0xFFFF) return -1;
    return MAKELONG(from, to);
}

LRESULT EditCommon(Window* w, UINT msg, WPARAM wParam, LPARAM lParam, bool* handled) {
    EditState* s = StateOf(w);
    *handled = true;
    switch (msg) {
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    case EM_SETSEL:
        SetSelection(w, static_cast<long>(static_cast<int>(wParam)), static_cast<long>(lParam));
        return 0;
    case WM_SETTEXT: {
        auto text = reinterpret_cast<LPCWSTR>(lParam);
        std::u16string value;
        for (size_t i = 0; text != nullptr && text[i] != 0 && i < kEditMaxText; ++i)
            value.push_back(text[i]);
        w->text = std::move(value);
        s->anchor = s->caret = s->scroll = 0;
        Invalidate();
        if (!IsCombo(w)) NotifyParent(w, static_cast<WORD>(EN_CHANGE));
        return TRUE;
    }
    case WM_CHAR:
        OnChar(w, static_cast<char16_t>(wParam));
        return 0;
    case WM_KEYDOWN:
        OnKeyDown(w, wParam);
        return 0;
    case WM_PASTE:
        Paste(w);
        return 0;
    case WM_LBUTTONDOWN: {
        HWND handle = w->handle;
        SetFocusTo(w);
        if (FromHandle(handle) == nullptr) return 0;
        int column = static_cast<SHORT>(LOWORD(lParam)) / kUnitsPerColumn;
        MoveCaret(w, IndexAtColumn(w, std::max(0, column)), false);
        return 0;
    }
    case WM_LBUTTONUP:
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        Invalidate();
        if (IsCombo(w))
            NotifyParent(w, msg == WM_SETFOCUS ? kComboSetFocus : kComboKillFocus);
        else
            NotifyParent(w, static_cast<WORD>(msg == WM_SETFOCUS ? EN_SETFOCUS : EN_KILLFOCUS));
        return 0;
    default:
        *handled = false;
        return 0;
    }
}

} // namespace

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FromHandle(hwnd);
    if (w == nullptr) return 0;
    WindowRef ref(w);
    EditState* s = StateOf(w);
    bool handled = false;
    LRESULT result = EditCommon(w, msg, wParam, lParam, &handled);
    if (handled) return result;
    switch (msg) {
    case EM_GETSEL:
        return SelectionResult(w, wParam, lParam);
    case EM_REPLACESEL: {
        auto text = reinterpret_cast<LPCWSTR>(lParam);
        std::u16string value;
        for (size_t i = 0; text != nullptr && text[i] != 0 && i < kEditMaxText; ++i)
            value.push_back(text[i]);
        ReplaceSelection(w, value, false);
        return 0;
    }
    case EM_LIMITTEXT:
        s->limit = wParam == 0 ? kEditMaxText : std::min<size_t>(wParam, kEditMaxText);
        return 0;
    case EM_GETLIMITTEXT:
        return static_cast<LRESULT>(s->limit);
    case EM_SETREADONLY:
        if (wParam)
            w->style |= ES_READONLY;
        else
            w->style &= ~static_cast<DWORD>(ES_READONLY);
        Invalidate();
        return TRUE;
    case EM_SETPASSWORDCHAR:
        s->passwordChar = static_cast<char16_t>(wParam);
        if (wParam == 0)
            w->style &= ~static_cast<DWORD>(ES_PASSWORD);
        else
            w->style |= ES_PASSWORD;
        Invalidate();
        return 0;
    case EM_GETPASSWORDCHAR:
        return IsPassword(w) ? s->passwordChar : 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

namespace {

// The list drops down below the field as a popup menu of its items (a terminal has no list
// box of its own to float); the item chosen becomes the field's text, selected whole.
void DropDown(Window* w) {
    EditState* s = StateOf(w);
    if (s->items.empty()) return;
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return;
    for (size_t i = 0; i < s->items.size(); ++i) {
        std::u16string label; // "&" marks a mnemonic in a menu: "&&" is the character
        for (char16_t ch : s->items[i]) {
            label.push_back(ch);
            if (ch == u'&') label.push_back(u'&');
        }
        AppendMenuW(menu, MF_STRING, i + 1, reinterpret_cast<LPCWSTR>(label.c_str()));
    }
    RECT field{};
    GetWindowRect(w->handle, &field);
    HWND handle = w->handle;
    const auto chosen =
        static_cast<size_t>(TrackPopupMenuEx(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD,
                                             field.left, field.bottom, handle, nullptr));
    DestroyMenu(menu);
    if (FromHandle(handle) != w || chosen == 0 || chosen > s->items.size()) return;
    w->text = s->items[chosen - 1];
    SetSelection(w, 0, -1);
    NotifyParent(w, static_cast<WORD>(CBN_SELCHANGE));
}

// F4, Alt+Down and Alt+Up open the list, as the desktop's combo box does.
bool DropsDown(UINT msg, WPARAM vk) {
    return (msg == WM_KEYDOWN && vk == VK_F4) ||
           (msg == WM_SYSKEYDOWN && (vk == VK_DOWN || vk == VK_UP));
}

} // namespace

// Begins as EditProc does: the field is the same edit state; only the list messages differ.
LRESULT CALLBACK ComboBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FromHandle(hwnd);
    if (w == nullptr) return 0;
    WindowRef ref(w);
    EditState* s = StateOf(w);
    if (DropsDown(msg, wParam)) {
        DropDown(w);
        return 0;
    }
    // A click on the arrow (the last column) drops the list down.
    if (msg == WM_LBUTTONDOWN &&
        static_cast<SHORT>(LOWORD(lParam)) / kUnitsPerColumn >= ChildCells(w).Width() - 1) {
        HWND handle = w->handle;
        SetFocusTo(w);
        if (FromHandle(handle) == w) DropDown(w);
        return 0;
    }
    bool handled = false;
    LRESULT result = EditCommon(w, msg, wParam, lParam, &handled);
    if (handled) return result;
    switch (msg) {
    case CB_SETEDITSEL:
        SetSelection(w, static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam)));
        return TRUE;
    case CB_GETEDITSEL:
        return SelectionResult(w, wParam, lParam);
    case CB_LIMITTEXT:
        s->limit = wParam == 0 ? kEditMaxText : std::min<size_t>(wParam, kEditMaxText);
        return TRUE;
    case CB_ADDSTRING: {
        auto text = reinterpret_cast<LPCWSTR>(lParam);
        if (text == nullptr || s->items.size() >= kMaxComboItems) return CB_ERR;
        s->items.emplace_back(text);
        return static_cast<LRESULT>(s->items.size() - 1);
    }
    case CB_GETCOUNT:
        return static_cast<LRESULT>(s->items.size());
    case CB_RESETCONTENT:
        s->items.clear();
        return 0;
    case CB_SHOWDROPDOWN:
        if (wParam) DropDown(w);
        return TRUE;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

namespace {

void PaintField(Window* w, render::Canvas& canvas, int width) {
    EditState* s = StateOf(w);
    KeepCaretVisible(w);
    bool focused = HasFocus(w);
    uint16_t base = render::kAttrField;
    if (!ReallyEnabled(w)) base |= render::kAttrDisabled;
    if (focused) base |= render::kAttrFocused;
    int row = (canvas.Height() - 1) / 2;
    canvas.Fill(render::CellRect{0, row, width, row + 1}, U' ', base);
    bool showSelection = focused || (w->style & ES_NOHIDESEL);
    int column = 0;
    int caretColumn = -1;
    size_t i = s->scroll;
    while (i <= w->text.size()) {
        if (i == s->caret) caretColumn = column;
        if (i == w->text.size()) break;
        size_t next = i;
        char32_t ch = render::NextCodePoint(w->text.data(), w->text.size(), &next);
        if (IsPassword(w)) ch = s->passwordChar;
        int cw = render::CharWidth(ch);
        if (column + cw > width) break;
        uint16_t attr = base;
        if (showSelection && i >= SelMin(s) && i < SelMax(s)) attr |= render::kAttrSelected;
        canvas.Put(column, row, ch, attr);
        column += cw;
        i = next;
    }
    if (focused && caretColumn >= 0 && caretColumn < width) canvas.SetCaret(caretColumn, row);
}

} // namespace

void PaintEdit(Window* w, render::Canvas& canvas) {
    PaintField(w, canvas, canvas.Width());
}

void PaintComboBox(Window* w, render::Canvas& canvas) {
    int width = std::max(1, canvas.Width() - 1);
    PaintField(w, canvas, width);
    uint16_t attr = ReallyEnabled(w) ? render::kAttrNone : render::kAttrDisabled;
    canvas.Put(canvas.Width() - 1, (canvas.Height() - 1) / 2, U'▼', attr);
}

} // namespace qb::user
