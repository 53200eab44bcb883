#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "aurelix/platform/runtime/bounded_array.h"
#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/windows/label.h"
#include "aurelix/platform/windows/ui_timer.h"
#include "aurelix/platform/windows/window.h"
#include "aurelix/state/block_record.h"
#include "aurelix/state/wav_header.h"
#include "aurelix/timing/cls_x_timer.h"

namespace aurelix::state {

// The state shared by the engine, the capture pipeline, the analysis and the control.
// One per thread that uses the library (all controls and engines of a thread share one
// device, one ring and one set of results), zero-initialised. Only the owning thread
// touches it; the multimedia timer's thread reads AnalysisBusy alone.
struct EngineState {
    // Device, format and ring.
    uint32_t WaveHandle = 0;
    int32_t DeviceMode = 0;  // 0 none, 1 capture, 2 playback
    platform::WAVEFORMATEX WaveFormat{};
    platform::BoundedArray<platform::WAVEHDR> WaveHeaders;
    platform::BoundedArray2D<int16_t> BufferData;
    int32_t BlockSamples = 0;
    int32_t SampleRate = 0;
    int16_t ChannelCount = 0;
    int32_t BufferCount = 0;
    int32_t InDeviceCount = 0;
    int32_t Status = 0;  // 1 device confirmed open, 2 handle held, 4 running

    // Run control and ring cursor.
    int32_t CurrentBuffer = 0;
    int32_t CallbackBuffer = 0;
    int32_t NotifyCount = 0;
    uint32_t TimerId = 0;
    int32_t TimerPeriod = 0;
    int32_t Backlog = 0;
    int32_t BacklogLimit = 0;
    int32_t BacklogMin = 0;
    int32_t PlayPrimed = 0;
    int32_t PlayCounter = 0;
    float StartTime = 0.0f;
    std::unique_ptr<timing::clsXTimer> Stopwatch;  // created on first use
    int32_t BlocksDone = 0;
    int32_t LastAnalyzedBlock = 0;
    int32_t MissedCount = 0;
    double LastBlockTime = 0.0;
    int32_t CallbackDepth = 0;
    std::atomic<bool> AnalysisBusy{false};  // read by the multimedia timer's thread
    bool ResettingForInit = false;

    // Analysis settings and results.
    int32_t AnalysisFlags = 0;
    int32_t LoopMode = 0;
    int32_t ThresholdLevel = 0;
    int32_t MaxAmplitudeL = 0;
    int32_t MaxAmplitudeR = 0;
    double MaxFrequencyL = 0.0;
    double MaxFrequencyR = 0.0;
    platform::BoundedArray<int16_t> WaveL;
    platform::BoundedArray<int16_t> WaveR;
    platform::BoundedArray<int16_t> InterleavedBlock;
    platform::BoundedArray<float> SpectrumL;
    platform::BoundedArray<float> SpectrumR;
    platform::BoundedArray<float> PeaksL;
    platform::BoundedArray<float> PeaksR;
    bool PeaksBusy = false;
    platform::BoundedArray<state::BlockRecord> BlockRecords;
    platform::BoundedArray<int32_t> Sequence;
    platform::BoundedArray<int32_t> BitReverse;
    int32_t BitReverseSize = 0;
    platform::BoundedArray<float> ExportSpectrum;
    int32_t LampPhase = 0;
    int32_t TriggerCount = 0;

    // Recording file.
    int32_t FileNumber = 0;
    int32_t FilePosition = 0;
    int32_t MaxFileBytes = 0;
    bool FileBusy = false;
    state::WavHeader WavHeader{};
    int64_t HeaderPosition = 0;  // the file position the header last described
    std::chrono::steady_clock::time_point HeaderWrittenAt{};

    // Windows, objects and errors.
    platform::HWND WaveWindow = 0;
    platform::HWND MailboxWindow = 0;
    platform::HWND TimerWindow = 0;
    platform::WindowProc OldWaveProc = nullptr;
    platform::WindowProc OldTimerProc = nullptr;
    int32_t SubclassMark = 0;
    platform::UiTimer* Timer = nullptr;  // the host's Timer1 (not owned)
    platform::Label* Lamp = nullptr;     // status lamp (not owned)
    const void* EngineObject = nullptr;  // the engine holding this thread's device, compared only
    bool HostedByControl = false;
    std::string ErrorText;
};

// This thread's state.
EngineState& State();

// ThresholdLevel for a threshold: levels are compared in sample units, 320 per threshold
// unit, rounded half to even (Overflow (6) when it does not fit).
inline int32_t ThresholdLevelOf(float threshold) {
    return platform::RoundToInt32(static_cast<double>(threshold) * 320.0);
}

// The shared stopwatch, created on first use.
timing::clsXTimer& Stopwatch();

}  // namespace aurelix::state
