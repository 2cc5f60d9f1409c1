#include "base/Checksum.h"

#include "base/Results.h"

namespace {

constexpr DWORD kSha256Bytes = 32;
constexpr DWORD kSha512Bytes = 64;

// The rest of text after prefix, compared without case; null when text lacks it.
LPCWSTR AfterName(LPCWSTR text, const char* prefix) {
    for (; *prefix != 0; ++prefix, ++text) {
        WCHAR unit = *text;
        if (unit >= u'A' && unit <= u'Z') unit = static_cast<WCHAR>(unit - u'A' + u'a');
        if (unit != static_cast<WCHAR>(*prefix)) return nullptr;
    }
    return text;
}

int HexValue(WCHAR unit) {
    if (unit >= u'0' && unit <= u'9') return unit - u'0';
    if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
    if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
    return -1;
}

} // namespace

int ParseChecksum(LPCWSTR text, Checksum* checksum) {
    if (text == nullptr || checksum == nullptr) return kResultFail;
    Checksum parsed;
    LPCWSTR hex = AfterName(text, "sha256:");
    if (hex != nullptr) {
        parsed.kind = DigestKind::kSha256;
        parsed.size = kSha256Bytes;
    } else if ((hex = AfterName(text, "sha512:")) != nullptr) {
        parsed.kind = DigestKind::kSha512;
        parsed.size = kSha512Bytes;
    } else {
        return kResultFail;
    }
    for (DWORD i = 0; i < parsed.size; ++i) {
        const int high = HexValue(hex[2 * i]);
        const int low = high < 0 ? -1 : HexValue(hex[2 * i + 1]);
        if (low < 0) return kResultFail;
        parsed.digest[i] = static_cast<BYTE>(high * 16 + low);
    }
    if (hex[2 * parsed.size] != 0) return kResultFail;
    *checksum = parsed;
    return kResultOk;
}
