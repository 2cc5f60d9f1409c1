#include "app/RunParameters.h"

#include "base/Checksum.h"
#include "base/Decimal.h"
#include "base/ErrorLine.h"
#include "base/PercentText.h"
#include "base/Results.h"
#include "base/StringUtil.h"
#include "core/AppState.h"
#include "core/Language.h"
#include "http/PropertyList.h"

namespace {

// Looks key up as text and percent-decodes its value into decoded. True when present
// (automatic mode).
bool ReadDecoded(PropertyList* parameters, LPCWSTR key, WCHAR* decoded) {
    PropertyRecord record{};
    record.key = key;
    record.type = kPropertyWide;
    if (parameters->Get(&record) != kResultOk || record.type != kPropertyWide) return false;
    DWORD sourceLength = 0;
    StrLength(record.wideText, &sourceLength);
    // Escapes are bytes, read as UTF-8 (else in the code page); decoding never lengthens a
    // value, so one that the command line took always fits.
    if (PercentDecodeText(record.wideText, sourceLength, decoded, kDecodedValueCapacity, TRUE) !=
        kResultOk) {
        decoded[0] = 0;
    }
    gAutomaticMode = TRUE;
    return true;
}

// Looks key up as text and assigns its percent-decoded value to target.
void ReadText(PropertyList* parameters, LPCWSTR key, WString* target, WCHAR* decoded) {
    if (ReadDecoded(parameters, key, decoded)) target->AssignWide(decoded);
}

// A value the download could not honour is refused before it starts: a check or a cap
// silently dropped would report success for what was not asked. Says which, once.
bool Refuse(LPCWSTR japanese, LPCWSTR english) {
    WriteErrorLine(ByLanguage(japanese, english), nullptr);
    return false;
}

bool ReadChecksum(PropertyList* parameters, WCHAR* decoded) {
    if (!ReadDecoded(parameters, TEXT("Checksum"), decoded)) return true;
    if (ParseChecksum(decoded, &gChecksum) == kResultOk) return true;
    return Refuse(TEXT("Checksum は sha256:16進数64桁 か sha512:16進数128桁 で指定してください。"),
                  TEXT("Checksum must be sha256: and 64 hex digits, or sha512: and 128."));
}

bool ReadMaxSpeed(PropertyList* parameters, WCHAR* decoded) {
    if (!ReadDecoded(parameters, TEXT("MaxSpeed"), decoded)) return true;
    if (StrParseByteRate(decoded, &gMaxSpeed) == kResultOk) return true;
    return Refuse(TEXT("MaxSpeed は毎秒のバイト数です（k は 1024、M は 1048576 倍）。"),
                  TEXT("MaxSpeed must be bytes per second, with k (1024) or M (1048576)."));
}

// Looks key up as an integer. True when present (automatic mode); *value is set only when
// the text is a decimal number.
bool ReadInteger(PropertyList* parameters, LPCWSTR key, LONG* value) {
    PropertyRecord record{};
    record.key = key;
    record.type = kPropertyUnsigned;
    if (parameters->Get(&record) != kResultOk) return false;
    gAutomaticMode = TRUE;
    if (record.type == kPropertyUnsigned) {
        *value = static_cast<LONG>(record.unsignedValue);
    } else if (record.type == kPropertySigned) {
        *value = record.signedValue;
    }
    return true;
}

void ReadFlag(PropertyList* parameters, LPCWSTR key, BOOL* flag) {
    LONG number = *flag;
    if (ReadInteger(parameters, key, &number)) *flag = number != 0 ? TRUE : FALSE;
}

} // namespace

void ResetRunParameters() {
    gUrl.Clear();
    gPath.Clear();
    gCaption.AssignWide(kDefaultCaption);
    gShowWindow = kDefaultShowWindow;
    gResume = kDefaultResume;
    gRetry = kDefaultRetry;
    gTimeoutSeconds = kDefaultTimeoutSeconds;
    gMaxSpeed = 0;
    gContentDisposition = FALSE;
    gChecksum = Checksum();
    gAutomaticMode = FALSE;
}

bool ReadRunParameters(PropertyList* parameters) {
    if (parameters == nullptr) return true;
    WCHAR decoded[kDecodedValueCapacity];
    ReadText(parameters, TEXT("URL"), &gUrl, decoded);
    ReadText(parameters, TEXT("Path"), &gPath, decoded);
    ReadText(parameters, TEXT("Caption"), &gCaption, decoded);
    ReadFlag(parameters, TEXT("ShowWindow"), &gShowWindow);
    ReadFlag(parameters, TEXT("Resume"), &gResume);
    ReadInteger(parameters, TEXT("Retry"), &gRetry);
    LONG timeout = static_cast<LONG>(kDefaultTimeoutSeconds);
    // A negative timeout means nothing: the default stays.
    if (ReadInteger(parameters, TEXT("Timeout"), &timeout) && timeout >= 0) {
        gTimeoutSeconds = static_cast<DWORD>(timeout) < kLargestTimeoutSeconds
                              ? static_cast<DWORD>(timeout)
                              : kLargestTimeoutSeconds;
    }
    ReadFlag(parameters, TEXT("ContentDisposition"), &gContentDisposition);
    const bool checksumRead = ReadChecksum(parameters, decoded);
    return ReadMaxSpeed(parameters, decoded) && checksumRead;
}
