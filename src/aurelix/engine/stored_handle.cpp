#include "aurelix/engine/stored_handle.h"

#include <atomic>
#include <charconv>

#include "aurelix/platform/runtime/message_box.h"
#include "aurelix/platform/runtime/process_identity.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/storage/settings_store.h"

namespace aurelix::engine {
namespace {

constexpr const char* kApplication = "AurelyxOCX";
constexpr const char* kKey = "LastHandle";
constexpr const char* kOwnerKey = "LastHandleOwner";

void ReportStoreFailureOnce(const platform::RuntimeError& error) {
    static std::atomic<bool> reported{false};
    if (reported.exchange(true)) {
        return;
    }
    platform::MsgBox("The device handle cannot be remembered for recovery (error " +
                         std::to_string(error.Number()) + ": " + error.Description() +
                         "); capture goes on without it.",
                     platform::kMsgBoxInformation, "Aurelix settings");
}

}  // namespace

uint32_t ReadStoredHandle(const std::string& section) {
    const std::string text = platform::GetSetting(kApplication, section, kKey, "0");
    int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || value < INT32_MIN || value > UINT32_MAX) {
        return 0;
    }
    return static_cast<uint32_t>(value);
}

uint32_t OrphanedStoredHandle(const std::string& section) {
    // The handle first: a writer replaces both keys at once, so an owner read after it is
    // the handle's own owner or a later (just now running) one, never an older one.
    const uint32_t handle = ReadStoredHandle(section);
    const std::string owner = platform::GetSetting(kApplication, section, kOwnerKey);
    if (handle == 0 || (!owner.empty() && platform::ProcessIsRunning(owner))) {
        return 0;
    }
    return handle;
}

void StoreHandle(const std::string& section, uint32_t handle) {
    try {
        platform::SaveSettings(kApplication, section,
                               {{kKey, std::to_string(static_cast<int32_t>(handle))},
                                {kOwnerKey, platform::ThisProcessIdentity()}});
    } catch (const platform::RuntimeError& error) {
        ReportStoreFailureOnce(error);
    }
}

}  // namespace aurelix::engine
