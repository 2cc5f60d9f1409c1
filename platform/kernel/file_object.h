// One open file handle: a descriptor with its own position, what the handle may do with
// the file and what it shares with others. The operations are serialised per handle, so
// that a position change and the transfer that depends on it stay together.
//
// Write-behind: small writes to a regular file are collected in the handle's buffer and
// reach the file in one system write when the buffer is full, and before anything that
// looks at the file: Read, Seek, Size, SetEnd, Flush and Close on the handle, and a read,
// size, seek or open through any other handle of the process on the same file. A write
// that has to empty the buffer and can't fails itself, with the error of the failed
// system write (ERROR_DISK_FULL for a full device); so does the Flush or Close that finds
// the buffer unwritable. Such a failure drops the bytes that could not be written. Other
// processes, and the directory calls (sizes in FindFirstFileW), see the file as written so
// far: at most kWriteBehindBytes behind.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/kernel/file_sharing.h"
#include "platform/kernel/handle_table.h"

namespace qb::kernel {

// What a handle may keep back; writes of at least this size go to the file directly.
inline constexpr size_t kWriteBehindBytes = 256 * 1024;

class FileObject final : public KernelObject {
public:
    // Takes over the descriptor and the holder entry registered for the identity. A handle
    // with writeBehind false writes every call through at once (write-through handles,
    // devices, pipes).
    FileObject(int fd, DWORD uses, DWORD share, FileIdentity identity, bool writeBehind);
    ~FileObject() override;

    // Makes the object known to the other handles of its file (and to the flush at exit),
    // before the handle is handed out. Until then, and when that fails for want of memory,
    // it writes through.
    void Register(const std::shared_ptr<FileObject>& self);

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
    // Whether bytes may be spliced into the file at this handle's position: open for
    // writing on a regular file that does not append (asked once, then remembered).
    bool AcceptsSplice();
    // Moves length bytes waiting in the pipe's reading end into the file, after the held
    // bytes. FALSE with the error and the count moved before the failure.
    BOOL WriteFromPipe(int pipeOut, size_t length, size_t* done);
    // CloseHandle: writes what is held back; FALSE when that failed.
    BOOL Close() override;

    // Writes what the other handles of the file (of every file for a null identity) hold
    // back; self may be null. Their failures are kept for their own next calls.
    static void FlushOthers(const FileIdentity* identity, const FileObject* self);

private:
    // With mutex_ held (or in the destructor): writes the held bytes, closes the descriptor
    // and lets the sharing and the registration go. FALSE when the held bytes failed.
    BOOL ReleaseLocked();
    // With mutex_ held: writes the held bytes. FALSE with the last error set on failure.
    BOOL WritePendingLocked();
    // For a flush asked for from elsewhere: a failure is kept for this handle's next call.
    void FlushForOthers();
    // With mutex_ held: the failure another handle's flush met, reported once.
    BOOL TakeDeferredLocked();
    // Before any call: the bytes other handles of the same file hold back go first, so
    // that this handle sees them and its own changes come after them.
    void FlushSharers() {
        if (sharesFile_.load(std::memory_order_relaxed)) FlushOthers(&identity_, this);
    }
    // With mutex_ held: one write loop straight to the descriptor.
    BOOL WriteThrough(const char* bytes, size_t length, DWORD* done);

    std::mutex mutex_; // taken by every call
    const int fd_;
    const DWORD uses_;
    const DWORD share_;
    const FileIdentity identity_;
    const bool wantsWriteBehind_;
    bool writeBehind_ = false; // set by Register, before the handle is handed out
    // Another handle of this process has had the same file open (stays set).
    std::atomic<bool> sharesFile_{false};
    bool released_ = false; // by Close: every later call fails as on a closed handle
    int spliceable_ = -1;   // AcceptsSplice's answer once asked: 1 or 0
    std::unique_ptr<char[]> pending_;
    size_t pendingBytes_ = 0;
    DWORD deferredError_ = ERROR_SUCCESS;
};

// Once per process, before the first file is opened: ignores SIGXFSZ, so that a write
// beyond the file-size limit fails (EFBIG) instead of ending the process, and arranges for
// the bytes every handle still holds back to be written when the process exits.
void PrepareProcessForFiles();

} // namespace qb::kernel
