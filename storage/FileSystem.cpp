#include "storage/FileSystem.h"

#include <new>

#include "base/Results.h"
#include "base/StringUtil.h"
#include "storage/DevicePath.h"

// The state of one enumeration: the platform search and the entry it found last, which
// NextEntry hands out before it asks the platform for the one after it.
struct FileSearch {
    HANDLE find;
    WIN32_FIND_DATAW data;
    BOOL exhausted;
};

namespace {

constexpr DWORD kCreateFileAccess = GENERIC_WRITE;
constexpr DWORD kCreateFileShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

DWORD LengthOf(LPCWSTR text) {
    DWORD length = 0;
    StrLength(text, &length);
    return length;
}

int PlatformResult(BOOL succeeded) {
    return succeeded ? kResultOk : kResultFail;
}

} // namespace

FileSystem::FileSystem(Allocator* allocator)
    : baseDirectory_(nullptr), allocator_(allocator != nullptr ? allocator : &ownedAllocator_),
      scratchPath_(nullptr) {}

FileSystem::~FileSystem() {
    FreeUnits(&baseDirectory_);
    FreeUnits(&scratchPath_);
}

WCHAR* FileSystem::AllocateUnits(DWORD count) {
    void* block = nullptr;
    if (allocator_->Allocate(&block, static_cast<size_t>(count) * sizeof(WCHAR)) != kResultOk) {
        return nullptr;
    }
    return static_cast<WCHAR*>(block);
}

void FileSystem::FreeUnits(WCHAR** text) {
    if (*text != nullptr) allocator_->Free(*text);
    *text = nullptr;
}

int FileSystem::SetBaseDirectory(LPCWSTR path) {
    WCHAR* base = nullptr;
    if (path == nullptr) {
        base = AllocateUnits(kModulePathCapacity);
        if (base == nullptr) return kResultNoMemory;
        GetModuleFileNameW(nullptr, base, kModulePathCapacity);
        base[kModulePathCapacity - 1] = 0;
        DWORD lastSeparator = 0;
        if (StrFindLastUnit(base, kPathSeparator, &lastSeparator) == kResultOk)
            base[lastSeparator] = 0;
    } else {
        const DWORD capacity = LengthOf(path) + 1;
        base = AllocateUnits(capacity);
        if (base == nullptr) return kResultNoMemory;
        StrCopy(base, capacity, path);
    }
    FreeUnits(&baseDirectory_);
    baseDirectory_ = base;
    return kResultOk;
}

int FileSystem::GetBaseDirectory(LPWSTR buffer, DWORD capacity) {
    if (buffer == nullptr || capacity == 0) return kResultNullArgument;
    buffer[0] = 0;
    if (baseDirectory_ == nullptr) return kResultOk;
    return StrCopy(buffer, capacity, baseDirectory_);
}

int FileSystem::BuildFullPath(LPCWSTR path) {
    if (path == nullptr) return kResultNullArgument;
    FreeUnits(&scratchPath_);
    const DWORD baseLength = baseDirectory_ == nullptr ? 0 : LengthOf(baseDirectory_);
    // The path, a separator that may be added, the terminator and the base.
    const DWORD capacity = LengthOf(path) + 2 + baseLength;
    scratchPath_ = AllocateUnits(capacity);
    if (scratchPath_ == nullptr) return kResultNoMemory;
    scratchPath_[0] = 0;
    const bool standsAlone = PathNamesDrive(path);
    if (baseDirectory_ != nullptr && !standsAlone) StrCopy(scratchPath_, capacity, baseDirectory_);
    const bool baseIsRoot = baseLength == 1 && scratchPath_[0] == kPathSeparator;
    if (!IsPathSeparator(path[0]) && !baseIsRoot && !standsAlone) {
        const WCHAR separator[] = {kPathSeparator, 0};
        StrAppend(scratchPath_, capacity, separator);
    }
    StrAppend(scratchPath_, capacity, path);
    PathUseDeviceSeparators(scratchPath_);
    return kResultOk;
}

int FileSystem::TestKind(LPCWSTR path, DWORD kind) {
    FileSearch* search = nullptr;
    const int opened = OpenSearch(&search, path);
    if (opened != kResultOk) return opened;
    FileSearchEntry entry;
    const int found = NextEntry(search, &entry);
    CloseSearch(search);
    return found == kResultOk && entry.kind == kind ? kResultOk : kResultFail;
}

int FileSystem::IsFile(LPCWSTR path) {
    return TestKind(path, kEntryFile);
}

int FileSystem::IsDirectory(LPCWSTR path) {
    return TestKind(path, kEntryDirectory);
}

int FileSystem::OpenSearch(FileSearch** search, LPCWSTR pattern) {
    if (search == nullptr || pattern == nullptr) return kResultNullArgument;
    *search = nullptr;
    const int built = BuildFullPath(pattern);
    if (built != kResultOk) return built;
    void* block = nullptr;
    if (allocator_->Allocate(&block, sizeof(FileSearch)) != kResultOk) return kResultNoMemory;
    FileSearch* opened = static_cast<FileSearch*>(block);
    opened->find = FindFirstFileW(scratchPath_, &opened->data);
    if (opened->find == INVALID_HANDLE_VALUE) {
        allocator_->Free(opened);
        return kResultFail;
    }
    opened->exhausted = FALSE;
    *search = opened;
    return kResultOk;
}

int FileSystem::NextEntry(FileSearch* search, FileSearchEntry* entry) {
    if (search == nullptr || entry == nullptr) return kResultNullArgument;
    if (search->exhausted) return kResultEnd;
    const WIN32_FIND_DATAW& data = search->data;
    entry->kind = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? kEntryDirectory : kEntryFile;
    StrCopy(entry->name, kEntryNameCapacity, data.cFileName);
    entry->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (!FindNextFileW(search->find, &search->data)) {
        FindClose(search->find);
        search->find = INVALID_HANDLE_VALUE;
        search->exhausted = TRUE;
    }
    return kResultOk;
}

int FileSystem::CloseSearch(FileSearch* search) {
    if (search == nullptr) return kResultNullArgument;
    if (search->find != INVALID_HANDLE_VALUE) FindClose(search->find);
    allocator_->Free(search);
    return kResultOk;
}

int FileSystem::CreateFolder(LPCWSTR path) {
    const int built = BuildFullPath(path);
    if (built != kResultOk) return built;
    return PlatformResult(CreateDirectoryW(scratchPath_, nullptr));
}

int FileSystem::RemoveFolder(LPCWSTR path) {
    const int built = BuildFullPath(path);
    if (built != kResultOk) return built;
    return PlatformResult(RemoveDirectoryW(scratchPath_));
}

int FileSystem::CreateEmptyFile(LPCWSTR path, DWORD mode) {
    const int built = BuildFullPath(path);
    if (built != kResultOk) return built;
    const DWORD disposition = mode == kCreateOrTruncateFile ? CREATE_ALWAYS : CREATE_NEW;
    // Emptying a file never follows a link to another one (creating one is exclusive anyway).
    HANDLE file =
        CreateFileW(scratchPath_, kCreateFileAccess, kCreateFileShare, nullptr, disposition,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kResultFail;
    CloseHandle(file);
    return kResultOk;
}

int FileSystem::RemoveFile(LPCWSTR path) {
    const int built = BuildFullPath(path);
    if (built != kResultOk) return built;
    return PlatformResult(DeleteFileW(scratchPath_));
}

int FileSystem::CopyFileTo(LPCWSTR source, LPCWSTR destination, BOOL failIfExists) {
    if (source == nullptr || destination == nullptr) return kResultNullArgument;
    return PlatformResult(CopyFileW(source, destination, failIfExists));
}

int FileSystem::MoveFileTo(LPCWSTR source, LPCWSTR destination) {
    if (source == nullptr || destination == nullptr) return kResultNullArgument;
    return PlatformResult(MoveFileW(source, destination));
}

int FileSystem::OpenFileStream(LPCWSTR path, FileStream** stream, BOOL readOnly) {
    if (path == nullptr || stream == nullptr) return kResultNullArgument;
    *stream = nullptr;
    const int built = BuildFullPath(path);
    if (built != kResultOk) return built;
    FileStream* opened = new (std::nothrow) FileStream;
    if (opened == nullptr) return kResultNoMemory;
    const int result = opened->Open(scratchPath_, readOnly);
    if (result != kResultOk) {
        delete opened;
        return result;
    }
    *stream = opened;
    return kResultOk;
}

int FileSystem::CloseFileStream(FileStream** stream) {
    if (stream == nullptr || *stream == nullptr) return kResultNo;
    (*stream)->Close();
    delete *stream;
    *stream = nullptr;
    return kResultOk;
}
