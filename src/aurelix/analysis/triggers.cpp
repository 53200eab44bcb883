#include "aurelix/analysis/triggers.h"

#include <cmath>
#include <new>

#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/state/engine_state.h"

namespace aurelix::analysis {

void SetTrigger(platform::BoundedArray<state::TriggerRecord>& table, int32_t index, double f1,
                double f2, float threshold) {
    if (index > table.Upper()) {
        try {
            table.ReDimPreserve(table.Lower(), index);
        } catch (const std::bad_alloc&) {
            platform::Raise(platform::err::kOutOfMemory);
        }
    }
    state::TriggerRecord& record = table(index);
    const float level = threshold * 320.0f;
    if (!std::isfinite(level)) {
        platform::Raise(platform::err::kOverflow);
    }
    record.F1 = f1;
    record.F2 = f2;
    record.Level = level;
    record.Active = -1;
}

void InitTriggers(platform::BoundedArray<state::TriggerRecord>& table, int32_t sps,
                  int32_t samples) {
    platform::Trapped(state::State().ErrorText, "Function InitTriggers in Aurelix", [&] {
        const double binWidth =
            platform::Divide(static_cast<double>(sps), static_cast<double>(samples));
        for (int32_t i = 1; i <= table.Upper(); ++i) {
            state::TriggerRecord& record = table(i);
            record.Bin1 = platform::FloorToInt32(platform::Divide(record.F1, binWidth));
            record.F1 = record.Bin1 * binWidth;
            record.Bin2 = platform::FloorToInt32(platform::Divide(record.F2, binWidth));
            record.F2 = (record.Bin2 + 1.0) * binWidth - 1e-10;
        }
    });
}

int32_t ListActiveTriggers(const platform::BoundedArray<state::TriggerRecord>& table,
                           const platform::BoundedArray<float>& spectrum,
                           platform::BoundedArray<int32_t>& list) {
    // Two passes over the bands, counting then listing, so that the list is re-dimensioned
    // once, in its own storage: no allocation per block.
    auto forEachHit = [&](auto&& hit) {
        for (int32_t i = 1; i <= table.Upper(); ++i) {
            const state::TriggerRecord& record = table(i);
            if (record.Bin1 > record.Bin2) {
                continue;
            }
            const float level = static_cast<float>(record.Level);
            const float* bins = spectrum.Range(record.Bin1, record.Bin2);
            for (int32_t k = 0; k <= record.Bin2 - record.Bin1; ++k) {
                if (bins[k] >= level) {
                    hit(i);
                }
            }
        }
    };
    int32_t count = 0;
    forEachHit([&count](int32_t) { ++count; });
    list.ReDim(0, count == 0 ? 0 : count - 1);
    int32_t* listed = list.data();
    forEachHit([&listed](int32_t i) { *listed++ = i; });
    return count;
}

}  // namespace aurelix::analysis
