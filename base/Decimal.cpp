#include "base/Decimal.h"

#include "base/Results.h"

namespace {

constexpr ULONGLONG kUnsignedLimit = 0xFFFFFFFFull;
constexpr ULONGLONG kPositiveLimit = 0x7FFFFFFFull;
constexpr ULONGLONG kNegativeLimit = 0x80000000ull;

// Accumulates the digits of text into a 32-bit value that wraps like the platform's integer
// arithmetic, and reports whether the exact number went past limit on the way.
int ParseDigits(LPCWSTR text, ULONGLONG limit, DWORD* value) {
    DWORD wrapped = 0;
    ULONGLONG exact = 0;
    bool overflow = false;
    for (; *text != 0; ++text) {
        if (*text < u'0' || *text > u'9') return kResultFail;
        const DWORD digit = static_cast<DWORD>(*text - u'0');
        wrapped = wrapped * 10u + digit;
        if (!overflow) {
            exact = exact * 10u + digit;
            overflow = exact > limit;
        }
    }
    *value = wrapped;
    return overflow ? kResultOverflow : kResultOk;
}

} // namespace

int StrParseSigned(LPCWSTR text, LONG* value) {
    if (text == nullptr || value == nullptr) return kResultFail;
    const bool negative = text[0] == u'-';
    if (text[0] == u'-' || text[0] == u'+') ++text;
    DWORD magnitude = 0;
    const int result = ParseDigits(text, negative ? kNegativeLimit : kPositiveLimit, &magnitude);
    if (result < 0) return result;
    // Negation in unsigned arithmetic wraps instead of overflowing.
    *value = static_cast<LONG>(negative ? 0u - magnitude : magnitude);
    return result;
}

int StrParseUnsigned(LPCWSTR text, DWORD* value) {
    if (text == nullptr || value == nullptr) return kResultFail;
    DWORD parsed = 0;
    const int result = ParseDigits(text, kUnsignedLimit, &parsed);
    if (result < 0) return result;
    *value = parsed;
    return result;
}

int StrParseByteRate(LPCWSTR text, DWORD* bytesPerSecond) {
    if (text == nullptr || bytesPerSecond == nullptr) return kResultFail;
    constexpr DWORD kKibi = 1024;
    constexpr DWORD kMebi = 1024 * 1024;
    constexpr DWORD kLongestRate = 16; // digits and unit; longer texts are refused
    WCHAR digits[kLongestRate + 1] = {};
    DWORD length = 0;
    while (text[length] >= u'0' && text[length] <= u'9') {
        if (length == kLongestRate) return kResultFail;
        digits[length] = text[length];
        ++length;
    }
    if (length == 0) return kResultFail;
    DWORD unit = 1;
    if (text[length] == u'k') {
        unit = kKibi;
    } else if (text[length] == u'M') {
        unit = kMebi;
    } else if (text[length] != 0) {
        return kResultFail;
    }
    if (unit != 1 && text[length + 1] != 0) return kResultFail;
    DWORD number = 0;
    if (ParseDigits(digits, kUnsignedLimit, &number) != kResultOk) return kResultFail;
    if (static_cast<ULONGLONG>(number) * unit > kUnsignedLimit) return kResultFail;
    *bytesPerSecond = number * unit;
    return kResultOk;
}
