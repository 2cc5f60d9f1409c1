// What a scripted server answers on one connection: a list of steps, byte-exact. Nothing is
// added to the bytes a step sends, so lines without CR, headers without a colon or names in
// lower case are simply what the test writes.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qb::test {

using Millis = std::chrono::milliseconds;

// Every wait of a reply is bounded: these are the defaults, and kMaxStepTime caps any time a
// script asks for.
inline constexpr Millis kDefaultStallLimit{10000};
inline constexpr Millis kDefaultRequestWait{5000};
inline constexpr Millis kMaxStepTime{60000};

struct ReplyStep {
    enum class Kind {
        Send,         // bytes
        SendPieces,   // bytes in pieces of count bytes, time apart
        Pause,        // time, still reading what the peer sends
        Stall,        // until released, the peer closes, or time
        WaitForBytes, // until count request bytes have arrived in all, or time
        WaitForHead,  // until the request's header block is complete, or time
        Close,        // orderly close (FIN); later steps are not run
        Reset,        // close with SO_LINGER 0 (RST); later steps are not run
    };
    Kind kind;
    std::string bytes;
    size_t count = 0;
    Millis time{0};
};

class Reply {
public:
    // By default the server first waits (kDefaultRequestWait) for the request's header block.
    Reply& answerAtOnce();
    Reply& send(std::string_view bytes);
    // Pieces of pieceSize bytes (at least 1) with pause between them.
    Reply& sendInPieces(std::string_view bytes, size_t pieceSize, Millis pause);
    Reply& pause(Millis time);
    // Holds the connection without sending until ScriptedServer::release, the peer closing
    // its end, or the limit.
    Reply& stall(Millis limit = kDefaultStallLimit);
    // Waits until total bytes have arrived on this connection (counting from its start).
    Reply& waitForBytes(size_t total, Millis limit = kDefaultRequestWait);
    Reply& waitForHead(Millis limit = kDefaultRequestWait);
    // The end of the steps closes in order too; close() ends the reply early.
    Reply& close();
    Reply& reset();

    bool waitsForHead() const { return waitForHead_; }
    const std::vector<ReplyStep>& steps() const { return steps_; }

private:
    Reply& add(ReplyStep step);

    bool waitForHead_ = true;
    std::vector<ReplyStep> steps_;
};

// Builds a reply from the bytes received so far (the request's header block when the reply
// waits for it).
using Responder = std::function<Reply(const std::string& request)>;

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// "HTTP/1.0 <status> <reason>" CR LF, each header as "Name: value" CR LF, CR LF, body.
std::string httpResponse(int status, std::string_view reason, const HeaderList& headers,
                         std::string_view body);
// "HTTP/1.0 200 OK" with Content-Length, the extra headers and the body.
Reply okReply(std::string_view body, const HeaderList& extraHeaders = {});

// The byte range a request asks for with "Range: bytes=FIRST-" or "bytes=FIRST-LAST" (the
// header name in any case); nothing when there is no such line in its header block.
struct ByteRange {
    uint64_t first = 0;
    std::optional<uint64_t> last;
};
std::optional<ByteRange> requestedRange(std::string_view request);

struct RangeOptions {
    bool honourRanges = true; // false: always the whole body with 200
    HeaderList extraHeaders;  // added to every answer
};
// Serves body: 206 with Content-Range and Content-Length for a range that starts inside it,
// 416 with "Content-Range: bytes */SIZE" for one that starts at or after its end, and 200
// with the whole body when the request names no range.
Responder rangeResponder(std::string body, RangeOptions options = {});

// The received bytes up to and including the empty line that ends the header block (LF LF
// or LF CR LF); everything when that line has not arrived.
std::string_view headerBlock(std::string_view received);
bool hasCompleteHead(std::string_view received);

} // namespace qb::test
