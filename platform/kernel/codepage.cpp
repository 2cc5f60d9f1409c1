// MultiByteToWideChar and WideCharToMultiByte: UTF-8 by our own codec (Windows' U+FFFD
// rules), every other code set through iconv.
#include <climits>
#include <cstring>
#include <new>
#include <string>

#include <windows.h>

#include "code_set.h"
#include "iconv_convert.h"
#include "utf8_codec.h"

using qb::kernel::ConvertResult;

namespace {

constexpr DWORD kMultiByteFlags =
    MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
constexpr DWORD kWideFlags = WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR |
                             WC_ERR_INVALID_CHARS | WC_NO_BEST_FIT_CHARS;
// The default character is one character of the code page: at most a double-byte one.
constexpr size_t kMaxDefaultCharBytes = 2;
constexpr const char* kStandardDefaultChar = "?";

int fail(DWORD error) {
    SetLastError(error);
    return 0;
}

// Hands a finished conversion to the caller: a size query, a copy, or a buffer too small.
template <typename Unit>
int deliver(const std::basic_string<Unit>& converted, Unit* out, int capacity) {
    if (converted.size() > static_cast<size_t>(INT_MAX)) return fail(ERROR_INVALID_PARAMETER);
    const int needed = static_cast<int>(converted.size());
    if (capacity == 0) return needed;
    if (needed > capacity) return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(out, converted.data(), converted.size() * sizeof(Unit));
    return needed;
}

// The locale's own code set falls back to UTF-8 when iconv does not know it, so a strange
// LANG never stops conversions; an explicit unknown code page is refused.
bool isAnsiPage(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_OEMCP;
}

size_t wideLength(LPCWSTR text) {
    size_t length = 0;
    while (text[length] != 0) ++length;
    return length;
}

} // namespace

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
    if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 && lpWideCharStr == nullptr)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const std::string codeSet = qb::kernel::codeSetOfCodePage(CodePage);
    if (codeSet.empty()) return fail(ERROR_INVALID_PARAMETER);
    const bool utf8 = codeSet == qb::kernel::kUtf8CodeSet;
    if ((dwFlags & ~kMultiByteFlags) != 0 ||
        ((dwFlags & MB_PRECOMPOSED) && (dwFlags & MB_COMPOSITE)) ||
        (CodePage == CP_UTF8 && (dwFlags & ~DWORD{MB_ERR_INVALID_CHARS}) != 0)) {
        return fail(ERROR_INVALID_FLAGS);
    }
    // A length of -1 converts up to and including the terminator.
    const size_t length =
        cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    try {
        std::u16string converted;
        ConvertResult result = ConvertResult::kNoCodeSet;
        if (!utf8) result = qb::kernel::iconvToUtf16(codeSet, lpMultiByteStr, length, converted);
        if (result == ConvertResult::kNoCodeSet) {
            if (!utf8 && !isAnsiPage(CodePage)) return fail(ERROR_INVALID_PARAMETER);
            converted.clear();
            result = qb::kernel::appendUtf8AsUtf16(lpMultiByteStr, length, converted)
                         ? ConvertResult::kExact
                         : ConvertResult::kReplaced;
        }
        if (result == ConvertResult::kReplaced && (dwFlags & MB_ERR_INVALID_CHARS)) {
            return fail(ERROR_NO_UNICODE_TRANSLATION);
        }
        return deliver(converted, lpWideCharStr, cchWideChar);
    } catch (const std::bad_alloc&) {
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
    if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && lpMultiByteStr == nullptr)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const std::string codeSet = qb::kernel::codeSetOfCodePage(CodePage);
    if (codeSet.empty()) return fail(ERROR_INVALID_PARAMETER);
    const bool utf8 = codeSet == qb::kernel::kUtf8CodeSet;
    // Windows refuses a default character for UTF-8, where nothing is unmappable.
    if (CodePage == CP_UTF8 && (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if ((dwFlags & ~kWideFlags) != 0 ||
        (CodePage == CP_UTF8 && (dwFlags & ~DWORD{WC_ERR_INVALID_CHARS}) != 0)) {
        return fail(ERROR_INVALID_FLAGS);
    }
    const size_t length =
        cchWideChar == -1 ? wideLength(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);
    try {
        std::string defaultChar = kStandardDefaultChar;
        if (lpDefaultChar != nullptr && lpDefaultChar[0] != '\0') {
            defaultChar.assign(lpDefaultChar, strnlen(lpDefaultChar, kMaxDefaultCharBytes));
        }
        std::string converted;
        ConvertResult result = ConvertResult::kNoCodeSet;
        if (!utf8) {
            result =
                qb::kernel::iconvFromUtf16(codeSet, lpWideCharStr, length, defaultChar, converted);
        }
        bool usedDefault = result == ConvertResult::kReplaced;
        if (result == ConvertResult::kNoCodeSet) {
            if (!utf8 && !isAnsiPage(CodePage)) return fail(ERROR_INVALID_PARAMETER);
            converted.clear();
            // Lone surrogates become U+FFFD in UTF-8; the default character is not used.
            const bool exact = qb::kernel::appendUtf16AsUtf8(lpWideCharStr, length, converted);
            if (!exact && (dwFlags & WC_ERR_INVALID_CHARS)) {
                return fail(ERROR_NO_UNICODE_TRANSLATION);
            }
            usedDefault = false;
        }
        if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
        return deliver(converted, lpMultiByteStr, cbMultiByte);
    } catch (const std::bad_alloc&) {
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}
