#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "aurelix/platform/storage/settings_store.h"
#include "support/caught_error.h"

namespace aurelix::platform {
namespace {

std::string SettingsFolder() {
    return std::string(std::getenv("XDG_CONFIG_HOME")) + "/aurelix";
}

// A writer stuck with the lock makes a save fail with the lock named, not wait forever.
TEST(SettingsStoreGuard, LockHeldTooLongFailsTheSave) {
    std::filesystem::create_directories(SettingsFolder());
    const std::string lockPath = SettingsFolder() + "/settings.ini.lock";
    const int holder = ::open(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    auto save = std::async(std::launch::async, [] {
        return aurelix::testing::CaughtError([] { SaveSetting("App", "Section", "Key", "value"); });
    });
    const bool ended = save.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    ::close(holder);  // lets a save that waited without limit end, too
    ASSERT_TRUE(ended) << "the save waited for the lock without limit";
    const auto error = save.get();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), 75);
    EXPECT_NE(error->Description().find(lockPath + " (held by another writer"), std::string::npos)
        << error->Description();
    EXPECT_EQ(GetSetting("App", "Section", "Key", "none"), "none");
}

// A settings file kept elsewhere behind a symbolic link stays linked after a save.
TEST(SettingsStoreGuard, SymlinkedFileStaysALink) {
    std::filesystem::create_directories(SettingsFolder());
    const std::string target = std::string(std::getenv("XDG_CONFIG_HOME")) + "/kept.ini";
    const std::string link = SettingsFolder() + "/settings.ini";
    std::filesystem::remove(link);
    std::filesystem::create_symlink(target, link);
    SaveSetting("App", "Section", "Key", "first");
    SaveSetting("App", "Section", "Key", "second");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(GetSetting("App", "Section", "Key"), "second");
    EXPECT_GT(std::filesystem::file_size(target), 0u);
    std::filesystem::remove(link);
}

}  // namespace
}  // namespace aurelix::platform
