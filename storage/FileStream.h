// FileStream: the openable stream over one file of the device's file system. The download
// keeps one for the whole run and opens it once per download; it only ever opens files that
// already exist (FileSystem creates and truncates them).
//
// Table: the eight Stream slots, then Open (8) and CloseFile (9). Close (7) is CloseFile.
#pragma once

#include <cstdint>

#include <windows.h>

#include "base/WString.h"
#include "transport/Stream.h"

class FileStream final : public OpenableStream {
public:
    FileStream();
    ~FileStream(); // closes the file
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    // Slot 0: the last component of the path last opened (after its last "\" or "/").
    // 1 copied; 0 truncated (terminated); -1 not open; -4 null buffer or capacity 0.
    int GetName(LPWSTR buffer, DWORD capacity) override;
    // Slot 1: 1 and the file's size; -1 not open, null size, or the platform failed.
    int GetSize(uint64_t* size) override;
    // Slot 2: origin kSeekBegin / kSeekCurrent / kSeekEnd. 1 and *position (optional);
    // -1 not open, another origin (the position does not move), or the platform refused the
    // target; -4 null offset.
    int Seek(const int64_t* offset, uint64_t* position, DWORD origin) override;
    // Slot 3: one platform read. 1 with *count = bytes read (0 at the end of the file);
    // -1 not open (*count = 0) or the platform failed (*count as it reported); -4 null
    // buffer or count.
    int Read(void* buffer, DWORD* count) override;
    // Slot 4: one platform write. 1 with *count = bytes written: fewer than wanted, or 0
    // (a read-only file), is how a failed write shows; -1 not open (*count = 0); -4 null
    // data or count.
    int Write(const void* data, DWORD* count) override;
    // Slot 5: -4 null record; -1 not open; else the shared Stream implementation.
    int GetAccessor(StreamAccessor* record) override;
    // Slot 7: CloseFile through the table.
    int Close() override;
    // Slot 8: closes the current file, then opens an existing file (never creates one),
    // for reading and writing, or reading only when readOnly is non-zero; others may read
    // it meanwhile. 1 opened; -1 refused (the stream stays closed).
    int Open(LPCWSTR path, BOOL readOnly) override;
    // Slot 9: 1 closed; 0 nothing was open; -1 closed, but the bytes still held back could
    // not be stored (a full device): the file lacks them.
    int CloseFile() override;

    // Commits what was written to the device (FlushFileBuffers), so that a failure the
    // device reports late shows here and not only when the file is closed. Not a table slot.
    // 1 committed; -1 not open, or the platform failed (a file opened read-only included).
    int Flush();

    BOOL IsOpen() const { return open_; }
    // The platform's handle of the open file (INVALID_HANDLE_VALUE while none is), for a
    // copy that moves bytes into it directly (HttpClient::ReadToFile). Not a table slot.
    HANDLE Handle() const { return handle_; }

private:
    HANDLE handle_;
    BOOL open_;
    WString name_;
};
