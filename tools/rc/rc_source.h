// How the compiler reaches files: the script names headers and image files relative to
// itself; the caller decides where they are read from (the disk, or nothing for a fuzzer).
#pragma once

#include <functional>
#include <string>

namespace qb::rc {

struct SourceFile {
    std::string path;  // as messages name it and as later look-ups are relative to
    std::string bytes; // the whole file
};

// Finds `name` as named from the file `from`; false when there is no such file.
using FileLoader =
    std::function<bool(const std::string& from, const std::string& name, SourceFile* out)>;

} // namespace qb::rc
