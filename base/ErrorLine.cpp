#include "base/ErrorLine.h"

#include <cstdio>
#include <new>

#include "base/Results.h"
#include "base/StringUtil.h"
#include "base/WString.h"

namespace {

constexpr DWORD kEscapeLength = 3; // "%XX"
constexpr DWORD kMaxUtf8Bytes = 3; // of one UTF-16 unit below U+FFFF

// The UTF-8 bytes of unit (no surrogates among the units escaped). The count of bytes.
DWORD Utf8Bytes(WCHAR unit, BYTE* bytes) {
    if (unit < 0x80) {
        bytes[0] = static_cast<BYTE>(unit);
        return 1;
    }
    if (unit < 0x800) {
        bytes[0] = static_cast<BYTE>(0xC0 | (unit >> 6));
        bytes[1] = static_cast<BYTE>(0x80 | (unit & 0x3F));
        return 2;
    }
    bytes[0] = static_cast<BYTE>(0xE0 | (unit >> 12));
    bytes[1] = static_cast<BYTE>(0x80 | ((unit >> 6) & 0x3F));
    bytes[2] = static_cast<BYTE>(0x80 | (unit & 0x3F));
    return 3;
}

// The escaped copy of text in a buffer of its own (null text: null).
struct Escaped {
    explicit Escaped(LPCWSTR text) {
        if (text == nullptr) return;
        units = new (std::nothrow) WCHAR[kErrorLineCapacity];
        if (units != nullptr) EscapeHiddenControls(text, units, kErrorLineCapacity);
    }
    ~Escaped() { delete[] units; }
    Escaped(const Escaped&) = delete;
    Escaped& operator=(const Escaped&) = delete;
    WCHAR* units = nullptr;
};

} // namespace

int EscapeHiddenControls(LPCWSTR text, LPWSTR escaped, DWORD capacity) {
    if (text == nullptr || escaped == nullptr || capacity == 0) return kResultNullArgument;
    constexpr WCHAR kHex[] = TEXT("0123456789ABCDEF");
    DWORD used = 0;
    for (; *text != 0; ++text) {
        if (!StrIsHiddenControl(*text)) {
            if (used + 1 >= capacity) break;
            escaped[used++] = *text;
            continue;
        }
        BYTE bytes[kMaxUtf8Bytes];
        const DWORD count = Utf8Bytes(*text, bytes);
        if (used + count * kEscapeLength >= capacity) break;
        for (DWORD i = 0; i < count; ++i) {
            escaped[used++] = u'%';
            escaped[used++] = kHex[bytes[i] >> 4];
            escaped[used++] = kHex[bytes[i] & 0x0F];
        }
    }
    escaped[used] = 0;
    return *text == 0 ? kResultOk : kResultTruncated;
}

void WriteErrorLine(LPCWSTR text, LPCWSTR detail) {
    const Escaped escapedText(text);
    const Escaped escapedDetail(detail);
    WString narrowText;
    narrowText.AssignWide(escapedText.units);
    WString narrowDetail;
    narrowDetail.AssignWide(escapedDetail.units);
    const LPCSTR first = narrowText.GetNarrow();
    const LPCSTR second = narrowDetail.GetNarrow();
    std::fprintf(stderr, "%s%s%s\n", first != nullptr ? first : "", detail != nullptr ? " " : "",
                 second != nullptr ? second : "");
}
