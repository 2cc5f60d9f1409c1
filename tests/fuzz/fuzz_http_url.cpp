// URL splitting: any text given as a URL (or as a Location value) is split or refused, and
// the parts always lie within the URL and within their buffers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/url_invariants.h"

namespace {

// Splits as a standard parser makes them, and the request target and file name that
// follow: the generic reading above is checked against these, and so is the client.
struct KnownSplit {
    const char16_t* url;
    const char16_t* host;
    WORD port;
    const char16_t* wireTarget;
    const char16_t* fileName;
};

constexpr KnownSplit kKnownSplits[] = {
    // "#" and "?" end the authority, before any "@".
    {u"http://trusted.example#@127.0.0.1:8080/x", u"trusted.example", 80, u"/", u""},
    {u"http://trusted.example?@127.0.0.1:8080/x", u"trusted.example", 80, u"/?@127.0.0.1:8080/x",
     u""},
    {u"http://trusted.example%23@127.0.0.1:8080/x", u"127.0.0.1", 8080, u"/x", u"x"},
    {u"http://a@b@c:81/f", u"c", 81, u"/f", u"f"},
    // The path "/" before a query; the fragment never sent.
    {u"http://h?q=1", u"h", 80, u"/?q=1", u""},
    {u"http://h#top", u"h", 80, u"/", u""},
    {u"http://h/d/f.bin?a=1#p?q/r", u"h", 80, u"/d/f.bin?a=1", u"f.bin"},
    {u"https://[::1]:8443/x#y", u"::1", 8443, u"/x", u"x"},
    // Escaped where a target must be; reserved characters and escapes kept as written.
    {u"http://h/a b", u"h", 80, u"/a%20b", u"a b"},
    {u"http://h/\u65e5\u672c \u8a9e.bin", u"h", 80, u"/%E6%97%A5%E6%9C%AC%20%E8%AA%9E.bin",
     u"\u65e5\u672c \u8a9e.bin"},
    {u"http://h/%E6%97%A5.bin?x=%2F&y=a+b", u"h", 80, u"/%E6%97%A5.bin?x=%2F&y=a+b", u"\u65e5.bin"},
    {u"http://h/100%/%zz", u"h", 80, u"/100%25/%25zz", u"%zz"},
    {u"http://h/\"<x>\"", u"h", 80, u"/%22%3Cx%3E%22", u"\"<x>\""},
    // A decoded name that is no plain name: the name as written.
    {u"http://h/a%2Fb", u"h", 80, u"/a%2Fb", u"a%2Fb"},
    {u"http://h/%2E%2E", u"h", 80, u"/%2E%2E", u"%2E%2E"},
    {u"http://h/caf%E9", u"h", 80, u"/caf%E9", u"caf%E9"},
};

void CheckKnownSplits() {
    static HttpUrlParts parts;
    static WCHAR buffer[kHttpRequestCapacity];
    for (const KnownSplit& known : kKnownSplits) {
        const qb::fuzz::StandardSplit standard = qb::fuzz::SplitAsStandard(known.url);
        FUZZ_CHECK(qb::fuzz::StandardHost(standard.authority) == known.host);
        FUZZ_CHECK(HttpSplitUrl(known.url, &parts) == 1);
        FUZZ_CHECK(std::u16string(parts.hostName) == known.host);
        FUZZ_CHECK(parts.port == known.port);
        FUZZ_CHECK(HttpRequestTarget(&parts, false, buffer, kHttpRequestCapacity) == 1);
        FUZZ_CHECK(std::u16string(buffer) == known.wireTarget);
        WCHAR name[kHttpFileNameCapacity];
        FUZZ_CHECK(HttpFileNameFromTarget(known.wireTarget, name, kHttpFileNameCapacity) == 1);
        FUZZ_CHECK(std::u16string(name) == known.fileName);
        qb::fuzz::CheckSplitUrl(known.url);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool known = (CheckKnownSplits(), true);
    (void)known;
    const std::u16string text = qb::fuzz::WideFromInput(data, size);
    qb::fuzz::CheckSplitUrl(text.c_str());
    // The same text after each scheme, after a bracketed literal (a port, or a path), and as
    // a bare request target.
    qb::fuzz::CheckSplitUrl((u"http://host" + text).c_str());
    qb::fuzz::CheckSplitUrl((u"HTTPS://" + text).c_str());
    qb::fuzz::CheckSplitUrl((u"https://[::1]" + text).c_str());
    qb::fuzz::CheckFileName(text.c_str(), kHttpFileNameCapacity);
    qb::fuzz::CheckFileName(text.c_str(), qb::fuzz::kSmallNameCapacity);
    DWORD address = 0;
    HttpParseDottedQuad(text.c_str(), &address);
    return 0;
}
