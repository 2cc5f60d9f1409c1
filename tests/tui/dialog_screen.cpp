#include "tests/tui/dialog_screen.h"

#include <cstdlib>

#include "tests/tui/pane_text.h"

namespace qb::test {
namespace {

const std::string kSide = "│";

std::string trim(const std::string& s) {
    size_t first = s.find_first_not_of(' ');
    size_t last = s.find_last_not_of(' ');
    return first == std::string::npos ? "" : s.substr(first, last - first + 1);
}

// The SGR parameters of "ESC [ ... m" at `at`, and where the sequence ends; false when there
// is none there.
bool sgrAt(const std::string& line, size_t at, std::vector<int>& codes, size_t& end) {
    if (line.compare(at, 2, "\033[") != 0) return false;
    end = line.find('m', at);
    if (end == std::string::npos) return false;
    const std::string params = line.substr(at + 2, end - at - 2);
    codes.clear();
    for (size_t p = 0; p <= params.size();) {
        size_t semi = params.find(';', p);
        if (semi == std::string::npos) semi = params.size();
        codes.push_back(std::atoi(params.substr(p, semi - p).c_str()));
        p = semi + 1;
    }
    return true;
}

size_t countSides(const std::string& s) {
    size_t count = 0;
    for (size_t at = s.find(kSide); at != std::string::npos; at = s.find(kSide, at + 1)) ++count;
    return count;
}

// Where the frame side is that has `skipped` others before it (from the left) or after it
// (from the right); npos when the line has fewer.
size_t nthSide(const std::string& line, size_t skipped, bool fromRight) {
    size_t at = fromRight ? line.rfind(kSide) : line.find(kSide);
    for (; at != std::string::npos && skipped > 0; --skipped) {
        if (fromRight && at == 0) return std::string::npos;
        at = fromRight ? line.rfind(kSide, at - 1) : line.find(kSide, at + 1);
    }
    return at;
}

} // namespace

std::string fieldText(const std::string& pane, const std::string& label) {
    for (const std::string& line : paneLines(pane)) {
        size_t at = line.find(kSide + label);
        if (at == std::string::npos) continue;
        std::string rest = line.substr(at + kSide.size() + label.size());
        return trim(rest.substr(0, rest.find(kSide)));
    }
    return "<no " + label + ">";
}

long long leadingNumber(const std::string& value) {
    return value.empty() ? -1 : std::atoll(value.c_str());
}

bool looksDisabled(const std::string& attributed, const std::string& text) {
    for (const std::string& line : paneLines(attributed)) {
        size_t at = line.find(text);
        if (at == std::string::npos) continue;
        bool grey = false;
        std::vector<int> codes;
        for (size_t i = 0; i < at; ++i) {
            size_t end = 0;
            if (!sgrAt(line, i, codes, end) || end > at) continue;
            for (int code : codes) {
                if (code == 38 || code == 48) break; // extended colours: not grey
                if (code == 0 || code == 39 || code == 22) grey = false;
                if (code == 90 || code == 2) grey = true;
            }
            i = end;
        }
        return grey;
    }
    return false;
}

std::string buttonsLook(const std::string& attributed, const std::vector<std::string>& labels) {
    std::string out;
    for (const std::string& label : labels) {
        if (attributed.find(label) == std::string::npos) continue;
        if (!out.empty()) out += " ";
        out += (looksDisabled(attributed, label) ? "-" : "") + label;
    }
    return out;
}

bool looksSelected(const std::string& attributed, const std::string& before,
                   const std::string& item) {
    for (const std::string& line : paneLines(attributed)) {
        size_t at = line.find(before);
        if (at == std::string::npos) continue;
        std::string all = ";";
        std::vector<int> codes;
        size_t end = 0;
        for (at += before.size(); sgrAt(line, at, codes, end); at = end + 1) {
            for (int code : codes) all += std::to_string(code) + ";";
        }
        return line.compare(at, item.size(), item) == 0 &&
               (all.find(";44;") != std::string::npos || all.find(";7;") != std::string::npos);
    }
    return false;
}

std::vector<std::string> framedList(const std::string& pane, const std::string& first) {
    std::vector<std::string> items;
    size_t outerLeft = 0;  // frame sides left of the list's own, counted on its first line
    size_t outerRight = 0; // and right of it: a list drawn inside a dialog has the dialog's
    for (const std::string& line : paneLines(pane)) {
        if (items.empty()) {
            const size_t at = line.find(first);
            if (at == std::string::npos) continue;
            const size_t sidesBefore = countSides(line.substr(0, at));
            const size_t sidesAfter = countSides(line.substr(at + first.size()));
            if (sidesBefore == 0 || sidesAfter == 0) break;
            outerLeft = sidesBefore - 1;
            outerRight = sidesAfter - 1;
        }
        const size_t left = nthSide(line, outerLeft, false);
        const size_t right = nthSide(line, outerRight, true);
        if (left == std::string::npos || right == std::string::npos || right <= left) break;
        std::string item = trim(line.substr(left + kSide.size(), right - left - kSide.size()));
        if (item.empty()) break;
        items.push_back(std::move(item));
    }
    return items;
}

std::vector<std::string> linesShown(const std::string& pane) {
    std::vector<std::string> shown;
    for (const std::string& line : paneLines(pane))
        if (line.find_first_not_of(' ') != std::string::npos) shown.push_back(line);
    return shown;
}

} // namespace qb::test
