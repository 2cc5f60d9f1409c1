// The receive thread of one download: copies the HTTP client's body into the file stream in
// pieces of what the connection has, up to kReceivePieceSize bytes (straight from the
// connection into the file where the platform can, else through a buffer), posts progress at most
// every kProgressIntervalMs, tries again after a network failure (gTransfer.retries times, each
// posting kMsgRetrying and asking for the rest from what was received), and ends with one message
// to the dialog (finished, network error or storage error) or, on a stop request, with none. The
// thread works on the shared client and file stream of the process and on gTransfer.
#pragma once

#include <atomic>

#include <windows.h>

constexpr DWORD kReceivePieceSize = 64 * 1024; // the most one step moves into the file
constexpr DWORD kProgressIntervalMs = 100;     // at most one progress message per interval
// Tries after a network failure wait 1, 2, 4 ... seconds, at most 30.
constexpr DWORD kRetryFirstDelayMs = 1000;
constexpr DWORD kRetryLongestDelayMs = 30000;
constexpr DWORD kRetryPollMs = 50; // how often the wait looks for a stop
// Statuses from here on are the server's trouble, worth another try.
constexpr DWORD kFirstServerErrorStatus = 500;

// Set by the dialog before it shuts the connection down to stop the thread: the thread then
// ends after the read in progress without posting anything.
extern std::atomic<bool> gStopReceiving;

// The wait before try number `attempt` (from 1): 1, 2, 4 ... seconds, at most
// kRetryLongestDelayMs.
DWORD RetryDelayMs(DWORD attempt);

DWORD WINAPI ReceiveThreadMain(LPVOID unused);

// Starts the receive thread (gStopReceiving cleared). true and the handle and id when it
// runs.
bool StartReceiveThread(HANDLE* thread, DWORD* threadId);

// Ends the receive thread, if there is one: posts the stop request, shuts the connection
// down so that a blocked read returns, waits waitMs and then as long as the thread still
// runs, and closes the handle. Then closes the file stream and the client's connection.
void EndTransfer(HANDLE* thread, DWORD* threadId, DWORD waitMs);
