#include "aurelix/platform/runtime/message_box.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace aurelix::platform {
namespace {

struct HandlerSlot {
    std::mutex mutex;
    MessageBoxHandler handler;  // empty: the default
};

HandlerSlot& Slot() {
    static HandlerSlot slot;
    return slot;
}

// A headless process has nobody to click a button: one line on stderr, line breaks of
// the text (error chains carry CR LF) folded into single blanks.
void WriteToStderr(const std::string& text, const std::string& title) {
    std::string line = title + ": ";
    bool inBreak = false;
    for (const char c : text) {
        const bool isBreak = c == '\r' || c == '\n';
        if (!isBreak) {
            line.push_back(c);
        } else if (!inBreak) {
            line.push_back(' ');
        }
        inBreak = isBreak;
    }
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

}  // namespace

void MsgBox(const std::string& text, int32_t style, const std::string& title) {
    MessageBoxHandler handler;
    {
        std::lock_guard lock(Slot().mutex);
        handler = Slot().handler;
    }
    // Called outside the lock: a handler may replace the handler or show another box.
    if (handler) {
        handler(text, style, title);
    } else {
        WriteToStderr(text, title);
    }
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard lock(Slot().mutex);
    return std::exchange(Slot().handler, std::move(handler));
}

}  // namespace aurelix::platform
