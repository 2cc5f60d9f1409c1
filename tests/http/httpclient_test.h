// What the HttpClient tests share: text conversions, the default request headers as the
// program fills them, and a fixture with a scripted server and one client.
#pragma once

#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "base/Results.h"
#include "http/HttpClient.h"
#include "http/PropertyList.h"
#include "tests/support/scripted_server.h"

namespace httpclient_test {

// ASCII text as UTF-16 and back (the tests' URLs and requests are ASCII).
inline std::u16string U(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}
inline std::string A(LPCWSTR wide) {
    std::string text;
    for (; wide != nullptr && *wide != 0; ++wide) text.push_back(static_cast<char>(*wide));
    return text;
}

// The default headers of the program, in the order it sets them.
inline void FillDefaultHeaders(PropertyList& headers) {
    headers.SetWide(TEXT("Accept"), TEXT("*/*"));
    headers.SetWide(TEXT("Connection"), TEXT("close"));
    headers.SetWide(TEXT("User-Agent"), TEXT("Quillbrook/1.15"));
}
inline constexpr const char* kDefaultHeaderLines =
    "Accept: */*\r\nConnection: close\r\nUser-Agent: Quillbrook/1.15\r\n";

// "GET target HTTP/1.0" with the Host and Range lines, the default headers and the end.
inline std::string ExpectedRequest(const std::string& target, const std::string& host,
                                   uint64_t position, const std::string& more = "") {
    return "GET " + target + " HTTP/1.0\r\nHost: " + host +
           "\r\nRange: bytes=" + std::to_string(position) + "-\r\n" + kDefaultHeaderLines + more +
           "\r\n";
}

inline std::string Response(const std::string& statusLine, const std::string& headerLines,
                            const std::string& body) {
    return statusLine + "\r\n" + headerLines + "\r\n" + body;
}

class HttpClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        FillDefaultHeaders(headers);
    }

    std::string Host() const { return "127.0.0.1:" + std::to_string(server.port()); }
    std::string Url(const std::string& path) const { return "http://" + Host() + path; }
    int Open(const std::string& url) {
        const std::u16string wide = U(url);
        return client.Open(wide.c_str(), &status, &headers);
    }
    // Reads the body in pieces of piece bytes until a read delivers nothing or fails.
    std::string ReadBody(DWORD piece = 128, int* lastResult = nullptr) {
        std::string body;
        std::string buffer(piece, '\0');
        for (;;) {
            DWORD count = piece;
            const int result = client.Read(buffer.data(), &count);
            body.append(buffer.data(), count);
            if (result <= 0 || count == 0) {
                if (lastResult != nullptr) *lastResult = result;
                return body;
            }
        }
    }
    uint64_t Size() {
        uint64_t size = 0;
        return client.GetSize(&size) == kResultOk ? size : ~0ull;
    }
    int SeekTo(int64_t offset, DWORD origin = kSeekBegin) {
        return client.Seek(&offset, nullptr, origin);
    }
    std::string FinalUrl() {
        WCHAR buffer[kHttpUrlCapacity];
        return client.GetFinalUrl(buffer, kHttpUrlCapacity) == kResultOk ? A(buffer) : "<none>";
    }
    std::string FileName(int* result = nullptr) {
        WCHAR buffer[kHttpFileNameCapacity];
        const int got = client.GetFileName(buffer, kHttpFileNameCapacity);
        if (result != nullptr) *result = got;
        return got == kResultOk ? A(buffer) : "<none>";
    }

    qb::test::ScriptedServer server;
    HttpClient client;
    PropertyList headers{nullptr};
    WORD status = 0;
};

} // namespace httpclient_test
