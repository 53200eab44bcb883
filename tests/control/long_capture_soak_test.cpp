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

#include "aurelix/control/aurel.h"
#include "aurelix/platform/wave/manual_wave_device.h"
#include "aurelix/platform/windows/window.h"
#include "control/control_test_support.h"
#include "support/fresh_thread.h"
#include "support/temp_folder.h"

namespace aurelix::control {
namespace {

using aurelix::testing::OnFreshThread;
using aurelix::testing::TempFolder;

constexpr int32_t kRate = 8000;
constexpr int32_t kBlock = 256;
constexpr int64_t kBlocksPerHour = int64_t(kRate) * 3600 / kBlock;

// Hours of capture simulated; AURELIX_SOAK_HOURS overrides (the CI step runs the default).
double SimulatedHours() {
    const char* hours = std::getenv("AURELIX_SOAK_HOURS");
    return hours != nullptr ? std::atof(hours) : 6.0;
}

// Resident kilobytes, descriptors and threads of this process.
std::array<long, 3> Footprint() {
    std::array<long, 3> footprint{};
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            footprint[0] = std::atol(line.c_str() + 6);
    }
    using Entries = std::filesystem::directory_iterator;
    footprint[1] = long(std::distance(Entries("/proc/self/fd"), Entries()));
    footprint[2] = long(std::distance(Entries("/proc/self/task"), Entries()));
    return footprint;
}

// A block that says which one it is: a 1 kHz tone (a trigger) in even seconds, a 300 Hz
// one otherwise, with the block's number in its first two samples.
std::vector<int16_t> NumberedBlock(int64_t number) {
    std::vector<int16_t> block(kBlock);
    const double hz = (number * kBlock / kRate) % 2 == 0 ? 1000.0 : 300.0;
    for (int32_t i = 0; i < kBlock; ++i) {
        const double t = double(number * kBlock + i) / kRate;
        block[size_t(i)] = int16_t(std::lround(12000.0 * std::sin(2 * std::numbers::pi * hz * t)));
    }
    block[0] = int16_t(number & 0x7FFF);
    block[1] = int16_t((number >> 15) & 0x7FFF);
    return block;
}

// Hours of capture at many times real time, an hour per recording, with FFT, peaks and
// triggers on: every block is analysed and recorded once, in order, and memory,
// descriptors and threads stay flat after the first hour.
TEST(LongCaptureSoak, HoursOfCaptureLoseNothingAndStayFlat) {
    TempFolder folder;
    OnFreshThread([&] {
        platform::ManualWaveInput device("Soak input");
        platform::SimpleContainer container;
        struct Counting : testing::RecordedAurelEvents {
            void Complete(int32_t block, int32_t, double) override {
                lost += block != last + 1;
                last = block;
                ++completes;
            }
            void FrequencyTrigger(int32_t, platform::BoundedArray<int32_t>&) override {
                ++triggers;
            }
            int64_t last = 0, lost = 0, completes = 0, triggers = 0;
        } events;
        Aurel aurel(container, &events);
        aurel.InitProperties();
        aurel.SPS(kRate);
        aurel.Samples(kBlock);
        aurel.Buffers(1);  // one buffer: every block is analysed as it comes
        aurel.LoopMethod(1);
        aurel.Threshold(1.0f);
        aurel.AddTrigger(1, 900.0, 1100.0, 10.0f);
        aurel.Device(int32_t(*device.DeviceId()));
        const std::string path = folder / "hour.wav";
        aurel.FileName(path);
        aurel.Recording(true);

        const int hours = std::max(1, int(std::ceil(SimulatedHours())));
        const int64_t blocksPerRecording = std::min<int64_t>(
            kBlocksPerHour, int64_t(SimulatedHours() * double(kBlocksPerHour) / hours));
        std::array<long, 3> warm{};
        for (int hour = 0; hour < hours; ++hour) {
            SCOPED_TRACE(hour);
            events.last = 0;
            ASSERT_EQ(aurel.Init(), 0);
            ASSERT_EQ(aurel.Start(), 0);
            for (int64_t n = 1; n <= blocksPerRecording; ++n) {
                ASSERT_TRUE(device.Fill(NumberedBlock(n))) << "block " << n;
                platform::DoEvents();
            }
            aurel.Reset();
            EXPECT_EQ(events.last, blocksPerRecording);

            std::ifstream file(path, std::ios::binary);
            file.seekg(44);
            std::vector<int16_t> block(kBlock);
            int64_t recorded = 0;
            while (file.read(reinterpret_cast<char*>(block.data()), kBlock * 2)) {
                ASSERT_EQ(int64_t(block[0]) | int64_t(block[1]) << 15, ++recorded);
            }
            EXPECT_EQ(recorded, blocksPerRecording);
            file.close();
            std::filesystem::remove(path);
            if (hour == 0)
                warm = Footprint();
        }
        const std::array<long, 3> end = Footprint();
        EXPECT_EQ(events.lost, 0);
        EXPECT_EQ(events.completes, blocksPerRecording * hours);
        EXPECT_GT(events.triggers, 0);
        EXPECT_LE(end[0] - warm[0], 1024) << "resident memory grew from " << warm[0] << " kB";
        EXPECT_EQ(end[1], warm[1]) << "descriptors";
        EXPECT_EQ(end[2], warm[2]) << "threads";
    });
}

}  // namespace
}  // namespace aurelix::control
