#include "download/ReceiveThread.h"

#include "app/AppState.h"
#include "download/TransferState.h"
#include "http/HttpClient.h"
#include "storage/FileStream.h"

std::atomic<bool> gStopReceiving{false};

namespace {

void Post(UINT message) {
    PostMessageW(gTransfer.dialog, message, 0, 0);
}

// What the thread does after a request message.
enum class Request { kNone, kStop };

// Takes the waiting thread messages: pause and resume change *paused; stop ends the thread.
Request TakeRequests(bool* paused) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == kMsgStopRequest) return Request::kStop;
        if (message.message == kMsgPauseRequest) *paused = true;
        if (message.message == kMsgResumeRequest) *paused = false;
    }
    return gStopReceiving.load(std::memory_order_acquire) ? Request::kStop : Request::kNone;
}

// While paused, waits for the next request without polling the network or the file.
Request WaitWhilePaused(bool* paused) {
    while (*paused) {
        MSG message;
        if (GetMessageW(&message, nullptr, 0, 0) <= 0) return Request::kStop;
        if (message.message == kMsgResumeRequest) *paused = false;
        if (gStopReceiving.load(std::memory_order_acquire)) return Request::kStop;
    }
    return Request::kNone;
}

// A file is reported complete only once its data is on the device: the platform may keep
// written bytes back, and a failure to store them (a full device) then shows only at the
// flush. Such a failure is a storage error, like a failed write.
void Finish() {
    Post(gFileStream->Flush() > 0 ? kMsgFinished : kMsgStorageError);
}

} // namespace

DWORD WINAPI ReceiveThreadMain(LPVOID) {
    MSG first;
    PeekMessageW(&first, nullptr, 0, 0, PM_NOREMOVE); // the thread's queue exists from now on
    const uint64_t total = gTransfer.totalSize.load(std::memory_order_relaxed);
    uint64_t remaining = total - gTransfer.received.load(std::memory_order_relaxed);
    DWORD lastReport = GetTickCount();
    bool paused = false;
    BYTE piece[kReceivePieceSize];

    for (;;) {
        if (TakeRequests(&paused) == Request::kStop) return 0;
        if (paused) {
            if (WaitWhilePaused(&paused) == Request::kStop) return 0;
            continue;
        }
        if (remaining == 0) {
            Post(kMsgProgress);
            Finish();
            return 0;
        }
        DWORD count =
            remaining < kReceivePieceSize ? static_cast<DWORD>(remaining) : kReceivePieceSize;
        const int read = gHttpClient->Read(piece, &count);
        // A stop cuts the read short: what it brought is still written, nothing is posted.
        const bool stopping = gStopReceiving.load(std::memory_order_acquire);
        if (stopping && count == 0) return 0;
        if (read < 0 && count == 0) {
            Post(kMsgNetworkError);
            return 0;
        }
        if (count == 0) {
            if (total == kUnknownSize) {
                Finish();
            } else {
                Post(kMsgNetworkError);
            }
            return 0;
        }
        DWORD written = count;
        if (gFileStream->Write(piece, &written) < 0 || written != count) {
            if (!stopping) Post(kMsgStorageError);
            return 0;
        }
        if (stopping || read < 0) {
            gTransfer.received.fetch_add(count, std::memory_order_relaxed);
            if (!stopping) Post(kMsgNetworkError);
            return 0;
        }
        gTransfer.received.fetch_add(count, std::memory_order_relaxed);
        gTransfer.bytesSinceSpeedStart.fetch_add(count, std::memory_order_relaxed);
        remaining -= count;
        const DWORD now = GetTickCount();
        if (now - lastReport > kProgressIntervalMs) {
            Post(kMsgProgress);
            lastReport = now;
        }
    }
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
