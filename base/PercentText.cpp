#include "base/PercentText.h"

#include "base/Results.h"

namespace {

// Bytes of one run of escapes decoded at a time; a longer run is read in pieces.
constexpr DWORD kRunCapacity = 1024;

int HexDigit(WCHAR unit) {
    if (unit >= u'0' && unit <= u'9') return unit - u'0';
    if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
    if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
    return -1;
}

// The byte of the escape at source[i], or -1 when there is none there.
int EscapedByte(LPCWSTR source, DWORD length, DWORD i) {
    if (source[i] != u'%' || length - i < 3) return -1;
    const int high = HexDigit(source[i + 1]);
    const int low = HexDigit(source[i + 2]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// Converts count bytes into destination + *used: UTF-8, else (with fallback) the ANSI code
// page. Results as PercentDecodeText.
int AppendRun(LPCSTR bytes, DWORD count, LPWSTR destination, DWORD capacity, DWORD* used,
              BOOL ansiFallback) {
    const int length = static_cast<int>(count);
    UINT page = CP_UTF8;
    DWORD flags = MB_ERR_INVALID_CHARS;
    int needed = MultiByteToWideChar(page, flags, bytes, length, nullptr, 0);
    if (needed <= 0) {
        if (!ansiFallback) return kResultNo;
        page = CP_ACP;
        flags = 0;
        needed = MultiByteToWideChar(page, flags, bytes, length, nullptr, 0);
        if (needed <= 0) return kResultFail;
    }
    if (static_cast<DWORD>(needed) >= capacity - *used) return kResultFail;
    if (MultiByteToWideChar(page, flags, bytes, length, destination + *used, needed) != needed) {
        return kResultFail;
    }
    *used += static_cast<DWORD>(needed);
    return kResultOk;
}

} // namespace

int PercentDecodeText(LPCWSTR source, DWORD length, LPWSTR destination, DWORD capacity,
                      BOOL ansiFallback, DWORD* produced) {
    if (produced != nullptr) *produced = 0;
    if (source == nullptr || destination == nullptr || capacity == 0) return kResultFail;
    DWORD used = 0;
    int result = kResultOk;
    for (DWORD i = 0; i < length && result == kResultOk;) {
        CHAR run[kRunCapacity];
        DWORD count = 0;
        while (count < kRunCapacity && i < length) {
            const int byte = EscapedByte(source, length, i);
            if (byte < 0) break;
            run[count++] = static_cast<CHAR>(byte);
            i += 3;
        }
        if (count > 0) {
            result = AppendRun(run, count, destination, capacity, &used, ansiFallback);
        } else if (used + 1 < capacity) {
            destination[used++] = source[i++];
        } else {
            result = kResultFail;
        }
    }
    if (result != kResultOk) used = 0;
    destination[used] = 0;
    if (produced != nullptr) *produced = used;
    return result;
}
