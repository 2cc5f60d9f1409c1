// Decimal parsing: signs, rejection, and overflow reported exactly while the value wraps.
#include <gtest/gtest.h>

#include "base/Decimal.h"
#include "base/Results.h"

#include <string>

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

namespace {

// Rates for MaxSpeed: digits and one unit; anything else, and rates past 32 bits, refused
// with nothing stored.
TEST(StrParseByteRate, TakesDigitsAndOneUnit) {
    const struct {
        const char16_t* text;
        int result;
        DWORD value;
    } cases[] = {
        {u"0", kResultOk, 0},
        {u"400", kResultOk, 400},
        {u"400k", kResultOk, 409600},
        {u"2M", kResultOk, 2097152},
        {u"4095M", kResultOk, 4095u * 1048576u},
        {u"4294967295", kResultOk, 4294967295u},
        {u"4096M", kResultFail, 7},
        {u"4194304k", kResultFail, 7},
        {u"4294967296", kResultFail, 7},
        {u"00000000000000001", kResultFail, 7}, // longer than any rate
        {u"", kResultFail, 7},
        {u"k", kResultFail, 7},
        {u"400K", kResultFail, 7},
        {u"400m", kResultFail, 7},
        {u"400kk", kResultFail, 7},
        {u"400 k", kResultFail, 7},
        {u"-1", kResultFail, 7},
        {u"+1", kResultFail, 7},
        {u"1.5M", kResultFail, 7},
    };
    for (const auto& c : cases) {
        DWORD value = 7;
        EXPECT_EQ(StrParseByteRate(c.text, &value), c.result)
            << std::u16string(c.text).size() << " units";
        EXPECT_EQ(value, c.value);
    }
    EXPECT_EQ(StrParseByteRate(nullptr, nullptr), kResultFail);
}

} // namespace
