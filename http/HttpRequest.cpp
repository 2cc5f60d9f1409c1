#include "http/HttpRequest.h"

#include <initializer_list>

#include "base/Bytes.h"
#include "base/Results.h"
#include "base/StringUtil.h"
#include "base/WString.h"
#include "http/HttpUrl.h"
#include "http/MemoryStream.h"
#include "transport/Base64.h"
#include "transport/BlockStream.h"

namespace {

constexpr DWORD kDecimalCapacity = 24; // the 20 digits of 2^64 - 1 and the terminator
constexpr DWORD kPortTextCapacity = 8; // ":65535" and the terminator
constexpr DWORD kCredentialChunkSize = 128;
constexpr WCHAR kTab = 0x09;
// HTTP ends every line of a request, the empty one included, with CR LF; strict servers
// refuse a bare line feed.
constexpr WCHAR kLineEnd[] = TEXT("\r\n");

// Appends each piece in turn; false as soon as one does not fit.
bool AppendAll(LPWSTR destination, DWORD capacity, std::initializer_list<LPCWSTR> pieces) {
    for (LPCWSTR piece : pieces) {
        if (StrAppend(destination, capacity, piece) != kResultOk) return false;
    }
    return true;
}

bool ValidHeaderName(LPCWSTR name) {
    if (name == nullptr || name[0] == 0) return false;
    return !HttpHasControlCharacter(name) && StrFindUnit(name, u':', nullptr) != kResultOk;
}

bool ValidHeaderValue(LPCWSTR value) {
    if (value == nullptr) return false;
    for (; *value != 0; ++value) {
        if (*value != kTab && HttpIsControlCharacter(*value)) return false;
    }
    return true;
}

// The line that gives the proxy its credentials (requests through it and CONNECT).
bool AppendProxyAuthorization(LPWSTR request, DWORD capacity, LPCWSTR proxyAuthorization) {
    return AppendAll(request, capacity,
                     {TEXT("Proxy-Authorization: Basic "), proxyAuthorization, kLineEnd});
}

// Writes text's narrow form into stream; false when it is longer than kHttpCredentialBytes.
int WriteCredential(LPCWSTR text, MemoryStream* stream) {
    WString converted;
    converted.AssignWide(text);
    LPCSTR narrow = converted.GetNarrow();
    DWORD length = 0;
    StrLength(narrow, &length);
    if (length > kHttpCredentialBytes) return kResultFail;
    DWORD count = length;
    const int result = stream->Write(narrow, &count);
    if (result <= 0) return result;
    return count == length ? kResultOk : kResultFail;
}

} // namespace

int HttpBuildExtraHeaders(PropertyList* store, LPWSTR lines, DWORD capacity) {
    if (store == nullptr || lines == nullptr || capacity == 0) return kResultNullArgument;
    lines[0] = 0;
    for (DWORD index = 0;; ++index) {
        PropertyRecord record = {};
        record.type = kPropertyWide;
        if (store->GetAt(index, &record) != kResultOk) break;
        if (!ValidHeaderName(record.key) || !ValidHeaderValue(record.wideText) ||
            !AppendAll(lines, capacity, {record.key, TEXT(": "), record.wideText, kLineEnd})) {
            lines[0] = 0;
            return kResultFail;
        }
    }
    return kResultOk;
}

int HttpWithoutHeaderLine(LPCWSTR lines, LPCWSTR name, LPWSTR kept, DWORD capacity) {
    if (lines == nullptr || name == nullptr || kept == nullptr || capacity == 0) {
        return kResultNullArgument;
    }
    DWORD nameLength = 0;
    StrLength(name, &nameLength);
    DWORD used = 0;
    for (LPCWSTR line = lines; *line != 0;) {
        DWORD length = 0;
        while (line[length] != 0 && line[length] != u'\n') ++length;
        if (line[length] == u'\n') ++length;
        bool named = length > nameLength && line[nameLength] == u':';
        for (DWORD i = 0; named && i < nameLength; ++i) {
            named = line[i] == name[i];
        }
        if (!named) {
            if (length >= capacity - used) {
                kept[0] = 0;
                return kResultFail;
            }
            for (DWORD i = 0; i < length; ++i) kept[used + i] = line[i];
            used += length;
        }
        line += length;
    }
    kept[used] = 0;
    return kResultOk;
}

int HttpBuildRequest(LPCWSTR target, LPCWSTR host, uint64_t position, LPCWSTR extraHeaders,
                     LPCWSTR authorization, LPCWSTR proxyAuthorization, LPWSTR request,
                     DWORD capacity) {
    if (target == nullptr || host == nullptr || extraHeaders == nullptr || request == nullptr ||
        capacity == 0) {
        return kResultNullArgument;
    }
    WCHAR decimal[kDecimalCapacity];
    wsprintfW(decimal, TEXT("%I64u"), static_cast<ULONGLONG>(position));
    request[0] = 0;
    bool fits =
        AppendAll(request, capacity,
                  {TEXT("GET "), target, TEXT(" HTTP/1.0"), kLineEnd, TEXT("Host: "), host,
                   kLineEnd, TEXT("Range: bytes="), decimal, TEXT("-"), kLineEnd, extraHeaders});
    if (fits && authorization != nullptr) {
        fits =
            AppendAll(request, capacity, {TEXT("Authorization: Basic "), authorization, kLineEnd});
    }
    if (fits && proxyAuthorization != nullptr) {
        fits = AppendProxyAuthorization(request, capacity, proxyAuthorization);
    }
    if (fits) fits = AppendAll(request, capacity, {kLineEnd});
    if (!fits) {
        request[0] = 0;
        return kResultFail;
    }
    return kResultOk;
}

int HttpBuildTunnelRequest(LPCWSTR hostName, WORD port, LPCWSTR proxyAuthorization, LPWSTR request,
                           DWORD capacity) {
    if (hostName == nullptr || request == nullptr || capacity == 0) return kResultNullArgument;
    const bool literal = StrFindUnit(hostName, u':', nullptr) == kResultOk;
    WCHAR portText[kPortTextCapacity];
    wsprintfW(portText, TEXT(":%u"), static_cast<unsigned>(port));
    LPCWSTR open = literal ? TEXT("[") : TEXT("");
    LPCWSTR close = literal ? TEXT("]") : TEXT("");
    request[0] = 0;
    if (!AppendAll(request, capacity,
                   {TEXT("CONNECT "), open, hostName, close, portText, TEXT(" HTTP/1.0"), kLineEnd,
                    TEXT("Host: "), open, hostName, close, portText, kLineEnd}) ||
        (proxyAuthorization != nullptr &&
         !AppendProxyAuthorization(request, capacity, proxyAuthorization)) ||
        !AppendAll(request, capacity, {kLineEnd})) {
        request[0] = 0;
        return kResultFail;
    }
    return kResultOk;
}

int HttpEncodeBasicCredentials(LPCWSTR userId, LPCWSTR password, LPWSTR encoded, DWORD capacity) {
    if (userId == nullptr || password == nullptr || encoded == nullptr ||
        capacity < kHttpBasicEncodedCapacity) {
        return kResultNullArgument;
    }
    encoded[0] = 0;
    MemoryStream input;
    if (input.Open(kCredentialChunkSize, nullptr) != kResultOk) return kResultNoMemory;
    int result = WriteCredential(userId, &input);
    if (result > 0) {
        DWORD count = 1;
        result = input.Write(":", &count);
    }
    if (result > 0) result = WriteCredential(password, &input);
    if (result <= 0) return result;
    const int64_t start = 0;
    input.Seek(&start, nullptr, kSeekBegin);

    // The last byte of the block is never written, so the text in it stays terminated.
    BYTE block[kHttpBasicEncodedCapacity] = {};
    BlockStream output;
    if (output.Attach(block, kHttpBasicEncodedLength, FALSE, nullptr) != kResultOk) {
        return kResultNoMemory;
    }
    Base64Tables tables;
    Base64BuildTables(&tables);
    result = Base64Encode(&tables, &input, &output, kBase64NoLineBreaks);
    Base64ReleaseTables(&tables);
    if (result != kResultOk) return kResultFail;
    for (DWORD i = 0; i < kHttpBasicEncodedCapacity; ++i) encoded[i] = block[i];
    BytesFill(block, 0, sizeof block);
    return kResultOk;
}
