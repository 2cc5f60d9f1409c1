#include "download/Failure.h"

#include "base/ErrorLine.h"
#include "core/AppState.h"
#include "core/ExitCodes.h"
#include "core/Language.h"
#include "http/HttpUrl.h"
#include "resources/resource.h"

#include <sslsock.h>

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

// Every out-of-memory text, by where memory ran out.
struct NoMemoryText {
    NoMemory where;
    LPCWSTR japanese;
    LPCWSTR english;
    UINT icon;
};

constexpr NoMemoryText kNoMemoryTexts[] = {
    {NoMemory::kSharedObjects, TEXT("メモリが足りません。"), TEXT("Not enought memory."),
     MB_ICONERROR},
    {NoMemory::kDialogBuffer, TEXT("ソフトウェアの起動に必要なメモリ不足しています。"),
     TEXT("Not enough memory to execute this software."), MB_ICONERROR},
    {NoMemory::kWorkBuffers, TEXT("作業用メモリが足りません。"), TEXT("Not enough memory."),
     MB_ICONEXCLAMATION},
};

constexpr const NoMemoryText& NoMemoryTextOf(NoMemory where) {
    for (const NoMemoryText& text : kNoMemoryTexts) {
        if (text.where == where) return text;
    }
    return kNoMemoryTexts[0]; // every place has its row
}

constexpr WCHAR kNoNameJa[] =
    TEXT("ファイル名が特定できません。ユーザーファイル名を指定してください。");
constexpr WCHAR kNoNameEn[] = TEXT("File Name cannot be determined. Set user File Name.");

constexpr Meaning kMeanings[] = {
    {Failure::kConnect, TEXT("HTTPサーバへの接続に失敗しました。"),
     TEXT("Failed to connect to HTTP server."), nullptr, kExitNetworkFailed, true,
     Then::kRecordAndStop, Then::kNothing},
    // The texts frame the server's name and the reason (CertificateReasons).
    {Failure::kCertificate, TEXT("HTTPSサーバ %s への接続に失敗しました。%s"),
     TEXT("Failed to connect to HTTPS server %s. %s"), nullptr, kExitNetworkFailed, true,
     Then::kRecordAndStop, Then::kNothing},
    {Failure::kNoHttps, TEXT("このシステムではHTTPSに対応していません。"),
     TEXT("HTTPS is not supported on this system."), nullptr, kExitNetworkFailed, true,
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
    // Never hidden either: the start step then takes the whole body.
    {Failure::kServerFileChanged,
     TEXT("サーバのファイルが変更されています。既存のファイルの方が長いため、レジュームできません"
          "。"),
     TEXT("The file on the server has changed: the existing file is longer. It can't be resumed."),
     nullptr, kExitDownloaded, false, Then::kStop, Then::kStop},
    {Failure::kNoMemory, NoMemoryTextOf(NoMemory::kWorkBuffers).japanese,
     NoMemoryTextOf(NoMemory::kWorkBuffers).english, nullptr, kExitNoMemory, true, Then::kNothing,
     Then::kNothing},
    {Failure::kNetwork,
     TEXT("受信中にエラーが発生しました。ネットワークに問題があるか、サーバが応答しません。"),
     TEXT("Error occurred in receiving. There might be some trouble on network or server."),
     nullptr, kExitNetworkFailed, false, Then::kStop, Then::kStop},
    {Failure::kStorage,
     TEXT("受信中にエラーが発生しました。ストレージエリアが不足している可能性があります。"),
     TEXT("Error occurred in receiving. It seems that there is not enough storage area."), nullptr,
     kExitWriteFailed, false, Then::kStop, Then::kStop},
    // The text frames the file's path.
    {Failure::kTargetUnusable,
     TEXT("ファイル %s を書き込み用に開けません。リンクか、存在しないフォルダです。"),
     TEXT("The file %s can't be opened for writing: it is a link, or its folder is missing."),
     nullptr, kExitWriteFailed, true, Then::kRecordAndStop, Then::kStop},
    {Failure::kChecksum, TEXT("ファイルがチェックサムと一致しません。"),
     TEXT("The file does not match its checksum."), nullptr, kExitChecksumMismatch, false,
     Then::kStop, Then::kStop},
};

// Why a secure connection failed, by the first problem the certificate check found.
struct CertificateReason {
    DWORD problem; // an SSL_CERT_FLAG_* bit; 0 matches any (the handshake itself failed)
    LPCWSTR japanese;
    LPCWSTR english;
};

constexpr CertificateReason kCertificateReasons[] = {
    {SSL_CERT_FLAG_ISSUER_UNKNOWN, TEXT("証明書が信頼されていません。"),
     TEXT("The certificate is not trusted.")},
    {SSL_CERT_FLAG_NAME_MISMATCH, TEXT("証明書は別のホストのものです。"),
     TEXT("The certificate is for another host.")},
    {SSL_CERT_FLAG_EXPIRED, TEXT("証明書の有効期限が切れています。"),
     TEXT("The certificate has expired.")},
    {SSL_CERT_FLAG_NOT_YET_VALID, TEXT("証明書はまだ有効ではありません。"),
     TEXT("The certificate is not yet valid.")},
    {SSL_CERT_FLAG_OTHER, TEXT("証明書が正しくありません。"),
     TEXT("The certificate is not valid.")},
    {0, TEXT("安全な接続を確立できませんでした。"),
     TEXT("The secure connection could not be established.")},
};

// What follows "Failed to connect to HTTP server." when more is known; %s is the detail.
struct ConnectDetail {
    ConnectReason reason;
    LPCWSTR japanese;
    LPCWSTR english;
};

constexpr ConnectDetail kConnectDetails[] = {
    {ConnectReason::kStatus, TEXT("%s"), TEXT("%s")},
    {ConnectReason::kProxyCredentials, TEXT("プロキシが認証を求めています。"),
     TEXT("The proxy requires credentials.")},
    {ConnectReason::kUnknownHost, TEXT("ホスト名 %s を解決できませんでした。"),
     TEXT("Could not resolve host %s.")},
    {ConnectReason::kInvalidUrl, TEXT("URLが正しくありません。"), TEXT("Invalid URL.")},
    {ConnectReason::kInvalidHostName, TEXT("ホスト名が正しくありません。"),
     TEXT("Invalid host name.")},
};

// A message box text: wsprintfW writes at most this many units, terminator included.
constexpr DWORD kMessageCapacity = 1024;

const Meaning& MeaningOf(Failure failure) {
    for (const Meaning& meaning : kMeanings) {
        if (meaning.failure == failure) return meaning;
    }
    return kMeanings[0]; // every failure has its row
}

void PostStop(HWND dialog) {
    PostMessageW(dialog, WM_COMMAND, IDC_STOP, 0);
}

// Reports meaning with its texts (japanese, english) as given.
void Report(HWND dialog, AutomaticOutcome* outcome, const Meaning& meaning, LPCWSTR japanese,
            LPCWSTR english) {
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
        // Credentials the URL carries are not for a log.
        WCHAR shown[kHttpUrlCapacity];
        if (HttpUrlWithoutCredentials(gUrl.GetWide(), shown, kHttpUrlCapacity) != 1) shown[0] = 0;
        WriteErrorLine(ByLanguage(japanese, english), shown);
        outcome->closeAfterStop = true;
    } else {
        MessageBoxW(dialog, ByLanguage(japanese, english),
                    ByLanguage(TEXT("エラー"), TEXT("ERROR")), MB_ICONEXCLAMATION | MB_TOPMOST);
    }
    if (then != Then::kNothing) PostStop(dialog);
}

} // namespace

void ShowNoMemory(HWND owner, NoMemory where) {
    const NoMemoryText& text = NoMemoryTextOf(where);
    MessageBoxW(owner, ByLanguage(text.japanese, text.english),
                ByLanguage(TEXT("エラー"), TEXT("ERROR")), text.icon | MB_TOPMOST);
}

void ReportFailure(HWND dialog, AutomaticOutcome* outcome, Failure failure) {
    const Meaning& meaning = MeaningOf(failure);
    LPCWSTR english = outcome == nullptr && meaning.interactiveEnglish != nullptr
                          ? meaning.interactiveEnglish
                          : meaning.english;
    Report(dialog, outcome, meaning, meaning.japanese, english);
}

void ReportConnectFailure(HWND dialog, AutomaticOutcome* outcome, ConnectReason reason,
                          LPCWSTR detail) {
    const ConnectDetail* found = &kConnectDetails[0];
    for (const ConnectDetail& candidate : kConnectDetails) {
        if (candidate.reason == reason) found = &candidate;
    }
    const Meaning& meaning = MeaningOf(Failure::kConnect);
    LPCWSTR text = detail != nullptr ? detail : TEXT("");
    // The first sentence stays as scripts know it; what happened follows it.
    WCHAR japaneseDetail[kMessageCapacity];
    WCHAR englishDetail[kMessageCapacity];
    wsprintfW(japaneseDetail, found->japanese, text);
    wsprintfW(englishDetail, found->english, text);
    WCHAR japanese[kMessageCapacity];
    WCHAR english[kMessageCapacity];
    wsprintfW(japanese, TEXT("%s%s"), meaning.japanese, japaneseDetail);
    wsprintfW(english, TEXT("%s %s"), meaning.english, englishDetail);
    Report(dialog, outcome, meaning, japanese, english);
}

void ReportCertificateFailure(HWND dialog, AutomaticOutcome* outcome, LPCWSTR host,
                              DWORD problems) {
    const CertificateReason* reason = &kCertificateReasons[0];
    for (const CertificateReason& candidate : kCertificateReasons) {
        reason = &candidate;
        if ((problems & candidate.problem) != 0 || candidate.problem == 0) break;
    }
    const Meaning& meaning = MeaningOf(Failure::kCertificate);
    LPCWSTR name = host != nullptr ? host : TEXT("");
    WCHAR japanese[kMessageCapacity];
    WCHAR english[kMessageCapacity];
    wsprintfW(japanese, meaning.japanese, name, reason->japanese);
    wsprintfW(english, meaning.english, name, reason->english);
    Report(dialog, outcome, meaning, japanese, english);
}

void ReportTargetFailure(HWND dialog, AutomaticOutcome* outcome, LPCWSTR path) {
    const Meaning& meaning = MeaningOf(Failure::kTargetUnusable);
    // wsprintfW stops at its capacity: a path that long is shown cut.
    WCHAR japanese[kMessageCapacity];
    WCHAR english[kMessageCapacity];
    wsprintfW(japanese, meaning.japanese, path != nullptr ? path : TEXT(""));
    wsprintfW(english, meaning.english, path != nullptr ? path : TEXT(""));
    Report(dialog, outcome, meaning, japanese, english);
}
