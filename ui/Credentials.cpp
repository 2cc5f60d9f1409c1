#include "ui/Credentials.h"

#include "base/Bytes.h"
#include "base/StringUtil.h"
#include "core/AppState.h"
#include "core/Language.h"
#include "resources/resource.h"
#include "ui/DialogTemplate.h"

namespace {

// Who the entries go to, as the prompt's first line says it.
constexpr WCHAR kServerLabelJa[] = TEXT("送信先サーバ : ");
constexpr WCHAR kServerLabelEn[] = TEXT("Server : ");
constexpr WCHAR kProxyLabelJa[] = TEXT("プロキシ : ");
constexpr WCHAR kProxyLabelEn[] = TEXT("Proxy : ");
constexpr DWORD kTargetTextCapacity = kCredentialOriginCapacity + 32;

// What was typed for one origin; used counts up so the oldest entry gives way.
struct Remembered {
    bool forProxy = false;
    WCHAR origin[kCredentialOriginCapacity] = {};
    WCHAR userId[kCredentialEntryCapacity] = {};
    WCHAR password[kCredentialEntryCapacity] = {};
    DWORD used = 0;
};

Remembered remembered[kRememberedOrigins];
DWORD lastUse = 0;
Remembered* lastTyped = nullptr;
HWND promptOwner = nullptr;

// The callback's arguments, the prompt's creation parameter.
struct CredentialsRequest {
    LPCWSTR realm;
    LPCWSTR origin;
    bool forProxy;
    LPWSTR userId;
    LPWSTR password;
};

void Wipe(Remembered* entry) {
    BytesFill(entry, 0, sizeof *entry);
}

Remembered* Find(const CredentialsRequest* request) {
    if (request->origin == nullptr || request->origin[0] == 0) return nullptr;
    for (Remembered& entry : remembered) {
        if (entry.used != 0 && entry.forProxy == request->forProxy &&
            StrEqual(entry.origin, request->origin) == 1) {
            return &entry;
        }
    }
    return nullptr;
}

// The entry to keep what is typed for the request's origin in: its own, else a free or the
// oldest one. Null for an origin too long to keep whole.
Remembered* Slot(const CredentialsRequest* request) {
    if (Remembered* own = Find(request)) return own;
    Remembered* oldest = &remembered[0];
    for (Remembered& entry : remembered) {
        if (entry.used < oldest->used) oldest = &entry;
    }
    Wipe(oldest);
    if (request->origin == nullptr ||
        StrCopy(oldest->origin, kCredentialOriginCapacity, request->origin) != 1) {
        Wipe(oldest);
        return nullptr;
    }
    oldest->forProxy = request->forProxy;
    return oldest;
}

void ShowTarget(HWND dialog, const CredentialsRequest* request) {
    WCHAR text[kTargetTextCapacity] = {};
    StrCopy(text, kTargetTextCapacity,
            request->forProxy ? ByLanguage(kProxyLabelJa, kProxyLabelEn)
                              : ByLanguage(kServerLabelJa, kServerLabelEn));
    // An origin too long to show whole is not shown cut: the prompt then names none.
    if (request->origin == nullptr || StrAppend(text, kTargetTextCapacity, request->origin) != 1) {
        text[0] = 0;
    }
    SetDlgItemTextW(dialog, IDC_AUTH_TARGET, text);
}

void TakeEntries(HWND dialog, const CredentialsRequest* request) {
    GetDlgItemTextW(dialog, IDC_AUTH_USER, request->userId, kCredentialEntryCapacity);
    GetDlgItemTextW(dialog, IDC_AUTH_PASSWORD, request->password, kCredentialEntryCapacity);
    Remembered* slot = Slot(request);
    if (slot == nullptr) return;
    StrCopy(slot->userId, kCredentialEntryCapacity, request->userId);
    StrCopy(slot->password, kCredentialEntryCapacity, request->password);
    slot->used = ++lastUse;
    lastTyped = slot;
}

INT_PTR CALLBACK CredentialsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        const auto* request = reinterpret_cast<const CredentialsRequest*>(lParam);
        // Only what was typed for this very origin is offered again.
        const Remembered* known = Find(request);
        SetDlgItemTextW(dialog, IDC_AUTH_USER, known != nullptr ? known->userId : TEXT(""));
        SetDlgItemTextW(dialog, IDC_AUTH_PASSWORD, known != nullptr ? known->password : TEXT(""));
        ShowTarget(dialog, request);
        CentreOnOwner(dialog, nullptr, SWP_NOZORDER);
        SetWindowPos(GetDlgItem(dialog, IDC_AUTH_GROUP), HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE);
        SetFocus(GetDlgItem(dialog, IDC_AUTH_USER));
        SetDlgItemTextW(dialog, IDC_AUTH_GROUP,
                        request->realm != nullptr ? request->realm : TEXT(""));
        return 0;
    }
    case WM_COMMAND: {
        const auto* request =
            reinterpret_cast<const CredentialsRequest*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (LOWORD(wParam) == IDOK && request != nullptr) {
            TakeEntries(dialog, request);
            EndDialog(dialog, 1);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 0);
        }
        return 0;
    }
    default:
        return 0;
    }
}

} // namespace

int AskForCredentials(LPCWSTR realm, LPCWSTR origin, BOOL forProxy, LPWSTR userId, LPWSTR password,
                      DWORD_PTR) {
    if (userId == nullptr || password == nullptr) return 0;
    CredentialsRequest request{realm, origin, forProxy != FALSE, userId, password};
    const INT_PTR result =
        RunDialogTemplate(gInstance, ByLanguage(IDD_CREDENTIALS_JA, IDD_CREDENTIALS_EN),
                          promptOwner, CredentialsProc, reinterpret_cast<LPARAM>(&request));
    return result == 1 ? 1 : (result < 0 ? -1 : 0);
}

void SetCredentialsOwner(HWND owner) {
    promptOwner = owner;
}

LPCWSTR RememberedUserId() {
    return lastTyped != nullptr ? lastTyped->userId : TEXT("");
}
LPCWSTR RememberedPassword() {
    return lastTyped != nullptr ? lastTyped->password : TEXT("");
}

void ForgetCredentials() {
    for (Remembered& entry : remembered) Wipe(&entry);
    lastUse = 0;
    lastTyped = nullptr;
}
