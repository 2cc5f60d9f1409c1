// Streams for tests: a source that hands out its bytes in pieces of a chosen size and then
// ends in a chosen way, so that readers meet every boundary and every kind of end.
#pragma once

#include <cstring>
#include <string>

#include "base/Results.h"
#include "transport/Stream.h"

// How a ScriptedSource answers once its bytes are gone.
enum class SourceEnd {
    Closed, // result 0 (a socket whose peer closed)
    Paused, // result 1 with count 0 (a block at its end)
    Failed, // result -1
};

class ScriptedSource final : public Stream {
public:
    ScriptedSource(std::string data, DWORD piece, SourceEnd end)
        : data_(std::move(data)), piece_(piece), end_(end) {}

    int GetName(LPWSTR, DWORD) override { return kResultFail; }
    int GetSize(uint64_t*) override { return kResultFail; }
    int Seek(const int64_t*, uint64_t*, DWORD) override { return kResultFail; }
    int Read(void* buffer, DWORD* count) override {
        ++reads;
        if (offset_ >= data_.size()) {
            *count = 0;
            if (end_ == SourceEnd::Closed) return kResultEnd;
            if (end_ == SourceEnd::Failed) return kResultFail;
            return kResultOk;
        }
        DWORD n = *count < piece_ ? *count : piece_;
        if (n > data_.size() - offset_) n = static_cast<DWORD>(data_.size() - offset_);
        std::memcpy(buffer, data_.data() + offset_, n);
        offset_ += n;
        *count = n;
        return kResultOk;
    }
    int Write(const void*, DWORD*) override { return kResultFail; }
    int Close() override { return kResultNo; }

    // The bytes no read has taken yet.
    std::string Rest() const { return data_.substr(offset_); }
    int reads = 0;

private:
    std::string data_;
    size_t offset_ = 0;
    DWORD piece_;
    SourceEnd end_;
};

// A sink that collects whatever is written, accepting at most limit bytes in all.
class CollectingSink final : public Stream {
public:
    explicit CollectingSink(size_t limit = std::string::npos) : limit_(limit) {}

    int GetName(LPWSTR, DWORD) override { return kResultFail; }
    int GetSize(uint64_t*) override { return kResultFail; }
    int Seek(const int64_t*, uint64_t*, DWORD) override { return kResultFail; }
    int Read(void*, DWORD*) override { return kResultFail; }
    int Write(const void* data, DWORD* count) override {
        size_t n = *count;
        if (n > limit_ - text.size()) n = limit_ - text.size();
        text.append(static_cast<const char*>(data), n);
        *count = static_cast<DWORD>(n);
        return kResultOk;
    }
    int Close() override { return kResultNo; }

    std::string text;

private:
    size_t limit_;
};
