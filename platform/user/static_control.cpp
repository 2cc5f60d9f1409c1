// The "Static" class: left, right and centred text (word-wrapped over its rows, "&" marks
// the accelerator unless SS_NOPREFIX) and icons (SS_ICON, STM_SETICON).
#include "platform/render/cell_text.h"
#include "platform/user/controls.h"
#include "platform/user/message_queue.h"

namespace qb::user {

namespace {

struct StaticState : ControlState {
    HICON icon = nullptr;
};

StaticState* StateOf(Window* w) {
    if (!w->state) w->state = std::make_unique<StaticState>();
    return static_cast<StaticState*>(w->state.get());
}

// Splits the text into lines of at most `width` cells, breaking at spaces where it can.
std::vector<std::u16string> WrapLines(const std::u16string& text, int width, bool wrap) {
    std::vector<std::u16string> lines;
    std::u16string line;
    int lineWidth = 0;
    size_t lastSpace = std::u16string::npos;
    size_t i = 0;
    while (i < text.size()) {
        size_t start = i;
        char32_t ch = render::NextCodePoint(text.data(), text.size(), &i);
        if (ch == U'\n' || ch == U'\r') {
            if (ch == U'\r' && i < text.size() && text[i] == u'\n') ++i;
            lines.push_back(line);
            line.clear();
            lineWidth = 0;
            lastSpace = std::u16string::npos;
            continue;
        }
        int w = render::CharWidth(ch);
        if (wrap && lineWidth + w > width && !line.empty()) {
            if (lastSpace != std::u16string::npos && ch != U' ') {
                std::u16string rest = line.substr(lastSpace + 1);
                line.resize(lastSpace);
                lines.push_back(line);
                line = rest;
                lineWidth = render::TextWidth(line);
            } else {
                lines.push_back(line);
                line.clear();
                lineWidth = 0;
            }
            lastSpace = std::u16string::npos;
            if (ch == U' ') continue;
        }
        if (ch == U' ') lastSpace = line.size();
        line.append(text, start, i - start);
        lineWidth += w;
    }
    lines.push_back(line);
    return lines;
}

} // namespace

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FromHandle(hwnd);
    if (w == nullptr) return 0;
    switch (msg) {
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case STM_SETICON:
    case STM_SETIMAGE: {
        HICON icon = reinterpret_cast<HICON>(msg == STM_SETICON ? wParam : lParam);
        HICON old = StateOf(w)->icon;
        StateOf(w)->icon = icon;
        Invalidate();
        return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETICON:
    case STM_GETIMAGE:
        return reinterpret_cast<LRESULT>(StateOf(w)->icon);
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

void PaintStatic(Window* w, render::Canvas& canvas) {
    DWORD type = w->style & SS_TYPEMASK;
    uint16_t attr = ReallyEnabled(w) ? render::kAttrNone : render::kAttrDisabled;
    if (type == SS_ICON) {
        // An icon is shown as a small mark where its picture would be.
        if (StateOf(w)->icon != nullptr) {
            int row = (canvas.Height() - 1) / 2;
            int column = canvas.Width() >= 3 ? (canvas.Width() - 3) / 2 : 0;
            canvas.Text(column, row, u"[*]", canvas.Width(), attr);
        }
        return;
    }
    if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_SIMPLE &&
        type != SS_LEFTNOWORDWRAP)
        return;
    std::u16string text = (w->style & SS_NOPREFIX) ? w->text : StripAccelerator(w->text, nullptr);
    int width = canvas.Width();
    bool wrap = type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT;
    std::vector<std::u16string> lines = WrapLines(text, width, wrap);
    for (int row = 0; row < canvas.Height() && row < static_cast<int>(lines.size()); ++row) {
        const std::u16string& line = lines[static_cast<size_t>(row)];
        int lineWidth = render::TextWidth(line);
        int column = 0;
        if (type == SS_CENTER && lineWidth < width) column = (width - lineWidth) / 2;
        if (type == SS_RIGHT && lineWidth < width) column = width - lineWidth;
        canvas.Text(column, row, line, width - column, attr);
    }
}

bool HasFocus(Window* w) {
    return w != nullptr && CurrentQueue(true)->focus == w->handle;
}

} // namespace qb::user
