// PropertyList with each of its allocations failing in turn: every operation either does
// what it says or fails with -2 (no memory) and leaves the store exactly as it was; nothing
// leaks and nothing is freed twice.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/Results.h"
#include "http/PropertyList.h"
#include "tests/faults/allocation_sweep.h"

namespace qb::faults {
namespace {

// What a key should hold: its type and its text (narrow texts in ASCII, kept widened).
struct Expected {
    DWORD type;
    std::u16string text;
};
using Model = std::map<std::u16string, Expected>;

std::u16string Widen(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

// The store against the model, with reads that need no memory (each in its stored form).
void ExpectStoreHolds(PropertyList& list, const Model& model) {
    ASSERT_EQ(list.Count(), static_cast<LONG>(model.size()));
    for (const auto& [key, expected] : model) {
        PropertyRecord record{key.c_str(), expected.type, {}};
        if (expected.type == kPropertyEmpty) {
            LONG index = -1;
            list.Find(key.c_str(), &index);
            EXPECT_GE(index, 0) << "key lost";
            continue;
        }
        ASSERT_EQ(list.Get(&record), kResultOk);
        ASSERT_EQ(record.type, expected.type);
        if (expected.type == kPropertyWide) {
            EXPECT_EQ(std::u16string(record.wideText), expected.text);
        } else if (expected.type == kPropertyNarrow) {
            EXPECT_EQ(Widen(record.narrowText), expected.text);
        } else if (expected.type == kPropertyDouble) {
            EXPECT_EQ(Widen(std::to_string(*record.doubleCell)), expected.text);
        }
    }
}

// One operation of the table: the store is filled by setUp, then op runs armed.
struct ListCase {
    const char* name;
    int expected; // the result when no allocation fails
    std::function<int(PropertyList&)> op;
    std::function<void(Model&)> effect; // what a successful op does to the model
};

void FillStore(PropertyList& list, Model* model) {
    ASSERT_EQ(list.SetWide(u"Alpha", u"alpha"), kPropertyAppended);
    ASSERT_EQ(list.SetNarrow(u"Narrow", "narrow"), kPropertyAppended);
    ASSERT_EQ(list.SetDouble(u"Double", 0.5), kPropertyAppended);
    ASSERT_EQ(list.SetEmpty(u"Empty"), kPropertyAppended);
    *model = {{u"Alpha", {kPropertyWide, u"alpha"}},
              {u"Narrow", {kPropertyNarrow, u"narrow"}},
              {u"Double", {kPropertyDouble, Widen(std::to_string(0.5))}},
              {u"Empty", {kPropertyEmpty, u""}}};
}

const std::vector<ListCase>& Cases() {
    static const std::vector<ListCase> cases = {
        {"AppendWide", kPropertyAppended,
         [](PropertyList& l) { return l.SetWide(u"Beta", u"beta"); },
         [](Model& m) {
             m[u"Beta"] = {kPropertyWide, u"beta"};
         }},
        {"ReplaceWide", kPropertyReplaced,
         [](PropertyList& l) { return l.SetWide(u"Alpha", u"a longer alpha"); },
         [](Model& m) {
             m[u"Alpha"] = {kPropertyWide, u"a longer alpha"};
         }},
        {"AppendNarrow", kPropertyAppended,
         [](PropertyList& l) { return l.SetNarrow(u"Gamma", "gamma"); },
         [](Model& m) {
             m[u"Gamma"] = {kPropertyNarrow, u"gamma"};
         }},
        {"ReplaceDoubleByNarrow", kPropertyReplaced,
         [](PropertyList& l) { return l.SetNarrow(u"Double", "now text"); },
         [](Model& m) {
             m[u"Double"] = {kPropertyNarrow, u"now text"};
         }},
        {"AppendDouble", kPropertyAppended,
         [](PropertyList& l) { return l.SetDouble(u"Pi", 3.25); },
         [](Model& m) {
             m[u"Pi"] = {kPropertyDouble, Widen(std::to_string(3.25))};
         }},
        {"ReplaceWideByDouble", kPropertyReplaced,
         [](PropertyList& l) { return l.SetDouble(u"Alpha", 1.5); },
         [](Model& m) {
             m[u"Alpha"] = {kPropertyDouble, Widen(std::to_string(1.5))};
         }},
        {"AppendEmpty", kPropertyAppended, [](PropertyList& l) { return l.SetEmpty(u"Nothing"); },
         [](Model& m) {
             m[u"Nothing"] = {kPropertyEmpty, u""};
         }},
        {"ReplaceByEmpty", kPropertyReplaced, [](PropertyList& l) { return l.SetEmpty(u"Alpha"); },
         [](Model& m) {
             m[u"Alpha"] = {kPropertyEmpty, u""};
         }},
        {"AppendUnsigned", kPropertyAppended,
         [](PropertyList& l) { return l.SetUnsigned(u"Big", 4294967295u); },
         [](Model& m) {
             m[u"Big"] = {kPropertyWide, u"4294967295"};
         }},
        {"AppendSigned", kPropertyAppended,
         [](PropertyList& l) { return l.SetSigned(u"Low", -2147483647 - 1); },
         [](Model& m) {
             m[u"Low"] = {kPropertyWide, u"-2147483648"};
         }},
        {"SetThroughARecord", kPropertyAppended,
         [](PropertyList& l) {
             PropertyRecord record{u"Record", kPropertyNarrow, {}};
             record.narrowText = "from a record";
             return l.Set(&record);
         },
         [](Model& m) {
             m[u"Record"] = {kPropertyNarrow, u"from a record"};
         }},
        {"ReadWideAsNarrow", kResultOk,
         [](PropertyList& l) {
             PropertyRecord record{u"Alpha", kPropertyNarrow, {}};
             return l.Get(&record);
         },
         [](Model& m) { m[u"Alpha"].type = kPropertyNarrow; }},
        {"ReadNarrowAsWide", kResultOk,
         [](PropertyList& l) {
             PropertyRecord record{u"Narrow", kPropertyWide, {}};
             return l.Get(&record);
         },
         [](Model& m) { m[u"Narrow"].type = kPropertyWide; }},
        {"EnumerateAsWide", kResultOk,
         [](PropertyList& l) {
             // Converts the narrow entry at index 1; the double and the empty entry end it.
             PropertyRecord record{nullptr, kPropertyWide, {}};
             int result = kResultOk;
             for (DWORD i = 0; i < 2 && result == kResultOk; ++i) {
                 record.type = kPropertyWide;
                 result = l.GetAt(i, &record);
             }
             return result;
         },
         [](Model& m) { m[u"Narrow"].type = kPropertyWide; }},
        {"Clear", kResultFail, [](PropertyList& l) { return l.Clear(); }, // the empty entry
         [](Model& m) { m.clear(); }},
    };
    return cases;
}

TEST(PropertyListFaults, EveryOperationFailsCleanlyAtEachAllocation) {
    SweepTally tally;
    for (const ListCase& c : Cases()) {
        Sweep(c.name, &tally, [&](CountingAllocator& allocator, int failAt) {
            PropertyList list(&allocator);
            Model model;
            FillStore(list, &model);
            allocator.Arm(failAt);
            const int result = c.op(list);
            allocator.Disarm();
            if (allocator.injected()) {
                // A conversion that can't get its buffer, or a set that can't keep a copy.
                EXPECT_EQ(result, kResultNoMemory);
            } else {
                EXPECT_EQ(result, c.expected);
                c.effect(model);
            }
            ExpectStoreHolds(list, model);
        });
    }
    Report("PropertyList operations", tally);
}

// The entry table itself: without it the store refuses everything and frees nothing.
TEST(PropertyListFaults, AStoreWithoutItsTableRefusesEverything) {
    SweepTally tally;
    Sweep("construction", &tally, [](CountingAllocator& allocator, int failAt) {
        allocator.Arm(failAt);
        PropertyList list(&allocator);
        allocator.Disarm();
        if (!allocator.injected()) {
            EXPECT_EQ(list.Count(), 0);
            return;
        }
        EXPECT_EQ(list.Count(), -1);
        EXPECT_EQ(list.SetWide(u"k", u"v"), kResultFail);
        EXPECT_EQ(list.SetDouble(u"k", 1.0), kResultFail);
        PropertyRecord record{u"k", kPropertyWide, {}};
        EXPECT_EQ(list.Get(&record), kResultFail);
        EXPECT_EQ(list.GetAt(0, &record), kResultNoMemory);
        EXPECT_EQ(list.Clear(), kResultNoMemory);
    });
    Report("PropertyList construction", tally);
}

// A store used as the program uses its lists: default headers set and replaced, a response
// header block stored, read back as numbers and narrow text, cleared and filled again. Every
// step that fails with -2 changes nothing; the others take effect; the run goes on.
TEST(PropertyListFaults, AWholeSessionSurvivesEachFailedAllocation) {
    SweepTally tally;
    Sweep("session", &tally, [](CountingAllocator& allocator, int failAt) {
        PropertyList list(&allocator);
        ASSERT_EQ(list.Count(), 0);
        allocator.Arm(failAt);
        Model model;
        auto step = [&](int result, int success, const std::function<void()>& effect) {
            if (result == kResultNoMemory) return;
            EXPECT_EQ(result, success);
            if (result == success) effect();
        };
        const std::u16string agent = u"Quillbrook/1.15";
        step(list.SetWide(u"User-Agent", agent.c_str()), kPropertyAppended, [&] {
            model[u"User-Agent"] = {kPropertyWide, agent};
        });
        step(list.SetWide(u"Accept", u"*/*"), kPropertyAppended, [&] {
            model[u"Accept"] = {kPropertyWide, u"*/*"};
        });
        for (const char16_t* referer : {u"http://h/a/", u"http://h/a/b/c/d/"}) {
            const int result = list.SetWide(u"Referer", referer);
            step(result, model.count(u"Referer") ? kPropertyReplaced : kPropertyAppended, [&] {
                model[u"Referer"] = {kPropertyWide, referer};
            });
        }
        // A response header block, then the values the client reads.
        step(list.SetNarrow(u"Content-Length", "70000"), kPropertyAppended, [&] {
            model[u"Content-Length"] = {kPropertyNarrow, u"70000"};
        });
        step(list.SetNarrow(u"Location", "http://h/f.bin"), kPropertyAppended, [&] {
            model[u"Location"] = {kPropertyNarrow, u"http://h/f.bin"};
        });
        if (model.count(u"Location")) {
            PropertyRecord record{u"Location", kPropertyWide, {}};
            step(list.Get(&record), kResultOk, [&] { model[u"Location"].type = kPropertyWide; });
        }
        if (model.count(u"User-Agent")) {
            PropertyRecord record{u"User-Agent", kPropertyNarrow, {}};
            step(list.Get(&record), kResultOk,
                 [&] { model[u"User-Agent"].type = kPropertyNarrow; });
        }
        step(list.SetDouble(u"Ratio", 0.25), kPropertyAppended, [&] {
            model[u"Ratio"] = {kPropertyDouble, Widen(std::to_string(0.25))};
        });
        ExpectStoreHolds(list, model);
        // The next response replaces the whole block.
        EXPECT_EQ(list.Clear(), kResultOk);
        model.clear();
        step(list.SetUnsigned(u"Content-Length", 123u), kPropertyAppended, [&] {
            model[u"Content-Length"] = {kPropertyWide, u"123"};
        });
        if (model.count(u"Content-Length")) {
            DWORD length = 0;
            EXPECT_EQ(list.GetUnsigned(u"Content-Length", &length), kResultOk);
            EXPECT_EQ(length, 123u);
        }
        step(list.SetEmpty(u"Pragma"), kPropertyAppended, [&] {
            model[u"Pragma"] = {kPropertyEmpty, u""};
        });
        allocator.Disarm();
        ExpectStoreHolds(list, model);
    });
    Report("PropertyList session", tally);
}

} // namespace
} // namespace qb::faults
