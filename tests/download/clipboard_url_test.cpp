// The interactive main dialog takes its URL from the clipboard as it opens, when the text
// there begins with "http://" or "https://" (in any letter case). The clipboard is set through the
// test hook, and through the desktop's own path: stand-in `xclip` and `wl-paste` programs on PATH
// with a display named, which is what the platform runs when there is a real display.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "tests/download/main_dialog_fixture.h"
#include "tests/support/scripted_server.h"

namespace {

class ClipboardUrl : public qb::test::MainDialogTest {
protected:
    bool FocusIn(int id) const { return GetFocus() == GetDlgItem(dialog_, id); }
};

TEST_F(ClipboardUrl, OnlyAnHttpOrHttpsTextIsTaken) {
    struct Case {
        const char16_t* clipboard; // nullptr: nothing there
        const char16_t* url;       // the URL field afterwards
        bool taken;                // the focus then goes to the path field
    } cases[] = {
        {u"http://127.0.0.1/clip.bin", u"http://127.0.0.1/clip.bin", true},
        {u"http://", u"http://", true},
        {u"HTTP://127.0.0.1/upper.bin", u"HTTP://127.0.0.1/upper.bin", true},
        {u"https://[::1]:8443/s.bin", u"https://[::1]:8443/s.bin", true},
        {u"httpx://127.0.0.1/f", u"http://", false},
        {u"ftp://127.0.0.1/f", u"http://", false},
        {u"http:/127.0.0.1/f", u"http://", false},
        {u" http://127.0.0.1/f", u"http://", false},
        {u"", u"http://", false},
        {nullptr, u"http://", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(
            c.clipboard != nullptr
                ? std::string(c.clipboard,
                              c.clipboard + std::char_traits<char16_t>::length(c.clipboard))
                : "<nothing>");
        qb::test::SetClipboardText(c.clipboard);
        Open(InteractiveDialogProc);
        EXPECT_EQ(qb::test::FieldText(dialog_, IDC_URL), c.url);
        EXPECT_EQ(qb::test::FieldText(dialog_, IDC_PATH), u"\\My Documents");
        EXPECT_TRUE(FocusIn(c.taken ? IDC_PATH : IDC_URL));
        DestroyWindow(dialog_);
        TakeQuitCode();
    }
}

TEST_F(ClipboardUrl, TheClipboardUrlIsTheOneFetched) {
    const std::string body = qb::test::PatternBody(2500);
    qb::test::ScriptedServer server;
    server.addReply(qb::test::okReply(body));
    ASSERT_TRUE(server.start());
    const std::u16string url = qb::test::Wide(Url(server.port(), "/from/clipboard.bin"));
    qb::test::SetClipboardText(url.c_str());
    Open(InteractiveDialogProc);
    SetDlgItemTextW(dialog_, IDC_PATH, u"\\files");
    qb::test::AnswerMessageBox(IDOK);
    Start();
    ASSERT_TRUE(WaitForModals(1));
    EXPECT_EQ(File("clipboard.bin").value_or(""), body);
    EXPECT_EQ(server.request(0).rfind("GET /from/clipboard.bin HTTP/1.0", 0), 0u)
        << server.request(0);
}

// A clipboard URL longer than the URL buffer is refused when started, not cut.
TEST_F(ClipboardUrl, AnOverlongClipboardUrlIsRefusedAtStart) {
    std::u16string url = u"http://127.0.0.1/";
    url.append(kUrlCapacity, u'a');
    qb::test::SetClipboardText(url.c_str());
    Open(InteractiveDialogProc);
    SetDlgItemTextW(dialog_, IDC_PATH, u"\\files\\long.bin");
    qb::test::AnswerMessageBox(IDOK);
    Start();
    ASSERT_TRUE(WaitForModals(1));
    EXPECT_EQ(qb::test::ModalHistory()[0].text, u"Failed to connect to HTTP server.");
    EXPECT_FALSE(File("long.bin").has_value());
}

// The desktop clipboard as the platform reads it: `wl-paste` under Wayland, `xclip -o` under
// X11. Stand-ins print the text, so no display is needed.
TEST_F(ClipboardUrl, DesktopClipboardThroughItsTools) {
    struct Case {
        const char* tool;
        const char* display; // the variable that names the display
        const char* printed;
        const char16_t* url;
    } cases[] = {
        {"xclip", "DISPLAY", "http://127.0.0.1/x11.bin", u"http://127.0.0.1/x11.bin"},
        {"wl-paste", "WAYLAND_DISPLAY", "http://127.0.0.1/wayland.bin",
         u"http://127.0.0.1/wayland.bin"},
        {"xclip", "DISPLAY", "not a url", u"http://"},
    };
    const std::string bin = dir_.file("bin");
    ASSERT_TRUE(qb::test::makeDirectories(bin));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tool);
        ScopedEnv env;
        env.set("PATH", (bin + ":/usr/bin:/bin").c_str());
        env.set("DISPLAY", nullptr);
        env.set("WAYLAND_DISPLAY", nullptr);
        env.set(c.display, ":test");
        const std::string tool = bin + "/" + c.tool;
        ASSERT_TRUE(
            qb::test::writeFile(tool, std::string("#!/bin/sh\nprintf '%s' '") + c.printed + "'\n"));
        ASSERT_EQ(chmod(tool.c_str(), 0755), 0);
        qb::test::UseDesktopClipboard();
        Open(InteractiveDialogProc);
        EXPECT_EQ(qb::test::FieldText(dialog_, IDC_URL), c.url);
        DestroyWindow(dialog_);
        TakeQuitCode();
        qb::test::removeTree(tool);
    }
    qb::test::SetClipboardText(nullptr);
}

} // namespace
