// The test hook (qb/testhook.h): scripted answers for modal windows, reading the grid,
// input as a person gives it, the clipboard's content and the tick count.
#include <chrono>
#include <deque>
#include <mutex>

#include "platform/kernel/utf8_codec.h"
#include "platform/render/boundary.h"
#include "platform/render/cell_text.h"
#include "platform/render/compositor.h"
#include "platform/user/input.h"
#include "platform/user/layout.h"
#include "platform/user/message_queue.h"
#include "qb/kernel_test.h"
#include "qb/observer.h"
#include "qb/testhook.h"

#if QB_HAVE_RESOURCES
#include "win/resource.h"
#endif

namespace qb::test {

namespace {

constexpr int kMaxPumpedMessages = 100000; // one Pump() handles at most this many
constexpr int kPumpWaitMs = 10;

struct Entry {
    ModalKind kind;
    user::ModalDecision decision;
    const void* dialogTemplate;
};

struct Driven {
    HWND window;
    std::function<void()> end;
    bool abandoned;
};

std::mutex gLock;
std::deque<Entry> gScripts;
std::vector<ModalRecord> gHistory;
std::vector<UINT> gBeeps;
bool gStrict = false;
bool gClipboardHooked = false;
bool gClipboardPresent = false;
std::u16string gClipboardText;
std::vector<Driven> gDriven; // GUI thread only
int gInDriver = 0;

// The hook's side of the window system's observer seam: the answer queue, the records, the
// driven windows, the beeps and the clipboard.
class Hook final : public user::Observer {
public:
    user::ModalDecision ModalStarting(user::ModalKind kind, const void* dialogTemplate) override {
        std::lock_guard<std::mutex> lock(gLock);
        if (!gScripts.empty() && Matches(gScripts.front(), kind, dialogTemplate)) {
            user::ModalDecision decision = std::move(gScripts.front().decision);
            gScripts.pop_front();
            return decision;
        }
        user::ModalDecision decision;
        // Nobody is there to answer an unscripted modal.
        if (gStrict && !render::internal::RendererAttached())
            decision.plan = user::ModalPlan::kRefuse;
        return decision;
    }

    void ModalShown(HWND window, const user::ModalDecision& decision,
                    std::function<void()> end) override {
        gDriven.push_back(Driven{window, std::move(end), false});
        if (!decision.feed) return;
        ++gInDriver;
        decision.feed(window);
        --gInDriver;
    }

    bool ModalLoopEnded(HWND window) override {
        if (gDriven.empty() || gDriven.back().window != window) return false;
        bool abandoned = gDriven.back().abandoned;
        gDriven.pop_back();
        return abandoned;
    }

    void ModalEnded(const user::ModalReport& report) override {
        ModalRecord record;
        static_cast<user::ModalReport&>(record) = report;
        record.scripted =
            report.plan == user::ModalPlan::kAnswer || report.plan == user::ModalPlan::kDrive;
        std::lock_guard<std::mutex> lock(gLock);
        gHistory.push_back(std::move(record));
    }

    // A driven modal window left open with nothing more to do is ended.
    bool Idle(bool timersPending) override {
        if (gDriven.empty() || timersPending) return false;
        Driven& top = gDriven.back();
        if (top.abandoned || !IsWindow(top.window)) return false;
        top.abandoned = true;
        if (top.end) top.end();
        return true;
    }

    void Beeped(UINT type) override {
        std::lock_guard<std::mutex> lock(gLock);
        gBeeps.push_back(type);
    }

    bool ClipboardText(std::u16string* text, bool* present) override {
        std::lock_guard<std::mutex> lock(gLock);
        if (!gClipboardHooked) return false;
        *text = gClipboardText;
        *present = gClipboardPresent;
        return true;
    }

private:
    static bool Matches(const Entry& entry, ModalKind kind, const void* dialogTemplate) {
        if (entry.kind != kind) return false;
        return kind != ModalKind::kDialog || entry.dialogTemplate == nullptr ||
               entry.dialogTemplate == dialogTemplate;
    }
};

Hook gHook;
// Linking the hook into a program installs it; a program without it has no observer.
[[maybe_unused]] const bool gInstalled = (user::SetObserver(&gHook), true);

void Queue(ModalKind kind, user::ModalPlan plan, INT_PTR answer, Driver feed,
           const void* dialogTemplate) {
    user::ModalDecision decision;
    decision.plan = plan;
    decision.answer = answer;
    decision.feed = std::move(feed);
    std::lock_guard<std::mutex> lock(gLock);
    gScripts.push_back(Entry{kind, std::move(decision), dialogTemplate});
}

void AfterInput() {
    if (gInDriver == 0) Pump();
}

} // namespace

void Reset() {
    std::lock_guard<std::mutex> lock(gLock);
    gScripts.clear();
    gHistory.clear();
    gBeeps.clear();
    gStrict = false;
    gClipboardHooked = true;
    gClipboardPresent = false;
    gClipboardText.clear();
}

void AnswerMessageBox(int result) {
    Queue(ModalKind::kMessageBox, user::ModalPlan::kAnswer, result, nullptr, nullptr);
}
void DriveMessageBox(Driver driver) {
    Queue(ModalKind::kMessageBox, user::ModalPlan::kDrive, 0, std::move(driver), nullptr);
}
void AnswerDialog(INT_PTR result, const void* t) {
    Queue(ModalKind::kDialog, user::ModalPlan::kAnswer, result, nullptr, t);
}
void DriveDialog(Driver driver, const void* t) {
    Queue(ModalKind::kDialog, user::ModalPlan::kDrive, 0, std::move(driver), t);
}
void AnswerMenu(UINT id) {
    Queue(ModalKind::kMenu, user::ModalPlan::kAnswer, static_cast<INT_PTR>(id), nullptr, nullptr);
}
void DriveMenu(Driver driver) {
    Queue(ModalKind::kMenu, user::ModalPlan::kDrive, 0, std::move(driver), nullptr);
}

size_t PendingAnswers() {
    std::lock_guard<std::mutex> lock(gLock);
    return gScripts.size();
}

void SetStrictModals(bool strict) {
    std::lock_guard<std::mutex> lock(gLock);
    gStrict = strict;
}

std::vector<ModalRecord> ModalHistory() {
    std::lock_guard<std::mutex> lock(gLock);
    return gHistory;
}

const void* DialogTemplate(HINSTANCE instance, int id) {
#if QB_HAVE_RESOURCES
    HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(id), RT_DIALOG);
    if (resource == nullptr) return nullptr;
    HGLOBAL loaded = LoadResource(instance, resource);
    return loaded != nullptr ? LockResource(loaded) : nullptr;
#else
    (void)instance;
    (void)id;
    return nullptr;
#endif
}

std::string GridText(const render::Screen& grid) {
    std::string out;
    for (int row = 0; row < grid.rows; ++row) {
        std::string line;
        for (int column = 0; column < grid.columns; ++column) {
            const render::Cell& cell = grid.At(column, row);
            if (cell.attr & render::kAttrWideTail) continue;
            kernel::AppendScalarAsUtf8(cell.ch == 0 ? U' ' : cell.ch, line);
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        if (row > 0) out += '\n';
        out += line;
    }
    return out;
}

render::Screen ScreenGrid() {
    user::EnsureRendererLink();
    return render::ComposeScreen();
}

std::string ScreenText() {
    return GridText(ScreenGrid());
}

render::Screen WindowGrid(HWND hwnd) {
    render::Screen grid;
    user::Window* window = user::FromHandle(hwnd);
    if (window == nullptr) return grid;
    render::CellRect cells = user::WindowScreenCells(window);
    grid.columns = cells.Width();
    grid.rows = cells.Height();
    grid.cells.assign(static_cast<size_t>(grid.columns) * static_cast<size_t>(grid.rows),
                      render::Cell{});
    render::Canvas canvas(&grid);
    if (window->parent == nullptr) {
        render::Layer layer = user::LayerOf(window);
        layer.rect = render::CellRect{0, 0, grid.columns, grid.rows};
        render::DrawLayer(layer, canvas);
    } else {
        user::PaintTree(window, canvas);
    }
    return grid;
}

std::string WindowText(HWND hwnd) {
    return GridText(WindowGrid(hwnd));
}

RECT WindowCells(HWND hwnd) {
    user::Window* window = user::FromHandle(hwnd);
    if (window == nullptr) return RECT{};
    render::CellRect cells = user::WindowScreenCells(window);
    return RECT{cells.left, cells.top, cells.right, cells.bottom};
}

void PressKey(render::Key key, unsigned modifiers) {
    user::EnsureRendererLink();
    render::FeedKey(key, modifiers);
    AfterInput();
}

void TypeText(const char16_t* text) {
    user::EnsureRendererLink();
    size_t n = 0;
    while (text != nullptr && text[n] != 0) ++n;
    render::FeedText(text, n);
    AfterInput();
}

void PressAlt(char16_t letter) {
    user::EnsureRendererLink();
    render::FeedChar(letter, render::kModAlt);
    AfterInput();
}

void ClickCell(int column, int row) {
    user::EnsureRendererLink();
    render::FeedClick(column, row);
    AfterInput();
}

void ClickWindow(HWND hwnd) {
    user::Window* window = user::FromHandle(hwnd);
    if (window == nullptr) return;
    render::CellRect cells = window->parent == nullptr ? user::ClientScreenCells(window)
                                                       : user::WindowScreenCells(window);
    ClickCell(cells.left + (cells.Width() - 1) / 2, cells.top + (cells.Height() - 1) / 2);
}

void ClickCloseBox(HWND hwnd) {
    user::Window* window = user::FromHandle(hwnd);
    if (window == nullptr) return;
    render::CellRect box = render::CloseBoxCells(user::TopLevelCells(window));
    ClickCell(box.left + 1, box.top);
}

int Pump() {
    if (gInDriver > 0) return 0;
    int count = 0;
    MSG msg;
    while (count < kMaxPumpedMessages && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ++count;
        if (msg.message == WM_QUIT) {
            // The quit message stays for the caller's own loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return count;
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        Pump();
        if (done()) return true;
        auto elapsed = std::chrono::steady_clock::now() - start;
        if (std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() >= timeoutMs)
            return false;
        user::CurrentQueue(true)->Wait(kPumpWaitMs, -1);
    }
}

void SetClipboardText(const char16_t* text) {
    std::lock_guard<std::mutex> lock(gLock);
    gClipboardHooked = true;
    gClipboardPresent = text != nullptr;
    gClipboardText = text != nullptr ? std::u16string(text) : std::u16string();
}

void UseDesktopClipboard() {
    std::lock_guard<std::mutex> lock(gLock);
    gClipboardHooked = false;
}

void SetTickCount(DWORD ticks) {
    kernel::TestFreezeTickCount(ticks);
    user::WakeAllQueues();
}

void AdvanceTickCount(DWORD milliseconds) {
    kernel::TestAdvanceTickCount(milliseconds);
    user::WakeAllQueues();
}

void UseRealTime() {
    kernel::TestResetTickCount();
    user::WakeAllQueues();
}

std::vector<UINT> Beeps() {
    std::lock_guard<std::mutex> lock(gLock);
    return gBeeps;
}

} // namespace qb::test
