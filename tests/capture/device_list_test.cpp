#include <gtest/gtest.h>

#include <string>

#include "aurelix/capture/device_list.h"
#include "aurelix/platform/wave/manual_wave_device.h"
#include "aurelix/platform/wave/wave.h"

namespace aurelix::capture {
namespace {

using platform::ManualWaveInput;

std::string CapsName(uint32_t device) {
    platform::WAVEINCAPS caps;
    EXPECT_EQ(platform::waveInGetDevCapsA(device, &caps, platform::kWaveInCapsSize),
              platform::MMSYSERR_NOERROR);
    return std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
}

TEST(GetWavDevicesTest, ListsEveryInputDeviceInDeviceOrder) {
    ManualWaveInput alpha("Alpha");
    ManualWaveInput beta("Beta");
    platform::BoundedArray<std::string> names(0, 99);
    names(99) = "left over";

    const int32_t count = GetWavDevices(names);
    ASSERT_EQ(count, int32_t(platform::waveInGetNumDevs()));
    EXPECT_EQ(names.Lower(), 0);
    EXPECT_EQ(names.Upper(), count - 1) << "earlier contents were kept";
    for (int32_t device = 0; device < count; ++device) {
        EXPECT_EQ(names(device), CapsName(uint32_t(device)));
    }
    EXPECT_EQ(names(int32_t(*alpha.DeviceId())), "Alpha");
    EXPECT_EQ(names(int32_t(*beta.DeviceId())), "Beta");

    beta.Unplug();
    EXPECT_EQ(GetWavDevices(names), count - 1);
    EXPECT_EQ(names.Upper(), count - 2);
}

TEST(GetWavDevicesTest, NamesAreCutAtTheFirstNulAndKeptWholeAtThirtyTwoBytes) {
    ManualWaveInput withNul(std::string("Left\0Right", 10));
    const std::string exact = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
    ManualWaveInput whole(exact);
    ManualWaveInput longer(exact + "6789");
    platform::BoundedArray<std::string> names;
    GetWavDevices(names);
    EXPECT_EQ(names(int32_t(*withNul.DeviceId())), "Left");
    EXPECT_EQ(names(int32_t(*whole.DeviceId())), exact);
    EXPECT_EQ(names(int32_t(*longer.DeviceId())), exact);
}

TEST(GetWavDevicesTest, ADeviceThatDoesNotAnswerGetsThePreviousName) {
    ManualWaveInput before("Answers");
    ManualWaveInput silent("Never seen");
    ManualWaveInput after("Answers too");
    silent.FailCapsQuery(true);
    platform::BoundedArray<std::string> names;
    GetWavDevices(names);
    EXPECT_EQ(names(int32_t(*silent.DeviceId())), "Answers");
    EXPECT_EQ(names(int32_t(*after.DeviceId())), "Answers too");
}

}  // namespace
}  // namespace aurelix::capture
