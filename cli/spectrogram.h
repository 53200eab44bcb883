#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/block_result.h"

// A spectrogram of analysed blocks drawn with cairo into a PNG: time across, frequency up,
// the magnitude in decibels as colour on the viridis colour map (a 90 dB range below the
// loudest bin), axes labelled in seconds and hertz, a colour bar, and the dominant
// frequency of each block (the left channel's max_frequency) as a track on top.
namespace aurelix::cli {

class Spectrogram {
  public:
    // Takes the block's spectrum (the louder of both channels per bin, in stereo) and
    // its dominant frequency. Blocks without a spectrum count as silent columns.
    void Add(const BlockResult& block);

    // Writes the PNG; `rate` and `samples` give the bin width and the block duration.
    // CommandError naming the file when it cannot.
    void Write(const std::string& path, int32_t rate, int32_t samples,
               const std::string& title) const;

  private:
    std::vector<std::vector<float>> columns_;
    std::vector<double> dominant_;
};

// The viridis colour map at t (0 to 1), as 8-bit red, green, blue.
void Viridis(double t, uint8_t& red, uint8_t& green, uint8_t& blue);

}  // namespace aurelix::cli
