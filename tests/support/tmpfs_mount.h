// A small tmpfs mounted on a folder for the life of the object: a device that really runs
// out of room (ENOSPC), and that can be given more later. Mounting needs the right to (root
// or CAP_SYS_ADMIN); without it mounted() is false and error() says why, so a test can skip.
#pragma once

#include <sys/mount.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

namespace qb::test {

class TmpfsMount {
public:
    TmpfsMount(std::string folder, uint64_t bytes) : folder_(std::move(folder)) {
        mounted_ = mountWith(bytes, 0);
    }
    // Detached, so a file some process still holds open cannot keep the folder mounted.
    ~TmpfsMount() {
        if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& error() const { return error_; }
    // A new size; the files on it stay. False (and error()) when the kernel refuses it.
    bool resize(uint64_t bytes) { return mounted_ && mountWith(bytes, MS_REMOUNT); }

private:
    bool mountWith(uint64_t bytes, unsigned long flags) {
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        if (::mount("tmpfs", folder_.c_str(), "tmpfs", flags | MS_NOSUID | MS_NODEV,
                    options.c_str()) == 0)
            return true;
        error_ = "cannot mount a tmpfs on " + folder_ + ": " + std::strerror(errno);
        return false;
    }

    std::string folder_;
    bool mounted_ = false;
    std::string error_;
};

} // namespace qb::test
