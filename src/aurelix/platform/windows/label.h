#pragma once

#include <cstdint>
#include <functional>

namespace aurelix::platform {

// The status lamp: a label whose background colour (0x00BBGGRR) is set and repainted by
// the library. Hosts that draw it observe Refresh.
class Label {
  public:
    int32_t BackColor() const noexcept { return backColor_; }
    void BackColor(int32_t colour) noexcept { backColor_ = colour; }
    void Refresh() {
        ++refreshCount_;
        if (onRefresh_)
            onRefresh_(backColor_);
    }
    int64_t RefreshCount() const noexcept { return refreshCount_; }
    void OnRefresh(std::function<void(int32_t colour)> handler) { onRefresh_ = std::move(handler); }

    void Move(int32_t left, int32_t top, int32_t width, int32_t height) noexcept {
        left_ = left;
        top_ = top;
        width_ = width;
        height_ = height;
    }
    int32_t Left() const noexcept { return left_; }
    int32_t Top() const noexcept { return top_; }
    int32_t Width() const noexcept { return width_; }
    int32_t Height() const noexcept { return height_; }

  private:
    int32_t backColor_ = 0;
    int64_t refreshCount_ = 0;
    int32_t left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    std::function<void(int32_t)> onRefresh_;
};

// 24-bit colour value red + 256 green + 65536 blue.
constexpr int32_t RGB(int32_t red, int32_t green, int32_t blue) {
    return red + 256 * green + 65536 * blue;
}

}  // namespace aurelix::platform
