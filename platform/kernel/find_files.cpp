// FindFirstFileW, FindNextFileW, FindClose and GetFileAttributesW. A search reads its
// directory once, at FindFirstFileW, and hands the matching entries out in name order.
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <windows.h>

#include "platform/kernel/errno_map.h"
#include "platform/kernel/file_info.h"
#include "platform/kernel/find_pattern.h"
#include "platform/kernel/handle_table.h"
#include "platform/kernel/path_rules.h"
#include "platform/kernel/utf8_codec.h"
#include "qb/device_path.h"

using namespace qb::kernel;

namespace {

// A search keeps at most this many entries; a larger directory is cut.
constexpr size_t kMaxSearchEntries = size_t{1} << 20;
constexpr size_t kAlternateNameUnits = 14;

struct Entry {
    std::u16string name;
    struct stat info;
};

class SearchObject final : public KernelObject {
public:
    explicit SearchObject(std::vector<Entry> entries)
        : KernelObject(ObjectKind::kSearch), entries_(std::move(entries)) {}

    // The next entry, or false when all were given.
    bool Next(WIN32_FIND_DATAW* data) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (next_ >= entries_.size()) return false;
        Fill(entries_[next_++], data);
        return true;
    }

    static void Fill(const Entry& entry, WIN32_FIND_DATAW* data) {
        *data = WIN32_FIND_DATAW{};
        data->dwFileAttributes = AttributesFromStat(entry.info);
        data->ftCreationTime = FileTimeFromTimespec(entry.info.st_ctim);
        data->ftLastAccessTime = FileTimeFromTimespec(entry.info.st_atim);
        data->ftLastWriteTime = FileTimeFromTimespec(entry.info.st_mtim);
        const uint64_t size = S_ISDIR(entry.info.st_mode) ? 0 : uint64_t(entry.info.st_size);
        data->nFileSizeHigh = DWORD(size >> 32);
        data->nFileSizeLow = DWORD(size);
        const size_t units = std::min<size_t>(entry.name.size(), MAX_PATH - 1);
        std::copy_n(entry.name.data(), units, data->cFileName);
        static_assert(sizeof data->cAlternateFileName / sizeof(WCHAR) == kAlternateNameUnits);
    }

private:
    std::mutex mutex_;
    std::vector<Entry> entries_;
    size_t next_ = 0;
};

HANDLE FailSearch(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

// The entries of a directory that match the pattern. "." and ".." never match a wildcard;
// names a device path can't spell (not UTF-8, or with characters Windows refuses) are
// left out, since no other call could reach them.
DWORD ReadMatches(const std::string& directory, std::u16string_view pattern,
                  std::vector<Entry>* entries) {
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) {
        const int error = errno;
        return error == ENOENT || error == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(error);
    }
    const int dirFd = dirfd(dir);
    while (entries->size() < kMaxSearchEntries) {
        const dirent* item = readdir(dir);
        if (item == nullptr) break;
        const std::string onDisk = item->d_name;
        if (onDisk == "." || onDisk == "..") continue;
        Entry entry;
        if (!AppendUtf8AsUtf16(onDisk.data(), onDisk.size(), entry.name)) continue;
        if (entry.name.size() >= MAX_PATH || entry.name.find(u'\\') != std::u16string::npos ||
            !IsValidComponent(entry.name, false) || !MatchesPattern(pattern, entry.name)) {
            continue;
        }
        if (fstatat(dirFd, item->d_name, &entry.info, 0) != 0 &&
            fstatat(dirFd, item->d_name, &entry.info, AT_SYMLINK_NOFOLLOW) != 0) {
            continue; // vanished since readdir
        }
        entries->push_back(std::move(entry));
    }
    closedir(dir);
    std::sort(entries->begin(), entries->end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries->empty() ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
}

} // namespace

HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
    if (lpFindFileData == nullptr) return FailSearch(ERROR_INVALID_PARAMETER);
    if (lpFileName == nullptr || lpFileName[0] == 0) return FailSearch(ERROR_PATH_NOT_FOUND);
    try {
        const std::u16string_view text(lpFileName);
        size_t cut = text.size();
        while (cut > 0 && !IsPathSeparator(text[cut - 1])) --cut;
        const std::u16string_view pattern = text.substr(cut);
        if (pattern.empty()) return FailSearch(ERROR_FILE_NOT_FOUND);
        const bool dotName = pattern == u"." || pattern == u"..";
        if (!dotName && !IsValidComponent(pattern, true)) return FailSearch(ERROR_INVALID_NAME);

        std::vector<Entry> entries;
        DWORD error = ERROR_SUCCESS;
        if (dotName || !HasWildcards(pattern)) {
            // One name: the entry itself, reported under the name the pattern gives.
            std::string path;
            if (!MapDevicePath(lpFileName, PathUse::kName, &path, &error)) {
                return FailSearch(error);
            }
            Entry entry;
            entry.name = pattern;
            if (stat(path.c_str(), &entry.info) != 0 && lstat(path.c_str(), &entry.info) != 0) {
                const int code = errno;
                return FailSearch(code == ENOENT ? MissingNameError(path) : ErrorFromErrno(code));
            }
            entries.push_back(std::move(entry));
        } else {
            const std::u16string directory(cut == 0 ? u"\\" : text.substr(0, cut));
            std::string path;
            if (!MapDevicePath(directory.c_str(), PathUse::kName, &path, &error)) {
                return FailSearch(error);
            }
            error = ReadMatches(path, pattern, &entries);
            if (error != ERROR_SUCCESS) return FailSearch(error);
        }
        auto search = std::make_shared<SearchObject>(std::move(entries));
        search->Next(lpFindFileData);
        HANDLE handle = InsertHandle(std::move(search));
        return handle != nullptr ? handle : INVALID_HANDLE_VALUE;
    } catch (const std::bad_alloc&) {
        return FailSearch(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
    if (lpFindFileData == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
    const auto search = LookupHandleAs<SearchObject>(hFindFile, ObjectKind::kSearch);
    if (search == nullptr) return FALSE;
    if (!search->Next(lpFindFileData)) return FailWith(ERROR_NO_MORE_FILES);
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    return RemoveHandle(hFindFile, ObjectKind::kSearch, ObjectKind::kSearch);
}

DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
    std::string path;
    DWORD error = ERROR_SUCCESS;
    if (!MapDevicePath(lpFileName, PathUse::kName, &path, &error)) {
        SetLastError(error);
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        const int code = errno;
        SetLastError(code == ENOENT ? MissingNameError(path) : ErrorFromErrno(code));
        return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesFromStat(info);
}
