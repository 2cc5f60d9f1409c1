// The process's kernel handles: files, threads and directory searches. A handle value is
// never reused, so a closed or made-up handle is refused (ERROR_INVALID_HANDLE) instead of
// reaching another object; an object lives while a handle or a running call holds it, and
// while a thread's lookup cache holds it (until that thread's next lookup or its end): an
// object lets its resources go in Close, not in its destructor, when that matters.
#pragma once

#include <cstddef>
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

namespace internal {
// References the calling thread holds through its lookup cache (HandleRef); while there are
// any, the cache keeps its object.
inline thread_local unsigned tCachedRefs = 0;
} // namespace internal

// What a lookup found, held for the length of one call. A lookup the calling thread's cache
// answered holds the object through the cache's own reference, so the call changes no
// reference count; any other lookup holds a reference of its own.
template <typename T> class HandleRef {
public:
    HandleRef() = default;
    HandleRef(std::nullptr_t) {}
    HandleRef(T* cached) : object_(cached), cached_(cached != nullptr) {
        if (cached_) ++internal::tCachedRefs;
    }
    HandleRef(std::shared_ptr<T> owned) : object_(owned.get()), owned_(std::move(owned)) {}
    template <typename U>
    HandleRef(HandleRef<U>&& other)
        : object_(static_cast<T*>(other.object_)),
          owned_(std::static_pointer_cast<T>(std::move(other.owned_))), cached_(other.cached_) {
        other.object_ = nullptr;
        other.cached_ = false;
    }
    HandleRef(const HandleRef&) = delete;
    HandleRef& operator=(const HandleRef&) = delete;
    ~HandleRef() {
        if (cached_) --internal::tCachedRefs;
    }

    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }
    bool operator==(std::nullptr_t) const { return object_ == nullptr; }

private:
    template <typename U> friend class HandleRef;
    T* object_ = nullptr;
    std::shared_ptr<T> owned_;
    bool cached_ = false;
};

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
    return HandleRef<T>(std::move(object));
}

// Takes the handle out of the table if it is open and of one of the kinds, and closes the
// object (outside the table's lock), whose result it returns; the object is destroyed when
// the last holder lets go.
BOOL RemoveHandle(HANDLE handle, ObjectKind kind, ObjectKind otherKind);

} // namespace qb::kernel
