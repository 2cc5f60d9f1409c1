// The "Button" class: push and default push buttons, check boxes (auto and plain, two and
// three states), radio buttons and group boxes.
//   [ Start ]   push button: kAttrDefault when Enter would press it, the "&" letter of its
//               label kAttrMnemonic (underlined). A label wider than the button is cut
//   [一時停 ]   inside the brackets, which always stay; "上書き(&O)" first gives up its
//               bracketed letter: "[ 上書き ]".
//   [x] Label   check box    (x) Label   radio button
//   ┌Title──┐   group box (a caption of blanks leaves the line closed: ┌───────┐)
#include <algorithm>

#include "platform/render/cell_text.h"
#include "platform/user/controls.h"
#include "platform/user/dialog.h"
#include "platform/user/focus.h"
#include "platform/user/message_queue.h"

namespace qb::user {

namespace {

constexpr int kMinFramedColumns = 3; // "[" + one cell of label + "]"

// A label that ends in its accelerator in brackets, Japanese style ("上書き(&O)"), gives up
// that ending first when it is wider than `room`: the letter still works with Alt.
std::u16string Condensed(const std::u16string& text, int room) {
    std::u16string label = StripAccelerator(text, nullptr);
    if (render::TextWidth(label) <= room) return label;
    size_t open = text.rfind(u"(&");
    if (open == std::u16string::npos || open + 4 != text.size() || text.back() != u')')
        return label;
    return StripAccelerator(text.substr(0, open), nullptr);
}

// Where the accelerator letter stands in the label StripAccelerator makes of `text`, in
// UTF-16 units; npos when there is none.
size_t MnemonicIndex(const std::u16string& text) {
    size_t stripped = 0;
    for (size_t i = 0; i < text.size(); ++i, ++stripped) {
        if (text[i] != u'&' || i + 1 >= text.size()) continue;
        if (text[i + 1] != u'&') return stripped;
        ++i; // "&&" is one "&"
    }
    return std::u16string::npos;
}

struct ButtonState : ControlState {
    UINT check = BST_UNCHECKED;
    bool pushed = false;
};

ButtonState* StateOf(Window* w) {
    if (!w->state) w->state = std::make_unique<ButtonState>();
    return static_cast<ButtonState*>(w->state.get());
}

DWORD TypeOf(const Window* w) {
    return w->style & BS_TYPEMASK;
}

bool IsCheckType(DWORD type) {
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE ||
           type == BS_AUTO3STATE;
}
bool IsRadioType(DWORD type) {
    return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}
bool IsPushType(DWORD type) {
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

void Click(Window* w) {
    DWORD type = TypeOf(w);
    ButtonState* state = StateOf(w);
    HWND handle = w->handle;
    if (type == BS_AUTOCHECKBOX) {
        state->check = state->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    } else if (type == BS_AUTO3STATE) {
        state->check = (state->check + 1) % 3;
    } else if (type == BS_AUTORADIOBUTTON) {
        state->check = BST_CHECKED;
        if (Window* parent = w->parent) {
            // The other radio buttons of its group (WS_GROUP starts a group) go off.
            auto& list = parent->children;
            size_t index = 0;
            while (index < list.size() && list[index] != w) ++index;
            size_t first = index;
            while (first > 0 && first < list.size() && !(list[first]->style & WS_GROUP)) --first;
            for (size_t i = first; i < list.size(); ++i) {
                if (i > index && (list[i]->style & WS_GROUP)) break;
                Window* sibling = list[i];
                if (sibling != w && sibling->cls->kind == Kind::kButton &&
                    TypeOf(sibling) == BS_AUTORADIOBUTTON)
                    StateOf(sibling)->check = BST_UNCHECKED;
            }
        }
    }
    Invalidate();
    if (FromHandle(handle) != nullptr) NotifyParent(w, static_cast<WORD>(BN_CLICKED));
}

} // namespace

bool IsDefaultButton(Window* button) {
    if (!IsPushType(TypeOf(button))) return false;
    Window* dialog = button->parent;
    if (dialog == nullptr || dialog->cls->kind != Kind::kDialog)
        return TypeOf(button) == BS_DEFPUSHBUTTON;
    // A focused push button is the one Enter presses; otherwise the dialog's default.
    Window* focus = FromHandle(CurrentQueue(true)->focus);
    if (focus != nullptr && focus->parent == dialog && focus->cls->kind == Kind::kButton &&
        IsPushType(TypeOf(focus)))
        return focus == button;
    UINT id = DefaultButtonId(dialog);
    return id != 0 && button->id == id;
}

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FromHandle(hwnd);
    if (w == nullptr) return 0;
    ButtonState* state = StateOf(w);
    DWORD type = TypeOf(w);
    switch (msg) {
    case WM_GETDLGCODE:
        if (type == BS_GROUPBOX) return DLGC_STATIC;
        if (IsRadioType(type)) return DLGC_BUTTON | DLGC_RADIOBUTTON;
        if (type == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        if (type == BS_PUSHBUTTON) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        return DLGC_BUTTON;
    case BM_GETCHECK:
        return (IsCheckType(type) || IsRadioType(type)) ? state->check : 0;
    case BM_SETCHECK:
        if (IsCheckType(type) || IsRadioType(type)) {
            UINT check = static_cast<UINT>(wParam);
            if (check > BST_INDETERMINATE) check = BST_CHECKED;
            if (check == BST_INDETERMINATE && type != BS_3STATE && type != BS_AUTO3STATE)
                check = BST_CHECKED;
            state->check = check;
            Invalidate();
        }
        return 0;
    case BM_GETSTATE:
        return state->check | (state->pushed ? BST_PUSHED : 0) | (HasFocus(w) ? BST_FOCUS : 0);
    case BM_SETSTATE:
        state->pushed = wParam != 0;
        Invalidate();
        return 0;
    case BM_SETSTYLE:
        w->style = (w->style & 0xFFFF0000u) | static_cast<WORD>(wParam);
        Invalidate();
        return 0;
    case BM_CLICK:
        if (!ReallyEnabled(w) || type == BS_GROUPBOX) return 0;
        Click(w);
        return 0;
    case WM_LBUTTONDOWN:
        if (type == BS_GROUPBOX) return 0;
        SetFocusTo(w);
        if (FromHandle(hwnd) == nullptr) return 0;
        state->pushed = true;
        Invalidate();
        return 0;
    case WM_LBUTTONUP:
        if (state->pushed) {
            state->pushed = false;
            Click(w);
        }
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE && type != BS_GROUPBOX) {
            state->pushed = true;
            Invalidate();
        }
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE && state->pushed) {
            state->pushed = false;
            Click(w);
        }
        return 0;
    case WM_KILLFOCUS:
        state->pushed = false;
        Invalidate();
        return 0;
    case WM_SETFOCUS:
    case WM_ENABLE:
        Invalidate();
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

void PaintButton(Window* w, render::Canvas& canvas) {
    ButtonState* state = StateOf(w);
    DWORD type = TypeOf(w);
    uint16_t attr = render::kAttrNone;
    if (!ReallyEnabled(w)) attr |= render::kAttrDisabled;
    if (HasFocus(w)) attr |= render::kAttrFocused;
    std::u16string label = StripAccelerator(w->text, nullptr);
    int width = canvas.Width();
    if (type == BS_GROUPBOX) {
        int rows = canvas.Height();
        render::CellRect box{0, 0, width, rows < 2 ? 2 : rows};
        canvas.Box(box, static_cast<uint16_t>(attr | render::kAttrFrame));
        // Blanks are no caption (a template may keep room for a check box over the line):
        // the line stays closed.
        bool blank = label.find_first_not_of(u' ') == std::u16string::npos;
        if (!blank && width > 2) canvas.Text(1, 0, label, width - 2, attr);
        return;
    }
    if (IsCheckType(type) || IsRadioType(type)) {
        bool radio = IsRadioType(type);
        char16_t mark = state->check == BST_CHECKED         ? (radio ? u'*' : u'x')
                        : state->check == BST_INDETERMINATE ? u'-'
                                                            : u' ';
        uint16_t markAttr =
            static_cast<uint16_t>(attr | (state->check == BST_CHECKED ? render::kAttrChecked : 0));
        canvas.Put(0, 0, radio ? U'(' : U'[', attr);
        canvas.Put(1, 0, mark, markAttr);
        canvas.Put(2, 0, radio ? U')' : U']', attr);
        if (width > 4) canvas.Text(4, 0, label, width - 4, attr);
        if (HasFocus(w)) canvas.SetCaret(1, 0);
        return;
    }
    if (IsDefaultButton(w)) attr |= render::kAttrDefault;
    if (state->pushed) attr |= render::kAttrSelected;
    label = Condensed(w->text, width - 2);
    int textWidth = render::TextWidth(label);
    int row = (canvas.Height() - 1) / 2;
    canvas.Fill(render::CellRect{0, row, width, row + 1}, U' ', attr);
    // A push button keeps its brackets whenever they fit with at least one cell between them,
    // so it never passes for a static text: a label wider than the room inside is cut at the
    // last whole character that fits (a wide character is never split), centred in the room.
    if (width >= textWidth + 2 || width >= kMinFramedColumns) {
        int inner = width - 2;
        canvas.Put(0, row, U'[', attr);
        canvas.Put(width - 1, row, U']', attr);
        int left = 1 + (inner - std::min(textWidth, inner)) / 2;
        int drawn = canvas.Text(left, row, label, inner, attr);
        // The accelerator letter is underlined where it is shown (a condensed or cut label
        // may not show it; Alt+letter works all the same).
        size_t mark = MnemonicIndex(w->text);
        if (mark < label.size()) {
            int at = render::TextWidth(label.substr(0, mark));
            if (at < drawn)
                canvas.AddAttr(render::CellRect{left + at, row, left + at + 1, row + 1},
                               render::kAttrMnemonic);
        }
    } else {
        // Too narrow for the brackets: the text, cut, or a mark for a button without one.
        if (label.empty())
            canvas.Put(0, row, U'■', attr);
        else
            canvas.Text(0, row, label, width, attr);
    }
}

} // namespace qb::user
