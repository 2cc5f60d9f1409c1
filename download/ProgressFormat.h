// The progress texts of the main dialog as pure functions of the counters and the tick, so
// that they can be checked without a clock. Every output buffer holds kProgressTextCapacity
// units.
#pragma once

#include <cstdint>

#include <windows.h>

constexpr DWORD kProgressTextCapacity = 64;
// No byte for this long: the speed shows zero and the remaining time its unknown form.
constexpr DWORD kStallMs = 2000;
// While a transfer runs the dialog redraws its progress at least this often, so that a
// stall shows although the receive thread has nothing to report.
constexpr UINT kProgressRefreshMs = 500;
// The shortest span a shown speed is measured over. Right after a start or a resume the
// bytes that waited in the socket's buffers arrive within milliseconds; over a shorter span
// they would show the speed of a buffer copy, not of the link.
constexpr DWORD kShortestSpeedSpanMs = kProgressRefreshMs;

// "received/total", or "received/???" when the total is unknown (kUnknownSize).
void FormatBytes(LPWSTR text, uint64_t received, uint64_t total);

// The progress bar position, received * 100 / total; -1 when the total is unknown or 0.
int ProgressPercent(uint64_t received, uint64_t total);

// Remaining time from the rate in bytes per second: "???" when the total is unknown or the
// rate is (0), "0s" when nothing is left; else whole seconds, "%uh%um" above an hour,
// "%um%us" above a minute, "%us" below (Japanese units when japanese).
void FormatRestTime(LPWSTR text, uint64_t received, uint64_t total, uint64_t bytesPerSecond,
                    bool japanese);

// A rate in bits per second, "%u.%uMbps" / "%u.%ukbps" / "%ubps" with 2^20 and 2^10 as mega
// and kilo and the decimal cut.
void FormatBitRate(LPWSTR text, uint64_t bitsPerSecond);

// The average speed since the speed start (FormatBitRate); never more than the bytes counted
// over the time since the start. false (text untouched) when now is still the start tick, and
// while less than kShortestSpeedSpanMs have passed unless the transfer `ended` (then its own
// average, however short it was). Shown where the window has no rate: a stall's zero and the
// end of a transfer shorter than the window's shortest span.
bool FormatSpeed(LPWSTR text, uint64_t sinceStart, DWORD startTick, DWORD now, bool ended = false);

// Redraws the bytes, remaining-time and speed fields and the progress bar of the main
// dialog from the shared counters and GetTickCount; the speed and remaining time come from
// the window of recent unpaused time (download/SpeedWindow.h), the speed stays empty and the
// remaining time "???" until it has a rate; after kStallMs without a new byte, "???" and
// "0bps". `ended`: the last redraw of a transfer that has ended.
void ShowProgress(HWND dialog, bool ended = false);
// Speed counting starts again (start and resume): the speed field is emptied until the new
// count means something.
void RestartSpeed(HWND dialog);
// Empties every field of a transfer and the bar (the user's Start: nothing of an earlier
// download stays).
void ClearProgress(HWND dialog);
// What the file holds after Stop: its bytes and the bar (and its name, left as it is); the
// speed and the remaining time, which belonged to the transfer, are emptied.
void ShowStopped(HWND dialog);
// The try `attempt` after a network failure: the remaining-time field says "Retrying n/N"
// ("再試行中 n/N") and the speed zero until a byte arrives.
void ShowRetrying(HWND dialog, DWORD attempt);
// Only the bytes field (the start step's first text).
void ShowBytes(HWND dialog);
