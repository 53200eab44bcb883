// The WAV file device's parser: whatever the file holds, ReadWavLayout either refuses it
// with a reason naming the file or gives a layout that lies inside the file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "aurelix/platform/wave/wav_file_layout.h"

namespace {

const std::string& ScratchPath() {
    static const std::string path = "/tmp/aurelix-fuzz-wav-" + std::to_string(getpid()) + ".wav";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(ScratchPath().c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
        std::abort();
    }
    aurelix::platform::wave_driver::WavLayout layout;
    std::string error;
    if (!aurelix::platform::wave_driver::ReadWavLayout(ScratchPath(), layout, error)) {
        if (error.rfind(ScratchPath() + ": ", 0) != 0) {
            std::abort();  // every refusal names the file
        }
        return 0;
    }
    const uint64_t frame = uint64_t(layout.channels) * 2;
    if ((layout.channels != 1 && layout.channels != 2) || layout.rate == 0 ||
        layout.rate > uint32_t(INT32_MAX) || layout.dataBytes % frame != 0 ||
        layout.dataOffset + layout.dataBytes > size) {
        std::abort();
    }
    return 0;
}
