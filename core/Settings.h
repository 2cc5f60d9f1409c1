// The settings key of Quillbrook under HKEY_CURRENT_USER: its value names, the limits of
// their reads, and every read and write of them (start-up and the proxy dialog alike).
#pragma once

#include <windows.h>

#include "core/AppState.h"

constexpr WCHAR kSettingsKey[] = TEXT("Software\\Vr\\Quillbrook");
constexpr WCHAR kValueFilePath[] = TEXT("FilePath");           // REG_SZ: the program's own path
constexpr WCHAR kValueEnableProxy[] = TEXT("EnableProxy");     // REG_DWORD: nonzero = proxy on
constexpr WCHAR kValueProxyServer[] = TEXT("ProxyServer");     // REG_SZ: proxy host
constexpr WCHAR kValueProxyPort[] = TEXT("ProxyPort");         // REG_DWORD: low 16 bits are used
constexpr WCHAR kValueProxyUser[] = TEXT("ProxyUser");         // REG_SZ: the proxy's user ID
constexpr WCHAR kValueProxyPassword[] = TEXT("ProxyPassword"); // REG_SZ: its password
constexpr WCHAR kValueTimeout[] = TEXT("Timeout");             // REG_DWORD: seconds, 0 forever
constexpr WCHAR kValueRetry[] = TEXT("Retry");                 // REG_DWORD: tries after a failure
constexpr WCHAR kValueMaxSpeed[] = TEXT("MaxSpeed"); // REG_DWORD: bytes per second, 0 none
constexpr WCHAR kValueContentDisposition[] = TEXT("ContentDisposition"); // REG_DWORD: 1 = on
// REG_MULTI_SZ: the last URLs started from the dialog, newest first, without credentials
// (core/UrlHistory.h reads and writes it).
constexpr WCHAR kValueUrlHistory[] = TEXT("UrlHistory");

constexpr DWORD kProgramPathCapacity = 4096;  // units for GetModuleFileNameW
constexpr DWORD kProxyServerCapacity = 1024;  // units of the buffer the server is read into
constexpr DWORD kProxyServerReadBytes = 1024; // byte size of that read: 511 characters at most
// The proxy's user ID and password: 255 characters each at most, as the prompt takes them.
constexpr DWORD kProxyCredentialCapacity = 256;

// The proxy values as the key holds them; the password is wiped when the settings go.
struct ProxySettings {
    DWORD enabled = kDefaultEnableProxy;
    WCHAR server[kProxyServerCapacity] = {};
    DWORD port = kDefaultProxyPort;
    WCHAR user[kProxyCredentialCapacity] = {};
    WCHAR password[kProxyCredentialCapacity] = {};
    ~ProxySettings();
};

// Reads "EnableProxy", "ProxyServer", "ProxyPort", "ProxyUser" and "ProxyPassword"; a
// missing key or value (or a text too long for its read) keeps the default: off, empty,
// 8080, no credentials.
void ReadProxySettings(ProxySettings* settings);
// Writes the five values, creating the key when missing. Failures are silent: the settings
// still take effect for this run.
void WriteProxySettings(const ProxySettings& settings);
// Makes them the run-time settings the next connection uses: the port as its low 16 bits,
// the password only together with a user ID.
void UseProxySettings(const ProxySettings& settings);

// Stores the program's full path as "FilePath", creating the key when missing. Failures
// are ignored: the program runs without it.
void RecordProgramPath();
// Start-up: ReadProxySettings, then UseProxySettings.
void LoadProxySettings();
// Interactive mode: "Timeout", "Retry", "MaxSpeed" and "ContentDisposition" from the key,
// when there (automatic mode takes the run parameters of the same names instead).
void LoadTransferSettings();
