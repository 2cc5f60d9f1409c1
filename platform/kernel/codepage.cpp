// MultiByteToWideChar and WideCharToMultiByte: UTF-8 by our own codec (Windows' U+FFFD
// rules), every other code set through iconv.
#include <climits>
#include <cstring>
#include <new>
#include <string>

#include <windows.h>

#include "platform/kernel/code_set.h"
#include "platform/kernel/iconv_convert.h"
#include "platform/kernel/utf8_codec.h"

using qb::kernel::ConvertResult;

namespace {

constexpr DWORD kMultiByteFlags =
    MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
constexpr DWORD kWideFlags = WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR |
                             WC_ERR_INVALID_CHARS | WC_NO_BEST_FIT_CHARS;
// The default character is one character of the code page: at most a double-byte one.
constexpr size_t kMaxDefaultCharBytes = 2;
constexpr const char* kStandardDefaultChar = "?";

int Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

// Hands a finished conversion to the caller: a size query, a copy, or a buffer too small.
template <typename Unit>
int Deliver(const std::basic_string<Unit>& converted, Unit* out, int capacity) {
    if (converted.size() > static_cast<size_t>(INT_MAX)) return Fail(ERROR_INVALID_PARAMETER);
    const int needed = static_cast<int>(converted.size());
    if (capacity == 0) return needed;
    if (needed > capacity) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(out, converted.data(), converted.size() * sizeof(Unit));
    return needed;
}

// The locale's own code set falls back to UTF-8 when iconv does not know it, so a strange
// LANG never stops conversions; an explicit unknown code page is refused.
bool IsAnsiPage(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_OEMCP;
}

size_t WideLength(LPCWSTR text) {
    size_t length = 0;
    while (text[length] != 0) ++length;
    return length;
}

} // namespace

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
    if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 && lpWideCharStr == nullptr)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const std::string codeSet = qb::kernel::CodeSetOfCodePage(CodePage);
    if (codeSet.empty()) return Fail(ERROR_INVALID_PARAMETER);
    const bool utf8 = codeSet == qb::kernel::kUtf8CodeSet;
    if ((dwFlags & ~kMultiByteFlags) != 0 ||
        ((dwFlags & MB_PRECOMPOSED) && (dwFlags & MB_COMPOSITE)) ||
        (CodePage == CP_UTF8 && (dwFlags & ~DWORD{MB_ERR_INVALID_CHARS}) != 0)) {
        return Fail(ERROR_INVALID_FLAGS);
    }
    // A length of -1 converts up to and including the terminator.
    const size_t length =
        cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    try {
        std::u16string converted;
        ConvertResult result = ConvertResult::kNoCodeSet;
        if (!utf8) result = qb::kernel::IconvToUtf16(codeSet, lpMultiByteStr, length, converted);
        if (result == ConvertResult::kNoCodeSet) {
            if (!utf8 && !IsAnsiPage(CodePage)) return Fail(ERROR_INVALID_PARAMETER);
            converted.clear();
            result = qb::kernel::AppendUtf8AsUtf16(lpMultiByteStr, length, converted)
                         ? ConvertResult::kExact
                         : ConvertResult::kReplaced;
        }
        if (result == ConvertResult::kReplaced && (dwFlags & MB_ERR_INVALID_CHARS)) {
            return Fail(ERROR_NO_UNICODE_TRANSLATION);
        }
        return Deliver(converted, lpWideCharStr, cchWideChar);
    } catch (const std::bad_alloc&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
    if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && lpMultiByteStr == nullptr)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const std::string codeSet = qb::kernel::CodeSetOfCodePage(CodePage);
    if (codeSet.empty()) return Fail(ERROR_INVALID_PARAMETER);
    const bool utf8 = codeSet == qb::kernel::kUtf8CodeSet;
    // Windows refuses a default character for UTF-8, where nothing is unmappable.
    if (CodePage == CP_UTF8 && (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if ((dwFlags & ~kWideFlags) != 0 ||
        (CodePage == CP_UTF8 && (dwFlags & ~DWORD{WC_ERR_INVALID_CHARS}) != 0)) {
        return Fail(ERROR_INVALID_FLAGS);
    }
    const size_t length =
        cchWideChar == -1 ? WideLength(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);
    try {
        std::string defaultChar = kStandardDefaultChar;
        if (lpDefaultChar != nullptr && lpDefaultChar[0] != '\0') {
            defaultChar.assign(lpDefaultChar, strnlen(lpDefaultChar, kMaxDefaultCharBytes));
        }
        std::string converted;
        ConvertResult result = ConvertResult::kNoCodeSet;
        if (!utf8) {
            result =
                qb::kernel::IconvFromUtf16(codeSet, lpWideCharStr, length, defaultChar, converted);
        }
        bool usedDefault = result == ConvertResult::kReplaced;
        if (result == ConvertResult::kNoCodeSet) {
            if (!utf8 && !IsAnsiPage(CodePage)) return Fail(ERROR_INVALID_PARAMETER);
            converted.clear();
            // Lone surrogates become U+FFFD in UTF-8; the default character is not used.
            const bool exact = qb::kernel::AppendUtf16AsUtf8(lpWideCharStr, length, converted);
            if (!exact && (dwFlags & WC_ERR_INVALID_CHARS)) {
                return Fail(ERROR_NO_UNICODE_TRANSLATION);
            }
            usedDefault = false;
        }
        if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
        return Deliver(converted, lpMultiByteStr, cbMultiByte);
    } catch (const std::bad_alloc&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}
