#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "aurelix/platform/wave/wave.h"

// Wave devices driven by a test: nothing happens until the test says so, so every ordering
// of device events can be reproduced without sleeping. Each accepts any 16-bit PCM format,
// mono or stereo, and one handle at a time (a second open answers MMSYSERR_ALLOCATED).
// They are listed from construction until Unplug() or destruction, after every other
// device; Plug() lists them again, at the end. A handle open on an unplugged device keeps
// working until it is closed. Safe to use from any thread; notifications still run on the
// thread that owns the callback window.
namespace aurelix::platform {

namespace wave_driver {
class ManualInputDevice;
class ManualOutputDevice;
}  // namespace wave_driver

class ManualWaveInput {
  public:
    explicit ManualWaveInput(std::string name = "Manual input");
    ~ManualWaveInput();
    ManualWaveInput(const ManualWaveInput&) = delete;
    ManualWaveInput& operator=(const ManualWaveInput&) = delete;

    void Plug();
    void Unplug();
    // The device id now; nothing while unplugged.
    std::optional<uint32_t> DeviceId() const;

    // Fills the oldest queued buffer with `samples` (interleaved; cut to the buffer's
    // length, whole frames only), sets its dwBytesRecorded and returns it with MM_WIM_DATA.
    // False when the device is not open and started or no buffer is queued.
    bool Fill(std::span<const int16_t> samples);
    size_t QueuedCount() const;
    bool IsOpen() const;
    bool IsStarted() const;
    // The format of the latest successful open.
    std::optional<WAVEFORMATEX> LastFormat() const;
    // Makes waveInGetDevCapsA fail for this device (MMSYSERR_NODRIVER), as a driver that
    // stopped answering does.
    void FailCapsQuery(bool fail);

  private:
    std::shared_ptr<wave_driver::ManualInputDevice> device_;
};

class ManualWaveOutput {
  public:
    explicit ManualWaveOutput(std::string name = "Manual output");
    ~ManualWaveOutput();
    ManualWaveOutput(const ManualWaveOutput&) = delete;
    ManualWaveOutput& operator=(const ManualWaveOutput&) = delete;

    void Plug();
    void Unplug();
    std::optional<uint32_t> DeviceId() const;

    // Buffers written and not yet completed.
    size_t WrittenCount() const;
    // Plays the oldest written buffer: its samples are appended to Played() and it returns
    // with MM_WOM_DONE. False when nothing is written.
    bool CompleteNext();
    // Every sample of the buffers completed since the latest open, in order.
    std::vector<int16_t> Played() const;
    bool IsOpen() const;
    std::optional<WAVEFORMATEX> LastFormat() const;

  private:
    std::shared_ptr<wave_driver::ManualOutputDevice> device_;
};

}  // namespace aurelix::platform
