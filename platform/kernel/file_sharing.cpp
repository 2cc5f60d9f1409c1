#include "platform/kernel/file_sharing.h"

#include <map>
#include <new>
#include <utility>

namespace qb::kernel {
namespace {

struct Holder {
    DWORD uses;
    DWORD share;
};

using Key = std::pair<dev_t, ino_t>;

std::multimap<Key, Holder>& Holders() {
    static auto* instance = new std::multimap<Key, Holder>; // outlives detached threads
    return *instance;
}

Key KeyOf(const FileIdentity& file) {
    return {file.device, file.inode};
}

} // namespace

std::mutex& SharingLock() {
    static auto* instance = new std::mutex;
    return *instance;
}

bool MayOpen(const FileIdentity& file, DWORD uses, DWORD share) {
    const auto range = Holders().equal_range(KeyOf(file));
    for (auto it = range.first; it != range.second; ++it) {
        if ((uses & ~it->second.share) != 0 || (it->second.uses & ~share) != 0) return false;
    }
    return true;
}

bool MayDelete(const FileIdentity& file) {
    const auto range = Holders().equal_range(KeyOf(file));
    for (auto it = range.first; it != range.second; ++it) {
        if ((it->second.share & FILE_SHARE_DELETE) == 0) return false;
    }
    return true;
}

bool RegisterHolder(const FileIdentity& file, DWORD uses, DWORD share) {
    try {
        Holders().emplace(KeyOf(file), Holder{uses, share});
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void UnregisterHolder(const FileIdentity& file, DWORD uses, DWORD share) {
    std::lock_guard<std::mutex> lock(SharingLock());
    const auto range = Holders().equal_range(KeyOf(file));
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second.uses == uses && it->second.share == share) {
            Holders().erase(it);
            return;
        }
    }
}

} // namespace qb::kernel
