#pragma once

#include <cstdint>
#include <vector>

namespace aurelix::platform::wave_driver {

// sin(2 pi fmod(f k, rate) / rate) for frame k, the simulated inputs' formula, computed
// once per distinct phase. For a whole-number frequency, f k is exact in double while it
// stays below 2^53, so fmod gives the exact residue (f k) mod rate, which takes only the
// rate / gcd(f, rate) multiples of gcd(f, rate): one period of the signal. Each residue's
// value is computed by the formula itself the first time it comes and kept, so what is
// returned is bit for bit what the formula gives. Other frequencies, and frames beyond
// the exact range, use the formula directly.
class ToneSine {
  public:
    ToneSine(double frequency, uint32_t rate);

    // Cheapest when called for consecutive frames.
    double At(uint64_t k);

    double Frequency() const noexcept { return frequency_; }

    // The formula itself.
    static double Formula(double frequency, uint64_t k, double rate);

  private:
    const double frequency_;
    const uint32_t rate_;
    bool periodic_ = false;
    uint64_t wholeFrequency_ = 0;
    uint64_t step_ = 0;            // wholeFrequency_ mod rate
    uint64_t spacing_ = 1;         // gcd(wholeFrequency_, rate): the residues' spacing
    uint64_t lastExactFrame_ = 0;  // f k stays below 2^53 up to here
    uint64_t nextFrame_ = 0;
    uint64_t residue_ = 0;        // (f nextFrame_) mod rate
    std::vector<double> period_;  // by residue / spacing_; NaN until first computed
};

}  // namespace aurelix::platform::wave_driver
