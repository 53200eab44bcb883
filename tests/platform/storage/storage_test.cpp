#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <tuple>
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
using testing::ErrorNumberOf;
using testing::FileBytes;
using testing::TempFolder;
constexpr auto npos = std::string::npos;

void Create(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

// Whether `action` raises error `number` with `text` in its description.
::testing::AssertionResult Raises(const std::function<void()>& action, int32_t number,
                                  const std::string& text) {
    const auto error = testing::CaughtError(action);
    if (error && error->Number() == number && error->Description().find(text) != npos)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << (error ? std::to_string(error->Number()) + ": " + error->Description() : "no error");
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
    FileOpen(1, path, FileMode::Binary);
    FileWrite(1, "abcdef", 6);
    FileWriteAt(1, 2, "XY", 2);
    EXPECT_EQ(FileSeek(1), 4);  // just behind the bytes written at 2
    FileSeek(1, 3);
    std::string buffer(6, '#');
    EXPECT_EQ(FileRead(1, buffer.data(), buffer.size()), 4u);
    EXPECT_EQ(buffer, std::string("Ydef\0\0", 6));
    EXPECT_EQ(FileSeek(1), 9);
    FileSeek(1, 45);
    FileWrite(1, "S", 1);
    EXPECT_EQ(FileLength(1), 45);
    FileClose(1);
    EXPECT_EQ(FileBytes(path), "aXYdef" + std::string(38, '\0') + "S");

    // Output empties the file and is not for reading.
    FileOpen(1, path, FileMode::Output);
    EXPECT_EQ(FileLength(1), 0);
    EXPECT_EQ(ErrorNumberOf([&] { FileRead(1, buffer.data(), 1); }), 54);
}

TEST_F(FileIo, MisuseRaisesTheRuntimesNumbers) {
    const std::string present = folder_ / "present.bin";
    const std::string missing = folder_ / "missing.bin";
    const std::string noFolder = folder_ / "no/such.wav";
    FileOpen(5, present, FileMode::Binary);
    const struct {
        const char* what;
        std::function<void()> action;
        int32_t number;
        std::string inDescription;
    } cases[] = {
        {"write on a closed number", [] { FileWrite(6, "x", 1); }, 52, ""},
        {"number 0", [&] { FileOpen(0, present, FileMode::Binary); }, 52, ""},
        {"number 512", [&] { FileOpen(512, present, FileMode::Binary); }, 52, ""},
        {"empty name", [] { FileOpen(6, "", FileMode::Binary); }, 52, ""},
        {"open twice", [&] { FileOpen(5, missing, FileMode::Binary); }, 55, present},
        {"length of a missing file", [&] { FileLen(missing); }, 53, missing},
        {"missing folder", [&] { FileOpen(6, noFolder, FileMode::Output); }, 53, noFolder},
        {"a folder", [&] { FileOpen(6, folder_.Path(), FileMode::Binary); }, 75, folder_.Path()},
        {"position 0", [] { FileSeek(5, 0); }, 5, present},
    };
    for (const auto& item : cases)
        EXPECT_TRUE(Raises(item.action, item.number, item.inDescription)) << item.what;
    EXPECT_FALSE(FileIsOpen(6));
    EXPECT_FALSE(fs::exists(missing));
}

TEST_F(FileIo, NumbersAreHandedOutLowestFirstUpTo511) {
    const std::string path = folder_ / "shared.bin";
    for (int32_t number = 1; number <= 511; ++number) {
        ASSERT_EQ(FreeFile(), number);
        FileOpen(number, path, FileMode::Binary);
    }
    EXPECT_EQ(ErrorNumberOf([] { FreeFile(); }), 67);
    FileClose(200);
    EXPECT_EQ(FreeFile(), 200);
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
        {"Bips", int16_t{16}, int16_t{16}},  // the default: not stored
        {"Threshold", 5.0f, 5.0f},           // back to the default: removed again
    };
    PropertyBag saved;
    saved.WriteProperty("Threshold", 7.5f, 5);
    saved.WriteProperty("NotANumber", std::nan(""), 0);
    saved.WriteProperty("Single", 1.0f / 3.0f, 0);
    for (const auto& item : values)
        saved.WriteProperty(item.key, item.value, item.fallback);
    EXPECT_EQ(saved.Count(), 11u);
    for (const char* key : {"", "two words", "a=b", "#x", "line\nbreak"})
        EXPECT_EQ(ErrorNumberOf([&] { saved.WriteProperty(key, 1, 0); }), 5) << key;
    const std::string nowhere = folder_ / "missing-folder/form.bag";
    EXPECT_TRUE(Raises([&] { saved.SaveToFile(nowhere); }, 53, nowhere));
    saved.SaveToFile(path_);
    saved.SaveToFile(path_);  // replacing leaves no half or temporary file beside it
    for (const auto& entry : fs::directory_iterator(folder_.Path()))
        EXPECT_EQ(entry.path().string(), path_);
    EXPECT_NE(FileBytes(path_).find("SpS = 48000\n"), npos) << FileBytes(path_);

    PropertyBag loaded;
    loaded.LoadFromFile(path_);
    EXPECT_EQ(loaded.Count(), 11u);
    for (const auto& item : values) {
        const Variant read = loaded.ReadProperty(item.key, item.fallback);
        EXPECT_EQ(read.Type(), item.value.Type()) << item.key;
        EXPECT_EQ(read, item.value) << item.key;
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
    auto asRead = [&] {
        return std::tuple(bag.Count(), bag.ReadProperty("SpS", 0).ToLong(),
                          bag.ReadProperty("FileName", "").ToString(),
                          bag.ReadProperty("Recording", true).ToBoolean());
    };
    const auto expected = std::tuple(size_t{3}, 22050, "a#b", false);
    const struct {
        const char* text;
        std::string problem;
    } cases[] = {
        {"# header\n\nSpS 48000\n", "line 3: expected Key = value"},
        {"SpS =\n", "line 1: no value for SpS"},
        {"FileName = \"open\n", "line 1: string without closing quote"},
        {"FileName = \"bad \\q escape\"\n", "line 1: unknown escape \\q"},
        {"FileName = \"\\x4\"\n", "line 1: \\x needs two hex digits"},
        {"SpS = 12abc\n", "line 1: expected a value"},
        {"SpS = true\n", "line 1: expected a value"},
        {"SpS = 1e999\n", "line 1: number out of range"},
        {"SpS = \"a\" \"b\"\n", "line 1: unexpected text after the value of SpS"},
        {"SpS = 1\nBips = 2\nSpS = 3\n", "line 3: SpS is set twice"},
    };
    for (const auto& item : cases) {
        Create(path_, item.text);
        EXPECT_TRUE(Raises([&] { bag.LoadFromFile(path_); }, 380, path_ + " " + item.problem))
            << item.text;
        EXPECT_EQ(asRead(), expected) << item.text;
    }
    fs::remove(path_);
    EXPECT_TRUE(Raises([&] { bag.LoadFromFile(path_); }, 53, path_));
    // A FIFO is refused at once rather than waited on for a writer.
    ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
    EXPECT_TRUE(Raises([&] { bag.LoadFromFile(path_); }, 75, path_));
    EXPECT_EQ(asRead(), expected);
}

// Every test gets its own settings home, and a message box that records instead of
// printing.
class SettingsStore : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(Folder()); }
    std::string Folder() const { return home_ / "aurelix"; }
    std::string File() const { return Folder() + "/settings.ini"; }
    std::vector<std::string> SortedListing() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Folder()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static std::string Get(const std::string& fallback = "0") {
        return GetSetting("AurelyxOCX", "WaveInDevices", "LastHandle", fallback);
    }
    static void Save(const std::string& value) {
        SaveSetting("AurelyxOCX", "WaveInDevices", "LastHandle", value);
    }

    TempFolder home_;
    testing::ScopedEnvironment configHome_{"XDG_CONFIG_HOME", home_.Path()};
    testing::CapturedMessages messages_;
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
    Save("7");
    EXPECT_EQ(Get(), "7");
    EXPECT_EQ(GetSetting("AurelyxOCX", "WaveOutDevices", "LastHandle"), " 13 ");
    EXPECT_EQ(GetSetting("AurelyxOCX", "WaveOutDevices", "lasthandle"), "");
    const std::string text = FileBytes(File());
    EXPECT_NE(text.find("[AurelyxOCX\\WaveInDevices]\nLastHandle=7\n"), npos) << text;
}

TEST_F(SettingsStore, AwkwardNamesAndValuesComeBackExactly) {
    const std::vector<std::string> awkward = {
        "a=b",         "line\nbreak\r\n",   "100%",
        "back\\slash", "[bracket]",         "#hash",
        ";semi",       " padded ",          "",
        "tab\there",   "\xC3\xA9t\xC3\xA9", std::string("nul\0byte", 8),
    };
    auto word = [&](size_t i) { return awkward[i % awkward.size()]; };
    for (size_t i = 0; i < awkward.size(); ++i)
        SaveSetting(word(i), word(i + 1), word(i + 2), word(i + 3));
    for (size_t i = 0; i < awkward.size(); ++i)
        EXPECT_EQ(GetSetting(word(i), word(i + 1), word(i + 2), "missing"), word(i + 3)) << i;
}

// What cannot be read counts as no settings; the next save keeps it aside, says so once,
// and starts afresh.
TEST_F(SettingsStore, UnreadableFileReadsAsDefaultsAndIsKeptAsideOnSave) {
    const struct {
        std::string text;
        const char* problem;
    } cases[] = {
        {"[AurelyxOCX\\WaveInDevices]\nLastHandle=5\nthis is not a setting\n", "line 3"},
        {"x", "line 1"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.text);
        fs::remove_all(Folder());
        fs::create_directories(Folder());
        Create(File(), item.text);
        messages_.shown.clear();
        EXPECT_EQ(Get(), "0");
        EXPECT_EQ(FileBytes(File()), item.text);  // reading changes nothing
        Save("9");
        Save("10");  // sets nothing more aside and says nothing more
        EXPECT_EQ(Get(), "10");
        const auto names = SortedListing();
        ASSERT_EQ(names.size(), 3u);
        EXPECT_EQ(names[2].substr(0, 24), "settings.ini.unreadable-");
        const std::string aside = Folder() + "/" + names[2];
        EXPECT_EQ(FileBytes(aside), item.text);
        ASSERT_EQ(messages_.shown.size(), 1u);
        EXPECT_NE(messages_.shown[0].find(aside), npos) << messages_.shown[0];
        EXPECT_NE(messages_.shown[0].find(item.problem), npos) << messages_.shown[0];
    }
}

// A writer stuck with the lock makes a save fail with the lock named; a save that waited
// without limit would hang here until the test runner's time runs out.
TEST_F(SettingsStore, LockHeldTooLongFailsTheSave) {
    const std::string lockPath = File() + ".lock";
    const int holder = ::open(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    EXPECT_TRUE(Raises([] { Save("1"); }, 75, lockPath + " (held by another writer"));
    ::close(holder);
    EXPECT_EQ(Get("none"), "none");
}

// The lock covers the whole read-modify-write: two processes saving at once lose nothing.
TEST_F(SettingsStore, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kKeys = 100;
    const auto write = [](const char* section) {
        for (int i = 0; i < kKeys; ++i)
            SaveSetting("AurelyxOCX", section, "Key" + std::to_string(i), std::to_string(i));
    };
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        write("child");  // an error escaping here aborts the child, which the parent sees
        _exit(0);
    }
    write("parent");
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (const char* section : {"child", "parent"})
        for (int i = 0; i < kKeys; ++i)
            EXPECT_EQ(GetSetting("AurelyxOCX", section, "Key" + std::to_string(i)),
                      std::to_string(i))
                << section << i;
    EXPECT_EQ(SortedListing(), (std::vector<std::string>{"settings.ini", "settings.ini.lock"}));
}

// A settings file kept elsewhere behind a symbolic link stays linked after a save.
TEST_F(SettingsStore, SymlinkedFileStaysALink) {
    const std::string target = home_ / "kept.ini";
    fs::create_symlink(target, File());
    Save("1");
    Save("2");
    EXPECT_TRUE(fs::is_symlink(File()));
    EXPECT_EQ(Get(), "2");
    EXPECT_NE(FileBytes(target).find("LastHandle=2"), npos);
}

}  // namespace
}  // namespace aurelix::platform
