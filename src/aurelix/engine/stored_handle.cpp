#include "aurelix/engine/stored_handle.h"

#include <charconv>

#include "aurelix/platform/storage/settings_store.h"

namespace aurelix::engine {
namespace {

constexpr const char* kApplication = "AurelyxOCX";
constexpr const char* kKey = "LastHandle";

}  // namespace

uint32_t ReadStoredHandle(const std::string& section) {
    const std::string text = platform::GetSetting(kApplication, section, kKey, "0");
    // Handles are 32-bit; older values may have been written as signed numbers.
    int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || value < INT32_MIN || value > UINT32_MAX) {
        return 0;
    }
    return static_cast<uint32_t>(value);
}

void StoreHandle(const std::string& section, uint32_t handle) {
    platform::SaveSetting(kApplication, section, kKey, std::to_string(handle));
}

}  // namespace aurelix::engine
