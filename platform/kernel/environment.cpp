// GetEnvironmentVariableW: the process environment, its names and values read as UTF-8.
#include <cstdlib>
#include <new>
#include <string>

#include <windows.h>

#include "platform/kernel/utf8_codec.h"

DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
    if (lpName == nullptr || lpName[0] == 0 || (lpBuffer == nullptr && nSize != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        size_t nameLength = 0;
        while (lpName[nameLength] != 0) ++nameLength;
        const std::string name = qb::kernel::Utf16ToUtf8(lpName, nameLength);
        // A name with "=" names no variable (getenv would match a prefix of one).
        const char* value =
            name.find('=') == std::string::npos ? std::getenv(name.c_str()) : nullptr;
        if (value == nullptr) {
            if (nSize != 0) lpBuffer[0] = 0;
            SetLastError(ERROR_ENVVAR_NOT_FOUND);
            return 0;
        }
        const std::u16string wide = qb::kernel::Utf8ToUtf16(value);
        // As Windows: too small a buffer gets nothing and the size it needs, terminator
        // included; otherwise the length copied, terminator excluded.
        if (wide.size() >= nSize) {
            if (nSize != 0) lpBuffer[0] = 0;
            return DWORD(wide.size() + 1);
        }
        wide.copy(lpBuffer, wide.size());
        lpBuffer[wide.size()] = 0;
        return DWORD(wide.size());
    } catch (const std::bad_alloc&) {
        if (nSize != 0) lpBuffer[0] = 0;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}
