// IdnToAscii over libidn2: UTS #46 mapping and IDNA 2008, non-transitional, on the text in
// normalisation form C. libidn2 (and the libunistring it brings, 200 KB resident) is loaded
// at the first name that is not ASCII: most downloads never need it.
#include <climits>
#include <cstring>
#include <new>
#include <string>

#include <dlfcn.h>
#include <idn2.h>
#include <windows.h>

#include "platform/kernel/utf8_codec.h"

namespace {

constexpr DWORD kSupportedFlags = IDN_ALLOW_UNASSIGNED | IDN_USE_STD3_ASCII_RULES;

int Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

// libidn2's two calls, once per process; false when the library is missing or lacks one.
decltype(&idn2_to_ascii_8z) toAscii = nullptr;
decltype(&idn2_free) freeAscii = nullptr;

bool LoadIdn2() {
    static const bool loaded = [] {
        void* library = dlopen("libidn2.so.0", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) return false;
        toAscii = reinterpret_cast<decltype(toAscii)>(dlsym(library, "idn2_to_ascii_8z"));
        freeAscii = reinterpret_cast<decltype(freeAscii)>(dlsym(library, "idn2_free"));
        return toAscii != nullptr && freeAscii != nullptr; // stays loaded until the exit
    }();
    return loaded;
}

bool AllAscii(const char16_t* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (text[i] > 0x7F) return false;
    }
    return true;
}

// STD3's host name characters: letters, digits, "-" and the dots between labels.
bool LettersDigitsHyphens(const std::u16string& name) {
    for (const char16_t unit : name) {
        const bool letter = (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z');
        const bool digit = unit >= u'0' && unit <= u'9';
        if (!letter && !digit && unit != u'-' && unit != u'.') return false;
    }
    return true;
}

// The ASCII form of name (no terminator inside), or false with the error to report.
bool Convert(DWORD flags, const char16_t* name, size_t length, std::u16string& out, DWORD* error) {
    // libidn2's own STD3 flag drops what the rules refuse ("a_b" becomes "ab"): the rules
    // are checked here, on the result, instead.
    const bool std3 = (flags & IDN_USE_STD3_ASCII_RULES) != 0;
    if (AllAscii(name, length)) {
        out.assign(name, length);
        if (!std3 || LettersDigitsHyphens(out)) return true;
        *error = ERROR_INVALID_NAME;
        return false;
    }
    std::string utf8;
    if (!qb::kernel::AppendUtf16AsUtf8(name, length, utf8)) {
        *error = ERROR_NO_UNICODE_TRANSLATION;
        return false;
    }
    if (!LoadIdn2()) {
        *error = ERROR_MOD_NOT_FOUND;
        return false;
    }
    char* ascii = nullptr;
    const int converted = toAscii(utf8.c_str(), &ascii, IDN2_NONTRANSITIONAL | IDN2_NFC_INPUT);
    if (converted != IDN2_OK) {
        *error = converted == IDN2_MALLOC ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_NAME;
        return false;
    }
    out.assign(ascii, ascii + std::strlen(ascii)); // ASCII only: one unit per byte
    freeAscii(ascii);
    if (!std3 || LettersDigitsHyphens(out)) return true;
    *error = ERROR_INVALID_NAME;
    return false;
}

} // namespace

int WINAPI IdnToAscii(DWORD dwFlags, LPCWSTR lpUnicodeCharStr, int cchUnicodeChar,
                      LPWSTR lpASCIICharStr, int cchASCIIChar) {
    if (lpUnicodeCharStr == nullptr || cchUnicodeChar == 0 || cchUnicodeChar < -1 ||
        cchASCIIChar < 0 || (cchASCIIChar > 0 && lpASCIICharStr == nullptr)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if ((dwFlags & ~kSupportedFlags) != 0) return Fail(ERROR_INVALID_FLAGS);
    const auto* name = reinterpret_cast<const char16_t*>(lpUnicodeCharStr);
    const bool terminated = cchUnicodeChar == -1;
    size_t length = 0;
    if (terminated) {
        while (name[length] != 0) ++length;
    } else {
        length = size_t(cchUnicodeChar);
    }
    // A terminator inside the counted text is not part of any name.
    for (size_t i = 0; i < length; ++i) {
        if (name[i] == 0) return Fail(ERROR_INVALID_NAME);
    }
    std::u16string ascii;
    DWORD error = 0;
    try {
        if (!Convert(dwFlags, name, length, ascii, &error)) return Fail(error);
    } catch (const std::bad_alloc&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    const size_t needed = ascii.size() + (terminated ? 1 : 0);
    if (needed > size_t(INT_MAX)) return Fail(ERROR_INVALID_NAME);
    if (cchASCIIChar == 0) return int(needed);
    if (needed > size_t(cchASCIIChar)) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(lpASCIICharStr, ascii.c_str(), needed * sizeof(WCHAR));
    return int(needed);
}
