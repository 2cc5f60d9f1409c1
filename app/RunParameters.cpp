#include "app/RunParameters.h"

#include "app/AppState.h"
#include "base/PercentText.h"
#include "base/Results.h"
#include "base/StringUtil.h"
#include "http/PropertyList.h"

namespace {

// Looks key up as text and assigns its percent-decoded value to target.
void ReadText(PropertyList* parameters, LPCWSTR key, WString* target, WCHAR* decoded) {
    PropertyRecord record{};
    record.key = key;
    record.type = kPropertyWide;
    if (parameters->Get(&record) != kResultOk || record.type != kPropertyWide) return;
    DWORD sourceLength = 0;
    StrLength(record.wideText, &sourceLength);
    // Escapes are bytes, read as UTF-8 (else in the code page); decoding never lengthens a
    // value, so one that the command line took always fits.
    if (PercentDecodeText(record.wideText, sourceLength, decoded, kDecodedValueCapacity, TRUE) !=
        kResultOk) {
        decoded[0] = 0;
    }
    target->AssignWide(decoded);
    gAutomaticMode = TRUE;
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
    gAutomaticMode = FALSE;
}

void ReadRunParameters(PropertyList* parameters) {
    if (parameters == nullptr) return;
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
}
