// The registry file reader: any file reads as far as it parses, and what it read survives
// being written and read again unchanged (the program rewrites the file on every change, so
// a value that changed on the way would be lost or altered for good).
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/registry/registry_document.h"
#include "platform/registry/registry_text.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using qb::registry::RegistryDocument;
using qb::registry::RegistryKey;
using qb::registry::RegistryValue;

bool SameValue(const RegistryValue& a, const RegistryValue& b) {
    return a.name == b.name && a.type == b.type && a.data == b.data;
}

bool SameKey(const RegistryKey& a, const RegistryKey& b) {
    if (a.path != b.path || a.values.size() != b.values.size()) return false;
    for (size_t i = 0; i < a.values.size(); ++i) {
        if (!SameValue(a.values[i], b.values[i])) return false;
    }
    return true;
}

bool SameDocument(const RegistryDocument& a, const RegistryDocument& b) {
    if (a.Keys().size() != b.Keys().size()) return false;
    for (size_t i = 0; i < a.Keys().size(); ++i) {
        if (!SameKey(a.Keys()[i], b.Keys()[i])) return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string file(reinterpret_cast<const char*>(data), size);
    RegistryDocument read;
    qb::registry::ParseRegistryText(file, &read);
    for (const RegistryKey& key : read.Keys()) {
        FUZZ_CHECK(!key.path.empty());
        FUZZ_CHECK(read.FindKey(key.path) == &key);
    }

    const std::string written = qb::registry::FormatRegistryText(read);
    RegistryDocument reread;
    FUZZ_CHECK(qb::registry::ParseRegistryText(written, &reread) == 0);
    FUZZ_CHECK(SameDocument(read, reread));
    FUZZ_CHECK(qb::registry::FormatRegistryText(reread) == written);
    return 0;
}
