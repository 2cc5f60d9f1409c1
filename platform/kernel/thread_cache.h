// A thread's last object of a table (kernel handles, sockets): a thread calling on one handle
// again and again (a 128-byte receive or write per piece) finds it without the table's lock
// and without reference-count traffic. The cache holds a reference, so the object outlives
// every call that found it here; it answers while no entry left the table since it was
// filled (the table's removal count). An object closed by another thread therefore stays
// with this thread until its next lookup or its end: such an object lets its resources go
// in its close, not in its destructor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qb::kernel {

// What a lookup found, held for the length of one call: through the cache (counted in its
// inUse, no reference count changes) or with a reference of its own.
template <typename T> class CachedRef {
public:
    CachedRef() = default;
    CachedRef(std::nullptr_t) {}
    CachedRef(std::shared_ptr<T> owned) : object_(owned.get()), owned_(std::move(owned)) {}
    CachedRef(T* cached, unsigned* inUse) : object_(cached), inUse_(inUse) { ++*inUse_; }
    CachedRef(CachedRef&& other) noexcept
        : object_(other.object_), owned_(std::move(other.owned_)), inUse_(other.inUse_) {
        other.object_ = nullptr;
        other.inUse_ = nullptr;
    }
    template <typename U>
    CachedRef(CachedRef<U>&& other)
        : object_(static_cast<T*>(other.object_)),
          owned_(std::static_pointer_cast<T>(std::move(other.owned_))), inUse_(other.inUse_) {
        other.object_ = nullptr;
        other.inUse_ = nullptr;
    }
    CachedRef(const CachedRef&) = delete;
    CachedRef& operator=(const CachedRef&) = delete;
    ~CachedRef() {
        if (inUse_ != nullptr) --*inUse_;
    }

    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }
    bool operator==(std::nullptr_t) const { return object_ == nullptr; }

private:
    template <typename U> friend class CachedRef;
    T* object_ = nullptr;
    std::shared_ptr<T> owned_;
    unsigned* inUse_ = nullptr;
};

// One per thread and table (thread_local).
template <typename Object> class ThreadCache {
public:
    // The cached object when it is key's and nothing left the table since (removals is the
    // table's count now); null otherwise.
    CachedRef<Object> Find(uint64_t key, uint64_t removals) {
        if (object_ == nullptr || key_ != key || removals_ != removals) return nullptr;
        return CachedRef<Object>(object_.get(), &inUse_);
    }
    // Takes found, looked up at the table's count removals, for the next lookups, unless a
    // call still uses the cached object; the reference for this call either way. The object
    // let go may be destroyed here: call it outside the table's lock.
    CachedRef<Object> Keep(uint64_t key, uint64_t removals, std::shared_ptr<Object> found) {
        if (inUse_ != 0) return CachedRef<Object>(std::move(found));
        key_ = key;
        removals_ = removals;
        object_ = std::move(found);
        return CachedRef<Object>(object_.get(), &inUse_);
    }
    // After a close on this thread: lets the object go now, when it is the cached one and no
    // call uses it.
    void Forget(const Object* object) {
        if (inUse_ == 0 && object_.get() == object) object_.reset();
    }

private:
    uint64_t key_ = 0;
    uint64_t removals_ = 0;
    std::shared_ptr<Object> object_;
    unsigned inUse_ = 0; // references handed out through the cache and not yet let go
};

} // namespace qb::kernel
