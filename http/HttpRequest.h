// The text of the HTTP client's requests and the Basic credentials in it. Every line ends
// with CR LF; the header lines come in this order: Host, Range, the caller's
// headers in the order of their store, Authorization (only after the user gave
// credentials), Proxy-Authorization (only to a proxy that is given credentials), then the
// empty line.
#pragma once

#include <cstdint>

#include <windows.h>

#include "http/HttpUrl.h"
#include "http/PropertyList.h"

constexpr DWORD kHttpRequestCapacity = 8192;      // units of a whole request, terminator incl.
constexpr DWORD kHttpExtraHeadersCapacity = 4096; // units of the caller's header lines
// The credentials callback's buffers: 255 characters and the terminator each.
constexpr DWORD kHttpCredentialCapacity = 256;
// Narrow bytes of "user:password" that the encoder takes: 255 + 1 + 255.
constexpr DWORD kHttpCredentialBytes = 255;
constexpr DWORD kHttpBasicInputCapacity = kHttpCredentialBytes + 1 + kHttpCredentialBytes;
// Base64 characters of the largest input, and the buffer that also holds the terminator.
constexpr DWORD kHttpBasicEncodedLength = (kHttpBasicInputCapacity + 2) / 3 * 4;
constexpr DWORD kHttpBasicEncodedCapacity = kHttpBasicEncodedLength + 1;
// A tunnel request: two authorities of the longest host name, brackets and port, the
// longest Proxy-Authorization line, and words.
constexpr DWORD kHttpTunnelRequestCapacity =
    2 * kHttpAuthorityCapacity + kHttpBasicEncodedLength + 128;

// The header lines "Name: value" (each ended by CR LF) of every entry of store, read as wide text
// by index until the store answers with anything but 1. 1; -1 a name that is empty or holds ":" or
// a control character, a value with a control character other than tab, or lines that do not fit
// capacity; -4 null argument. On failure lines is left empty.
int HttpBuildExtraHeaders(PropertyList* store, LPWSTR lines, DWORD capacity);

// lines (complete header lines as HttpBuildExtraHeaders makes them) without the lines whose
// name is exactly name (as the caller's own store spells it). 1; -1 when the rest does not fit
// capacity (kept left empty); -4 null argument.
int HttpWithoutHeaderLine(LPCWSTR lines, LPCWSTR name, LPWSTR kept, DWORD capacity);

// "GET target HTTP/1.0", "Host: host", "Range: bytes=<position>-", extraHeaders (complete
// lines, may be empty), "Authorization: Basic <authorization>" when authorization is not
// null, "Proxy-Authorization: Basic <proxyAuthorization>" when that is not null, and the
// empty line. 1; -1 when the text does not fit capacity (request left empty); -4 null
// target, host, extraHeaders or request.
int HttpBuildRequest(LPCWSTR target, LPCWSTR host, uint64_t position, LPCWSTR extraHeaders,
                     LPCWSTR authorization, LPCWSTR proxyAuthorization, LPWSTR request,
                     DWORD capacity);

// "CONNECT host:port HTTP/1.0" and "Host: host:port" (an IPv6 literal, one with a ":", in
// brackets; the port always written), "Proxy-Authorization: Basic <proxyAuthorization>"
// when that is not null, then the empty line: the request that opens a tunnel through the
// proxy. 1; -1 when it does not fit capacity (request left empty); -4 null hostName or
// request.
int HttpBuildTunnelRequest(LPCWSTR hostName, WORD port, LPCWSTR proxyAuthorization, LPWSTR request,
                           DWORD capacity);

// Base64 of "userId:password" (each converted to the default ANSI code page) on one line, no
// breaks. 1 and encoded; -1 when either converts to more than kHttpCredentialBytes bytes, or
// the encoding failed; -2 no memory; -4 null argument or capacity below
// kHttpBasicEncodedCapacity.
int HttpEncodeBasicCredentials(LPCWSTR userId, LPCWSTR password, LPWSTR encoded, DWORD capacity);
