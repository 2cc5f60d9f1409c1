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

// Remaining time: "???" when the total is unknown or nothing was counted since the speed
// start; else from whole elapsed seconds, "%uh%um" above an hour, "%um%us" above a minute,
// "%us" below (Japanese units when japanese).
void FormatRestTime(LPWSTR text, uint64_t received, uint64_t total, uint64_t sinceStart,
                    DWORD startTick, DWORD now, bool japanese);

// Speed in bits per second since the speed start, "%u.%uMbps" / "%u.%ukbps" / "%ubps" with
// 2^20 and 2^10 as mega and kilo and the decimal cut; never more than the bytes counted over
// the time since the start. false (text untouched) when now is still the start tick, and
// while less than kShortestSpeedSpanMs have passed unless the transfer `ended` (then its own
// average, however short it was).
bool FormatSpeed(LPWSTR text, uint64_t sinceStart, DWORD startTick, DWORD now, bool ended = false);

// Redraws the bytes, remaining-time and speed fields and the progress bar of the main
// dialog from the shared counters and GetTickCount; after kStallMs without a new byte,
// "???" and "0bps". `ended`: the last redraw of a transfer that has ended.
void ShowProgress(HWND dialog, bool ended = false);
// Speed counting starts again (start and resume): the speed field is emptied until the new
// count means something.
void RestartSpeed(HWND dialog);
// The try `attempt` after a network failure: the remaining-time field says "Retrying n/N"
// ("再試行中 n/N") and the speed zero until a byte arrives.
void ShowRetrying(HWND dialog, DWORD attempt);
// Only the bytes field (the start step's first text).
void ShowBytes(HWND dialog);
