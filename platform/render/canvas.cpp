#include "platform/render/canvas.h"

#include <algorithm>

#include "platform/render/cell_text.h"

namespace qb::render {

namespace {
constexpr char32_t kHorizontal = U'─';
constexpr char32_t kVertical = U'│';
constexpr char32_t kTopLeft = U'┌';
constexpr char32_t kTopRight = U'┐';
constexpr char32_t kBottomLeft = U'└';
constexpr char32_t kBottomRight = U'┘';
constexpr char32_t kTeeLeft = U'├';
constexpr char32_t kTeeRight = U'┤';

bool IsFrameLine(const Cell* cell, char32_t ch) {
    return cell != nullptr && cell->ch == ch && (cell->attr & kAttrFrame);
}
} // namespace

CellRect Intersect(const CellRect& a, const CellRect& b) {
    CellRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
               std::min(a.bottom, b.bottom)};
    if (r.Empty()) r = CellRect{};
    return r;
}

Canvas::Canvas(Screen* grid)
    : grid_(grid), originX_(0), originY_(0), width_(grid->columns),
      height_(grid->rows), clip_{0, 0, grid->columns, grid->rows} {}

Canvas::Canvas(Screen* grid, int originX, int originY, int width, int height, CellRect clip)
    : grid_(grid), originX_(originX), originY_(originY), width_(width), height_(height),
      clip_(clip) {}

Canvas Canvas::Sub(const CellRect& rect) const {
    CellRect inGrid{originX_ + rect.left, originY_ + rect.top, originX_ + rect.right,
                    originY_ + rect.bottom};
    return Canvas(grid_, inGrid.left, inGrid.top, std::max(0, rect.Width()),
                  std::max(0, rect.Height()), Intersect(clip_, inGrid));
}

Cell* Canvas::CellAt(int column, int row) {
    int x = originX_ + column;
    int y = originY_ + row;
    if (!clip_.Contains(x, y)) return nullptr;
    return &grid_->cells[static_cast<size_t>(y) * static_cast<size_t>(grid_->columns) +
                         static_cast<size_t>(x)];
}

int Canvas::Put(int column, int row, char32_t ch, uint16_t attr) {
    int width = CharWidth(ch);
    if (width == 0) return 0;
    Cell* first = CellAt(column, row);
    if (width == 2) {
        Cell* second = CellAt(column + 1, row);
        if (first != nullptr && second == nullptr) {
            *first = Cell{U' ', attr}; // half a wide character can't be shown
            return 2;
        }
        if (second != nullptr) {
            if (first == nullptr) {
                *second = Cell{U' ', attr};
                return 2;
            }
            *second = Cell{0, static_cast<uint16_t>(attr | kAttrWideTail)};
        }
    }
    if (first != nullptr) {
        // Overwriting half of a wide character leaves a blank in its other half.
        if (first->attr & kAttrWideTail) {
            Cell* lead = CellAt(column - 1, row);
            if (lead != nullptr) lead->ch = U' ';
        } else if (width == 1) {
            Cell* next = CellAt(column + 1, row);
            if (next != nullptr && (next->attr & kAttrWideTail)) {
                next->ch = U' ';
                next->attr = static_cast<uint16_t>(next->attr & ~kAttrWideTail);
            }
        }
        *first = Cell{ch, attr};
    }
    return width;
}

int Canvas::Text(int column, int row, const std::u16string& text, int maxWidth, uint16_t attr) {
    int used = 0;
    size_t i = 0;
    while (i < text.size()) {
        size_t before = i;
        char32_t ch = NextCodePoint(text.data(), text.size(), &i);
        int w = CharWidth(ch);
        if (used + w > maxWidth) {
            i = before;
            break;
        }
        Put(column + used, row, ch, attr);
        used += w;
    }
    return used;
}

void Canvas::Fill(const CellRect& rect, char32_t ch, uint16_t attr) {
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x) {
            if (Cell* cell = CellAt(x, y)) *cell = Cell{ch, attr};
        }
    }
}

void Canvas::AddAttr(const CellRect& rect, uint16_t attr) {
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x) {
            if (Cell* cell = CellAt(x, y)) cell->attr = static_cast<uint16_t>(cell->attr | attr);
        }
    }
}

void Canvas::HLine(int column, int row, int width, uint16_t attr) {
    for (int x = column; x < column + width; ++x) Put(x, row, kHorizontal, attr);
}

void Canvas::Box(const CellRect& rect, uint16_t attr) {
    if (rect.Empty()) return;
    int right = rect.right - 1;
    int bottom = rect.bottom - 1;
    HLine(rect.left, rect.top, rect.Width(), attr);
    HLine(rect.left, bottom, rect.Width(), attr);
    for (int y = rect.top; y <= bottom; ++y) {
        Put(rect.left, y, kVertical, attr);
        Put(right, y, kVertical, attr);
    }
    Put(rect.left, rect.top, kTopLeft, attr);
    Put(right, rect.top, kTopRight, attr);
    Put(rect.left, bottom, kBottomLeft, attr);
    Put(right, bottom, kBottomRight, attr);
}

void Canvas::JoinSides(const CellRect& box) {
    if (box.Width() < 3) return;
    const int right = box.right - 1;
    for (int y = box.top + 1; y < box.bottom - 1; ++y) {
        Cell* left = CellAt(box.left, y);
        if (IsFrameLine(left, kVertical) && IsFrameLine(CellAt(box.left + 1, y), kHorizontal))
            left->ch = kTeeLeft;
        Cell* side = CellAt(right, y);
        if (IsFrameLine(side, kVertical) && IsFrameLine(CellAt(right - 1, y), kHorizontal))
            side->ch = kTeeRight;
    }
}

void Canvas::SetCaret(int column, int row) {
    int x = originX_ + column;
    int y = originY_ + row;
    if (!clip_.Contains(x, y)) return;
    grid_->caretVisible = true;
    grid_->caretColumn = x;
    grid_->caretRow = y;
    if (Cell* cell = CellAt(column, row))
        cell->attr = static_cast<uint16_t>(cell->attr | kAttrCaret);
}

} // namespace qb::render
