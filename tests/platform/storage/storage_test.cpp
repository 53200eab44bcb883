#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "aurelix/platform/runtime/message_box.h"
#include "aurelix/platform/storage/file_io.h"
#include "aurelix/platform/storage/property_bag.h"
#include "aurelix/platform/storage/settings_store.h"
#include "support/captured_messages.h"
#include "support/caught_error.h"
#include "support/temp_folder.h"

namespace aurelix::platform {
namespace {

namespace fs = std::filesystem;
using testing::CaughtError;
using testing::ErrorNumberOf;
using testing::FileBytes;
using testing::ScopedEnvironment;
using testing::TempFolder;

void Create(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

class FileIo : public ::testing::Test {
  protected:
    void TearDown() override { FileCloseAll(); }
    TempFolder folder_;
};

TEST_F(FileIo, PositionsStartAtOneAndFollowReadsAndWrites) {
    const std::string path = folder_ / "data.bin";
    const int32_t number = FreeFile();
    FileOpen(number, path, FileMode::Binary);
    EXPECT_EQ(FileSeek(number), 1);
    EXPECT_EQ(FileLength(number), 0);

    FileWrite(number, "abcdef", 6);
    EXPECT_EQ(FileSeek(number), 7);
    FileWriteAt(number, 2, "XY", 2);
    EXPECT_EQ(FileSeek(number), 4);  // just behind the bytes written at 2

    FileSeek(number, 3);
    std::array<char, 3> three{};
    EXPECT_EQ(FileRead(number, three.data(), 3), 3u);
    EXPECT_EQ(std::string(three.data(), 3), "Yde");
    EXPECT_EQ(FileSeek(number), 6);
    EXPECT_EQ(FileLength(number), 6);
    FileClose(number);
    EXPECT_EQ(FileBytes(path), "aXYdef");
    EXPECT_EQ(FileLen(path), 6);
}

TEST_F(FileIo, BeyondTheEndReadsZerosAndWritesLeaveAZeroGap) {
    const std::string path = folder_ / "short.bin";
    Create(path, "xyz");
    FileOpen(1, path, FileMode::Binary);
    FileSeek(1, 2);
    std::array<char, 6> buffer;
    buffer.fill('#');
    EXPECT_EQ(FileRead(1, buffer.data(), buffer.size()), 2u);
    EXPECT_EQ(std::string(buffer.data(), buffer.size()), std::string("yz\0\0\0\0", 6));
    EXPECT_EQ(FileSeek(1), 8);

    FileSeek(1, 45);  // where the recorder puts its first sample byte
    FileWrite(1, "S", 1);
    EXPECT_EQ(FileLength(1), 45);
    FileClose(1);
    EXPECT_EQ(FileBytes(path), "xyz" + std::string(41, '\0') + "S");
}

TEST_F(FileIo, OutputEmptiesAnExistingFileAndBinaryKeepsIt) {
    const std::string path = folder_ / "take.wav";
    Create(path, "old contents");
    FileOpen(1, path, FileMode::Binary);
    EXPECT_EQ(FileLength(1), 12);
    FileClose(1);
    FileOpen(1, path, FileMode::Output);
    EXPECT_EQ(FileLength(1), 0);
    char byte;
    EXPECT_EQ(ErrorNumberOf([&] { FileRead(1, &byte, 1); }), 54);
}

TEST_F(FileIo, MisuseRaisesTheRuntimesNumbers) {
    const std::string present = folder_ / "present.bin";
    const std::string missing = folder_ / "missing.bin";
    FileOpen(5, present, FileMode::Binary);
    const struct {
        const char* what;
        std::function<void()> action;
        int32_t number;
        std::string pathInDescription;
    } cases[] = {
        {"seek on a closed number", [] { FileSeek(6); }, 52, ""},
        {"write on a closed number", [] { FileWrite(6, "x", 1); }, 52, ""},
        {"number 0", [&] { FileOpen(0, present, FileMode::Binary); }, 52, ""},
        {"number 512", [&] { FileOpen(512, present, FileMode::Binary); }, 52, ""},
        {"empty name", [] { FileOpen(6, "", FileMode::Binary); }, 52, ""},
        {"open twice", [&] { FileOpen(5, missing, FileMode::Binary); }, 55, present},
        {"length of a missing file", [&] { FileLen(missing); }, 53, missing},
        {"missing folder", [&] { FileOpen(6, folder_ / "no/such.wav", FileMode::Output); }, 53,
         folder_ / "no/such.wav"},
        {"a folder", [&] { FileOpen(6, folder_.Path(), FileMode::Binary); }, 75, folder_.Path()},
        {"position 0", [] { FileSeek(5, 0); }, 5, present},
        {"write at position 0", [] { FileWriteAt(5, 0, "x", 1); }, 5, present},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.what);
        const auto error = CaughtError(item.action);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->Number(), item.number);
        EXPECT_NE(error->Description().find(item.pathInDescription), std::string::npos)
            << error->Description();
    }
    EXPECT_FALSE(FileIsOpen(6));
    EXPECT_FALSE(std::filesystem::exists(missing));
    // Closing nothing is harmless.
    EXPECT_FALSE(CaughtError([] { FileClose(0); }));
    EXPECT_FALSE(CaughtError([] { FileClose(77); }));
}

TEST_F(FileIo, NumbersAreHandedOutLowestFirstUpTo511) {
    const std::string path = folder_ / "shared.bin";
    for (int32_t number = 1; number <= 511; ++number) {
        ASSERT_EQ(FreeFile(), number);
        FileOpen(number, path, FileMode::Binary);
    }
    EXPECT_EQ(ErrorNumberOf([] { FreeFile(); }), 67);
    FileClose(200);
    EXPECT_FALSE(FileIsOpen(200));
    EXPECT_EQ(FreeFile(), 200);
}

TEST_F(FileIo, ReadOnlyFileOpensForReadingAndRefusesWrites) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind the superuser";
    }
    const std::string path = folder_ / "readonly.wav";
    Create(path, "RIFF");
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    FileOpen(1, path, FileMode::Binary);
    std::array<char, 4> header{};
    EXPECT_EQ(FileRead(1, header.data(), 4), 4u);
    const auto error = CaughtError([] { FileWrite(1, "x", 1); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), 75);
    EXPECT_NE(error->Description().find(path), std::string::npos);
    EXPECT_EQ(FileBytes(path), "RIFF");
}

class PropertyBagFile : public ::testing::Test {
  protected:
    TempFolder folder_;
    std::string path_ = folder_ / "form.bag";
};

TEST_F(PropertyBagFile, OnlyWhatDiffersFromTheDefaultIsStoredAndComesBackAsWritten) {
    const float third = 1.0f / 3.0f;
    const std::string awkward = std::string("take \"1\"\\\n\x01\x7F\t\r", 14);
    PropertyBag saved;
    saved.WriteProperty("SpS", 48000, 44100);
    saved.WriteProperty("Bips", int16_t{16}, 16);  // the default: not stored
    saved.WriteProperty("Single", third, 0);
    saved.WriteProperty("Double", 0.1, 0);
    saved.WriteProperty("Whole", 5.0, 0);
    saved.WriteProperty("Long", -2147483647 - 1, 0);
    saved.WriteProperty("Flag", true, false);
    saved.WriteProperty("Nothing", Variant(), 1);
    saved.WriteProperty("FileName", awkward, "");
    saved.WriteProperty("Unicode", "\xC3\xA9t\xC3\xA9 # not a comment", "");
    saved.WriteProperty("Infinite", -std::numeric_limits<double>::infinity(), 0);
    saved.WriteProperty("NotANumber", std::nan(""), 0);
    EXPECT_EQ(saved.Count(), 11u);
    EXPECT_FALSE(saved.Contains("Bips"));
    saved.SaveToFile(path_);
    const std::string text = FileBytes(path_);
    EXPECT_NE(text.find("SpS = 48000\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Bips"), std::string::npos) << text;

    PropertyBag loaded;
    loaded.LoadFromFile(path_);
    EXPECT_EQ(loaded.Count(), 11u);
    EXPECT_EQ(loaded.ReadProperty("SpS", 44100).ToLong(), 48000);
    EXPECT_EQ(loaded.ReadProperty("Bips", 16).ToInteger(), 16);
    EXPECT_EQ(loaded.ReadProperty("Single", 0).ToSingle(), third);
    EXPECT_EQ(loaded.ReadProperty("Double", 0).ToDouble(), 0.1);
    EXPECT_EQ(loaded.ReadProperty("Whole", 0).Type(), VariantType::Double);
    EXPECT_EQ(loaded.ReadProperty("Long", 0).Type(), VariantType::Long);
    EXPECT_EQ(loaded.ReadProperty("Long", 0).ToLong(), -2147483647 - 1);
    EXPECT_EQ(loaded.ReadProperty("Flag", false).Type(), VariantType::Boolean);
    EXPECT_TRUE(loaded.ReadProperty("Flag", false).ToBoolean());
    EXPECT_TRUE(loaded.ReadProperty("Nothing", 1).IsEmpty());
    EXPECT_EQ(loaded.ReadProperty("FileName", "").ToString(), awkward);
    EXPECT_EQ(loaded.ReadProperty("Unicode", "").ToString(), "\xC3\xA9t\xC3\xA9 # not a comment");
    EXPECT_EQ(loaded.ReadProperty("Infinite", 0).ToDouble(),
              -std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(loaded.ReadProperty("NotANumber", 0).ToDouble()));
    EXPECT_EQ(loaded.ReadProperty("DataPointer", 0).ToLong(), 0);
}

TEST(PropertyBag, WritingTheDefaultRemovesTheValueAndBadKeysAreRefused) {
    PropertyBag bag;
    bag.WriteProperty("Threshold", 7.5f, 5);
    ASSERT_TRUE(bag.Contains("Threshold"));
    bag.WriteProperty("Threshold", 5.0f, 5);  // 5.0 equals the default 5
    EXPECT_FALSE(bag.Contains("Threshold"));
    EXPECT_EQ(bag.ReadProperty("Threshold", 5).ToSingle(), 5.0f);
    bag.WriteProperty("FileName", "", "");
    EXPECT_EQ(bag.Count(), 0u);
    bag.WriteProperty("SpS", 8000, 44100);
    for (const char* key : {"", "two words", "a=b", "#x", "line\nbreak"}) {
        EXPECT_EQ(ErrorNumberOf([&] { bag.WriteProperty(key, 1, 0); }), 5) << key;
    }
    EXPECT_EQ(bag.Count(), 1u);
}

TEST_F(PropertyBagFile, CommentsBlankLinesAndLineEndingsAreAccepted) {
    std::ofstream(path_, std::ios::binary) << "# saved by hand\r\n\r\n"
                                              "   SpS=22050   # trailing comment\r\n"
                                              "\tFileName = \"a#b\"\n"
                                              "Recording = False";
    PropertyBag bag;
    bag.LoadFromFile(path_);
    EXPECT_EQ(bag.ReadProperty("SpS", 44100).ToLong(), 22050);
    EXPECT_EQ(bag.ReadProperty("FileName", "").ToString(), "a#b");
    EXPECT_FALSE(bag.ReadProperty("Recording", true).ToBoolean());
}

TEST_F(PropertyBagFile, MalformedFileNamesFileAndLineAndLeavesTheBagAlone) {
    const struct {
        const char* text;
        int line;
        const char* problem;
    } cases[] = {
        {"# header\n\nSpS 48000\n", 3, "expected Key = value"},
        {"SpS = 1\n= 5\n", 2, "expected Key = value"},
        {"Two words = 1\n", 1, "expected Key = value"},
        {"SpS =\n", 1, "no value"},
        {"FileName = \"open\n", 1, "closing quote"},
        {"FileName = \"bad \\q escape\"\n", 1, "unknown escape"},
        {"FileName = \"\\x4\"\n", 1, "two hex digits"},
        {"SpS = 12abc\n", 1, "expected a value"},
        {"SpS = true\n", 1, "expected a value"},
        {"SpS = 1e999\n", 1, "out of range"},
        {"SpS = \"a\" \"b\"\n", 1, "unexpected text"},
        {"SpS = 1\nBips = 2\nSpS = 3\n", 3, "set twice"},
    };
    PropertyBag bag;
    bag.WriteProperty("Samples", 2048, 1024);
    for (const auto& item : cases) {
        SCOPED_TRACE(item.text);
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << item.text;
        const auto error = CaughtError([&] { bag.LoadFromFile(path_); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->Number(), 380);
        const std::string where = path_ + " line " + std::to_string(item.line) + ": ";
        EXPECT_TRUE(error->Description().starts_with(where)) << error->Description();
        EXPECT_NE(error->Description().find(item.problem), std::string::npos);
        EXPECT_EQ(bag.Count(), 1u);
        EXPECT_EQ(bag.ReadProperty("Samples", 1024).ToLong(), 2048);
    }
    // A missing file: File not found, naming it, and the bag is kept as well.
    std::filesystem::remove(path_);
    EXPECT_EQ(ErrorNumberOf([&] { bag.LoadFromFile(path_); }), 53);
    EXPECT_NE(aurelix::testing::ErrorTextOf([&] { bag.LoadFromFile(path_); }).find(path_),
              std::string::npos);
    EXPECT_EQ(bag.ReadProperty("Samples", 1024).ToLong(), 2048);
}

TEST_F(PropertyBagFile, FailedSaveLeavesNoTraceAndNoHalfFile) {
    PropertyBag bag;
    bag.WriteProperty("SpS", 8000, 44100);
    const std::string nowhere = folder_ / "missing-folder/form.bag";
    EXPECT_NE(aurelix::testing::ErrorTextOf([&] { bag.SaveToFile(nowhere); }).find(nowhere),
              std::string::npos);
    bag.SaveToFile(path_);
    bag.WriteProperty("SpS", 11025, 44100);
    bag.SaveToFile(path_);
    for (const auto& entry : std::filesystem::directory_iterator(folder_.Path())) {
        EXPECT_EQ(entry.path().string(), path_);
    }
    PropertyBag loaded;
    loaded.LoadFromFile(path_);
    EXPECT_EQ(loaded.ReadProperty("SpS", 44100).ToLong(), 11025);
}

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
