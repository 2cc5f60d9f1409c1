// CreateFileW and the transfers on a file handle.
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include <windows.h>

#include "platform/kernel/errno_map.h"
#include "platform/kernel/file_object.h"
#include "qb/device_path.h"

using namespace qb::kernel;

namespace {

constexpr DWORD kShareModes = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Asynchronous handles and deletion on close are not offered.
constexpr DWORD kRefusedFlags = FILE_FLAG_OVERLAPPED | FILE_FLAG_DELETE_ON_CLOSE;
// A name may vanish or appear between the two opens of OPEN_ALWAYS / CREATE_ALWAYS.
constexpr int kCreateAttempts = 8;
// Without a high word, SetFilePointer reaches only positions that fit 32 bits.
constexpr uint64_t kLowWordLimit = 0xFFFFFFFEull;
constexpr uint64_t kNoLimit = ~0ull;

HANDLE FailOpen(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

DWORD UsesOf(DWORD access) {
    DWORD uses = 0;
    if (access & (GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE)) uses |= kUseRead;
    if (access & (GENERIC_WRITE | GENERIC_ALL)) uses |= kUseWrite;
    return uses;
}

struct Opened {
    int fd = -1;
    FileIdentity identity{};
    bool existed = false;
    bool writeBehind = false; // a regular file, not opened for writing through
    DWORD error = ERROR_SUCCESS;
};

// Opens (or creates) the file as the disposition says. O_NONBLOCK keeps a FIFO from
// stopping the open; it is cleared again for the transfers.
int OpenByDisposition(const std::string& path, int flags, mode_t mode, DWORD disposition,
                      bool* existed) {
    *existed = true;
    if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
        return open(path.c_str(), flags);
    }
    if (disposition == CREATE_NEW) {
        *existed = false;
        return open(path.c_str(), flags | O_CREAT | O_EXCL, mode);
    }
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        int fd = open(path.c_str(), flags | O_CREAT | O_EXCL, mode);
        if (fd >= 0 || errno != EEXIST) {
            *existed = false;
            return fd;
        }
        fd = open(path.c_str(), flags);
        if (fd >= 0 || errno != ENOENT) return fd;
    }
    return -1;
}

// A writer that lets nobody else write holds the file against writers in other processes
// too (the sharing table covers this process only): an open-file-description lock, which
// the kernel drops with the last descriptor, also when the process is killed. false when
// another process holds such a lock on the file.
bool HoldAgainstOtherWriters(int fd, DWORD uses, DWORD share) {
    if ((uses & kUseWrite) == 0 || (share & FILE_SHARE_WRITE) != 0) return true;
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET; // from 0, length 0: the whole file, however long it grows
    if (fcntl(fd, F_OFD_SETLK, &whole) == 0) return true;
    // A file system without such locks shares as before.
    return errno != EAGAIN && errno != EACCES;
}

// Everything between the sharing check and the registration of the new holder happens
// under the sharing lock, truncation included: a CREATE_ALWAYS that is refused must not
// have emptied the file of another holder.
Opened OpenShared(const std::string& path, DWORD uses, DWORD share, DWORD disposition,
                  DWORD flagsAndAttributes) {
    Opened result;
    int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if ((uses & kUseRead) && (uses & kUseWrite))
        flags |= O_RDWR;
    else if (uses & kUseWrite)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;
    if (flagsAndAttributes & FILE_FLAG_WRITE_THROUGH) flags |= O_DSYNC;
    const bool noFollow = (flagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) != 0;
    if (noFollow) flags |= O_NOFOLLOW;
    const mode_t mode = (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;

    std::lock_guard<std::mutex> lock(SharingLock());
    const int fd = OpenByDisposition(path, flags, mode, disposition, &result.existed);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            result.error = MissingNameError(path);
        else if (error == ELOOP && noFollow)
            result.error = ERROR_CANT_ACCESS_FILE; // a link where none may be followed
        else
            result.error = ErrorFromErrno(error);
        return result;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        result.error = ERROR_ACCESS_DENIED; // a directory is not a file to open
        return result;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    result.identity = {info.st_dev, info.st_ino};
    result.writeBehind =
        S_ISREG(info.st_mode) && (flagsAndAttributes & FILE_FLAG_WRITE_THROUGH) == 0;
    if (!MayOpen(result.identity, uses, share) || !HoldAgainstOtherWriters(fd, uses, share)) {
        close(fd);
        result.error = ERROR_SHARING_VIOLATION;
        return result;
    }
    const bool truncate =
        result.existed && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
    if (truncate && info.st_size != 0) {
        const int status = (uses & kUseWrite) ? ftruncate(fd, 0) : ::truncate(path.c_str(), 0);
        if (status != 0) {
            result.error = ErrorFromErrno(errno);
            close(fd);
            return result;
        }
    }
    if (!RegisterHolder(result.identity, uses, share)) {
        close(fd);
        result.error = ERROR_NOT_ENOUGH_MEMORY;
        return result;
    }
    result.fd = fd;
    return result;
}

HandleRef<FileObject> LookupFile(HANDLE handle) {
    return LookupHandleAs<FileObject>(handle, ObjectKind::kFile);
}

} // namespace

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    (void)lpSecurityAttributes;
    (void)hTemplateFile;
    PrepareProcessForFiles();
    const DWORD uses = UsesOf(dwDesiredAccess);
    if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING ||
        (dwShareMode & ~kShareModes) != 0 || (dwFlagsAndAttributes & kRefusedFlags) != 0 ||
        (dwCreationDisposition == TRUNCATE_EXISTING && (uses & kUseWrite) == 0)) {
        return FailOpen(ERROR_INVALID_PARAMETER);
    }
    std::string path;
    DWORD error = ERROR_SUCCESS;
    if (!MapDevicePath(lpFileName, PathUse::kName, &path, &error)) return FailOpen(error);
    // What other handles hold back of this file goes first, so that the new handle sees it
    // and a truncating open comes after it.
    struct stat existing;
    if (stat(path.c_str(), &existing) == 0) {
        const FileIdentity identity{existing.st_dev, existing.st_ino};
        FileObject::FlushOthers(&identity, nullptr);
    }
    const Opened opened =
        OpenShared(path, uses, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes);
    if (opened.fd < 0) return FailOpen(opened.error);

    std::shared_ptr<FileObject> file;
    try {
        file = std::make_shared<FileObject>(opened.fd, uses, dwShareMode, opened.identity,
                                            opened.writeBehind);
    } catch (const std::bad_alloc&) {
        close(opened.fd);
        UnregisterHolder(opened.identity, uses, dwShareMode);
        return FailOpen(ERROR_NOT_ENOUGH_MEMORY);
    }
    file->Register(file);
    HANDLE handle = InsertHandle(std::move(file));
    if (handle == nullptr) return INVALID_HANDLE_VALUE; // the object closed itself
    const bool reopened = opened.existed && (dwCreationDisposition == CREATE_ALWAYS ||
                                             dwCreationDisposition == OPEN_ALWAYS);
    SetLastError(reopened ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesRead == nullptr || lpOverlapped != nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    *lpNumberOfBytesRead = 0;
    if (lpBuffer == nullptr && nNumberOfBytesToRead > 0) return FailWith(ERROR_NOACCESS);
    const auto file = LookupFile(hFile);
    if (file == nullptr) return FALSE;
    return file->Read(lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead);
}

// The argument checks mirror ReadFile's, but for a missing buffer: Windows answers a write
// from nothing ERROR_INVALID_USER_BUFFER where a read into nothing is ERROR_NOACCESS.
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesWritten == nullptr || lpOverlapped != nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    *lpNumberOfBytesWritten = 0;
    if (lpBuffer == nullptr && nNumberOfBytesToWrite > 0) {
        return FailWith(ERROR_INVALID_USER_BUFFER);
    }
    const auto file = LookupFile(hFile);
    if (file == nullptr) return FALSE;
    return file->Write(lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten);
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
    const auto file = LookupFile(hFile);
    if (file == nullptr) return INVALID_SET_FILE_POINTER;
    int64_t distance = lDistanceToMove;
    if (lpDistanceToMoveHigh != nullptr) {
        distance = static_cast<int64_t>((uint64_t(uint32_t(*lpDistanceToMoveHigh)) << 32) |
                                        uint32_t(lDistanceToMove));
    }
    uint64_t position = 0;
    const uint64_t limit = lpDistanceToMoveHigh != nullptr ? kNoLimit : kLowWordLimit;
    if (!file->Seek(distance, dwMoveMethod, limit, &position)) return INVALID_SET_FILE_POINTER;
    if (lpDistanceToMoveHigh != nullptr) *lpDistanceToMoveHigh = LONG(uint32_t(position >> 32));
    // A position whose low word is 0xFFFFFFFF looks like the failure value; the caller
    // tells them apart by GetLastError.
    SetLastError(NO_ERROR);
    return DWORD(position);
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    const auto file = LookupFile(hFile);
    if (file == nullptr) return INVALID_FILE_SIZE;
    uint64_t size = 0;
    if (!file->Size(&size)) return INVALID_FILE_SIZE;
    if (lpFileSizeHigh != nullptr) *lpFileSizeHigh = DWORD(size >> 32);
    SetLastError(NO_ERROR);
    return DWORD(size);
}

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
    const auto file = LookupFile(hFile);
    return file != nullptr && file->SetEnd();
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
    const auto file = LookupFile(hFile);
    return file != nullptr && file->Flush();
}
