#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "aurelix/platform/runtime/message_box.h"

namespace aurelix::testing {

// Message boxes shown while the object lives, as "title|style|text", instead of printed.
class CapturedMessages {
  public:
    CapturedMessages() = default;
    ~CapturedMessages() { platform::SetMessageBoxHandler(previous_); }
    CapturedMessages(const CapturedMessages&) = delete;
    CapturedMessages& operator=(const CapturedMessages&) = delete;

    std::vector<std::string> shown;

  private:
    platform::MessageBoxHandler previous_ = platform::SetMessageBoxHandler(
        [this](const std::string& text, int32_t style, const std::string& title) {
            shown.push_back(title + "|" + std::to_string(style) + "|" + text);
        });
};

}  // namespace aurelix::testing
