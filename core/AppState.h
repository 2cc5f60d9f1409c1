// The process-wide state of Quillbrook: written by start-up before the main dialog exists
// and read afterwards by the download and the dialogs, on the main thread (the proxy items
// also change in the proxy dialog, between downloads). The one exception is the receive
// thread of a download: it uses gHttpClient and gFileStream while it
// runs, and the main thread leaves those two alone until it has ended the thread (see
// download/ReceiveThread.h), except for the client's Abort, which is safe from any thread.
#pragma once

#include <windows.h>

#include "base/Checksum.h"
#include "base/WString.h"

class FileStream;
class FileSystem;
class HttpClient;
class PropertyList;

// Defaults of the run parameters and the proxy settings.
constexpr BOOL kDefaultShowWindow = TRUE;
constexpr BOOL kDefaultResume = TRUE;
constexpr LONG kDefaultRetry = 0;
constexpr LONG kLargestRetry = 0x7FFFFFFF;
constexpr DWORD kDefaultTimeoutSeconds = 60;
// The longest timeout whose milliseconds fit a DWORD; longer ones are cut to it.
constexpr DWORD kLargestTimeoutSeconds = 4294967;
constexpr DWORD kDefaultEnableProxy = 0;
constexpr WORD kDefaultProxyPort = 8080;
// The automatic-mode window's title unless "Caption" gives another.
// A URL's buffer in units, terminator included: the start step's and each of the history's.
constexpr DWORD kUrlCapacity = 4096;

constexpr WCHAR kDefaultCaption[] = TEXT("Quillbrook v1.15");

// The instance handle every resource lookup uses.
extern HINSTANCE gInstance;

// The five shared objects, created and destroyed by start-up (null outside its run).
extern HttpClient* gHttpClient;       // the one client of every download
extern FileStream* gFileStream;       // the one target file
extern FileSystem* gFileSystem;       // directory test and file creation
extern PropertyList* gDefaultHeaders; // header name to text, sent with every request
extern PropertyList* gRunParameters;  // the command line's items
// Icon resource 104 at 16 by 16, or null when it is missing.
extern HICON gSmallIcon;

// Run parameters.
extern WString gUrl;             // "URL"
extern WString gPath;            // "Path": target folder, or folder and file name
extern WString gCaption;         // "Caption": title of the automatic-mode window
extern BOOL gShowWindow;         // "ShowWindow": automatic-mode window visible, messages shown
extern BOOL gResume;             // "Resume": continue an existing file without asking
extern LONG gRetry;              // "Retry": tries after a network failure, each resuming the file
extern DWORD gTimeoutSeconds;    // "Timeout": connect and each wait for bytes; 0 forever
extern DWORD gMaxSpeed;          // "MaxSpeed": bytes per second, 0 no cap
extern BOOL gContentDisposition; // "ContentDisposition": the server's name for the file
extern Checksum gChecksum;       // "Checksum": the digest the whole file must have
// Set when any run parameter is given; never cleared.
extern BOOL gAutomaticMode;
// FALSE when nothing shows the windows to a person (no terminal): set by the process entry
// before QuillbrookMain. Automatic mode then runs as with the window hidden.
extern BOOL gWindowsSeen;

// Proxy settings from the registry (and the proxy dialog).
extern DWORD gProxyEnabled; // nonzero: use the proxy
extern WString gProxyServer;
extern WORD gProxyPort;
extern WString gProxyUser; // given to the proxy when not empty
extern WString gProxyPassword;
