// Whether a stored file has the digest a Checksum asks for. The file is read back in
// pieces of kDigestPieceBytes; between two pieces a stop may end the check.
#pragma once

#include <atomic>

#include <windows.h>

#include "base/Checksum.h"

constexpr DWORD kDigestPieceBytes = 64 * 1024;

// 1 the file's digest is checksum's; 0 it is another; kResultCancelled when *stop became
// true (stop may be null); kResultFail when the file can't be read or hashed, or checksum
// names no digest; kResultNoMemory without a buffer for the pieces.
int FileMatchesChecksum(LPCWSTR path, const Checksum& checksum, const std::atomic<bool>* stop);
