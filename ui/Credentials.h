// The credentials prompt: asks for a user ID and password when a server demands Basic
// authentication, and remembers the last entries for the rest of the run.
#pragma once

#include <windows.h>

// Characters kept of each entry, terminator included.
constexpr DWORD kCredentialEntryCapacity = 256;

// The HttpClient's credentials callback: runs the prompt (template 111 or 112) modally,
// owned by the main dialog, with realm as the group box caption. 1 after OK (userId and
// password, buffers of at least kCredentialEntryCapacity units, filled); 0 after Cancel;
// not positive when the prompt can't be shown.
int AskForCredentials(LPCWSTR realm, LPWSTR userId, LPWSTR password, DWORD_PTR data);

// The owner of the prompt (the main dialog); null: none.
void SetCredentialsOwner(HWND owner);

// The remembered entries (for tests), and forgetting them.
LPCWSTR RememberedUserId();
LPCWSTR RememberedPassword();
void ForgetCredentials();
