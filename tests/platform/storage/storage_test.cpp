#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <limits>
#include <string>
#include <vector>

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
using testing::TempFolder;
constexpr auto npos = std::string::npos;

void Create(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

// The description of the error that `action` raises, which must be error `number`.
std::string ErrorDescription(const std::function<void()>& action, int32_t number) {
    const auto error = CaughtError(action);
    EXPECT_TRUE(error) << "no error raised";
    EXPECT_EQ(error ? error->Number() : 0, number);
    return error ? error->Description() : "";
}

class FileIo : public ::testing::Test {
  protected:
    void TearDown() override { FileCloseAll(); }
    TempFolder folder_;
};

// Positions count from 1; reading beyond the end gives zeros and writing there leaves a
// gap of zeros, which is how the recorder places its first sample behind the header.
TEST_F(FileIo, PositionsFollowReadsAndWritesAndBeyondTheEndIsZeros) {
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
    std::array<char, 6> buffer;
    buffer.fill('#');
    EXPECT_EQ(FileRead(number, buffer.data(), buffer.size()), 4u);
    EXPECT_EQ(std::string(buffer.data(), buffer.size()), std::string("Ydef\0\0", 6));
    EXPECT_EQ(FileSeek(number), 9);
    FileSeek(number, 45);
    FileWrite(number, "S", 1);
    EXPECT_EQ(FileLength(number), 45);
    FileClose(number);
    EXPECT_EQ(FileBytes(path), "aXYdef" + std::string(38, '\0') + "S");
    EXPECT_EQ(FileLen(path), 45);

    // Binary keeps what is there; Output empties it and is not for reading.
    FileOpen(number, path, FileMode::Binary);
    EXPECT_EQ(FileLength(number), 45);
    FileClose(number);
    FileOpen(number, path, FileMode::Output);
    EXPECT_EQ(FileLength(number), 0);
    char byte;
    EXPECT_EQ(ErrorNumberOf([&] { FileRead(number, &byte, 1); }), 54);
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
        const std::string text = ErrorDescription(item.action, item.number);
        EXPECT_NE(text.find(item.pathInDescription), npos) << text;
    }
    EXPECT_FALSE(FileIsOpen(6));
    EXPECT_FALSE(fs::exists(missing));
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
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    const std::string path = folder_ / "readonly.wav";
    Create(path, "RIFF");
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    FileOpen(1, path, FileMode::Binary);
    char header[4];
    EXPECT_EQ(FileRead(1, header, 4), 4u);
    EXPECT_NE(ErrorDescription([] { FileWrite(1, "x", 1); }, 75).find(path), npos);
    EXPECT_EQ(FileBytes(path), "RIFF");
}

class PropertyBagFile : public ::testing::Test {
  protected:
    TempFolder folder_;
    std::string path_ = folder_ / "form.bag";
};

TEST_F(PropertyBagFile, OnlyWhatDiffersFromTheDefaultIsStoredAndComesBackAsWritten) {
    const struct {
        const char* key;
        Variant value, fallback;
    } values[] = {
        {"SpS", 48000, 44100},
        {"Double", 0.1, 0},
        {"Whole", 5.0, 0},
        {"Long", -2147483647 - 1, 0},
        {"Flag", true, false},
        {"Nothing", Variant(), 1},
        {"FileName", std::string("take \"1\"\\\n\x01\x7F\t\r", 14), ""},
        {"Unicode", "\xC3\xA9t\xC3\xA9 # not a comment", ""},
        {"Infinite", -std::numeric_limits<double>::infinity(), 0},
    };
    PropertyBag saved;
    for (const auto& item : values) {
        saved.WriteProperty(item.key, item.value, item.fallback);
    }
    saved.WriteProperty("NotANumber", std::nan(""), 0);
    saved.WriteProperty("Single", 1.0f / 3.0f, 0);
    saved.WriteProperty("Bips", int16_t{16}, 16);
    saved.WriteProperty("Threshold", 7.5f, 5);
    saved.WriteProperty("Threshold", 5.0f, 5);  // equals the default 5: removed again
    EXPECT_EQ(saved.Count(), 11u);
    for (const char* key : {"", "two words", "a=b", "#x", "line\nbreak"}) {
        EXPECT_EQ(ErrorNumberOf([&] { saved.WriteProperty(key, 1, 0); }), 5) << key;
    }
    const std::string nowhere = folder_ / "missing-folder/form.bag";
    EXPECT_NE(ErrorDescription([&] { saved.SaveToFile(nowhere); }, 53).find(nowhere), npos);
    saved.SaveToFile(path_);
    saved.SaveToFile(path_);  // replacing leaves no half or temporary file beside it
    for (const auto& entry : fs::directory_iterator(folder_.Path())) {
        EXPECT_EQ(entry.path().string(), path_);
    }
    const std::string text = FileBytes(path_);
    EXPECT_NE(text.find("SpS = 48000\n"), npos) << text;

    PropertyBag loaded;
    loaded.LoadFromFile(path_);
    EXPECT_EQ(loaded.Count(), 11u);
    for (const auto& item : values) {
        SCOPED_TRACE(item.key);
        const Variant read = loaded.ReadProperty(item.key, item.fallback);
        EXPECT_EQ(read.Type(), item.value.Type());
        EXPECT_EQ(read, item.value);
    }
    EXPECT_TRUE(std::isnan(loaded.ReadProperty("NotANumber", 0).ToDouble()));
    EXPECT_EQ(loaded.ReadProperty("Single", 0).ToSingle(), 1.0f / 3.0f);
}

// A hand-edited file reads; a malformed, missing or unreadable one raises an error naming
// the file (and line) and leaves the bag as it was.
TEST_F(PropertyBagFile, HandEditedFileReadsAndAMalformedOneLeavesTheBagAlone) {
    Create(path_,
           "# saved by hand\r\n\r\n"
           "   SpS=22050   # trailing comment\r\n"
           "\tFileName = \"a#b\"\n"
           "Recording = False");
    PropertyBag bag;
    bag.LoadFromFile(path_);
    auto expectAsRead = [&] {
        EXPECT_EQ(bag.Count(), 3u);
        EXPECT_EQ(bag.ReadProperty("SpS", 44100).ToLong(), 22050);
        EXPECT_EQ(bag.ReadProperty("FileName", "").ToString(), "a#b");
        EXPECT_FALSE(bag.ReadProperty("Recording", true).ToBoolean());
    };
    expectAsRead();
    const struct {
        const char* text;
        int line;
        const char* problem;
    } cases[] = {
        {"# header\n\nSpS 48000\n", 3, "expected Key = value"},
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
    for (const auto& item : cases) {
        SCOPED_TRACE(item.text);
        Create(path_, item.text);
        const std::string text = ErrorDescription([&] { bag.LoadFromFile(path_); }, 380);
        EXPECT_TRUE(text.starts_with(path_ + " line " + std::to_string(item.line) + ": ")) << text;
        EXPECT_NE(text.find(item.problem), npos) << text;
        expectAsRead();
    }
    fs::remove(path_);
    EXPECT_NE(ErrorDescription([&] { bag.LoadFromFile(path_); }, 53).find(path_), npos);
    expectAsRead();
    // A FIFO is refused at once rather than waited on for a writer.
    ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
    EXPECT_NE(ErrorDescription([&] { bag.LoadFromFile(path_); }, 75).find(path_), npos);
    expectAsRead();
}

// Every test gets its own settings home, and a message box that records instead of
// printing.
class SettingsStore : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(Folder()); }
    std::string Folder() const { return home_ / "aurelix"; }
    std::string File() const { return Folder() + "/settings.ini"; }
    std::vector<fs::path> SetAsideFiles() const {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(Folder())) {
            if (entry.path().filename().string().starts_with("settings.ini.unreadable-")) {
                found.push_back(entry.path());
            }
        }
        return found;
    }
    static std::string Get(const std::string& fallback = "0") {
        return GetSetting("AurelyxOCX", "WaveInDevices", "LastHandle", fallback);
    }
    static void Save(const std::string& value) {
        SaveSetting("AurelyxOCX", "WaveInDevices", "LastHandle", value);
    }

    TempFolder home_;
    testing::ScopedEnvironment configHome_{"XDG_CONFIG_HOME", home_.Path()};
    testing::CapturedMessages captured_;
    std::vector<std::string>& messages_ = captured_.shown;
};

// A hand-edited file reads; a save replaces one value, keeps the others and writes the
// plain form.
TEST_F(SettingsStore, HandEditedFileReadsAndValuesAreKeptPerApplicationSectionAndKey) {
    Create(File(),
           "; edited by hand\r\n"
           "[AurelyxOCX\\WaveInDevices]\r\n"
           "  LastHandle = 12 \r\n"
           "\r\n"
           "# another comment\n"
           "[AurelyxOCX\\WaveOutDevices]\n"
           "LastHandle=%2013%20\n");
    EXPECT_EQ(Get(), "12");
    EXPECT_EQ(GetSetting("AurelyxOCX", "WaveOutDevices", "LastHandle"), " 13 ");
    Save("305419896");
    Save("7");
    EXPECT_EQ(Get(), "7");
    EXPECT_EQ(GetSetting("AurelyxOCX", "WaveOutDevices", "LastHandle"), " 13 ");
    EXPECT_EQ(GetSetting("AurelyxOCX", "WaveOutDevices", "lasthandle"), "");
    EXPECT_EQ(GetSetting("Other", "WaveInDevices", "LastHandle", "none"), "none");
    const std::string text = FileBytes(File());
    EXPECT_NE(text.find("[AurelyxOCX\\WaveInDevices]\nLastHandle=7\n"), npos) << text;
    EXPECT_TRUE(messages_.empty());
}

TEST_F(SettingsStore, AwkwardNamesAndValuesComeBackExactly) {
    const std::vector<std::string> awkward = {
        "a=b",         "line\nbreak\r\n",   "100%",
        "back\\slash", "[bracket]",         "#hash",
        ";semi",       " padded ",          "",
        "tab\there",   "\xC3\xA9t\xC3\xA9", std::string("nul\0byte", 8),
    };
    auto word = [&](size_t i) { return awkward[i % awkward.size()]; };
    for (size_t i = 0; i < awkward.size(); ++i) {
        SaveSetting(word(i), word(i + 1), word(i + 2), word(i + 3));
    }
    for (size_t i = 0; i < awkward.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(GetSetting(word(i), word(i + 1), word(i + 2), "missing"), word(i + 3));
    }
}

TEST_F(SettingsStore, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kKeys = 200;
    auto value = [](int i) { return std::to_string(i * 7); };
    auto writeAll = [&](const char* writer) {
        for (int i = 0; i < kKeys; ++i)
            SaveSetting("AurelyxOCX", writer, "Key" + std::to_string(i), value(i));
    };
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        try {
            writeAll("second");
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    writeAll("first");
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (const char* writer : {"first", "second"}) {
        for (int i = 0; i < kKeys; ++i)
            ASSERT_EQ(GetSetting("AurelyxOCX", writer, "Key" + std::to_string(i)), value(i));
    }
    // Nothing set aside, no temporary file left behind.
    for (const auto& entry : fs::directory_iterator(Folder())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "settings.ini" || name == "settings.ini.lock") << name;
    }
}

// What cannot be read counts as no settings; the next save keeps it aside, says so once,
// and starts afresh.
TEST_F(SettingsStore, UnreadableFileReadsAsDefaultsAndIsKeptAsideOnSave) {
    const struct {
        std::string text;
        bool folder;
        const char* problem;
    } cases[] = {
        {"[AurelyxOCX\\WaveInDevices]\nLastHandle=5\nthis is not a setting\n", false, "line 3"},
        {"x", false, "line 1"},
        {"precious", true, "Is a directory"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.text);
        fs::remove_all(Folder());
        fs::create_directories(item.folder ? File() : Folder());
        const std::string kept = item.folder ? "/keep.txt" : "";
        Create(File() + kept, item.text);
        messages_.clear();
        EXPECT_EQ(Get(), "0");
        EXPECT_EQ(FileBytes(File() + kept), item.text);  // reading changes nothing
        EXPECT_TRUE(messages_.empty());

        Save("9");
        const auto aside = SetAsideFiles();
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_EQ(FileBytes(aside[0].string() + kept), item.text);
        ASSERT_EQ(messages_.size(), 1u);
        EXPECT_NE(messages_[0].find(aside[0].string()), npos) << messages_[0];
        EXPECT_NE(messages_[0].find(item.problem), npos) << messages_[0];
        EXPECT_EQ(Get(), "9");
        Save("10");
        EXPECT_EQ(messages_.size(), 1u);
        EXPECT_EQ(SetAsideFiles().size(), 1u);
    }
}

// A writer stuck with the lock makes a save fail with the lock named, not wait forever.
TEST_F(SettingsStore, LockHeldTooLongFailsTheSave) {
    const std::string lockPath = File() + ".lock";
    const int holder = ::open(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    auto save = std::async(std::launch::async, [] { return CaughtError([] { Save("1"); }); });
    const bool ended = save.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    ::close(holder);  // lets a save that waited without limit end, too
    ASSERT_TRUE(ended) << "the save waited for the lock without limit";
    const auto error = save.get();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), 75);
    EXPECT_NE(error->Description().find(lockPath + " (held by another writer"), npos)
        << error->Description();
    EXPECT_EQ(Get("none"), "none");
}

// A settings file kept elsewhere behind a symbolic link stays linked after a save.
TEST_F(SettingsStore, SymlinkedFileStaysALink) {
    const std::string target = home_ / "kept.ini";
    fs::create_symlink(target, File());
    Save("first");
    Save("second");
    EXPECT_TRUE(fs::is_symlink(File()));
    EXPECT_EQ(Get(), "second");
    EXPECT_GT(fs::file_size(target), 0u);
}

}  // namespace
}  // namespace aurelix::platform
