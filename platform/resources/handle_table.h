// Objects behind Win32 handles (icons, bitmaps, image lists): owned by a table, the handle
// being the object's address. A handle is honoured only while its object is in the table,
// so a stale or invented handle is refused instead of dereferenced.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace qb::resources {

template <class T> class HandleTable {
public:
    void* Add(std::unique_ptr<T> object) {
        std::lock_guard<std::mutex> guard(lock_);
        void* handle = object.get();
        objects_.emplace(handle, std::move(object));
        return handle;
    }

    // Calls f(T&) under the table's lock; false when the handle is not in the table.
    template <class F> bool With(const void* handle, F&& f) {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = objects_.find(handle);
        if (it == objects_.end()) return false;
        f(*it->second);
        return true;
    }

    // Removes the object if keep(T&) is false; false when the handle is not in the table.
    template <class F> bool RemoveUnless(const void* handle, F&& keep) {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = objects_.find(handle);
        if (it == objects_.end()) return false;
        if (!keep(*it->second)) objects_.erase(it);
        return true;
    }

private:
    std::mutex lock_;
    std::map<const void*, std::unique_ptr<T>> objects_;
};

} // namespace qb::resources
