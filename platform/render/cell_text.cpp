#include "platform/render/cell_text.h"

namespace qb::render {

namespace {

struct Range {
    char32_t first;
    char32_t last;
};

// East Asian Width "W" and "F" blocks (Unicode's EastAsianWidth.txt, by block).
constexpr Range kWideRanges[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x23F0, 0x23F0},   {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},
    {0x2648, 0x2653},   {0x267F, 0x267F},   {0x2693, 0x2693},   {0x26A1, 0x26A1},
    {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},   {0x26CE, 0x26CE},
    {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},
    {0x2728, 0x2728},   {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},
    {0x2757, 0x2757},   {0x2795, 0x2797},   {0x27B0, 0x27B0},   {0x27BF, 0x27BF},
    {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},   {0x2E80, 0x303E},
    {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
    {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},
    {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F},
    {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

constexpr Range kZeroRanges[] = {
    {0x0300, 0x036F}, {0x200B, 0x200F}, {0x20D0, 0x20FF}, {0x3099, 0x309A}, {0xFE00, 0xFE0F},
};

bool InRanges(char32_t ch, const Range* ranges, size_t count) {
    size_t lo = 0;
    size_t hi = count;
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (ch < ranges[mid].first)
            hi = mid;
        else if (ch > ranges[mid].last)
            lo = mid + 1;
        else
            return true;
    }
    return false;
}

} // namespace

int CharWidth(char32_t ch) {
    if (ch < 0x20 || (ch >= 0x7F && ch < 0xA0)) return 0;
    if (ch < 0x300) return 1;
    if (InRanges(ch, kZeroRanges, sizeof kZeroRanges / sizeof kZeroRanges[0])) return 0;
    if (InRanges(ch, kWideRanges, sizeof kWideRanges / sizeof kWideRanges[0])) return 2;
    return 1;
}

char32_t NextCodePoint(const char16_t* text, size_t length, size_t* index) {
    char16_t unit = text[*index];
    ++*index;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        if (*index < length && text[*index] >= 0xDC00 && text[*index] <= 0xDFFF) {
            char32_t low = text[*index];
            ++*index;
            return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00);
        }
        return 0xFFFD;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) return 0xFFFD;
    return unit;
}

int TextWidth(const char16_t* text, size_t length) {
    int width = 0;
    size_t i = 0;
    while (i < length) width += CharWidth(NextCodePoint(text, length, &i));
    return width;
}

} // namespace qb::render
