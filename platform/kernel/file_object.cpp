#include "platform/kernel/file_object.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "platform/kernel/errno_map.h"

namespace qb::kernel {
namespace {

// One read or write call moves at most this much; larger transfers loop.
constexpr size_t kMaxTransferBytes = size_t{1} << 30;

// Every file handle's object, for the flushes other handles and the exit ask for. Objects
// are taken out of the list by their destructors, so no holder made from the list may be
// let go under its lock.
struct Registered {
    FileIdentity identity;
    std::weak_ptr<FileObject> object;
};

struct OpenFiles {
    std::mutex mutex;
    std::unordered_map<const FileObject*, Registered> objects;
};

OpenFiles& AllOpenFiles() {
    static auto* instance = new OpenFiles; // outlives the handles of detached threads
    return *instance;
}

bool SameFile(const FileIdentity& a, const FileIdentity& b) {
    return a.device == b.device && a.inode == b.inode;
}

void FlushEveryHandleAtExit() {
    FileObject::FlushOthers(nullptr, nullptr);
}

} // namespace

FileObject::FileObject(int fd, DWORD uses, DWORD share, FileIdentity identity, bool writeBehind)
    : KernelObject(ObjectKind::kFile), fd_(fd), uses_(uses), share_(share), identity_(identity),
      wantsWriteBehind_(writeBehind && (uses & kUseWrite) != 0) {}

FileObject::~FileObject() {
    // A handle let go without CloseHandle still stores its bytes.
    if (!released_) ReleaseLocked();
}

BOOL FileObject::ReleaseLocked() {
    {
        OpenFiles& files = AllOpenFiles();
        std::lock_guard<std::mutex> lock(files.mutex);
        files.objects.erase(this);
    }
    const BOOL written = WritePendingLocked();
    pending_.reset();
    ::close(fd_);
    UnregisterHolder(identity_, uses_, share_);
    released_ = true;
    return written;
}

void FileObject::Register(const std::shared_ptr<FileObject>& self) {
    std::vector<std::shared_ptr<FileObject>> sharers; // let go after the list's lock
    OpenFiles& files = AllOpenFiles();
    std::lock_guard<std::mutex> lock(files.mutex);
    try {
        for (const auto& [object, entry] : files.objects) {
            if (!SameFile(entry.identity, identity_)) continue;
            sharesFile_.store(true, std::memory_order_relaxed);
            sharers.push_back(entry.object.lock());
            if (sharers.back() != nullptr) {
                sharers.back()->sharesFile_.store(true, std::memory_order_relaxed);
            }
        }
        files.objects.emplace(self.get(), Registered{identity_, self});
        writeBehind_ = wantsWriteBehind_;
    } catch (const std::bad_alloc&) {
        // Unknown to the others, the handle writes through and looks for them every time.
        sharesFile_.store(true, std::memory_order_relaxed);
    }
}

void FileObject::FlushOthers(const FileIdentity* identity, const FileObject* self) {
    std::vector<std::shared_ptr<FileObject>> found;
    std::shared_ptr<FileObject> unlisted; // let go after the list's lock too
    {
        OpenFiles& files = AllOpenFiles();
        std::lock_guard<std::mutex> lock(files.mutex);
        for (const auto& [object, entry] : files.objects) {
            if (object == self) continue;
            if (identity != nullptr && !SameFile(entry.identity, *identity)) continue;
            unlisted = entry.object.lock();
            if (unlisted == nullptr) continue;
            try {
                found.push_back(std::move(unlisted));
            } catch (const std::bad_alloc&) {
                break; // the rest keep their bytes until their own next flush
            }
        }
    }
    // Outside the list's lock: a handle's last holder may be this loop.
    for (const auto& other : found) other->FlushForOthers();
}

void FileObject::FlushForOthers() {
    // A handle that never holds bytes back is not waited for (a pipe's reader may block).
    if (!writeBehind_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (pendingBytes_ == 0) return;
    const DWORD saved = GetLastError();
    if (!WritePendingLocked() && deferredError_ == ERROR_SUCCESS) deferredError_ = GetLastError();
    SetLastError(saved);
}

BOOL FileObject::TakeDeferredLocked() {
    if (deferredError_ == ERROR_SUCCESS) return TRUE;
    const DWORD error = deferredError_;
    deferredError_ = ERROR_SUCCESS;
    return FailWith(error);
}

BOOL FileObject::WriteThrough(const char* bytes, size_t length, DWORD* done) {
    size_t written = 0;
    BOOL result = TRUE;
    while (written < length) {
        const size_t chunk = std::min(length - written, kMaxTransferBytes);
        const ssize_t put = write(fd_, bytes + written, chunk);
        if (put < 0) {
            if (errno == EINTR) continue;
            result = FailWith(ErrorFromErrno(errno));
            break;
        }
        if (put == 0) {
            result = FailWith(ERROR_DISK_FULL);
            break;
        }
        written += size_t(put);
    }
    if (done != nullptr) *done = static_cast<DWORD>(written);
    return result;
}

BOOL FileObject::WritePendingLocked() {
    if (pendingBytes_ == 0) return TRUE;
    const size_t held = pendingBytes_;
    // What can't be written now is dropped: the failure is reported, never retried later.
    pendingBytes_ = 0;
    return WriteThrough(pending_.get(), held, nullptr);
}

BOOL FileObject::Read(void* buffer, DWORD wanted, DWORD* done) {
    *done = 0;
    if ((uses_ & kUseRead) == 0) return FailWith(ERROR_ACCESS_DENIED);
    FlushSharers();
    std::lock_guard<std::mutex> lock(mutex_);
    if (released_) return FailWith(ERROR_INVALID_HANDLE);
    if (!TakeDeferredLocked() || !WritePendingLocked()) return FALSE;
    auto* bytes = static_cast<char*>(buffer);
    while (*done < wanted) {
        const size_t chunk = std::min<size_t>(wanted - *done, kMaxTransferBytes);
        const ssize_t got = read(fd_, bytes + *done, chunk);
        if (got < 0) {
            if (errno == EINTR) continue;
            return FailWith(errno == EISDIR ? ERROR_ACCESS_DENIED : ErrorFromErrno(errno));
        }
        if (got == 0) break; // end of the file
        *done += static_cast<DWORD>(got);
    }
    return TRUE;
}

BOOL FileObject::Write(const void* data, DWORD wanted, DWORD* done) {
    *done = 0;
    if ((uses_ & kUseWrite) == 0) return FailWith(ERROR_ACCESS_DENIED);
    const auto* bytes = static_cast<const char*>(data);
    FlushSharers();
    std::lock_guard<std::mutex> lock(mutex_);
    if (released_) return FailWith(ERROR_INVALID_HANDLE);
    if (!TakeDeferredLocked()) return FALSE;
    if (wanted == 0) return TRUE;
    if (writeBehind_ && wanted < kWriteBehindBytes && pending_ == nullptr) {
        pending_.reset(new (std::nothrow) char[kWriteBehindBytes]);
    }
    if (!writeBehind_ || wanted >= kWriteBehindBytes || pending_ == nullptr) {
        if (!WritePendingLocked()) return FALSE;
        return WriteThrough(bytes, wanted, done);
    }
    if (pendingBytes_ + wanted > kWriteBehindBytes && !WritePendingLocked()) return FALSE;
    std::memcpy(pending_.get() + pendingBytes_, bytes, wanted);
    pendingBytes_ += wanted;
    *done = wanted;
    return TRUE;
}

bool FileObject::AcceptsSplice() {
    if ((uses_ & kUseWrite) == 0) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (released_) return false;
    if (spliceable_ < 0) {
        struct stat info;
        const int flags = fcntl(fd_, F_GETFL);
        spliceable_ = fstat(fd_, &info) == 0 && S_ISREG(info.st_mode) && flags >= 0 &&
                      (flags & O_APPEND) == 0;
    }
    return spliceable_ == 1;
}

BOOL FileObject::WriteFromPipe(int pipeOut, size_t length, size_t* done) {
    *done = 0;
    if ((uses_ & kUseWrite) == 0) return FailWith(ERROR_ACCESS_DENIED);
    FlushSharers();
    std::lock_guard<std::mutex> lock(mutex_);
    if (released_) return FailWith(ERROR_INVALID_HANDLE);
    if (!TakeDeferredLocked() || !WritePendingLocked()) return FALSE;
    while (*done < length) {
        const ssize_t put = splice(pipeOut, nullptr, fd_, nullptr, length - *done, SPLICE_F_MOVE);
        if (put < 0) {
            if (errno == EINTR) continue;
            return FailWith(ErrorFromErrno(errno));
        }
        if (put == 0) return FailWith(ERROR_DISK_FULL); // the pipe held fewer than length
        *done += size_t(put);
    }
    return TRUE;
}

BOOL FileObject::Seek(int64_t distance, DWORD method, uint64_t limit, uint64_t* position) {
    FlushSharers();
    std::lock_guard<std::mutex> lock(mutex_);
    if (released_) return FailWith(ERROR_INVALID_HANDLE);
    if (!TakeDeferredLocked() || !WritePendingLocked()) return FALSE;
    int64_t base = 0;
    if (method == FILE_CURRENT) {
        base = lseek(fd_, 0, SEEK_CUR);
    } else if (method == FILE_END) {
        struct stat info;
        base = fstat(fd_, &info) == 0 ? info.st_size : -1;
    } else if (method != FILE_BEGIN) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    if (base < 0) return FailWith(ErrorFromErrno(errno));
    int64_t target = 0;
    if (__builtin_add_overflow(base, distance, &target)) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    if (target < 0) return FailWith(ERROR_NEGATIVE_SEEK);
    if (static_cast<uint64_t>(target) > limit) return FailWith(ERROR_INVALID_PARAMETER);
    if (lseek(fd_, target, SEEK_SET) < 0) return FailWith(ErrorFromErrno(errno));
    *position = static_cast<uint64_t>(target);
    return TRUE;
}

BOOL FileObject::Size(uint64_t* size) {
    FlushSharers();
    std::lock_guard<std::mutex> lock(mutex_);
    if (released_) return FailWith(ERROR_INVALID_HANDLE);
    if (!TakeDeferredLocked() || !WritePendingLocked()) return FALSE;
    struct stat info;
    if (fstat(fd_, &info) != 0) return FailWith(ErrorFromErrno(errno));
    *size = static_cast<uint64_t>(info.st_size);
    return TRUE;
}

BOOL FileObject::SetEnd() {
    if ((uses_ & kUseWrite) == 0) return FailWith(ERROR_ACCESS_DENIED);
    FlushSharers();
    std::lock_guard<std::mutex> lock(mutex_);
    if (released_) return FailWith(ERROR_INVALID_HANDLE);
    if (!TakeDeferredLocked() || !WritePendingLocked()) return FALSE;
    const off_t here = lseek(fd_, 0, SEEK_CUR);
    if (here < 0 || ftruncate(fd_, here) != 0) return FailWith(ErrorFromErrno(errno));
    return TRUE;
}

BOOL FileObject::Flush() {
    if ((uses_ & kUseWrite) == 0) return FailWith(ERROR_ACCESS_DENIED);
    FlushSharers();
    std::lock_guard<std::mutex> lock(mutex_);
    if (released_) return FailWith(ERROR_INVALID_HANDLE);
    if (!TakeDeferredLocked() || !WritePendingLocked()) return FALSE;
    if (fsync(fd_) != 0 && errno != EINVAL) return FailWith(ErrorFromErrno(errno));
    return TRUE;
}

BOOL FileObject::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (released_) return FailWith(ERROR_INVALID_HANDLE);
    const DWORD deferred = deferredError_;
    deferredError_ = ERROR_SUCCESS;
    // The descriptor and the sharing go now, although a running call may still hold the
    // object: when it reaches it again it finds it closed.
    if (!ReleaseLocked()) return FALSE;
    return deferred == ERROR_SUCCESS ? TRUE : FailWith(deferred);
}

void PrepareProcessForFiles() {
    static std::once_flag once;
    std::call_once(once, [] {
        std::signal(SIGXFSZ, SIG_IGN);
        std::atexit(FlushEveryHandleAtExit);
    });
}

} // namespace qb::kernel
