// From a parsed script to the resource table: every statement encoded, image files read
// and split, each (type, id, language) present once.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/rc/rc_diagnostic.h"
#include "tools/rc/rc_encode.h"
#include "tools/rc/rc_model.h"
#include "tools/rc/rc_source.h"

namespace qb::rc {

struct BinaryResource {
    uint16_t type = 0;
    uint16_t id = 0;
    uint16_t language = 0;
    Bytes bytes;
};

// Image files are found through the loader, relative to the script that names them.
bool compileResources(const ResourceScript& script, const FileLoader& loader,
                      std::vector<BinaryResource>* out, Diagnostic* error);

} // namespace qb::rc
