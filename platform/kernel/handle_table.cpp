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
    // Counts the handles taken out; changed under the mutex before the removal.
    std::atomic<uint64_t> removals{0};
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
};

// The calling thread's last lookup (thread_cache.h).
thread_local ThreadCache<KernelObject> tLastLookup;

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
    HandleRef<KernelObject> cached =
        tLastLookup.Find(value, t.removals.load(std::memory_order_acquire));
    if (cached != nullptr) return cached;
    std::shared_ptr<KernelObject> found;
    uint64_t removals = 0;
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        const auto it = t.objects.find(value);
        if (it == t.objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        found = it->second;
        removals = t.removals.load(std::memory_order_relaxed);
    }
    return tLastLookup.Keep(value, removals, std::move(found));
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
        t.removals.fetch_add(1, std::memory_order_release);
        released = std::move(found->second);
        t.objects.erase(found);
    }
    const BOOL closed = released->Close();
    // The closing thread's own cache lets go at once; other threads' at their next lookup.
    tLastLookup.Forget(released.get());
    return closed;
}

} // namespace qb::kernel

BOOL WINAPI CloseHandle(HANDLE hObject) {
    using qb::kernel::ObjectKind;
    return qb::kernel::RemoveHandle(hObject, ObjectKind::kFile, ObjectKind::kThread);
}
