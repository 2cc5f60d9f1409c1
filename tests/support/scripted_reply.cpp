// Reply steps and the HTTP reply builders.
#include "tests/support/scripted_reply.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace qb::test {
namespace {

Millis capped(Millis time) {
    return std::clamp(time, Millis{0}, kMaxStepTime);
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

std::string_view skipBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    return text;
}

// Reads a decimal number at the start of text, advancing past it.
std::optional<uint64_t> readNumber(std::string_view& text) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) return std::nullopt;
    text.remove_prefix(size_t(end - text.data()));
    return value;
}

std::optional<ByteRange> parseRangeValue(std::string_view value) {
    value = skipBlanks(value);
    if (!startsWithNoCase(value, "bytes=")) return std::nullopt;
    value.remove_prefix(6);
    ByteRange range;
    const auto first = readNumber(value);
    if (!first || value.empty() || value.front() != '-') return std::nullopt;
    range.first = *first;
    value.remove_prefix(1);
    if (const auto last = readNumber(value)) {
        if (*last < range.first) return std::nullopt;
        range.last = *last;
    }
    return range;
}

} // namespace

Reply& Reply::add(ReplyStep step) {
    step.time = capped(step.time);
    steps_.push_back(std::move(step));
    return *this;
}

Reply& Reply::answerAtOnce() {
    waitForHead_ = false;
    return *this;
}

Reply& Reply::send(std::string_view bytes) {
    return add({ReplyStep::Kind::Send, std::string(bytes), 0, Millis{0}});
}

Reply& Reply::sendInPieces(std::string_view bytes, size_t pieceSize, Millis pause) {
    return add(
        {ReplyStep::Kind::SendPieces, std::string(bytes), std::max<size_t>(pieceSize, 1), pause});
}

Reply& Reply::pause(Millis time) {
    return add({ReplyStep::Kind::Pause, {}, 0, time});
}

Reply& Reply::stall(Millis limit) {
    return add({ReplyStep::Kind::Stall, {}, 0, limit});
}

Reply& Reply::waitForBytes(size_t total, Millis limit) {
    return add({ReplyStep::Kind::WaitForBytes, {}, total, limit});
}

Reply& Reply::waitForHead(Millis limit) {
    return add({ReplyStep::Kind::WaitForHead, {}, 0, limit});
}

Reply& Reply::close() {
    return add({ReplyStep::Kind::Close, {}, 0, Millis{0}});
}

Reply& Reply::reset() {
    return add({ReplyStep::Kind::Reset, {}, 0, Millis{0}});
}

std::string httpResponse(int status, std::string_view reason, const HeaderList& headers,
                         std::string_view body) {
    std::string text = "HTTP/1.0 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
    for (const auto& [name, value] : headers) text += name + ": " + value + "\r\n";
    text += "\r\n";
    text += body;
    return text;
}

Reply okReply(std::string_view body, const HeaderList& extraHeaders) {
    HeaderList headers{{"Content-Length", std::to_string(body.size())}};
    headers.insert(headers.end(), extraHeaders.begin(), extraHeaders.end());
    return Reply().send(httpResponse(200, "OK", headers, body));
}

std::string_view headerBlock(std::string_view received) {
    for (size_t lf = received.find('\n'); lf != std::string_view::npos;
         lf = received.find('\n', lf + 1)) {
        if (lf + 1 < received.size() && received[lf + 1] == '\n') return received.substr(0, lf + 2);
        if (lf + 2 < received.size() && received[lf + 1] == '\r' && received[lf + 2] == '\n') {
            return received.substr(0, lf + 3);
        }
    }
    return received;
}

bool hasCompleteHead(std::string_view received) {
    const std::string_view head = headerBlock(received);
    return head.size() >= 2 && head.back() == '\n' &&
           (head[head.size() - 2] == '\n' ||
            (head.size() >= 3 && head[head.size() - 2] == '\r' && head[head.size() - 3] == '\n'));
}

std::optional<ByteRange> requestedRange(std::string_view request) {
    std::string_view head = headerBlock(request);
    while (!head.empty()) {
        const size_t lf = head.find('\n');
        std::string_view line = head.substr(0, lf);
        head.remove_prefix(lf == std::string_view::npos ? head.size() : lf + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (startsWithNoCase(line, "range:")) return parseRangeValue(line.substr(6));
    }
    return std::nullopt;
}

Responder rangeResponder(std::string body, RangeOptions options) {
    return [body = std::move(body), options = std::move(options)](const std::string& request) {
        const uint64_t size = body.size();
        const auto range = options.honourRanges ? requestedRange(request) : std::nullopt;
        HeaderList headers;
        if (!range) {
            headers.emplace_back("Content-Length", std::to_string(size));
            headers.insert(headers.end(), options.extraHeaders.begin(), options.extraHeaders.end());
            return Reply().send(httpResponse(200, "OK", headers, body));
        }
        if (range->first >= size) {
            headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
            headers.emplace_back("Content-Length", "0");
            headers.insert(headers.end(), options.extraHeaders.begin(), options.extraHeaders.end());
            return Reply().send(httpResponse(416, "Requested Range Not Satisfiable", headers, ""));
        }
        const uint64_t last = std::min(range->last.value_or(size - 1), size - 1);
        const uint64_t length = last - range->first + 1;
        headers.emplace_back("Content-Range", "bytes " + std::to_string(range->first) + "-" +
                                                  std::to_string(last) + "/" +
                                                  std::to_string(size));
        headers.emplace_back("Content-Length", std::to_string(length));
        headers.insert(headers.end(), options.extraHeaders.begin(), options.extraHeaders.end());
        return Reply().send(httpResponse(206, "Partial Content", headers,
                                         std::string_view(body).substr(range->first, length)));
    };
}

} // namespace qb::test
