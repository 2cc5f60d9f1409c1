// GetModuleFileNameW: the running program, /proc/self/exe, as a device path.
#include <string>
#include <unistd.h>
#include <vector>

#include <windows.h>

#include "platform/kernel/errno_map.h"
#include "qb/device_path.h"

namespace {

constexpr size_t kMaxExecutablePathBytes = 65536;
constexpr size_t kFirstExecutablePathBytes = 4096;

bool ExecutablePath(std::string* path) {
    for (size_t capacity = kFirstExecutablePathBytes; capacity <= kMaxExecutablePathBytes;
         capacity *= 2) {
        std::vector<char> buffer(capacity);
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return false;
        if (size_t(length) < buffer.size()) {
            path->assign(buffer.data(), size_t(length));
            return true;
        }
    }
    return false;
}

} // namespace

DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    (void)hModule; // the program is the only module
    if (lpFilename == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    try {
        std::string host;
        if (!ExecutablePath(&host)) {
            lpFilename[0] = 0;
            SetLastError(ERROR_FILE_NOT_FOUND);
            return 0;
        }
        std::u16string device;
        DWORD error = ERROR_SUCCESS;
        if (!qb::kernel::MapHostPath(host, &device, &error)) {
            lpFilename[0] = 0;
            SetLastError(error);
            return 0;
        }
        if (device.size() >= nSize) {
            device.copy(lpFilename, nSize - 1);
            lpFilename[nSize - 1] = 0;
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return nSize;
        }
        device.copy(lpFilename, device.size());
        lpFilename[device.size()] = 0;
        return DWORD(device.size());
    } catch (const std::bad_alloc&) {
        lpFilename[0] = 0;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}
