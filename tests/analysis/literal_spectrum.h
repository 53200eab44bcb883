#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace aurelix::testing {

// The magnitude spectrum computed exactly as the transform was first written, the oracle
// for the fast one: load through the bit-reversal table, radix-2 decimation-in-time stages
// with the rotation carried by a recurrence from pi = 3.14159265358979, 32-bit float
// storage of every stored value and 64-bit rotations and products. Returns bins 0..n/2-1.
inline std::vector<float> LiteralSpectrum(const int16_t* samples, const int32_t* table, int32_t n) {
    std::vector<float> re(size_t(n), 0.0f);
    std::vector<float> im(size_t(n), 0.0f);
    const int32_t stages = int32_t(std::nearbyint(std::log(double(n)) / std::log(2.0)));
    for (int32_t i = 0; i < n; ++i)
        re[size_t(table[i])] = samples[i];
    constexpr double kPi = 3.14159265358979;
    for (int32_t stage = 1; stage <= stages; ++stage) {
        const int32_t le = int32_t{1} << stage;
        const int32_t le2 = le / 2;
        double ur = 1.0;
        double ui = 0.0;
        const double wr = std::cos(kPi / le2);
        const double wi = -std::sin(kPi / le2);
        for (int32_t j = 1; j <= le2; ++j) {
            for (int32_t i = j - 1; i <= n - 1; i += le) {
                const int32_t ip = i + le2;
                const double tr = double(re[ip]) * ur - double(im[ip]) * ui;
                const double ti = double(im[ip]) * ur + double(re[ip]) * ui;
                re[ip] = float(re[i] - tr);
                im[ip] = float(im[i] - ti);
                re[i] = float(re[i] + tr);
                im[i] = float(im[i] + ti);
            }
            const double t = ur;
            ur = t * wr - ui * wi;
            ui = t * wi + ui * wr;
        }
    }
    const int32_t last = int32_t(std::nearbyint(n / 2.0 - 1.0));
    std::vector<float> magnitudes(size_t(last + 1));
    for (int32_t i = 0; i <= last; ++i)
        magnitudes[size_t(i)] = float(std::sqrt(double(re[i]) * re[i] + double(im[i]) * im[i]) / n);
    return magnitudes;
}

}  // namespace aurelix::testing
