// Script lines: any text is cut into tokens or refused with a syntax error; nothing else
// escapes, and a line made again from its tokens cuts into the same tokens.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cli/script_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace aurelix::cli;
    std::string_view line(reinterpret_cast<const char*>(data), size);
    line = line.substr(0, line.find('\n'));  // the host hands over one line at a time
    std::vector<ScriptToken> tokens;
    try {
        tokens = SplitScriptLine(line);
    } catch (const ScriptSyntaxError&) {
        return 0;
    }
    std::string again;
    for (const ScriptToken& token : tokens) {
        again += (token.isWord ? token.text : token.value.dump()) + " ";
    }
    const std::vector<ScriptToken> retokenized = SplitScriptLine(again);
    if (retokenized.size() != tokens.size()) {
        std::abort();
    }
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (retokenized[i].isWord != tokens[i].isWord ||
            (!tokens[i].isWord && retokenized[i].value != tokens[i].value)) {
            std::abort();
        }
    }
    return 0;
}
