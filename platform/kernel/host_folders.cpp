#include "platform/kernel/host_folders.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qb::kernel {
namespace {

constexpr size_t kPasswdBufferBytes = 16384;

} // namespace

std::string HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return home;
    struct passwd entry;
    struct passwd* found = nullptr;
    std::vector<char> buffer(kPasswdBufferBytes);
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        return found->pw_dir;
    }
    return {};
}

std::string ConfigHome(const std::string& home) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') return config;
    return home.empty() ? std::string() : home + "/.config";
}

bool MakeDirectories(const std::string& path, mode_t mode) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(path.substr(0, slash), mode)) {
        return false;
    }
    return mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
}

} // namespace qb::kernel
