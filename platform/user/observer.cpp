// The observer seam (qb/observer.h): one atomic pointer, null unless the test support sets it.
#include "qb/observer.h"

#include <atomic>

namespace qb::user {

namespace {
std::atomic<Observer*> gObserver{nullptr};
} // namespace

Observer* SetObserver(Observer* observer) {
    return gObserver.exchange(observer);
}

ModalDecision ObserveModalStarting(ModalKind kind, const void* dialogTemplate) {
    Observer* observer = gObserver.load();
    return observer != nullptr ? observer->ModalStarting(kind, dialogTemplate) : ModalDecision{};
}

void ObserveModalShown(HWND window, const ModalDecision& decision, std::function<void()> end) {
    if (Observer* observer = gObserver.load())
        observer->ModalShown(window, decision, std::move(end));
}

bool ObserveModalLoopEnded(HWND window) {
    Observer* observer = gObserver.load();
    return observer != nullptr && observer->ModalLoopEnded(window);
}

void ObserveModalEnded(const ModalReport& report) {
    if (Observer* observer = gObserver.load()) observer->ModalEnded(report);
}

bool ObserveIdle(bool timersPending) {
    Observer* observer = gObserver.load();
    return observer != nullptr && observer->Idle(timersPending);
}

void ObserveBeep(UINT type) {
    if (Observer* observer = gObserver.load()) observer->Beeped(type);
}

bool ObserveClipboardText(std::u16string* text, bool* present) {
    Observer* observer = gObserver.load();
    return observer != nullptr && observer->ClipboardText(text, present);
}

} // namespace qb::user
