// The process exit codes: how the program tells its caller the outcome.
#pragma once

constexpr int kExitStartupFailed = -1;       // out of memory at start, or no main dialog
constexpr int kExitWindowClosedEarly = -2;   // automatic: closed before the download ended
constexpr int kExitCommandLineRejected = -3; // a key or value too long, an argument refused
constexpr int kExitNoMemory = -4;            // automatic, hidden: the download couldn't start
constexpr int kExitWriteFailed = -5;         // automatic, hidden: writing the file failed
constexpr int kExitNetworkFailed = -6;       // automatic: connection, request or receive failed
constexpr int kExitNoFileName = -7;          // automatic: no file name could be determined
constexpr int kExitChecksumMismatch = -8;    // automatic: the file does not match its checksum
constexpr int kExitInteractive = 0;          // interactive mode ended
constexpr int kExitDownloaded = 1;           // automatic: new or overwritten file
constexpr int kExitResumed = 2;              // automatic: resumed, or already complete
