// The window objects of platform/user: what every window keeps, the handle table that
// validates handles, and the class table of the built-in and registered classes.
//
// A window belongs to the thread that created it; its fields are read and written on that
// thread only. Other threads reach a window only through the handle table (to find the
// queue a message is posted to) and through SendMessageW, which hands the call over to the
// owning thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "platform/render/canvas.h"

namespace qb::user {

class MessageQueue;
struct Window;

enum class Kind {
    kCustom, // a class registered with RegisterClassW
    kDialog, // "#32770"
    kButton,
    kEdit,
    kStatic,
    kComboBox,
    kProgress,
    kTreeView,
    kMenuPopup, // "#32768"
};

using PaintFunction = void (*)(Window* window, render::Canvas& canvas);

struct ClassInfo {
    std::u16string name;
    Kind kind = Kind::kCustom;
    WNDPROC proc = nullptr;
    PaintFunction paint = nullptr;
    HINSTANCE instance = nullptr;
};

// Per-control state kept by the control's own code.
struct ControlState {
    virtual ~ControlState() = default;
};

struct Window {
    HWND handle = nullptr;
    DWORD threadId = 0;
    std::shared_ptr<MessageQueue> queue;
    const ClassInfo* cls = nullptr;
    WNDPROC proc = nullptr;

    Window* parent = nullptr;      // child windows
    HWND owner = nullptr;          // top-level windows
    std::vector<Window*> children; // Z order, top first (also the tab order)

    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect{}; // dialog units: parent client (child) or screen
    UINT_PTR id = 0;
    std::u16string text;
    HINSTANCE instance = nullptr;
    LONG_PTR userData = 0;
    HICON smallIcon = nullptr;
    HICON bigIcon = nullptr;
    HFONT font = nullptr;

    // Dialogs.
    DLGPROC dlgProc = nullptr;
    LONG_PTR msgResult = 0;
    LONG_PTR dlgUser = 0;
    bool dialogEnded = false;
    INT_PTR dialogResult = 0;
    UINT defaultId = 0;       // DM_SETDEFID; 0 = the BS_DEFPUSHBUTTON control
    HWND lastFocus = nullptr; // focus to give back when the dialog is activated
    bool modal = false;
    bool ownerDisabled = false; // a modal dialog disabled its owner

    std::unique_ptr<ControlState> state;

    bool destroyed = false; // DestroyWindow has run; freed when not busy
    int busy = 0;           // calls into its procedure under way
};

// ---- Handle table -------------------------------------------------------------------------

// The window of the handle if it is alive and belongs to the calling thread; else null
// (with ERROR_INVALID_WINDOW_HANDLE for a dead or unknown handle).
Window* FromHandle(HWND hwnd);
// The window of the handle whatever its thread, for the owner thread's checks. Null if dead.
Window* FromHandleAnyThread(HWND hwnd);
// The queue and thread of a live window (any thread): for posting and cross-thread sends.
std::shared_ptr<MessageQueue> QueueOfWindow(HWND hwnd, DWORD* threadId);

// Keeps a window's memory while its procedure runs; the last holder frees a destroyed one.
class WindowRef {
public:
    explicit WindowRef(Window* window);
    ~WindowRef();
    WindowRef(const WindowRef&) = delete;
    WindowRef& operator=(const WindowRef&) = delete;
    Window* Get() const { return window_; }
    bool Alive() const { return window_ != nullptr && !window_->destroyed; }

private:
    Window* window_;
};

// ---- Classes and creation -----------------------------------------------------------------

const ClassInfo* FindClass(const char16_t* name);
const ClassInfo* ClassOfKind(Kind kind);

struct CreateParams {
    DWORD exStyle = 0;
    const ClassInfo* cls = nullptr;
    std::u16string text;
    DWORD style = 0;
    RECT rect{};
    HWND parentOrOwner = nullptr;
    UINT_PTR id = 0;
    HINSTANCE instance = nullptr;
    LPVOID createParam = nullptr;
};
// Creates the window and sends WM_NCCREATE/WM_CREATE; null on failure (window gone).
Window* CreateWindowObject(const CreateParams& params);
void DestroyWindowObject(Window* window);

// Top-level windows of the calling thread's screen, top first.
const std::vector<Window*>& TopLevels();
// Moves a top-level window in the Z order: in front of its band (topmost or not), or to
// the very bottom. Owned windows stay above their owners.
void RaiseTopLevel(Window* window);
void LowerTopLevel(Window* window);

// ---- Shared helpers -------------------------------------------------------------------------

Window* RootOf(Window* window); // the top-level window above a child (itself if top-level)
bool IsDescendant(Window* ancestor, Window* window);
bool ReallyVisible(Window* window); // visible and all its parents visible
bool ReallyEnabled(Window* window); // enabled and all its parents enabled
LRESULT CallProc(Window* window, UINT msg, WPARAM wParam, LPARAM lParam);
// Sends WM_COMMAND (control notification) or WM_NOTIFY to the control's parent.
void NotifyParent(Window* control, WORD code);
LRESULT NotifyParent(Window* control, NMHDR* header);
void Invalidate(); // the screen must be drawn again
void Beep(UINT type);

// Text without the "&" accelerator marks ("&&" is one "&"); *accelerator gets the marked
// letter (0 if none).
std::u16string StripAccelerator(const std::u16string& text, char16_t* accelerator);
char16_t FoldCase(char16_t ch);

} // namespace qb::user
