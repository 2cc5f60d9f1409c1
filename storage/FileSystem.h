// FileSystem: the storage questions and changes the downloader and the folder browser need,
// with every path taken relative to an optional base directory.
//
// Full path of a caller's path P (every operation except Copy and Move): the base directory
// (if any), then "\" unless P starts with "\" or "/" or the base is exactly "\", then P; every
// "/" becomes "\". Without a base "a" is "\a"; with the base "\Temp", "a" and "\a" are both
// "\Temp\a". The full path is built in a scratch buffer that lives until the next build.
//
// Results: 1 success or yes; 0 nothing more to do; -1 no, or the platform refused; -2 no
// memory; -4 a null argument. Every buffer comes from the object's allocator.
// Table order: the 15 operations as declared below.
#pragma once

#include <cstdint>

#include <windows.h>

#include "storage/FileStream.h"
#include "transport/Allocator.h"

// Create-file modes.
constexpr DWORD kCreateNewFile = 1;        // a new empty file; fails when the file exists
constexpr DWORD kCreateOrTruncateFile = 2; // a new file, or an existing one cut to length 0

// Entry kinds of a search entry.
constexpr DWORD kEntryFile = 1;
constexpr DWORD kEntryDirectory = 2;

constexpr DWORD kEntryNameCapacity = MAX_PATH; // units, terminator included
constexpr DWORD kModulePathCapacity = 4096;    // units for the program's own path

// One entry of a directory enumeration, filled by NextEntry.
struct FileSearchEntry {
    WCHAR name[kEntryNameCapacity];
    DWORD kind; // kEntryFile or kEntryDirectory
    uint64_t size;
};

// An open enumeration; opaque to callers, from OpenSearch to CloseSearch.
struct FileSearch;

class FileSystem final {
public:
    // allocator: where every buffer of this object comes from (not owned); null gives the
    // object a heap allocator of its own.
    explicit FileSystem(Allocator* allocator = nullptr);
    ~FileSystem();
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    // 0: base := a copy of path; null: the folder of the running program (its path up to,
    // without, the last "\"). 1; -2 no memory.
    virtual int SetBaseDirectory(LPCWSTR path);
    // 1: the base into buffer (empty without one). 1; 0 truncated; -4 null buffer or
    // capacity 0.
    virtual int GetBaseDirectory(LPWSTR buffer, DWORD capacity);
    // 2 / 3: 1 when the first entry matching the full path is a file (a directory);
    // -1 otherwise or when nothing matches; -2 no memory; -4 null path.
    virtual int IsFile(LPCWSTR path);
    virtual int IsDirectory(LPCWSTR path);
    // 4: starts enumerating the entries that match the full path of pattern ("*" and "?"
    // in its last component). 1 and *search; -1 nothing matches; -2 no memory; -4 null.
    virtual int OpenSearch(FileSearch** search, LPCWSTR pattern);
    // 5: 1 and the next entry; 0 when every entry has been given; -4 null argument.
    virtual int NextEntry(FileSearch* search, FileSearchEntry* entry);
    // 6: ends the enumeration and frees search. 1; -4 null.
    virtual int CloseSearch(FileSearch* search);
    // 7: one directory level (no parents are made). 1; -1; -2; -4.
    virtual int CreateFolder(LPCWSTR path);
    // 8: removes an empty directory. 1; -1; -2; -4.
    virtual int RemoveFolder(LPCWSTR path);
    // 9: mode kCreateNewFile or kCreateOrTruncateFile (any other counts as new); the file is
    // created and closed again. 1; -1; -2; -4.
    virtual int CreateEmptyFile(LPCWSTR path, DWORD mode);
    // 10: deletes a file. 1; -1; -2; -4.
    virtual int RemoveFile(LPCWSTR path);
    // 11 / 12: on the caller's paths as given, without the base directory. 1; -1; -4.
    virtual int CopyFileTo(LPCWSTR source, LPCWSTR destination, BOOL failIfExists);
    virtual int MoveFileTo(LPCWSTR source, LPCWSTR destination);
    // 13: a new FileStream opened on the full path (existing files only). 1 and *stream;
    // the open's result (-1) when it fails; -2 no memory; -4 null path or stream.
    virtual int OpenFileStream(LPCWSTR path, FileStream** stream, BOOL readOnly);
    // 14: closes and destroys *stream and sets it to null. 1; 0 for a null pointer (or a
    // null stream).
    virtual int CloseFileStream(FileStream** stream);

private:
    int BuildFullPath(LPCWSTR path);
    int TestKind(LPCWSTR path, DWORD kind);
    WCHAR* AllocateUnits(DWORD count);
    void FreeUnits(WCHAR** text);

    WCHAR* baseDirectory_;
    HeapAllocator ownedAllocator_;
    Allocator* allocator_;
    WCHAR* scratchPath_;
};
