// CreateThread and the thread handles: pthreads, with the end of a thread as the signalled
// state that WaitForSingleObject waits for.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <pthread.h>
#include <unistd.h>

#include <windows.h>

#include "platform/kernel/errno_map.h"
#include "platform/kernel/handle_table.h"

using namespace qb::kernel;

namespace {

class ThreadObject;

// Thread ids count up from 1 and are never reused, so a message for an ended thread can't
// reach a new one.
std::atomic<DWORD> gNextThreadId{1};
thread_local DWORD tThreadId = 0;
// The object of the calling thread when CreateThread started it.
thread_local ThreadObject* tCurrentThread = nullptr;

class ThreadObject final : public KernelObject {
public:
    ThreadObject(LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD id)
        : KernelObject(ObjectKind::kThread), start_(start), parameter_(parameter), id_(id) {}

    // The thread's own resources go with its last holder: a join after a wait, else a
    // detach (on the thread itself when its handles were closed before it ended).
    ~ThreadObject() override {
        if (tCurrentThread == this) {
            pthread_detach(pthread_self());
        } else if (started_ && !joined_) {
            pthread_detach(thread_);
        }
    }

    // With the handle in the table, so that the thread never runs without one.
    bool Start(SIZE_T stackSize, std::shared_ptr<ThreadObject> self) {
        auto* holder = new (std::nothrow) std::shared_ptr<ThreadObject>(std::move(self));
        if (holder == nullptr) return false;
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        size_t defaultSize = 0;
        pthread_attr_getstacksize(&attributes, &defaultSize);
        if (stackSize > defaultSize) {
            const size_t page = size_t(sysconf(_SC_PAGESIZE));
            pthread_attr_setstacksize(&attributes, (stackSize + page - 1) / page * page);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        const int result = pthread_create(&thread_, &attributes, &ThreadObject::Run, holder);
        pthread_attr_destroy(&attributes);
        if (result != 0) {
            delete holder;
            return false;
        }
        started_ = true;
        return true;
    }

    // Signals the end; the first call decides the exit code.
    void Finish(DWORD exitCode) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (finished_) return;
        finished_ = true;
        exitCode_ = exitCode;
        ended_.notify_all();
    }

    DWORD Wait(DWORD milliseconds) override {
        std::unique_lock<std::mutex> lock(mutex_);
        const auto ended = [this] { return finished_; };
        if (milliseconds == INFINITE) {
            ended_.wait(lock, ended);
        } else if (!ended_.wait_for(lock, std::chrono::milliseconds(milliseconds), ended)) {
            return WAIT_TIMEOUT;
        }
        if (!joined_ && tCurrentThread != this) {
            joined_ = true;
            pthread_join(thread_, nullptr); // the thread is past its last use of the object
        }
        return WAIT_OBJECT_0;
    }

    DWORD ExitCode() {
        std::lock_guard<std::mutex> lock(mutex_);
        return finished_ ? exitCode_ : STILL_ACTIVE;
    }

private:
    static void* Run(void* argument) {
        auto* holder = static_cast<std::shared_ptr<ThreadObject>*>(argument);
        ThreadObject* self = holder->get();
        tCurrentThread = self;
        tThreadId = self->id_;
        // Released also when ExitThread unwinds the stack.
        struct Release {
            std::shared_ptr<ThreadObject>* holder;
            ~Release() {
                delete holder;
                tCurrentThread = nullptr;
            }
        } release{holder};
        self->Finish(self->start_(self->parameter_));
        return nullptr;
    }

    const LPTHREAD_START_ROUTINE start_;
    const LPVOID parameter_;
    const DWORD id_;
    std::mutex mutex_;
    std::condition_variable ended_;
    pthread_t thread_{};
    bool started_ = false;
    bool finished_ = false;
    bool joined_ = false;
    DWORD exitCode_ = STILL_ACTIVE;
};

} // namespace

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                           DWORD dwCreationFlags, LPDWORD lpThreadId) {
    (void)lpThreadAttributes;
    if (lpStartAddress == nullptr ||
        (dwCreationFlags & ~DWORD{STACK_SIZE_PARAM_IS_A_RESERVATION}) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const DWORD id = gNextThreadId.fetch_add(1, std::memory_order_relaxed);
    std::shared_ptr<ThreadObject> thread;
    try {
        thread = std::make_shared<ThreadObject>(lpStartAddress, lpParameter, id);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HANDLE handle = InsertHandle(thread);
    if (handle == nullptr) return nullptr;
    if (lpThreadId != nullptr) *lpThreadId = id; // before the thread can look at it
    if (!thread->Start(dwStackSize, thread)) {
        RemoveHandle(handle, ObjectKind::kThread, ObjectKind::kThread);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return handle;
}

DWORD WINAPI GetCurrentThreadId(void) {
    if (tThreadId == 0) tThreadId = gNextThreadId.fetch_add(1, std::memory_order_relaxed);
    return tThreadId;
}

void WINAPI ExitThread(DWORD dwExitCode) {
    if (tCurrentThread != nullptr) tCurrentThread->Finish(dwExitCode);
    pthread_exit(nullptr);
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    if (lpExitCode == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
    const auto thread = LookupHandleAs<ThreadObject>(hThread, ObjectKind::kThread);
    if (thread == nullptr) return FALSE;
    *lpExitCode = thread->ExitCode();
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    const auto object = LookupHandle(hHandle);
    if (object == nullptr) return WAIT_FAILED;
    return object->Wait(dwMilliseconds);
}
