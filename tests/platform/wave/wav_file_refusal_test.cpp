#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "aurelix/platform/wave/wave_devices.h"
#include "platform/wave/wav_bytes.h"
#include "support/temp_folder.h"

namespace aurelix::platform {
namespace {

using namespace aurelix::platform::testing;

// What cannot be read as a device is refused when it is added, with the file named.
TEST(WavFileRefusal, WhatCannotBeADeviceIsRefusedWhenAdded) {
    aurelix::testing::TempFolder folder;
    const std::string fifo = folder / "fifo.wav";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Held open for both ends, so that a blocking open of the fifo returns, too.
    const int heldOpen = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(heldOpen, 0);
    const std::string hugeRate = folder / "huge-rate.wav";
    std::ofstream(hugeRate, std::ios::binary) << PcmWav(1, 2147483648u, {1, 2, 3, 4});
    const std::string largestRate = folder / "largest-rate.wav";
    std::ofstream(largestRate, std::ios::binary) << PcmWav(1, 2147483647u, {1, 2, 3, 4});

    struct Case {
        std::string path;
        std::string error;  // empty: accepted
    };
    const Case cases[] = {
        {fifo, fifo + ": not a regular file"},
        {folder.Path(), folder.Path() + ": not a regular file"},
        {hugeRate, hugeRate + ": sample rate 2147483648 out of range (1 to 2147483647)"},
        {largestRate, ""},
    };
    for (const Case& c : cases) {
        const WaveDeviceRegistration added = AddFileInputDevice(c.path, false);
        EXPECT_EQ(added.error, c.error);
        EXPECT_EQ(bool(added), c.error.empty()) << c.path;
        if (added) {
            RemoveWaveDevice(added.key);
        }
    }
    ::close(heldOpen);
}

}  // namespace
}  // namespace aurelix::platform
