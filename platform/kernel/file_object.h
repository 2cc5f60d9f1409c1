// One open file handle: a descriptor with its own position, what the handle may do with
// the file and what it shares with others. The operations are serialised per handle, so
// that a position change and the transfer that depends on it stay together; a write-behind
// buffer would live here, filled by Write and emptied before Read, Seek, Size, SetEnd,
// Flush and the close.
#pragma once

#include <cstdint>
#include <mutex>

#include "file_sharing.h"
#include "handle_table.h"

namespace qb::kernel {

class FileObject final : public KernelObject {
public:
    // Takes over the descriptor and the holder entry registered for the identity.
    FileObject(int fd, DWORD uses, DWORD share, FileIdentity identity);
    ~FileObject() override;

    // All or up to the end of the file; FALSE with the error and the count done so far.
    BOOL Read(void* buffer, DWORD wanted, DWORD* done);
    // All or FALSE, with the count written before the failure.
    BOOL Write(const void* data, DWORD wanted, DWORD* done);
    // FILE_BEGIN, FILE_CURRENT or FILE_END; FALSE (position unchanged) for a negative
    // result (ERROR_NEGATIVE_SEEK) or one beyond limit (ERROR_INVALID_PARAMETER).
    BOOL Seek(int64_t distance, DWORD method, uint64_t limit, uint64_t* position);
    BOOL Size(uint64_t* size);
    BOOL SetEnd();
    BOOL Flush();

private:
    std::mutex mutex_;
    const int fd_;
    const DWORD uses_;
    const DWORD share_;
    const FileIdentity identity_;
};

// Ignores SIGXFSZ for the whole process, once, so that a write beyond the file-size limit
// fails (EFBIG) instead of ending the process.
void IgnoreFileSizeSignal();

} // namespace qb::kernel
