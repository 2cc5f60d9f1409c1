#include "http/HttpResponse.h"

#include "base/Results.h"
#include "base/StringUtil.h"
#include "base/WString.h"

namespace {

constexpr CHAR kStatusPrefix[] = "HTTP/";
constexpr DWORD kStatusPrefixLength = 5;
constexpr uint64_t kLargestLength = 0x7FFFFFFFFFFFFFFFull;
constexpr DWORD kLargestDword = 0xFFFFFFFF;
constexpr WCHAR kRangeUnit[] = TEXT("bytes");
constexpr DWORD kRangeUnitLength = 5;
constexpr CHAR kLocation[] = "Location";

bool IsDigit(CHAR c) {
    return c >= '0' && c <= '9';
}

bool IsSpace(CHAR c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// A scanf-style unsigned conversion: spaces, then at least one digit. Advances *text.
bool ScanNumber(LPCSTR* text, DWORD* value) {
    LPCSTR p = *text;
    while (IsSpace(*p)) ++p;
    if (!IsDigit(*p)) return false;
    uint64_t number = 0;
    for (; IsDigit(*p); ++p) {
        number = number * 10 + static_cast<uint64_t>(*p - '0');
        if (number > kLargestDword) return false;
    }
    *value = static_cast<DWORD>(number);
    *text = p;
    return true;
}

// Digits from *text into a 64-bit value of at most kLargestLength. Advances *text.
bool ScanLength(LPCWSTR* text, uint64_t* value) {
    LPCWSTR p = *text;
    if (*p < u'0' || *p > u'9') return false;
    uint64_t number = 0;
    for (; *p >= u'0' && *p <= u'9'; ++p) {
        const uint64_t digit = static_cast<uint64_t>(*p - u'0');
        if (number > (kLargestLength - digit) / 10) return false;
        number = number * 10 + digit;
    }
    *value = number;
    *text = p;
    return true;
}

// Stores one "name: value" line of length bytes; false when it has no colon.
bool StoreHeaderLine(LPSTR line, DWORD length, BOOL cut, PropertyList* store) {
    // A NUL byte inside the line ends the text there, which loses the rest as a cut does.
    DWORD textLength = 0;
    StrLength(line, &textLength);
    const bool shortened = cut || textLength < length;
    DWORD colon = 0;
    if (StrFindUnit(line, ':', &colon) != kResultOk) return false;
    line[colon] = 0;
    LPCSTR value = line + colon + 1;
    while (*value == ' ') ++value;
    if (shortened && StrEqualNoCase(line, kLocation) == kResultOk) value = "";
    WString name;
    name.AssignNarrow(line);
    WString text;
    text.AssignNarrow(value);
    store->SetWide(name.GetWide(), text.GetWide());
    return true;
}

} // namespace

int HttpReadLine(LineReader* reader, LPSTR line, DWORD capacity, DWORD* length, BOOL* cut) {
    if (reader == nullptr || line == nullptr || length == nullptr || capacity == 0) {
        return kResultNullArgument;
    }
    DWORD stored = capacity;
    BOOL wasCut = FALSE;
    int result = reader->ReadLine(line, &stored, &wasCut);
    line[stored < capacity ? stored : capacity - 1] = 0;
    if (result > 0 && wasCut && reader->SkipLine() < 0) result = kResultFail;
    *length = stored;
    if (cut != nullptr) *cut = wasCut;
    return result;
}

int HttpParseStatusLine(LPCSTR line, DWORD* status) {
    if (line == nullptr) return 0;
    for (DWORD i = 0; i < kStatusPrefixLength; ++i) {
        if (line[i] != kStatusPrefix[i]) return 0;
    }
    LPCSTR p = line + kStatusPrefixLength;
    DWORD major = 0;
    if (!ScanNumber(&p, &major)) return 0;
    if (*p != '.') return 1;
    ++p;
    DWORD minor = 0;
    if (!ScanNumber(&p, &minor)) return 1;
    DWORD code = 0;
    if (!ScanNumber(&p, &code)) return 2;
    if (status != nullptr) *status = code;
    return static_cast<int>(kHttpStatusNumbers);
}

int HttpParseReasonPhrase(LPCSTR statusLine, LPWSTR reason, DWORD capacity) {
    if (reason == nullptr || capacity == 0) return kResultNullArgument;
    reason[0] = 0;
    if (HttpParseStatusLine(statusLine, nullptr) != static_cast<int>(kHttpStatusNumbers)) {
        return kResultOk;
    }
    // After "HTTP/", the three numbers as HttpParseStatusLine reads them.
    LPCSTR p = statusLine + kStatusPrefixLength;
    DWORD number = 0;
    ScanNumber(&p, &number);
    ++p;
    ScanNumber(&p, &number);
    ScanNumber(&p, &number);
    while (*p == ' ') ++p;
    DWORD length = 0;
    for (; p[length] != 0 && length + 1 < capacity; ++length) {
        const BYTE byte = static_cast<BYTE>(p[length]);
        reason[length] = byte >= 0x20 && byte < 0x7F ? static_cast<WCHAR>(byte) : u'?';
    }
    while (length > 0 && reason[length - 1] == u' ') --length;
    reason[length] = 0;
    return kResultOk;
}

int HttpReadHeaderBlock(LineReader* reader, PropertyList* store) {
    if (store == nullptr) return kResultNoMemory;
    if (reader == nullptr) return kResultNullArgument;
    CHAR line[kHttpHeaderLineCapacity];
    for (;;) {
        DWORD length = 0;
        BOOL cut = FALSE;
        // A line the connection cut short is not taken as a header.
        if (HttpReadLine(reader, line, sizeof line, &length, &cut) < 0) return kResultOk;
        if (length == 0) return kResultOk;
        if (!StoreHeaderLine(line, length, cut, store)) return kResultFail;
    }
}

bool HttpParseLength(LPCWSTR text, uint64_t* value) {
    if (text == nullptr || value == nullptr) return false;
    uint64_t number = 0;
    if (!ScanLength(&text, &number) || *text != 0) return false;
    *value = number;
    return true;
}

bool HttpParseRangeStart(LPCWSTR text, uint64_t* first) {
    if (text == nullptr || first == nullptr) return false;
    for (DWORD i = 0; i < kRangeUnitLength; ++i) {
        if (text[i] != kRangeUnit[i]) return false;
    }
    LPCWSTR p = text + kRangeUnitLength;
    if (*p != u' ') return false;
    while (*p == u' ') ++p;
    uint64_t start = 0;
    if (!ScanLength(&p, &start) || *p != u'-') return false;
    *first = start;
    return true;
}
