// TempDir and the file helpers, over POSIX calls.
#include "tests/support/temp_dir.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::test {
namespace {

constexpr int kMaxOpenFolders = 32; // descriptors nftw may hold while walking

int openUp(const char* path, const struct stat*, int type, FTW*) {
    if (type == FTW_D || type == FTW_DNR) ::chmod(path, 0700);
    return 0;
}

int removeOne(const char* path, const struct stat*, int, FTW*) {
    ::remove(path);
    return 0;
}

std::string tempRoot() {
    const char* dir = std::getenv("TMPDIR");
    return dir != nullptr && dir[0] != '\0' ? dir : "/tmp";
}

} // namespace

bool makeDirectories(const std::string& path) {
    if (path.empty()) return false;
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0755);
    }
    struct stat info {};
    return ::mkdir(path.c_str(), 0755) == 0 ||
           (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
}

bool writeFile(const std::string& path, std::string_view bytes) {
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) makeDirectories(path.substr(0, slash));
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    return ::close(fd) == 0 && done == bytes.size();
}

std::optional<std::string> readFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string content;
    char chunk[16384];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        content.append(chunk, size_t(n));
    }
    ::close(fd);
    return content;
}

bool removeTree(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT;
    if (S_ISDIR(info.st_mode)) {
        // Folders a test made unreadable are opened up first, so that their files go too.
        ::nftw(path.c_str(), openUp, kMaxOpenFolders, FTW_PHYS);
        ::nftw(path.c_str(), removeOne, kMaxOpenFolders, FTW_DEPTH | FTW_PHYS);
    } else {
        ::unlink(path.c_str());
    }
    return ::lstat(path.c_str(), &info) != 0;
}

TempDir::TempDir(std::string_view prefix) {
    std::string pattern = tempRoot() + "/" + std::string(prefix) + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
}

TempDir::~TempDir() {
    if (valid()) removeTree(path_);
}

TempDir::TempDir(TempDir&& other) noexcept : path_(std::exchange(other.path_, {})) {}

TempDir& TempDir::operator=(TempDir&& other) noexcept {
    if (this != &other) {
        if (valid()) removeTree(path_);
        path_ = std::exchange(other.path_, {});
    }
    return *this;
}

std::string TempDir::file(std::string_view relative) const {
    return path_ + "/" + std::string(relative);
}

bool TempDir::write(std::string_view relative, std::string_view bytes) const {
    return valid() && writeFile(file(relative), bytes);
}

std::optional<std::string> TempDir::read(std::string_view relative) const {
    if (!valid()) return std::nullopt;
    return readFile(file(relative));
}

} // namespace qb::test
