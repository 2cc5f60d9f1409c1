#include "tools/rc/rc_diagnostic.h"

namespace qb::rc {

std::string Diagnostic::format() const {
    std::string where = file.empty() ? std::string("qb_rc") : file;
    if (line > 0) where += ":" + std::to_string(line);
    return where + ": error: " + message;
}

} // namespace qb::rc
