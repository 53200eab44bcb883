#include <filesystem>

#include "aurelix/analysis/fit_samples.h"
#include "aurelix/control/aurel.h"
#include "aurelix/platform/runtime/clock.h"
#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/state/engine_state.h"

namespace aurelix::control {

using platform::err::kSetNotPermitted;
using platform::err::kSetNotSupportedAtRuntime;
using platform::err::kSubscriptOutOfRange;

void Aurel::RefuseAtDesignTime() const {
    if (!container_.UserMode()) {
        platform::Raise(kSetNotPermitted);
    }
}

void Aurel::RefuseAlways() const {
    RefuseAtDesignTime();
    platform::Raise(kSetNotSupportedAtRuntime);
}

void Aurel::Changed(const std::string& name) {
    container_.PropertyChanged(name);
}

void Aurel::RaiseChangedSamples(int32_t OldSamples) {
    if (events_ != nullptr) {
        events_->ChangedSamples(OldSamples);
    }
}

void Aurel::SPS(int32_t New_SPS) {
    sps_ = New_SPS;
    state::State().SampleRate = New_SPS;
    Changed("SpS");
}

void Aurel::Bips(int16_t New_Bips) {
    bips_ = New_Bips;
    Changed("Bips");
}

void Aurel::Channels(int16_t New_Channels) {
    channels_ = New_Channels;
    Changed("Channels");
}

void Aurel::Samples(int32_t New_Samples) {
    const int32_t requested = New_Samples < 1 ? 1 : New_Samples;
    samples_ = analysis::FitSamples(requested, analysis_);
    if (samples_ != requested) {
        RaiseChangedSamples(requested);
    }
    state::State().BlockSamples = samples_;
    Changed("Samples");
}

void Aurel::DataPointer(int32_t New_DataPointer) {
    RefuseAtDesignTime();
    dataPointer_ = New_DataPointer;
    Changed("DataPointer");
}

void Aurel::LoopMethod(int16_t New_LoopMethod) {
    loopMethod_ = New_LoopMethod;
    state::State().LoopMode = New_LoopMethod;
    Changed("LoopMethod");
}

float Aurel::Threshold() {
    threshold_ = static_cast<float>(state::State().ThresholdLevel / 320.0);
    return threshold_;
}

void Aurel::Threshold(float New_Threshold) {
    threshold_ = New_Threshold;
    Engine().Threshold(New_Threshold);
    Changed("Threshold");
}

void Aurel::TimerInterval(int32_t New_TimerInterval) {
    timerInterval_ = New_TimerInterval;
    timer1_.Interval(New_TimerInterval);
    Changed("TimerInterval");
}

void Aurel::Analysis(int32_t New_Analysis) {
    const int32_t previous = samples_;
    analysis_ = New_Analysis;
    samples_ = analysis::FitSamples(previous, analysis_);
    if (samples_ != previous) {
        RaiseChangedSamples(previous);
    }
    auto& state = state::State();
    state.BlockSamples = samples_;
    state.AnalysisFlags = analysis_;
    Changed("Analysis");
}

double Aurel::SamplingTime() {
    samplingTime_ = platform::Divide(static_cast<double>(samples_) * 1000.0, sps_);
    return samplingTime_;
}

void Aurel::SamplingTime(double) {
    RefuseAlways();
}

int32_t Aurel::Status() const {
    return state::State().Status;
}

void Aurel::FileName(const std::string& New_FileName) {
    fileName_ = New_FileName;
    Changed("FileName");
}

void Aurel::MaxRecordingTime(int32_t New_MaxRecordingTime) {
    maxRecordingTime_ = New_MaxRecordingTime;
    Changed("MaxRecordingTime");
}

void Aurel::Recording(bool New_Recording) {
    RefuseAtDesignTime();
    recording_ = New_Recording;
    if (New_Recording && fileName_.empty()) {
        fileName_ = (std::filesystem::path(platform::LibraryFolder()) / "Recording.wav").string();
    }
    Changed("Recording");
}

int32_t Aurel::DeviceHandle() const {
    return static_cast<int32_t>(state::State().WaveHandle);
}

std::string Aurel::DeviceName(int32_t Index) const {
    try {
        if (Index > deviceNames_.Upper()) {
            return "";
        }
        return deviceNames_(Index);
    } catch (const platform::RuntimeError& error) {
        if (error.Number() == kSubscriptOutOfRange) {
            return "";
        }
        platform::PassOn(error, state::State().ErrorText, "Property DeviceName in Aurelix");
    }
}

void Aurel::Buffers(int32_t New_Buffers) {
    buffers_ = New_Buffers;
    Changed("Buffers");
}

void Aurel::Device(int32_t New_Device) {
    RefuseAtDesignTime();
    device_ = New_Device;
    Changed("Device");
}

int32_t Aurel::FilePointer() const {
    return state::State().FilePosition;
}
void Aurel::FilePointer(int32_t) {
    RefuseAlways();
}
void Aurel::Playing(bool) {
    RefuseAlways();
}

void Aurel::BlockCount(int32_t New_BlockCount) {
    RefuseAtDesignTime();
    blockCount_ = New_BlockCount;
    Changed("BlockCount");
}

int32_t Aurel::MissedCount() const {
    return state::State().MissedCount;
}

void Aurel::MissedCount(int32_t New_MissedCount) {
    RefuseAtDesignTime();
    state::State().MissedCount = New_MissedCount;
    Changed("MissedCount");
}

int32_t Aurel::MaxAmplitudeL() const {
    return state::State().MaxAmplitudeL;
}
int32_t Aurel::MaxAmplitudeR() const {
    return state::State().MaxAmplitudeR;
}
double Aurel::MaxFrequencyL() const {
    return state::State().MaxFrequencyL;
}
double Aurel::MaxFrequencyR() const {
    return state::State().MaxFrequencyR;
}

void Aurel::Sequence(const platform::Variant& New_Sequence) {
    RefuseAtDesignTime();
    sequence_ = New_Sequence;
    Changed("Sequence");
}

void Aurel::Devices(int32_t) {
    RefuseAlways();
}

}  // namespace aurelix::control
