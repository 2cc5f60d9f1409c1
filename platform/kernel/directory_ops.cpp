// Directories and whole-file operations: CreateDirectoryW, RemoveDirectoryW, DeleteFileW,
// CopyFileW, MoveFileW.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <windows.h>

#include "platform/kernel/errno_map.h"
#include "platform/kernel/file_sharing.h"
#include "qb/device_path.h"

using namespace qb::kernel;

namespace {

constexpr DWORD kCopyChunkBytes = 64 * 1024;

bool MapName(LPCWSTR devicePath, std::string* path) {
    DWORD error = ERROR_SUCCESS;
    if (MapDevicePath(devicePath, PathUse::kName, path, &error)) return true;
    SetLastError(error);
    return false;
}

BOOL FailFromErrno(int error, const std::string& path) {
    return FailWith(error == ENOENT ? MissingNameError(path) : ErrorFromErrno(error));
}

// Copies the data of one open file into another; FALSE with the error of the failed call.
BOOL CopyData(HANDLE source, HANDLE target) {
    std::vector<char> buffer;
    try {
        buffer.resize(kCopyChunkBytes);
    } catch (const std::bad_alloc&) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(source, buffer.data(), kCopyChunkBytes, &got, nullptr)) return FALSE;
        if (got == 0) return TRUE;
        DWORD put = 0;
        if (!WriteFile(target, buffer.data(), got, &put, nullptr)) return FALSE;
    }
}

} // namespace

BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    (void)lpSecurityAttributes;
    std::string path;
    if (!MapName(lpPathName, &path)) return FALSE;
    if (mkdir(path.c_str(), 0777) == 0) return TRUE;
    const int error = errno;
    if (error == EEXIST) return FailWith(ERROR_ALREADY_EXISTS);
    if (error == ENOENT) return FailWith(ERROR_PATH_NOT_FOUND);
    return FailWith(ErrorFromErrno(error));
}

BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName) {
    std::string path;
    if (!MapName(lpPathName, &path)) return FALSE;
    if (rmdir(path.c_str()) == 0) return TRUE;
    const int error = errno;
    if (error == ENOTDIR) return FailWith(ERROR_DIRECTORY);
    if (error == EEXIST) return FailWith(ERROR_DIR_NOT_EMPTY);
    return FailFromErrno(error, path);
}

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
    std::string path;
    if (!MapName(lpFileName, &path)) return FALSE;
    std::lock_guard<std::mutex> lock(SharingLock());
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) return FailFromErrno(errno, path);
    if (S_ISDIR(info.st_mode)) return FailWith(ERROR_ACCESS_DENIED);
    if (!MayDelete({info.st_dev, info.st_ino})) return FailWith(ERROR_SHARING_VIOLATION);
    if (unlink(path.c_str()) != 0) return FailFromErrno(errno, path);
    return TRUE;
}

BOOL WINAPI CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
    std::string sourcePath;
    std::string targetPath;
    if (!MapName(lpExistingFileName, &sourcePath) || !MapName(lpNewFileName, &targetPath)) {
        return FALSE;
    }
    // Through the handles, so that the share modes of other holders count. Copying a file
    // onto itself is refused by the target's open: the source handle shares no writing.
    HANDLE source = CreateFileW(lpExistingFileName, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (source == INVALID_HANDLE_VALUE) return FALSE;
    HANDLE target =
        CreateFileW(lpNewFileName, GENERIC_WRITE, 0, nullptr,
                    bFailIfExists ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (target == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        CloseHandle(source);
        return FailWith(error);
    }
    const BOOL copied = CopyData(source, target);
    const DWORD error = GetLastError();
    CloseHandle(target);
    CloseHandle(source);
    if (!copied) {
        unlink(targetPath.c_str()); // no half copy stays behind
        return FailWith(error);
    }
    // Windows keeps the attributes and the time of the last write.
    struct stat info;
    if (stat(sourcePath.c_str(), &info) == 0) {
        const struct timespec times[2] = {info.st_atim, info.st_mtim};
        utimensat(AT_FDCWD, targetPath.c_str(), times, 0);
        chmod(targetPath.c_str(), info.st_mode & 07777);
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
    std::string sourcePath;
    std::string targetPath;
    if (!MapName(lpExistingFileName, &sourcePath) || !MapName(lpNewFileName, &targetPath)) {
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> lock(SharingLock());
        struct stat info;
        if (lstat(sourcePath.c_str(), &info) != 0) return FailFromErrno(errno, sourcePath);
        if (!MayDelete({info.st_dev, info.st_ino})) return FailWith(ERROR_SHARING_VIOLATION);
        if (renameat2(AT_FDCWD, sourcePath.c_str(), AT_FDCWD, targetPath.c_str(),
                      RENAME_NOREPLACE) == 0) {
            return TRUE;
        }
        int error = errno;
        if (error == EINVAL) {
            // A file system without RENAME_NOREPLACE: test, then rename.
            struct stat existing;
            if (lstat(targetPath.c_str(), &existing) == 0) return FailWith(ERROR_ALREADY_EXISTS);
            if (rename(sourcePath.c_str(), targetPath.c_str()) == 0) return TRUE;
            error = errno;
        }
        if (error == EEXIST || error == ENOTEMPTY) return FailWith(ERROR_ALREADY_EXISTS);
        if (error != EXDEV || S_ISDIR(info.st_mode)) {
            return FailWith(error == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(error));
        }
    }
    // Another file system: a file moves as a copy and a delete, as Windows moves it.
    if (!CopyFileW(lpExistingFileName, lpNewFileName, TRUE)) return FALSE;
    if (!DeleteFileW(lpExistingFileName)) {
        const DWORD error = GetLastError();
        DeleteFileW(lpNewFileName);
        return FailWith(error);
    }
    return TRUE;
}
