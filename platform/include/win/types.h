// The Win32 base types, as the system code is written against them.
// WCHAR is a 16-bit UTF-16 unit (char16_t here, wchar_t on Windows); DWORD and LONG are
// 32 bits wide whatever the data model, as on Windows.
#pragma once

#include <cstddef>
#include <cstdint>

typedef char16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef WCHAR* PWSTR;
typedef const WCHAR* PCWSTR;
typedef char CHAR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef WCHAR TCHAR;
typedef LPWSTR LPTSTR;
typedef LPCWSTR LPCTSTR;

typedef uint8_t BYTE;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;
typedef uint16_t WORD;
typedef uint16_t USHORT;
typedef int16_t SHORT;
typedef uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef DWORD* PDWORD;
typedef int32_t LONG;
typedef LONG* PLONG;
typedef LONG* LPLONG;
typedef uint32_t ULONG;
typedef int INT;
typedef unsigned int UINT;
typedef int BOOL;
typedef BOOL* LPBOOL;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uint64_t DWORD64;
typedef void VOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* PVOID;

typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef WORD ATOM;
typedef DWORD COLORREF;

typedef void* HANDLE;
typedef HANDLE* LPHANDLE;

#define QB_DECLARE_HANDLE(name)                                                                    \
    struct name##__;                                                                               \
    typedef struct name##__* name
QB_DECLARE_HANDLE(HWND);
QB_DECLARE_HANDLE(HINSTANCE);
QB_DECLARE_HANDLE(HMENU);
QB_DECLARE_HANDLE(HICON);
QB_DECLARE_HANDLE(HBITMAP);
QB_DECLARE_HANDLE(HKEY);
QB_DECLARE_HANDLE(HRSRC);
QB_DECLARE_HANDLE(HDC);
QB_DECLARE_HANDLE(HBRUSH);
QB_DECLARE_HANDLE(HFONT);
typedef HINSTANCE HMODULE;
typedef HANDLE HGLOBAL;
typedef HICON HCURSOR;
typedef HKEY* PHKEY;

#define WINAPI
#define CALLBACK
#define APIENTRY
#define CONST const

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// TEXT("...") gives a UTF-16 literal, the Win32 idiom for UTF-16 text.
#define QB_TEXT_(s) u##s
#define TEXT(s) QB_TEXT_(s)
#define _T(s) QB_TEXT_(s)

#define MAX_PATH 260
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))
#define LOBYTE(w) ((BYTE)(((DWORD_PTR)(w)) & 0xff))
#define MAKEWORD(a, b) ((WORD)(((BYTE)(a)) | ((WORD)((BYTE)(b))) << 8))
#define MAKELONG(a, b) ((LONG)(((WORD)(a)) | ((DWORD)((WORD)(b))) << 16))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEINTRESOURCE MAKEINTRESOURCEW
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)

typedef struct _RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;
typedef const RECT* LPCRECT;

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *LPPOINT;

typedef struct tagSIZE {
    LONG cx;
    LONG cy;
} SIZE;

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *LPFILETIME;

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(WCHAR) == 2);
