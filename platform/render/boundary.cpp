#include "platform/render/boundary.h"

#include <atomic>
#include <mutex>
#include <thread>

#include "platform/render/cell_text.h"

namespace qb::render {

namespace {

constexpr int kDefaultColumns = 80;
constexpr int kDefaultRows = 25;
constexpr int kMaxCells = 1000; // per side; a bigger terminal is shown in part

std::atomic<const internal::InputSink*> gSink{nullptr};
std::atomic<int> gColumns{kDefaultColumns};
std::atomic<int> gRows{kDefaultRows};
std::atomic<bool> gChanged{true};

std::mutex gRendererLock;
Renderer* gRenderer = nullptr;
std::thread::id gRendererThread;
std::atomic<std::thread::id> gRendererThreadFast{};

const internal::InputSink* Sink() {
    return gSink.load(std::memory_order_acquire);
}

} // namespace

namespace internal {

void SetInputSink(const InputSink* sink) {
    gSink.store(sink, std::memory_order_release);
}

void MarkScreenChanged() {
    if (!gChanged.exchange(true, std::memory_order_acq_rel)) {
        if (RendererAttached())
            if (const InputSink* sink = Sink()) sink->wake();
    }
}

bool MaybeRendererThread() {
    return gRendererThreadFast.load(std::memory_order_acquire) == std::this_thread::get_id();
}

Renderer* RendererOfThisThread() {
    if (!MaybeRendererThread()) return nullptr;
    std::lock_guard<std::mutex> lock(gRendererLock);
    if (gRenderer != nullptr && gRendererThread == std::this_thread::get_id()) return gRenderer;
    return nullptr;
}

bool RendererAttached() {
    std::lock_guard<std::mutex> lock(gRendererLock);
    return gRenderer != nullptr;
}

void FlushScreenChanged() {
    if (!MaybeRendererThread()) return;
    Renderer* renderer = RendererOfThisThread();
    if (renderer == nullptr) return;
    if (gChanged.exchange(false, std::memory_order_acq_rel)) renderer->ScreenChanged();
}

void RendererBeep() {
    if (Renderer* renderer = RendererOfThisThread()) renderer->Beep();
}

} // namespace internal

Screen ComposeScreen() {
    Screen screen;
    screen.columns = ScreenColumns();
    screen.rows = ScreenRows();
    screen.cells.assign(static_cast<size_t>(screen.columns) * static_cast<size_t>(screen.rows),
                        Cell{});
    if (const internal::InputSink* sink = Sink()) sink->compose(&screen);
    return screen;
}

int ScreenColumns() {
    return gColumns.load(std::memory_order_relaxed);
}
int ScreenRows() {
    return gRows.load(std::memory_order_relaxed);
}

bool AnyWindowVisible() {
    const internal::InputSink* sink = Sink();
    return sink != nullptr && sink->anyVisible();
}

void SetRenderer(Renderer* renderer) {
    {
        std::lock_guard<std::mutex> lock(gRendererLock);
        gRenderer = renderer;
        gRendererThread = std::this_thread::get_id();
        gRendererThreadFast.store(renderer != nullptr ? gRendererThread : std::thread::id{},
                                  std::memory_order_release);
    }
    if (renderer != nullptr) {
        gChanged.store(false, std::memory_order_release);
        renderer->ScreenChanged();
    }
}

Renderer* GetRenderer() {
    std::lock_guard<std::mutex> lock(gRendererLock);
    return gRenderer;
}

void Wake() {
    if (const internal::InputSink* sink = Sink()) sink->wake();
}

void FeedKey(Key key, unsigned modifiers) {
    if (const internal::InputSink* sink = Sink()) sink->key(key, modifiers);
}

void FeedText(const char16_t* text, size_t length) {
    if (text == nullptr) return;
    for (size_t i = 0; i < length; ++i) FeedChar(text[i], kModNone);
}

void FeedPaste(const char16_t* text, size_t length) {
    if (text == nullptr) return;
    if (const internal::InputSink* sink = Sink()) sink->paste(text, length);
}

void FeedChar(char16_t ch, unsigned modifiers) {
    if (const internal::InputSink* sink = Sink()) sink->character(ch, modifiers);
}

void FeedClick(int column, int row) {
    if (const internal::InputSink* sink = Sink()) sink->click(column, row);
}

void FeedCloseActive() {
    if (const internal::InputSink* sink = Sink()) sink->closeActive();
}

void FeedResize(int columns, int rows) {
    if (columns < 1) columns = 1;
    if (rows < 1) rows = 1;
    if (columns > kMaxCells) columns = kMaxCells;
    if (rows > kMaxCells) rows = kMaxCells;
    const int oldColumns = gColumns.exchange(columns, std::memory_order_relaxed);
    const int oldRows = gRows.exchange(rows, std::memory_order_relaxed);
    if (const internal::InputSink* sink = Sink()) sink->resized(oldColumns, oldRows);
    internal::MarkScreenChanged();
}

} // namespace qb::render
