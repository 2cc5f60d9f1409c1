#include "base/StringUtil.h"

#include "base/Results.h"

// One implementation serves both forms: Unit is WCHAR or CHAR.
namespace {

template <typename Unit> int Append(Unit* destination, DWORD capacity, const Unit* source) {
    if (destination == nullptr || source == nullptr || capacity == 0) return kResultFail;
    const DWORD last = capacity - 1;
    destination[last] = 0;
    DWORD end = 0;
    while (end < last && destination[end] != 0) ++end;
    // A destination that is already full takes nothing, not even an empty source.
    if (end >= last) return kResultTruncated;
    for (DWORD i = 0;; ++i, ++end) {
        // The last place holds the terminator: the source fits when it ends here.
        if (end == last) return source[i] == 0 ? kResultOk : kResultTruncated;
        destination[end] = source[i];
        if (source[i] == 0) return kResultOk;
    }
}

template <typename Unit> int Copy(Unit* destination, DWORD capacity, const Unit* source) {
    if (destination == nullptr || source == nullptr) return kResultFail;
    if (capacity == 0) return kResultTruncated;
    destination[0] = 0;
    return Append(destination, capacity, source);
}

template <typename Unit> int Length(const Unit* text, DWORD* length) {
    if (length == nullptr) return kResultFail;
    *length = 0;
    if (text == nullptr) return kResultFail;
    DWORD n = 0;
    while (text[n] != 0) ++n;
    *length = n;
    return kResultOk;
}

// Unit values are summed as unsigned numbers so that most mismatches are rejected before a
// unit-by-unit comparison.
DWORD UnitValue(WCHAR u) {
    return u;
}
DWORD UnitValue(CHAR u) {
    return static_cast<BYTE>(u);
}

template <typename Unit> int Equal(const Unit* a, const Unit* b) {
    if (a == nullptr || b == nullptr) return kResultFail;
    DWORD lengthA = 0, sumA = 0, lengthB = 0, sumB = 0;
    for (; a[lengthA] != 0; ++lengthA) sumA += UnitValue(a[lengthA]);
    for (; b[lengthB] != 0; ++lengthB) sumB += UnitValue(b[lengthB]);
    if (lengthA != lengthB || sumA != sumB) return kResultNo;
    for (DWORD i = 0; i < lengthA; ++i) {
        if (a[i] != b[i]) return kResultNo;
    }
    return kResultOk;
}

DWORD LowerAscii(DWORD u) {
    return u >= 'A' && u <= 'Z' ? u - 'A' + 'a' : u;
}

template <typename Unit> int EqualNoCase(const Unit* a, const Unit* b) {
    if (a == nullptr || b == nullptr) return kResultFail;
    for (DWORD i = 0;; ++i) {
        if (LowerAscii(UnitValue(a[i])) != LowerAscii(UnitValue(b[i]))) return kResultNo;
        if (a[i] == 0) return kResultOk;
    }
}

bool IsBlank(WCHAR u) {
    return u == u' ' || u == u'\t';
}

template <typename Unit> int FindUnit(const Unit* text, Unit unit, DWORD* position) {
    if (text == nullptr || unit == 0) return kResultFail;
    for (DWORD i = 0; text[i] != 0; ++i) {
        if (text[i] == unit) {
            if (position != nullptr) *position = i;
            return kResultOk;
        }
    }
    return kResultFail;
}

template <typename Unit> int FindLastUnit(const Unit* text, Unit unit, DWORD* position) {
    DWORD hit = 0;
    if (FindUnit(text, unit, &hit) != kResultOk) return kResultFail;
    DWORD next = 0;
    while (FindUnit(text + hit + 1, unit, &next) == kResultOk) hit += next + 1;
    if (position != nullptr) *position = hit;
    return kResultOk;
}

template <typename Unit> int FindSubstring(const Unit* text, const Unit* pattern, DWORD* position) {
    if (text == nullptr || pattern == nullptr) return kResultFail;
    DWORD width = 0, patternSum = 0, windowSum = 0;
    for (; pattern[width] != 0; ++width) {
        if (text[width] == 0) return kResultFail;
        patternSum += UnitValue(pattern[width]);
        windowSum += UnitValue(text[width]);
    }
    if (text[0] == 0) return kResultNo;
    for (DWORD start = 0;; ++start) {
        if (windowSum == patternSum) {
            DWORD i = 0;
            while (i < width && text[start + i] == pattern[i]) ++i;
            if (i == width) {
                if (position != nullptr) *position = start;
                return kResultOk;
            }
        }
        const Unit entering = text[start + width];
        if (entering == 0) return kResultNo;
        windowSum += UnitValue(entering) - UnitValue(text[start]);
    }
}

WCHAR HexValue(WCHAR unit) {
    if (unit >= u'0' && unit <= u'9') return static_cast<WCHAR>(unit - u'0');
    if (unit >= u'A' && unit <= u'F') return static_cast<WCHAR>(unit - u'A' + 10);
    if (unit >= u'a' && unit <= u'f') return static_cast<WCHAR>(unit - u'a' + 10);
    return 255;
}

} // namespace

// The public names: a wide and a narrow overload each, both over the one template above.
int StrAppend(LPWSTR destination, DWORD capacity, LPCWSTR source) {
    return Append(destination, capacity, source);
}
int StrAppend(LPSTR destination, DWORD capacity, LPCSTR source) {
    return Append(destination, capacity, source);
}
int StrCopy(LPWSTR destination, DWORD capacity, LPCWSTR source) {
    return Copy(destination, capacity, source);
}
int StrCopy(LPSTR destination, DWORD capacity, LPCSTR source) {
    return Copy(destination, capacity, source);
}
int StrLength(LPCWSTR text, DWORD* length) {
    return Length(text, length);
}
int StrLength(LPCSTR text, DWORD* length) {
    return Length(text, length);
}
int StrEqual(LPCWSTR a, LPCWSTR b) {
    return Equal(a, b);
}
int StrEqual(LPCSTR a, LPCSTR b) {
    return Equal(a, b);
}
int StrEqualNoCase(LPCWSTR a, LPCWSTR b) {
    return EqualNoCase(a, b);
}
int StrEqualNoCase(LPCSTR a, LPCSTR b) {
    return EqualNoCase(a, b);
}
int StrFindUnit(LPCWSTR text, WCHAR unit, DWORD* position) {
    return FindUnit(text, unit, position);
}
int StrFindUnit(LPCSTR text, CHAR unit, DWORD* position) {
    return FindUnit(text, unit, position);
}
int StrFindLastUnit(LPCWSTR text, WCHAR unit, DWORD* position) {
    return FindLastUnit(text, unit, position);
}
int StrFindLastUnit(LPCSTR text, CHAR unit, DWORD* position) {
    return FindLastUnit(text, unit, position);
}
int StrFindSubstring(LPCWSTR text, LPCWSTR pattern, DWORD* position) {
    return FindSubstring(text, pattern, position);
}
int StrFindSubstring(LPCSTR text, LPCSTR pattern, DWORD* position) {
    return FindSubstring(text, pattern, position);
}

int StrStartsWith(LPCWSTR text, LPCWSTR prefix) {
    if (text == nullptr || prefix == nullptr) return kResultFail;
    for (; *prefix != 0; ++text, ++prefix) {
        if (*text != *prefix) return kResultNo;
    }
    return kResultOk;
}

DWORD StrPercentDecode(LPCWSTR source, DWORD* sourceLength, LPWSTR destination, DWORD capacity) {
    if (sourceLength == nullptr) return 0;
    if (source == nullptr) {
        *sourceLength = 0;
        return 0;
    }
    const DWORD available = *sourceLength;
    DWORD consumed = 0, produced = 0;
    while (consumed < available && (destination == nullptr || produced < capacity)) {
        WCHAR unit = source[consumed];
        if (unit == u'%') {
            if (available - consumed < 3) {
                ++consumed;
                break;
            }
            unit = static_cast<WCHAR>(16 * HexValue(source[consumed + 1]) +
                                      HexValue(source[consumed + 2]));
            consumed += 3;
        } else {
            ++consumed;
        }
        if (destination != nullptr) destination[produced] = unit;
        ++produced;
    }
    *sourceLength = consumed;
    return produced;
}

int StrTrimBlanks(LPWSTR text) {
    if (text == nullptr) return kResultFail;
    DWORD length = 0;
    StrLength(text, &length);
    DWORD first = 0;
    while (first < length && IsBlank(text[first])) ++first;
    while (length > first && IsBlank(text[length - 1])) --length;
    for (DWORD i = first; i < length; ++i) text[i - first] = text[i];
    text[length - first] = 0;
    return kResultOk;
}

bool StrIsHiddenControl(WCHAR unit) {
    constexpr WCHAR kDelete = 0x7F;
    constexpr WCHAR kLastC1 = 0x9F;
    constexpr WCHAR kArabicLetterMark = 0x061C;
    constexpr WCHAR kLeftToRightMark = 0x200E;
    constexpr WCHAR kRightToLeftMark = 0x200F;
    constexpr WCHAR kFirstEmbedding = 0x202A; // LRE, RLE, PDF, LRO, RLO
    constexpr WCHAR kLastEmbedding = 0x202E;
    constexpr WCHAR kFirstIsolate = 0x2066; // LRI, RLI, FSI, PDI
    constexpr WCHAR kLastIsolate = 0x2069;
    return unit < 0x20 || (unit >= kDelete && unit <= kLastC1) || unit == kArabicLetterMark ||
           unit == kLeftToRightMark || unit == kRightToLeftMark ||
           (unit >= kFirstEmbedding && unit <= kLastEmbedding) ||
           (unit >= kFirstIsolate && unit <= kLastIsolate);
}
