// The one seam through which something outside the window system watches and steers it, the
// way a message spy does: it sees every modal window (message box, modal dialog, pop-up menu)
// start, show and end, the message loops run dry, beeps and clipboard reads, and it may feed
// input while a modal window is shown. A running program installs none, and then every call
// below answers "nothing to say": the system behaves as it does for a person. The test
// support (qb/testhook.h) installs one; the seam is public for that reason, next to it.
//
// Everything runs on the GUI thread, except ClipboardText (any thread).
#pragma once

#include <functional>
#include <string>

#include "windows.h"

namespace qb::user {

enum class ModalKind { kMessageBox, kDialog, kMenu };

enum class ModalPlan {
    kRun,    // shown and answered by a person
    kAnswer, // ends at once with ModalDecision::answer, nothing shown
    kDrive,  // shown (even with no terminal); the observer feeds it input once it is up
    kRefuse, // nobody can answer it: ends at once with its failure result, quietly
};

// What the observer wants done with a modal window that is starting.
struct ModalDecision {
    ModalPlan plan = ModalPlan::kRun;
    INT_PTR answer = 0;
    // kDrive: runs once the window is shown, before its loop; what it feeds is handled then.
    std::function<void(HWND window)> feed;
};

// A modal window that has ended.
struct ModalReport {
    ModalKind kind = ModalKind::kMessageBox;
    ModalPlan plan = ModalPlan::kRun;
    std::u16string title; // caption of the box or the dialog
    std::u16string text;  // the box's text; empty for dialogs and menus
    UINT type = 0;        // MessageBoxW type flags
    HWND owner = nullptr; // owner handle as given
    const void* dialogTemplate = nullptr;
    INT_PTR result = 0;
    bool abandoned = false; // driven and left open, or an answer that could not be taken
};

class Observer {
public:
    virtual ~Observer() = default;
    virtual ModalDecision ModalStarting(ModalKind kind, const void* dialogTemplate) = 0;
    // A driven modal window is shown; `end` ends it (used when it is left open).
    virtual void ModalShown(HWND window, const ModalDecision& decision,
                            std::function<void()> end) = 0;
    // The loop of a driven modal window has returned; true if the observer had to end it.
    virtual bool ModalLoopEnded(HWND window) = 0;
    virtual void ModalEnded(const ModalReport& report) = 0;
    // A message loop is about to wait with an empty queue. True if the observer did
    // something (the loop then looks again instead of waiting).
    virtual bool Idle(bool timersPending) = 0;
    virtual void Beeped(UINT type) = 0;
    // True with the clipboard's text (`*present` false: empty) if the observer supplies it.
    virtual bool ClipboardText(std::u16string* text, bool* present) = 0;
};

// Installs `observer` (null: none) and returns the one it replaces. The observer must outlive
// its installation.
Observer* SetObserver(Observer* observer);

// The calls of the window system; each one is a no-op (or "run as usual") without an observer.
ModalDecision ObserveModalStarting(ModalKind kind, const void* dialogTemplate = nullptr);
void ObserveModalShown(HWND window, const ModalDecision& decision, std::function<void()> end);
bool ObserveModalLoopEnded(HWND window);
void ObserveModalEnded(const ModalReport& report);
bool ObserveIdle(bool timersPending);
void ObserveBeep(UINT type);
bool ObserveClipboardText(std::u16string* text, bool* present);

} // namespace qb::user
