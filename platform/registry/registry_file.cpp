#include "platform/registry/registry_file.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <windows.h>

#include "platform/kernel/host_folders.h"
#include "platform/registry/registry_text.h"

namespace qb::registry {
namespace {

// A larger file is read only this far, and never rewritten (that would lose its rest).
constexpr size_t kMaxRegistryFileBytes = 16 * 1024 * 1024;
constexpr size_t kReadChunkBytes = 64 * 1024;
// The registry's folder is the user's alone.
constexpr mode_t kNewFolderMode = 0700;
constexpr mode_t kNewFileMode = 0600;
constexpr const char* kLockSuffix = ".lock";
constexpr const char* kDamagedSuffix = ".damaged";
constexpr const char* kTemporarySuffix = ".XXXXXX";

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a symbolic link at path names, so that a rename replaces the file, not the link.
std::string ResolvedPath(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr) return path;
    std::string resolved = real;
    std::free(real);
    return resolved;
}

LONG ErrorOf(int error) {
    if (error == EACCES || error == EPERM || error == EROFS) return ERROR_ACCESS_DENIED;
    if (error == ENOMEM) return ERROR_NOT_ENOUGH_MEMORY;
    return ERROR_CANTWRITE;
}

// Which version of the file a document was read from.
struct FileVersion {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{}, changed{};
    bool operator==(const FileVersion& other) const {
        return exists == other.exists && device == other.device && inode == other.inode &&
               size == other.size && modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

// Opens the file for reading: the descriptor (-1 when it does not exist) and its version;
// ERROR_SUCCESS or the error of a file that can't be opened.
LONG OpenForReading(const std::string& path, int* fd, FileVersion* version) {
    *version = FileVersion{};
    *fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (*fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return ERROR_SUCCESS;
        return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_CANTREAD;
    }
    struct stat info;
    if (fstat(*fd, &info) == 0) {
        version->exists = true;
        version->device = info.st_dev;
        version->inode = info.st_ino;
        version->size = info.st_size;
        version->modified = info.st_mtim;
        version->changed = info.st_ctim;
    }
    return ERROR_SUCCESS;
}

// Reads the whole file from fd (none: empty bytes) and closes it.
LONG ReadOpened(int fd, std::string* bytes, bool* complete) {
    *complete = true;
    if (fd < 0) return ERROR_SUCCESS;
    char chunk[kReadChunkBytes];
    LONG result = ERROR_SUCCESS;
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            result = ERROR_CANTREAD;
            break;
        }
        if (got == 0) break;
        if (bytes->size() + size_t(got) > kMaxRegistryFileBytes) {
            bytes->append(chunk, kMaxRegistryFileBytes - bytes->size());
            *complete = false;
            break;
        }
        bytes->append(chunk, size_t(got));
    }
    close(fd);
    return result;
}

// Reads the whole file; ERROR_SUCCESS with empty bytes when it does not exist.
LONG ReadFile(const std::string& path, std::string* bytes, bool* complete) {
    int fd = -1;
    FileVersion version;
    const LONG opened = OpenForReading(path, &fd, &version);
    if (opened != ERROR_SUCCESS) return opened;
    return ReadOpened(fd, bytes, complete);
}

// The document of the file version read last, shared by the readers of this process.
struct ReadCache {
    std::mutex mutex;
    std::string path;
    FileVersion version;
    std::shared_ptr<const RegistryDocument> document;
};

ReadCache& Cache() {
    static ReadCache& instance = *new ReadCache; // never destroyed: used until the exit
    return instance;
}

// The document just written is the next reader's: it is not read and parsed again.
void RememberWritten(const std::string& chosen, const std::string& path,
                     RegistryDocument document) {
    int fd = -1;
    FileVersion version;
    if (OpenForReading(path, &fd, &version) != ERROR_SUCCESS || fd < 0) return;
    close(fd);
    auto written = std::make_shared<const RegistryDocument>(std::move(document));
    ReadCache& cache = Cache();
    std::lock_guard lock(cache.mutex);
    cache.path = chosen;
    cache.version = version;
    cache.document = std::move(written);
}

// The document this process read or wrote last, when the file at path is still that
// version; null otherwise.
std::shared_ptr<const RegistryDocument> CurrentCached(const std::string& chosen,
                                                      const std::string& path) {
    int fd = -1;
    FileVersion version;
    if (OpenForReading(path, &fd, &version) != ERROR_SUCCESS) return nullptr;
    if (fd >= 0) close(fd);
    ReadCache& cache = Cache();
    std::lock_guard lock(cache.mutex);
    if (cache.document == nullptr || !version.exists || cache.path != chosen ||
        !(cache.version == version)) {
        return nullptr;
    }
    return cache.document;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += size_t(put);
    }
    return true;
}

// A rewrite under a shell's file-size limit must fail with an error code, not end the
// process: the registry is written at start-up, before any file call has set this up.
void IgnoreFileSizeSignal() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

// Replaces the file at path with bytes: temporary file, fsync, rename, fsync of the folder.
LONG ReplaceFile(const std::string& path, const std::string& bytes, mode_t mode) {
    IgnoreFileSizeSignal();
    std::string temporary = path + kTemporarySuffix;
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return ErrorOf(errno);
    bool written = fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && fsync(fd) == 0;
    const int writeError = errno;
    written = close(fd) == 0 && written;
    if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = written ? errno : writeError;
        unlink(temporary.c_str());
        return ErrorOf(error);
    }
    const int dir = open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return ERROR_SUCCESS;
}

// True for the name mkostemp gives a temporary version of base: base, ".", six letters
// or digits.
bool IsTemporaryOf(const std::string& name, const std::string& base) {
    const size_t randomLetters = std::strlen(kTemporarySuffix) - 1;
    if (name.size() != base.size() + 1 + randomLetters || name.compare(0, base.size(), base) != 0 ||
        name[base.size()] != '.') {
        return false;
    }
    for (size_t i = base.size() + 1; i < name.size(); ++i) {
        const char c = name[i];
        const bool letterOrDigit =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit) return false;
    }
    return true;
}

// Temporary versions are only made while the lock is held, so any found by the holder were
// left by a writer that was killed before its rename: they are removed, not piled up.
void RemoveStaleTemporaries(const std::string& path) {
    const std::string folder = DirectoryOf(path);
    const size_t slash = path.find_last_of('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string damagedBase = base + kDamagedSuffix;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (IsTemporaryOf(name, base) || IsTemporaryOf(name, damagedBase)) {
            unlink((folder + "/" + name).c_str());
        }
    }
    closedir(dir);
}

class FileLock {
public:
    explicit FileLock(const std::string& path)
        : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kNewFileMode)) {
        if (fd_ < 0) return;
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~FileLock() {
        if (fd_ >= 0) close(fd_); // closing releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_;
};

} // namespace

std::string RegistryFilePath() {
    const char* chosen = std::getenv("QUILLBROOK_REGISTRY");
    if (chosen != nullptr && chosen[0] != '\0') return chosen;
    const std::string base = qb::kernel::ConfigHome(qb::kernel::HomeDirectory());
    if (base.empty()) return {};
    return base + "/quillbrook/registry.reg";
}

LONG LoadRegistry(std::shared_ptr<const RegistryDocument>* document) {
    try {
        const std::string path = RegistryFilePath();
        if (path.empty()) { // nowhere to keep values: an empty registry
            *document = std::make_shared<const RegistryDocument>();
            return ERROR_SUCCESS;
        }
        int fd = -1;
        FileVersion version;
        const LONG opened = OpenForReading(path, &fd, &version);
        if (opened != ERROR_SUCCESS) return opened;
        ReadCache& cache = Cache();
        {
            std::lock_guard lock(cache.mutex);
            if (cache.document != nullptr && version.exists && cache.path == path &&
                cache.version == version) {
                if (fd >= 0) close(fd);
                *document = cache.document;
                return ERROR_SUCCESS;
            }
        }
        std::string bytes;
        bool complete = true;
        const LONG result = ReadOpened(fd, &bytes, &complete);
        if (result != ERROR_SUCCESS) return result;
        auto parsed = std::make_shared<RegistryDocument>();
        ParseRegistryText(bytes, parsed.get());
        std::lock_guard lock(cache.mutex);
        cache.path = path;
        cache.version = version;
        cache.document = parsed;
        *document = std::move(parsed);
        return ERROR_SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

LONG UpdateRegistry(const std::function<LONG(RegistryDocument&, bool* changed)>& change,
                    const std::function<bool(const RegistryDocument&)>& unchanged) {
    try {
        const std::string chosen = RegistryFilePath();
        if (chosen.empty()) return ERROR_CANTWRITE;
        const char* explicitFile = std::getenv("QUILLBROOK_REGISTRY");
        if ((explicitFile == nullptr || explicitFile[0] == '\0') &&
            !qb::kernel::MakeDirectories(DirectoryOf(chosen), kNewFolderMode)) {
            return ErrorOf(errno);
        }
        const std::string path = ResolvedPath(chosen);
        FileLock lock(path + kLockSuffix);
        if (!lock.Held()) return ErrorOf(errno);
        RemoveStaleTemporaries(path);
        if (unchanged) {
            // A value set again to what it holds (the program's path at every start) costs
            // no second parse of a large file.
            const std::shared_ptr<const RegistryDocument> current = CurrentCached(chosen, path);
            if (current != nullptr && unchanged(*current)) return ERROR_SUCCESS;
        }

        std::string bytes;
        bool complete = true;
        const LONG readResult = ReadFile(path, &bytes, &complete);
        if (readResult != ERROR_SUCCESS) return readResult;
        RegistryDocument document;
        const size_t skipped = ParseRegistryText(bytes, &document);

        bool changed = false;
        const LONG result = change(document, &changed);
        if (result != ERROR_SUCCESS || !changed) return result;
        if (!complete) return ERROR_CANTWRITE; // rewriting would lose the unread rest

        struct stat info;
        // The file may hold a password: a rewrite never lets others read it.
        const mode_t mode =
            stat(path.c_str(), &info) == 0 ? (info.st_mode & kNewFileMode) : kNewFileMode;
        if (skipped > 0) {
            // Lines this reader did not understand are not written again; keep the file
            // as it was beside the new one.
            ReplaceFile(path + kDamagedSuffix, bytes, mode);
        }
        const LONG written = ReplaceFile(path, FormatRegistryText(document), mode);
        if (written == ERROR_SUCCESS) RememberWritten(chosen, path, std::move(document));
        return written;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

} // namespace qb::registry
