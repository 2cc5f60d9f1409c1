// Input from the renderer (or the test hook) as messages: keys go to the focused control of
// the active window, clicks to the window under the cell, as Windows routes them.
#pragma once

#include "platform/user/message_queue.h"
#include "platform/user/window.h"

namespace qb::user {

// Called when a queued input record is looked at: gives it its window and message. Returns
// false when it has nowhere to go (it is then dropped).
bool ResolveInput(MessageQueue* queue, QueuedMessage* record);
// The dialog manager's handling of a key message for a control of a dialog (Tab, Enter,
// Escape, arrows between buttons, accelerators). True when it took the message.
bool RouteDialogKey(Window* target, const MSG* msg);
// Plugs the input path and the screen composition into the renderer boundary.
void EnsureRendererLink();

} // namespace qb::user
