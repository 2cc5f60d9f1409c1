#include "download/Failure.h"

#include "app/AppState.h"
#include "app/ExitCodes.h"
#include "app/Language.h"
#include "base/ErrorLine.h"
#include "resources/resource.h"

namespace {

// What follows the message when the window is shown.
enum class Then {
    kNothing,       // the dialog stays as it was
    kStop,          // Stop ends the attempt
    kRecordAndStop, // the exit code and the start error are kept, then Stop
};

struct Meaning {
    Failure failure;
    LPCWSTR japanese;
    LPCWSTR english;
    LPCWSTR interactiveEnglish; // the interactive dialog's own English text, or null
    int exitCode;               // automatic mode
    bool startError;            // found before any byte was received
    Then automatic;             // automatic mode, window shown
    Then interactive;
};

constexpr WCHAR kNoNameJa[] =
    TEXT("ファイル名が特定できません。ユーザーファイル名を指定してください。");
constexpr WCHAR kNoNameEn[] = TEXT("File Name cannot be determined. Set user File Name.");

constexpr Meaning kMeanings[] = {
    {Failure::kConnect, TEXT("HTTPサーバへの接続に失敗しました。"),
     TEXT("Failed to connect to HTTP server."), nullptr, kExitNetworkFailed, true,
     Then::kRecordAndStop, Then::kNothing},
    {Failure::kNoFileName, kNoNameJa, kNoNameEn, nullptr, kExitNoFileName, true,
     Then::kRecordAndStop, Then::kStop},
    {Failure::kEmptyFileName, kNoNameJa, kNoNameEn,
     TEXT("Can't solve filename to save. Set user filename."), kExitNoFileName, true,
     Then::kRecordAndStop, Then::kStop},
    // Never hidden: the start step then takes the whole body or fails to connect.
    {Failure::kResumeRefused, TEXT("HTTPサーバがレジュームに対応していません。"),
     TEXT("HTTP server doesn't support resume download."), nullptr, kExitDownloaded, false,
     Then::kStop, Then::kStop},
    {Failure::kNoMemory, TEXT("作業用メモリが足りません。"), TEXT("Not enough memory."), nullptr,
     kExitNoMemory, true, Then::kNothing, Then::kNothing},
    {Failure::kNetwork,
     TEXT("受信中にエラーが発生しました。ネットワークに問題があるか、サーバが応答しません。"),
     TEXT("Error occurred in receiving. There might be some trouble on network or server."),
     nullptr, kExitNetworkFailed, false, Then::kStop, Then::kStop},
    {Failure::kStorage,
     TEXT("受信中にエラーが発生しました。ストレージエリアが不足している可能性があります。"),
     TEXT("Error occurred in receiving. It seems that there is not enough storage area."), nullptr,
     kExitWriteFailed, false, Then::kStop, Then::kStop},
};

const Meaning& MeaningOf(Failure failure) {
    for (const Meaning& meaning : kMeanings) {
        if (meaning.failure == failure) return meaning;
    }
    return kMeanings[0]; // every failure has its row
}

void PostStop(HWND dialog) {
    PostMessageW(dialog, WM_COMMAND, IDC_STOP, 0);
}

} // namespace

void ReportFailure(HWND dialog, AutomaticOutcome* outcome, Failure failure) {
    const Meaning& meaning = MeaningOf(failure);
    const bool automatic = outcome != nullptr;
    const bool hidden = automatic && !gShowWindow;
    const Then then = hidden      ? Then::kRecordAndStop
                      : automatic ? meaning.automatic
                                  : meaning.interactive;
    // Recorded before the message: the user may close the window while it is up.
    if (then == Then::kRecordAndStop) {
        outcome->exitCode = meaning.exitCode;
        if (meaning.startError) outcome->startError = true;
    }
    if (hidden) {
        // Whoever started the program learns why from standard error.
        WriteErrorLine(ByLanguage(meaning.japanese, meaning.english), gUrl.GetWide());
        outcome->closeAfterStop = true;
    } else {
        LPCWSTR english = !automatic && meaning.interactiveEnglish != nullptr
                              ? meaning.interactiveEnglish
                              : meaning.english;
        MessageBoxW(dialog, ByLanguage(meaning.japanese, english),
                    ByLanguage(TEXT("エラー"), TEXT("ERROR")), MB_ICONEXCLAMATION | MB_TOPMOST);
    }
    if (then != Then::kNothing) PostStop(dialog);
}
