// The start-up choice between the terminal and headless, and the give-back at exit.
#include <unistd.h>

#include <cstdlib>

#include "platform/render/terminal/terminal_renderer.h"
#include "platform/render/terminal/terminfo_query.h"
#include "qb/terminal.h"

namespace qb::render::terminal {

namespace {

TerminalRenderer* gRenderer = nullptr;
bool gExitHookSet = false;

void GiveBackAtExit() {
    DetachTerminal();
}

} // namespace

bool AttachIfTerminal() {
    if (gRenderer != nullptr) return true;
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return false;
    if (!UsableTerminalType(std::getenv("TERM"), STDOUT_FILENO)) return false;
    auto* renderer = new TerminalRenderer;
    if (!renderer->Open()) {
        delete renderer;
        return false;
    }
    gRenderer = renderer;
    if (!gExitHookSet) gExitHookSet = std::atexit(GiveBackAtExit) == 0;
    SetRenderer(renderer);
    return true;
}

void DetachTerminal() {
    TerminalRenderer* renderer = gRenderer;
    if (renderer == nullptr) return;
    gRenderer = nullptr;
    if (GetRenderer() == renderer) SetRenderer(nullptr);
    renderer->Close();
    delete renderer;
}

bool TerminalAttached() {
    return gRenderer != nullptr && GetRenderer() == gRenderer;
}

} // namespace qb::render::terminal
