// The "msctls_progress32" class: a bar filled in proportion to its position in its range.
#include <commctrl.h>

#include "platform/user/controls.h"

namespace qb::user {

namespace {

constexpr int kDefaultMax = 100;
constexpr int kDefaultStep = 10;

struct ProgressState : ControlState {
    int low = 0;
    int high = kDefaultMax;
    int position = 0;
    int step = kDefaultStep;
};

ProgressState* StateOf(Window* w) {
    if (!w->state) w->state = std::make_unique<ProgressState>();
    return static_cast<ProgressState*>(w->state.get());
}

int Clamp(const ProgressState* s, int value) {
    if (s->high <= s->low) return s->low;
    if (value < s->low) return s->low;
    if (value > s->high) return s->high;
    return value;
}

LRESULT SetPosition(Window* w, int value) {
    ProgressState* s = StateOf(w);
    int old = s->position;
    s->position = Clamp(s, value);
    if (s->position != old) Invalidate();
    return old;
}

} // namespace

LRESULT CALLBACK ProgressProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FromHandle(hwnd);
    if (w == nullptr) return 0;
    ProgressState* s = StateOf(w);
    switch (msg) {
    case PBM_SETRANGE: {
        LRESULT old = MAKELONG(static_cast<WORD>(s->low), static_cast<WORD>(s->high));
        s->low = static_cast<SHORT>(LOWORD(lParam));
        s->high = static_cast<SHORT>(HIWORD(lParam));
        s->position = Clamp(s, s->position);
        Invalidate();
        return old;
    }
    case PBM_SETRANGE32: {
        LRESULT old = MAKELONG(static_cast<WORD>(s->low), static_cast<WORD>(s->high));
        s->low = static_cast<int>(wParam);
        s->high = static_cast<int>(lParam);
        s->position = Clamp(s, s->position);
        Invalidate();
        return old;
    }
    case PBM_GETRANGE: {
        auto* range = reinterpret_cast<PBRANGE*>(lParam);
        if (range != nullptr) *range = PBRANGE{s->low, s->high};
        return wParam ? s->low : s->high;
    }
    case PBM_SETPOS:
        return SetPosition(w, static_cast<int>(wParam));
    case PBM_DELTAPOS:
        return SetPosition(w, s->position + static_cast<int>(wParam));
    case PBM_GETPOS:
        return s->position;
    case PBM_SETSTEP: {
        int old = s->step;
        s->step = static_cast<int>(wParam);
        return old;
    }
    case PBM_STEPIT: {
        // Stepping past the end starts again from the beginning, as on Windows.
        int next = s->position + s->step;
        if (next > s->high) next = s->low + (next - s->high);
        return SetPosition(w, next);
    }
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

void PaintProgress(Window* w, render::Canvas& canvas) {
    ProgressState* s = StateOf(w);
    int width = canvas.Width();
    int filled = 0;
    if (s->high > s->low) {
        long long span = static_cast<long long>(s->high) - s->low;
        filled = static_cast<int>((static_cast<long long>(s->position) - s->low) * width / span);
    }
    int row = (canvas.Height() - 1) / 2;
    for (int x = 0; x < width; ++x) {
        if (x < filled)
            canvas.Put(x, row, U'█', render::kAttrProgress);
        else
            canvas.Put(x, row, U'░', render::kAttrNone);
    }
}

} // namespace qb::user
