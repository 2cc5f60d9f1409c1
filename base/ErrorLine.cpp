#include "base/ErrorLine.h"

#include <cstdio>

#include "base/WString.h"

void WriteErrorLine(LPCWSTR text, LPCWSTR detail) {
    WString narrowText;
    narrowText.AssignWide(text);
    WString narrowDetail;
    narrowDetail.AssignWide(detail);
    const LPCSTR first = narrowText.GetNarrow();
    const LPCSTR second = narrowDetail.GetNarrow();
    std::fprintf(stderr, "%s%s%s\n", first != nullptr ? first : "", detail != nullptr ? " " : "",
                 second != nullptr ? second : "");
}
