#include "core/AppState.h"

HINSTANCE gInstance = nullptr;

HttpClient* gHttpClient = nullptr;
FileStream* gFileStream = nullptr;
FileSystem* gFileSystem = nullptr;
PropertyList* gDefaultHeaders = nullptr;
PropertyList* gRunParameters = nullptr;
HICON gSmallIcon = nullptr;

WString gUrl;
WString gPath;
WString gCaption;
BOOL gShowWindow = kDefaultShowWindow;
BOOL gResume = kDefaultResume;
LONG gRetry = kDefaultRetry;
DWORD gTimeoutSeconds = kDefaultTimeoutSeconds;
DWORD gMaxSpeed = 0;
BOOL gContentDisposition = FALSE;
Checksum gChecksum;
BOOL gAutomaticMode = FALSE;
BOOL gWindowsSeen = TRUE;

DWORD gProxyEnabled = kDefaultEnableProxy;
WString gProxyServer;
WORD gProxyPort = kDefaultProxyPort;
WString gProxyUser;
WString gProxyPassword;
