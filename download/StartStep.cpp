#include "download/StartStep.h"

#include <new>

#include "base/Results.h"
#include "base/StringUtil.h"
#include "core/AppState.h"
#include "core/ExitCodes.h"
#include "download/MainDialog.h"
#include "download/ProgressFormat.h"
#include "download/ReceiveThread.h"
#include "download/TransferState.h"
#include "download/WholeBody.h"
#include "http/ContentDisposition.h"
#include "http/HttpClient.h"
#include "http/HttpStatus.h"
#include "http/HttpUrl.h"
#include "http/PropertyList.h"
#include "http/ProxyChoice.h"
#include "resources/resource.h"
#include "storage/DevicePath.h"
#include "storage/FileStream.h"
#include "storage/FileSystem.h"
#include "ui/FileExists.h"

namespace {

constexpr DWORD kMillisecondsPerSecond = 1000;
// "<status> <reason phrase>": ten digits at most, a space and the reason.
constexpr DWORD kStatusTextCapacity = 12 + kHttpReasonCapacity;

// Whether url can be taken apart as an http or https URL.
// The parts of the URL being started; large, and the start step runs on the dialog's
// thread only.
HttpUrlParts gStartParts;

// Splits url into gStartParts as the client will: 1; kHttpInvalidHostName when its host name
// has no ASCII form; another result when it is no URL the client takes.
int SplitStartUrl(LPCWSTR url) {
    return HttpSplitUrl(url, &gStartParts);
}

// The four work buffers of one start step, zero-filled.
struct StartBuffers {
    WCHAR url[kUrlCapacity];
    WCHAR target[kTargetPathCapacity];
    WCHAR serverName[kFileNameCapacity];
    WCHAR userName[kFileNameCapacity];
    WCHAR givenName[kFileNameCapacity]; // the name in the URL the user gave, before redirects
};

// One start step: the variant's differences are in automatic and outcome.
class StartStep {
public:
    StartStep(HWND dialog, HANDLE* thread, DWORD* threadId, AutomaticOutcome* outcome,
              LPWSTR lastTarget)
        : dialog_(dialog), thread_(thread), threadId_(threadId), outcome_(outcome),
          lastTarget_(lastTarget) {}

    int Run();

private:
    bool Automatic() const { return outcome_ != nullptr; }
    bool Shown() const { return !Automatic() || gShowWindow; }
    void SetExitCode(int code) {
        if (Automatic()) outcome_->exitCode = code;
    }
    void PostStop() { PostMessageW(dialog_, WM_COMMAND, IDC_STOP, 0); }

    bool ReadTarget();
    bool ReadUrl();
    void SetReferer();
    bool ChooseRoute();
    int OpenRequest();
    bool TryAgainLater(int opened);
    void ReportOpenFailure(int opened);
    bool NameFromDisposition();
    bool ChooseFileName();
    void KeepGivenName();
    bool RedirectChoseHiddenName() const;
    bool OpenTarget(bool* existed);
    bool HandleExistingFile();
    bool Resume();
    bool ServerFileChanged();
    bool Overwrite();
    void StartReceiving();

    void Fail(Failure failure) { ReportFailure(dialog_, outcome_, failure); }

    HWND dialog_;
    HANDLE* thread_;
    DWORD* threadId_;
    AutomaticOutcome* outcome_;
    LPWSTR lastTarget_;
    StartBuffers* buffers_ = nullptr;
};

// Reads a control's text whole: false when it does not fit capacity.
bool ReadField(HWND dialog, int id, LPWSTR buffer, DWORD capacity) {
    const int length = GetWindowTextLengthW(GetDlgItem(dialog, id));
    if (length < 0 || static_cast<DWORD>(length) >= capacity) return false;
    GetDlgItemTextW(dialog, id, buffer, static_cast<int>(capacity));
    return true;
}

int StartStep::Run() {
    buffers_ = new (std::nothrow) StartBuffers();
    if (buffers_ == nullptr) return -1;
    if (Automatic()) outcome_->startError = false;
    if (!ReadTarget()) {
        Fail(Failure::kNoFileName);
    } else if (!ReadUrl()) {
        Fail(Failure::kConnect);
    } else if (const int split = SplitStartUrl(buffers_->url); split != 1) {
        ReportConnectFailure(dialog_, outcome_,
                             split == kHttpInvalidHostName ? ConnectReason::kInvalidHostName
                                                           : ConnectReason::kInvalidUrl,
                             nullptr);
    } else {
        SetReferer();
        KeepGivenName();
        if (!ChooseRoute()) {
            Fail(Failure::kConnect);
        } else if (const int opened = OpenRequest(); opened != kHttpAccepted) {
            if (TryAgainLater(opened)) {
                // nothing to report yet: the dialog's timer starts the next try
            } else if (opened == kSocketCertificateRefused || opened == kSocketHandshakeFailed) {
                // A certificate or handshake failure has its own message, naming the server.
                ReportCertificateFailure(dialog_, outcome_, gHttpClient->ServerHostName(),
                                         gHttpClient->CertificateProblems());
            } else if (opened == kSocketSecureUnsupported) {
                Fail(Failure::kNoHttps);
            } else {
                ReportOpenFailure(opened);
            }
        } else {
            gTransfer.startTries = 0;
            SetButtons(dialog_, ButtonState::kReceiving);
            if (gHttpClient->GetFinalUrl(buffers_->url, kUrlCapacity) > 0) {
                SetDlgItemTextW(dialog_, IDC_URL, buffers_->url);
            }
            uint64_t size = 0;
            if (gHttpClient->GetSize(&size) > 0) {
                gTransfer.totalSize.store(size, std::memory_order_relaxed);
            }
            bool existed = false;
            if (ChooseFileName() && OpenTarget(&existed) && (!existed || HandleExistingFile())) {
                StartReceiving();
            }
        }
    }
    delete buffers_;
    buffers_ = nullptr;
    return 1;
}

bool StartStep::ReadTarget() {
    if (!ReadField(dialog_, IDC_PATH, buffers_->target, kTargetPathCapacity)) return false;
    PathUseDeviceSeparators(buffers_->target);
    // A relative or empty path is where the user stands (the root of a sandboxed device).
    if (!PathFromCurrentDirectory(buffers_->target, kTargetPathCapacity)) return false;
    if (gFileSystem->IsDirectory(buffers_->target) > 0 &&
        !PathEndsWithSeparator(buffers_->target)) {
        if (StrAppend(buffers_->target, kTargetPathCapacity, TEXT("\\")) != 1) return false;
    }
    return StrCopy(buffers_->userName, kFileNameCapacity, PathLastComponent(buffers_->target)) == 1;
}

bool StartStep::ReadUrl() {
    // Automatic mode takes the URL as given: the field shows it without its credentials.
    const bool read = Automatic() ? StrCopy(buffers_->url, kUrlCapacity, gUrl.GetWide()) == 1
                                  : ReadField(dialog_, IDC_URL, buffers_->url, kUrlCapacity);
    // Blanks around a pasted URL are no part of it.
    return read && StrTrimBlanks(buffers_->url) == 1;
}

void StartStep::SetReferer() {
    // The URL as a server reads it (the host in its ASCII form, the path escaped), without
    // its credentials: the Referer goes to whoever the server sends us on to. Nor its query
    // or fragment: a signed link's token is a secret too.
    WCHAR referer[kUrlCapacity];
    if (HttpRequestTarget(&gStartParts, true, referer, kUrlCapacity) != 1) return;
    DWORD end = 0;
    if (StrFindUnit(referer, '?', &end) == 1) referer[end] = 0;
    DWORD slash = 0;
    if (StrFindLastUnit(referer, '/', &slash) != 1) return;
    referer[slash + 1] = 0; // the URL cut after its last "/", the slash kept
    gDefaultHeaders->SetWide(TEXT("Referer"), referer);
}

bool StartStep::ChooseRoute() {
    static ProxyChoice choice; // large; the start step runs on the dialog's thread only
    const int chosen = choice.Load(gProxyEnabled != 0, gProxyServer.GetWide(), gProxyPort,
                                   gProxyUser.GetWide(), gProxyPassword.GetWide());
    if (chosen < 0) return false;
    return gHttpClient->SetProxyChoice(choice) > 0;
}

// kHttpAccepted open; kHttpRefused or a failure as Open says; -1 for any other answer (a
// status line that does not parse is no answer to use: it is tried again as a failed
// connection).
int StartStep::OpenRequest() {
    gHttpClient->SetTimeout(gTimeoutSeconds * kMillisecondsPerSecond);
    WORD status = 0;
    const int opened = gHttpClient->Open(buffers_->url, &status, gDefaultHeaders);
    if (opened == kHttpBadStatusLine) return kResultFail;
    if (opened < 0 || opened == kHttpRefused || opened == kHttpAccepted) return opened;
    return kResultFail;
}

// A first request that failed on the way (refused or reset connection, timeout, a 5xx
// answer, a proxy that would not open the tunnel) is tried again after the retry delay,
// up to Retry times; never after a bad name, a certificate refusal, a 4xx or refused
// credentials. true when a try was scheduled.
bool StartStep::TryAgainLater(int opened) {
    const bool retriable =
        opened == kHttpTunnelRefused ||
        (opened == kHttpRefused && gHttpClient->LastStatus() >= kFirstServerErrorStatus) ||
        (opened == kResultFail && SplitStartUrl(buffers_->url) == 1);
    gTransfer.retries = gRetry > 0 ? static_cast<DWORD>(gRetry) : 0;
    if (!retriable || gTransfer.startTries >= gTransfer.retries) {
        gTransfer.startTries = 0;
        return false;
    }
    ++gTransfer.startTries;
    SetButtons(dialog_, ButtonState::kReceiving); // Stop ends the waiting
    ShowRetrying(dialog_, gTransfer.startTries);
    SetTimer(dialog_, kStartRetryTimer, RetryDelayMs(gTransfer.startTries), nullptr);
    return true;
}

// A failed request, told with what is known of it: the server's status and reason, a proxy
// that wants credentials, a name that does not resolve.
void StartStep::ReportOpenFailure(int opened) {
    const DWORD status = gHttpClient->LastStatus();
    if (opened == kHttpProxyAuthRequired ||
        (opened == kHttpRefused && status == kHttpStatusProxyAuthRequired)) {
        ReportConnectFailure(dialog_, outcome_, ConnectReason::kProxyCredentials, nullptr);
    } else if (opened == kHttpRefused) {
        WCHAR text[kStatusTextCapacity];
        LPCWSTR reason = gHttpClient->LastReason();
        wsprintfW(text, reason[0] != 0 ? TEXT("%u %s") : TEXT("%u"), status, reason);
        ReportConnectFailure(dialog_, outcome_, ConnectReason::kStatus, text);
    } else if (opened == kSocketNameNotFound) {
        ReportConnectFailure(dialog_, outcome_, ConnectReason::kUnknownHost,
                             gHttpClient->ServerHostName());
    } else if (opened == kHttpInvalidHostName) {
        ReportConnectFailure(dialog_, outcome_, ConnectReason::kInvalidHostName, nullptr);
    } else {
        Fail(Failure::kConnect);
    }
}

// Asked for, the name of the response's Content-Disposition, when it is one the server may
// choose; otherwise the URL's, as without it.
bool StartStep::NameFromDisposition() {
    if (!gContentDisposition) return false;
    PropertyRecord record{};
    record.key = TEXT("Content-Disposition");
    record.type = kPropertyWide;
    if (gHttpClient->ResponseHeaders()->Get(&record) != kResultOk || record.type != kPropertyWide) {
        return false;
    }
    return HttpContentDispositionName(record.wideText, buffers_->serverName, kFileNameCapacity) ==
           kResultOk;
}

bool StartStep::ChooseFileName() {
    if (buffers_->userName[0] != 0) {
        SetDlgItemTextW(dialog_, IDC_FILE_NAME, buffers_->userName);
        return true;
    }
    const int named = NameFromDisposition()
                          ? kResultOk
                          : gHttpClient->GetFileName(buffers_->serverName, kFileNameCapacity);
    if (named < 0) {
        Fail(Failure::kNoFileName);
        return false;
    }
    if (buffers_->serverName[0] == 0) {
        Fail(Failure::kEmptyFileName);
        return false;
    }
    if (RedirectChoseHiddenName()) {
        Fail(Failure::kNoFileName);
        return false;
    }
    if (StrAppend(buffers_->target, kTargetPathCapacity, buffers_->serverName) != 1) {
        Fail(Failure::kNoFileName);
        return false;
    }
    SetDlgItemTextW(dialog_, IDC_FILE_NAME, buffers_->serverName);
    return true;
}

void StartStep::KeepGivenName() {
    static HttpUrlParts given; // large; the start step runs on the dialog's thread only
    buffers_->givenName[0] = 0;
    if (HttpSplitUrl(buffers_->url, &given) != 1) return;
    if (HttpFileNameFromTarget(given.url + given.pathStart, buffers_->givenName,
                               kFileNameCapacity) != 1) {
        buffers_->givenName[0] = 0;
    }
}

// A server that redirects must not pick a hidden file ("/.bashrc") in the user's folder:
// such a name is taken only when the URL the user gave names it too.
bool StartStep::RedirectChoseHiddenName() const {
    return buffers_->serverName[0] == u'.' &&
           StrEqual(buffers_->serverName, buffers_->givenName) != 1;
}

bool StartStep::OpenTarget(bool* existed) {
    if (!Automatic() && lastTarget_ != nullptr) {
        StrCopy(lastTarget_, kTargetPathCapacity, buffers_->target);
    }
    if (gFileStream->Open(buffers_->target, FALSE) > 0) {
        *existed = true;
        return true;
    }
    // Made new, exclusively. A name that still can't be opened (a link there, a missing
    // folder) ends the start before a byte is read, naming the file.
    gFileSystem->CreateEmptyFile(buffers_->target, kCreateNewFile);
    *existed = false;
    if (gFileStream->Open(buffers_->target, FALSE) > 0) return true;
    ReportTargetFailure(dialog_, outcome_, buffers_->target);
    return false;
}

bool StartStep::HandleExistingFile() {
    int answer = kFileExistsResume;
    if (Shown() && !(Automatic() && gResume)) {
        answer = AskFileExists();
        // The question has no owner, so the main window may have been closed meanwhile,
        // and the file and the connection with it: nothing goes on for a window that is gone.
        if (!IsWindow(dialog_)) return false;
    } else if (Automatic() && !gResume) {
        answer = kFileExistsOverwrite;
    }
    if (answer == kFileExistsResume) return Resume();
    if (answer == kFileExistsOverwrite) {
        SetExitCode(kExitDownloaded);
        return Overwrite();
    }
    PostStop();
    return false;
}

bool StartStep::Resume() {
    SetExitCode(kExitResumed);
    uint64_t size = 0;
    gFileStream->GetSize(&size);
    gTransfer.received.store(size, std::memory_order_relaxed);
    const uint64_t total = gTransfer.totalSize.load(std::memory_order_relaxed);
    if (size == total) {
        // A checksum is checked by the receive thread, which finds nothing left to read.
        if (gChecksum.kind != DigestKind::kNone) return true;
        gTransfer.active = true;
        PostMessageW(dialog_, kMsgProgress, 0, 0);
        PostMessageW(dialog_, kMsgFinished, 0, 0);
        return false;
    }
    if (total != kUnknownSize && size > total) return ServerFileChanged();
    const int64_t end = 0;
    gFileStream->Seek(&end, nullptr, kSeekEnd);
    const int64_t offset = static_cast<int64_t>(size);
    uint64_t position = 0;
    const int sought = gHttpClient->Seek(&offset, &position, kSeekBegin);
    if (sought == kHttpAccepted) return true;
    // The server can't continue there. It may have sent the whole resource instead.
    const bool wholeBody = ServerSentWholeBody();
    SetExitCode(kExitDownloaded);
    if (Shown()) {
        Fail(Failure::kResumeRefused);
        return false;
    }
    if (!wholeBody) {
        ReportOpenFailure(sought); // nothing to write: the file stays as it was
        return false;
    }
    return Overwrite();
}

// The file here is longer than the server's whole resource: it is no start of it, so nothing
// is appended. Hidden, the body the open brought from position 0 replaces it, as a 200 to a
// range request does; shown, the user is told and decides.
bool StartStep::ServerFileChanged() {
    SetExitCode(kExitDownloaded);
    if (Shown()) {
        Fail(Failure::kServerFileChanged);
        return false;
    }
    return Overwrite();
}

// The file starts over with the body the client holds from its start; a file that can't be
// emptied and opened again ends the start, naming it.
bool StartStep::Overwrite() {
    if (StartFileOver(buffers_->target)) return true;
    ReportTargetFailure(dialog_, outcome_, buffers_->target);
    return false;
}

void StartStep::StartReceiving() {
    gTransfer.retries = gRetry > 0 ? static_cast<DWORD>(gRetry) : 0;
    gTransfer.maxSpeed = gMaxSpeed;
    gTransfer.startOverOnWholeBody = !Shown();
    gTransfer.secure = HttpHasSecureScheme(buffers_->url);
    StrCopy(gTransfer.target, kTargetPathCapacity, buffers_->target);
    ShowBytes(dialog_);
    RestartSpeed(dialog_);
    if (StartReceiveThread(thread_, threadId_)) {
        gTransfer.active = true;
        return;
    }
    // No thread: like a network failure while receiving, reported by the dialog.
    gTransfer.active = true;
    PostMessageW(dialog_, kMsgNetworkError, 0, 0);
}

} // namespace

int RunAutomaticStartStep(HWND dialog, HANDLE* thread, DWORD* threadId, AutomaticOutcome* outcome) {
    return StartStep(dialog, thread, threadId, outcome, nullptr).Run();
}

int RunInteractiveStartStep(HWND dialog, HANDLE* thread, DWORD* threadId, LPWSTR lastTarget) {
    return StartStep(dialog, thread, threadId, nullptr, lastTarget).Run();
}
