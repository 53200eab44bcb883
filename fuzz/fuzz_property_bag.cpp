// Property-bag files: any text either parses or is refused with a line number; what
// parses is written back as text that reads back to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "aurelix/platform/storage/property_bag_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace aurelix::platform;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    PropertyBag::Entries entries;
    size_t line = 0;
    std::string problem;
    if (!ParsePropertyBagText(text, entries, line, problem)) {
        if (line == 0 || problem.empty()) {
            std::abort();
        }
        return 0;
    }
    // Written back, the entries read as the same text again (compared as text: NaN is
    // equal to nothing, itself included).
    const std::string written = PropertyBagText(entries);
    PropertyBag::Entries again;
    if (!ParsePropertyBagText(written, again, line, problem) || PropertyBagText(again) != written) {
        std::abort();
    }
    return 0;
}
