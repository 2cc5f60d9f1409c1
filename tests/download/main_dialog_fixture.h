// A main dialog of either mode in the test process, with the shared objects of a run, on a
// private device root (QUILLBROOK_ROOT), a private registry and the English texts. The test
// hook answers its modals; strict modals make an unanswered one fail at once.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/RunParameters.h"
#include "app/Startup.h"
#include "core/AppState.h"
#include "download/MainDialogProcs.h"
#include "download/TransferState.h"
#include "http/HttpClient.h"
#include "http/PropertyList.h"
#include "qb/testhook.h"
#include "resources/resource.h"
#include "storage/FileStream.h"
#include "storage/FileSystem.h"
#include "tests/platform/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "ui/Credentials.h"

namespace qb::test {

inline std::u16string Wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

inline std::u16string FieldText(HWND dialog, int id) {
    WCHAR text[4096] = {};
    GetDlgItemTextW(dialog, id, text, 4096);
    return text;
}

// A body whose bytes differ from their neighbours, so a shifted or repeated piece shows.
inline std::string PatternBody(size_t size, char base = 'a') {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>(base + (i * 7 + i / 251) % 26);
    return body;
}

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.valid());
        ASSERT_TRUE(makeDirectories(dir_.file("root/files")));
        env_.set("QUILLBROOK_ROOT", dir_.file("root").c_str());
        env_.set("QUILLBROOK_REGISTRY", dir_.file("registry.reg").c_str());
        env_.clearLocale();
        env_.set("LANG", "en_US.UTF-8");
        // The machine's proxies do not route the tests' downloads.
        for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy",
                                 "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
            env_.set(name, nullptr);
        }
        Reset();
        SetStrictModals(true);
        ForgetCredentials();
        // Start-up's own wiring, with an empty command line and the private registry.
        ResetRunParameters();
        ASSERT_TRUE(CreateSharedObjects(nullptr));
        ApplySettings();
    }
    void TearDown() override {
        if (dialog_ != nullptr && IsWindow(dialog_)) DestroyWindow(dialog_);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {}
        DestroySharedObjects();
        ResetRunParameters();
        gProxyEnabled = 0;
        gProxyUser.AssignWide(TEXT(""));
        gProxyPassword.AssignWide(TEXT(""));
        Reset();
    }

    // Creates the main dialog (English template) with the mode's procedure.
    void Open(DLGPROC procedure) {
        dialog_ = CreateDialogIndirectParamW(
            nullptr, static_cast<LPCDLGTEMPLATEW>(DialogTemplate(nullptr, IDD_MAIN_EN)), nullptr,
            procedure, 0);
        ASSERT_NE(dialog_, nullptr);
    }
    // The fields as a person fills them in: the URL on the server, the device path.
    void Fill(int port, const std::string& path, const std::string& target) {
        SetDlgItemTextW(dialog_, IDC_URL, Wide(Url(port, path)).c_str());
        SetDlgItemTextW(dialog_, IDC_PATH, Wide(target).c_str());
    }
    static std::string Url(int port, const std::string& path) {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }
    void Start() { SendMessageW(dialog_, WM_COMMAND, IDC_START, 0); }
    bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(dialog_, id)) != FALSE; }
    // Pumps until every scripted answer is used and the modal count reached.
    bool WaitForModals(size_t count, DWORD limitMs = 10000) {
        return PumpUntil(
            [count] { return PendingAnswers() == 0 && ModalHistory().size() >= count; }, limitMs);
    }
    // The exit code the dialog posted when it was destroyed (WM_QUIT), taken off the queue.
    std::optional<int> TakeQuitCode() {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) return static_cast<int>(message.wParam);
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        return std::nullopt;
    }
    // A file of the device below root/files.
    std::optional<std::string> File(const std::string& name) const {
        return dir_.read("root/files/" + name);
    }
    bool WriteFile(const std::string& name, const std::string& bytes) const {
        return dir_.write("root/files/" + name, bytes);
    }

    HWND dialog_ = nullptr;
    TempDir dir_{"qb-main-dialog"};
    ScopedEnv env_;
};

} // namespace qb::test
