#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

// One line of an `aurelix script`, cut into tokens. Tokens are separated by blanks; a '#'
// where a token would start begins a comment that runs to the end of the line.
namespace aurelix::cli {

struct ScriptToken {
    // A word is anything written bare that is not a value: a command, a member name, a
    // file name, a signal kind.
    bool isWord = false;
    std::string text;  // as written
    // For a value: a JSON number, "string" (JSON escapes), true, false, null, or an array.
    nlohmann::json value;
};

// A line that cannot be cut into tokens (an unterminated string or array, bad JSON).
class ScriptSyntaxError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The tokens of `line`, none for a blank or comment line.
std::vector<ScriptToken> SplitScriptLine(std::string_view line);

}  // namespace aurelix::cli
