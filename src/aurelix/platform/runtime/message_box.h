#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace aurelix::platform {

inline constexpr int32_t kMsgBoxCritical = 16;
inline constexpr int32_t kMsgBoxInformation = 64;

using MessageBoxHandler =
    std::function<void(const std::string& text, int32_t style, const std::string& title)>;

// Shows a message. The default handler writes one line to stderr and never blocks.
void MsgBox(const std::string& text, int32_t style, const std::string& title);
// Replaces the handler (an empty one restores the default); returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace aurelix::platform
