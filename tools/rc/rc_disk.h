// Reading the script, its headers and image files from the disk.
#pragma once

#include <string>
#include <vector>

#include "tools/rc/rc_source.h"

namespace qb::rc {

// The whole file; false when it cannot be read.
bool readWholeFile(const std::string& path, std::string* bytes);

// Finds a name next to the file that names it, then in each of the include folders.
FileLoader diskLoader(std::vector<std::string> includeDirs);

} // namespace qb::rc
