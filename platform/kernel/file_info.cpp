#include "platform/kernel/file_info.h"

#include <cstdint>

namespace qb::kernel {
namespace {

constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kNanosecondsPerTick = 100;

} // namespace

DWORD AttributesFromStat(const struct stat& info) {
    if (S_ISDIR(info.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    if ((info.st_mode & S_IWUSR) == 0) return FILE_ATTRIBUTE_READONLY;
    return FILE_ATTRIBUTE_NORMAL;
}

FILETIME FileTimeFromTimespec(const struct timespec& time) {
    const int64_t seconds = int64_t(time.tv_sec) + kSecondsFrom1601To1970;
    const uint64_t ticks = seconds < 0 ? 0
                                       : uint64_t(seconds) * kTicksPerSecond +
                                             uint64_t(time.tv_nsec) / kNanosecondsPerTick;
    return FILETIME{DWORD(ticks), DWORD(ticks >> 32)};
}

} // namespace qb::kernel
