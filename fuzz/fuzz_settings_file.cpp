// The settings file: any text either parses or is refused with the line named; what
// parses is written back as text that parses to the same values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "aurelix/platform/storage/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using aurelix::platform::SettingsDocument;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    SettingsDocument document;
    std::string problem;
    if (!SettingsDocument::Parse(text, document, problem)) {
        if (problem.rfind("line ", 0) != 0) {
            std::abort();
        }
        return 0;
    }
    const std::string written = document.Text();
    SettingsDocument again;
    if (!SettingsDocument::Parse(written, again, problem) || again.Text() != written) {
        std::abort();
    }
    return 0;
}
