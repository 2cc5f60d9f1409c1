#include "platform/render/compositor.h"

#include <algorithm>

#include "platform/render/cell_text.h"

namespace qb::render {

namespace {
constexpr int kCloseBoxWidth = 3; // "[X]"
const std::u16string kCloseBoxText = u"[X]";
} // namespace

CellRect ClientCells(const Layer& layer) {
    int w = layer.rect.Width();
    int h = layer.rect.Height();
    if (layer.border || layer.caption) return CellRect{1, 1, w - 1, h - 1};
    return CellRect{0, 0, w, h};
}

CellRect CloseBoxCells(const CellRect& window) {
    int right = window.right - 1; // the frame's corner
    return CellRect{right - kCloseBoxWidth, window.top, right, window.top + 1};
}

void DrawLayer(const Layer& layer, Canvas& screen) {
    Canvas window = screen.Sub(layer.rect);
    CellRect all{0, 0, layer.rect.Width(), layer.rect.Height()};
    window.Fill(all, U' ', kAttrNone);
    if (layer.border || layer.caption) {
        uint16_t frame = static_cast<uint16_t>(kAttrFrame | (layer.active ? kAttrActive : 0));
        window.Box(all, frame);
        if (layer.caption) {
            uint16_t caption = static_cast<uint16_t>(frame | kAttrCaption);
            window.AddAttr(CellRect{0, 0, all.right, 1}, caption);
            int room = all.right - 2 - (layer.closeBox ? kCloseBoxWidth + 1 : 0);
            if (room > 2 && !layer.title.empty()) {
                window.Put(1, 0, U' ', caption);
                int used = window.Text(2, 0, layer.title, room - 2, caption);
                window.Put(2 + used, 0, U' ', caption);
            }
            if (layer.closeBox && all.right >= kCloseBoxWidth + 2) {
                CellRect box = CloseBoxCells(all);
                window.Text(box.left, 0, kCloseBoxText, kCloseBoxWidth, caption);
            }
        }
    }
    if (layer.paintClient) {
        Canvas client = window.Sub(ClientCells(layer));
        layer.paintClient(client);
        if (layer.border || layer.caption) window.JoinSides(all);
    }
}

void ComposeLayers(const std::vector<Layer>& bottomFirst, Screen* screen) {
    screen->cells.assign(static_cast<size_t>(screen->columns) * static_cast<size_t>(screen->rows),
                         Cell{});
    screen->caretVisible = false;
    screen->neededColumns = 0;
    screen->neededRows = 0;
    Canvas canvas(screen);
    for (const Layer& layer : bottomFirst) {
        screen->neededColumns = std::max(screen->neededColumns, layer.rect.right - layer.rect.left);
        screen->neededRows = std::max(screen->neededRows, layer.rect.bottom - layer.rect.top);
        // A window drawn over the caret hides it; the window that owns the focus draws last
        // or sets it again.
        if (screen->caretVisible && layer.rect.Contains(screen->caretColumn, screen->caretRow))
            screen->caretVisible = false;
        DrawLayer(layer, canvas);
    }
}

} // namespace qb::render
