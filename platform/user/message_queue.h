// The message queue of one thread: posted messages and input, messages sent from other
// threads, the quit flag and the thread's timers. Created on the thread's first use of the
// message functions (a thread without one can't be posted to, as on Windows).
//
// Posting is safe from any thread and cheap: a lock around the list and an eventfd write
// only when the owner sleeps. `HasWork` is an atomic flag, so PeekMessageW on an empty
// queue takes no lock.
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include <windows.h>

namespace qb::user {

enum class InputKind {
    kNone,  // an ordinary posted message
    kKey,   // keyboard message for the focused window (hwnd chosen when taken)
    kPaste, // a pasted character: WM_CHAR for the focused field, dropped for anything else
    kMouseDown,
    kMouseUp,
};

struct QueuedMessage {
    MSG msg{};
    InputKind input = InputKind::kNone;
    unsigned modifiers = 0;
    int column = 0;
    int row = 0;
};

// A SendMessageW from another thread, waiting for the owner to run it.
struct SentMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
    std::atomic<bool> done{false};
    std::shared_ptr<class MessageQueue> sender;
};

struct Timer {
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    UINT period = 0;
    DWORD due = 0;
    TIMERPROC proc = nullptr;
};

class MessageQueue {
public:
    explicit MessageQueue(DWORD threadId);
    ~MessageQueue();
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    DWORD ThreadId() const { return threadId_; }

    // Any thread. False when the queue is full or closed.
    bool Post(const QueuedMessage& message);
    // Puts a message first (the characters TranslateMessage makes); owner thread.
    void PostFront(const QueuedMessage& message);
    bool Send(const std::shared_ptr<SentMessage>& sent);
    void Quit(int exitCode); // PostQuitMessage: the quit flag
    void Wake();
    // The thread ended: waiting senders get 0, later posts fail.
    void Close();

    bool HasWork() const { return hasWork_.load(std::memory_order_seq_cst); }

    // Owner thread.
    std::shared_ptr<SentMessage> TakeSent();
    // Takes (or looks at) the first posted message that `accept` takes; returns false if none.
    // `accept` may fill in a message (input gets its window) or drop it.
    enum class Verdict { kSkip, kTake, kDrop };
    template <class Accept> bool TakePosted(bool remove, QueuedMessage* out, Accept accept) {
        std::lock_guard<std::mutex> lock(lock_);
        for (auto it = posted_.begin(); it != posted_.end();) {
            Verdict verdict = accept(*it);
            if (verdict == Verdict::kDrop) {
                it = posted_.erase(it);
                UpdateWorkLocked();
                continue;
            }
            if (verdict == Verdict::kSkip) {
                ++it;
                continue;
            }
            *out = *it;
            if (remove) {
                posted_.erase(it);
                UpdateWorkLocked();
            }
            return true;
        }
        return false;
    }
    // Drops posted input that can no longer go anywhere.
    bool TakeQuit(bool remove, int* exitCode);
    // Waits until woken, a post arrives, the descriptor (if not -1) can be read, or the
    // timeout (ms, -1 for none) passes. Returns true if `fd` became readable.
    bool Wait(int timeoutMs, int fd);

    // Owner-thread state.
    std::vector<Timer> timers;
    HWND focus = nullptr;
    HWND active = nullptr;
    HWND capture = nullptr;    // the pop-up menu that takes all input while it tracks
    unsigned keyModifiers = 0; // of the input message being handled
    int keyDownVk = 0;         // the key of the input message being handled
    DWORD lastMessageTime = 0;
    int inSend = 0; // cross-thread sends being handled

private:
    void UpdateWorkLocked();

    const DWORD threadId_;
    std::mutex lock_;
    std::deque<QueuedMessage> posted_;
    std::deque<std::shared_ptr<SentMessage>> sent_;
    bool quit_ = false;
    int quitCode_ = 0;
    bool closed_ = false;
    std::atomic<bool> hasWork_{false};
    std::atomic<bool> waiting_{false};
    int wakeFd_ = -1;
};

// The calling thread's queue, created if `create`.
MessageQueue* CurrentQueue(bool create);
std::shared_ptr<MessageQueue> CurrentQueueShared();
// Wakes every thread's wait (the screen changed, or the renderer asked).
void WakeAllQueues();
// The queue of a thread, if it has one.
std::shared_ptr<MessageQueue> QueueOfThread(DWORD threadId);

DWORD CurrentThreadId();
DWORD Ticks();

} // namespace qb::user
