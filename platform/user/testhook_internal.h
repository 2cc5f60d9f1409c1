// What the modal loops, message boxes, menus, beeps and the clipboard ask of the test hook.
// Without a test driving them, every query says "nothing scripted".
#pragma once

#include <functional>
#include <string>

#include "qb/testhook.h"

namespace qb::test::internal {

enum class ScriptKind { kNone, kAnswer, kDrive };

struct Script {
    ScriptKind kind = ScriptKind::kNone;
    INT_PTR result = 0;
    Driver driver;
};

Script TakeMessageBoxScript();
Script TakeDialogScript(const void* dialogTemplate);
Script TakeMenuScript();
bool StrictModals();
void Record(const ModalRecord& record);

// A driven modal window: `abandon` ends it if it is left open with nothing to do.
void PushDriven(HWND window, std::function<void()> abandon);
// Pops it; true if it was abandoned.
bool PopDriven();
// Runs the driver of a modal window, marking that a driver is running.
void RunDriver(const Driver& driver, HWND window);
bool InDriver();
// Called by a message loop about to wait with an empty queue. True if it ended a driven
// modal that was left open (the loop then looks again instead of waiting).
bool OnIdle(bool timersPending);

void NoteBeep(UINT type);
// The clipboard text set by the test (`*set` true), or nothing to say (`*set` false).
bool ClipboardOverride(std::u16string* text, bool* present);

} // namespace qb::test::internal
