// GetCurrentDirectoryW: the shell's current directory as a device path. A sandboxed device
// (QUILLBROOK_ROOT) has none, as the real device had none: its root stands for it.
#include <cstdlib>
#include <string>
#include <unistd.h>

#include <windows.h>

#include "qb/device_path.h"

namespace {

bool SandboxedDevice() {
    const char* root = std::getenv("QUILLBROOK_ROOT");
    return root != nullptr && root[0] != '\0';
}

bool CurrentDevicePath(std::u16string* device, DWORD* error) {
    if (SandboxedDevice()) {
        *device = u"\\";
        return true;
    }
    char* cwd = getcwd(nullptr, 0);
    if (cwd == nullptr) {
        *error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    const std::string host = cwd;
    std::free(cwd);
    return qb::kernel::MapHostPath(host, device, error);
}

} // namespace

DWORD WINAPI GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer) {
    try {
        std::u16string device;
        DWORD error = ERROR_SUCCESS;
        if (!CurrentDevicePath(&device, &error)) {
            SetLastError(error);
            return 0;
        }
        // As on Windows: a buffer too small gets nothing, and the size it needs is returned.
        if (lpBuffer == nullptr || device.size() >= nBufferLength) return DWORD(device.size() + 1);
        device.copy(lpBuffer, device.size());
        lpBuffer[device.size()] = 0;
        return DWORD(device.size());
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}
