#include "app/Startup.h"

#include <commctrl.h>
#include <new>

#include "app/CommandLine.h"
#include "app/RunParameters.h"
#include "base/ErrorLine.h"
#include "base/Results.h"
#include "core/AppState.h"
#include "core/Language.h"
#include "core/Settings.h"
#include "download/Failure.h"
#include "download/MainDialogProcs.h"
#include "http/HttpClient.h"
#include "http/PropertyList.h"
#include "resources/resource.h"
#include "storage/FileStream.h"
#include "storage/FileSystem.h"

namespace {

constexpr DWORD kCommonControlClasses = ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS;
constexpr int kSmallIconSize = 16; // pixels

// Creates the main dialog of the chosen mode; null when that fails.
HWND CreateMainDialog(HINSTANCE instance) {
    const int templateId = ByLanguage(IDD_MAIN_JA, IDD_MAIN_EN);
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(templateId), RT_DIALOG);
    if (found == nullptr) return nullptr;
    HGLOBAL loaded = LoadResource(instance, found);
    if (loaded == nullptr) return nullptr;
    const auto* dialogTemplate = static_cast<LPCDLGTEMPLATEW>(LockResource(loaded));
    if (dialogTemplate == nullptr) return nullptr;
    const DLGPROC procedure = gAutomaticMode ? AutomaticDialogProc : InteractiveDialogProc;
    return CreateDialogIndirectParamW(instance, dialogTemplate, nullptr, procedure,
                                      reinterpret_cast<LPARAM>(instance));
}

// Dispatches messages until the quit message; its parameter is the exit code.
int RunMessageLoop() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

// A window nobody sees would wait for a person forever: automatic mode then runs hidden,
// and says so once.
void HideWhereUnseen() {
    if (!gAutomaticMode || !gShowWindow || gWindowsSeen) return;
    gShowWindow = FALSE;
    WriteErrorLine(
        ByLanguage(TEXT("ウィンドウを表示する端末がないため、ShowWindow=0 として実行します。"),
                   TEXT("No terminal to show the window on: running as with ShowWindow=0.")),
        nullptr);
}

// The interactive dialog without a terminal would wait for keys that cannot come.
bool NothingToDoUnseen() {
    if (gAutomaticMode || gWindowsSeen) return false;
    WriteErrorLine(
        ByLanguage(TEXT("ダイアログを表示する端末がありません。実行パラメータを指定してください"
                        "（quillbrook --help を参照）"),
                   TEXT("no terminal for the dialog; give run parameters, see quillbrook --help")),
        nullptr);
    return true;
}

} // namespace

bool CreateSharedObjects(HINSTANCE instance) {
    gHttpClient = new (std::nothrow) HttpClient;
    gFileStream = new (std::nothrow) FileStream;
    gFileSystem = new (std::nothrow) FileSystem;
    gDefaultHeaders = new (std::nothrow) PropertyList(nullptr);
    gRunParameters = new (std::nothrow) PropertyList(nullptr);
    gSmallIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                               kSmallIconSize, kSmallIconSize, 0));
    return gHttpClient != nullptr && gFileStream != nullptr && gFileSystem != nullptr &&
           gDefaultHeaders != nullptr && gRunParameters != nullptr;
}

bool ApplySettings() {
    const bool accepted = ReadRunParameters(gRunParameters);
    HideWhereUnseen();
    FillDefaultHeaders(gDefaultHeaders);
    LoadProxySettings();
    LoadTransferSettings();
    return accepted;
}

void DestroySharedObjects() {
    delete gHttpClient;
    gHttpClient = nullptr;
    delete gFileStream;
    gFileStream = nullptr;
    delete gFileSystem;
    gFileSystem = nullptr;
    delete gDefaultHeaders;
    gDefaultHeaders = nullptr;
    delete gRunParameters;
    gRunParameters = nullptr;
    if (gSmallIcon != nullptr) DestroyIcon(gSmallIcon);
    gSmallIcon = nullptr;
}

void FillDefaultHeaders(PropertyList* headers) {
    headers->SetWide(TEXT("Accept"), TEXT("*/*"));
    headers->SetWide(TEXT("Connection"), TEXT("close"));
    headers->SetWide(TEXT("User-Agent"), TEXT("Quillbrook/1.15"));
}

int QuillbrookMain(HINSTANCE instance, LPCWSTR commandLine) {
    RecordProgramPath();
    gInstance = instance;
    const INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), kCommonControlClasses};
    InitCommonControlsEx(&controls);
    ResetRunParameters();

    const bool created = CreateSharedObjects(instance);
    int result = kExitStartupFailed;
    if (!created) {
        ShowNoMemory(nullptr, NoMemory::kSharedObjects);
    } else if (ParseCommandLine(commandLine, gRunParameters) != kResultOk) {
        result = kExitCommandLineRejected;
    } else if (!ApplySettings()) {
        result = kExitCommandLineRejected;
    } else {
        HWND dialog = NothingToDoUnseen() ? nullptr : CreateMainDialog(instance);
        if (dialog != nullptr) {
            result = RunMessageLoop();
            // The dialog normally destroyed itself to end the program.
            if (IsWindow(dialog)) DestroyWindow(dialog);
        }
    }
    DestroySharedObjects();
    return result;
}
