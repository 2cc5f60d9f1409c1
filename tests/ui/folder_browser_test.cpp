// The folder browser over a sandbox device (QUILLBROOK_ROOT in a TempDir): the tree it shows,
// what it selects at opening, what reaches the caller's buffer on OK and Cancel, and the cost
// of opening on a wide folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <commctrl.h>
#include <functional>
#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <windows.h>

#include "qb/testhook.h"
#include "resources/resource.h"
#include "tests/platform/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "ui/FolderBrowser.h"

namespace {

constexpr DWORD kBufferUnits = 1024;

std::u16string ItemText(HWND tree, HTREEITEM item) {
    char16_t text[4096] = {};
    TVITEMW info{};
    info.mask = TVIF_TEXT;
    info.hItem = item;
    info.pszText = text;
    info.cchTextMax = 4096;
    TreeView_GetItem(tree, &info);
    return text;
}

std::vector<std::u16string> ChildTexts(HWND tree, HTREEITEM item) {
    std::vector<std::u16string> names;
    for (HTREEITEM c = TreeView_GetChild(tree, item); c != nullptr;
         c = TreeView_GetNextSibling(tree, c))
        names.push_back(ItemText(tree, c));
    return names;
}

UINT ItemState(HWND tree, HTREEITEM item) {
    TVITEMW info{};
    info.mask = TVIF_STATE;
    info.hItem = item;
    info.stateMask = ~0u;
    TreeView_GetItem(tree, &info);
    return info.state;
}

// Whether every folder above the item is open, so that the item shows.
bool ParentsExpanded(HWND tree, HTREEITEM item) {
    for (HTREEITEM p = TreeView_GetParent(tree, item); p != nullptr;
         p = TreeView_GetParent(tree, p))
        if (!(ItemState(tree, p) & TVIS_EXPANDED)) return false;
    return true;
}

std::u16string FieldText(HWND dialog) {
    char16_t text[4200] = {};
    GetDlgItemTextW(dialog, IDC_BROWSER_PATH, text, 4200);
    return text;
}

class FolderBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(device_.valid());
        env_.set("QUILLBROOK_ROOT", device_.path().c_str());
        env_.set("QUILLBROOK_REGISTRY", device_.file("registry.reg").c_str());
        env_.clearLocale();
        env_.set("LANG", "en_US.UTF-8");
        qb::test::Reset();
        qb::test::SetStrictModals(true);
    }
    void TearDown() override { qb::test::Reset(); }

    void MakeFolder(const std::string& relative) {
        ASSERT_TRUE(qb::test::makeDirectories(device_.file(relative)));
    }

    // Opens the browser on `initial`; `look` runs in the open dialog, then `answer` (IDOK or
    // IDCANCEL) ends it.
    int Browse(const std::u16string& initial, const std::function<void(HWND, HWND)>& look,
               int answer, char16_t* buffer, DWORD capacity) {
        size_t units = std::min<size_t>(initial.size(), capacity - 1);
        for (size_t i = 0; i < units; ++i) buffer[i] = initial[i];
        buffer[units] = 0;
        qb::test::DriveDialog(
            [&](HWND dialog) {
                HWND tree = GetDlgItem(dialog, IDC_BROWSER_TREE);
                if (look) look(dialog, tree);
                SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
            },
            qb::test::DialogTemplate(nullptr, IDD_FOLDER_BROWSER));
        return OpenFolderBrowser(nullptr, nullptr, buffer, capacity);
    }

    qb::test::TempDir device_{"qb-browse"};
    ScopedEnv env_;
};

TEST_F(FolderBrowserTest, NullBufferShowsNothing) {
    EXPECT_EQ(OpenFolderBrowser(nullptr, nullptr, nullptr, kBufferUnits), -1);
    EXPECT_TRUE(qb::test::ModalHistory().empty());
}

// The initial text decides the selection; OK hands back the selected folder's path.
TEST_F(FolderBrowserTest, InitialFolderIsSelectedAndReturnedOnOk) {
    MakeFolder("My Documents/Inner");
    MakeFolder("Other/Deeper/Deepest");
    struct Case {
        std::u16string initial;
        std::u16string selectedText;
        std::u16string expected;
    } cases[] = {
        {u"\\My Documents", u"My Documents", u"\\My Documents"},
        {u"\\My Documents\\Inner", u"Inner", u"\\My Documents\\Inner"},
        {u"\\Other\\Deeper\\Deepest", u"Deepest", u"\\Other\\Deeper\\Deepest"},
        {u"\\Nowhere\\At all", u"\\", u""},
        {u"\\my documents", u"\\", u""}, // names are matched exactly, case included
        {u"", u"\\", u""},
    };
    for (const Case& c : cases) {
        char16_t buffer[kBufferUnits] = {};
        std::u16string selected;
        bool shown = false;
        int result = Browse(
            c.initial,
            [&](HWND, HWND tree) {
                selected = ItemText(tree, TreeView_GetSelection(tree));
                shown = ParentsExpanded(tree, TreeView_GetSelection(tree));
            },
            IDOK, buffer, kBufferUnits);
        EXPECT_EQ(result, 1);
        EXPECT_EQ(selected, c.selectedText);
        EXPECT_TRUE(shown) << "a folder above the selection is closed";
        EXPECT_EQ(std::u16string(buffer), c.expected);
    }
}

TEST_F(FolderBrowserTest, ShowsOnlyFoldersUnderTheRootWithTitle) {
    MakeFolder("Beta");
    MakeFolder("Alpha/Deep");
    ASSERT_TRUE(device_.write("file.txt", "x"));
    ASSERT_TRUE(device_.write("Alpha/inside.txt", "x"));
    char16_t buffer[kBufferUnits] = {};
    std::vector<std::u16string> top, alpha;
    std::u16string rootText, title, caption;
    Browse(
        u"",
        [&](HWND dialog, HWND tree) {
            HTREEITEM root = TreeView_GetRoot(tree);
            rootText = ItemText(tree, root);
            top = ChildTexts(tree, root);
            HTREEITEM second = TreeView_GetNextSibling(tree, TreeView_GetChild(tree, root));
            TreeView_Expand(tree, second, TVE_EXPAND); // read on demand
            alpha = ChildTexts(tree, second);
            char16_t text[64] = {};
            GetDlgItemTextW(dialog, IDC_BROWSER_TITLE, text, 64);
            title = text;
            GetWindowTextW(dialog, text, 64);
            caption = text;
        },
        IDCANCEL, buffer, kBufferUnits);
    EXPECT_EQ(rootText, u"\\");
    // The sandbox's own registry file is a file too, so it never shows. My Documents comes
    // first, although it is not made yet.
    EXPECT_EQ(top, (std::vector<std::u16string>{u"My Documents", u"Alpha", u"Beta"}));
    EXPECT_EQ(alpha, (std::vector<std::u16string>{u"Deep"}));
    EXPECT_EQ(title, u"Open Folder");
    EXPECT_EQ(caption, u"Open Folder");
}

// A folder that can't be read (here one removed after it was listed; as root, permissions
// don't stop a read) shows no children and is drawn dimmed; an empty one only has none. A
// system folder such as /proc, reached through a link, reads like any other.
TEST_F(FolderBrowserTest, UnreadableFolderIsShownAsSuch) {
    MakeFolder("Empty");
    MakeFolder("Gone");
    ASSERT_EQ(symlink("/proc", device_.file("proc").c_str()), 0);
    char16_t buffer[kBufferUnits] = {};
    struct Seen {
        std::vector<std::u16string> children;
        UINT state = 0;
    };
    std::map<std::u16string, Seen> seen;
    Browse(
        u"",
        [&](HWND, HWND tree) {
            ASSERT_EQ(rmdir(device_.file("Gone").c_str()), 0);
            HTREEITEM root = TreeView_GetRoot(tree);
            for (HTREEITEM c = TreeView_GetChild(tree, root); c != nullptr;
                 c = TreeView_GetNextSibling(tree, c)) {
                TreeView_Expand(tree, c, TVE_EXPAND);
                seen[ItemText(tree, c)] = Seen{ChildTexts(tree, c), ItemState(tree, c)};
            }
        },
        IDCANCEL, buffer, kBufferUnits);
    EXPECT_TRUE(seen[u"Gone"].children.empty());
    EXPECT_TRUE(seen[u"Gone"].state & TVIS_CUT);
    EXPECT_TRUE(seen[u"Empty"].children.empty());
    EXPECT_FALSE(seen[u"Empty"].state & TVIS_CUT);
    EXPECT_FALSE(seen[u"proc"].children.empty());
    EXPECT_FALSE(seen[u"proc"].state & TVIS_CUT);
}

// A folder without permission, as a person without rights to it sees it: the browser runs
// in a child process as "nobody" (as root every folder can be read), expands the folder and
// says through its exit status what it saw: 0 dimmed and empty, 1 anything else.
TEST_F(FolderBrowserTest, FolderWithoutPermissionIsShownAsSuch) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the browser as nobody";
    constexpr uid_t kNobody = 65534;
    MakeFolder("Locked/Inside");
    ASSERT_EQ(chmod(device_.file("Locked").c_str(), 0), 0);
    ASSERT_EQ(chmod(device_.path().c_str(), 0755), 0);
    ASSERT_EQ(chown(device_.path().c_str(), kNobody, kNobody), 0); // My Documents is made there
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(2);
        bool dimmedAndEmpty = false;
        char16_t buffer[kBufferUnits] = {};
        Browse(
            u"",
            [&](HWND, HWND tree) {
                HTREEITEM root = TreeView_GetRoot(tree);
                for (HTREEITEM c = TreeView_GetChild(tree, root); c != nullptr;
                     c = TreeView_GetNextSibling(tree, c)) {
                    if (ItemText(tree, c) != u"Locked") continue;
                    TreeView_Expand(tree, c, TVE_EXPAND);
                    dimmedAndEmpty = TreeView_GetChild(tree, c) == nullptr &&
                                     (ItemState(tree, c) & TVIS_CUT) != 0;
                }
            },
            IDCANCEL, buffer, kBufferUnits);
        _exit(dimmedAndEmpty ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    chmod(device_.file("Locked").c_str(), 0755); // so that the folder can be removed
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: could not become nobody";
}

// Once the browser has looked into a folder (the one it opens at, one the person selects or
// expands), its expander says whether it has sub-folders; one not looked into keeps its "+".
TEST_F(FolderBrowserTest, ExpanderShowsOnlyWhereSubFoldersWereFound) {
    MakeFolder("dl/a/b");
    MakeFolder("full/inner");
    MakeFolder("zeta");
    MakeFolder("yellow");
    char16_t buffer[kBufferUnits] = {};
    std::string opened, looked;
    Browse(
        u"\\dl\\a\\b",
        [&](HWND, HWND tree) {
            opened = qb::test::WindowText(tree);
            HTREEITEM root = TreeView_GetRoot(tree);
            for (HTREEITEM c = TreeView_GetChild(tree, root); c != nullptr;
                 c = TreeView_GetNextSibling(tree, c)) {
                if (ItemText(tree, c) == u"zeta" || ItemText(tree, c) == u"full")
                    TreeView_SelectItem(tree, c);
                if (ItemText(tree, c) == u"yellow") TreeView_Expand(tree, c, TVE_EXPAND);
            }
            looked = qb::test::WindowText(tree);
        },
        IDCANCEL, buffer, kBufferUnits);
    auto rows = [](std::string text) {
        while (!text.empty() && text.back() == '\n') text.pop_back();
        return text;
    };
    EXPECT_EQ(rows(opened), "- \\\n"
                            "  ├+ My Documents\n"
                            "  ├- dl\n"
                            "  │ └- a\n"
                            "  │   └─ b\n"
                            "  ├+ full\n"
                            "  ├+ yellow\n"
                            "  └+ zeta");
    EXPECT_EQ(rows(looked), "- \\\n"
                            "  ├+ My Documents\n"
                            "  ├- dl\n"
                            "  │ └- a\n"
                            "  │   └─ b\n"
                            "  ├+ full\n"
                            "  ├─ yellow\n"
                            "  └─ zeta");
}

TEST_F(FolderBrowserTest, SelectionShowsPathAndCancelKeepsBuffer) {
    MakeFolder("A/B");
    char16_t buffer[kBufferUnits] = {};
    std::u16string field, rootField;
    int result = Browse(
        u"\\A",
        [&](HWND dialog, HWND tree) {
            HTREEITEM a = TreeView_GetSelection(tree);
            TreeView_Expand(tree, a, TVE_EXPAND);
            TreeView_SelectItem(tree, TreeView_GetChild(tree, a));
            field = FieldText(dialog);
            TreeView_SelectItem(tree, TreeView_GetRoot(tree));
            rootField = FieldText(dialog);
        },
        IDCANCEL, buffer, kBufferUnits);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(field, u"\\A\\B");
    EXPECT_EQ(rootField, u"");
    EXPECT_EQ(std::u16string(buffer), u"\\A");
}

TEST_F(FolderBrowserTest, PathLongerThanCapacityIsNotWritten) {
    MakeFolder("Longer name");
    // "\\Longer name" needs 13 units with its terminator; a cut one would name another folder.
    for (DWORD capacity : {DWORD{12}, DWORD{13}}) {
        char16_t buffer[16];
        for (char16_t& u : buffer) u = u'#';
        int result = Browse(
            u"",
            [&](HWND, HWND tree) {
                // The first is My Documents.
                HTREEITEM first = TreeView_GetChild(tree, TreeView_GetRoot(tree));
                TreeView_SelectItem(tree, TreeView_GetNextSibling(tree, first));
            },
            IDOK, buffer, capacity);
        if (capacity == 13) {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(std::u16string(buffer), u"\\Longer name");
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(buffer[0], 0) << "the buffer keeps the caller's text";
        }
        EXPECT_EQ(buffer[capacity], u'#') << "written past the capacity " << capacity;
    }
}

TEST_F(FolderBrowserTest, WideFolderOpensFast) {
    MakeFolder("Wide");
    for (int i = 0; i < 3000; ++i)
        ASSERT_EQ(mkdir(device_.file("Wide/sub" + std::to_string(i)).c_str(), 0755), 0);
    char16_t buffer[kBufferUnits] = {};
    size_t children = 0;
    auto start = std::chrono::steady_clock::now();
    int result = Browse(
        u"\\Wide\\sub1234",
        [&](HWND, HWND tree) {
            children =
                ChildTexts(tree, TreeView_GetParent(tree, TreeView_GetSelection(tree))).size();
        },
        IDOK, buffer, kBufferUnits);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result, 1);
    EXPECT_EQ(children, 3000u);
    EXPECT_EQ(std::u16string(buffer), u"\\Wide\\sub1234");
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    EXPECT_LT(ms, 5000) << "opening took " << ms << " ms";
}

} // namespace
