// tools/rc's parser: any script is parsed or refused with a message naming a line, and a
// parsed script's dialogs and menus can be encoded. The script may include "resource.h"
// (a small fixed header) and itself (so include depth limits are reached); nothing is read
// from the disk.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "tools/rc/rc_compile.h"
#include "tools/rc/rc_encode.h"
#include "tools/rc/rc_parser.h"

namespace {

constexpr char kScriptName[] = "fuzz.rc";
constexpr char kHeader[] = "#pragma once\n"
                           "#define IDD_MAIN 101\n"
                           "#define IDC_URL 1001\n"
                           "#define IDM_MENU (106 + 1)\n"
                           "#define IDC_STATIC -1\n";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const qb::rc::FileLoader loader = [&text](const std::string&, const std::string& name,
                                              qb::rc::SourceFile* out) {
        if (name == "resource.h") {
            *out = {"resource.h", kHeader};
            return true;
        }
        if (name == kScriptName) {
            *out = {kScriptName, text};
            return true;
        }
        return false;
    };

    qb::rc::ResourceScript script;
    qb::rc::Diagnostic error;
    const bool parsed = qb::rc::parseResourceScript(kScriptName, text, loader, &script, &error);
    if (!parsed) {
        FUZZ_CHECK(!error.message.empty());
        FUZZ_CHECK(error.line >= 0);
        FUZZ_CHECK(!error.format().empty());
        return 0;
    }
    for (const qb::rc::ResourceStatement& statement : script.resources) {
        if (const auto* dialog = std::get_if<qb::rc::Dialog>(&statement.body)) {
            const qb::rc::Bytes bytes = qb::rc::encodeDialog(*dialog);
            FUZZ_CHECK(!bytes.empty());
        } else if (const auto* menu = std::get_if<qb::rc::Menu>(&statement.body)) {
            const qb::rc::Bytes bytes = qb::rc::encodeMenu(*menu);
            FUZZ_CHECK(bytes.size() >= 4); // the menu template header
        }
    }
    std::vector<qb::rc::BinaryResource> table;
    qb::rc::Diagnostic compileError;
    if (!qb::rc::compileResources(script, loader, &table, &compileError)) {
        FUZZ_CHECK(!compileError.message.empty());
    }
    return 0;
}
