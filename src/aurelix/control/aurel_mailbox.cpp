#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>
#include <utility>

#include "aurelix/control/aurel.h"
#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/platform/runtime/variant.h"
#include "aurelix/state/engine_state.h"

namespace aurelix::control {

namespace {

// Token `index` of the text split at every single space (two adjacent spaces give an
// empty token); empty beyond the last. Found in place: a message allocates nothing.
std::string_view Token(std::string_view text, size_t index) {
    size_t begin = 0;
    for (; index > 0; --index) {
        const size_t space = text.find(' ', begin);
        if (space == std::string_view::npos) {
            return {};
        }
        begin = space + 1;
    }
    return text.substr(begin, text.find(' ', begin) - begin);
}

std::string Lower(std::string_view word) {
    std::string lower(word);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// A numeric argument: its leading number rounded half to even (missing tokens give 0).
int32_t Argument(std::string_view text, size_t index) {
    const std::string_view token = Token(text, index);
    return platform::RoundToInt32(platform::LeadingNumber(token));
}

}  // namespace

void Aurel::OnMailbox() {
    const std::string text = txtMsg_.Text();
    if (text.empty()) {
        return;  // the empty message matches no word; clearing it again changes nothing
    }
    const std::string word = Lower(Token(text, 0));
    auto& state = state::State();

    if (word == "analyzed") {
        const int32_t block = Argument(text, 1);
        const int32_t buffer = Argument(text, 2);
        if (state.CallbackDepth < 2 && events_ != nullptr) {
            events_->Complete(block, buffer, 0.0);
        }
        ++state.NotifyCount;
    } else if (word == "next") {
        if ((state.Status & 3) == 3 && state.BufferCount > 1) {
            ++state.NotifyCount;
        }
    } else if (word == "donerecording") {
        if (events_ != nullptr) {
            events_->DoneRecordig();
        }
    } else if (word == "doneplay") {
        Reset();
    } else if (word == "start") {
        if (events_ != nullptr) {
            events_->WaveDeviceOpened(static_cast<int32_t>(state.WaveHandle));
        }
    } else if (word == "closed") {
        if (events_ != nullptr) {
            events_->WaveDeviceClosed(static_cast<int32_t>(state.WaveHandle));
        }
    } else if (word == "changedsamples") {
        RaiseChangedSamples(Argument(text, 1));
    } else if (word == "triggers") {
        RaiseTriggers();
    } else if (word == "triggersoff") {
        RaiseTriggersOff();
    }
    txtMsg_.SetText("");
}

void Aurel::RaiseTriggers() {
    // The list keeps its storage from block to block. A handler that pumps messages can
    // re-enter here while it still reads its list: the nested event gets a list of its own.
    platform::BoundedArray<int32_t> nestedList;
    platform::BoundedArray<int32_t>& triggers = raisingTriggers_ ? nestedList : triggerList_;
    struct Raising {
        bool& flag;
        const bool outer = std::exchange(flag, true);
        ~Raising() { flag = outer; }
    } raising{raisingTriggers_};
    const int32_t n = Engine().GetTriggers(triggers);
    if (n <= 0) {
        RaiseTriggersOff();
        return;
    }
    lastTriggerCount_ = n;
    if (events_ != nullptr) {
        events_->FrequencyTrigger(n, triggers);
    }
}

void Aurel::RaiseTriggersOff() {
    if (lastTriggerCount_ > 0) {
        lastTriggerCount_ = 0;
        if (events_ != nullptr) {
            events_->FrequencyTriggersOff();
        }
    }
}

void Aurel::OnKeyUp(int16_t& keyCode, int16_t& shift) {
    auto& state = state::State();
    state::Stopwatch().Stopp();
    shift = 0;
    const int32_t kind = static_cast<int16_t>(keyCode & 0xFF00) / 256;
    const int32_t buffer = keyCode & 0xFF;
    keyCode = 0;
    if (events_ == nullptr) {
        return;
    }
    if (kind == 1) {
        events_->Complete(state.LastAnalyzedBlock, buffer, state.LastBlockTime);
    } else if (kind == 2) {
        events_->MissedBuffer(state.BlocksDone, buffer, state.LastBlockTime);
    }
}

}  // namespace aurelix::control
