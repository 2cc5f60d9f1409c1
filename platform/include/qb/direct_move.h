// Moving a socket's bytes straight into a file: an extension of ours beside the Win32 subset.
// A copy loop offers every step to MoveSocketToFile first and copies through its own buffer
// when the answer is kMoveUnavailable.
//
// On Linux the bytes of a plain (not secure) stream socket go into a regular file opened for
// writing (not appending) through a pipe of the calling thread (splice), without passing
// through the program's memory. A step moves what the connection has, up to capacity and
// to one pipe's worth (kMovePieceBytes); it waits for bytes as recv does (the socket's
// receive timeout, woken by a shutdown from another thread), and writes after the bytes the
// file handle holds back. Bytes the socket layer has already read ahead of its callers (a
// response head's reader leaves the body's first bytes there) make the step unavailable
// until a receive has taken them. The Windows build's header of the same name answers every
// step unavailable: there the copy always goes through the buffer.
#pragma once

#include <windows.h>
#include <winsock2.h>

namespace qb {

// The most one step moves: the pipe's capacity.
inline constexpr DWORD kMovePieceBytes = 64 * 1024;

// Results beside 1 (*moved bytes are in the file; 0 at the peer's orderly end) and -1 (the
// socket failed or timed out: WSAGetLastError, *moved 0).
inline constexpr int kMoveUnavailable = 0; // nothing moved: copy this step through a buffer
inline constexpr int kMoveFileFailed = -2; // the file refused them: GetLastError; *moved reached it

// Moves up to capacity bytes from socket into file at the file's position.
int MoveSocketToFile(SOCKET socket, HANDLE file, DWORD capacity, DWORD* moved);

} // namespace qb
