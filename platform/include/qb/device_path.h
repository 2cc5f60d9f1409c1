// Device paths and the host file system: how the Win32 file functions of platform/kernel
// find a file, for other platform code that must agree with them (the folder browser).
//
// A device path uses "\" or "/" between components; one that does not begin with a
// separator is taken from the root, as on the device, which has no current directory.
// The root is "/" unless QUILLBROOK_ROOT=DIR puts it in DIR (a sandbox device for tests).
// "\My Documents" is the user's documents folder (XDG_DOCUMENTS_DIR, else the
// "XDG_DOCUMENTS_DIR" line of $XDG_CONFIG_HOME/user-dirs.dirs, else $HOME/Documents) when the
// root is "/", and DIR/My Documents under QUILLBROOK_ROOT; it is created on first use.
// "." and ".." components are resolved by the text alone and never climb above the root.
// Names on disk are UTF-8. The environment is read at every call.
#pragma once

#include <string>

#include "win/types.h"

namespace qb::kernel {

enum class PathUse {
    kName,    // a file or directory name: "*" and "?" are invalid characters
    kPattern, // a search pattern: "*" and "?" are allowed in the last component
};

// Maps a device path to a host path. On failure returns false and gives the Win32 error:
// ERROR_PATH_NOT_FOUND for a null or empty path, ERROR_INVALID_NAME for a character Windows
// refuses in names (< > : " | control characters, a lone surrogate; * ? outside patterns),
// ERROR_FILENAME_EXCED_RANGE for a path over 32767 units.
bool MapDevicePath(LPCWSTR devicePath, PathUse use, std::string* hostPath, DWORD* error);

// Maps an absolute host path back to its device path ("\" between components). Fails with
// ERROR_PATH_NOT_FOUND for a path outside the root, ERROR_INVALID_NAME for a component that
// a device path can't spell (one containing "\").
bool MapHostPath(const std::string& hostPath, std::u16string* devicePath, DWORD* error);

// The host directory that stands for "\".
std::string DeviceRoot();

} // namespace qb::kernel
