// The URLs last started from the interactive dialog, newest first, for the URL field's
// drop-down list; kept in the registry as "UrlHistory" (REG_MULTI_SZ) under the settings key.
// No credentials are ever kept: a URL's "user:password@" is removed before it is stored, and
// again from whatever the registry gives back.
#pragma once

#include <windows.h>

#include "core/AppState.h"

constexpr DWORD kUrlHistoryCount = 10;

struct UrlHistory {
    WCHAR urls[kUrlHistoryCount][kUrlCapacity];
    DWORD count;
};

// The list from the registry; a missing or damaged value gives what it holds whole (at most
// kUrlHistoryCount entries, each an http or https URL that fits), else none.
void LoadUrlHistory(UrlHistory* history);
// url (blanks around it trimmed, credentials removed) becomes the newest entry; an equal
// older one goes, and so does the oldest beyond kUrlHistoryCount. false (the list unchanged)
// for a text that is no http or https URL or does not fit.
bool AddToUrlHistory(UrlHistory* history, LPCWSTR url);
// Stores the list; false when the registry refused it.
bool StoreUrlHistory(const UrlHistory& history);
// The list as the items of the combo box (its text is left alone).
void FillUrlList(HWND combo, const UrlHistory& history);
