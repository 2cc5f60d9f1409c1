// A small program for the terminal tests: one dialog built from DLGTEMPLATEEX bytes (a
// caption, English and Japanese labels, an edit, a check box, a progress bar fed by a
// worker thread, a button that opens a message box, one that hides the dialog for a second,
// OK and Cancel), shown with the terminal
// renderer and run by a message loop, as the downloader's own start-up does.
//
//   tui_sample_app OUTCOME [--hidden]
//
// Writes its process id to OUTCOME.pid at start and "key=value" lines to OUTCOME at the end:
// result (IDOK, IDCANCEL, or 0 hidden), edit (UTF-8), check, box (the last message box's
// answer, 0 if none), mode (terminal, headless or hidden). --hidden never shows the dialog
// and quits once the progress reached its end.
#include <windows.h>

#include <commctrl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "qb/terminal.h"

namespace {

constexpr int kIdEdit = 101;
constexpr int kIdResume = 102;
constexpr int kIdProgress = 103;
constexpr int kIdInfo = 104;
constexpr int kIdScreenSize = 105;
constexpr int kIdLater = 106;
constexpr UINT kMsgProgress = WM_APP + 1;
constexpr UINT_PTR kTimerScreen = 1;
constexpr UINT_PTR kTimerShowAgain = 2;
constexpr UINT kHiddenForMs = 1000;
constexpr UINT kScreenCheckMs = 50;
constexpr DWORD kProgressStepMs = 20;
constexpr int kProgressStep = 5;
constexpr int kProgressEnd = 100;
constexpr int kEditCapacity = 256;
constexpr int kTextCapacity = 64;
// The dialog's client area in dialog units (4 per column, 8 per row).
constexpr short kDialogCx = 192;
constexpr short kDialogCy = 80;

struct Outcome {
    INT_PTR result = 0;
    std::string edit;
    UINT check = 0;
    int box = 0;
    const char* mode = "terminal";
};

Outcome gOutcome;
bool gHidden = false;
HANDLE gWorker = nullptr;
int gScreenColumns = 0;
int gScreenRows = 0;

// ---- DLGTEMPLATEEX bytes ------------------------------------------------------------------

class TemplateWriter {
public:
    void Word(WORD v) { Raw(&v, sizeof v); }
    void Dword(DWORD v) { Raw(&v, sizeof v); }
    void Short(short v) { Raw(&v, sizeof v); }
    void Text(const char16_t* text) {
        do Word(static_cast<WORD>(*text));
        while (*text++ != 0);
    }
    void AlignDword() {
        while (bytes_.size() % 4 != 0) bytes_.push_back(0);
    }
    const std::vector<BYTE>& Bytes() const { return bytes_; }

private:
    void Raw(const void* p, size_t n) {
        const BYTE* b = static_cast<const BYTE*>(p);
        bytes_.insert(bytes_.end(), b, b + n);
    }
    std::vector<BYTE> bytes_;
};

constexpr WORD kClassButton = 0x0080;
constexpr WORD kClassEdit = 0x0081;
constexpr WORD kClassStatic = 0x0082;

struct Item {
    DWORD style;
    short x, y, cx, cy;
    DWORD id;
    WORD classOrdinal;         // 0: classText
    const char16_t* classText; // a registered class name
    const char16_t* title;
};

std::vector<BYTE> gTemplate;

const void* BuildTemplate() {
    const Item items[] = {
        {SS_LEFT, 8, 0, 176, 8, 0xFFFF, kClassStatic, nullptr, u"English: fetch one file"},
        {SS_LEFT, 8, 8, 176, 8, 0xFFFF, kClassStatic, nullptr, u"日本語: ファイルを一つ取得"},
        {SS_LEFT, 8, 16, 20, 8, 0xFFFF, kClassStatic, nullptr, u"URL:"},
        {ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 32, 16, 152, 8, kIdEdit, kClassEdit,
         nullptr, u""},
        {BS_AUTOCHECKBOX | WS_TABSTOP, 8, 32, 80, 8, kIdResume, kClassButton, nullptr, u"&Resume"},
        {0, 8, 40, 176, 8, kIdProgress, 0, PROGRESS_CLASSW, u""},
        {SS_LEFT, 8, 48, 176, 8, kIdScreenSize, kClassStatic, nullptr, u"Screen"},
        {BS_PUSHBUTTON | WS_TABSTOP, 8, 64, 40, 8, kIdInfo, kClassButton, nullptr, u"&Info"},
        {BS_PUSHBUTTON | WS_TABSTOP, 52, 64, 40, 8, kIdLater, kClassButton, nullptr, u"&Later"},
        {BS_DEFPUSHBUTTON | WS_TABSTOP, 96, 64, 40, 8, IDOK, kClassButton, nullptr, u"OK"},
        {BS_PUSHBUTTON | WS_TABSTOP, 144, 64, 40, 8, IDCANCEL, kClassButton, nullptr, u"Cancel"},
    };
    TemplateWriter w;
    w.Word(1);      // dlgVer
    w.Word(0xFFFF); // signature: DLGTEMPLATEEX
    w.Dword(0);     // helpID
    w.Dword(0);     // exStyle
    w.Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER);
    w.Word(static_cast<WORD>(sizeof items / sizeof items[0]));
    w.Short(0);
    w.Short(0);
    w.Short(kDialogCx);
    w.Short(kDialogCy);
    w.Word(0); // no menu
    w.Word(0); // the dialog class
    w.Text(u"Terminal sample");
    w.Word(9);   // point size
    w.Word(400); // weight
    w.Word(0);   // italic, charset
    w.Text(u"MS Shell Dlg");
    for (const Item& item : items) {
        w.AlignDword();
        w.Dword(0); // helpID
        w.Dword(0); // exStyle
        w.Dword(item.style | WS_CHILD | WS_VISIBLE);
        w.Short(item.x);
        w.Short(item.y);
        w.Short(item.cx);
        w.Short(item.cy);
        w.Dword(item.id);
        if (item.classOrdinal != 0) {
            w.Word(0xFFFF);
            w.Word(item.classOrdinal);
        } else {
            w.Text(item.classText);
        }
        w.Text(item.title);
        w.Word(0); // no creation data
    }
    gTemplate = w.Bytes();
    return gTemplate.data();
}

// ---- The dialog ---------------------------------------------------------------------------

DWORD WINAPI ProgressWorker(LPVOID param) {
    HWND dialog = static_cast<HWND>(param);
    for (int pos = 0; pos <= kProgressEnd; pos += kProgressStep) {
        PostMessageW(dialog, kMsgProgress, static_cast<WPARAM>(pos), 0);
        Sleep(kProgressStepMs);
    }
    return 0;
}

void FollowScreenSize(HWND dialog) {
    int columns = GetSystemMetrics(SM_CXSCREEN) / 4;
    int rows = GetSystemMetrics(SM_CYSCREEN) / 8;
    if (columns == gScreenColumns && rows == gScreenRows) return;
    gScreenColumns = columns;
    gScreenRows = rows;
    char text[kTextCapacity];
    std::snprintf(text, sizeof text, "Screen %dx%d", columns, rows);
    WCHAR wide[kTextCapacity];
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, kTextCapacity);
    SetDlgItemTextW(dialog, kIdScreenSize, wide);
    // Stay in the middle of the screen, as DS_CENTER placed it.
    RECT r;
    GetWindowRect(dialog, &r);
    int width = r.right - r.left;
    int height = r.bottom - r.top;
    int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    SetWindowPos(dialog, nullptr, x < 0 ? 0 : x, y < 0 ? 0 : y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Finish(HWND dialog, INT_PTR result) {
    gOutcome.result = result;
    WCHAR text[kEditCapacity];
    UINT n = GetDlgItemTextW(dialog, kIdEdit, text, kEditCapacity);
    char utf8[kEditCapacity * 4];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), utf8, sizeof utf8,
                                    nullptr, nullptr);
    gOutcome.edit.assign(utf8, bytes > 0 ? static_cast<size_t>(bytes) : 0);
    gOutcome.check = IsDlgButtonChecked(dialog, kIdResume);
    DestroyWindow(dialog);
    PostQuitMessage(0);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        SendDlgItemMessageW(dialog, kIdProgress, PBM_SETRANGE, 0, MAKELPARAM(0, kProgressEnd));
        FollowScreenSize(dialog);
        SetTimer(dialog, kTimerScreen, kScreenCheckMs, nullptr);
        gWorker = CreateThread(nullptr, 0, ProgressWorker, dialog, 0, nullptr);
        return TRUE;
    case kMsgProgress:
        SendDlgItemMessageW(dialog, kIdProgress, PBM_SETPOS, wParam, 0);
        if (gHidden && static_cast<int>(wParam) >= kProgressEnd) Finish(dialog, 0);
        return TRUE;
    case WM_TIMER:
        if (wParam == kTimerShowAgain) {
            KillTimer(dialog, kTimerShowAgain);
            ShowWindow(dialog, SW_SHOW);
        }
        FollowScreenSize(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            Finish(dialog, LOWORD(wParam));
            return TRUE;
        case kIdInfo:
            gOutcome.box = MessageBoxW(dialog, u"情報: 保存先は My Documents です", u"Information",
                                       MB_OKCANCEL | MB_ICONINFORMATION);
            return TRUE;
        case kIdLater: // no window shown for a while: the shell has the terminal meanwhile
            ShowWindow(dialog, SW_HIDE);
            SetTimer(dialog, kTimerShowAgain, kHiddenForMs, nullptr);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_CLOSE:
        Finish(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}

bool WriteText(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTCOME [--hidden]\n", argv[0]);
        return 2;
    }
    std::string outcomePath = argv[1];
    gHidden = argc > 2 && std::strcmp(argv[2], "--hidden") == 0;
    WriteText(outcomePath + ".pid", std::to_string(getpid()) + "\n");

    bool attached = qb::render::terminal::AttachIfTerminal();
    if (!attached) {
        // Headless: the box goes to standard error and answers with its default button.
        gOutcome.mode = "headless";
        gOutcome.box = MessageBoxW(nullptr, u"no terminal", u"Terminal sample", MB_OKCANCEL);
    } else {
        if (gHidden) gOutcome.mode = "hidden";
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        HWND dialog = CreateDialogIndirectParamW(
            nullptr, static_cast<LPCDLGTEMPLATEW>(BuildTemplate()), nullptr, DialogProc, 0);
        if (dialog == nullptr) return 1;
        if (!gHidden) ShowWindow(dialog, SW_SHOW);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (IsWindow(dialog) && IsDialogMessageW(dialog, &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (gWorker != nullptr) {
            WaitForSingleObject(gWorker, INFINITE);
            CloseHandle(gWorker);
        }
    }
    std::string text = "mode=" + std::string(gOutcome.mode) + "\n" +
                       "result=" + std::to_string(gOutcome.result) + "\n" +
                       "edit=" + gOutcome.edit + "\n" + "check=" + std::to_string(gOutcome.check) +
                       "\n" + "box=" + std::to_string(gOutcome.box) + "\n";
    return WriteText(outcomePath, text) ? 0 : 1;
}
