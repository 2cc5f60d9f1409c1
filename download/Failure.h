// What a failure of a download means for the main dialog, decided in one place: the message
// when the user sees the window, the exit code when the window is hidden in automatic mode,
// and whether Stop follows. The start step and both dialog procedures report through it.
#pragma once

#include <windows.h>

#include "core/ExitCodes.h"

// The automatic dialog's results and flags; interactive mode has none.
struct AutomaticOutcome {
    int exitCode = kExitDownloaded; // the process exit code
    bool closeAfterStop = false;    // window hidden and a failure found: Stop closes the dialog
    bool startError = false;        // a start failure was found: its code outlives a close
    bool completed = false;         // the download finished
};

enum class Failure {
    kConnect,           // the request could not be opened
    kCertificate,       // the server's certificate was refused or the secure handshake failed
    kNoHttps,           // https on a platform without secure sockets
    kNoFileName,        // neither the path nor the server names the file
    kEmptyFileName,     // the server's name for the file is empty
    kResumeRefused,     // the server can't continue the existing file (window shown only)
    kServerFileChanged, // the existing file is longer than the server's (window shown only)
    kNoMemory,          // the start step's work buffers could not be had
    kNetwork,           // reading the body failed or ended early
    kStorage,           // writing the file failed
    kTargetUnusable,    // the file can't be opened or made (a link at its name, a missing folder)
    kChecksum,          // the complete file does not have the digest asked for
};

// Reports failure once. outcome is the automatic dialog's, null in interactive mode. With
// the window hidden: writes the message and the URL as one line on standard error, records
// the exit code, makes the next Stop close the dialog and posts Stop. Otherwise: shows the message,
// then records and posts Stop as the failure asks.
void ReportFailure(HWND dialog, AutomaticOutcome* outcome, Failure failure);

// Where memory ran out: each place has its own words.
enum class NoMemory {
    kSharedObjects, // start-up could not make the objects every download shares
    kDialogBuffer,  // the interactive dialog could not keep its last target
    kWorkBuffers,   // the start step's work buffers (Failure::kNoMemory)
};

// Shows the out-of-memory message of where in a message box owned by owner (null: none).
void ShowNoMemory(HWND owner, NoMemory where);

// What is known of a failed connection, said after Failure::kConnect's first sentence.
enum class ConnectReason {
    kStatus,           // the server's refusal: detail is "<status> <reason phrase>"
    kProxyCredentials, // the proxy wants credentials (407)
    kUnknownHost,      // the name does not resolve: detail is the host as the user wrote it
    kInvalidUrl,       // the URL can't be taken apart
    kInvalidHostName,  // the URL's host name has no ASCII form
};

// Reports Failure::kConnect, its message followed by what happened (reason, with detail).
void ReportConnectFailure(HWND dialog, AutomaticOutcome* outcome, ConnectReason reason,
                          LPCWSTR detail);

// Reports Failure::kCertificate with its message naming host and the reason: the first of the
// certificate's problems (SSL_CERT_FLAG_* bits), or a failed handshake when there are none.
void ReportCertificateFailure(HWND dialog, AutomaticOutcome* outcome, LPCWSTR host, DWORD problems);

// Reports Failure::kTargetUnusable with its message naming the file at path.
void ReportTargetFailure(HWND dialog, AutomaticOutcome* outcome, LPCWSTR path);
