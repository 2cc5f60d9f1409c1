// Reading a dialog off a captured pane as a person reads it: the value beside a label, whether
// a button is drawn greyed out, whether a list item is highlighted, the items of a framed list.
// Texts with attributes are captures taken with them (TmuxSession::capture(true)).
#pragma once

#include <string>
#include <vector>

namespace qb::test {

// The value shown right of a label inside a frame ("Bytes", "FileName" ...), trimmed;
// "<no LABEL>" when no line holds the label.
std::string fieldText(const std::string& pane, const std::string& label);

// The number a value begins with ("1024/2048" gives 1024); -1 when it is empty.
long long leadingNumber(const std::string& value);

// Whether the text is drawn greyed out, as disabled controls are: the colour in effect where
// it first begins on a line.
bool looksDisabled(const std::string& attributed, const std::string& text);

// The buttons as they look: each label found, with "-" before it when disabled, joined by
// spaces; labels not on the screen are left out.
std::string buttonsLook(const std::string& attributed, const std::vector<std::string>& labels);

// Whether the item right after `before` (a tree's lines and expander) is drawn highlighted,
// as a selected item is: a blue background or reverse video set right before it.
bool looksSelected(const std::string& attributed, const std::string& before,
                   const std::string& item);

// The framed list that begins with the line holding `first`: the text between the list's own
// frame sides (the nearest around `first`, a dialog's frame around the list left out) of each
// line from there on, trimmed, up to the first empty one.
std::vector<std::string> framedList(const std::string& pane, const std::string& first);

// The lines of the pane that hold anything.
std::vector<std::string> linesShown(const std::string& pane);

} // namespace qb::test
