#include "base/Bytes.h"

#include "base/Results.h"

int BytesCopy(void* destination, const void* source, DWORD count) {
    if (destination == nullptr || source == nullptr) return kResultFail;
    BYTE* to = static_cast<BYTE*>(destination);
    const BYTE* from = static_cast<const BYTE*>(source);
    if (to < from) {
        for (DWORD i = 0; i < count; ++i) to[i] = from[i];
    } else if (to > from) {
        for (DWORD i = count; i > 0; --i) to[i - 1] = from[i - 1];
    }
    return kResultOk;
}

int BytesFill(void* destination, BYTE value, DWORD count) {
    if (destination == nullptr) return kResultFail;
    BYTE* to = static_cast<BYTE*>(destination);
    for (DWORD i = 0; i < count; ++i) to[i] = value;
    return kResultOk;
}
