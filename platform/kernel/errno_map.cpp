#include "platform/kernel/errno_map.h"

#include <cerrno>
#include <sys/stat.h>

#include <windows.h>

namespace qb::kernel {

DWORD ErrorFromErrno(int error) {
    switch (error) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ELOOP:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case EFBIG:
        return ERROR_HANDLE_DISK_FULL;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case EBUSY:
    case ETXTBSY:
        return ERROR_SHARING_VIOLATION;
    case EXDEV:
        return ERROR_NOT_SAME_DEVICE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case EFAULT:
        return ERROR_NOACCESS;
    case EIO:
        return ERROR_GEN_FAILURE;
    default:
        return ERROR_GEN_FAILURE;
    }
}

DWORD MissingNameError(const std::string& hostPath) {
    const size_t slash = hostPath.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return ERROR_FILE_NOT_FOUND;
    struct stat info;
    const std::string parent = hostPath.substr(0, slash);
    if (stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return ERROR_FILE_NOT_FOUND;
    return ERROR_PATH_NOT_FOUND;
}

BOOL FailWith(DWORD error) {
    SetLastError(error);
    return FALSE;
}

} // namespace qb::kernel
