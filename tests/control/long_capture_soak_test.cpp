#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

#include <unistd.h>

#include "aurelix/control/aurel.h"
#include "aurelix/platform/wave/manual_wave_device.h"
#include "aurelix/platform/windows/property_container.h"
#include "aurelix/platform/windows/window.h"
#include "support/fresh_thread.h"
#include "support/temp_folder.h"

namespace aurelix::control {
namespace {

constexpr int32_t kRate = 8000;
constexpr int32_t kBlock = 256;
constexpr int64_t kBlocksPerHour = int64_t(kRate) * 3600 / kBlock;

// Resident kilobytes, descriptors and threads of this process.
std::array<long, 3> Footprint() {
    long size = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> size >> resident;
    using Entries = std::filesystem::directory_iterator;
    return {resident * (sysconf(_SC_PAGESIZE) / 1024),
            long(std::distance(Entries("/proc/self/fd"), Entries())),
            long(std::distance(Entries("/proc/self/task"), Entries()))};
}

// Hours of capture at many times real time (AURELIX_SOAK_HOURS, default 6), an hour per
// recording, with FFT, peaks and a trigger on: every block is analysed once, in order, and
// recorded, and memory, descriptors and threads stay flat after the first hour.
TEST(LongCaptureSoak, HoursOfCaptureLoseNothingAndStayFlat) {
    const char* setting = std::getenv("AURELIX_SOAK_HOURS");
    const double hours = setting != nullptr ? std::atof(setting) : 6.0;
    const int recordings = std::max(1, int(std::ceil(hours)));
    const int64_t blocks =
        std::min(kBlocksPerHour, int64_t(hours * double(kBlocksPerHour) / recordings));
    testing::TempFolder folder;
    const std::string path = folder / "hour.wav";
    testing::OnFreshThread([&] {
        platform::ManualWaveInput device("Soak input");
        platform::SimpleContainer container;
        struct InOrder : AurelEvents {
            void Complete(int32_t block, int32_t, double) override {
                lost += block != last + 1;
                last = block;
            }
            int64_t last = 0, lost = 0;
        } events;
        Aurel aurel(container, &events);
        aurel.InitProperties();
        aurel.SPS(kRate);
        aurel.Samples(kBlock);
        aurel.Buffers(1);  // one buffer: every block is analysed as it comes
        aurel.LoopMethod(1);
        aurel.AddTrigger(1, 900.0, 1100.0, 1.0f);
        aurel.Device(int32_t(*device.DeviceId()));
        aurel.FileName(path);
        aurel.Recording(true);
        std::vector<int16_t> tone(kBlock);  // 1 kHz: the trigger's
        for (int32_t i = 0; i < kBlock; ++i) {
            tone[size_t(i)] = int16_t(12000 * std::sin(2 * std::numbers::pi * 1000 * i / kRate));
        }

        std::array<long, 3> warm{};
        for (int recording = 0; recording < recordings; ++recording) {
            SCOPED_TRACE(recording);
            events.last = 0;
            ASSERT_EQ(aurel.Init(), 0);
            ASSERT_EQ(aurel.Start(), 0);
            for (int64_t n = 1; n <= blocks; ++n) {
                ASSERT_TRUE(device.Fill(tone)) << "block " << n;
                platform::DoEvents();
            }
            aurel.Reset();
            EXPECT_EQ(events.last, blocks);
            EXPECT_EQ(std::filesystem::file_size(path), uintmax_t(44 + blocks * kBlock * 2));
            std::filesystem::remove(path);
            if (recording == 0) {
                warm = Footprint();
            }
        }
        const std::array<long, 3> end = Footprint();
        EXPECT_EQ(events.lost, 0);
        EXPECT_LE(end[0] - warm[0], 1024) << "resident memory grew from " << warm[0] << " kB";
        EXPECT_EQ(end[1], warm[1]) << "descriptors";
        EXPECT_EQ(end[2], warm[2]) << "threads";
    });
}

}  // namespace
}  // namespace aurelix::control
