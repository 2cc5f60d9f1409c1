// GetMessageW, PeekMessageW, SendMessageW and the posting functions over the thread queues,
// with timers generated when nothing else is waiting, as on Windows.
#include <climits>

#include "platform/render/boundary.h"
#include "platform/user/input.h"
#include "platform/user/message_queue.h"
#include "platform/user/window.h"
#include "qb/observer.h"

namespace qb::user {

namespace {

// How long a cross-thread sender sleeps between checks if a wake-up went missing.
constexpr int kSendRecheckMs = 50;
// Timers of one thread at most.
constexpr size_t kMaxTimers = 1024;
constexpr UINT_PTR kFirstThreadTimerId = 0x7FF0;

HWND const kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

bool FilterMatches(const MSG& msg, HWND filter, UINT min, UINT max) {
    if (min != 0 || max != 0) {
        if (msg.message < min || msg.message > max) return false;
    }
    if (filter == nullptr) return true;
    if (filter == kThreadMessagesOnly) return msg.hwnd == nullptr;
    if (msg.hwnd == filter) return true;
    return msg.hwnd != nullptr && IsChild(filter, msg.hwnd);
}

void RunSentMessages(MessageQueue* queue) {
    while (auto sent = queue->TakeSent()) {
        ++queue->inSend;
        Window* window = FromHandle(sent->hwnd);
        sent->result =
            window != nullptr ? CallProc(window, sent->message, sent->wParam, sent->lParam) : 0;
        --queue->inSend;
        // The sender may go on (and drop its fields) as soon as it sees `done`.
        std::shared_ptr<MessageQueue> sender = sent->sender;
        sent->done.store(true, std::memory_order_release);
        if (sender) sender->Wake();
    }
}

bool TimerDue(const Timer& timer, DWORD now) {
    return static_cast<int32_t>(now - timer.due) >= 0;
}

int NextTimerTimeout(MessageQueue* queue) {
    if (queue->timers.empty()) return -1;
    DWORD now = Ticks();
    int32_t best = INT32_MAX;
    for (const Timer& t : queue->timers) {
        int32_t left = static_cast<int32_t>(t.due - now);
        if (left < best) best = left;
    }
    return best < 1 ? 1 : best;
}

// One pass over what the queue holds, in Windows' order: sent messages (handled here),
// posted messages and input, the quit flag, timers.
bool RetrieveOnce(MessageQueue* queue, MSG* out, HWND filter, UINT min, UINT max, bool remove) {
    RunSentMessages(queue);
    QueuedMessage record;
    bool found = queue->TakePosted(remove, &record, [&](QueuedMessage& candidate) {
        if (candidate.input != InputKind::kNone && !ResolveInput(queue, &candidate))
            return MessageQueue::Verdict::kDrop;
        return FilterMatches(candidate.msg, filter, min, max) ? MessageQueue::Verdict::kTake
                                                              : MessageQueue::Verdict::kSkip;
    });
    if (found) {
        *out = record.msg;
        if (record.input != InputKind::kNone && remove) {
            queue->keyModifiers = record.modifiers;
        }
        queue->lastMessageTime = out->time;
        return true;
    }
    int exitCode = 0;
    if (queue->TakeQuit(remove, &exitCode)) {
        *out = MSG{};
        out->message = WM_QUIT;
        out->wParam = static_cast<WPARAM>(static_cast<intptr_t>(exitCode));
        out->time = Ticks();
        return true;
    }
    if (!queue->timers.empty()) {
        DWORD now = Ticks();
        for (Timer& t : queue->timers) {
            if (!TimerDue(t, now)) continue;
            MSG msg{};
            msg.hwnd = t.hwnd;
            msg.message = WM_TIMER;
            msg.wParam = t.id;
            msg.lParam = reinterpret_cast<LPARAM>(t.proc);
            msg.time = now;
            if (!FilterMatches(msg, filter, min, max)) continue;
            if (remove) t.due = now + t.period;
            *out = msg;
            return true;
        }
    }
    return false;
}

} // namespace

// The wait of every message loop: blocks on the queue's eventfd and the renderer's input.
bool Retrieve(MSG* out, HWND filter, UINT min, UINT max, UINT flags, bool wait) {
    MessageQueue* queue = CurrentQueue(true);
    bool remove = (flags & PM_REMOVE) != 0;
    for (;;) {
        render::Renderer* renderer = render::internal::RendererOfThisThread();
        if (renderer != nullptr && !wait) {
            int fd = renderer->InputFd();
            if (fd >= 0 && queue->Wait(0, fd)) renderer->InputReady();
        }
        if (RetrieveOnce(queue, out, filter, min, max, remove)) return true;
        render::internal::FlushScreenChanged();
        if (!wait) return false;
        if (ObserveIdle(!queue->timers.empty())) continue;
        int fd = renderer != nullptr ? renderer->InputFd() : -1;
        if (queue->Wait(NextTimerTimeout(queue), fd) && renderer != nullptr) renderer->InputReady();
    }
}

LRESULT SendCrossThread(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto target = QueueOfWindow(hwnd, nullptr);
    if (!target) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    auto self = CurrentQueueShared();
    auto sent = std::make_shared<SentMessage>();
    sent->hwnd = hwnd;
    sent->message = message;
    sent->wParam = wParam;
    sent->lParam = lParam;
    sent->sender = self;
    if (!target->Send(sent)) return 0;
    // While waiting, messages sent to this thread are handled, so two threads sending to
    // each other don't wait for ever.
    while (!sent->done.load(std::memory_order_acquire)) {
        RunSentMessages(self.get());
        if (sent->done.load(std::memory_order_acquire)) break;
        self->Wait(kSendRecheckMs, -1);
    }
    sent->sender.reset();
    return sent->result;
}

} // namespace qb::user

using namespace qb::user;

BOOL WINAPI GetMessageW(LPMSG msg, HWND hwnd, UINT min, UINT max) {
    if (msg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (hwnd != nullptr && hwnd != reinterpret_cast<HWND>(static_cast<intptr_t>(-1)) &&
        FromHandle(hwnd) == nullptr)
        return -1;
    Retrieve(msg, hwnd, min, max, PM_REMOVE, true);
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL WINAPI PeekMessageW(LPMSG msg, HWND hwnd, UINT min, UINT max, UINT removeFlags) {
    if (msg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    MessageQueue* queue = CurrentQueue(true);
    // The receive thread peeks between every small read: an empty queue costs one load.
    if (!queue->HasWork() && queue->timers.empty() && !qb::render::internal::MaybeRendererThread())
        return FALSE;
    return Retrieve(msg, hwnd, min, max, removeFlags, false) ? TRUE : FALSE;
}

BOOL WINAPI WaitMessage(void) {
    MessageQueue* queue = CurrentQueue(true);
    if (!queue->HasWork()) queue->Wait(NextTimerTimeout(queue), -1);
    return TRUE;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    if (msg == nullptr || msg->message != WM_KEYDOWN) return FALSE;
    char16_t ch = 0;
    switch (msg->wParam) {
    case VK_TAB:
        ch = u'\t';
        break;
    case VK_RETURN:
        ch = u'\r';
        break;
    case VK_ESCAPE:
        ch = 0x1B;
        break;
    case VK_BACK:
        ch = 0x08;
        break;
    case VK_SPACE:
        ch = u' ';
        break;
    default:
        return FALSE;
    }
    QueuedMessage character;
    character.msg = *msg;
    character.msg.message = WM_CHAR;
    character.msg.wParam = ch;
    CurrentQueue(true)->PostFront(character);
    return TRUE;
}

LRESULT WINAPI DispatchMessageW(const MSG* msg) {
    if (msg == nullptr) return 0;
    if (msg->message == WM_TIMER && msg->lParam != 0) {
        auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        proc(msg->hwnd, WM_TIMER, msg->wParam, Ticks());
        return 0;
    }
    if (msg->hwnd == nullptr) return 0;
    Window* window = FromHandle(msg->hwnd);
    if (window == nullptr) return 0;
    switch (msg->message) {
    case WM_KEYDOWN:
    case WM_CHAR:
    case WM_SYSCHAR:
    case WM_SYSKEYDOWN:
        if (RouteDialogKey(window, msg)) return 0;
        break;
    default:
        break;
    }
    return CallProc(window, msg->message, msg->wParam, msg->lParam);
}

namespace {

// Posts one message (hwnd null: a thread message); FALSE when the queue is full.
BOOL PostTo(MessageQueue& queue, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    QueuedMessage record;
    record.msg.hwnd = hwnd;
    record.msg.message = message;
    record.msg.wParam = wParam;
    record.msg.lParam = lParam;
    record.msg.time = Ticks();
    if (!queue.Post(record)) {
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return FALSE;
    }
    return TRUE;
}

} // namespace

BOOL WINAPI PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (hwnd == nullptr) return PostThreadMessageW(CurrentThreadId(), message, wParam, lParam);
    auto queue = QueueOfWindow(hwnd, nullptr);
    if (!queue) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return PostTo(*queue, hwnd, message, wParam, lParam);
}

BOOL WINAPI PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    auto queue = QueueOfThread(threadId);
    if (!queue) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    return PostTo(*queue, nullptr, message, wParam, lParam);
}

LRESULT WINAPI SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = FromHandleAnyThread(hwnd);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    DWORD owner = 0;
    if (!QueueOfWindow(hwnd, &owner)) return 0;
    if (owner != CurrentThreadId()) return SendCrossThread(hwnd, message, wParam, lParam);
    return CallProc(window, message, wParam, lParam);
}

void WINAPI PostQuitMessage(int exitCode) {
    CurrentQueue(true)->Quit(exitCode);
}

DWORD WINAPI GetMessageTime(void) {
    return CurrentQueue(true)->lastMessageTime;
}

BOOL WINAPI InSendMessage(void) {
    return CurrentQueue(true)->inSend > 0;
}

SHORT WINAPI GetKeyState(int vk) {
    MessageQueue* queue = CurrentQueue(true);
    unsigned mods = queue->keyModifiers;
    bool down = false;
    switch (vk) {
    case VK_SHIFT:
        down = (mods & qb::render::kModShift) != 0;
        break;
    case VK_CONTROL:
        down = (mods & qb::render::kModCtrl) != 0;
        break;
    case VK_MENU:
        down = (mods & qb::render::kModAlt) != 0;
        break;
    default:
        break;
    }
    return down ? static_cast<SHORT>(0x8000) : 0;
}

UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    MessageQueue* queue = CurrentQueue(true);
    if (hwnd != nullptr && FromHandle(hwnd) == nullptr) return 0;
    if (elapse < USER_TIMER_MINIMUM) elapse = USER_TIMER_MINIMUM;
    if (elapse > USER_TIMER_MAXIMUM) elapse = USER_TIMER_MAXIMUM;
    for (Timer& t : queue->timers) {
        if (t.hwnd == hwnd && t.id == id && (hwnd != nullptr || id != 0)) {
            t.period = elapse;
            t.due = Ticks() + elapse;
            t.proc = proc;
            return hwnd != nullptr ? 1 : id;
        }
    }
    if (queue->timers.size() >= kMaxTimers) {
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return 0;
    }
    if (hwnd == nullptr) {
        // A thread timer gets an id of its own.
        static thread_local UINT_PTR next = kFirstThreadTimerId;
        id = next++;
    }
    queue->timers.push_back(Timer{hwnd, id, elapse, Ticks() + elapse, proc});
    return hwnd != nullptr ? (id != 0 ? id : 1) : id;
}

BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id) {
    MessageQueue* queue = CurrentQueue(true);
    for (auto it = queue->timers.begin(); it != queue->timers.end(); ++it) {
        if (it->hwnd == hwnd && it->id == id) {
            queue->timers.erase(it);
            return TRUE;
        }
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}
