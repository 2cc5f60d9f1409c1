// The inner side of the renderer boundary: platform/user plugs its windows and its message
// queues in here, so that this library needs nothing from it.
#pragma once

#include "qb/render.h"

namespace qb::render::internal {

// What platform/user provides: turning input into messages and drawing the windows.
struct InputSink {
    void (*key)(Key key, unsigned modifiers);
    void (*character)(char16_t ch, unsigned modifiers);
    void (*paste)(const char16_t* text, size_t length);
    void (*click)(int column, int row);
    void (*closeActive)();
    void (*resized)(int oldColumns, int oldRows); // the screen had that size before
    void (*wake)();                               // wakes the GUI thread's wait
    void (*compose)(Screen* screen); // draws every visible window onto the blank screen
    bool (*anyVisible)();
};
void SetInputSink(const InputSink* sink);

// The screen changed (any thread); the GUI thread's loop then tells the renderer.
void MarkScreenChanged();
// On the GUI thread, from the message loop: tells the renderer if the screen changed.
void FlushScreenChanged();
// The renderer, if the calling thread is the one it is attached to; else null.
Renderer* RendererOfThisThread();
// Cheap check (one atomic load): false when the calling thread can't be the renderer's.
bool MaybeRendererThread();
// Whether any renderer is attached (the modal windows then wait for a person).
bool RendererAttached();
void RendererBeep();

} // namespace qb::render::internal
