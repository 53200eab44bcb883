#include "cli/script_line.h"

namespace aurelix::cli {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The end of the string that opens at `start` (one past its closing quote).
size_t StringEnd(std::string_view line, size_t start) {
    for (size_t i = start + 1; i < line.size(); ++i) {
        if (line[i] == '\\') {
            ++i;
        } else if (line[i] == '"') {
            return i + 1;
        }
    }
    throw ScriptSyntaxError("unterminated string");
}

// The end of the array that opens at `start` (one past its closing bracket).
size_t ArrayEnd(std::string_view line, size_t start) {
    int depth = 0;
    for (size_t i = start; i < line.size(); ++i) {
        if (line[i] == '"') {
            i = StringEnd(line, i) - 1;
        } else if (line[i] == '[') {
            ++depth;
        } else if (line[i] == ']' && --depth == 0) {
            return i + 1;
        }
    }
    throw ScriptSyntaxError("unterminated array");
}

ScriptToken ValueToken(std::string_view text) {
    ScriptToken token{false, std::string(text), nlohmann::json::parse(text, nullptr, false)};
    if (token.value.is_discarded()) {
        throw ScriptSyntaxError("not valid JSON: " + token.text);
    }
    return token;
}

// A bare token is a value when it reads as a JSON number, true, false or null.
ScriptToken BareToken(std::string_view text) {
    ScriptToken token{false, std::string(text), nlohmann::json::parse(text, nullptr, false)};
    token.isWord =
        token.value.is_discarded() || token.value.is_string() || token.value.is_structured();
    if (token.isWord) {
        token.value = nullptr;
    }
    return token;
}

}  // namespace

std::vector<ScriptToken> SplitScriptLine(std::string_view line) {
    std::vector<ScriptToken> tokens;
    size_t i = 0;
    while (true) {
        while (i < line.size() && IsBlank(line[i])) {
            ++i;
        }
        if (i == line.size() || line[i] == '#') {
            return tokens;
        }
        size_t end = i;
        if (line[i] == '"') {
            end = StringEnd(line, i);
        } else if (line[i] == '[') {
            end = ArrayEnd(line, i);
        } else {
            while (end < line.size() && !IsBlank(line[end])) {
                ++end;
            }
            tokens.push_back(BareToken(line.substr(i, end - i)));
            i = end;
            continue;
        }
        if (end < line.size() && !IsBlank(line[end]) && line[end] != '#') {
            throw ScriptSyntaxError("a blank must follow " + std::string(line.substr(i, end - i)));
        }
        tokens.push_back(ValueToken(line.substr(i, end - i)));
        i = end;
    }
}

}  // namespace aurelix::cli
