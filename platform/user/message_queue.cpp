#include "platform/user/message_queue.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <unordered_map>

namespace qb::user {

namespace {

// Posted messages a queue holds at most (Windows' default quota is 10000).
constexpr size_t kMaxPosted = 10000;

std::mutex gQueuesLock;
std::unordered_map<DWORD, std::shared_ptr<MessageQueue>>& Queues() {
    static auto* queues = new std::unordered_map<DWORD, std::shared_ptr<MessageQueue>>();
    return *queues;
}

// Unregisters the thread's queue when the thread ends.
struct QueueHolder {
    std::shared_ptr<MessageQueue> queue;
    ~QueueHolder() {
        if (!queue) return;
        {
            std::lock_guard<std::mutex> lock(gQueuesLock);
            Queues().erase(queue->ThreadId());
        }
        queue->Close();
    }
};
thread_local QueueHolder tQueue;

} // namespace

MessageQueue::MessageQueue(DWORD threadId) : threadId_(threadId) {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

MessageQueue::~MessageQueue() {
    if (wakeFd_ >= 0) close(wakeFd_);
}

void MessageQueue::UpdateWorkLocked() {
    hasWork_.store(!posted_.empty() || !sent_.empty() || quit_, std::memory_order_seq_cst);
}

void MessageQueue::Wake() {
    if (wakeFd_ < 0) return;
    uint64_t one = 1;
    ssize_t ignored = write(wakeFd_, &one, sizeof one);
    (void)ignored;
}

bool MessageQueue::Post(const QueuedMessage& message) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (closed_ || posted_.size() >= kMaxPosted) return false;
        posted_.push_back(message);
        UpdateWorkLocked();
    }
    if (waiting_.load(std::memory_order_seq_cst)) Wake();
    return true;
}

void MessageQueue::PostFront(const QueuedMessage& message) {
    std::lock_guard<std::mutex> lock(lock_);
    posted_.push_front(message);
    UpdateWorkLocked();
}

bool MessageQueue::Send(const std::shared_ptr<SentMessage>& sent) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (closed_) return false;
        sent_.push_back(sent);
        UpdateWorkLocked();
    }
    Wake();
    return true;
}

void MessageQueue::Quit(int exitCode) {
    std::lock_guard<std::mutex> lock(lock_);
    quit_ = true;
    quitCode_ = exitCode;
    UpdateWorkLocked();
}

void MessageQueue::Close() {
    std::deque<std::shared_ptr<SentMessage>> pending;
    {
        std::lock_guard<std::mutex> lock(lock_);
        closed_ = true;
        pending.swap(sent_);
        posted_.clear();
        UpdateWorkLocked();
    }
    for (auto& sent : pending) {
        sent->result = 0;
        std::shared_ptr<MessageQueue> sender = sent->sender;
        sent->done.store(true, std::memory_order_release);
        if (sender) sender->Wake();
    }
}

std::shared_ptr<SentMessage> MessageQueue::TakeSent() {
    std::lock_guard<std::mutex> lock(lock_);
    if (sent_.empty()) return nullptr;
    auto sent = sent_.front();
    sent_.pop_front();
    UpdateWorkLocked();
    return sent;
}

bool MessageQueue::TakeQuit(bool remove, int* exitCode) {
    std::lock_guard<std::mutex> lock(lock_);
    if (!quit_) return false;
    *exitCode = quitCode_;
    if (remove) {
        quit_ = false;
        UpdateWorkLocked();
    }
    return true;
}

bool MessageQueue::Wait(int timeoutMs, int fd) {
    waiting_.store(true, std::memory_order_seq_cst);
    bool readable = false;
    if (!hasWork_.load(std::memory_order_seq_cst)) {
        pollfd fds[2];
        nfds_t count = 0;
        fds[count++] = pollfd{wakeFd_, POLLIN, 0};
        if (fd >= 0) fds[count++] = pollfd{fd, POLLIN, 0};
        int rc = poll(fds, count, timeoutMs);
        if (rc > 0) {
            if (fds[0].revents & POLLIN) {
                uint64_t value = 0;
                ssize_t ignored = read(wakeFd_, &value, sizeof value);
                (void)ignored;
            }
            if (count > 1 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) readable = true;
        }
    }
    waiting_.store(false, std::memory_order_seq_cst);
    return readable;
}

MessageQueue* CurrentQueue(bool create) {
    if (!tQueue.queue && create) {
        DWORD id = CurrentThreadId();
        auto queue = std::make_shared<MessageQueue>(id);
        {
            std::lock_guard<std::mutex> lock(gQueuesLock);
            Queues()[id] = queue;
        }
        tQueue.queue = queue;
    }
    return tQueue.queue.get();
}

std::shared_ptr<MessageQueue> CurrentQueueShared() {
    CurrentQueue(true);
    return tQueue.queue;
}

std::shared_ptr<MessageQueue> QueueOfThread(DWORD threadId) {
    std::lock_guard<std::mutex> lock(gQueuesLock);
    auto it = Queues().find(threadId);
    if (it == Queues().end()) return nullptr;
    return it->second;
}

void WakeAllQueues() {
    std::lock_guard<std::mutex> lock(gQueuesLock);
    for (auto& entry : Queues()) entry.second->Wake();
}

DWORD CurrentThreadId() {
    return GetCurrentThreadId();
}
DWORD Ticks() {
    return GetTickCount();
}

} // namespace qb::user
