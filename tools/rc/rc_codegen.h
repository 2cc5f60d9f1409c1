// Writes the compiled resources as a C++ source that registers them with the platform's
// resource table (platform/resources/resource_table.h) during static initialisation.
#pragma once

#include <string>
#include <vector>

#include "tools/rc/rc_compile.h"

namespace qb::rc {

std::string generateSource(const std::vector<BinaryResource>& resources,
                           const std::string& scriptName);

} // namespace qb::rc
