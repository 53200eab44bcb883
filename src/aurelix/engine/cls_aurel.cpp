#include "aurelix/engine/cls_aurel.h"

#include <exception>
#include <filesystem>
#include <optional>

#include "aurelix/analysis/fit_samples.h"
#include "aurelix/platform/runtime/clock.h"
#include "aurelix/platform/runtime/message_box.h"
#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/windows/window.h"
#include "aurelix/state/channel_copies.h"
#include "aurelix/state/engine_state.h"

namespace aurelix::engine {

using platform::err::kObjectNotSet;

clsAurel::clsAurel(clsAurelEvents* events) : events_(events) {
    auto& state = state::State();
    if (!state.HostedByControl) {
        host_ = std::make_unique<EngineHost>();
        host_->Hide();
        platform::DoEvents();
        if (host_->hwnd() != 0) {
            state.Timer = &host_->Timer1;
            state.EngineObject = this;
        }
    }
    triggers_.ReDim(0, 0);
}

void clsAurel::Terminate() {
    if (terminated_) {
        return;
    }
    terminated_ = true;
    auto& state = state::State();
    std::optional<platform::RuntimeError> failure;
    try {
        Reset();
    } catch (const platform::RuntimeError& error) {
        failure = error;
    }
    flashControl_.reset();
    flashPointer_ = nullptr;
    if (host_) {
        if (state.Timer == &host_->Timer1) {
            state.Timer = nullptr;
        }
        if (state.Lamp == &host_->lSub) {
            state.Lamp = nullptr;
        }
        if (state.EngineObject == this) {
            state.EngineObject = nullptr;
        }
        host_.reset();
    }
    if (failure && failure->Number() != kObjectNotSet &&
        failure->Number() != platform::err::kObjectRequired) {
        platform::PassOn(*failure, state.ErrorText, "Sub Class_Terminate in clsAurel");
    }
}

clsAurel::~clsAurel() {
    try {
        Terminate();
    } catch (const platform::RuntimeError& error) {
        // A destructor cannot pass an error on; the host still learns of it.
        platform::MsgBox(std::to_string(error.Number()) + ": " + error.Description(),
                         platform::kMsgBoxCritical, "Aurelix");
    }
}

void clsAurel::FlashControl(std::shared_ptr<platform::Label> New_FlashControl) {
    flashPointer_ = New_FlashControl.get();
    flashControl_ = std::move(New_FlashControl);
}

void clsAurel::RaiseChangedSamples(int32_t OldSamples) {
    if (events_ != nullptr) {
        events_->ChangedSamples(OldSamples);
    }
}

void clsAurel::Analysis(int32_t New_Analysis) {
    analysis_ = New_Analysis;
    const int32_t previous = samples_;
    samples_ = analysis::FitSamples(samples_, analysis_);
    if (samples_ != previous) {
        RaiseChangedSamples(previous);
    }
    auto& state = state::State();
    state.BlockSamples = samples_;
    state.AnalysisFlags = analysis_;
}

void clsAurel::Samples(int32_t New_Samples) {
    const int32_t requested = New_Samples < 1 ? 1 : New_Samples;
    samples_ = analysis::FitSamples(requested, analysis_);
    if (samples_ != requested) {
        RaiseChangedSamples(requested);
    }
    state::State().BlockSamples = samples_;
}

int32_t clsAurel::FilePointer() const {
    return state::State().FilePosition;
}

void clsAurel::LoopMethod(int16_t New_LoopMethod) {
    loopMethod_ = New_LoopMethod;
    state::State().LoopMode = New_LoopMethod;
}

int32_t clsAurel::MaxAmplitudeL() const {
    return state::State().MaxAmplitudeL;
}
int32_t clsAurel::MaxAmplitudeR() const {
    return state::State().MaxAmplitudeR;
}
double clsAurel::MaxFrequencyL() const {
    return state::State().MaxFrequencyL;
}
double clsAurel::MaxFrequencyR() const {
    return state::State().MaxFrequencyR;
}
int32_t clsAurel::MissedCount() const {
    return state::State().MissedCount;
}
void clsAurel::MissedCount(int32_t New_MissedCount) {
    state::State().MissedCount = New_MissedCount;
}

void clsAurel::Recording(bool New_Recording) {
    recording_ = New_Recording;
    if (New_Recording && fileName_.empty()) {
        fileName_ = (std::filesystem::path(platform::LibraryFolder()) / "Recording.wav").string();
    }
}

double clsAurel::SamplingTime() {
    if (sps_ > 0) {
        samplingTime_ = static_cast<double>(samples_) * 1000.0 / sps_;
    }
    return samplingTime_;
}

platform::BoundedArray<int32_t> clsAurel::Sequence() const {
    return state::State().Sequence;
}

void clsAurel::SPS(int32_t New_SPS) {
    sps_ = New_SPS;
    state::State().SampleRate = New_SPS;
}

int32_t clsAurel::Status() const {
    return state::State().Status;
}

float clsAurel::Threshold() {
    threshold_ = static_cast<float>(state::State().ThresholdLevel / 320.0);
    return threshold_;
}

void clsAurel::Threshold(float New_Threshold) {
    threshold_ = New_Threshold;
    state::State().ThresholdLevel = state::ThresholdLevelOf(New_Threshold);
}

int32_t clsAurel::TimerInterval() {
    auto* timer = state::State().Timer;
    if (timer == nullptr) {
        platform::Raise(kObjectNotSet);
    }
    timerInterval_ = timer->Interval();
    return timerInterval_;
}

void clsAurel::TimerInterval(int32_t New_TimerInterval) {
    timerInterval_ = New_TimerInterval;
    if (auto* timer = state::State().Timer) {
        timer->Interval(New_TimerInterval);
    }
}

int32_t clsAurel::WaveData(platform::BoundedArray<int16_t>& Data, int32_t Channel) {
    return state::CopyWaveData(Data, Channel, channels_, "Property Get WaveData in clsAurel");
}

int32_t clsAurel::Spectrum(platform::BoundedArray<float>& SpecData, int32_t Channel) {
    return state::CopySpectrumData(SpecData, Channel, channels_,
                                   "Property Get Spectrum in clsAurel");
}

int32_t clsAurel::Peaks(platform::BoundedArray<float>& PeakData, int32_t Channel) {
    auto& state = state::State();
    if (!state.PeaksBusy) {
        auto& source = Channel == 1 ? state.PeaksL : state.PeaksR;
        PeakData = source;
        source.ReDim(0, 1);
    }
    return 0;
}

std::string clsAurel::Version() {
    const auto version = platform::GetLibraryVersion();
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.revision);
}

}  // namespace aurelix::engine
