#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "aurelix/control/aurel_events.h"
#include "aurelix/engine/cls_aurel.h"
#include "aurelix/platform/runtime/bounded_array.h"
#include "aurelix/platform/runtime/variant.h"
#include "aurelix/platform/storage/property_bag.h"
#include "aurelix/platform/windows/label.h"
#include "aurelix/platform/windows/property_container.h"
#include "aurelix/platform/windows/text_box.h"
#include "aurelix/platform/windows/ui_timer.h"

namespace aurelix::control {

// The Aurel control: keeps its own copy of every capture and analysis setting, pushes them
// into its engine at Init, forwards the run commands, turns the engine's mailbox messages
// into events and hands out the results.
//
// Create it on the thread that will run its message loop; everything (events included)
// happens on that thread. The container answers the user-mode question (design time
// refuses run-time-only writes with 387, run time refuses design-time-only writes with
// 382) and hears which properties changed.
class Aurel {
  public:
    explicit Aurel(platform::PropertyContainer& container, AurelEvents* events = nullptr);
    ~Aurel();
    Aurel(const Aurel&) = delete;
    Aurel& operator=(const Aurel&) = delete;

    void SetEventSink(AurelEvents* events) noexcept { events_ = events; }

    // Container notifications.
    void InitProperties();                                   // a newly placed control
    void ReadProperties(const platform::PropertyBag& bag);   // a saved control is loaded
    void WriteProperties(platform::PropertyBag& bag) const;  // the container saves
    void Resize(int32_t width, int32_t height);

    // Commands.
    int32_t Init(int32_t Typ = 1);
    int32_t Start();
    platform::Variant Pause();
    int32_t Reset();
    void SetOneShot(int32_t t);
    void SetConstants() {}
    std::string Version() const;

    // Properties.
    int32_t SPS() const noexcept { return sps_; }
    void SPS(int32_t New_SPS);
    int16_t Bips() const noexcept { return bips_; }
    void Bips(int16_t New_Bips);
    int16_t Channels() const noexcept { return channels_; }
    void Channels(int16_t New_Channels);
    int32_t Samples() const noexcept { return samples_; }
    void Samples(int32_t New_Samples);
    int32_t DataPointer() const noexcept { return dataPointer_; }
    void DataPointer(int32_t New_DataPointer);
    int16_t LoopMethod() const noexcept { return loopMethod_; }
    void LoopMethod(int16_t New_LoopMethod);
    float Threshold();
    void Threshold(float New_Threshold);
    int32_t TimerInterval() const noexcept { return timerInterval_; }
    void TimerInterval(int32_t New_TimerInterval);
    int32_t Analysis() const noexcept { return analysis_; }
    void Analysis(int32_t New_Analysis);
    double SamplingTime();
    void SamplingTime(double New_SamplingTime);
    int32_t Status() const;
    const std::string& FileName() const noexcept { return fileName_; }
    void FileName(const std::string& New_FileName);
    int32_t MaxRecordingTime() const noexcept { return maxRecordingTime_; }
    void MaxRecordingTime(int32_t New_MaxRecordingTime);
    bool Recording() const noexcept { return recording_; }
    void Recording(bool New_Recording);
    int32_t DeviceHandle() const;
    std::string DeviceName(int32_t Index) const;
    int32_t Buffers() const noexcept { return buffers_; }
    void Buffers(int32_t New_Buffers);
    int32_t Device() const noexcept { return device_; }
    void Device(int32_t New_Device);
    int32_t FilePointer() const;
    void FilePointer(int32_t New_FilePointer);
    bool Playing() const noexcept { return playing_; }
    void Playing(bool New_Playing);
    int32_t BlockCount() const noexcept { return blockCount_; }
    void BlockCount(int32_t New_BlockCount);
    int32_t MissedCount() const;
    void MissedCount(int32_t New_MissedCount);
    int32_t MaxAmplitudeL() const;
    int32_t MaxAmplitudeR() const;
    double MaxFrequencyL() const;
    double MaxFrequencyR() const;
    platform::Variant Sequence() const { return sequence_; }
    void Sequence(const platform::Variant& New_Sequence);
    int32_t Devices() const noexcept { return devices_; }
    void Devices(int32_t New_Devices);

    // Data access: the host's arrays are replaced by copies.
    int32_t WaveData(platform::BoundedArray<int16_t>& Data, int32_t Channel);
    int32_t Spectrum(platform::BoundedArray<float>& SpecData, int32_t Channel);
    int32_t RawData(platform::BoundedArray<int16_t>& WaveData, int32_t BufferIndex);
    int32_t Peaks(platform::BoundedArray<float>& PeakData, int32_t Channel);
    // Transforms the host's samples (the largest power of two that fits, on a log scale)
    // into SpecData and returns the strongest bin above 0 (0 when no bin is above 0).
    int32_t DoFFT(platform::BoundedArray<int16_t>& WaveData,
                  platform::BoundedArray<float>& SpecData);
    int32_t AddTrigger(int32_t Index, double F1, double F2, float Threshold);
    float AnalysisTime(int32_t nCycles, int32_t Typ = 0);
    void ExportData();

    // Child objects, for hosts that draw the lamp or drive the loop themselves.
    platform::Label& lSub() noexcept { return lSub_; }
    platform::UiTimer& Timer1() noexcept { return timer1_; }
    platform::TextBox& txtMsg() noexcept { return txtMsg_; }
    platform::TextBox& txtSub() noexcept { return txtSub_; }
    platform::TextBox& txtTim() noexcept { return txtTim_; }
    // The engine, created on first use.
    engine::clsAurel& Engine();

  private:
    void RefuseAtDesignTime() const;
    void RefuseAlways() const;
    void Changed(const std::string& name);
    void PushSettings();
    void OnMailbox();
    void OnKeyUp(int16_t& keyCode, int16_t& shift);
    void OnTimerTick();
    void RaiseChangedSamples(int32_t OldSamples);
    void RaiseTriggers();
    void RaiseTriggersOff();

    platform::PropertyContainer& container_;
    AurelEvents* events_ = nullptr;

    platform::Label lSub_;
    platform::UiTimer timer1_;
    platform::TextBox txtMsg_;
    platform::TextBox txtSub_;
    platform::TextBox txtTim_;
    std::unique_ptr<engine::clsAurel> engine_;
    platform::BoundedArray<std::string> deviceNames_;
    int32_t lampToggle_ = 0;
    int32_t lastTriggerCount_ = 0;
    platform::BoundedArray<int32_t> triggerList_;  // kept: its storage serves every block
    bool raisingTriggers_ = false;

    int32_t sps_ = 0;
    int16_t bips_ = 0;
    int16_t channels_ = 0;
    int32_t samples_ = 0;
    int32_t dataPointer_ = 0;
    int16_t loopMethod_ = 0;
    float threshold_ = 0.0f;
    int32_t timerInterval_ = 0;
    int32_t analysis_ = 0;
    double samplingTime_ = 0.0;
    std::string fileName_;
    int32_t maxRecordingTime_ = 0;
    bool recording_ = false;
    int32_t buffers_ = 0;
    int32_t device_ = 0;
    int32_t filePointer_ = 0;
    bool playing_ = false;
    int32_t blockCount_ = 0;
    platform::Variant sequence_;
    int32_t devices_ = 0;
};

}  // namespace aurelix::control
