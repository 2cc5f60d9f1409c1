#include "core/Settings.h"

#include "base/Bytes.h"
#include "base/RegistryKey.h"
#include "base/Results.h"
#include "core/AppState.h"

void RecordProgramPath() {
    RegistryKey key;
    if (key.Create(HKEY_CURRENT_USER, kSettingsKey) != kResultOk) return;
    WCHAR path[kProgramPathCapacity] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, kProgramPathCapacity);
    // A path the platform could not give, or had to cut, would record a wrong location.
    if (length > 0 && length < kProgramPathCapacity) key.SetText(kValueFilePath, path);
    key.Close();
}

ProxySettings::~ProxySettings() {
    BytesFill(password, 0, sizeof password);
}

void ReadProxySettings(ProxySettings* settings) {
    RegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kSettingsKey) != kResultOk) return;
    key.QueryNumber(kValueEnableProxy, &settings->enabled);
    // A text missing or too long reads as empty: no server, no user, or an empty password.
    key.QueryText(kValueProxyServer, settings->server, kProxyServerReadBytes);
    key.QueryNumber(kValueProxyPort, &settings->port);
    key.QueryText(kValueProxyUser, settings->user, sizeof settings->user);
    key.QueryText(kValueProxyPassword, settings->password, sizeof settings->password);
    key.Close();
}

void WriteProxySettings(const ProxySettings& settings) {
    RegistryKey key;
    if (key.Create(HKEY_CURRENT_USER, kSettingsKey) != kResultOk) return;
    key.SetNumber(kValueEnableProxy, settings.enabled);
    key.SetText(kValueProxyServer, settings.server);
    key.SetNumber(kValueProxyPort, settings.port);
    key.SetText(kValueProxyUser, settings.user);
    key.SetText(kValueProxyPassword, settings.password);
    key.Close();
}

void UseProxySettings(const ProxySettings& settings) {
    gProxyEnabled = settings.enabled;
    gProxyServer.AssignWide(settings.server);
    gProxyPort = static_cast<WORD>(settings.port & 0xFFFF);
    const bool hasUser = settings.user[0] != 0;
    gProxyUser.AssignWide(hasUser ? settings.user : TEXT(""));
    gProxyPassword.AssignWide(hasUser ? settings.password : TEXT(""));
}

void LoadProxySettings() {
    ProxySettings settings;
    ReadProxySettings(&settings);
    UseProxySettings(settings);
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
