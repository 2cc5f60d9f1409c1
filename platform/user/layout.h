// Where windows are in cells. Positions are kept in dialog units; a cell is 4 units wide and
// 8 high. A control takes the columns its edges round to, and as many rows as whole 8-unit
// lines fit in its height (at least one) centred on its middle, so the usual 12- and
// 13-unit fields and buttons take one row. A top-level window's client area is its size
// rounded up to whole cells (the 133 x 94 unit main dialog is 34 x 12 cells), framed by one
// cell on each side when it has a border or caption.
#pragma once

#include <vector>

#include "platform/render/compositor.h"
#include "platform/user/window.h"

namespace qb::user {

constexpr int kUnitsPerColumn = 4;
constexpr int kUnitsPerRow = 8;

bool HasFrame(const Window* window);
// The frame of a top-level window in dialog units (0 without one).
int FrameWidthUnits(const Window* window);
int FrameHeightUnits(const Window* window);

// The cells a rectangle of dialog units rounds to (a child's place as its units give it).
render::CellRect UnitCells(const RECT& units);
// A child's cells inside its parent's client area: in a dialog, as the labels' room gives
// them (label_room.h); elsewhere as its units round.
render::CellRect ChildCells(const Window* child);
// The cells of every child of the window, in the order of its children.
std::vector<render::CellRect> ChildrenCells(const Window* window);
// A top-level window's cells on the screen, frame included.
render::CellRect TopLevelCells(const Window* top);
// The client area of any window in screen cells.
render::CellRect ClientScreenCells(const Window* window);
// The whole window (frame included for top-level windows) in screen cells.
render::CellRect WindowScreenCells(const Window* window);

// The compositor's layers for the visible top-level windows of the calling thread, bottom
// first; owned windows are drawn above their owners.
std::vector<render::Layer> BuildLayers();
render::Layer LayerOf(Window* top);
// Draws the window's client area and its children.
void PaintTree(Window* window, render::Canvas& canvas);

// The visible top-level window at the cell, topmost first (null if none).
Window* TopLevelAt(int column, int row);
// The deepest visible child of `top` at the screen cell, or `top` itself.
Window* ChildAt(Window* top, int column, int row);

} // namespace qb::user
