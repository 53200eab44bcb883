#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "support/pipeline_host.h"

// Reads a WAV file the way a user's tools would, through sox.
namespace aurelix::testing {

struct DecodedWav {
    int channels = 0, bits = 0, rate = 0;
    long long frames = 0;
    std::vector<int16_t> samples;
};

// The format as soxi reports it and the samples as sox decodes them (empty when sox
// cannot open the file).
inline DecodedWav ReadWithSox(const std::string& path) {
    const std::string file = "'" + path + "'";
    const std::string command = "echo $(soxi -c " + file + ") $(soxi -b " + file + ") $(soxi -r " +
                                file + ") $(soxi -s " + file + "); sox " + file +
                                " -t raw -e signed -b 16 -L -";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char chunk[65536];
        for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
            out.append(chunk, n);
        }
        pclose(pipe);
    }
    DecodedWav wav;
    const size_t eol = out.find('\n');
    if (eol == std::string::npos || std::sscanf(out.c_str(), "%d %d %d %lld", &wav.channels,
                                                &wav.bits, &wav.rate, &wav.frames) != 4) {
        return wav;
    }
    wav.samples = AsSamples(out, eol + 1);
    return wav;
}

}  // namespace aurelix::testing
