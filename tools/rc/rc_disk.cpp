#include "tools/rc/rc_disk.h"

#include <fstream>
#include <iterator>
#include <utility>

namespace qb::rc {
namespace {

bool isAbsolute(const std::string& path) {
    return !path.empty() &&
           (path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':'));
}

std::string folderOf(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

} // namespace

bool readWholeFile(const std::string& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

FileLoader diskLoader(std::vector<std::string> includeDirs) {
    return [dirs = std::move(includeDirs)](const std::string& from, const std::string& name,
                                           SourceFile* out) {
        std::vector<std::string> candidates;
        if (isAbsolute(name)) {
            candidates.push_back(name);
        } else {
            candidates.push_back(folderOf(from) + "/" + name);
            for (const std::string& dir : dirs) candidates.push_back(dir + "/" + name);
        }
        for (const std::string& path : candidates) {
            if (readWholeFile(path, &out->bytes)) {
                out->path = path;
                return true;
            }
        }
        return false;
    };
}

} // namespace qb::rc
