#include "download/ReceiveThread.h"

#include "base/Results.h"
#include "core/AppState.h"
#include "download/SpeedLimit.h"
#include "download/TransferState.h"
#include "download/WholeBody.h"
#include "http/HttpClient.h"
#include "storage/FileDigest.h"
#include "storage/FileStream.h"

std::atomic<bool> gStopReceiving{false};

namespace {

// How the receive loop ended. Each end is one message to the dialog, or none (ReportEnd).
enum class End {
    kComplete,      // every announced byte is in the file
    kBodyEnded,     // the server closed a body of unknown length: that is its end
    kCutShort,      // the server closed the body before its announced length
    kReadFailed,    // the connection failed
    kWriteFailed,   // the file did not take the bytes
    kResumeRefused, // a try was answered with the whole resource, and the file kept
    kStopped,       // the dialog ended the transfer: nothing is posted
};

void Post(UINT message) {
    PostMessageW(gTransfer.dialog, message, 0, 0);
}

// Takes the waiting thread messages: pause and resume change *paused; false on a stop.
bool TakeRequests(bool* paused) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == kMsgStopRequest) return false;
        if (message.message == kMsgPauseRequest) *paused = true;
        if (message.message == kMsgResumeRequest) *paused = false;
    }
    return !gStopReceiving.load(std::memory_order_acquire);
}

// While paused, waits for the next request without polling the network or the file.
// false on a stop.
bool WaitWhilePaused(bool* paused) {
    while (*paused) {
        MSG message;
        if (GetMessageW(&message, nullptr, 0, 0) <= 0) return false;
        if (message.message == kMsgResumeRequest) *paused = false;
        if (gStopReceiving.load(std::memory_order_acquire)) return false;
    }
    return true;
}

// Between two reads: takes the requests and waits out a pause. false when the thread is to
// stop.
bool MayGoOn(bool* paused) {
    for (;;) {
        if (!TakeRequests(paused)) return false;
        if (!*paused) return true;
        if (!WaitWhilePaused(paused)) return false;
    }
}

// The one place the thread counts bytes: they are in the file. The thread is the count's
// only writer while it runs.
void CountReceived(DWORD count) {
    const uint64_t received = gTransfer.received.load(std::memory_order_relaxed);
    gTransfer.received.store(received + count, std::memory_order_relaxed);
}

// Moves up to *count body bytes into the file: straight from the connection where the client
// and the file allow it, else read into piece and written from there. The read's result;
// *count the bytes now in the file; *stored false when the file refused bytes.
int MovePiece(BYTE* piece, DWORD* count, bool* stored) {
    const DWORD wanted = *count;
    *stored = true;
    const int moved = gHttpClient->ReadToFile(gFileStream->Handle(), count);
    if (moved == kSocketMoveFileFailed) *stored = false;
    if (moved != kSocketMoveUnavailable) return moved == kSocketMoveFileFailed ? kResultOk : moved;
    *count = wanted;
    const int read = gHttpClient->Read(piece, count);
    if (*count > 0) {
        DWORD written = *count;
        *stored = gFileStream->Write(piece, &written) >= 0 && written == *count;
    }
    return read;
}

// Waits delayMs in slices, taking the requests meanwhile (a pause holds the wait), so that
// Pause and Stop act at once. false on a stop.
bool WaitTakingRequests(DWORD delayMs, bool* paused) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (!MayGoOn(paused)) return false;
        const DWORD waited = GetTickCount() - start;
        if (waited >= delayMs) return true;
        const DWORD left = delayMs - waited;
        Sleep(left < kRetryPollMs ? left : kRetryPollMs);
    }
}

// Copies the body into the file until one of the ends. Reads wait at most the client's
// timeout; a failed read and a body cut short are the two ends a retry takes over.
End ReceiveBody(bool* paused) {
    const uint64_t total = gTransfer.totalSize.load(std::memory_order_relaxed);
    uint64_t remaining = total - gTransfer.received.load(std::memory_order_relaxed);
    DWORD lastReport = GetTickCount();
    BYTE piece[kReceivePieceSize];
    SpeedLimit limit;
    limit.Start(gTransfer.maxSpeed, lastReport);
    const DWORD largestRead = limit.LargestRead(kReceivePieceSize);

    for (;;) {
        if (!MayGoOn(paused)) return End::kStopped;
        if (remaining == 0) return End::kComplete;

        DWORD count = remaining < largestRead ? static_cast<DWORD>(remaining) : largestRead;
        bool stored = true;
        const int read = MovePiece(piece, &count, &stored);
        // A stop cuts the read short: what it brought is still written, nothing is posted.
        const bool stopping = gStopReceiving.load(std::memory_order_acquire);
        if (!stored) return stopping ? End::kStopped : End::kWriteFailed;
        if (count > 0) {
            CountReceived(count);
            remaining -= count;
        }
        if (stopping) return End::kStopped;
        if (read < 0) return End::kReadFailed;
        if (count == 0) return total == kUnknownSize ? End::kBodyEnded : End::kCutShort;

        const DWORD now = GetTickCount();
        if (now - lastReport > kProgressIntervalMs) {
            Post(kMsgProgress);
            lastReport = now;
        }
        // Under a cap the thread sleeps between pieces; the sleep ends on a stop.
        const DWORD waitMs = limit.Spend(count, now);
        if (waitMs > 0 && !WaitTakingRequests(waitMs, paused)) return End::kStopped;
    }
}

// A file is reported complete only once its data is on the device and the file is closed:
// the platform may keep written bytes back, and a failure to store them (a full device)
// then shows only at the flush or the close. Such a failure is a storage error, like a
// failed write.
// A checksum asked for is checked then, on the stored file, here off the dialog's thread so
// that the dialog stays responsive while a large file is read back; a stop ends the check
// and posts nothing.
void Finish() {
    const bool stored = gFileStream->Flush() > 0 && gFileStream->CloseFile() > 0;
    if (!stored) {
        Post(kMsgStorageError);
        return;
    }
    if (gChecksum.kind == DigestKind::kNone) {
        Post(kMsgFinished);
        return;
    }
    const int matches = FileMatchesChecksum(gTransfer.target, gChecksum, &gStopReceiving);
    if (matches == kResultCancelled) return;
    Post(matches > 0 ? kMsgFinished : matches == 0 ? kMsgChecksumMismatch : kMsgStorageError);
}

bool Retriable(End end) {
    return end == End::kReadFailed || end == End::kCutShort;
}

// What asking again from the file's length brought.
enum class Rerequest { kContinues, kFailed, kRefused, kWholeBody };

// The missing range from the server: a refusal (a 4xx, a server that ignores the range or
// wants other credentials) ends the tries; a 5xx or a failed connection may be tried again.
// A status line that does not parse is no answer: like a failed connection, it is tried
// again.
Rerequest AskForTheRest() {
    const int result = gHttpClient->Reopen(gTransfer.received.load(std::memory_order_relaxed));
    if (result == kHttpAccepted) return Rerequest::kContinues;
    if (result == kHttpRefused) {
        return gHttpClient->LastStatus() >= kFirstServerErrorStatus ? Rerequest::kFailed
                                                                    : Rerequest::kRefused;
    }
    if (ServerSentWholeBody()) return Rerequest::kWholeBody;
    return gHttpClient->IsOpen() ? Rerequest::kRefused : Rerequest::kFailed;
}

// Receives the body; after a network failure tries again up to gTransfer.retries times,
// each time from what the file holds, so no byte is fetched twice.
End ReceiveWithRetries() {
    bool paused = false;
    End end = ReceiveBody(&paused);
    for (DWORD attempt = 1; Retriable(end) && attempt <= gTransfer.retries; ++attempt) {
        PostMessageW(gTransfer.dialog, kMsgRetrying, attempt, 0);
        if (!WaitTakingRequests(RetryDelayMs(attempt), &paused)) return End::kStopped;
        Rerequest asked = AskForTheRest();
        if (gStopReceiving.load(std::memory_order_acquire)) return End::kStopped;
        if (asked == Rerequest::kRefused) return End::kReadFailed;
        if (asked == Rerequest::kWholeBody) {
            // As for an existing file at the start: hidden, the file starts over with the
            // whole body; shown, the user learns the server can't resume.
            if (!gTransfer.startOverOnWholeBody) return End::kResumeRefused;
            if (!StartFileOver(gTransfer.target)) return End::kWriteFailed;
            Post(kMsgStartedOver);
            asked = Rerequest::kContinues;
        }
        end = asked == Rerequest::kContinues ? ReceiveBody(&paused) : End::kReadFailed;
    }
    return end;
}

// After a failed write the count is what the file holds: the platform takes writes into
// its buffer and learns only when storing them that the device is full, so bytes counted as
// written may never have reached the file.
void CountWhatTheFileHolds() {
    uint64_t size = 0;
    if (gFileStream->GetSize(&size) > 0) gTransfer.received.store(size, std::memory_order_relaxed);
}

void ReportEnd(End end) {
    switch (end) {
    case End::kComplete:
        Post(kMsgProgress); // the last count, which the interval may have held back
        Finish();
        return;
    case End::kBodyEnded:
        Finish();
        return;
    case End::kCutShort:
    case End::kReadFailed:
        Post(kMsgNetworkError);
        return;
    case End::kWriteFailed:
        CountWhatTheFileHolds();
        Post(kMsgStorageError);
        return;
    case End::kResumeRefused:
        Post(kMsgResumeRefused);
        return;
    case End::kStopped:
        return;
    }
}

} // namespace

DWORD RetryDelayMs(DWORD attempt) {
    DWORD delay = kRetryFirstDelayMs;
    for (DWORD i = 1; i < attempt && delay < kRetryLongestDelayMs; ++i) delay *= 2;
    return delay < kRetryLongestDelayMs ? delay : kRetryLongestDelayMs;
}

DWORD WINAPI ReceiveThreadMain(LPVOID) {
    MSG first;
    PeekMessageW(&first, nullptr, 0, 0, PM_NOREMOVE); // the thread's queue exists from now on
    ReportEnd(ReceiveWithRetries());
    return 0;
}

bool StartReceiveThread(HANDLE* thread, DWORD* threadId) {
    gStopReceiving.store(false, std::memory_order_release);
    *thread = CreateThread(nullptr, 0, ReceiveThreadMain, nullptr, 0, threadId);
    return *thread != nullptr;
}

void EndTransfer(HANDLE* thread, DWORD* threadId, DWORD waitMs) {
    if (*thread != nullptr) {
        gStopReceiving.store(true, std::memory_order_release);
        PostThreadMessageW(*threadId, kMsgStopRequest, 0, 0);
        gHttpClient->Abort();
        // The thread uses the client and the file until it ends: nothing is closed before.
        if (WaitForSingleObject(*thread, waitMs) != WAIT_OBJECT_0) {
            WaitForSingleObject(*thread, INFINITE);
        }
        CloseHandle(*thread);
        *thread = nullptr;
        *threadId = 0;
    }
    gFileStream->CloseFile();
    gHttpClient->Close();
}
