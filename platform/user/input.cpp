// The input side of the renderer boundary: keys, characters and clicks become queued input
// records of the calling (GUI) thread; each gets its window when the message loop takes it.
// A new screen size moves the top-level windows so that they keep their place on it.
#include "platform/user/input.h"

#include <algorithm>
#include <vector>

#include "platform/render/boundary.h"
#include "platform/user/focus.h"
#include "platform/user/layout.h"

namespace qb::user {

namespace {

// Hit-test codes carried by WM_NCLBUTTONDOWN, as Windows numbers them.
constexpr WPARAM kHitCaption = 2;
constexpr WPARAM kHitClose = 20;
constexpr WPARAM kHitDisabled = static_cast<WPARAM>(-2);

UINT VirtualKey(render::Key key) {
    switch (key) {
    case render::Key::kTab:
        return VK_TAB;
    case render::Key::kEnter:
        return VK_RETURN;
    case render::Key::kEscape:
        return VK_ESCAPE;
    case render::Key::kSpace:
        return VK_SPACE;
    case render::Key::kBackspace:
        return VK_BACK;
    case render::Key::kDelete:
        return VK_DELETE;
    case render::Key::kLeft:
        return VK_LEFT;
    case render::Key::kRight:
        return VK_RIGHT;
    case render::Key::kUp:
        return VK_UP;
    case render::Key::kDown:
        return VK_DOWN;
    case render::Key::kHome:
        return VK_HOME;
    case render::Key::kEnd:
        return VK_END;
    case render::Key::kPageUp:
        return VK_PRIOR;
    case render::Key::kPageDown:
        return VK_NEXT;
    case render::Key::kF4:
        return VK_F4;
    }
    return 0;
}

void PostInput(InputKind kind, UINT message, WPARAM wParam, unsigned modifiers, int column,
               int row) {
    QueuedMessage record;
    record.input = kind;
    record.msg.message = message;
    record.msg.wParam = wParam;
    record.msg.lParam = 1; // repeat count
    record.msg.time = Ticks();
    record.msg.pt = POINT{column * kUnitsPerColumn, row * kUnitsPerRow};
    record.modifiers = modifiers;
    record.column = column;
    record.row = row;
    CurrentQueue(true)->Post(record);
}

void SinkKey(render::Key key, unsigned modifiers) {
    UINT vk = VirtualKey(key);
    bool alt = (modifiers & render::kModAlt) != 0;
    PostInput(InputKind::kKey, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, modifiers, 0, 0);
    PostInput(InputKind::kKey, alt ? WM_SYSKEYUP : WM_KEYUP, vk, modifiers, 0, 0);
}

void SinkCharacter(char16_t ch, unsigned modifiers) {
    if (modifiers & render::kModAlt) {
        PostInput(InputKind::kKey, WM_SYSCHAR, ch, modifiers, 0, 0);
        return;
    }
    if (ch == u' ' && modifiers == 0) {
        SinkKey(render::Key::kSpace, 0);
        return;
    }
    if (modifiers & render::kModCtrl) {
        if (ch >= u'a' && ch <= u'z')
            ch = static_cast<char16_t>(ch - u'a' + 1);
        else if (ch >= u'A' && ch <= u'Z')
            ch = static_cast<char16_t>(ch - u'A' + 1);
    }
    PostInput(InputKind::kKey, WM_CHAR, ch, modifiers, 0, 0);
}

void SinkPaste(const char16_t* text, size_t length) {
    for (size_t i = 0; i < length; ++i) PostInput(InputKind::kPaste, WM_CHAR, text[i], 0, 0, 0);
}

void SinkClick(int column, int row) {
    PostInput(InputKind::kMouseDown, WM_LBUTTONDOWN, MK_LBUTTON, 0, column, row);
    PostInput(InputKind::kMouseUp, WM_LBUTTONUP, 0, 0, column, row);
}

void SinkCloseActive() {
    MessageQueue* queue = CurrentQueue(true);
    if (queue->active != nullptr) PostMessageW(queue->active, WM_SYSCOMMAND, SC_CLOSE, 0);
}

// Where a window `size` long goes on a side that grew or shrank from oldScreen to newScreen
// (all in units): centred stays centred, elsewhere keeps its share of the free room, and
// inside the screen where it fits; one that doesn't fit goes to the start, where most of it
// shows.
int FollowSide(int position, int size, int oldScreen, int newScreen) {
    const int oldRoom = oldScreen - size;
    const int newRoom = newScreen - size;
    if (newRoom <= 0) return 0;
    if (oldRoom <= 0 || position == oldRoom / 2) return newRoom / 2;
    const long long kept = static_cast<long long>(position) * newRoom / oldRoom;
    return static_cast<int>(std::clamp<long long>(kept, 0, newRoom));
}

void SinkResized(int oldColumns, int oldRows) {
    const int newWidth = GetSystemMetrics(SM_CXSCREEN);
    const int newHeight = GetSystemMetrics(SM_CYSCREEN);
    const DWORD self = CurrentThreadId();
    std::vector<HWND> tops;
    for (Window* w : TopLevels())
        if (w->threadId == self) tops.push_back(w->handle);
    for (HWND handle : tops) {
        Window* w = FromHandle(handle);
        if (w == nullptr) continue;
        const RECT r = w->rect;
        const int x = FollowSide(r.left, r.right - r.left, oldColumns * kUnitsPerColumn, newWidth);
        const int y = FollowSide(r.top, r.bottom - r.top, oldRows * kUnitsPerRow, newHeight);
        if (x != r.left || y != r.top)
            SetWindowPos(handle, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    Invalidate();
}
void SinkWake() {
    WakeAllQueues();
}

void SinkCompose(render::Screen* screen) {
    render::ComposeLayers(BuildLayers(), screen);
}

bool SinkAnyVisible() {
    DWORD self = CurrentThreadId();
    for (Window* w : TopLevels()) {
        if (w->threadId == self && (w->style & WS_VISIBLE)) return true;
    }
    return false;
}

const render::internal::InputSink kSink = {
    SinkKey,     SinkCharacter, SinkPaste,   SinkClick,      SinkCloseActive,
    SinkResized, SinkWake,      SinkCompose, SinkAnyVisible,
};

LPARAM ClientPoint(Window* window, int column, int row) {
    render::CellRect client = ClientScreenCells(window);
    int x = (column - client.left) * kUnitsPerColumn;
    int y = (row - client.top) * kUnitsPerRow;
    return MAKELPARAM(static_cast<WORD>(static_cast<SHORT>(x)),
                      static_cast<WORD>(static_cast<SHORT>(y)));
}

bool ResolveMouse(MessageQueue* queue, QueuedMessage* record) {
    bool down = record->input == InputKind::kMouseDown;
    MSG& msg = record->msg;
    if (Window* capture = FromHandle(queue->capture)) {
        msg.hwnd = capture->handle;
        msg.lParam = ClientPoint(capture, record->column, record->row);
        return true;
    }
    Window* top = TopLevelAt(record->column, record->row);
    if (top == nullptr) return false;
    if (top->style & WS_DISABLED) {
        if (!down) return false;
        msg.hwnd = top->handle;
        msg.message = WM_NCLBUTTONDOWN;
        msg.wParam = kHitDisabled;
        return true;
    }
    render::Layer layer = LayerOf(top);
    render::CellRect client = ClientScreenCells(top);
    if (!client.Contains(record->column, record->row)) {
        if (!down) return false;
        msg.hwnd = top->handle;
        msg.message = WM_NCLBUTTONDOWN;
        bool onClose = layer.closeBox &&
                       render::CloseBoxCells(layer.rect).Contains(record->column, record->row);
        msg.wParam = onClose ? kHitClose : kHitCaption;
        return true;
    }
    Window* target = ChildAt(top, record->column, record->row);
    if (!ReallyEnabled(target)) target = top;
    msg.hwnd = target->handle;
    msg.lParam = ClientPoint(target, record->column, record->row);
    return true;
}

// Decided from the focused window's class, not by asking it (the queue is locked here): a
// pasted character taken as typed by a button or the dialog manager could press something.
bool ResolvePaste(MessageQueue* queue, QueuedMessage* record) {
    Window* target = FromHandle(queue->focus);
    if (target == nullptr || queue->capture != nullptr) return false;
    Kind kind = target->cls->kind;
    bool writable =
        kind == Kind::kComboBox || (kind == Kind::kEdit && !(target->style & ES_READONLY));
    if (!writable) return false;
    record->msg.hwnd = target->handle;
    return true;
}

} // namespace

bool ResolveInput(MessageQueue* queue, QueuedMessage* record) {
    if (record->input == InputKind::kKey) {
        HWND target = queue->capture != nullptr ? queue->capture
                      : queue->focus != nullptr ? queue->focus
                                                : queue->active;
        if (target == nullptr || FromHandle(target) == nullptr) return false;
        record->msg.hwnd = target;
        return true;
    }
    if (record->input == InputKind::kPaste) return ResolvePaste(queue, record);
    return ResolveMouse(queue, record);
}

void EnsureRendererLink() {
    render::internal::SetInputSink(&kSink);
}

} // namespace qb::user
