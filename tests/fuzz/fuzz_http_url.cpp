// URL splitting: any text given as a URL (or as a Location value) is split or refused, and
// the parts always lie within the URL and within their buffers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/url_invariants.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
