#include "ui/Credentials.h"

#include "app/AppState.h"
#include "app/Language.h"
#include "base/StringUtil.h"
#include "resources/resource.h"
#include "ui/DialogTemplate.h"

namespace {

WCHAR rememberedUserId[kCredentialEntryCapacity];
WCHAR rememberedPassword[kCredentialEntryCapacity];
HWND promptOwner = nullptr;

// The callback's arguments, the prompt's creation parameter.
struct CredentialsRequest {
    LPCWSTR realm;
    LPWSTR userId;
    LPWSTR password;
    DWORD_PTR data;
};

void TakeEntry(HWND dialog, int id, LPWSTR remembered, LPWSTR output) {
    GetDlgItemTextW(dialog, id, remembered, kCredentialEntryCapacity);
    StrCopy(output, kCredentialEntryCapacity, remembered);
}

INT_PTR CALLBACK CredentialsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        const auto* request = reinterpret_cast<const CredentialsRequest*>(lParam);
        SetDlgItemTextW(dialog, IDC_AUTH_USER, rememberedUserId);
        SetDlgItemTextW(dialog, IDC_AUTH_PASSWORD, rememberedPassword);
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
            TakeEntry(dialog, IDC_AUTH_USER, rememberedUserId, request->userId);
            TakeEntry(dialog, IDC_AUTH_PASSWORD, rememberedPassword, request->password);
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

int AskForCredentials(LPCWSTR realm, LPWSTR userId, LPWSTR password, DWORD_PTR data) {
    if (userId == nullptr || password == nullptr) return 0;
    CredentialsRequest request{realm, userId, password, data};
    const INT_PTR result =
        RunDialogTemplate(gInstance, ByLanguage(IDD_CREDENTIALS_JA, IDD_CREDENTIALS_EN),
                          promptOwner, CredentialsProc, reinterpret_cast<LPARAM>(&request));
    return result == 1 ? 1 : (result < 0 ? -1 : 0);
}

void SetCredentialsOwner(HWND owner) {
    promptOwner = owner;
}

LPCWSTR RememberedUserId() {
    return rememberedUserId;
}
LPCWSTR RememberedPassword() {
    return rememberedPassword;
}

void ForgetCredentials() {
    rememberedUserId[0] = 0;
    rememberedPassword[0] = 0;
}
