#include "aurelix/analysis/calc_spectrum.h"

#include "aurelix/analysis/power_of_two.h"
#include "aurelix/analysis/real_fft_plan.h"
#include "aurelix/platform/runtime/runtime_error.h"

namespace aurelix::analysis {

using platform::Raise;
namespace err = platform::err;

void CalcSpectrum(const platform::BoundedArray<int16_t>& samples,
                  platform::BoundedArray<float>& spectrum,
                  const platform::BoundedArray<int32_t>& table, int32_t n) {
    if (!IsPowerOfTwo(n)) {
        Raise(err::kSubscriptOutOfRange);
    }
    if (n == 1) {
        Raise(err::kOverflow);
    }
    const int16_t* input = samples.Range(0, n - 1);
    table.Range(0, n - 1);
    spectrum.Range(0, n - 1);
    RealFftPlan& plan = RealFftPlan::ForLength(n);
    // Shrinking keeps the capacity: no allocation.
    spectrum.ReDim(0, n / 2 - 1);
    plan.Run(input, spectrum.data());
}

}  // namespace aurelix::analysis
