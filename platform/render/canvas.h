// A view onto a grid of cells: the one drawing path of every window and control. Drawing
// uses the view's own coordinates (0,0 is its top-left cell) and is clipped to the view and
// to every view it was cut from.
#pragma once

#include <string>

#include "qb/render.h"

namespace qb::render {

struct CellRect {
    int left = 0;
    int top = 0;
    int right = 0; // exclusive
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Empty() const { return right <= left || bottom <= top; }
    bool Contains(int column, int row) const {
        return column >= left && column < right && row >= top && row < bottom;
    }
};

CellRect Intersect(const CellRect& a, const CellRect& b);

class Canvas {
public:
    // The whole grid.
    explicit Canvas(Screen* grid);

    int Width() const { return width_; }
    int Height() const { return height_; }

    // A view of the cells `rect` (in this view's coordinates), clipped to this view.
    Canvas Sub(const CellRect& rect) const;

    // One character; a wide one takes this cell and the next (not drawn if the second is
    // clipped away). Returns the cells advanced.
    int Put(int column, int row, char32_t ch, uint16_t attr);
    // Text from (column, row), at most maxWidth cells; returns the cells used.
    int Text(int column, int row, const std::u16string& text, int maxWidth, uint16_t attr);
    void Fill(const CellRect& rect, char32_t ch, uint16_t attr);
    // Adds attributes to the cells of the rect without changing their characters.
    void AddAttr(const CellRect& rect, uint16_t attr);
    // A line frame around the rect.
    void Box(const CellRect& rect, uint16_t attr);
    // Where a frame line inside the box (a separator) reaches its side, the side's line
    // becomes a junction ("├", "┤"), so that the two read as one drawing.
    void JoinSides(const CellRect& box);
    void HLine(int column, int row, int width, uint16_t attr);
    // Places the screen caret at a cell of this view (if it is not clipped away).
    void SetCaret(int column, int row);

private:
    Canvas(Screen* grid, int originX, int originY, int width, int height, CellRect clip);
    Cell* CellAt(int column, int row);

    Screen* grid_;
    int originX_;
    int originY_;
    int width_;
    int height_;
    CellRect clip_; // in grid coordinates
};

} // namespace qb::render
