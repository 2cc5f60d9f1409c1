// The grid compositor: draws top-level windows, bottom first, each an opaque rectangle with
// its frame and caption, and lets each window paint its client area.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/render/canvas.h"

namespace qb::render {

struct Layer {
    CellRect rect; // the whole window on the screen, frame included
    std::u16string title;
    bool border = false;   // a frame line around the client area
    bool caption = false;  // the title in the top frame line
    bool closeBox = false; // "[X]" at the right of the caption
    bool active = false;
    std::function<void(Canvas& client)> paintClient;
};

// The client area of a window of that rect, in the window's own coordinates.
CellRect ClientCells(const Layer& layer);
// Where the close box of a window with that rect is, in screen cells.
CellRect CloseBoxCells(const CellRect& window);

// Draws one window into the canvas (the canvas's origin is the screen's).
void DrawLayer(const Layer& layer, Canvas& screen);
// Draws the layers in order (bottom first) onto a blank screen.
void ComposeLayers(const std::vector<Layer>& bottomFirst, Screen* screen);

} // namespace qb::render
