// The command-line grammar and the run parameters: any command line is parsed or refused,
// and what lands in the run-parameter list is what the grammar says, item by item (checked
// against a plain model of the grammar). Reading the run parameters then never takes more
// than its buffers hold, and the Checksum and MaxSpeed values are taken exactly when their
// parsers accept them.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

#include "app/CommandLine.h"
#include "app/RunParameters.h"
#include "base/Checksum.h"
#include "base/Decimal.h"
#include "core/AppState.h"
#include "http/PropertyList.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

struct ModelItem {
    std::u16string key;
    std::optional<std::u16string> value; // none: stored without a value
};

struct Model {
    bool parsed = false;
    std::vector<ModelItem> items;
};

void Store(Model* model, std::u16string key, std::optional<std::u16string> value) {
    for (ModelItem& item : model->items) {
        if (item.key == key) {
            item.value = std::move(value);
            return;
        }
    }
    if (model->items.size() < kPropertyCapacity) model->items.push_back({std::move(key), value});
}

// The grammar: spaces skipped at the start; items split at "&"; the key ends at the first
// "="; a value runs to the "&"; an empty value is no value.
Model Parse(const std::u16string& line) {
    Model model;
    size_t at = line.find_first_not_of(u' ');
    if (at == std::u16string::npos) at = line.size();
    for (;;) {
        const size_t keyEnd = line.find_first_of(u"=&", at);
        const size_t keyStop = keyEnd == std::u16string::npos ? line.size() : keyEnd;
        if (keyStop - at > kLongestKey) return model;
        std::u16string key = line.substr(at, keyStop - at);
        at = keyStop;
        std::u16string value;
        if (at < line.size() && line[at] == u'=') {
            ++at;
            const size_t valueEnd = line.find(u'&', at);
            const size_t valueStop = valueEnd == std::u16string::npos ? line.size() : valueEnd;
            if (valueStop - at > kLongestValue) return model;
            value = line.substr(at, valueStop - at);
            at = valueStop;
        }
        Store(&model, std::move(key),
              value.empty() ? std::nullopt : std::optional<std::u16string>(value));
        if (at == line.size()) break;
        ++at; // the "&"
    }
    model.parsed = true;
    return model;
}

void CheckList(const Model& model, PropertyList* list) {
    FUZZ_CHECK(list->Count() == static_cast<LONG>(model.items.size()));
    for (size_t index = 0; index < model.items.size(); ++index) {
        const ModelItem& item = model.items[index];
        LONG found = -1;
        FUZZ_CHECK(list->Find(item.key.c_str(), &found) == 0);
        FUZZ_CHECK(found == static_cast<LONG>(index));
        PropertyRecord record = {};
        record.key = item.key.c_str();
        record.type = kPropertyWide;
        const int result = list->Get(&record);
        if (item.value) {
            FUZZ_CHECK(result == 1 && record.type == kPropertyWide);
            FUZZ_CHECK(*item.value == record.wideText);
        } else {
            FUZZ_CHECK(result != 1);
        }
    }
}

const ModelItem* Find(const Model& model, const char16_t* key) {
    for (const ModelItem& item : model.items) {
        if (item.key == key && item.value) return &item;
    }
    return nullptr;
}

// A text parameter: decoded into at most kDecodedValueCapacity - 1 units; a value without
// escapes arrives as it is.
void CheckText(const Model& model, const char16_t* key, const WString& target,
               const char16_t* fallback) {
    const std::u16string text = target.GetWide();
    FUZZ_CHECK(text.size() < kDecodedValueCapacity);
    const ModelItem* item = Find(model, key);
    if (item == nullptr) {
        FUZZ_CHECK(text == fallback);
    } else if (item->value->find(u'%') == std::u16string::npos) {
        FUZZ_CHECK(text == *item->value);
    }
}

// Checksum and MaxSpeed values: what ReadRunParameters accepted is what the parsers give
// for the text (a value without escapes), a digest parsed again from its own hex is the
// same, and a refused value refuses the line.
void CheckValues(const Model& model, bool accepted) {
    const ModelItem* checksum = Find(model, u"Checksum");
    const ModelItem* speed = Find(model, u"MaxSpeed");
    if (checksum == nullptr && speed == nullptr) FUZZ_CHECK(accepted);
    FUZZ_CHECK(gChecksum.kind == DigestKind::kNone || checksum != nullptr);
    if (gChecksum.kind != DigestKind::kNone) {
        FUZZ_CHECK(gChecksum.size == (gChecksum.kind == DigestKind::kSha256 ? 32u : 64u));
        std::u16string text = gChecksum.kind == DigestKind::kSha256 ? u"sha256:" : u"sha512:";
        for (DWORD i = 0; i < gChecksum.size; ++i) {
            text += u"0123456789abcdef"[gChecksum.digest[i] >> 4];
            text += u"0123456789ABCDEF"[gChecksum.digest[i] & 15];
        }
        Checksum again;
        FUZZ_CHECK(ParseChecksum(text.c_str(), &again) == 1);
        for (DWORD i = 0; i < gChecksum.size; ++i)
            FUZZ_CHECK(again.digest[i] == gChecksum.digest[i]);
    }
    if (checksum != nullptr && checksum->value->find(u'%') == std::u16string::npos) {
        Checksum parsed;
        const bool good = ParseChecksum(checksum->value->c_str(), &parsed) == 1;
        FUZZ_CHECK(good == (gChecksum.kind != DigestKind::kNone));
        if (!good) FUZZ_CHECK(!accepted);
    }
    if (speed != nullptr && speed->value->find(u'%') == std::u16string::npos) {
        DWORD rate = 0;
        if (StrParseByteRate(speed->value->c_str(), &rate) == 1) {
            FUZZ_CHECK(gMaxSpeed == rate);
        } else {
            FUZZ_CHECK(!accepted && gMaxSpeed == 0);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string line = qb::fuzz::WideFromInput(data, size);
    line.resize(qb::fuzz::WideLength(line.c_str())); // the command line ends at a NUL

    PropertyList parameters(nullptr);
    const int result = ParseCommandLine(line.c_str(), &parameters);
    const Model model = Parse(line);
    FUZZ_CHECK(result == (model.parsed ? 1 : -1));
    CheckList(model, &parameters);

    ResetRunParameters();
    const bool accepted = ReadRunParameters(&parameters);
    CheckValues(model, accepted);
    CheckText(model, u"URL", gUrl, u"");
    CheckText(model, u"Path", gPath, u"");
    CheckText(model, u"Caption", gCaption, kDefaultCaption);
    FUZZ_CHECK(gShowWindow == TRUE || gShowWindow == FALSE);
    FUZZ_CHECK(gResume == TRUE || gResume == FALSE);
    bool any = false;
    for (const char16_t* key : {u"URL", u"Path", u"Caption", u"ShowWindow", u"Resume", u"Retry",
                                u"Timeout", u"ContentDisposition", u"Checksum", u"MaxSpeed"}) {
        any = any || Find(model, key) != nullptr;
    }
    FUZZ_CHECK((gAutomaticMode != FALSE) == any);
    return 0;
}
