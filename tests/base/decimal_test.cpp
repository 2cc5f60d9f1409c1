// Decimal parsing: signs, rejection, and overflow reported exactly while the value wraps.
#include <gtest/gtest.h>

#include "base/Decimal.h"
#include "base/Results.h"

namespace {

TEST(StrParseSigned, ParsesSignsAndReportsOverflow) {
    struct Case {
        const char16_t* text;
        int result;
        LONG value;
    } cases[] = {
        {u"", kResultOk, 0},
        {u"-", kResultOk, 0},
        {u"+", kResultOk, 0},
        {u"0", kResultOk, 0},
        {u"+42", kResultOk, 42},
        {u"-5", kResultOk, -5},
        {u"007", kResultOk, 7},
        {u"2147483647", kResultOk, 2147483647},
        {u"-2147483648", kResultOk, INT32_MIN},
        {u"2147483648", kResultOverflow, INT32_MIN},
        {u"-2147483649", kResultOverflow, INT32_MAX},
        {u"4294967296", kResultOverflow, 0},
        {u"99999999999", kResultOverflow, static_cast<LONG>(99999999999ll & 0xFFFFFFFF)},
    };
    for (const Case& c : cases) {
        LONG value = 12345;
        EXPECT_EQ(StrParseSigned(c.text, &value), c.result);
        EXPECT_EQ(value, c.value);
    }
}

TEST(StrParseUnsigned, ParsesDigitsOnlyAndReportsOverflow) {
    struct Case {
        const char16_t* text;
        int result;
        DWORD value;
    } cases[] = {
        {u"", kResultOk, 0},
        {u"4294967295", kResultOk, 4294967295u},
        {u"4294967296", kResultOverflow, 0},            // 2^32 wraps to 0
        {u"42949672959", kResultOverflow, 4294967295u}, // wraps onto a larger-looking value
        {u"18446744073709551617", kResultOverflow, 1},
    };
    for (const Case& c : cases) {
        DWORD value = 12345;
        EXPECT_EQ(StrParseUnsigned(c.text, &value), c.result);
        EXPECT_EQ(value, c.value);
    }
}

TEST(StrParse, RejectsAnythingButDigitsAndStoresNothing) {
    const char16_t* signedBad[] = {u"12a", u"a", u" 1", u"1 ", u"--1", u"+-1", u"1.5", u"٣"};
    for (const char16_t* text : signedBad) {
        LONG value = 777;
        EXPECT_EQ(StrParseSigned(text, &value), kResultFail);
        EXPECT_EQ(value, 777);
    }
    const char16_t* unsignedBad[] = {u"-1", u"+1", u"12a", u"0x10"};
    for (const char16_t* text : unsignedBad) {
        DWORD value = 777;
        EXPECT_EQ(StrParseUnsigned(text, &value), kResultFail);
        EXPECT_EQ(value, 777u);
    }
    LONG value = 0;
    EXPECT_EQ(StrParseSigned(nullptr, &value), kResultFail);
    EXPECT_EQ(StrParseSigned(u"1", nullptr), kResultFail);
}

} // namespace
