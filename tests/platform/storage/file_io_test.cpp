#include "aurelix/platform/storage/file_io.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "support/caught_error.h"
#include "support/temp_folder.h"

namespace aurelix::platform {
namespace {

using testing::CaughtError;
using testing::ErrorNumberOf;
using testing::FileBytes;
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

}  // namespace
}  // namespace aurelix::platform
