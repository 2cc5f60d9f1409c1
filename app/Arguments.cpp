#include "app/Arguments.h"

#include <cstring>

namespace {

bool HasPrefixIgnoringCase(const std::string& text, const char* prefix) {
    const size_t length = std::strlen(prefix);
    if (text.size() < length) return false;
    for (size_t i = 0; i < length; ++i) {
        char unit = text[i];
        if (unit >= 'A' && unit <= 'Z') unit = static_cast<char>(unit - 'A' + 'a');
        if (unit != prefix[i]) return false;
    }
    return true;
}

// A URL typed alone is taken as typed: its "%" and "&" are escaped so that the run
// parameter's percent-decoding gives it back unchanged (a query's "&" does not split it).
std::string UrlParameter(const std::string& url) {
    std::string item = "URL=";
    for (const char unit : url) {
        if (unit == '%') {
            item += "%25";
        } else if (unit == '&') {
            item += "%26";
        } else {
            item += unit;
        }
    }
    return item;
}

} // namespace

bool IsBareUrl(const std::string& text) {
    return HasPrefixIgnoringCase(text, "http://") || HasPrefixIgnoringCase(text, "https://");
}

Arguments ReadArguments(int argc, const char* const* argv) {
    Arguments result;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-h" || argument == "--help") return {ArgumentsKind::kHelp, {}, {}};
        if (argument == "-V" || argument == "--version") return {ArgumentsKind::kVersion, {}, {}};
    }
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        std::string item = argument;
        if (IsBareUrl(argument)) {
            item = UrlParameter(argument);
        } else if (!argument.empty() &&
                   (argument[0] == '-' || argument.find('=') == std::string::npos)) {
            // An empty argument is an empty item, as before; anything else needs its "=".
            return {ArgumentsKind::kRefused, {}, argument};
        }
        if (i > 1) result.joined += '&';
        result.joined += item;
    }
    return result;
}
