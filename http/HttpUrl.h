// Taking an "http://" or "https://" URL apart, as the HTTP client needs it: the scheme, the
// authority as written, the host name and port to connect to, the Host line, and the request
// target. Pure functions over UTF-16 text; nothing here touches the network.
#pragma once

#include <windows.h>

constexpr DWORD kHttpUrlCapacity = 4096;       // units, terminator included
constexpr DWORD kHttpAuthorityCapacity = 1024; // units, terminator included
constexpr DWORD kHttpFileNameCapacity = 1024;  // units, terminator included
constexpr WORD kHttpDefaultPort = 80;
constexpr WORD kHttpsDefaultPort = 443;
// HttpSplitUrl's result for a host name that has no ASCII form (IDNA 2008 refuses it).
constexpr int kHttpInvalidHostName = -24;

struct HttpUrlParts {
    // The URL with a "/" put where its authority ends when no "/" follows it there.
    WCHAR url[kHttpUrlCapacity];
    // Index in url of the authority (just after "://").
    DWORD authorityStart;
    // Index in url of the "/" that begins the path (the request target without a proxy).
    DWORD pathStart;
    // Index in url of the "#" that begins the fragment, or its length: the request target
    // (path and query) ends here.
    DWORD targetEnd;
    // True for "https://": the connection is a secure socket.
    bool secure;
    // The authority exactly as written: user information and port included.
    WCHAR authority[kHttpAuthorityCapacity];
    // The name to connect to and to check the certificate against: the authority without
    // "user:password@", without ":port" and without the brackets of an IPv6 literal; a name
    // that is not all ASCII in its ASCII form ("xn--" labels).
    WCHAR hostName[kHttpAuthorityCapacity];
    // The Host line: the host (an IPv6 literal in its brackets, a name in its ASCII form) and
    // ":port" only when the port is not the scheme's default.
    WCHAR hostLine[kHttpAuthorityCapacity];
    // The host name as written, for showing it.
    WCHAR shownHostName[kHttpAuthorityCapacity];
    WORD port; // from the authority, else the scheme's default port
};

// A C0 control character (CR, LF, NUL, ...) or DEL.
bool HttpIsControlCharacter(WCHAR c);
// True when text holds a control character (NUL cannot occur inside a text).
bool HttpHasControlCharacter(LPCWSTR text);

// True when text begins with "http://" or "https://", in any letter case.
bool HttpHasScheme(LPCWSTR text);
// True when text begins with "https://", in any letter case.
bool HttpHasSecureScheme(LPCWSTR text);

// Splits url as RFC 3986 does: the authority runs from "://" to the first "/", "?" or "#".
// 1 and *parts; -1 when the URL does not begin with "http://" or "https://" (in
// any letter case), holds a control character, does not fit kHttpUrlCapacity (the appended
// "/" included), has an authority of kHttpAuthorityCapacity units or more, an empty host
// name, a bracketed host that is not an IPv6 literal (hex digits, ":" and "." only, at least
// one ":") or is followed by anything but ":port", or a port that is not a decimal number
// from 1 to 65535 (an empty port after ":" means the default); kHttpInvalidHostName when the
// host name is not all ASCII and has no ASCII form; -4 null argument.
int HttpSplitUrl(LPCWSTR url, HttpUrlParts* parts);

// The user information of a split URL's authority ("user:password@host"), percent-decoded:
// 1 and userId and password (capacity units each; the password empty without ":"); 0 and
// both empty when the authority has none; -1 when either does not fit; -4 null argument.
int HttpUrlCredentials(const HttpUrlParts* parts, LPWSTR userId, LPWSTR password, DWORD capacity);

// The request target of a split URL, as it goes on the request line: its path and query
// (never the fragment) encoded by HttpEncodeTarget; when absolute (for a proxy), after the
// scheme as written and the authority of the Host line (no user information). 1 and buffer;
// -1 when it does not fit capacity (buffer left empty); -4 null argument.
int HttpRequestTarget(const HttpUrlParts* parts, bool absolute, LPWSTR buffer, DWORD capacity);

// length units of text as a request target holds them: a space, a control character, '"',
// "<", ">", and each character that is not ASCII (as the %XX of its UTF-8 bytes), and a "%"
// that does not begin an escape ("%25") are escaped; everything else, reserved characters
// and escapes included, stays as written. 1 and buffer; -1 when it does not fit capacity
// (buffer left empty); -4 null argument.
int HttpEncodeTarget(LPCWSTR text, DWORD length, LPWSTR buffer, DWORD capacity);

// url without the user information of its authority, for showing it: 1 and buffer; -1 when it does
// not fit (buffer left empty); -4 null argument. Text without an http or https scheme is copied as
// it is.
int HttpUrlWithoutCredentials(LPCWSTR url, LPWSTR buffer, DWORD capacity);

// Reads text as an IPv4 address in dotted-quad form: four decimal numbers of 0 to 255
// separated by dots. Text after the fourth number is ignored unless it continues a host
// name (a letter, digit, ".", "-" or "_"). True and *address (first octet in the top byte).
bool HttpParseDottedQuad(LPCWSTR text, DWORD* address);

// Equality of two host names without regard to ASCII letter case.
bool HttpSameHostName(LPCWSTR a, LPCWSTR b);

// Whether the length units at name are one plain file name as the server may choose it:
// not "." or "..", and without "/", "\\", ":", "?" or a unit StrIsHiddenControl names.
bool HttpIsPlainFileName(LPCWSTR name, DWORD length);

// The server's name for the resource: the text after the last "/" of the target's path (the
// part before the first "?" or "#"), its escapes decoded as UTF-8 when that gives one plain
// file name, else as written. 1 and the name (empty when the path ends in "/"); -1 when the
// path has no "/", or neither form is one plain file name ("." or "..", or it holds "/",
// "\", ":", "?" or a unit StrIsHiddenControl names), or the name does not fit capacity (buffer left
// empty); -4 null buffer or capacity 0.
int HttpFileNameFromTarget(LPCWSTR target, LPWSTR buffer, DWORD capacity);
