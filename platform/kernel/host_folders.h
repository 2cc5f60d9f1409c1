// The user's folders on the host, where the XDG conventions put them: what the device
// paths ("\My Documents") and the registry file are placed under.
#pragma once

#include <string>
#include <sys/types.h>

namespace qb::kernel {

// $HOME when it is absolute, else the password entry's; "" when neither says.
std::string HomeDirectory();
// $XDG_CONFIG_HOME when it is absolute, else home + "/.config"; "" without a home.
std::string ConfigHome(const std::string& home);
// mkdir -p, new folders with the given mode; true when the folder exists afterwards.
bool MakeDirectories(const std::string& path, mode_t mode);

} // namespace qb::kernel
