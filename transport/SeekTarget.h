// The bounds rule shared by the streams that hold all their data: a seek target must lie
// between 0 and the size, inclusive.
#pragma once

#include <cstdint>

#include <windows.h>

// Works out the target of a seek by offset from origin (0 begin, 1 current, 2 end, where an
// end offset must be 0 or negative). Returns true and *target when it lies in 0 ... size;
// false for another origin or a target out of range. No step can overflow.
inline bool SeekTargetInRange(int64_t offset, DWORD origin, uint64_t position, uint64_t size,
                              uint64_t* target) {
    uint64_t base = 0;
    if (origin == 0) {
        base = 0;
    } else if (origin == 1) {
        base = position;
    } else if (origin == 2) {
        if (offset > 0) return false;
        base = size;
    } else {
        return false;
    }
    if (offset >= 0) {
        const uint64_t forward = static_cast<uint64_t>(offset);
        if (forward > size - base) return false;
        *target = base + forward;
    } else {
        // The magnitude of a negative offset, computed without negating INT64_MIN.
        const uint64_t backward = 0 - static_cast<uint64_t>(offset);
        if (backward > base) return false;
        *target = base - backward;
    }
    return true;
}
