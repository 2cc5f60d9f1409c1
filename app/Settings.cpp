#include "app/Settings.h"

#include "app/AppState.h"
#include "base/Bytes.h"
#include "base/RegistryKey.h"
#include "base/Results.h"

void RecordProgramPath() {
    RegistryKey key;
    if (key.Create(HKEY_CURRENT_USER, kSettingsKey) != kResultOk) return;
    WCHAR path[kProgramPathCapacity] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, kProgramPathCapacity);
    // A path the platform could not give, or had to cut, would record a wrong location.
    if (length > 0 && length < kProgramPathCapacity) key.SetText(kValueFilePath, path);
    key.Close();
}

void LoadProxySettings() {
    DWORD enabled = kDefaultEnableProxy;
    WCHAR server[kProxyServerCapacity] = {};
    DWORD port = kDefaultProxyPort;
    WCHAR user[kProxyCredentialCapacity] = {};
    WCHAR password[kProxyCredentialCapacity] = {};
    RegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kSettingsKey) == kResultOk) {
        key.QueryNumber(kValueEnableProxy, &enabled);
        key.QueryText(kValueProxyServer, server, kProxyServerReadBytes);
        key.QueryNumber(kValueProxyPort, &port);
        // A text missing or too long is not used: no user, or an empty password.
        if (key.QueryText(kValueProxyUser, user, sizeof user) != kResultOk) user[0] = 0;
        if (key.QueryText(kValueProxyPassword, password, sizeof password) != kResultOk) {
            password[0] = 0;
        }
        key.Close();
    }
    gProxyEnabled = enabled;
    gProxyServer.AssignWide(server);
    gProxyPort = static_cast<WORD>(port & 0xFFFF);
    gProxyUser.AssignWide(user[0] != 0 ? user : TEXT(""));
    gProxyPassword.AssignWide(user[0] != 0 ? password : TEXT(""));
    BytesFill(password, 0, sizeof password);
}

void LoadTransferSettings() {
    if (gAutomaticMode) return;
    DWORD timeout = gTimeoutSeconds;
    DWORD retry = static_cast<DWORD>(gRetry);
    DWORD contentDisposition = static_cast<DWORD>(gContentDisposition);
    RegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kSettingsKey) != kResultOk) return;
    key.QueryNumber(kValueTimeout, &timeout);
    key.QueryNumber(kValueRetry, &retry);
    key.QueryNumber(kValueMaxSpeed, &gMaxSpeed);
    key.QueryNumber(kValueContentDisposition, &contentDisposition);
    key.Close();
    gContentDisposition = contentDisposition != 0 ? TRUE : FALSE;
    gTimeoutSeconds = timeout < kLargestTimeoutSeconds ? timeout : kLargestTimeoutSeconds;
    gRetry = retry <= static_cast<DWORD>(kLargestRetry) ? static_cast<LONG>(retry) : kLargestRetry;
}
