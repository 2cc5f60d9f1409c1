// LineReader: reads bytes and text lines from any Stream through a buffer of a size chosen
// at construction. With a buffer of 1 byte nothing past the returned line is taken from the
// source, so the body after a header block stays in the socket.
#pragma once

#include <windows.h>

#include "transport/Allocator.h"
#include "transport/Stream.h"

class LineReader {
public:
    // allocator provides the buffer; null makes the reader own a heap allocator. A buffer
    // size of 0 is taken as 1.
    LineReader(Allocator* allocator, DWORD bufferSize);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Takes the buffer and starts reading source (not owned). 1; -1 already attached; -4 null
    // source; -2 the buffer could not be obtained (stays detached).
    int Attach(Stream* source);
    // Releases the buffer and forgets the source; bytes still in the buffer are dropped. 1.
    int Detach();

    // Delivers up to *count bytes (1 when count is null) and stores the number delivered.
    // 1 bytes delivered; 0 nothing delivered, the source not exhausted (it gave 1 with count
    // 0); -1 the source ended or failed (the count tells what came before), or detached;
    // -4 null destination.
    int ReadBytes(void* destination, DWORD* count);

    // Reads one line ending in a line feed into destination. In: *length = the capacity in
    // bytes, terminator included; out: the line's length. The line feed, and a carriage
    // return just before it, are not stored; the line is always terminated.
    // A line longer than capacity - 1 bytes is cut: capacity - 1 bytes are stored and
    // terminated, *cut (optional) is set to TRUE, and the rest of that line, of which some
    // bytes may already be consumed, is left for SkipLine.
    // 1 a line (or a cut line, or data up to a source that paused); -1 no source, null
    // length, or the source ended or failed before a line feed (what came before it is
    // stored as a line); -4 null destination. A capacity of 0 gives 1 and touches nothing.
    int ReadLine(LPSTR destination, DWORD* length, BOOL* cut);

    // Discards bytes up to and including the next line feed (the rest of a cut line).
    // 1 the line feed was reached; 0 the source paused; -1 the source ended or failed.
    int SkipLine();

private:
    int Refill();

    Allocator* allocator_;
    HeapAllocator* ownedAllocator_ = nullptr;
    Stream* source_ = nullptr;
    BYTE* buffer_ = nullptr;
    DWORD bufferSize_;
    DWORD readIndex_ = 0;
    DWORD fillEnd_ = 0;
};
