// The state of one download, shared by the start step, the receive thread and the main
// dialog, and the messages between the dialog and the thread. The counters are written by
// the receive thread and read by the dialog without a lock, as relaxed atomics; everything
// else is written on the main thread before the thread starts, or while it is paused.
#pragma once

#include <atomic>
#include <cstdint>

#include <windows.h>

#include "download/SpeedWindow.h"

// Total size when the response did not announce one.
constexpr uint64_t kUnknownSize = ~static_cast<uint64_t>(0);

// Posted by the receive thread to the main dialog (no parameters unless said).
constexpr UINT kMsgFinished = WM_APP;             // the file is complete
constexpr UINT kMsgProgress = WM_APP + 1;         // counters changed
constexpr UINT kMsgNetworkError = WM_APP + 2;     // reading failed or ended early
constexpr UINT kMsgStorageError = WM_APP + 3;     // writing the file failed
constexpr UINT kMsgRetrying = WM_APP + 4;         // wParam: the try about to be made, from 1
constexpr UINT kMsgResumeRefused = WM_APP + 5;    // a try was answered with the whole resource
constexpr UINT kMsgStartedOver = WM_APP + 6;      // ... and the file starts over with it
constexpr UINT kMsgChecksumMismatch = WM_APP + 7; // the complete file has another digest

// Posted by the dialog to the receive thread (thread messages, parameters 0).
constexpr UINT kMsgPauseRequest = WM_APP;
constexpr UINT kMsgResumeRequest = WM_APP + 1;
constexpr UINT kMsgStopRequest = WM_QUIT;

// Buffers of the start step, in units, terminator included (its URL's: core/AppState.h).
constexpr DWORD kTargetPathCapacity = 4096;
constexpr DWORD kFileNameCapacity = 1024;

// The dialog's timer that starts the next try of a first request that failed.
constexpr UINT_PTR kStartRetryTimer = 2;

struct TransferState {
    HWND dialog = nullptr; // receives every message the thread posts
    std::atomic<uint64_t> totalSize{kUnknownSize};
    // Written by the receive thread alone while it runs (a plain store, no read-modify-write:
    // it changes for every piece); the dialog reads it.
    std::atomic<uint64_t> received{0};
    std::atomic<DWORD> speedStartTime{0}; // GetTickCount when that counting began
    // Tries after a network failure (written before the thread starts).
    DWORD retries = 0;
    // The cap in bytes per second, 0 none (written before the thread starts).
    DWORD maxSpeed = 0;
    // A try answered with the whole resource instead of the rest: true starts the file over
    // with it (window hidden), false ends with "resume refused", as the start step decides
    // for an existing file. The file's path for starting over. Both written before the
    // thread starts.
    bool startOverOnWholeBody = false;
    // The body comes over https (the URL after redirections; written before the thread
    // starts): the completion notice says so.
    bool secure = false;
    WCHAR target[kTargetPathCapacity] = {};
    // A download is under way (main thread only): the thread's messages count only then.
    bool active = false;
    // The received count the dialog last saw and the tick it first saw it (main thread
    // only): a count that stays put shows the transfer as stalled.
    uint64_t seenReceived = 0;
    DWORD seenSince = 0;
    // The try under way after a network failure, until a byte arrives (main thread only).
    DWORD retrying = 0;
    // Tries made of the first request since the user's Start (main thread only).
    DWORD startTries = 0;
    // The received count at the last start or resume, for the speed (main thread only).
    uint64_t receivedAtSpeedStart = 0;
    // The rate shown, over recent unpaused time (main thread only).
    SpeedWindow speed;
};

extern TransferState gTransfer;

// Total unknown, nothing received, no rate: when the dialog opens, after Stop and completion.
void ResetTransferCounters();
// Speed counted from the bytes received now, from now (start and resume); a stall is
// counted from now on.
void RestartSpeedCounting();
// The time until the next RestartSpeedCounting is left out of the speed (Pause).
void PauseSpeedCounting();
