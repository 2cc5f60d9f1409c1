// Room for labels: where a dialog's controls are in cells, so that each label is shown whole
// where the dialog has room.
//
// A template is measured in dialog units, a quarter of the font's average character; a
// terminal cell is wider than that average, so a label that fits on the desktop may not fit
// the cells its control's units round to ("Overwrite" in 43 units, "一時停止" in 39). So:
//  - a control inside a group box keeps off the box's frame;
//  - a control whose label is wider than its cells grows into the free cells beside it: a
//    left-aligned label (static, check box, read-only field) to the right first, a
//    right-aligned one to the left first, a button or centred text on both sides, the odd
//    cell where there is more room. It never covers another control, a group box's frame
//    or the dialog's edge;
//  - when that is not enough, the dialog is made wider once, as it opens: its width and its
//    controls' places and widths in units are scaled by the smallest factor that lets every
//    label fit, at most twice its width and never wider than the screen. It is settled then,
//    so a dialog never changes its size in front of a person: a text set later (a long file
//    name) only grows into free cells.
// A label that wraps over several rows, a field that can be typed in, a tree or a bar has
// no label to fit.
#pragma once

#include <vector>

#include "platform/render/canvas.h"
#include "platform/user/window.h"

namespace qb::user {

// The cells of the dialog's children (in the order of its children) in its client area.
std::vector<render::CellRect> FitLabels(const Window* dialog);

// Makes the top-level dialog wider when its labels need it (see above), keeping its centre
// and staying on the screen. The dialog manager calls it once, after WM_INITDIALOG.
void WidenForLabels(Window* dialog);

// The cells the control's label needs in a control of `rows` rows; 0 for none.
int LabelColumns(const Window* control, int rows);

} // namespace qb::user
