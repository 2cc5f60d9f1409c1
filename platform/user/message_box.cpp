// MessageBoxW: with a renderer (or when a test drives it), a modal dialog of its own over
// the owner: an icon mark, the text wrapped to the screen, and the buttons of its type.
// Headless it writes "title: text" to standard error and returns the default button.
#include <algorithm>
#include <cstdio>

#include "platform/kernel/utf8_codec.h"
#include "platform/render/boundary.h"
#include "platform/render/cell_text.h"
#include "platform/user/dialog.h"
#include "platform/user/input.h"
#include "platform/user/layout.h"

namespace qb::user {

namespace {

constexpr size_t kMaxBoxText = 4096; // units of a box's text or title
constexpr int kMaxTextColumns = 60;  // the text wraps at this width (or the screen's)
constexpr int kMinButtonColumns = 8;

struct BoxButton {
    int id;
    const char16_t* label;
};

std::vector<BoxButton> ButtonsOf(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {{IDOK, u"OK"}, {IDCANCEL, u"Cancel"}};
    case MB_ABORTRETRYIGNORE:
        return {{IDABORT, u"&Abort"}, {IDRETRY, u"&Retry"}, {IDIGNORE, u"&Ignore"}};
    case MB_YESNOCANCEL:
        return {{IDYES, u"&Yes"}, {IDNO, u"&No"}, {IDCANCEL, u"Cancel"}};
    case MB_YESNO:
        return {{IDYES, u"&Yes"}, {IDNO, u"&No"}};
    case MB_RETRYCANCEL:
        return {{IDRETRY, u"&Retry"}, {IDCANCEL, u"Cancel"}};
    default:
        return {{IDOK, u"OK"}};
    }
}

size_t DefaultIndex(UINT type, size_t count) {
    size_t index = (type & MB_DEFMASK) >> 8;
    return index < count ? index : 0;
}

const char16_t* IconMark(UINT type) {
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND:
        return u"(X)";
    case MB_ICONQUESTION:
        return u"(?)";
    case MB_ICONEXCLAMATION:
        return u"(!)";
    case MB_ICONASTERISK:
        return u"(i)";
    default:
        return nullptr;
    }
}

std::u16string Bounded(LPCWSTR text) {
    std::u16string out;
    for (size_t i = 0; text != nullptr && text[i] != 0 && i < kMaxBoxText; ++i)
        out.push_back(text[i]);
    return out;
}

// Lines of at most `width` cells, broken at spaces where possible.
std::vector<std::u16string> Wrap(const std::u16string& text, int width) {
    std::vector<std::u16string> lines(1);
    int used = 0;
    size_t i = 0;
    while (i < text.size()) {
        size_t start = i;
        char32_t ch = render::NextCodePoint(text.data(), text.size(), &i);
        if (ch == U'\n') {
            lines.emplace_back();
            used = 0;
            continue;
        }
        if (ch == U'\r') continue;
        int w = render::CharWidth(ch);
        if (used + w > width) {
            std::u16string& line = lines.back();
            size_t space = line.rfind(u' ');
            std::u16string carry;
            if (space != std::u16string::npos && ch != U' ') {
                carry = line.substr(space + 1);
                line.resize(space);
            }
            lines.push_back(carry);
            used = render::TextWidth(carry);
            if (ch == U' ') continue;
        }
        lines.back().append(text, start, i - start);
        used += w;
    }
    return lines;
}

struct BoxContext {
    std::vector<BoxButton> buttons;
    int defaultId = IDOK;
};

INT_PTR CALLBACK BoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* box = reinterpret_cast<BoxContext*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG: {
        box = reinterpret_cast<BoxContext*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        SetFocus(GetDlgItem(hwnd, box->defaultId));
        return FALSE;
    }
    case WM_COMMAND: {
        if (box == nullptr) return FALSE;
        int id = LOWORD(wParam);
        bool known = false;
        bool hasCancel = false;
        for (const BoxButton& b : box->buttons) {
            known = known || b.id == id;
            hasCancel = hasCancel || b.id == IDCANCEL;
        }
        if (id == IDCANCEL && !hasCancel) {
            // Escape and the close box answer a box that has only OK with OK.
            if (box->buttons.size() == 1 && box->buttons[0].id == IDOK) EndDialog(hwnd, IDOK);
            return TRUE;
        }
        if (known) EndDialog(hwnd, id);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

DialogItem Control(WORD atom, DWORD style, int column, int row, int columns, int rows, DWORD id,
                   const std::u16string& text) {
    DialogItem item;
    item.windowClass.isOrdinal = true;
    item.windowClass.ordinal = atom;
    item.style = WS_CHILD | WS_VISIBLE | style;
    item.x = static_cast<short>(column * kUnitsPerColumn);
    item.y = static_cast<short>(row * kUnitsPerRow);
    item.cx = static_cast<short>(columns * kUnitsPerColumn);
    item.cy = static_cast<short>(rows * kUnitsPerRow);
    item.id = id;
    item.title.name = text;
    return item;
}

DialogTemplate BuildBox(const std::u16string& title, const std::u16string& text, UINT type,
                        const std::vector<BoxButton>& buttons, int defaultId) {
    constexpr WORD kButtonAtom = 0x0080;
    constexpr WORD kStaticAtom = 0x0082;
    const char16_t* icon = IconMark(type);
    int textLeft = icon != nullptr ? 5 : 1;
    int maxText = std::max(10, std::min(kMaxTextColumns, render::ScreenColumns() - textLeft - 4));
    std::vector<std::u16string> lines = Wrap(text, maxText);
    int textWidth = 1;
    for (const auto& line : lines) textWidth = std::max(textWidth, render::TextWidth(line));
    int buttonsWidth = 0;
    std::vector<int> widths;
    for (const BoxButton& b : buttons) {
        int w =
            std::max(kMinButtonColumns, render::TextWidth(StripAccelerator(b.label, nullptr)) + 4);
        widths.push_back(w);
        buttonsWidth += w + 1;
    }
    int width =
        std::max({textLeft + textWidth + 1, buttonsWidth + 1, render::TextWidth(title) + 8});
    int textRows = static_cast<int>(lines.size());
    int height = textRows + 4;

    DialogTemplate t;
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER;
    t.exStyle = (type & MB_TOPMOST) ? WS_EX_TOPMOST : 0;
    t.cx = static_cast<short>(width * kUnitsPerColumn);
    t.cy = static_cast<short>(height * kUnitsPerRow);
    t.title = title;
    if (icon != nullptr)
        t.items.push_back(
            Control(kStaticAtom, SS_LEFTNOWORDWRAP | SS_NOPREFIX, 1, 1, 3, 1, 0xFFFF, icon));
    std::u16string joined;
    for (size_t i = 0; i < lines.size(); ++i) joined += (i ? u"\n" : u"") + lines[i];
    t.items.push_back(Control(kStaticAtom, SS_LEFT | SS_NOPREFIX, textLeft, 1, textWidth, textRows,
                              0xFFFF, joined));
    int column = (width - buttonsWidth + 1) / 2;
    for (size_t i = 0; i < buttons.size(); ++i) {
        DWORD style = WS_TABSTOP | (buttons[i].id == defaultId ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        if (i == 0) style |= WS_GROUP;
        t.items.push_back(Control(kButtonAtom, style, column, textRows + 2, widths[i], 1,
                                  static_cast<DWORD>(buttons[i].id), buttons[i].label));
        column += widths[i] + 1;
    }
    return t;
}

void WriteToStandardError(const std::u16string& title, const std::u16string& text) {
    std::string line = kernel::Utf16ToUtf8(title.data(), title.size()) + ": " +
                       kernel::Utf16ToUtf8(text.data(), text.size()) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace

} // namespace qb::user

using namespace qb::user;

int WINAPI MessageBoxW(HWND hwnd, LPCWSTR text, LPCWSTR caption, UINT type) {
    EnsureRendererLink();
    std::u16string title = caption != nullptr ? Bounded(caption) : u"Error";
    std::u16string body = Bounded(text);
    std::vector<BoxButton> buttons = ButtonsOf(type);
    int defaultId = buttons[DefaultIndex(type, buttons.size())].id;

    ModalReport report;
    report.kind = ModalKind::kMessageBox;
    report.title = title;
    report.text = body;
    report.type = type;
    report.owner = hwnd;
    ModalDecision decision = ObserveModalStarting(ModalKind::kMessageBox);
    report.plan = decision.plan;
    if (decision.plan == ModalPlan::kAnswer) {
        report.result = decision.answer;
        ObserveModalEnded(report);
        return static_cast<int>(decision.answer);
    }
    bool shown = decision.plan == ModalPlan::kDrive || qb::render::internal::RendererAttached();
    if (!shown) {
        // With no terminal the text still reaches the person, unless nobody is there.
        if (decision.plan != ModalPlan::kRefuse) WriteToStandardError(title, body);
        report.result = defaultId;
        ObserveModalEnded(report);
        return defaultId;
    }
    if (hwnd != nullptr && FromHandle(hwnd) == nullptr) hwnd = nullptr;
    DialogTemplate t = BuildBox(title, body, type, buttons, defaultId);
    BoxContext context{buttons, defaultId};
    INT_PTR result = RunModalTemplate(nullptr, t, hwnd, BoxProc, reinterpret_cast<LPARAM>(&context),
                                      decision, IDCANCEL, &report.abandoned);
    report.result = result;
    ObserveModalEnded(report);
    return static_cast<int>(result);
}

BOOL WINAPI MessageBeep(UINT type) {
    ObserveBeep(type);
    qb::render::internal::RendererBeep();
    return TRUE;
}

namespace qb::user {
void Beep(UINT type) {
    MessageBeep(type);
}
} // namespace qb::user
