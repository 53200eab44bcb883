// A minimal C++ host: places an Aurel control, sets the capture format, listens to the
// block and trigger events, runs the message loop for a few seconds and reads the
// spectrum of each analysed block.
//
//   aurelix_example_host [seconds] [device]
//
// Device 0 is the system's default capture device, or the simulated 1 kHz sine on a
// machine without one.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "aurelix/control/aurel.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/windows/property_container.h"
#include "aurelix/platform/windows/window.h"

namespace {

using aurelix::control::Aurel;
using aurelix::platform::BoundedArray;

class Host : public aurelix::control::AurelEvents {
  public:
    Aurel* control = nullptr;
    int blocks = 0;

    void WaveDeviceOpened(int32_t DeviceHandle) override {
        std::printf("device opened (handle %d)\n", DeviceHandle);
    }

    void Complete(int32_t BlockIndex, int32_t BufferIndex, double dt) override {
        ++blocks;
        BoundedArray<float> spectrum;
        const int32_t bins = control->Spectrum(spectrum, 1);
        std::printf("block %5d  buffer %d  t %7.3f s  peak %5d  dominant %8.1f Hz  (%d bins)\n",
                    BlockIndex, BufferIndex, dt, control->MaxAmplitudeL(), control->MaxFrequencyL(),
                    bins);
    }

    void FrequencyTrigger(int32_t n, BoundedArray<int32_t>& Triggers) override {
        std::printf("  trigger %d active in %d bin(s)\n", Triggers(0), n);
    }

    void FrequencyTriggersOff() override { std::printf("  triggers off\n"); }
};

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    const int device = argc > 2 ? std::atoi(argv[2]) : 0;
    try {
        aurelix::platform::SimpleContainer container(/*userMode=*/true);
        Host host;
        Aurel control(container, &host);
        host.control = &control;
        control.InitProperties();

        std::printf("Aurelix %s, device %d: %s\n", control.Version().c_str(), device,
                    control.DeviceName(device).c_str());
        control.SPS(44100);
        control.Channels(1);
        control.Samples(4096);
        control.Analysis(3);  // peak amplitude + spectrum with dominant frequency
        control.Threshold(1.0f);
        control.LoopMethod(1);
        control.Buffers(4);
        control.Device(device);
        control.AddTrigger(1, 950.0, 1050.0, 5.0f);  // a band around 1 kHz

        control.Init();
        control.Start();
        const auto until = std::chrono::steady_clock::now() +
                           std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                               std::chrono::duration<double>(seconds));
        aurelix::platform::RunMessageLoop([&] { return std::chrono::steady_clock::now() >= until; },
                                          until - std::chrono::steady_clock::now());
        control.Reset();
        std::printf("%d blocks analysed, %d missed\n", host.blocks, control.MissedCount());
        return host.blocks > 0 ? 0 : 1;
    } catch (const aurelix::platform::RuntimeError& error) {
        std::fprintf(stderr, "error %d (%s): %s\n", error.Number(), error.Source().c_str(),
                     error.Description().c_str());
        return 2;
    }
}
