#include "core/UrlHistory.h"

#include <new>

#include "base/RegistryKey.h"
#include "base/StringUtil.h"
#include "core/Settings.h"
#include "http/HttpUrl.h"

namespace {

// Every entry with its terminator, and the empty text that ends the list.
constexpr DWORD kStoredUnits = kUrlHistoryCount * kUrlCapacity + 1;

// The text as kept: trimmed, without credentials, a URL the start step can split (not the
// bare "http://" the field begins with). false when it is none.
bool Cleaned(LPCWSTR url, LPWSTR clean) {
    static HttpUrlParts parts; // large; the dialog's thread only
    WCHAR trimmed[kUrlCapacity];
    if (url == nullptr || StrCopy(trimmed, kUrlCapacity, url) != 1) return false;
    if (StrTrimBlanks(trimmed) != 1 || !HttpHasScheme(trimmed)) return false;
    return HttpUrlWithoutCredentials(trimmed, clean, kUrlCapacity) == 1 &&
           HttpSplitUrl(clean, &parts) == 1;
}

} // namespace

void LoadUrlHistory(UrlHistory* history) {
    history->count = 0;
    auto* stored = new (std::nothrow) WCHAR[kStoredUnits];
    if (stored == nullptr) return;
    RegistryKey key;
    DWORD type = 0;
    DWORD size = (kStoredUnits - 1) * sizeof(WCHAR);
    if (key.Open(HKEY_CURRENT_USER, kSettingsKey) == 1 &&
        key.Query(kValueUrlHistory, nullptr, &type, reinterpret_cast<LPBYTE>(stored), &size) == 1 &&
        type == REG_MULTI_SZ) {
        stored[size / sizeof(WCHAR)] = 0; // a value without its final terminator ends here
        for (DWORD at = 0; stored[at] != 0 && history->count < kUrlHistoryCount;) {
            DWORD length = 0;
            StrLength(stored + at, &length);
            if (Cleaned(stored + at, history->urls[history->count])) ++history->count;
            at += length + 1;
        }
    }
    delete[] stored;
}

bool AddToUrlHistory(UrlHistory* history, LPCWSTR url) {
    WCHAR clean[kUrlCapacity];
    if (!Cleaned(url, clean)) return false;
    // The entries before an equal one (or all, the oldest of a full list dropped) move down
    // by one; the new one goes first.
    DWORD end = history->count;
    for (DWORD i = 0; i < history->count; ++i) {
        if (StrEqual(history->urls[i], clean) == 1) {
            end = i;
            break;
        }
    }
    if (end == history->count) {
        if (history->count < kUrlHistoryCount) ++history->count;
        end = history->count - 1;
    }
    for (DWORD i = end; i > 0; --i) StrCopy(history->urls[i], kUrlCapacity, history->urls[i - 1]);
    StrCopy(history->urls[0], kUrlCapacity, clean);
    return true;
}

bool StoreUrlHistory(const UrlHistory& history) {
    auto* stored = new (std::nothrow) WCHAR[kStoredUnits];
    if (stored == nullptr) return false;
    DWORD at = 0;
    for (DWORD i = 0; i < history.count; ++i) {
        DWORD length = 0;
        StrLength(history.urls[i], &length);
        StrCopy(stored + at, kUrlCapacity, history.urls[i]);
        at += length + 1;
    }
    stored[at++] = 0;
    RegistryKey key;
    const bool written = key.Create(HKEY_CURRENT_USER, kSettingsKey) == 1 &&
                         key.Set(kValueUrlHistory, 0, REG_MULTI_SZ,
                                 reinterpret_cast<const BYTE*>(stored), at * sizeof(WCHAR)) == 1;
    delete[] stored;
    return written;
}

void FillUrlList(HWND combo, const UrlHistory& history) {
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (DWORD i = 0; i < history.count; ++i) {
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(history.urls[i]));
    }
}
