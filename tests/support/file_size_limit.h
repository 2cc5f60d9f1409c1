// Limits the size of the files this process writes for the life of the object
// (RLIMIT_FSIZE): a device that fills up after `bytes`, without mounting anything.
#pragma once

#include <sys/resource.h>

namespace qb::test {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        set_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool set() const { return set_; }

private:
    rlimit saved_{};
    bool set_ = false;
};

} // namespace qb::test
