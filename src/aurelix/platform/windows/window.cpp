#include "aurelix/platform/windows/window.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>

#include "aurelix/platform/windows/message_queue.h"
#include "aurelix/platform/windows/window_registry.h"

namespace aurelix::platform {
namespace {

struct WindowRecord {
    std::thread::id owner;
    std::shared_ptr<detail::MessageQueue> queue;
    WindowProc procedure;
    std::string text;
    void* userData = nullptr;
};

// Windows are spread over shards by handle, each with its own lock: engines on different
// threads send and post to their own windows without meeting on one process-wide mutex.
struct alignas(64) Shard {
    std::mutex mutex;
    std::unordered_map<HWND, WindowRecord> windows;
};

struct Registry {
    static constexpr size_t kShards = 64;
    std::array<Shard, kShards> shards;
    std::atomic<HWND> lastHandle{0};

    Shard& Of(HWND window) { return shards[window % kShards]; }
};

// Never destroyed: threads that outlive main may still post.
Registry& Windows() {
    static auto* registry = new Registry();
    return *registry;
}

// The record of a window the calling thread owns, or nullptr. Caller holds the shard's
// mutex.
WindowRecord* OwnedRecord(Shard& shard, HWND window) {
    auto found = shard.windows.find(window);
    if (found == shard.windows.end() || found->second.owner != std::this_thread::get_id()) {
        return nullptr;
    }
    return &found->second;
}

// A fresh handle, never one handed out before; 0 once all are used.
HWND NewHandle(Registry& registry) {
    HWND last = registry.lastHandle.load();
    do {
        if (last == UINT32_MAX)
            return 0;
    } while (!registry.lastHandle.compare_exchange_weak(last, last + 1));
    return last + 1;
}

}  // namespace

HWND CreateMessageWindow(WindowProc procedure) {
    if (procedure == nullptr)
        return 0;
    auto queue = detail::ThisThreadQueue();
    Registry& registry = Windows();
    const HWND window = NewHandle(registry);
    if (window == 0)
        return 0;
    Shard& shard = registry.Of(window);
    std::lock_guard lock(shard.mutex);
    shard.windows.emplace(window,
                          WindowRecord{std::this_thread::get_id(), queue, procedure, {}, nullptr});
    return window;
}

bool DestroyWindow(HWND window) {
    Shard& shard = Windows().Of(window);
    std::lock_guard lock(shard.mutex);
    WindowRecord* record = OwnedRecord(shard, window);
    if (record == nullptr)
        return false;
    record->queue->DropMessagesFor(window);
    shard.windows.erase(window);
    return true;
}

void detail::DestroyWindowsOf(const MessageQueue& queue) {
    for (Shard& shard : Windows().shards) {
        std::lock_guard lock(shard.mutex);
        std::erase_if(shard.windows,
                      [&queue](const auto& entry) { return entry.second.queue.get() == &queue; });
    }
}

bool IsWindow(HWND window) {
    Shard& shard = Windows().Of(window);
    std::lock_guard lock(shard.mutex);
    return shard.windows.contains(window);
}

WindowProc SetWindowLongA(HWND window, int index, WindowProc newProcedure) {
    if (index != GWL_WNDPROC || newProcedure == nullptr)
        return nullptr;
    Shard& shard = Windows().Of(window);
    std::lock_guard lock(shard.mutex);
    WindowRecord* record = OwnedRecord(shard, window);
    if (record == nullptr)
        return nullptr;
    return std::exchange(record->procedure, newProcedure);
}

void SetWindowUserData(HWND window, void* data) {
    Shard& shard = Windows().Of(window);
    std::lock_guard lock(shard.mutex);
    auto found = shard.windows.find(window);
    if (found != shard.windows.end())
        found->second.userData = data;
}

void* GetWindowUserData(HWND window) {
    Shard& shard = Windows().Of(window);
    std::lock_guard lock(shard.mutex);
    auto found = shard.windows.find(window);
    return found == shard.windows.end() ? nullptr : found->second.userData;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Shard& shard = Windows().Of(window);
    std::lock_guard lock(shard.mutex);
    auto found = shard.windows.find(window);
    if (found == shard.windows.end())
        return 0;
    std::string& text = found->second.text;
    switch (message) {
        case WM_SETTEXT: {
            const auto* newText = reinterpret_cast<const char*>(lParam);
            text = newText == nullptr ? "" : newText;
            return 1;
        }
        case WM_GETTEXT: {
            auto* buffer = reinterpret_cast<char*>(lParam);
            if (buffer == nullptr || wParam == 0)
                return 0;
            size_t copied = std::min<size_t>(text.size(), wParam - 1);
            std::memcpy(buffer, text.data(), copied);
            buffer[copied] = '\0';
            return static_cast<LRESULT>(copied);
        }
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(text.size());
        default:
            return 0;
    }
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowProc procedure = nullptr;
    {
        Shard& shard = Windows().Of(window);
        std::lock_guard lock(shard.mutex);
        WindowRecord* record = OwnedRecord(shard, window);
        if (record == nullptr)
            return 0;
        procedure = record->procedure;
    }
    return procedure(window, message, wParam, lParam);
}

bool PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Shard& shard = Windows().Of(window);
    // Posting under the shard's lock means DestroyWindow cannot miss a message in flight.
    std::lock_guard lock(shard.mutex);
    auto found = shard.windows.find(window);
    if (found == shard.windows.end())
        return false;
    found->second.queue->Post(window, message, wParam, lParam);
    return true;
}

bool PostThreadTask(HWND window, ThreadTask task, LPARAM context) {
    Shard& shard = Windows().Of(window);
    std::lock_guard lock(shard.mutex);
    auto found = shard.windows.find(window);
    if (found == shard.windows.end())
        return false;
    found->second.queue->PostTask(task, context);
    return true;
}

void WakeMessageLoop(HWND anyWindowOfThatThread) {
    Shard& shard = Windows().Of(anyWindowOfThatThread);
    std::lock_guard lock(shard.mutex);
    auto found = shard.windows.find(anyWindowOfThatThread);
    if (found != shard.windows.end())
        found->second.queue->Wake();
}

}  // namespace aurelix::platform
