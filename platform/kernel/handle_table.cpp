#include "platform/kernel/handle_table.h"

#include <atomic>
#include <mutex>
#include <new>
#include <unordered_map>

namespace qb::kernel {

namespace {

// Handle values are multiples of four, as on Windows; 0 and -1 never name an object.
constexpr uintptr_t kHandleStep = 4;

struct Table {
    std::mutex mutex;
    uintptr_t lastValue = 0;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
};

Table& Handles() {
    static Table* instance = new Table; // never destroyed: threads may outlive main
    return *instance;
}

} // namespace

DWORD KernelObject::Wait(DWORD) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
    Table& t = Handles();
    try {
        std::lock_guard<std::mutex> lock(t.mutex);
        t.lastValue += kHandleStep;
        t.objects.emplace(t.lastValue, std::move(object));
        return reinterpret_cast<HANDLE>(t.lastValue);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

HandleRef<KernelObject> LookupHandle(HANDLE handle) {
    Table& t = Handles();
    const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    std::lock_guard<std::mutex> lock(t.mutex);
    const auto it = t.objects.find(value);
    if (it == t.objects.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return it->second;
}

BOOL RemoveHandle(HANDLE handle, ObjectKind kind, ObjectKind otherKind) {
    Table& t = Handles();
    std::shared_ptr<KernelObject> released;
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        const auto found = t.objects.find(reinterpret_cast<uintptr_t>(handle));
        if (found == t.objects.end() ||
            (found->second->Kind() != kind && found->second->Kind() != otherKind)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        released = std::move(found->second);
        t.objects.erase(found);
    }
    return released->Close();
}

} // namespace qb::kernel

BOOL WINAPI CloseHandle(HANDLE hObject) {
    using qb::kernel::ObjectKind;
    return qb::kernel::RemoveHandle(hObject, ObjectKind::kFile, ObjectKind::kThread);
}
