#include "aurelix/platform/storage/settings_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "aurelix/platform/runtime/message_box.h"
#include "support/captured_messages.h"
#include "support/caught_error.h"
#include "support/temp_folder.h"

namespace aurelix::platform {
namespace {

namespace fs = std::filesystem;
using testing::FileBytes;
using testing::ScopedEnvironment;
using testing::TempFolder;

// Every test gets its own settings home, and a message box that records instead of
// printing.
class SettingsStore : public ::testing::Test {
  protected:
    std::string Folder() const { return home_ / "aurelix"; }
    std::string File() const { return Folder() + "/settings.ini"; }
    void WriteFile(const std::string& text) const {
        fs::create_directories(Folder());
        std::ofstream(File(), std::ios::binary) << text;
    }
    std::vector<fs::path> SetAsideFiles() const {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(Folder())) {
            if (entry.path().filename().string().starts_with("settings.ini.unreadable-")) {
                found.push_back(entry.path());
            }
        }
        return found;
    }

    TempFolder home_;
    ScopedEnvironment configHome_{"XDG_CONFIG_HOME", home_.Path()};
    testing::CapturedMessages captured_;
    std::vector<std::string>& messages_ = captured_.shown;
};

TEST_F(SettingsStore, KeepsValuesPerApplicationSectionAndKey) {
    EXPECT_EQ(GetSetting("AurelyxOCX", "WaveInDevices", "LastHandle", "0"), "0");
    SaveSetting("AurelyxOCX", "WaveInDevices", "LastHandle", "305419896");
    SaveSetting("AurelyxOCX", "WaveOutDevices", "LastHandle", "42");
    SaveSetting("AurelyxOCX", "WaveInDevices", "LastHandle", "7");
    EXPECT_EQ(GetSetting("AurelyxOCX", "WaveInDevices", "LastHandle", "0"), "7");
    EXPECT_EQ(GetSetting("AurelyxOCX", "WaveOutDevices", "LastHandle", "0"), "42");
    EXPECT_EQ(GetSetting("AurelyxOCX", "WaveOutDevices", "lasthandle"), "");
    EXPECT_EQ(GetSetting("Other", "WaveInDevices", "LastHandle", "none"), "none");

    const std::string text = FileBytes(File());
    EXPECT_NE(text.find("[AurelyxOCX\\WaveInDevices]\nLastHandle=7\n"), std::string::npos) << text;
    EXPECT_TRUE(messages_.empty());
}

TEST_F(SettingsStore, AwkwardNamesAndValuesComeBackExactly) {
    const std::vector<std::string> awkward = {
        "a=b",         "line\nbreak\r\n",   "100%",
        "back\\slash", "[bracket]",         "#hash",
        ";semi",       " padded ",          "",
        "tab\there",   "\xC3\xA9t\xC3\xA9", std::string("nul\0byte", 8),
    };
    for (size_t i = 0; i < awkward.size(); ++i) {
        SaveSetting(awkward[i], awkward[(i + 1) % awkward.size()],
                    awkward[(i + 2) % awkward.size()], awkward[(i + 3) % awkward.size()]);
    }
    for (size_t i = 0; i < awkward.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(GetSetting(awkward[i], awkward[(i + 1) % awkward.size()],
                             awkward[(i + 2) % awkward.size()], "missing"),
                  awkward[(i + 3) % awkward.size()]);
    }
}

TEST_F(SettingsStore, HandEditedFileReads) {
    WriteFile(
        "; edited by hand\r\n"
        "[AurelyxOCX\\WaveInDevices]\r\n"
        "  LastHandle = 12 \r\n"
        "\r\n"
        "# another comment\n"
        "[AurelyxOCX\\WaveOutDevices]\n"
        "LastHandle=%2013%20\n");
    EXPECT_EQ(GetSetting("AurelyxOCX", "WaveInDevices", "LastHandle"), "12");
    EXPECT_EQ(GetSetting("AurelyxOCX", "WaveOutDevices", "LastHandle"), " 13 ");
    SaveSetting("AurelyxOCX", "WaveInDevices", "Other", "x");
    EXPECT_EQ(GetSetting("AurelyxOCX", "WaveOutDevices", "LastHandle"), " 13 ");
    EXPECT_TRUE(messages_.empty());
}

TEST_F(SettingsStore, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kKeysPerProcess = 200;
    std::vector<pid_t> children;
    for (const char* writer : {"first", "second"}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int status = 0;
            try {
                for (int i = 0; i < kKeysPerProcess; ++i) {
                    SaveSetting("AurelyxOCX", writer, "Key" + std::to_string(i),
                                std::to_string(i * 7));
                }
            } catch (...) {
                status = 1;
            }
            _exit(status);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = -1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    int present = 0;
    for (const char* writer : {"first", "second"}) {
        for (int i = 0; i < kKeysPerProcess; ++i) {
            present += GetSetting("AurelyxOCX", writer, "Key" + std::to_string(i)) ==
                       std::to_string(i * 7);
        }
    }
    EXPECT_EQ(present, 2 * kKeysPerProcess);
    EXPECT_TRUE(SetAsideFiles().empty());
    for (const auto& entry : fs::directory_iterator(Folder())) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos);
    }
}

TEST_F(SettingsStore, UnparseableFileReadsAsDefaultsAndIsKeptAside) {
    const std::string garbage =
        "[AurelyxOCX\\WaveInDevices]\nLastHandle=5\nthis is not a setting\n";
    WriteFile(garbage);
    EXPECT_EQ(GetSetting("AurelyxOCX", "WaveInDevices", "LastHandle", "0"), "0");
    EXPECT_EQ(FileBytes(File()), garbage);  // reading changes nothing
    EXPECT_TRUE(messages_.empty());

    SaveSetting("AurelyxOCX", "WaveInDevices", "LastHandle", "9");
    const auto aside = SetAsideFiles();
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(FileBytes(aside[0]), garbage);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find(aside[0].string()), std::string::npos) << messages_[0];
    EXPECT_NE(messages_[0].find("line 3"), std::string::npos) << messages_[0];
    EXPECT_EQ(GetSetting("AurelyxOCX", "WaveInDevices", "LastHandle", "0"), "9");

    SaveSetting("AurelyxOCX", "WaveInDevices", "LastHandle", "10");
    EXPECT_EQ(messages_.size(), 1u);
    EXPECT_EQ(SetAsideFiles().size(), 1u);
}

TEST_F(SettingsStore, SettingsFileThatIsAFolderIsMovedAsideWhole) {
    fs::create_directories(File());
    std::ofstream(File() + "/keep.txt") << "precious";
    EXPECT_EQ(GetSetting("AurelyxOCX", "WaveInDevices", "LastHandle", "0"), "0");
    SaveSetting("AurelyxOCX", "WaveInDevices", "LastHandle", "3");
    EXPECT_EQ(GetSetting("AurelyxOCX", "WaveInDevices", "LastHandle", "0"), "3");
    const auto aside = SetAsideFiles();
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(FileBytes(aside[0].string() + "/keep.txt"), "precious");
    EXPECT_EQ(messages_.size(), 1u);
}

}  // namespace
}  // namespace aurelix::platform
