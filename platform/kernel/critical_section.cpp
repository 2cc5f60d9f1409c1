// Critical sections: a std::mutex with its owner and depth, kept inside the CRITICAL_SECTION
// storage. The owner enters again without touching the mutex.
#include <atomic>
#include <mutex>
#include <new>

#include <windows.h>

namespace {

struct Section {
    std::mutex lock;
    // The thread inside, or null; only the owner stores its own mark, so a thread that
    // reads its own mark is inside.
    std::atomic<const void*> owner{nullptr};
    unsigned depth = 0; // the owner's entries not yet left
};

static_assert(sizeof(Section) <= sizeof(CRITICAL_SECTION));
static_assert(alignof(Section) <= alignof(CRITICAL_SECTION));

// A mark that tells the threads apart: the address of a per-thread byte.
const void* ThisThread() {
    static thread_local char mark;
    return &mark;
}

Section* SectionOf(LPCRITICAL_SECTION section) {
    return std::launder(reinterpret_cast<Section*>(section->Reserved));
}

void Entered(Section* s, const void* self) {
    s->owner.store(self, std::memory_order_relaxed);
    s->depth = 1;
}

} // namespace

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (lpCriticalSection != nullptr) new (lpCriticalSection->Reserved) Section;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (lpCriticalSection == nullptr) return;
    Section* s = SectionOf(lpCriticalSection);
    const void* self = ThisThread();
    if (s->owner.load(std::memory_order_relaxed) == self) {
        ++s->depth;
        return;
    }
    s->lock.lock();
    Entered(s, self);
}

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (lpCriticalSection == nullptr) return FALSE;
    Section* s = SectionOf(lpCriticalSection);
    const void* self = ThisThread();
    if (s->owner.load(std::memory_order_relaxed) == self) {
        ++s->depth;
        return TRUE;
    }
    if (!s->lock.try_lock()) return FALSE;
    Entered(s, self);
    return TRUE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (lpCriticalSection == nullptr) return;
    Section* s = SectionOf(lpCriticalSection);
    // Leaving a section the thread is not inside is the caller's fault; it changes nothing.
    if (s->owner.load(std::memory_order_relaxed) != ThisThread()) return;
    if (--s->depth > 0) return;
    s->owner.store(nullptr, std::memory_order_relaxed);
    s->lock.unlock();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (lpCriticalSection != nullptr) SectionOf(lpCriticalSection)->~Section();
}
