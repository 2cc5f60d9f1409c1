#include "platform/kernel/iconv_convert.h"

#include <bit>
#include <cerrno>
#include <iconv.h>

#include "platform/kernel/utf8_codec.h"

namespace qb::kernel {
namespace {

constexpr const char* kNativeUtf16 =
    std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
constexpr size_t kChunkBytes = 1024;
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
constexpr size_t kIconvFailed = static_cast<size_t>(-1);

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != kNoConverter) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Valid() const { return cd_ != kNoConverter; }

    // One iconv call into a fresh chunk; appends what it produced. Returns the errno of a
    // failed call, 0 when it consumed all input.
    int Step(char** in, size_t* inLeft, std::string& out) {
        char chunk[kChunkBytes];
        char* outPtr = chunk;
        size_t outLeft = sizeof chunk;
        const size_t result = iconv(cd_, in, inLeft, &outPtr, &outLeft);
        const int error = result == kIconvFailed ? errno : 0;
        out.append(chunk, static_cast<size_t>(outPtr - chunk));
        return error;
    }

    // Writes the sequence that returns a stateful code set to its initial shift state.
    void Finish(std::string& out) { Step(nullptr, nullptr, out); }

private:
    iconv_t cd_;
};

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

ConvertResult IconvToUtf16(const std::string& codeSet, const char* in, size_t length,
                           std::u16string& out) {
    Converter converter(kNativeUtf16, codeSet.c_str());
    if (!converter.Valid()) return ConvertResult::kNoCodeSet;
    bool replaced = false;
    std::string bytes;
    char* inPtr = const_cast<char*>(in);
    size_t inLeft = length;
    while (inLeft > 0) {
        const int error = converter.Step(&inPtr, &inLeft, bytes);
        if (error == 0 || error == E2BIG) continue;
        // EILSEQ or EINVAL: the byte at inPtr starts no character of this code set.
        converter.Finish(bytes);
        bytes.append(reinterpret_cast<const char*>(&kReplacementCharacter),
                     sizeof kReplacementCharacter);
        replaced = true;
        ++inPtr;
        --inLeft;
    }
    converter.Finish(bytes);
    const size_t units = bytes.size() / sizeof(char16_t);
    const size_t start = out.size();
    out.resize(start + units);
    bytes.copy(reinterpret_cast<char*>(out.data() + start), units * sizeof(char16_t));
    return replaced ? ConvertResult::kReplaced : ConvertResult::kExact;
}

ConvertResult IconvFromUtf16(const std::string& codeSet, const char16_t* in, size_t length,
                             const std::string& defaultChar, std::string& out) {
    Converter converter(codeSet.c_str(), kNativeUtf16);
    if (!converter.Valid()) return ConvertResult::kNoCodeSet;
    bool replaced = false;
    const char16_t* unit = in;
    const char16_t* end = in + length;
    while (unit < end) {
        char* inPtr = const_cast<char*>(reinterpret_cast<const char*>(unit));
        size_t inLeft = static_cast<size_t>(end - unit) * sizeof(char16_t);
        const int error = converter.Step(&inPtr, &inLeft, out);
        unit = reinterpret_cast<const char16_t*>(inPtr);
        if (error == 0 || error == E2BIG) continue;
        // EILSEQ (no equivalent, or a lone surrogate) or EINVAL (a high surrogate at the end).
        converter.Finish(out);
        out += defaultChar;
        replaced = true;
        const bool pair = IsHighSurrogate(unit[0]) && unit + 1 < end && IsLowSurrogate(unit[1]);
        unit += pair ? 2 : 1;
    }
    converter.Finish(out);
    return replaced ? ConvertResult::kReplaced : ConvertResult::kExact;
}

} // namespace qb::kernel
