// PropertyList: insertion order and replacement, the 512-entry limit, the conversion table,
// wide/narrow conversion of Japanese text, enumeration, and failed allocations that must
// leave the store as it was and leak nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/Results.h"
#include "http/PropertyList.h"
#include "tests/transport/FailingAllocator.h"

namespace {

const bool utf8Locale = [] { return setenv("LC_ALL", "C.UTF-8", 1) == 0; }();

std::u16string Key(int i) {
    std::u16string key = u"Key-";
    for (char c : std::to_string(i)) key.push_back(static_cast<char16_t>(c));
    return key;
}

PropertyRecord Ask(LPCWSTR key, DWORD type) {
    PropertyRecord record{key, type, {}};
    return record;
}

std::u16string WideOf(PropertyList& list, LPCWSTR key) {
    PropertyRecord record = Ask(key, kPropertyWide);
    if (list.Get(&record) != kResultOk || record.type != kPropertyWide) return u"<none>";
    return record.wideText;
}

TEST(PropertyList, ReplacingKeepsTheFirstPosition) {
    ASSERT_TRUE(utf8Locale);
    PropertyList list(nullptr);
    EXPECT_EQ(list.SetWide(u"Accept", u"*/*"), kPropertyAppended);
    EXPECT_EQ(list.SetWide(u"Referer", u"http://a/"), kPropertyAppended);
    EXPECT_EQ(list.SetWide(u"Accept", u"text/html"), kPropertyReplaced);
    EXPECT_EQ(list.Count(), 2);
    PropertyRecord record = Ask(nullptr, kPropertyWide);
    ASSERT_EQ(list.GetAt(0, &record), kResultOk);
    EXPECT_EQ(std::u16string(record.key), u"Accept");
    EXPECT_EQ(std::u16string(record.wideText), u"text/html");
    LONG index = 7;
    EXPECT_EQ(list.Find(u"Referer", &index), kResultNo);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(list.Find(u"referer", &index), kResultNo); // case counts
    EXPECT_EQ(index, -1);
    EXPECT_EQ(list.Find(u"x", nullptr), kResultNullArgument);
}

TEST(PropertyList, AnAnyCaseStoreFindsAKeyInEveryLetterCase) {
    ASSERT_TRUE(utf8Locale);
    PropertyList list(nullptr, PropertyKeys::kAnyCase);
    EXPECT_EQ(list.SetWide(u"Content-Length", u"1"), kPropertyAppended);
    EXPECT_EQ(list.SetWide(u"location", u"http://a/"), kPropertyAppended);
    EXPECT_EQ(list.SetWide(u"CONTENT-LENGTH", u"2"), kPropertyReplaced);
    EXPECT_EQ(list.Count(), 2);
    const struct {
        const char16_t* key;
        LONG index;
    } lookups[] = {
        {u"content-length", 0}, {u"Content-Length", 0}, {u"Location", 1},
        {u"LOCATION", 1},       {u"Locatio", -1},       {u"Location ", -1},
    };
    for (const auto& lookup : lookups) {
        LONG index = 7;
        EXPECT_EQ(list.Find(lookup.key, &index), kResultNo);
        EXPECT_EQ(index, lookup.index);
    }
    // The entry keeps the key it was first set with, and the latest value.
    PropertyRecord record = Ask(nullptr, kPropertyWide);
    ASSERT_EQ(list.GetAt(0, &record), kResultOk);
    EXPECT_EQ(std::u16string(record.key), u"Content-Length");
    EXPECT_EQ(std::u16string(record.wideText), u"2");
    DWORD number = 0;
    EXPECT_EQ(list.GetUnsigned(u"content-LENGTH", &number), kResultOk);
    EXPECT_EQ(number, 2u);
}

TEST(PropertyList, HoldsExactly512Entries) {
    PropertyList list(nullptr);
    for (int i = 0; i < 512; ++i) ASSERT_EQ(list.SetUnsigned(Key(i).c_str(), i), kPropertyAppended);
    EXPECT_EQ(list.SetEmpty(u"one too many"), kResultFull);
    EXPECT_EQ(list.SetWide(u"one too many", u"x"), kResultFull);
    EXPECT_EQ(list.SetDouble(Key(511).c_str(), 1.5), kPropertyReplaced);
    EXPECT_EQ(list.Count(), 512);
    PropertyRecord record = Ask(nullptr, kPropertyUnsigned);
    EXPECT_EQ(list.GetAt(511, &record), kResultOk);
    EXPECT_EQ(record.unsignedValue, 1u);
    EXPECT_EQ(list.GetAt(512, &record), kResultAbsent);
    EXPECT_EQ(record.key, nullptr);
}

TEST(PropertyList, TextIsParsedWhenANumberIsWanted) {
    struct Case {
        const char16_t* text;
        DWORD wanted;
        DWORD type; // in the record after Get
        DWORD value;
        int numberResult; // of GetUnsigned / GetSigned
    } cases[] = {
        {u"42", kPropertyUnsigned, kPropertyUnsigned, 42, kResultOk},
        {u"-5", kPropertyUnsigned, kPropertyUnsigned, 4294967291u, kResultOk}, // signed retry
        {u"4294967296", kPropertyUnsigned, kPropertyUnsigned, 0, kResultOk},   // wraps
        {u"", kPropertyUnsigned, kPropertyUnsigned, 0, kResultOk},
        {u"12a", kPropertyUnsigned, kPropertyWide, 0, kResultNotConvertible},
        {u"-7", kPropertySigned, kPropertySigned, static_cast<DWORD>(-7), kResultOk},
        {u"+7", kPropertySigned, kPropertySigned, 7, kResultOk},
        {u"7 ", kPropertySigned, kPropertyWide, 0, kResultNotConvertible},
    };
    for (const Case& c : cases) {
        PropertyList list(nullptr);
        list.SetWide(u"k", c.text);
        PropertyRecord record = Ask(u"k", c.wanted);
        EXPECT_EQ(list.Get(&record), kResultOk);
        EXPECT_EQ(record.type, c.type);
        if (c.type == kPropertyWide) {
            EXPECT_EQ(std::u16string(record.wideText), c.text);
        } else {
            EXPECT_EQ(record.unsignedValue, c.value);
        }
        DWORD u = 0;
        LONG s = 0;
        const int result =
            c.wanted == kPropertyUnsigned ? list.GetUnsigned(u"k", &u) : list.GetSigned(u"k", &s);
        EXPECT_EQ(result, c.numberResult);
    }
}

TEST(PropertyList, ConversionTable) {
    struct Case {
        DWORD stored;
        DWORD wanted;
        int result;
        DWORD type;
    } cases[] = {
        {kPropertyEmpty, kPropertyUnsigned, kResultNotConvertible, kPropertyEmpty},
        {kPropertyEmpty, kPropertyWide, kResultNotConvertible, kPropertyEmpty},
        {kPropertyWide, kPropertyEmpty, kResultNotConvertible, kPropertyEmpty},
        {kPropertyWide, kPropertyDouble, kResultNotConvertible, kPropertyEmpty},
        {kPropertyWide, 9, kResultNotConvertible, kPropertyEmpty},
        {kPropertyNarrow, kPropertyUnsigned, kResultNotConvertible, kPropertyEmpty},
        {kPropertyNarrow, kPropertySigned, kResultNotConvertible, kPropertyEmpty},
        {kPropertyNarrow, kPropertyDouble, kResultNotConvertible, kPropertyEmpty},
        {kPropertyNarrow, kPropertyNarrow, kResultOk, kPropertyNarrow},
        {kPropertyDouble, kPropertyWide, kResultNotConvertible, kPropertyEmpty},
        {kPropertyDouble, kPropertyNarrow, kResultNotConvertible, kPropertyEmpty},
        {kPropertyDouble, kPropertyDouble, kResultOk, kPropertyDouble},
        {kPropertyDouble, kPropertySigned, kResultOk, kPropertySigned},
    };
    for (const Case& c : cases) {
        PropertyList list(nullptr);
        if (c.stored == kPropertyEmpty) list.SetEmpty(u"k");
        if (c.stored == kPropertyWide) list.SetWide(u"k", u"12");
        if (c.stored == kPropertyNarrow) list.SetNarrow(u"k", "12");
        if (c.stored == kPropertyDouble) list.SetDouble(u"k", 12.0);
        PropertyRecord record = Ask(u"k", c.wanted);
        EXPECT_EQ(list.Get(&record), c.result) << c.stored << " as " << c.wanted;
        EXPECT_EQ(record.type, c.type) << c.stored << " as " << c.wanted;
    }
}

TEST(PropertyList, DoublesTruncateTowardZeroModulo2To32) {
    struct Case {
        double number;
        DWORD wanted;
        int result;
        DWORD value;
    } cases[] = {
        {3.9, kPropertyUnsigned, kResultOk, 3},
        {-3.9, kPropertySigned, kResultOk, static_cast<DWORD>(-3)},
        {-1.0, kPropertyUnsigned, kResultOk, 4294967295u},
        {4294967296.0 + 5, kPropertyUnsigned, kResultOk, 5},
        {1e300, kPropertyUnsigned, kResultNotConvertible, 0},
        {-1e300, kPropertySigned, kResultNotConvertible, 0},
        {__builtin_nan(""), kPropertySigned, kResultNotConvertible, 0},
    };
    for (const Case& c : cases) {
        PropertyList list(nullptr);
        list.SetDouble(u"d", c.number);
        PropertyRecord record = Ask(u"d", c.wanted);
        EXPECT_EQ(list.Get(&record), c.result) << c.number;
        if (c.result == kResultOk) {
            EXPECT_EQ(record.unsignedValue, c.value) << c.number;
        }
    }
    PropertyList list(nullptr);
    list.SetDouble(u"d", 2.5);
    PropertyRecord record = Ask(u"d", kPropertyDouble);
    ASSERT_EQ(list.Get(&record), kResultOk);
    EXPECT_EQ(*record.doubleCell, 2.5);
}

TEST(PropertyList, WideAndNarrowConvertInPlaceWithJapaneseText) {
    // In UTF-8 a Japanese character takes three bytes for its one UTF-16 unit: the narrow
    // form does not fit the buffer the wide form came in.
    PropertyList list(nullptr);
    list.SetWide(u"Caption", u"ダウンロード中の日本語ファイル");
    PropertyRecord record = Ask(u"Caption", kPropertyNarrow);
    ASSERT_EQ(list.Get(&record), kResultOk);
    EXPECT_EQ(record.type, kPropertyNarrow);
    EXPECT_STREQ(record.narrowText, "ダウンロード中の日本語ファイル");
    record = Ask(nullptr, kPropertyEmpty);
    PropertyRecord asWide = Ask(u"Caption", kPropertyWide);
    ASSERT_EQ(list.Get(&asWide), kResultOk);
    EXPECT_EQ(std::u16string(asWide.wideText), u"ダウンロード中の日本語ファイル");
    EXPECT_EQ(asWide.type, kPropertyWide);

    list.SetNarrow(u"Path", "/tmp/受信");
    PropertyRecord path = Ask(u"Path", kPropertyWide);
    ASSERT_EQ(list.Get(&path), kResultOk);
    EXPECT_EQ(std::u16string(path.wideText), u"/tmp/受信");
    path = Ask(u"Path", kPropertyNarrow);
    ASSERT_EQ(list.Get(&path), kResultOk);
    EXPECT_STREQ(path.narrowText, "/tmp/受信");
}

TEST(PropertyList, EnumerationStopsAtTheFirstEntryThatIsNotText) {
    PropertyList list(nullptr);
    PropertyRecord record = Ask(nullptr, kPropertyWide);
    EXPECT_EQ(list.GetAt(0, &record), kResultNotConvertible); // empty store
    list.SetWide(u"Accept", u"*/*");
    list.SetWide(u"User-Agent", u"Quillbrook");
    list.SetEmpty(u"Pragma");
    list.SetWide(u"Referer", u"http://h/");
    std::u16string seen;
    DWORD index = 0;
    for (;; ++index) {
        record = Ask(nullptr, kPropertyWide);
        if (list.GetAt(index, &record) != kResultOk) break;
        seen += std::u16string(record.key) + u"=" + record.wideText + u";";
    }
    EXPECT_EQ(seen, u"Accept=*/*;User-Agent=Quillbrook;");
    EXPECT_EQ(index, 2u);
}

TEST(PropertyList, RecordsDispatchByTypeAndRejectWhatCannotBeStored) {
    PropertyList list(nullptr);
    PropertyRecord record{u"k", kPropertyWide, {}};
    EXPECT_EQ(list.Set(&record), kResultFail); // null text in a record
    record.type = kPropertyDouble;
    EXPECT_EQ(list.Set(&record), kResultFull); // doubles only through SetDouble
    EXPECT_EQ(list.SetWide(u"k", nullptr), kResultNullArgument);
    EXPECT_EQ(list.Count(), 0);
    record.type = kPropertyUnsigned;
    record.unsignedValue = 4294967295u;
    EXPECT_EQ(list.Set(&record), kPropertyAppended);
    EXPECT_EQ(WideOf(list, u"k"), u"4294967295");
    record.type = kPropertySigned;
    record.signedValue = INT32_MIN;
    EXPECT_EQ(list.Set(&record), kPropertyReplaced);
    EXPECT_EQ(WideOf(list, u"k"), u"-2147483648");
    record.type = kPropertyEmpty;
    EXPECT_EQ(list.Set(&record), kPropertyReplaced);
    DWORD value = 0;
    EXPECT_EQ(list.GetUnsigned(u"k", &value), kResultNotConvertible); // now empty

    PropertyRecord absent{u"missing", kPropertyWide, {}};
    absent.wideText = u"stale";
    EXPECT_EQ(list.Get(&absent), kResultAbsent);
    EXPECT_EQ(absent.type, kPropertyEmpty);
    EXPECT_EQ(absent.wideText, nullptr);
}

TEST(PropertyList, ClearEmptiesTheStoreForReuse) {
    PropertyList list(nullptr);
    list.SetWide(u"a", u"1");
    list.SetDouble(u"b", 2.0);
    list.SetNarrow(u"c", "3");
    EXPECT_EQ(list.Clear(), kResultOk);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(WideOf(list, u"a"), u"<none>");
    EXPECT_EQ(list.SetWide(u"c", u"again"), kPropertyAppended);
    list.SetEmpty(u"e");
    EXPECT_EQ(list.Clear(), kResultFail); // an empty entry is reported, and cleared
    EXPECT_EQ(list.Count(), 0);
}

TEST(PropertyList, StoreWithoutEntryTableRefusesEverything) {
    FailingAllocator allocator(1);
    {
        PropertyList list(&allocator);
        EXPECT_EQ(list.Count(), -1);
        EXPECT_EQ(list.SetWide(u"k", u"v"), kResultFail);
        PropertyRecord record = Ask(u"k", kPropertyWide);
        EXPECT_EQ(list.Get(&record), kResultFail);
        EXPECT_EQ(list.GetAt(0, &record), kResultNoMemory);
        EXPECT_EQ(list.Clear(), kResultNoMemory);
        LONG index = 0;
        EXPECT_EQ(list.Find(u"k", &index), kResultFail);
    }
    EXPECT_EQ(allocator.outstanding, 0);
}

// Runs one scripted use of the store with the Nth allocation failing, for every N, and
// checks after each step that the store holds exactly what the successful steps stored.
TEST(PropertyList, EveryFailedAllocationLeavesTheStoreConsistent) {
    for (int failAt = 2; failAt <= 12; ++failAt) {
        FailingAllocator allocator(failAt);
        {
            PropertyList list(&allocator);
            ASSERT_EQ(list.Count(), 0);
            int expectedCount = 0;
            std::u16string expectedA = u"<none>";

            // A new key: a value buffer, then a key buffer.
            const int first = list.SetWide(u"A", u"first");
            if (first == kPropertyAppended) {
                ++expectedCount;
                expectedA = u"first";
            } else {
                EXPECT_EQ(first, kResultNoMemory);
            }
            EXPECT_EQ(list.Count(), expectedCount);
            EXPECT_EQ(WideOf(list, u"A"), expectedA);

            // A replacement: a new value buffer; the old value survives its failure.
            const int second = list.SetWide(u"A", u"second, longer");
            if (second > 0) {
                expectedA = u"second, longer";
                if (second == kPropertyAppended) ++expectedCount;
            } else {
                EXPECT_EQ(second, kResultNoMemory);
            }
            EXPECT_EQ(list.Count(), expectedCount);
            EXPECT_EQ(WideOf(list, u"A"), expectedA);

            // Numbers and doubles.
            if (list.SetUnsigned(u"N", 7) > 0) ++expectedCount;
            if (list.SetDouble(u"D", 1.0) > 0) ++expectedCount;
            EXPECT_EQ(list.Count(), expectedCount);

            // A conversion to narrow and back: a failure keeps the form the entry had.
            if (expectedA != u"<none>") {
                const std::string narrowA(expectedA.begin(), expectedA.end()); // ASCII
                PropertyRecord record = Ask(u"A", kPropertyNarrow);
                const int toNarrow = list.Get(&record);
                if (toNarrow == kResultOk) {
                    EXPECT_EQ(record.narrowText, narrowA);
                    PropertyRecord back = Ask(u"A", kPropertyWide);
                    const int toWide = list.Get(&back);
                    if (toWide == kResultOk) {
                        EXPECT_EQ(std::u16string(back.wideText), expectedA);
                    } else {
                        EXPECT_EQ(toWide, kResultNoMemory);
                        record = Ask(u"A", kPropertyNarrow);
                        EXPECT_EQ(list.Get(&record), kResultOk);
                        EXPECT_EQ(record.narrowText, narrowA);
                    }
                } else {
                    EXPECT_EQ(toNarrow, kResultNoMemory);
                    EXPECT_EQ(WideOf(list, u"A"), expectedA);
                }
            }
        }
        EXPECT_EQ(allocator.outstanding, 0) << "failing allocation " << failAt;
    }
}

} // namespace
