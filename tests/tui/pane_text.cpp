#include "tests/tui/pane_text.h"

namespace qb::test {

namespace {

// Decodes one code point from s[*i] and advances *i (a bad byte counts as one character).
char32_t next(const std::string& s, size_t* i) {
    unsigned char b = static_cast<unsigned char>(s[*i]);
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    char32_t ch = extra == 3 ? b & 0x07 : extra == 2 ? b & 0x0F : extra == 1 ? b & 0x1F : b;
    ++*i;
    for (int k = 0; k < extra && *i < s.size(); ++k, ++*i)
        ch = (ch << 6) | (static_cast<unsigned char>(s[*i]) & 0x3F);
    return ch;
}

int width(char32_t ch) {
    bool wide = (ch >= 0x1100 && ch <= 0x115F) || (ch >= 0x2E80 && ch <= 0xA4CF) ||
                (ch >= 0xAC00 && ch <= 0xD7A3) || (ch >= 0xF900 && ch <= 0xFAFF) ||
                (ch >= 0xFE30 && ch <= 0xFE4F) || (ch >= 0xFF00 && ch <= 0xFF60) ||
                (ch >= 0xFFE0 && ch <= 0xFFE6) || (ch >= 0x20000 && ch <= 0x3FFFD);
    return wide ? 2 : 1;
}

// The display column where the byte offset `at` of the line starts.
int columnOf(const std::string& line, size_t at) {
    int column = 0;
    size_t i = 0;
    while (i < at && i < line.size()) column += width(next(line, &i));
    return column;
}

} // namespace

std::vector<std::string> paneLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

int displayWidth(const std::string& utf8) {
    return columnOf(utf8, utf8.size());
}

std::string charAtColumn(const std::string& line, int column) {
    int at = 0;
    size_t i = 0;
    while (i < line.size()) {
        size_t begin = i;
        int cells = width(next(line, &i));
        if (at == column) return line.substr(begin, i - begin);
        at += cells;
        if (at > column) return "";
    }
    return "";
}

FrameCells findFrame(const std::string& pane, const std::string& title, bool* whole) {
    *whole = false;
    FrameCells frame;
    std::vector<std::string> lines = paneLines(pane);
    for (size_t row = 0; row < lines.size(); ++row) {
        const std::string& line = lines[row];
        size_t caption = line.find(" " + title + " ");
        if (caption == std::string::npos) continue;
        size_t corner = line.rfind("┌", caption);
        size_t rightCorner = line.find("┐", caption);
        if (corner == std::string::npos || rightCorner == std::string::npos) continue;
        frame.top = static_cast<int>(row);
        frame.left = columnOf(line, corner);
        frame.right = columnOf(line, rightCorner);
        break;
    }
    if (frame.top < 0) return frame;
    for (size_t row = static_cast<size_t>(frame.top) + 1; row < lines.size(); ++row) {
        std::string left = charAtColumn(lines[row], frame.left);
        std::string right = charAtColumn(lines[row], frame.right);
        if (left == "└" && right == "┘") {
            frame.bottom = static_cast<int>(row);
            *whole = true;
            return frame;
        }
        if (left != "│" || right != "│") return frame;
    }
    return frame;
}

} // namespace qb::test
