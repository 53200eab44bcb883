#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "aurelix/engine/cls_aurel.h"
#include "aurelix/platform/wave/manual_wave_device.h"
#include "aurelix/platform/windows/label.h"
#include "aurelix/platform/windows/text_box.h"
#include "aurelix/platform/windows/ui_timer.h"
#include "aurelix/platform/windows/window.h"
#include "aurelix/state/engine_state.h"
#include "support/temp_folder.h"

namespace aurelix::testing {

struct CaptureSettings {
    int32_t sps = 8000;
    int16_t channels = 1;
    int32_t samples = 1000;
    int32_t buffers = 4;
    int16_t loopMethod = 1;
    int32_t analysis = 0;
    bool analysisOff = true;  // AnalysisFlags 999 after the opening: no per-block analysis
    std::string file{};       // recording file; empty: no recording
    int32_t maxRecordingTime = 0;
};

// What a control gives the engine, on the calling thread: the three message windows, a
// lamp, a timer, plus a manual capture device and the mailbox words received. Build it on
// a fresh thread (OnFreshThread) so that EngineState starts zeroed.
class PipelineHost {
  public:
    PipelineHost() {
        state::State().HostedByControl = true;
        engine = std::make_unique<engine::clsAurel>();
        state::State().Lamp = &lamp;
        state::State().Timer = &timer;
        txtMsg.OnChange([this] {
            const std::string word = txtMsg.Text();
            if (word.empty())
                return;
            mail.push_back(word);
            txtMsg.SetText("");  // so that the same word is seen again
        });
    }
    void Configure(const CaptureSettings& s, uint32_t device) {
        settings = s;
        engine->Bips(16);
        engine->Channels(s.channels);
        engine->SPS(s.sps);
        engine->Analysis(s.analysis);
        engine->Samples(s.samples);
        engine->Buffers(s.buffers);
        engine->LoopMethod(s.loopMethod);
        engine->Device(int32_t(device));
        engine->FileName(s.file);
        engine->MaxRecordingTime(s.maxRecordingTime);
        engine->Recording(!s.file.empty());
    }
    std::optional<int32_t> Open(int32_t kind = 1) {
        auto result = engine->InitX(txtMsg.hwnd(), txtSub.hwnd(), txtTim.hwnd(), kind);
        if (settings.analysisOff)
            state::State().AnalysisFlags = 999;
        return result;
    }
    // Configures for the manual input, opens and starts.
    void StartCapture(const CaptureSettings& s) {
        Configure(s, *input.DeviceId());
        Open();
        engine->Start();
    }
    // The device fills its oldest queued buffer; the notification is then dispatched.
    bool Deliver(const std::vector<int16_t>& samples) {
        const bool filled = input.Fill(samples);
        platform::DoEvents();
        return filled;
    }
    int Count(const std::string& w) const { return int(std::count(mail.begin(), mail.end(), w)); }

    platform::Label lamp;
    platform::UiTimer timer;
    platform::TextBox txtMsg, txtSub, txtTim;
    platform::ManualWaveInput input{"Pipeline input"};
    std::vector<std::string> mail;
    CaptureSettings settings;
    std::unique_ptr<engine::clsAurel> engine;  // last: its Reset needs the windows
};

// Block `index` (1-based) of `samples` samples, distinct from every other block.
inline std::vector<int16_t> TestBlock(int32_t index, int32_t samples) {
    std::vector<int16_t> block(static_cast<size_t>(samples));
    for (int32_t i = 0; i < samples; ++i)
        block[size_t(i)] = int16_t(index * 1000 + i % 997 - 16000);
    return block;
}

template <class T>
T Field(const std::string& bytes, size_t offset) {
    T value{};
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

inline std::vector<int16_t> AsSamples(const std::string& bytes, size_t from = 0) {
    std::vector<int16_t> samples((bytes.size() - from) / 2);
    std::memcpy(samples.data(), bytes.data() + from, samples.size() * 2);
    return samples;
}

}  // namespace aurelix::testing
