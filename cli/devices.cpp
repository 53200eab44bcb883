#include <cstdio>
#include <iostream>

#include "cli/commands.h"
#include "cli/json_lines.h"

namespace aurelix::cli {

int RunDevices(const DevicesOptions& options) {
    const Direction direction = options.output ? Direction::Output : Direction::Input;
    const std::vector<std::string> names = DeviceNames(direction);
    const char* kind = options.output ? "output" : "input";
    if (!options.json) {
        std::printf("%s devices (* = default):\n", kind);
    }
    for (size_t i = 0; i < names.size(); ++i) {
        // Device 0 is what opens without --device: the system's default when there is one.
        const bool isDefault = i == 0;
        if (options.json) {
            WriteJsonLine(std::cout, nlohmann::ordered_json{{"type", "device"},
                                                            {"index", i},
                                                            {"name", names[i]},
                                                            {"default", isDefault},
                                                            {"direction", kind}});
        } else {
            std::printf("  %2zu%s %s\n", i, isDefault ? "*" : " ", names[i].c_str());
        }
    }
    return 0;
}

}  // namespace aurelix::cli
