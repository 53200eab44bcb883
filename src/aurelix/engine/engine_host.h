#pragma once

#include "aurelix/platform/windows/label.h"
#include "aurelix/platform/windows/text_box.h"
#include "aurelix/platform/windows/ui_timer.h"
#include "aurelix/platform/windows/window.h"

namespace aurelix::engine {

// The hidden form a clsAurel creates for itself when no control hosts it: the three
// message windows, the timer and the lamp that the engine otherwise borrows from the
// control, so that a standalone engine works on any thread that runs a message loop.
class EngineHost {
  public:
    EngineHost();
    ~EngineHost();
    EngineHost(const EngineHost&) = delete;
    EngineHost& operator=(const EngineHost&) = delete;

    platform::HWND hwnd() const noexcept { return window_; }
    void Hide() noexcept { visible_ = false; }
    bool Visible() const noexcept { return visible_; }

    platform::UiTimer Timer1;
    platform::Label lSub;
    platform::TextBox txtMsg;
    platform::TextBox txtSub;
    platform::TextBox txtTim;

  private:
    platform::HWND window_ = 0;
    bool visible_ = true;
};

}  // namespace aurelix::engine
