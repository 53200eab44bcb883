#pragma once

#include <cstdint>

namespace aurelix::state {

// One frequency band of the trigger table. F1/F2 are the band edges in Hz until the
// device is opened, then aligned to whole bins Bin1..Bin2.
struct TriggerRecord {
    double F1 = 0.0;
    double F2 = 0.0;
    int32_t Bin1 = 0;
    int32_t Bin2 = 0;
    double Level = 0.0;  // spectrum units (Threshold x 320)
    int16_t Active = 0;  // 0 or -1
};

}  // namespace aurelix::state
