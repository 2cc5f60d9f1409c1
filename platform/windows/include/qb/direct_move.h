// The Windows build's side of platform/include/qb/direct_move.h (read that one): no direct
// path here, so every step is copied through the caller's buffer.
#pragma once

#include <windows.h>
#include <winsock2.h>

namespace qb {

inline constexpr DWORD kMovePieceBytes = 64 * 1024;
inline constexpr int kMoveUnavailable = 0;
inline constexpr int kMoveFileFailed = -2;

inline int MoveSocketToFile(SOCKET, HANDLE, DWORD, DWORD* moved) {
    if (moved != nullptr) *moved = 0;
    return kMoveUnavailable;
}

} // namespace qb
