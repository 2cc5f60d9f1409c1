// GlobalAlloc and its relatives: blocks with a size, handed out as handles (the clipboard
// gives its text this way). A handle is checked before use; a stale one fails cleanly.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include <windows.h>

namespace {

constexpr SIZE_T kMaxGlobalBytes = SIZE_T{1} << 30;

struct Block {
    void* data;
    SIZE_T size;
    int locks;
};

// Handles are numbers never handed out twice, so a freed handle stays invalid.
constexpr uintptr_t kFirstGlobalHandle = 0x00400010;
constexpr uintptr_t kGlobalHandleStep = 4;
uintptr_t gNextHandle = kFirstGlobalHandle;

std::mutex gLock;
std::unordered_map<uintptr_t, Block>& Blocks() {
    static auto* blocks = new std::unordered_map<uintptr_t, Block>();
    return *blocks;
}

} // namespace

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
    if (bytes > kMaxGlobalBytes) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* data = (flags & GMEM_ZEROINIT) ? std::calloc(1, bytes == 0 ? 1 : bytes)
                                         : std::malloc(bytes == 0 ? 1 : bytes);
    if (data == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(gLock);
    uintptr_t handle = gNextHandle;
    gNextHandle += kGlobalHandleStep;
    Blocks()[handle] = Block{data, bytes, 0};
    return reinterpret_cast<HGLOBAL>(handle);
}

LPVOID WINAPI GlobalLock(HGLOBAL handle) {
    std::lock_guard<std::mutex> lock(gLock);
    auto it = Blocks().find(reinterpret_cast<uintptr_t>(handle));
    if (it == Blocks().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    ++it->second.locks;
    return it->second.data;
}

BOOL WINAPI GlobalUnlock(HGLOBAL handle) {
    std::lock_guard<std::mutex> lock(gLock);
    auto it = Blocks().find(reinterpret_cast<uintptr_t>(handle));
    if (it == Blocks().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (it->second.locks > 0) --it->second.locks;
    if (it->second.locks == 0) {
        SetLastError(NO_ERROR);
        return FALSE; // FALSE with NO_ERROR: no longer locked, as on Windows
    }
    return TRUE;
}

SIZE_T WINAPI GlobalSize(HGLOBAL handle) {
    std::lock_guard<std::mutex> lock(gLock);
    auto it = Blocks().find(reinterpret_cast<uintptr_t>(handle));
    return it == Blocks().end() ? 0 : it->second.size;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL handle) {
    std::lock_guard<std::mutex> lock(gLock);
    auto it = Blocks().find(reinterpret_cast<uintptr_t>(handle));
    if (it == Blocks().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return handle;
    }
    std::free(it->second.data);
    Blocks().erase(it);
    return nullptr;
}
