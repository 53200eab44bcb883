#include "aurelix/platform/storage/property_bag.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

#include "support/caught_error.h"
#include "support/temp_folder.h"

namespace aurelix::platform {
namespace {

using testing::CaughtError;
using testing::ErrorNumberOf;
using testing::FileBytes;
using testing::TempFolder;

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

}  // namespace
}  // namespace aurelix::platform
