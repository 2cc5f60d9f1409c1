// The credentials prompt: asks for a user ID and password when a server (or the proxy)
// demands Basic authentication, names who they will be sent to, and remembers the entries
// for the rest of the run, each for the scheme, host and port it was typed for.
#pragma once

#include <windows.h>

// Characters kept of each entry, terminator included.
constexpr DWORD kCredentialEntryCapacity = 256;
// Units of a remembered origin ("scheme://host:port"), terminator included.
constexpr DWORD kCredentialOriginCapacity = 1100;
// Origins remembered at once; the oldest entry gives way.
constexpr DWORD kRememberedOrigins = 8;

// The HttpClient's credentials callback: runs the prompt (template 111 or 112) modally,
// owned by the main dialog, with realm as the group box caption and the origin, labelled as
// a server or (forProxy) a proxy, above it. The fields open with what was typed for the
// same origin, else empty. 1 after OK (userId and password, buffers of at least
// kCredentialEntryCapacity units, filled); 0 after Cancel; not positive when the prompt
// can't be shown.
int AskForCredentials(LPCWSTR realm, LPCWSTR origin, BOOL forProxy, LPWSTR userId, LPWSTR password,
                      DWORD_PTR data);

// The owner of the prompt (the main dialog); null: none.
void SetCredentialsOwner(HWND owner);

// The last entries typed (for tests), and forgetting every remembered entry.
LPCWSTR RememberedUserId();
LPCWSTR RememberedPassword();
void ForgetCredentials();
