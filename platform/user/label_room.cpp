#include "platform/user/label_room.h"

#include <algorithm>

#include "platform/render/cell_text.h"
#include "platform/user/layout.h"

namespace qb::user {

namespace {

constexpr int kMaxWidening = 2;      // a dialog grows to at most this many times its width
constexpr int kButtonBrackets = 2;   // "[" and "]" around a push button's label
constexpr int kCheckMarkColumns = 4; // "[x] " before a check box's label
constexpr int kCaretColumns = 1;     // a field's caret after its last character

DWORD ButtonType(const Window* w) {
    return w->style & BS_TYPEMASK;
}

bool IsGroupBox(const Window* w) {
    return w->cls->kind == Kind::kButton && ButtonType(w) == BS_GROUPBOX;
}

bool IsPushButton(DWORD type) {
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

bool IsMarkedButton(DWORD type) {
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE ||
           type == BS_AUTO3STATE || type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

bool IsTextStatic(DWORD type) {
    return type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_SIMPLE ||
           type == SS_LEFTNOWORDWRAP;
}

// Which side a label grows to first.
enum class Side { kRight, kLeft, kBoth };

Side GrowthSide(const Window* w) {
    if (w->cls->kind == Kind::kStatic) {
        DWORD type = w->style & SS_TYPEMASK;
        if (type == SS_RIGHT) return Side::kLeft;
        if (type == SS_CENTER) return Side::kBoth;
        return Side::kRight;
    }
    if (w->cls->kind == Kind::kButton && IsPushButton(ButtonType(w))) return Side::kBoth;
    return Side::kRight;
}

// x of a child in units, the client's width scaled by scale / base (rounded to nearest).
LONG ScaleUnits(LONG x, long long scale, long long base) {
    long long product = static_cast<long long>(x) * scale;
    long long half = base / 2;
    return static_cast<LONG>(product >= 0 ? (product + half) / base : -((-product + half) / base));
}

// The cells the children take before any grows, their units scaled; a control inside a
// group box kept off its frame.
struct Placement {
    std::vector<render::CellRect> cells;
    std::vector<bool> group;
};

Placement Place(const Window* dialog, long long scale, long long base) {
    Placement p;
    for (const Window* child : dialog->children) {
        RECT units = child->rect;
        units.left = ScaleUnits(units.left, scale, base);
        units.right = ScaleUnits(units.right, scale, base);
        p.cells.push_back(UnitCells(units));
        p.group.push_back(IsGroupBox(child));
    }
    for (size_t i = 0; i < p.cells.size(); ++i) {
        if (p.group[i]) continue;
        render::CellRect& c = p.cells[i];
        for (size_t g = 0; g < p.cells.size(); ++g) {
            const render::CellRect& box = p.cells[g];
            bool inside = p.group[g] && c.top > box.top && c.bottom < box.bottom &&
                          c.left < box.right && c.right > box.left;
            if (!inside) continue;
            int left = std::max(c.left, box.left + 1);
            int right = std::min(c.right, box.right - 1);
            if (right > left) {
                c.left = left;
                c.right = right;
            }
        }
    }
    return p;
}

// Whether another child is drawn at the cell: a group box only on its frame.
bool Occupied(const Placement& p, size_t self, int column, int row) {
    for (size_t j = 0; j < p.cells.size(); ++j) {
        const render::CellRect& c = p.cells[j];
        if (j == self || !c.Contains(column, row)) continue;
        if (!p.group[j]) return true;
        if (column == c.left || column == c.right - 1 || row == c.top || row == c.bottom - 1)
            return true;
    }
    return false;
}

// Free columns beside the child, going by step (-1 left, 1 right), at most limit.
int Room(const Placement& p, size_t self, int columns, int step, int limit) {
    const render::CellRect& c = p.cells[self];
    int room = 0;
    for (int column = step < 0 ? c.left - 1 : c.right;
         room < limit && column >= 0 && column < columns; column += step) {
        for (int row = c.top; row < c.bottom; ++row) {
            if (Occupied(p, self, column, row)) return room;
        }
        ++room;
    }
    return room;
}

void Grow(Placement* p, size_t self, Side side, int extra, int columns) {
    const int leftRoom = Room(*p, self, columns, -1, extra);
    const int rightRoom = Room(*p, self, columns, 1, extra);
    int left = 0;
    int right = 0;
    switch (side) {
    case Side::kRight:
        right = std::min(extra, rightRoom);
        left = std::min(extra - right, leftRoom);
        break;
    case Side::kLeft:
        left = std::min(extra, leftRoom);
        right = std::min(extra - left, rightRoom);
        break;
    case Side::kBoth: {
        // Half on each side; the odd cell, and what one side lacks, where there is room.
        const int more = extra - extra / 2;
        if (leftRoom > rightRoom) {
            left = std::min(more, leftRoom);
            right = std::min(extra - left, rightRoom);
            left = std::min(extra - right, leftRoom);
        } else {
            right = std::min(more, rightRoom);
            left = std::min(extra - right, leftRoom);
            right = std::min(extra - left, rightRoom);
        }
        break;
    }
    }
    p->cells[self].left -= left;
    p->cells[self].right += right;
}

std::vector<render::CellRect> Fit(const Window* dialog, int columns, long long scale,
                                  long long base) {
    Placement p = Place(dialog, scale, base);
    for (size_t i = 0; i < p.cells.size(); ++i) {
        const Window* child = dialog->children[i];
        const int extra = LabelColumns(child, p.cells[i].Height()) - p.cells[i].Width();
        if (extra > 0) Grow(&p, i, GrowthSide(child), extra, columns);
    }
    return p.cells;
}

// The label cells the children still lack.
int Shortage(const Window* dialog, const std::vector<render::CellRect>& cells) {
    int lacking = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
        const Window* child = dialog->children[i];
        lacking += std::max(0, LabelColumns(child, cells[i].Height()) - cells[i].Width());
    }
    return lacking;
}

} // namespace

int LabelColumns(const Window* w, int rows) {
    switch (w->cls->kind) {
    case Kind::kButton: {
        const DWORD type = ButtonType(w);
        const int width = render::TextWidth(StripAccelerator(w->text, nullptr));
        if (width == 0) return 0;
        if (IsPushButton(type)) return width + kButtonBrackets;
        if (IsMarkedButton(type)) return width + kCheckMarkColumns;
        return 0;
    }
    case Kind::kStatic: {
        if (!IsTextStatic(w->style & SS_TYPEMASK) || rows > 1) return 0;
        std::u16string text =
            (w->style & SS_NOPREFIX) ? w->text : StripAccelerator(w->text, nullptr);
        while (!text.empty() && text.back() == u' ') text.pop_back();
        return render::TextWidth(text);
    }
    case Kind::kEdit:
        if (!(w->style & ES_READONLY) || rows > 1 || w->text.empty()) return 0;
        return render::TextWidth(w->text) + kCaretColumns;
    default:
        return 0;
    }
}

std::vector<render::CellRect> FitLabels(const Window* dialog) {
    return Fit(dialog, ClientScreenCells(dialog).Width(), 1, 1);
}

void WidenForLabels(Window* dialog) {
    if (dialog->parent != nullptr || dialog->children.empty()) return;
    const int columns = ClientScreenCells(dialog).Width();
    const LONG units = dialog->rect.right - dialog->rect.left - 2 * FrameWidthUnits(dialog);
    if (columns <= 0 || units <= 0) return;
    const int frame = HasFrame(dialog) ? 2 : 0;
    const int widest = std::min(kMaxWidening * columns, render::ScreenColumns() - frame);
    int best = columns;
    int lacking = Shortage(dialog, Fit(dialog, columns, 1, 1));
    for (int candidate = columns + 1; lacking > 0 && candidate <= widest; ++candidate) {
        const long long scale = static_cast<long long>(candidate) * kUnitsPerColumn;
        const int left = Shortage(dialog, Fit(dialog, candidate, scale, units));
        if (left < lacking) {
            best = candidate;
            lacking = left;
        }
    }
    if (best == columns) return;
    const long long scale = static_cast<long long>(best) * kUnitsPerColumn;
    for (Window* child : dialog->children) {
        child->rect.left = ScaleUnits(child->rect.left, scale, units);
        child->rect.right = ScaleUnits(child->rect.right, scale, units);
    }
    // Wider about the same centre, on the screen where it fits.
    RECT& r = dialog->rect;
    const LONG width = r.right - r.left + (best - columns) * kUnitsPerColumn;
    LONG x = r.left - (best - columns) / 2 * kUnitsPerColumn;
    const LONG screen = static_cast<LONG>(render::ScreenColumns()) * kUnitsPerColumn;
    if (x + width > screen) x = screen - width;
    if (x < 0) x = 0;
    r.left = x;
    r.right = x + width;
    Invalidate();
}

} // namespace qb::user
