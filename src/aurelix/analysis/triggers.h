#pragma once

#include <cstdint>

#include "aurelix/platform/runtime/bounded_array.h"
#include "aurelix/state/trigger_record.h"

namespace aurelix::analysis {

// Writes trigger `index` (band F1..F2 Hz, level threshold x 320, active), growing the
// table with zero records when index is beyond it. Bins stay as they were until the next
// InitTriggers. A negative index raises Subscript out of range.
void SetTrigger(platform::BoundedArray<state::TriggerRecord>& table, int32_t index, double f1,
                double f2, float threshold);

// Aligns the bands of triggers 1..upper to whole spectrum bins of width sps / samples:
// Bin1/Bin2 are the bins holding F1/F2, F1 becomes the start of Bin1 and F2 the end of
// Bin2 (less 1e-10). Errors are passed on as "Function InitTriggers in Aurelix".
void InitTriggers(platform::BoundedArray<state::TriggerRecord>& table, int32_t sps,
                  int32_t samples);

// Lists the triggers 1..upper whose level is reached in `spectrum`, once per bin
// Bin1..Bin2 at or above it, in ascending trigger and bin order: list gets indexes
// 0..count-1 (just {0} when none). Returns the count. A bin beyond the spectrum raises
// Subscript out of range and leaves `list` alone.
int32_t ListActiveTriggers(const platform::BoundedArray<state::TriggerRecord>& table,
                           const platform::BoundedArray<float>& spectrum,
                           platform::BoundedArray<int32_t>& list);

}  // namespace aurelix::analysis
