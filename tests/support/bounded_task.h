// A call that may block (a recv, a handshake) run on a thread of its own, waited for with a
// limit. Unlike a std::async future, whose destructor waits for the call however long it
// blocks, a BoundedTask that goes out of scope before its call returned lets the thread go
// (detached; it owns everything it touches), so a failed assertion ends the test at once
// instead of hanging the binary until the call wakes, which may be never.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace qb::test {

template <typename Result> class BoundedTask {
public:
    explicit BoundedTask(std::function<Result()> work) : state_(std::make_shared<State>()) {
        thread_ = std::thread([state = state_, work = std::move(work)] {
            Result result = work();
            std::lock_guard lock(state->mutex);
            state->result = std::move(result);
            state->done.notify_all();
        });
    }
    ~BoundedTask() {
        if (finished())
            thread_.join();
        else
            thread_.detach();
    }
    BoundedTask(const BoundedTask&) = delete;
    BoundedTask& operator=(const BoundedTask&) = delete;

    // True once the call has returned, waiting at most limit for it.
    template <typename Rep, typename Period>
    bool waitFor(std::chrono::duration<Rep, Period> limit) {
        std::unique_lock lock(state_->mutex);
        return state_->done.wait_for(lock, limit, [&] { return state_->result.has_value(); });
    }
    bool finished() {
        std::lock_guard lock(state_->mutex);
        return state_->result.has_value();
    }
    // The call's result; only after waitFor returned true.
    Result get() {
        std::lock_guard lock(state_->mutex);
        return *state_->result;
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Result> result;
    };
    std::shared_ptr<State> state_;
    std::thread thread_;
};

} // namespace qb::test
