#include "aurelix/platform/windows/window.h"

#include <algorithm>
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

struct Registry {
    std::mutex mutex;
    std::unordered_map<HWND, WindowRecord> windows;
    HWND lastHandle = 0;
};

// Never destroyed: threads that outlive main may still post.
Registry& Windows() {
    static auto* registry = new Registry();
    return *registry;
}

// The record of a window the calling thread owns, or nullptr. Caller holds the mutex.
WindowRecord* OwnedRecord(Registry& registry, HWND window) {
    auto found = registry.windows.find(window);
    if (found == registry.windows.end() || found->second.owner != std::this_thread::get_id()) {
        return nullptr;
    }
    return &found->second;
}

}  // namespace

HWND CreateMessageWindow(WindowProc procedure) {
    if (procedure == nullptr)
        return 0;
    auto queue = detail::ThisThreadQueue();
    Registry& registry = Windows();
    std::lock_guard lock(registry.mutex);
    if (registry.lastHandle == UINT32_MAX)
        return 0;
    HWND window = ++registry.lastHandle;
    registry.windows.emplace(
        window, WindowRecord{std::this_thread::get_id(), queue, procedure, {}, nullptr});
    return window;
}

bool DestroyWindow(HWND window) {
    Registry& registry = Windows();
    std::lock_guard lock(registry.mutex);
    WindowRecord* record = OwnedRecord(registry, window);
    if (record == nullptr)
        return false;
    record->queue->DropMessagesFor(window);
    registry.windows.erase(window);
    return true;
}

void detail::DestroyWindowsOf(const MessageQueue& queue) {
    Registry& registry = Windows();
    std::lock_guard lock(registry.mutex);
    std::erase_if(registry.windows,
                  [&queue](const auto& entry) { return entry.second.queue.get() == &queue; });
}

bool IsWindow(HWND window) {
    Registry& registry = Windows();
    std::lock_guard lock(registry.mutex);
    return registry.windows.contains(window);
}

WindowProc SetWindowLongA(HWND window, int index, WindowProc newProcedure) {
    if (index != GWL_WNDPROC || newProcedure == nullptr)
        return nullptr;
    Registry& registry = Windows();
    std::lock_guard lock(registry.mutex);
    WindowRecord* record = OwnedRecord(registry, window);
    if (record == nullptr)
        return nullptr;
    return std::exchange(record->procedure, newProcedure);
}

void SetWindowUserData(HWND window, void* data) {
    Registry& registry = Windows();
    std::lock_guard lock(registry.mutex);
    auto found = registry.windows.find(window);
    if (found != registry.windows.end())
        found->second.userData = data;
}

void* GetWindowUserData(HWND window) {
    Registry& registry = Windows();
    std::lock_guard lock(registry.mutex);
    auto found = registry.windows.find(window);
    return found == registry.windows.end() ? nullptr : found->second.userData;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Registry& registry = Windows();
    std::lock_guard lock(registry.mutex);
    auto found = registry.windows.find(window);
    if (found == registry.windows.end())
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
        Registry& registry = Windows();
        std::lock_guard lock(registry.mutex);
        WindowRecord* record = OwnedRecord(registry, window);
        if (record == nullptr)
            return 0;
        procedure = record->procedure;
    }
    return procedure(window, message, wParam, lParam);
}

bool PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Registry& registry = Windows();
    // Posting under the registry lock means DestroyWindow cannot miss a message in flight.
    std::lock_guard lock(registry.mutex);
    auto found = registry.windows.find(window);
    if (found == registry.windows.end())
        return false;
    found->second.queue->Post(window, message, wParam, lParam);
    return true;
}

bool PostThreadTask(HWND window, ThreadTask task, LPARAM context) {
    Registry& registry = Windows();
    std::lock_guard lock(registry.mutex);
    auto found = registry.windows.find(window);
    if (found == registry.windows.end())
        return false;
    found->second.queue->PostTask(task, context);
    return true;
}

void WakeMessageLoop(HWND anyWindowOfThatThread) {
    Registry& registry = Windows();
    std::lock_guard lock(registry.mutex);
    auto found = registry.windows.find(anyWindowOfThatThread);
    if (found != registry.windows.end())
        found->second.queue->Wake();
}

}  // namespace aurelix::platform
