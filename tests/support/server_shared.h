// What the scripted server's threads share: records, the script, and two event descriptors.
// Internal to tests/support.
#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

#include "tests/support/scripted_server.h"

namespace qb::test::detail {

struct ScriptedAnswer {
    Responder responder;
    bool waitForHead = true;
};

struct ServerShared {
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<ConnectionRecord> records;
    std::vector<ScriptedAnswer> script;
    std::optional<ScriptedAnswer> fallback;
    size_t stallsBegun = 0;
    int stopFd = -1;    // eventfd, readable once the server stops
    int releaseFd = -1; // eventfd semaphore: each count ends one stall

    // The answer for connection index, if any (a copy, taken under the lock).
    std::optional<ScriptedAnswer> answerFor(size_t index) const {
        std::lock_guard lock(mutex);
        if (index < script.size()) return script[index];
        return fallback;
    }

    // Changes record index under the lock and wakes the waiters.
    template <typename Change> void update(size_t index, Change change) {
        {
            std::lock_guard lock(mutex);
            change(records[index]);
        }
        changed.notify_all();
    }
};

// Serves one accepted, non-blocking connection to its end and closes fd.
void serveConnection(int fd, size_t index, ServerShared& shared);

} // namespace qb::test::detail
