#include "download/ProgressFormat.h"

#include <initializer_list>

#include <commctrl.h>

#include "core/Language.h"
#include "download/TransferState.h"
#include "resources/resource.h"

namespace {

constexpr uint64_t kSecondsPerHour = 3600;
constexpr uint64_t kSecondsPerMinute = 60;
constexpr uint64_t kMega = 1048576; // 2^20 bits
constexpr uint64_t kKilo = 1024;    // 2^10 bits

} // namespace

void FormatBytes(LPWSTR text, uint64_t received, uint64_t total) {
    if (total == kUnknownSize) {
        wsprintfW(text, TEXT("%I64u/???"), received);
    } else {
        wsprintfW(text, TEXT("%I64u/%I64u"), received, total);
    }
}

int ProgressPercent(uint64_t received, uint64_t total) {
    if (total == kUnknownSize || total == 0) return -1;
    // received * 100 overflows only beyond 2^57 bytes; divide first there.
    const uint64_t percent = received <= (~static_cast<uint64_t>(0)) / 100
                                 ? received * 100 / total
                                 : received / (total / 100);
    return static_cast<int>(percent > 100 ? 100 : percent);
}

void FormatRestTime(LPWSTR text, uint64_t received, uint64_t total, uint64_t bytesPerSecond,
                    bool japanese) {
    const uint64_t left = total > received ? total - received : 0;
    if (total == kUnknownSize || (bytesPerSecond == 0 && left != 0)) {
        wsprintfW(text, TEXT("???"));
        return;
    }
    const uint64_t rest = left == 0 ? 0 : left / bytesPerSecond;
    if (rest > kSecondsPerHour) {
        wsprintfW(text, japanese ? TEXT("%I64u時間%I64u分") : TEXT("%I64uh%I64um"),
                  rest / kSecondsPerHour, rest % kSecondsPerHour / kSecondsPerMinute);
    } else if (rest > kSecondsPerMinute) {
        wsprintfW(text, japanese ? TEXT("%I64u分%I64u秒") : TEXT("%I64um%I64us"),
                  rest / kSecondsPerMinute, rest % kSecondsPerMinute);
    } else {
        wsprintfW(text, japanese ? TEXT("%I64u秒") : TEXT("%I64us"), rest);
    }
}

void FormatBitRate(LPWSTR text, uint64_t speed) {
    if (speed > kMega) {
        wsprintfW(text, TEXT("%I64u.%I64uMbps"), speed >> 20, ((speed & 0xFFFFF) * 10) >> 20);
    } else if (speed > kKilo) {
        wsprintfW(text, TEXT("%I64u.%I64ukbps"), speed >> 10, ((speed & 0x3FF) * 10) >> 10);
    } else {
        wsprintfW(text, TEXT("%I64ubps"), speed);
    }
}

bool FormatSpeed(LPWSTR text, uint64_t sinceStart, DWORD startTick, DWORD now, bool ended) {
    const DWORD elapsedMs = now - startTick;
    if (elapsedMs == 0 || (elapsedMs < kShortestSpeedSpanMs && !ended)) return false;
    FormatBitRate(text, sinceStart / elapsedMs * 8000 + sinceStart % elapsedMs * 8000 / elapsedMs);
    return true;
}

void ShowRetrying(HWND dialog, DWORD attempt) {
    // Bytes that came before the failure and were not yet drawn must not end the retry
    // text at once: only a byte of the new try does.
    gTransfer.seenReceived = gTransfer.received.load(std::memory_order_relaxed);
    gTransfer.retrying = attempt;
    ShowProgress(dialog);
}

void ShowBytes(HWND dialog) {
    WCHAR text[kProgressTextCapacity];
    FormatBytes(text, gTransfer.received.load(std::memory_order_relaxed),
                gTransfer.totalSize.load(std::memory_order_relaxed));
    SetDlgItemTextW(dialog, IDC_BYTES, text);
}

void RestartSpeed(HWND dialog) {
    RestartSpeedCounting();
    SetDlgItemTextW(dialog, IDC_SPEED, TEXT(""));
}

void ClearProgress(HWND dialog) {
    for (const int id : {IDC_BYTES, IDC_REST_TIME, IDC_SPEED, IDC_FILE_NAME}) {
        SetDlgItemTextW(dialog, id, TEXT(""));
    }
    SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, 0, 0);
}

void ShowStopped(HWND dialog) {
    const uint64_t received = gTransfer.received.load(std::memory_order_relaxed);
    const uint64_t total = gTransfer.totalSize.load(std::memory_order_relaxed);
    WCHAR text[kProgressTextCapacity];
    FormatBytes(text, received, total);
    SetDlgItemTextW(dialog, IDC_BYTES, text);
    const int percent = ProgressPercent(received, total);
    SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, percent >= 0 ? percent : 0, 0);
    SetDlgItemTextW(dialog, IDC_REST_TIME, TEXT(""));
    SetDlgItemTextW(dialog, IDC_SPEED, TEXT(""));
}

void ShowProgress(HWND dialog, bool ended) {
    const uint64_t received = gTransfer.received.load(std::memory_order_relaxed);
    const uint64_t total = gTransfer.totalSize.load(std::memory_order_relaxed);
    // A count below the speed start's: the file started over, and every byte is new.
    if (received < gTransfer.receivedAtSpeedStart) gTransfer.receivedAtSpeedStart = 0;
    const uint64_t sinceStart = received - gTransfer.receivedAtSpeedStart;
    const DWORD startTick = gTransfer.speedStartTime.load(std::memory_order_relaxed);
    const DWORD now = GetTickCount();
    gTransfer.speed.Sample(now, received);
    if (received != gTransfer.seenReceived) {
        gTransfer.seenReceived = received;
        gTransfer.seenSince = now;
        gTransfer.retrying = 0;
    }
    const bool stalled = now - gTransfer.seenSince >= kStallMs;
    WCHAR text[kProgressTextCapacity];

    FormatBytes(text, received, total);
    SetDlgItemTextW(dialog, IDC_BYTES, text);
    const int percent = ProgressPercent(received, total);
    if (percent >= 0) SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, percent, 0);

    if (stalled || gTransfer.retrying != 0) {
        // The unknown forms; while a try is under way, which try it is.
        if (gTransfer.retrying != 0) {
            wsprintfW(text, ByLanguage(TEXT("再試行中 %u/%u"), TEXT("Retrying %u/%u")),
                      gTransfer.retrying, gTransfer.retries);
        } else {
            FormatRestTime(text, received, total, 0, IsJapanese());
        }
        SetDlgItemTextW(dialog, IDC_REST_TIME, text);
        if (FormatSpeed(text, 0, startTick, now)) SetDlgItemTextW(dialog, IDC_SPEED, text);
        return;
    }
    uint64_t rate = 0;
    const bool measured = gTransfer.speed.BytesPerSecond(&rate);
    FormatRestTime(text, received, total, measured ? rate : 0, IsJapanese());
    SetDlgItemTextW(dialog, IDC_REST_TIME, text);
    if (measured) {
        FormatBitRate(text, rate * 8);
        SetDlgItemTextW(dialog, IDC_SPEED, text);
    } else if (ended && FormatSpeed(text, sinceStart, startTick, now, true)) {
        // Too short for the window: the transfer's own average.
        SetDlgItemTextW(dialog, IDC_SPEED, text);
    }
}
