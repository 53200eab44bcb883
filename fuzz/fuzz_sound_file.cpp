// Sound files as `aurelix analyze` reads them: any bytes either open and read to their end
// as at most the frames announced, or are refused with the command's error naming the file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/errors.h"
#include "cli/sound_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace aurelix::cli;
    static const std::string path = "/tmp/aurelix-fuzz-sound-" + std::to_string(getpid());
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    try {
        SoundFile sound(path);
        if (sound.Channels() < 1 || sound.Channels() > 2 || sound.Rate() <= 0) {
            std::abort();
        }
        std::vector<int16_t> samples(4096 * size_t(sound.Channels()));
        int64_t total = 0;
        for (int64_t got; (got = sound.Read(samples.data(), 4096)) > 0;) {
            total += got;
        }
        if (total > sound.Frames()) {
            std::abort();
        }
    } catch (const CommandError& refused) {
        if (std::string(refused.what()).rfind(path + ": ", 0) != 0) {
            std::abort();
        }
    }
    return 0;
}
