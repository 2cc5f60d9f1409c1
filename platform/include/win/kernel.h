// Kernel services: last error, code pages and the wsprintfW subset, files and directories,
// threads, waits, critical sections, time and the system language. Implemented in
// platform/kernel, with the numbers, signatures and results of the Win32 documentation.
#pragma once

#include <cstdarg>

#include "types.h"

// ---- Last error -------------------------------------------------------------------------
// One value per thread, set by every kernel function that fails.
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD dwErrCode);

// ---- Code pages -------------------------------------------------------------------------
// CP_ACP is the code set of the user's locale (LC_ALL > LC_CTYPE > LANG), UTF-8 when that
// is C, POSIX or unset. A character without an equivalent becomes "?", as on Windows; an
// invalid input sequence becomes U+FFFD.
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x00000001
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_COMPOSITECHECK 0x00000200
#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_NO_BEST_FIT_CHARS 0x00000400

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar);

// wsprintfW subset: %u %i %d %x %X %s (UTF-16 text) %c %% and %I64u / %I64i / %I64d / %I64x
// for 64-bit values, with the flags "-" and "0", a width and a precision. "l" and "h" size
// prefixes are accepted ("l" is 32-bit, as LONG is). Writes at most 1024 units including the
// terminator, as Windows does; returns the units written without the terminator.
int wsprintfW(LPWSTR buffer, LPCWSTR format, ...);
int WINAPI wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list arglist);

int WINAPI lstrlenW(LPCWSTR s);
// Compares as the user's locale sorts plain text: letters without regard to case first,
// then lower case before upper case; -1, 0 or 1.
int WINAPI lstrcmpW(LPCWSTR a, LPCWSTR b);

// ---- Language ---------------------------------------------------------------------------
typedef WORD LANGID;
// From the locale (LC_ALL > LC_MESSAGES > LANG): ja_JP* gives 0x0411, "ja" alone 0x0011;
// other languages their identifiers; C/POSIX or unset 0x0409.
LANGID WINAPI GetSystemDefaultLangID(void);

// ---- Handles ----------------------------------------------------------------------------
typedef size_t SIZE_T;
typedef ptrdiff_t SSIZE_T;

// Closes a file or thread handle. A closed handle of a running thread lets the thread run
// to its end; its resources go when it ends.
BOOL WINAPI CloseHandle(HANDLE hObject);

// ---- Files ------------------------------------------------------------------------------
// Paths are device paths: "\" or "/" separate components, a path not starting with one is
// taken from the root; QUILLBROOK_ROOT=DIR puts the root in DIR; "\My Documents" is the
// user's documents folder (qb/device_path.h).
#define GENERIC_READ 0x80000000UL
#define GENERIC_WRITE 0x40000000UL
#define GENERIC_EXECUTE 0x20000000UL
#define GENERIC_ALL 0x10000000UL

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100
#define FILE_FLAG_WRITE_THROUGH 0x80000000UL
#define FILE_FLAG_OVERLAPPED 0x40000000UL
#define FILE_FLAG_NO_BUFFERING 0x20000000UL
#define FILE_FLAG_RANDOM_ACCESS 0x10000000UL
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000UL
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000UL
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000UL
// A link at the name's last component is not followed. On Linux, where a link has no data of
// its own to open, such an open fails (ERROR_CANT_ACCESS_FILE): O_NOFOLLOW.
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000UL

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

// Asynchronous transfers are not offered: ReadFile and WriteFile refuse an OVERLAPPED.
typedef struct _OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
// Writes everything or fails: a full disk or the process's file-size limit gives FALSE
// with ERROR_DISK_FULL (or ERROR_HANDLE_DISK_FULL) and the bytes written before it.
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod);
DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
BOOL WINAPI SetEndOfFile(HANDLE hFile);
BOOL WINAPI FlushFileBuffers(HANDLE hFile);

typedef struct _WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
} WIN32_FIND_DATAW, *PWIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

// "*" and "?" in the last component follow Windows' rules ("*.*" is every name, "*." the
// names without a dot, a trailing "?" may match nothing, "?" never matches a dot). Names
// compare exactly, as the file system stores them. "." and ".." are reported only when the
// pattern is exactly that name. Entries come in name order.
HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData);
BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData);
BOOL WINAPI FindClose(HANDLE hFindFile);

BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName);
BOOL WINAPI DeleteFileW(LPCWSTR lpFileName);
BOOL WINAPI CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists);
// Fails with ERROR_ALREADY_EXISTS when the new name exists; moves files across file systems.
BOOL WINAPI MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName);
DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName);

// The running program's path as a device path (any module handle names the program).
// A buffer too small receives the cut, terminated path: the result is nSize and the error
// ERROR_INSUFFICIENT_BUFFER.
DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
// The process's current directory as a device path ("\" under QUILLBROOK_ROOT, whose
// device has none): its length without the terminator; for a null or too small buffer
// nothing is written and the units needed, terminator included, are returned; 0 on failure.
DWORD WINAPI GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer);

// The value of the environment variable lpName: its length without the terminator; when
// nSize is too small, the size it needs with the terminator (nothing copied); 0 and
// ERROR_ENVVAR_NOT_FOUND when the variable is not set.
DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize);

// ---- Threads and waits ------------------------------------------------------------------
typedef DWORD(WINAPI* PTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);
typedef PTHREAD_START_ROUTINE LPTHREAD_START_ROUTINE;

#define CREATE_SUSPENDED 0x00000004
#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000
#define STILL_ACTIVE 259
#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)

// The default stack serves unless dwStackSize asks for more; CREATE_SUSPENDED is refused.
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                           DWORD dwCreationFlags, LPDWORD lpThreadId);
// Never 0; not reused while the process runs.
DWORD WINAPI GetCurrentThreadId(void);
// Ends the calling thread by unwinding its stack: call it only where no noexcept function
// is on the way back to the thread's start.
void WINAPI ExitThread(DWORD dwExitCode);
BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
// Thread handles are signalled when the thread has ended: WAIT_OBJECT_0, WAIT_TIMEOUT, or
// WAIT_FAILED with GetLastError for a handle that is not a thread's.
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

// ---- Console control --------------------------------------------------------------------
// The events a handler receives: SIGINT is CTRL_C_EVENT, SIGHUP CTRL_CLOSE_EVENT and SIGTERM
// CTRL_SHUTDOWN_EVENT. Handlers run on a thread of their own, the last added first, until
// one returns TRUE; when none does, the signal takes its default course.
#define CTRL_C_EVENT 0
#define CTRL_BREAK_EVENT 1
#define CTRL_CLOSE_EVENT 2
#define CTRL_LOGOFF_EVENT 5
#define CTRL_SHUTDOWN_EVENT 6
typedef BOOL(WINAPI* PHANDLER_ROUTINE)(DWORD dwCtrlType);
// Adds (bAdd TRUE) or removes a handler; a null routine is refused. The first handler makes
// SIGINT, SIGHUP and SIGTERM events; they keep that meaning while the process runs.
BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE HandlerRoutine, BOOL Add);

// ---- Time -------------------------------------------------------------------------------
// 0 gives up the rest of the time slice; INFINITE never returns.
void WINAPI Sleep(DWORD dwMilliseconds);
// Milliseconds of a monotonic clock, 32 bits, wrapping after 49.7 days. Tests can move it
// (qb/kernel_test.h).
DWORD WINAPI GetTickCount(void);

// ---- Critical sections ------------------------------------------------------------------
// Recursive, as on Windows: the owner may enter again and leaves as often as it entered.
// The storage holds the lock itself; the fields are not for use.
typedef struct _CRITICAL_SECTION {
    void* Reserved[8];
} CRITICAL_SECTION, *LPCRITICAL_SECTION, *PCRITICAL_SECTION;

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
