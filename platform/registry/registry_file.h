// Where the registry file lives and how it is read and changed. Readers open the file
// without a lock: every change replaces it by rename, so any open sees one whole version.
// Changes hold an exclusive flock on "<file>.lock" (a file that is never replaced) while
// they read the current version, apply themselves and write the next one (temporary
// file, fsync, rename, fsync of the folder).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/registry/registry_document.h"

namespace qb::registry {

// QUILLBROOK_REGISTRY, else $XDG_CONFIG_HOME/quillbrook/registry.reg, else
// $HOME/.config/quillbrook/registry.reg; "" when there is no home either.
std::string RegistryFilePath();

// The current document; a missing file is an empty registry. Returns ERROR_SUCCESS, or
// the Win32 error of a file that exists but can't be read. The file is parsed once per
// version: while it is the same file (device, inode, size, modification and change times)
// every call shares the document read last.
LONG LoadRegistry(std::shared_ptr<const RegistryDocument>* document);

// Runs change on the current document under the lock. When it returns ERROR_SUCCESS and
// sets *changed, the document is written back; the result is change's, or the error of
// the write (ERROR_ACCESS_DENIED, ERROR_CANTWRITE, ERROR_NOT_ENOUGH_MEMORY). When given,
// unchanged is asked first, under the lock, about the document this process read last if
// the file is still that version: true (change would change nothing) ends the update with
// ERROR_SUCCESS without reading and parsing the file again.
LONG UpdateRegistry(const std::function<LONG(RegistryDocument&, bool* changed)>& change,
                    const std::function<bool(const RegistryDocument&)>& unchanged = nullptr);

} // namespace qb::registry
