// The proxy dialog: switches the HTTP proxy on or off and takes its server, port, user ID
// and password. The settings are read from the settings key at opening; OK writes them back
// (also when the proxy is off) and updates the run-time settings the next connection uses.
// Registry failures are silent: the defaults stay on display, the run-time settings change
// anyway. The import button fills the fields from the environment's proxy (http_proxy, else
// https_proxy, as the download would read them); it is disabled when there is none.
#include "ui/ProxyDialog.h"

#include "core/Language.h"
#include "core/Settings.h"
#include "http/ProxyChoice.h"
#include "resources/resource.h"
#include "ui/DialogTemplate.h"

namespace {

// This dialog's own timer; other files' constant lists only share their shape.
constexpr UINT_PTR kRepaintTimer = 100;
constexpr UINT kRepaintDelayMs = 10;

constexpr INT_PTR kProxyOk = 1;
constexpr INT_PTR kProxyCancel = 0;

// The environment's proxy the import button takes: http's, else https's. 1 and *proxy.
int EnvironmentProxy(ProxyServer* proxy) {
    if (ProxyFromEnvironment(false, proxy) == 1) return 1;
    return ProxyFromEnvironment(true, proxy) == 1 ? 1 : 0;
}

void ImportFromEnvironment(HWND dialog) {
    ProxyServer proxy;
    if (EnvironmentProxy(&proxy) != 1) return;
    SetDlgItemTextW(dialog, IDC_PROXY_SERVER, proxy.host);
    SetDlgItemInt(dialog, IDC_PROXY_PORT, proxy.port, FALSE);
    SetDlgItemTextW(dialog, IDC_PROXY_USER, proxy.userId);
    SetDlgItemTextW(dialog, IDC_PROXY_PASSWORD, proxy.password);
}

// The fields follow the check box; their texts are kept either way.
void UpdateFieldsEnabled(HWND dialog) {
    BOOL enabled = IsDlgButtonChecked(dialog, IDC_PROXY_ENABLE) == BST_CHECKED;
    EnableWindow(GetDlgItem(dialog, IDC_PROXY_SERVER), enabled);
    EnableWindow(GetDlgItem(dialog, IDC_PROXY_PORT), enabled);
    EnableWindow(GetDlgItem(dialog, IDC_PROXY_USER), enabled);
    EnableWindow(GetDlgItem(dialog, IDC_PROXY_PASSWORD), enabled);
}

void OnInitDialog(HWND dialog) {
    ProxySettings settings;
    ReadProxySettings(&settings);
    CheckDlgButton(dialog, IDC_PROXY_ENABLE, settings.enabled != 0 ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemTextW(dialog, IDC_PROXY_SERVER, settings.server);
    SetDlgItemInt(dialog, IDC_PROXY_PORT, settings.port, FALSE);
    SetDlgItemTextW(dialog, IDC_PROXY_USER, settings.user);
    SetDlgItemTextW(dialog, IDC_PROXY_PASSWORD, settings.password);
    ProxyServer found;
    EnableWindow(GetDlgItem(dialog, IDC_PROXY_IMPORT), EnvironmentProxy(&found) == 1);
    CentreOnOwner(dialog, nullptr, SWP_NOZORDER);
    // The check box sits on the group box's top edge: drawn last, so it stays readable.
    SetWindowPos(GetDlgItem(dialog, IDC_PROXY_GROUP), HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
    SetWindowPos(GetDlgItem(dialog, IDC_PROXY_ENABLE), HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_FRAMECHANGED);
    SetFocus(GetDlgItem(dialog, IDC_PROXY_ENABLE));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_PROXY_ENABLE, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_PROXY_ENABLE)));
    SetTimer(dialog, kRepaintTimer, kRepaintDelayMs, nullptr);
}

void SaveSettings(HWND dialog) {
    ProxySettings typed;
    typed.enabled = IsDlgButtonChecked(dialog, IDC_PROXY_ENABLE) == BST_CHECKED ? 1 : 0;
    GetDlgItemTextW(dialog, IDC_PROXY_SERVER, typed.server, kProxyServerCapacity);
    typed.port = GetDlgItemInt(dialog, IDC_PROXY_PORT, nullptr, FALSE); // empty gives 0
    GetDlgItemTextW(dialog, IDC_PROXY_USER, typed.user, kProxyCredentialCapacity);
    GetDlgItemTextW(dialog, IDC_PROXY_PASSWORD, typed.password, kProxyCredentialCapacity);
    WriteProxySettings(typed);
    UseProxySettings(typed);
}

INT_PTR CALLBACK ProxyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return FALSE; // the focus is already on the check box
    case WM_TIMER:
        if (wParam == kRepaintTimer) {
            KillTimer(dialog, kRepaintTimer);
            InvalidateRect(GetDlgItem(dialog, IDC_PROXY_ENABLE), nullptr, TRUE);
            return TRUE;
        }
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_PROXY_ENABLE:
            UpdateFieldsEnabled(dialog);
            return TRUE;
        case IDC_PROXY_IMPORT:
            ImportFromEnvironment(dialog);
            return TRUE;
        case IDOK:
            SaveSettings(dialog);
            EndDialog(dialog, kProxyOk);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, kProxyCancel);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

} // namespace

INT_PTR ShowProxyDialog(HINSTANCE instance, HWND parent) {
    const INT_PTR result = RunDialogTemplate(instance, ByLanguage(IDD_PROXY_JA, IDD_PROXY_EN),
                                             parent, ProxyDialogProc, 0);
    return result == kProxyOk ? kProxyOk : kProxyCancel;
}
