#include "aurelix/analysis/analyze.h"
#include "aurelix/capture/buffer_cycle.h"
#include "aurelix/capture/device_list.h"
#include "aurelix/control/aurel.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/windows/window.h"
#include "aurelix/state/engine_state.h"

namespace aurelix::control {

namespace {

constexpr int32_t kLampBright = 65280;
constexpr int32_t kLampDark = 32000;

}  // namespace

Aurel::Aurel(platform::PropertyContainer& container, AurelEvents* events)
    : container_(container), events_(events) {
    txtMsg_.OnChange([this] { OnMailbox(); });
    txtMsg_.OnKeyUp([this](int16_t& keyCode, int16_t& shift) { OnKeyUp(keyCode, shift); });
    timer1_.OnTick([this] { OnTimerTick(); });

    auto& state = state::State();
    platform::Trapped(state.ErrorText, "Sub UserControl_Initialize in Aurelix", [&] {
        state.HostedByControl = true;
        devices_ = capture::GetWavDevices(deviceNames_);
        state.Timer = &timer1_;
    });
}

Aurel::~Aurel() {
    platform::DoEvents();
    // The engine's own termination resets the device; then nothing in the shared state
    // may point at this control's children any more.
    engine_.reset();
    auto& state = state::State();
    if (state.Timer == &timer1_) {
        state.Timer = nullptr;
    }
    if (state.Lamp == &lSub_) {
        state.Lamp = nullptr;
    }
}

engine::clsAurel& Aurel::Engine() {
    if (!engine_) {
        engine_ = std::make_unique<engine::clsAurel>();
    }
    return *engine_;
}

void Aurel::Resize(int32_t width, int32_t height) {
    lSub_.Move(0, 0, width, height);
}

void Aurel::PushSettings() {
    auto& engine = Engine();
    engine.Bips(bips_);
    engine.Channels(channels_);
    engine.SPS(sps_);
    engine.Samples(samples_);
    engine.Analysis(analysis_);
    engine.BlockCount(blockCount_);
    engine.FilePointer(filePointer_);
    engine.Buffers(buffers_);
    engine.Devices(devices_);
    engine.Device(device_);
    engine.FileName(fileName_);
    engine.MaxRecordingTime(maxRecordingTime_);
    engine.SamplingTime(samplingTime_);
    engine.TimerInterval(timerInterval_);
    engine.Threshold(threshold_);
    engine.LoopMethod(loopMethod_);
    engine.DataPointer(dataPointer_);
    engine.Recording(recording_);
}

int32_t Aurel::Init(int32_t Typ) {
    auto& state = state::State();
    state.Lamp = &lSub_;
    platform::DoEvents();
    PushSettings();
    state.Lamp = &lSub_;
    platform::DoEvents();
    Engine().InitX(txtMsg_.hwnd(), txtSub_.hwnd(), txtTim_.hwnd(), Typ);
    return 0;
}

int32_t Aurel::Start() {
    return Engine().Start();
}

platform::Variant Aurel::Pause() {
    Engine().Pause();
    return {};
}

int32_t Aurel::Reset() {
    return Engine().Reset();
}

void Aurel::SetOneShot(int32_t t) {
    capture::NextBuffer(t);
}

std::string Aurel::Version() const {
    return engine::clsAurel::Version();
}

void Aurel::OnTimerTick() {
    auto& state = state::State();
    if ((state.Status & 6) != 6) {
        return;
    }
    platform::Trapped(state.ErrorText, "Sub Timer1_Timer in Aurelix", [&] {
        if (!state.AnalysisBusy) {
            capture::CopyBuffer(0, 1);
            analysis::Analyze(0, 1);
        }
        platform::DoEvents();
        capture::NextBuffer(0);
        if (events_ != nullptr) {
            events_->Complete(0, 0, 0.0);
        }
        const bool bright = lampToggle_ != 1;
        lampToggle_ = bright ? 1 : 0;
        if (auto* lamp = state.Lamp) {
            lamp->BackColor(bright ? kLampBright : kLampDark);
            lamp->Refresh();
        }
    });
}

}  // namespace aurelix::control
