// FileSystem with each of its allocations failing in turn (full paths, search handles, the
// base directory): every operation either succeeds or fails with -2 (no memory) without
// touching the device, and the object leaks nothing.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "base/Results.h"
#include "storage/FileSystem.h"
#include "tests/faults/allocation_sweep.h"
#include "tests/platform/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace qb::faults {
namespace {

// A sandbox device with "base/sub/a.txt" (text "abc") and the empty folder "base/empty".
class Device {
public:
    Device() : dir_("qb-faults-fs") {
        env_.set("QUILLBROOK_ROOT", dir_.path().c_str());
        ok_ = dir_.write("base/sub/a.txt", "abc") && test::makeDirectories(dir_.file("base/empty"));
    }
    bool ok() const { return ok_; }
    bool Exists(const std::string& path) const {
        struct stat info;
        return stat(dir_.file(path).c_str(), &info) == 0;
    }
    std::optional<std::string> Read(const std::string& path) const { return dir_.read(path); }

private:
    test::TempDir dir_;
    ScopedEnv env_;
    bool ok_ = false;
};

std::u16string BaseOf(FileSystem& files) {
    WCHAR base[kModulePathCapacity] = {};
    files.GetBaseDirectory(base, kModulePathCapacity);
    return base;
}

struct FsCase {
    const char* name;
    bool withBase; // the base directory "\base" is set before the operation
    std::function<int(FileSystem&)> op;
    // Checks the device (and the object) after the operation; changed: it succeeded.
    std::function<void(const Device&, FileSystem&, bool changed)> check;
};

int Enumerate(FileSystem& files, LPCWSTR pattern, int* entries) {
    FileSearch* search = nullptr;
    const int opened = files.OpenSearch(&search, pattern);
    if (opened != kResultOk) {
        EXPECT_EQ(search, nullptr);
        return opened;
    }
    FileSearchEntry entry;
    while (files.NextEntry(search, &entry) == kResultOk) ++*entries;
    return files.CloseSearch(search);
}

const std::vector<FsCase>& Cases() {
    static const std::vector<FsCase> cases = {
        {"SetBaseDirectory", false, [](FileSystem& f) { return f.SetBaseDirectory(u"\\base"); },
         [](const Device&, FileSystem& f, bool changed) {
             EXPECT_EQ(BaseOf(f), changed ? u"\\base" : u"");
         }},
        {"ReplaceBaseDirectory", true,
         [](FileSystem& f) { return f.SetBaseDirectory(u"\\elsewhere"); },
         [](const Device&, FileSystem& f, bool changed) {
             EXPECT_EQ(BaseOf(f), changed ? u"\\elsewhere" : u"\\base");
         }},
        {"BaseIsTheProgramFolder", true, [](FileSystem& f) { return f.SetBaseDirectory(nullptr); },
         [](const Device&, FileSystem& f, bool changed) {
             if (!changed) {
                 EXPECT_EQ(BaseOf(f), u"\\base");
             }
         }},
        {"IsDirectory", true, [](FileSystem& f) { return f.IsDirectory(u"sub"); },
         [](const Device&, FileSystem&, bool) {}},
        {"IsFile", false, [](FileSystem& f) { return f.IsFile(u"/base/sub/a.txt"); },
         [](const Device&, FileSystem&, bool) {}},
        {"Enumerate", true,
         [](FileSystem& f) {
             int entries = 0;
             const int result = Enumerate(f, u"sub\\*", &entries);
             if (result == kResultOk) {
                 EXPECT_EQ(entries, 1);
             }
             return result;
         },
         [](const Device&, FileSystem&, bool) {}},
        {"CreateFolder", true, [](FileSystem& f) { return f.CreateFolder(u"made"); },
         [](const Device& d, FileSystem&, bool changed) {
             EXPECT_EQ(d.Exists("base/made"), changed);
         }},
        {"RemoveFolder", true, [](FileSystem& f) { return f.RemoveFolder(u"empty"); },
         [](const Device& d, FileSystem&, bool changed) {
             EXPECT_EQ(d.Exists("base/empty"), !changed);
         }},
        {"CreateNewFile", true,
         [](FileSystem& f) { return f.CreateEmptyFile(u"sub/new.txt", kCreateNewFile); },
         [](const Device& d, FileSystem&, bool changed) {
             EXPECT_EQ(d.Exists("base/sub/new.txt"), changed);
         }},
        {"TruncateFile", true,
         [](FileSystem& f) { return f.CreateEmptyFile(u"sub/a.txt", kCreateOrTruncateFile); },
         [](const Device& d, FileSystem&, bool changed) {
             EXPECT_EQ(d.Read("base/sub/a.txt"), changed ? "" : "abc");
         }},
        {"RemoveFile", true, [](FileSystem& f) { return f.RemoveFile(u"sub/a.txt"); },
         [](const Device& d, FileSystem&, bool changed) {
             EXPECT_EQ(d.Exists("base/sub/a.txt"), !changed);
         }},
        {"OpenFileStream", true,
         [](FileSystem& f) {
             FileStream* stream = nullptr;
             const int result = f.OpenFileStream(u"sub/a.txt", &stream, TRUE);
             if (result != kResultOk) {
                 EXPECT_EQ(stream, nullptr);
                 return result;
             }
             char bytes[4] = {};
             DWORD count = 3;
             EXPECT_EQ(stream->Read(bytes, &count), kResultOk);
             EXPECT_EQ(std::string(bytes, count), "abc");
             return f.CloseFileStream(&stream);
         },
         [](const Device&, FileSystem&, bool) {}},
    };
    return cases;
}

TEST(FileSystemFaults, EveryOperationFailsCleanlyAtEachAllocation) {
    SweepTally tally;
    for (const FsCase& c : Cases()) {
        Sweep(c.name, &tally, [&](CountingAllocator& allocator, int failAt) {
            Device device;
            ASSERT_TRUE(device.ok());
            FileSystem files(&allocator);
            if (c.withBase) {
                ASSERT_EQ(files.SetBaseDirectory(u"\\base"), kResultOk);
            }
            allocator.Arm(failAt);
            const int result = c.op(files);
            allocator.Disarm();
            if (allocator.injected()) {
                EXPECT_EQ(result, kResultNoMemory);
            } else {
                EXPECT_EQ(result, kResultOk);
            }
            c.check(device, files, result == kResultOk);
        });
    }
    Report("FileSystem operations", tally);
}

// The download worker's use of the object, start to end, with one allocation failing:
// each step that can't get memory says so (-2) and the steps after it still work.
TEST(FileSystemFaults, TheWorkersSequenceSurvivesEachFailedAllocation) {
    SweepTally tally;
    Sweep("worker sequence", &tally, [](CountingAllocator& allocator, int failAt) {
        Device device;
        ASSERT_TRUE(device.ok());
        FileSystem files(&allocator);
        allocator.Arm(failAt);
        const int isFolder = files.IsDirectory(u"\\base\\sub");
        EXPECT_TRUE(isFolder == kResultOk || isFolder == kResultNoMemory) << isFolder;
        const int created = files.CreateEmptyFile(u"\\base\\sub\\got.bin", kCreateNewFile);
        EXPECT_TRUE(created == kResultOk || created == kResultNoMemory) << created;
        EXPECT_EQ(device.Exists("base/sub/got.bin"), created == kResultOk);
        const int truncated = files.CreateEmptyFile(u"\\base\\sub\\a.txt", kCreateOrTruncateFile);
        EXPECT_TRUE(truncated == kResultOk || truncated == kResultNoMemory) << truncated;
        EXPECT_EQ(device.Read("base/sub/a.txt"), truncated == kResultOk ? "" : "abc");
        const int isFile = files.IsFile(u"\\base\\sub\\a.txt");
        EXPECT_TRUE(isFile == kResultOk || isFile == kResultNoMemory) << isFile;
        const int removed = files.RemoveFile(u"\\base\\sub\\a.txt");
        EXPECT_TRUE(removed == kResultOk || removed == kResultNoMemory) << removed;
        EXPECT_EQ(device.Exists("base/sub/a.txt"), removed != kResultOk);
        allocator.Disarm();
        // Memory back: everything works again on the same object.
        EXPECT_EQ(files.IsDirectory(u"\\base\\sub"), kResultOk);
        EXPECT_EQ(files.CreateEmptyFile(u"\\base\\sub\\again.bin", kCreateNewFile), kResultOk);
    });
    Report("FileSystem worker sequence", tally);
}

} // namespace
} // namespace qb::faults
