// Windows' share modes between the open file handles of this process. Every handle records
// what it does with its file (read, write, delete: the same bits as FILE_SHARE_*) and what
// it lets others do; an open that would break either side fails with
// ERROR_SHARING_VIOLATION. The table is keyed by the file's device and inode, so every
// name of one file counts.
#pragma once

#include <mutex>
#include <sys/types.h>

#include <windows.h>

namespace qb::kernel {

struct FileIdentity {
    dev_t device;
    ino_t inode;
};

inline constexpr DWORD kUseRead = FILE_SHARE_READ;
inline constexpr DWORD kUseWrite = FILE_SHARE_WRITE;
inline constexpr DWORD kUseDelete = FILE_SHARE_DELETE;

// The lock to hold across a check and the change it allows (open and register, or
// delete and rename), so that no other thread of the process slips in between.
std::mutex& SharingLock();

// With SharingLock held: false when the use conflicts with an existing holder.
bool MayOpen(const FileIdentity& file, DWORD uses, DWORD share);
// With SharingLock held: false when an existing holder does not share deletion (delete,
// rename). A file nobody holds may always be deleted.
bool MayDelete(const FileIdentity& file);

// With SharingLock held; returns false without memory.
bool RegisterHolder(const FileIdentity& file, DWORD uses, DWORD share);
// Takes the lock itself.
void UnregisterHolder(const FileIdentity& file, DWORD uses, DWORD share);

} // namespace qb::kernel
