// aurelix repair: rebuilds the header of a recording whose process died, from the length
// of the file; the samples are never touched.
#include <iostream>

#include "aurelix/capture/wav_repair.h"
#include "cli/commands.h"

namespace aurelix::cli {

int RunRepair(const RepairOptions& options) {
    capture::WavRepairOptions repair;
    repair.rate = options.rate;
    repair.channels = options.channels;
    const capture::WavRepairResult result = capture::RepairWavHeader(options.file, repair);
    const double seconds = double(result.frames) / result.rate;
    std::cout << options.file << ": "
              << (!result.changed         ? "the header already describes the file"
                  : result.headerWasEmpty ? "header written"
                                          : "header rebuilt")
              << " (" << result.rate << " Hz, " << result.channels
              << (result.channels == 1 ? " channel, " : " channels, ") << result.frames
              << " frames, " << seconds << " s)";
    if (result.trailingBytes > 0) {
        std::cout << "; " << result.trailingBytes
                  << " bytes of a frame cut short stay after the samples";
    }
    std::cout << '\n';
    return 0;
}

}  // namespace aurelix::cli
