// The process's kernel handles: files, threads and directory searches. A handle value is
// never reused, so a closed or made-up handle is refused (ERROR_INVALID_HANDLE) instead of
// reaching another object; an object lives while a handle or a running call holds it.
#pragma once

#include <memory>

#include <windows.h>

namespace qb::kernel {

enum class ObjectKind { kFile, kThread, kSearch };

class KernelObject {
public:
    explicit KernelObject(ObjectKind kind) : kind_(kind) {}
    virtual ~KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;

    ObjectKind Kind() const { return kind_; }

    // WaitForSingleObject: WAIT_OBJECT_0 once signalled, WAIT_TIMEOUT after the time-out.
    // Objects that can't be waited on fail.
    virtual DWORD Wait(DWORD milliseconds);
    // CloseHandle's last word on the object, after it left the table: FALSE (last error
    // set) when work the object had deferred failed.
    virtual BOOL Close() { return TRUE; }

private:
    ObjectKind kind_;
};

// A new handle for the object; nullptr with the last error set when there is no memory.
HANDLE InsertHandle(std::shared_ptr<KernelObject> object);

// What a lookup found, held for the length of one call.
template <typename T> using HandleRef = std::shared_ptr<T>;

// The object behind a handle, or null (last error ERROR_INVALID_HANDLE) when the handle is
// not open or names an object of another kind.
HandleRef<KernelObject> LookupHandle(HANDLE handle);
template <typename T> HandleRef<T> LookupHandleAs(HANDLE handle, ObjectKind kind) {
    HandleRef<KernelObject> object = LookupHandle(handle);
    if (object == nullptr) return nullptr;
    if (object->Kind() != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return std::static_pointer_cast<T>(std::move(object));
}

// Takes the handle out of the table if it is open and of one of the kinds, and closes the
// object (outside the table's lock), whose result it returns; the object is destroyed when
// the last holder lets go.
BOOL RemoveHandle(HANDLE handle, ObjectKind kind, ObjectKind otherKind);

} // namespace qb::kernel
