// WString: the system's one string object. It owns a zero-terminated UTF-16 text (never
// null: an empty value points at a shared empty text) and, on demand, a narrow copy of it in
// the default ANSI code page (CP_ACP).
//
// No operation fails visibly: a null source gives the empty value, and so does a failed
// allocation or conversion. A source must not be the object's own buffer.
#pragma once

#include <windows.h>

class WString {
public:
    WString();
    ~WString();
    WString(const WString&) = delete;
    WString& operator=(const WString&) = delete;

    // Releases the owned buffers; the value becomes empty.
    void Clear();
    // Clear, after overwriting the owned buffers with zeros: for a value that held a secret.
    void Wipe();
    // Replaces the value with a copy of text (null: empty).
    void AssignWide(LPCWSTR text);
    // Replaces the value with text converted from the default ANSI code page (null: empty).
    void AssignNarrow(LPCSTR text);

    // The value; owned by the object, valid until the next assignment, Clear or destruction.
    LPCWSTR GetWide() const { return wide_; }
    // A fresh narrow copy of the value in the default ANSI code page, replacing the previous
    // one; valid until the next GetNarrow, assignment, Clear or destruction.
    LPCSTR GetNarrow();

private:
    void ReleaseNarrow();

    WCHAR* wide_;
    DWORD reserved_;
    CHAR* narrow_;
};
