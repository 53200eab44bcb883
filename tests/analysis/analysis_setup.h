#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "aurelix/analysis/bit_reverse.h"
#include "aurelix/platform/windows/label.h"
#include "aurelix/platform/windows/text_box.h"
#include "aurelix/state/engine_state.h"

namespace aurelix::analysis::testing {

// EngineState as the device opening leaves it for `channels` x n samples in a ring of
// `buffers` (records 1..buffers, all blocks 0 and not analysed).
inline void OpenForAnalysis(int32_t n, int32_t sps, int16_t channels, int32_t buffers,
                            int32_t flags) {
    auto& state = state::State();
    state.BlockSamples = n;
    state.SampleRate = sps;
    state.ChannelCount = channels;
    state.BufferCount = buffers;
    state.AnalysisFlags = flags;
    state.BlockRecords.ReDim(1, buffers);
    for (int32_t i = 1; i <= buffers; ++i) {
        state.BlockRecords(i).Left.ReDim(0, n - 1);
        if (channels == 2)
            state.BlockRecords(i).Right.ReDim(0, n - 1);
    }
    state.SpectrumL.ReDim(0, n - 1);
    state.WaveL.ReDim(0, n - 1);
    if (channels == 2) {
        state.SpectrumR.ReDim(0, n - 1);
        state.WaveR.ReDim(0, n - 1);
    }
    state.PeaksL.ReDim(0, 0);
    state.Sequence.ReDim(1, 100);
    if (flags != 0)
        InitBitReverse(n, 0);
}

inline std::vector<int16_t> Sine(int32_t n, double hz, double sps, double amplitude,
                                 double offset = 0.0) {
    std::vector<int16_t> samples(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        samples[size_t(i)] = int16_t(
            std::lround(offset + amplitude * std::sin(2.0 * std::numbers::pi * hz * i / sps)));
    }
    return samples;
}

// Ring buffer `buffer` as the buffer cycle leaves it after capturing block `block`.
inline void FillBuffer(int32_t buffer, int32_t block, const std::vector<int16_t>& left,
                       const std::vector<int16_t>& right = {}) {
    auto& record = state::State().BlockRecords(buffer);
    record.BlockNumber = block;
    record.Analyzed = 0;
    for (size_t i = 0; i < left.size(); ++i)
        record.Left(int32_t(i)) = left[i];
    for (size_t i = 0; i < right.size(); ++i)
        record.Right(int32_t(i)) = right[i];
}

// The control's end of the mailbox and the status lamp: records what arrives, and empties
// the text after each message as the control's handler does.
struct ControlSide {
    platform::TextBox mailbox;
    platform::Label lamp;
    std::vector<std::string> texts;
    std::vector<int32_t> keys;
    std::vector<int32_t> colours;
    std::function<void(const std::string&)> onText;

    ControlSide() {
        mailbox.OnChange([this] {
            const std::string text = mailbox.Text();
            if (text.empty())
                return;
            texts.push_back(text);
            if (onText)
                onText(text);
            mailbox.SetText("");
        });
        mailbox.OnKeyUp([this](int16_t& keyCode, int16_t&) { keys.push_back(keyCode); });
        lamp.OnRefresh([this](int32_t colour) { colours.push_back(colour); });
        state::State().MailboxWindow = mailbox.hwnd();
        state::State().Lamp = &lamp;
    }
    // An engine that outlives us resets the lamp when it goes.
    ~ControlSide() { state::State().Lamp = nullptr; }
};

}  // namespace aurelix::analysis::testing
