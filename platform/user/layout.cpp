#include "platform/user/layout.h"

#include <algorithm>

#include "platform/user/focus.h"
#include "platform/user/label_room.h"
#include "platform/user/message_queue.h"

namespace qb::user {

namespace {

int FloorDiv(int a, int b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}
int CeilDiv(int a, int b) {
    return a >= 0 ? (a + b - 1) / b : -((-a) / b);
}

void AppendWithOwned(Window* window, const std::vector<Window*>& bottomFirst,
                     std::vector<Window*>* out, int depth) {
    constexpr int kMaxOwnerDepth = 32;
    if (depth > kMaxOwnerDepth) return;
    out->push_back(window);
    for (Window* other : bottomFirst) {
        if (other->owner == window->handle) AppendWithOwned(other, bottomFirst, out, depth + 1);
    }
}

} // namespace

bool HasFrame(const Window* window) {
    if (window->parent != nullptr) return false;
    return (window->style & (WS_CAPTION | WS_BORDER | WS_DLGFRAME | WS_THICKFRAME)) != 0 ||
           (window->cls->kind == Kind::kDialog && (window->style & DS_MODALFRAME)) ||
           (window->exStyle & WS_EX_DLGMODALFRAME) != 0 || window->cls->kind == Kind::kMenuPopup;
}

int FrameWidthUnits(const Window* window) {
    return HasFrame(window) ? kUnitsPerColumn : 0;
}
int FrameHeightUnits(const Window* window) {
    return HasFrame(window) ? kUnitsPerRow : 0;
}

render::CellRect UnitCells(const RECT& r) {
    int x = r.left;
    int w = std::max<LONG>(0, r.right - r.left);
    int y = r.top;
    int h = std::max<LONG>(0, r.bottom - r.top);
    int left = FloorDiv(x + kUnitsPerColumn / 2, kUnitsPerColumn);
    int right = FloorDiv(x + w + kUnitsPerColumn / 2, kUnitsPerColumn);
    if (right <= left) right = left + 1;
    int rows = std::max(1, h / kUnitsPerRow);
    // The rows' middle as near the control's middle as the grid allows.
    int top = FloorDiv(2 * y + h - kUnitsPerRow * rows + kUnitsPerRow, 2 * kUnitsPerRow);
    return render::CellRect{left, top, right, top + rows};
}

std::vector<render::CellRect> ChildrenCells(const Window* window) {
    if (window->cls->kind == Kind::kDialog) return FitLabels(window);
    std::vector<render::CellRect> cells;
    for (const Window* child : window->children) cells.push_back(UnitCells(child->rect));
    return cells;
}

render::CellRect ChildCells(const Window* child) {
    const Window* parent = child->parent;
    if (parent == nullptr || parent->cls->kind != Kind::kDialog) return UnitCells(child->rect);
    const std::vector<render::CellRect> cells = FitLabels(parent);
    for (size_t i = 0; i < parent->children.size(); ++i) {
        if (parent->children[i] == child) return cells[i];
    }
    return UnitCells(child->rect);
}

render::CellRect TopLevelCells(const Window* top) {
    const RECT& r = top->rect;
    int fw = FrameWidthUnits(top);
    int fh = FrameHeightUnits(top);
    int clientW = std::max<LONG>(0, r.right - r.left - 2 * fw);
    int clientH = std::max<LONG>(0, r.bottom - r.top - 2 * fh);
    int frame = HasFrame(top) ? 1 : 0;
    int left = FloorDiv(r.left, kUnitsPerColumn);
    int topRow = FloorDiv(r.top, kUnitsPerRow);
    int width = std::max(1, CeilDiv(clientW, kUnitsPerColumn)) + 2 * frame;
    int height = std::max(1, CeilDiv(clientH, kUnitsPerRow)) + 2 * frame;
    return render::CellRect{left, topRow, left + width, topRow + height};
}

render::CellRect ClientScreenCells(const Window* window) {
    if (window->parent == nullptr) {
        render::CellRect cells = TopLevelCells(window);
        if (HasFrame(window)) {
            ++cells.left;
            ++cells.top;
            --cells.right;
            --cells.bottom;
        }
        return cells;
    }
    render::CellRect parent = ClientScreenCells(window->parent);
    render::CellRect own = ChildCells(window);
    return render::CellRect{parent.left + own.left, parent.top + own.top, parent.left + own.right,
                            parent.top + own.bottom};
}

render::CellRect WindowScreenCells(const Window* window) {
    if (window->parent == nullptr) return TopLevelCells(window);
    return ClientScreenCells(window);
}

void PaintTree(Window* window, render::Canvas& canvas) {
    if (window->cls->paint != nullptr) window->cls->paint(window, canvas);
    // Children bottom of the Z order first, so the top one is drawn over the others.
    const std::vector<render::CellRect> cells = ChildrenCells(window);
    for (size_t i = window->children.size(); i-- > 0;) {
        Window* child = window->children[i];
        if (!(child->style & WS_VISIBLE)) continue;
        render::Canvas sub = canvas.Sub(cells[i]);
        PaintTree(child, sub);
    }
}

render::Layer LayerOf(Window* top) {
    render::Layer layer;
    layer.rect = TopLevelCells(top);
    layer.title = top->text;
    layer.caption = (top->style & WS_CAPTION) == WS_CAPTION;
    layer.border = HasFrame(top);
    layer.closeBox = layer.caption && (top->style & WS_SYSMENU);
    MessageQueue* queue = CurrentQueue(true);
    layer.active = queue->active == top->handle;
    layer.paintClient = [top](render::Canvas& client) { PaintTree(top, client); };
    return layer;
}

namespace {

// The calling thread's visible top-level windows in drawing order, bottom first: each
// owned window right above its owner.
std::vector<Window*> DrawingOrder() {
    DWORD self = CurrentThreadId();
    std::vector<Window*> bottomFirst;
    for (auto it = TopLevels().rbegin(); it != TopLevels().rend(); ++it) {
        Window* w = *it;
        if (w->threadId == self && (w->style & WS_VISIBLE)) bottomFirst.push_back(w);
    }
    std::vector<Window*> order;
    for (Window* w : bottomFirst) {
        bool ownerShown = false;
        for (Window* other : bottomFirst) {
            if (other->handle == w->owner) ownerShown = true;
        }
        if (!ownerShown) AppendWithOwned(w, bottomFirst, &order, 0);
    }
    return order;
}

} // namespace

std::vector<render::Layer> BuildLayers() {
    std::vector<render::Layer> layers;
    for (Window* w : DrawingOrder()) layers.push_back(LayerOf(w));
    return layers;
}

Window* TopLevelAt(int column, int row) {
    // The same order as drawn: the last layer containing the cell is on top.
    Window* found = nullptr;
    for (Window* w : DrawingOrder()) {
        if (TopLevelCells(w).Contains(column, row)) found = w;
    }
    return found;
}

Window* ChildAt(Window* top, int column, int row) {
    Window* current = top;
    for (;;) {
        Window* hit = nullptr;
        for (Window* child : current->children) { // top of the Z order first
            if (!(child->style & WS_VISIBLE)) continue;
            bool transparent =
                child->cls->kind == Kind::kButton && (child->style & BS_TYPEMASK) == BS_GROUPBOX;
            if (transparent) continue;
            if (ClientScreenCells(child).Contains(column, row)) {
                hit = child;
                break;
            }
        }
        if (hit == nullptr) return current;
        current = hit;
    }
}

} // namespace qb::user
