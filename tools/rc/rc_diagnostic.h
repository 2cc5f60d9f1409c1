// The one error a compilation stops at: where it was found and what was wrong.
#pragma once

#include <string>

namespace qb::rc {

struct Diagnostic {
    std::string file;
    int line = 0;
    std::string message;

    // "file:line: error: message", the form editors and build logs recognise.
    std::string format() const;
};

} // namespace qb::rc
