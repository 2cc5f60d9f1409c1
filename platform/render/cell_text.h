// Text as the cell grid sees it: UTF-16 decoded to code points, the cell width of each
// (East Asian wide characters take two cells).
#pragma once

#include <cstddef>
#include <string>

namespace qb::render {

// 2 for East Asian wide and fullwidth characters, 0 for combining marks and controls, else 1.
int CharWidth(char32_t ch);

// Decodes one code point from text[*index] (joining a surrogate pair) and advances *index.
// A lone surrogate decodes as U+FFFD.
char32_t NextCodePoint(const char16_t* text, size_t length, size_t* index);

// Cells taken by the text.
int TextWidth(const char16_t* text, size_t length);
inline int TextWidth(const std::u16string& text) {
    return TextWidth(text.data(), text.size());
}

} // namespace qb::render
