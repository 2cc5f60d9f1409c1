// The clipboard: text only. GetClipboardData(CF_UNICODETEXT) gives what this process put
// there, else the desktop's clipboard read with `wl-paste` (Wayland) or `xclip -o` (X11)
// when one of them and a display are there, else nothing. The observer
// (qb/observer.h) can supply it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "platform/kernel/utf8_codec.h"
#include "platform/user/message_queue.h"
#include "qb/observer.h"

extern char** environ;

namespace {

constexpr size_t kMaxClipboardBytes = 1u << 20; // what is read of the desktop's clipboard
constexpr int kClipboardTimeoutMs = 1000;       // a clipboard tool that hangs is given up
constexpr size_t kReadChunk = 4096;

std::mutex gLock;
DWORD gOpenedBy = 0;    // thread that has the clipboard open, 0 if none
bool gLocalSet = false; // this process put text there
std::u16string gLocalText;
HGLOBAL gLastData = nullptr; // the block handed out last; freed when replaced

// Runs the tool and reads what it prints, within the time and size limits.
bool RunTool(const char* const argv[], std::string* out) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc =
        posix_spawnp(&pid, argv[0], &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (rc != 0) {
        close(pipeFds[0]);
        return false;
    }
    bool complete = false;
    int waited = 0;
    char chunk[kReadChunk];
    while (waited < kClipboardTimeoutMs && out->size() < kMaxClipboardBytes) {
        pollfd fd{pipeFds[0], POLLIN, 0};
        constexpr int kSliceMs = 50;
        int ready = poll(&fd, 1, kSliceMs);
        if (ready == 0) {
            waited += kSliceMs;
            continue;
        }
        if (ready < 0) break;
        ssize_t n = read(pipeFds[0], chunk, sizeof chunk);
        if (n <= 0) {
            complete = n == 0;
            break;
        }
        out->append(chunk, static_cast<size_t>(std::min<size_t>(static_cast<size_t>(n),
                                                                kMaxClipboardBytes - out->size())));
    }
    close(pipeFds[0]);
    if (!complete) kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    return complete && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::u16string ReadDesktopClipboard() {
    std::string bytes;
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* x11 = std::getenv("DISPLAY");
    if (wayland != nullptr && *wayland != 0) {
        const char* argv[] = {"wl-paste", "--no-newline", "--type", "text/plain", nullptr};
        if (RunTool(argv, &bytes)) return qb::kernel::Utf8ToUtf16(bytes);
        bytes.clear();
    }
    if (x11 != nullptr && *x11 != 0) {
        const char* argv[] = {"xclip", "-o", "-selection", "clipboard", nullptr};
        if (RunTool(argv, &bytes)) return qb::kernel::Utf8ToUtf16(bytes);
    }
    return u"";
}

// The clipboard's text now; false when it holds none.
bool CurrentText(std::u16string* text) {
    std::u16string supplied;
    bool present = false;
    if (qb::user::ObserveClipboardText(&supplied, &present)) {
        *text = supplied;
        return present;
    }
    {
        std::lock_guard<std::mutex> lock(gLock);
        if (gLocalSet) {
            *text = gLocalText;
            return true;
        }
    }
    *text = ReadDesktopClipboard();
    return !text->empty();
}

bool OpenedHere() {
    return gOpenedBy != 0 && gOpenedBy == qb::user::CurrentThreadId();
}

} // namespace

BOOL WINAPI OpenClipboard(HWND) {
    std::lock_guard<std::mutex> lock(gLock);
    DWORD self = qb::user::CurrentThreadId();
    if (gOpenedBy != 0 && gOpenedBy != self) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    gOpenedBy = self;
    return TRUE;
}

BOOL WINAPI CloseClipboard(void) {
    std::lock_guard<std::mutex> lock(gLock);
    if (!OpenedHere()) {
        SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
        return FALSE;
    }
    gOpenedBy = 0;
    return TRUE;
}

BOOL WINAPI EmptyClipboard(void) {
    std::lock_guard<std::mutex> lock(gLock);
    if (!OpenedHere()) {
        SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
        return FALSE;
    }
    gLocalSet = true;
    gLocalText.clear();
    return TRUE;
}

HANDLE WINAPI SetClipboardData(UINT format, HANDLE data) {
    if (format != CF_UNICODETEXT || data == nullptr) return nullptr;
    const auto* units = static_cast<const WCHAR*>(GlobalLock(data));
    if (units == nullptr) return nullptr;
    size_t capacity = GlobalSize(data) / sizeof(WCHAR);
    std::u16string text;
    for (size_t i = 0; i < capacity && units[i] != 0; ++i) text.push_back(units[i]);
    GlobalUnlock(data);
    std::lock_guard<std::mutex> lock(gLock);
    if (!OpenedHere()) {
        SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
        return nullptr;
    }
    gLocalSet = true;
    gLocalText = text;
    GlobalFree(data); // the clipboard owns the block now
    return data;
}

HANDLE WINAPI GetClipboardData(UINT format) {
    {
        std::lock_guard<std::mutex> lock(gLock);
        if (!OpenedHere()) {
            SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
            return nullptr;
        }
    }
    if (format != CF_UNICODETEXT && format != CF_TEXT) return nullptr;
    std::u16string text;
    if (!CurrentText(&text)) return nullptr;
    HGLOBAL block = nullptr;
    if (format == CF_UNICODETEXT) {
        block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(WCHAR));
        if (auto* p = static_cast<WCHAR*>(GlobalLock(block))) {
            std::memcpy(p, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
            GlobalUnlock(block);
        }
    } else {
        std::string narrow = qb::kernel::Utf16ToUtf8(text.data(), text.size());
        block = GlobalAlloc(GMEM_MOVEABLE, narrow.size() + 1);
        if (auto* p = static_cast<char*>(GlobalLock(block))) {
            std::memcpy(p, narrow.c_str(), narrow.size() + 1);
            GlobalUnlock(block);
        }
    }
    std::lock_guard<std::mutex> lock(gLock);
    if (gLastData != nullptr) GlobalFree(gLastData);
    gLastData = block;
    return block;
}

BOOL WINAPI IsClipboardFormatAvailable(UINT format) {
    if (format != CF_UNICODETEXT && format != CF_TEXT) return FALSE;
    std::u16string text;
    return CurrentText(&text) ? TRUE : FALSE;
}
