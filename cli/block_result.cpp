#include "cli/block_result.h"

namespace aurelix::cli {
namespace {

constexpr int32_t kSpectrumBit = 2;
constexpr int32_t kReducedSpectrumBit = 16;

std::vector<std::pair<int32_t, float>> ReadPeaks(control::Aurel& aurel, int32_t channel) {
    platform::BoundedArray<float> list;
    aurel.Peaks(list, channel);
    std::vector<std::pair<int32_t, float>> peaks;
    // Index 0 is 0; then minus the bin and its magnitude, pair by pair.
    for (int32_t i = 1; i + 1 < list.Count(); i += 2) {
        peaks.emplace_back(int32_t(-list.data()[i]), list.data()[i + 1]);
    }
    return peaks;
}

}  // namespace

std::vector<float> ReadSpectrum(control::Aurel& aurel, int32_t channel) {
    platform::BoundedArray<float> spectrum;
    try {
        const int32_t count = aurel.Spectrum(spectrum, channel);
        if (count <= 0) {
            return {};
        }
    } catch (const platform::RuntimeError&) {
        return {};  // no spectrum yet
    }
    return std::vector<float>(spectrum.data(), spectrum.data() + spectrum.Count());
}

BlockResult ReadBlockResult(control::Aurel& aurel, int32_t block, int32_t buffer, double dt,
                            bool withSpectrum) {
    BlockResult result;
    result.block = block;
    result.buffer = buffer;
    result.dt = dt;
    result.maxAmplitude[0] = aurel.MaxAmplitudeL();
    result.maxAmplitude[1] = aurel.MaxAmplitudeR();
    result.maxFrequency[0] = aurel.MaxFrequencyL();
    result.maxFrequency[1] = aurel.MaxFrequencyR();
    result.missed = aurel.MissedCount();
    const bool stereo = aurel.Channels() == 2;
    const int32_t analysis = aurel.Analysis();
    if ((analysis & kSpectrumBit) && (analysis & kReducedSpectrumBit)) {
        result.peaks = ReadPeaks(aurel, 1);
        if (stereo) {
            result.peaksRight = ReadPeaks(aurel, 2);
        }
    }
    if (withSpectrum) {
        result.spectrum = ReadSpectrum(aurel, 1);
        if (stereo) {
            result.spectrumRight = ReadSpectrum(aurel, 2);
        }
    }
    return result;
}

}  // namespace aurelix::cli
