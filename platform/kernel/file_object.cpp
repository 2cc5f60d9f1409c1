#include "file_object.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include "errno_map.h"

namespace qb::kernel {
namespace {

// One read or write call moves at most this much; larger transfers loop.
constexpr size_t kMaxTransferBytes = size_t{1} << 30;

} // namespace

FileObject::FileObject(int fd, DWORD uses, DWORD share, FileIdentity identity)
    : KernelObject(ObjectKind::kFile), fd_(fd), uses_(uses), share_(share), identity_(identity) {}

FileObject::~FileObject() {
    close(fd_);
    UnregisterHolder(identity_, uses_, share_);
}

BOOL FileObject::Read(void* buffer, DWORD wanted, DWORD* done) {
    *done = 0;
    if ((uses_ & kUseRead) == 0) return FailWith(ERROR_ACCESS_DENIED);
    std::lock_guard<std::mutex> lock(mutex_);
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
    std::lock_guard<std::mutex> lock(mutex_);
    const auto* bytes = static_cast<const char*>(data);
    while (*done < wanted) {
        const size_t chunk = std::min<size_t>(wanted - *done, kMaxTransferBytes);
        const ssize_t put = write(fd_, bytes + *done, chunk);
        if (put < 0) {
            if (errno == EINTR) continue;
            return FailWith(ErrorFromErrno(errno));
        }
        if (put == 0) return FailWith(ERROR_DISK_FULL);
        *done += static_cast<DWORD>(put);
    }
    return TRUE;
}

BOOL FileObject::Seek(int64_t distance, DWORD method, uint64_t limit, uint64_t* position) {
    std::lock_guard<std::mutex> lock(mutex_);
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
    std::lock_guard<std::mutex> lock(mutex_);
    struct stat info;
    if (fstat(fd_, &info) != 0) return FailWith(ErrorFromErrno(errno));
    *size = static_cast<uint64_t>(info.st_size);
    return TRUE;
}

BOOL FileObject::SetEnd() {
    if ((uses_ & kUseWrite) == 0) return FailWith(ERROR_ACCESS_DENIED);
    std::lock_guard<std::mutex> lock(mutex_);
    const off_t here = lseek(fd_, 0, SEEK_CUR);
    if (here < 0 || ftruncate(fd_, here) != 0) return FailWith(ErrorFromErrno(errno));
    return TRUE;
}

BOOL FileObject::Flush() {
    if ((uses_ & kUseWrite) == 0) return FailWith(ERROR_ACCESS_DENIED);
    std::lock_guard<std::mutex> lock(mutex_);
    if (fsync(fd_) != 0 && errno != EINVAL) return FailWith(ErrorFromErrno(errno));
    return TRUE;
}

void IgnoreFileSizeSignal() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

} // namespace qb::kernel
