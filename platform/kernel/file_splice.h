// The file side of qb::MoveSocketToFile (qb/direct_move.h): bytes waiting in a pipe go into
// a file handle's file without passing through the program's memory (splice).
#pragma once

#include <cstddef>

#include "win/types.h"

namespace qb::kernel {

// Whether file is a handle open for writing on a regular file that does not append: the
// files splice can write into at the handle's position.
bool AcceptsSplice(HANDLE file);

// Moves length bytes waiting in the pipe's reading end into the file at the handle's
// position, after the bytes the handle holds back. TRUE; FALSE with the last error set
// (ERROR_DISK_FULL for a full device) and *done the bytes that reached the file.
BOOL SpliceIntoFile(HANDLE file, int pipeOut, size_t length, size_t* done);

} // namespace qb::kernel
