#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "aurelix/engine/engine_host.h"
#include "aurelix/platform/runtime/bounded_array.h"
#include "aurelix/platform/windows/label.h"
#include "aurelix/state/trigger_record.h"

namespace aurelix::engine {

// The engine's event interface. The engine raises ChangedSamples itself; the block events
// reach hosts through the control.
class clsAurelEvents {
  public:
    virtual ~clsAurelEvents() = default;
    virtual void DoneRecordig() {}
    virtual void ChangedSamples(int32_t /*OldSamples*/) {}
    virtual void Complete(int32_t /*BlockIndex*/, int32_t /*BufferIndex*/, double /*dt*/) {}
    virtual void MissedBuffer(int32_t /*BlockIndex*/, int32_t /*BufferIndex*/, double /*dt*/) {}
    virtual void WaveDeviceOpen() {}
};

// The engine: the settings of one capture or playback run and the commands that drive the
// wave device. All engines of a thread share that thread's EngineState.
//
// Without a control (EngineState::HostedByControl false) the engine creates its own hidden
// host (EngineHost) so that it has message windows, a timer and a lamp of its own.
class clsAurel {
  public:
    explicit clsAurel(clsAurelEvents* events = nullptr);
    // Terminates the engine if Terminate has not run; an error it would pass on is shown
    // through the message box instead, since a destructor cannot pass it on.
    ~clsAurel();
    // Resets the device (Reset), releases the lamp and the standalone host, and passes on
    // errors other than 91 and 424 with "Sub Class_Terminate in clsAurel". Runs once.
    void Terminate();
    clsAurel(const clsAurel&) = delete;
    clsAurel& operator=(const clsAurel&) = delete;

    void SetEventSink(clsAurelEvents* events) noexcept { events_ = events; }

    // The status lamp handed in by the caller (counted reference).
    void FlashControl(std::shared_ptr<platform::Label> New_FlashControl);

    int32_t Analysis() const noexcept { return analysis_; }
    void Analysis(int32_t New_Analysis);
    int32_t DeviceHandle() const noexcept { return deviceHandle_; }
    void DeviceHandle(int32_t New_DeviceHandle) noexcept { deviceHandle_ = New_DeviceHandle; }
    int32_t Devices() const noexcept { return devices_; }
    void Devices(int32_t New_Devices) noexcept { devices_ = New_Devices; }
    const std::string& FileName() const noexcept { return fileName_; }
    void FileName(std::string New_FileName) { fileName_ = std::move(New_FileName); }
    int32_t FilePointer() const;
    void FilePointer(int32_t New_FilePointer) noexcept { filePointer_ = New_FilePointer; }
    int16_t LoopMethod() const noexcept { return loopMethod_; }
    void LoopMethod(int16_t New_LoopMethod);
    int32_t MaxAmplitudeL() const;
    void MaxAmplitudeL(int32_t New_MaxAmplitudeL) noexcept { maxAmplitudeL_ = New_MaxAmplitudeL; }
    int32_t MaxAmplitudeR() const;
    void MaxAmplitudeR(int32_t New_MaxAmplitudeR) noexcept { maxAmplitudeR_ = New_MaxAmplitudeR; }
    double MaxFrequencyL() const;
    void MaxFrequencyL(double New_MaxFrequencyL) noexcept { maxFrequencyL_ = New_MaxFrequencyL; }
    double MaxFrequencyR() const;
    void MaxFrequencyR(double New_MaxFrequencyR) noexcept { maxFrequencyR_ = New_MaxFrequencyR; }
    int32_t MaxRecordingTime() const noexcept { return maxRecordingTime_; }
    void MaxRecordingTime(int32_t New_MaxRecordingTime) noexcept {
        maxRecordingTime_ = New_MaxRecordingTime;
    }
    int32_t MissedCount() const;
    void MissedCount(int32_t New_MissedCount);
    bool Playing() const noexcept { return playing_; }
    void Playing(bool New_Playing) noexcept { playing_ = New_Playing; }
    bool Recording() const noexcept { return recording_; }
    void Recording(bool New_Recording);
    int32_t Samples() const noexcept { return samples_; }
    void Samples(int32_t New_Samples);
    double SamplingTime();
    void SamplingTime(double New_SamplingTime) noexcept { samplingTime_ = New_SamplingTime; }
    // The history of analysed block numbers; writing it is accepted and discarded.
    platform::BoundedArray<int32_t> Sequence() const;
    template <class Ignored>
    void Sequence(const Ignored&) noexcept {}
    int32_t SPS() const noexcept { return sps_; }
    void SPS(int32_t New_SPS);
    int32_t Status() const;
    void Status(int32_t New_Status) noexcept { status_ = New_Status; }
    float Threshold();
    void Threshold(float New_Threshold);
    // Reading takes the host timer's interval (Object variable not set, 91, without one);
    // writing without a host timer only stores the value, to be used once one is attached.
    int32_t TimerInterval();
    void TimerInterval(int32_t New_TimerInterval);
    int32_t BlockCount() const noexcept { return blockCount_; }
    void BlockCount(int32_t New_BlockCount) noexcept { blockCount_ = New_BlockCount; }
    int32_t DataPointer() const noexcept { return dataPointer_; }
    void DataPointer(int32_t New_DataPointer) noexcept { dataPointer_ = New_DataPointer; }
    int32_t Device() const noexcept { return device_; }
    void Device(int32_t New_Device) noexcept { device_ = New_Device; }
    int16_t Bips() const noexcept { return bips_; }
    void Bips(int16_t New_Bips) noexcept { bips_ = New_Bips; }
    int16_t Channels() const noexcept { return channels_; }
    void Channels(int16_t New_Channels) noexcept { channels_ = New_Channels; }
    int32_t Buffers() const noexcept { return buffers_; }
    void Buffers(int32_t New_Buffers) noexcept { buffers_ = New_Buffers; }

    // Opens a capture device with the engine's own host windows, timer and lamp (the lamp
    // handed in through FlashControl comes first). A control has no such host: Init then
    // raises Object required (424), and the control calls InitX with its own windows.
    int32_t Init();
    // The device opening: Kind bit 1 capture, bit 2 playback (playback wins). Returns
    // -1001 when the engine is not idle (Status not 0), otherwise nothing; raises 1051
    // "Wavedevice cannot be opened!" when no handle was obtained.
    std::optional<int32_t> InitX(platform::HWND MailboxWindow, platform::HWND WaveWindow,
                                 platform::HWND TimerWindow, int32_t Kind);
    // Run control; each returns 0.
    int32_t Start();
    int32_t Pause();
    int32_t Reset();
    // Copies the settings into EngineState.
    void SetGlobalConstants();

    // Data access: copies of the last block, spectrum and peak list of a channel.
    int32_t WaveData(platform::BoundedArray<int16_t>& Data, int32_t Channel);
    int32_t Spectrum(platform::BoundedArray<float>& SpecData, int32_t Channel);
    int32_t Peaks(platform::BoundedArray<float>& PeakData, int32_t Channel);

    // The library's version, "major.minor.revision".
    static std::string Version();

    // The trigger table (index 0 is never tested).
    platform::BoundedArray<state::TriggerRecord>& Triggers() noexcept { return triggers_; }
    // Declares trigger Index: band F1..F2 Hz at level Threshold x 320; its bins are
    // computed at the next Init. Returns 0.
    int32_t AddTrigger(int32_t Index, double F1, double F2, float Threshold);
    // The triggers whose level the last left spectrum reaches, once per such bin (for the
    // control's "triggers" message); returns their count.
    int32_t GetTriggers(platform::BoundedArray<int32_t>& List);
    // Seconds (coarse wall clock) for nCycles transforms of a zero block of Samples. Leaves
    // WaveL with Samples + 1 zeros, SpectrumL with the last (zero) spectrum and BitReverse
    // rebuilt. Typ is accepted and not used.
    double AnalysisTime(int32_t nCycles, int32_t Typ = 0);

    // The lamp handed in through FlashControl, and its raw address.
    platform::Label* FlashPointer() const noexcept { return flashPointer_; }
    // The hidden host of a standalone engine; nullptr when a control hosts it.
    EngineHost* Host() noexcept { return host_.get(); }

  private:
    void RaiseChangedSamples(int32_t OldSamples);

    clsAurelEvents* events_ = nullptr;
    bool terminated_ = false;
    std::unique_ptr<EngineHost> host_;
    std::shared_ptr<platform::Label> flashControl_;
    platform::Label* flashPointer_ = nullptr;

    int32_t analysis_ = 0;
    int32_t blockCount_ = 0;
    bool playing_ = false;
    int32_t filePointer_ = 0;
    int32_t device_ = 0;
    int32_t buffers_ = 0;
    int32_t deviceHandle_ = 0;
    int32_t devices_ = 0;
    std::string fileName_;
    int32_t maxRecordingTime_ = 0;
    bool recording_ = false;
    int32_t status_ = 0;
    double samplingTime_ = 0.0;
    int32_t timerInterval_ = 0;
    float threshold_ = 0.0f;
    int16_t loopMethod_ = 0;
    int32_t maxAmplitudeL_ = 0;
    int32_t maxAmplitudeR_ = 0;
    int32_t dataPointer_ = 0;
    double maxFrequencyL_ = 0.0;
    double maxFrequencyR_ = 0.0;
    int32_t sps_ = 0;
    int16_t bips_ = 0;
    int16_t channels_ = 0;
    int32_t samples_ = 0;
    platform::BoundedArray<state::TriggerRecord> triggers_;
};

}  // namespace aurelix::engine
