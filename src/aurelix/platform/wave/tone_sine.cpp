#include "aurelix/platform/wave/tone_sine.h"

#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>

namespace aurelix::platform::wave_driver {

namespace {

constexpr uint64_t kExactIntegers = uint64_t(1) << 53;

}  // namespace

double ToneSine::Formula(double frequency, uint64_t k, double rate) {
    return std::sin(2.0 * std::numbers::pi * std::fmod(frequency * double(k), rate) / rate);
}

ToneSine::ToneSine(double frequency, uint32_t rate) : frequency_(frequency), rate_(rate) {
    if (rate == 0 || !(frequency >= 0) || frequency >= double(kExactIntegers) ||
        frequency != std::floor(frequency)) {
        return;
    }
    periodic_ = true;
    wholeFrequency_ = uint64_t(frequency);
    step_ = wholeFrequency_ % rate;
    spacing_ = std::gcd(wholeFrequency_, uint64_t(rate));
    lastExactFrame_ = wholeFrequency_ == 0 ? std::numeric_limits<uint64_t>::max()
                                           : (kExactIntegers - 1) / wholeFrequency_;
    period_.assign(rate / spacing_, std::numeric_limits<double>::quiet_NaN());
}

double ToneSine::At(uint64_t k) {
    if (!periodic_ || k > lastExactFrame_) {
        return Formula(frequency_, k, rate_);
    }
    if (k != nextFrame_) {
        residue_ = uint64_t((unsigned __int128)wholeFrequency_ * k % rate_);
    }
    const uint64_t residue = residue_;
    nextFrame_ = k + 1;
    residue_ += step_;
    if (residue_ >= rate_) {
        residue_ -= rate_;
    }
    double& value = period_[residue / spacing_];
    if (std::isnan(value)) {
        value = Formula(frequency_, k, rate_);
    }
    return value;
}

}  // namespace aurelix::platform::wave_driver
