// Parses a resource script (the subset Quillbrook uses) into a ResourceScript. It reads
// headers through the loader but never the image files, so it can run on any text alone:
//
//     qb::rc::ResourceScript script;
//     qb::rc::Diagnostic error;
//     bool ok = qb::rc::parseResourceScript("in.rc", text, nullptr, &script, &error);
//
// Anything outside the subset is an error naming the file and line; it never crashes.
#pragma once

#include <string>
#include <string_view>

#include "tools/rc/rc_diagnostic.h"
#include "tools/rc/rc_model.h"
#include "tools/rc/rc_source.h"

namespace qb::rc {

// Resources before any LANGUAGE statement: US English, as the Windows resource compiler.
inline constexpr uint16_t kDefaultLanguage = 0x0409;

bool parseResourceScript(const std::string& path, std::string_view text, const FileLoader& loader,
                         ResourceScript* script, Diagnostic* error);

} // namespace qb::rc
