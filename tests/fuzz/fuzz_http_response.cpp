// The HTTP response reader: the input is the server's reply. It is read as the client reads
// it (a LineReader over the connection, the status line, then the header block into the
// response-header store), once as the client does it (a one-byte buffer, the connection
// ending with a read of 0 bytes) and once with a larger buffer over a connection that
// delivers a few bytes at a time and then fails.
#include <cstddef>
#include <cstdint>
#include <string>

#include <windows.h>

#include "http/ContentDisposition.h"
#include "http/HttpResponse.h"
#include "http/LineReader.h"
#include "http/PropertyList.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/url_invariants.h"
#include "transport/Stream.h"

namespace {

constexpr DWORD kClientReaderBuffer = 1; // the client's head reader
constexpr DWORD kLargeReaderBuffer = 7;
constexpr DWORD kWholeReads = 0xFFFFFFFF;
constexpr DWORD kShortReads = 3;
constexpr DWORD kLongestLocationValue = kHttpHeaderLineCapacity - 1 - sizeof "Location:" + 1;

// The reply as a connection: reads of at most a few bytes; at the end either what a closed
// socket gives (1 with no bytes) or a failure.
class ReplyStream final : public Stream {
public:
    ReplyStream(const uint8_t* data, size_t size, DWORD piece, int endResult)
        : data_(data), size_(size), piece_(piece), endResult_(endResult) {}
    ~ReplyStream() = default;

    int GetName(LPWSTR, DWORD) override { return -1; }
    int GetSize(uint64_t*) override { return -1; }
    int Seek(const int64_t*, uint64_t*, DWORD) override { return -1; }
    int Read(void* buffer, DWORD* count) override {
        FUZZ_CHECK(buffer != nullptr && count != nullptr);
        if (position_ >= size_) {
            *count = 0;
            return endResult_;
        }
        size_t n = size_ - position_;
        if (n > *count) n = *count;
        if (n > piece_) n = piece_;
        auto* to = static_cast<uint8_t*>(buffer);
        for (size_t i = 0; i < n; ++i) to[i] = data_[position_ + i];
        position_ += n;
        *count = static_cast<DWORD>(n);
        return 1;
    }
    int Write(const void*, DWORD*) override { return -1; }
    int Close() override { return 0; }

    size_t Position() const { return position_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
    DWORD piece_;
    int endResult_;
};

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// A parsed length is the text's own number: digits only, leading zeros aside.
void CheckLength(LPCWSTR text) {
    uint64_t value = 0;
    if (!HttpParseLength(text, &value)) return;
    FUZZ_CHECK(value <= 0x7FFFFFFFFFFFFFFFull);
    const std::u16string digits = text;
    size_t first = digits.find_first_not_of(u'0');
    if (first == std::u16string::npos) first = digits.size();
    std::u16string expected;
    for (uint64_t v = value; v != 0; v /= 10) {
        expected.insert(expected.begin(), static_cast<char16_t>(u'0' + v % 10));
    }
    FUZZ_CHECK(digits.substr(first) == expected);
}

void CheckRangeStart(LPCWSTR text) {
    uint64_t first = 0;
    if (!HttpParseRangeStart(text, &first)) return;
    const std::u16string value = text;
    FUZZ_CHECK(value.compare(0, 6, u"bytes ") == 0);
    size_t digit = value.find_first_not_of(u' ', 5);
    FUZZ_CHECK(digit != std::u16string::npos && IsDigit(value[digit]));
}

// A name taken from Content-Disposition is one plain file name that fits, or none at all.
void CheckDispositionName(LPCWSTR value) {
    constexpr DWORD kCapacity = 32;
    WCHAR name[kCapacity + 1];
    name[kCapacity] = u'#'; // written past the capacity: a fault
    const int result = HttpContentDispositionName(value, name, kCapacity);
    FUZZ_CHECK(result == 1 || result == 0);
    FUZZ_CHECK(name[kCapacity] == u'#');
    const std::u16string taken = name;
    FUZZ_CHECK(taken.size() < kCapacity);
    if (result == 0) {
        FUZZ_CHECK(taken.empty());
        return;
    }
    FUZZ_CHECK(!taken.empty() && taken[0] != u'.');
    for (const char16_t unit : taken) {
        FUZZ_CHECK(unit >= 0x20 && unit != 0x7F && unit != u'/' && unit != u'\\' && unit != u':');
    }
}

void CheckStore(PropertyList* store) {
    FUZZ_CHECK(store->Count() >= 0 && store->Count() <= static_cast<LONG>(kPropertyCapacity));
    for (DWORD index = 0;; ++index) {
        PropertyRecord record = {};
        record.type = kPropertyWide;
        if (store->GetAt(index, &record) != 1) {
            FUZZ_CHECK(static_cast<LONG>(index) == store->Count());
            break;
        }
        FUZZ_CHECK(record.type == kPropertyWide);
        const std::u16string name = record.key;
        const std::u16string value = record.wideText;
        // A name is the text before the first colon; a value does not begin with a space.
        FUZZ_CHECK(name.find(u':') == std::u16string::npos);
        FUZZ_CHECK(name.size() < kHttpHeaderLineCapacity && value.size() < kHttpHeaderLineCapacity);
        FUZZ_CHECK(value.empty() || value[0] != u' ');
        // Header names have no case: each is checked in whatever case the server used.
        std::u16string lower = name;
        for (char16_t& c : lower) {
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        }
        if (lower == u"location") {
            // A Location that did not fit the line buffer is stored empty, never cut.
            FUZZ_CHECK(value.size() <= kLongestLocationValue);
            qb::fuzz::CheckSplitUrl(record.wideText);
        } else if (lower == u"content-length") {
            CheckLength(record.wideText);
        } else if (lower == u"content-range") {
            CheckRangeStart(record.wideText);
        } else if (name == u"Content-Disposition") {
            CheckDispositionName(record.wideText);
        }
    }
}

// Reads the head of the reply as the client does; returns the bytes taken from the source.
void ReadHead(const uint8_t* data, size_t size, DWORD readerBuffer, DWORD piece, int endResult) {
    ReplyStream source(data, size, piece, endResult);
    LineReader reader(nullptr, readerBuffer);
    FUZZ_CHECK(reader.Attach(&source) == 1);

    CHAR statusLine[kHttpStatusLineCapacity];
    DWORD length = 0;
    BOOL cut = FALSE;
    const int read = HttpReadLine(&reader, statusLine, sizeof statusLine, &length, &cut);
    FUZZ_CHECK(read == 1 || read == -1);
    FUZZ_CHECK(length < kHttpStatusLineCapacity && statusLine[length] == 0);
    if (length > 0) {
        DWORD status = 0;
        const int numbers = HttpParseStatusLine(statusLine, &status);
        FUZZ_CHECK(numbers >= 0 && numbers <= static_cast<int>(kHttpStatusNumbers));
        FUZZ_CHECK(numbers == 0 || std::string(statusLine).compare(0, 5, "HTTP/") == 0);

        // The reason phrase as a failure message shows it: printable ASCII, bounded.
        WCHAR reason[kHttpReasonCapacity];
        FUZZ_CHECK(HttpParseReasonPhrase(statusLine, reason, kHttpReasonCapacity) == 1);
        const std::u16string shown = reason;
        FUZZ_CHECK(shown.size() < kHttpReasonCapacity);
        for (char16_t c : shown) FUZZ_CHECK(c >= 0x20 && c < 0x7F);
        FUZZ_CHECK(shown.empty() || (numbers == 3 && shown.back() != u' '));

        PropertyList store(nullptr, PropertyKeys::kAnyCase);
        const int block = HttpReadHeaderBlock(&reader, &store);
        FUZZ_CHECK(block == 1 || block == -1);
        CheckStore(&store);
        // No two entries differ in letter case alone.
        for (LONG i = 0; i < store.Count(); ++i) {
            PropertyRecord record = {};
            record.type = kPropertyWide;
            FUZZ_CHECK(store.GetAt(static_cast<DWORD>(i), &record) == 1);
            LONG found = -1;
            store.Find(record.key, &found);
            FUZZ_CHECK(found == i);
        }
    }
    reader.Detach();
    // With the client's one-byte buffer nothing past the head is taken from the connection:
    // the head ends at a line feed or at the end of the reply.
    if (readerBuffer == kClientReaderBuffer) {
        FUZZ_CHECK(source.Position() == size ||
                   (source.Position() > 0 && data[source.Position() - 1] == '\n'));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ReadHead(data, size, kClientReaderBuffer, kWholeReads, 1);
    ReadHead(data, size, kLargeReaderBuffer, kShortReads, -1);
    return 0;
}
