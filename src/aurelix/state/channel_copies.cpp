#include "aurelix/state/channel_copies.h"

#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/state/engine_state.h"

namespace aurelix::state {

int32_t CopyWaveData(platform::BoundedArray<int16_t>& Data, int32_t Channel, int32_t channels,
                     std::string_view context) {
    auto& state = State();
    try {
        if (Channel == 1) {
            Data = state.WaveL;
        } else if (channels == 2) {
            Data = state.WaveR;
        }
        return Data.Upper() + 1;
    } catch (const platform::RuntimeError& error) {
        if (error.Number() == platform::err::kSubscriptOutOfRange) {
            return 0;  // no array to count
        }
        platform::PassOn(error, state.ErrorText, context);
    }
}

int32_t CopySpectrumData(platform::BoundedArray<float>& SpecData, int32_t Channel, int32_t channels,
                         std::string_view context) {
    auto& state = State();
    return platform::Trapped(state.ErrorText, context, [&] {
        if (Channel == 1) {
            SpecData = state.SpectrumL;
            return SpecData.Upper() + 1;
        }
        if (channels > 1) {
            SpecData = state.SpectrumR;
            return SpecData.Upper() + 1;
        }
        return 0;
    });
}

}  // namespace aurelix::state
