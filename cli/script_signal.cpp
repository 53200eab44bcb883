#include "cli/script_signal.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace aurelix::cli {

namespace {

struct Kind {
    const char* word;
    platform::SimSignal signal;
    const char* usage;
    size_t arguments;
};

constexpr Kind kKinds[] = {
    {"sine", platform::SimSignal::Sine, "sine FREQ AMPLITUDE", 2},
    {"tones", platform::SimSignal::TwoTones, "tones F1 A1 F2 A2", 4},
    {"noise", platform::SimSignal::WhiteNoise, "noise AMPLITUDE", 1},
    {"silence", platform::SimSignal::Silence, "silence", 0},
};

bool SameWord(std::string_view written, std::string_view word) {
    return std::equal(written.begin(), written.end(), word.begin(), word.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

}  // namespace

platform::TestSignal ParseTestSignal(std::span<const ScriptToken> arguments) {
    const Kind* kind = nullptr;
    for (const Kind& candidate : kKinds) {
        if (!arguments.empty() && arguments[0].isWord &&
            SameWord(arguments[0].text, candidate.word)) {
            kind = &candidate;
        }
    }
    if (kind == nullptr) {
        throw ScriptSyntaxError("signal takes sine, tones, noise or silence");
    }
    std::vector<double> numbers;
    for (const ScriptToken& token : arguments.subspan(1)) {
        if (token.isWord || !token.value.is_number()) {
            throw ScriptSyntaxError("not a number: " + token.text);
        }
        numbers.push_back(token.value.get<double>());
    }
    if (numbers.size() != kind->arguments) {
        throw ScriptSyntaxError(std::string("usage: signal ") + kind->usage);
    }
    platform::TestSignal signal{kind->signal, {}};
    switch (kind->signal) {
        case platform::SimSignal::Sine:
            signal.settings = {numbers[0], 0.0, numbers[1], 0.0};
            break;
        case platform::SimSignal::TwoTones:
            signal.settings = {numbers[0], numbers[2], numbers[1], numbers[3]};
            break;
        case platform::SimSignal::WhiteNoise:
            signal.settings = {0.0, 0.0, numbers[0], 0.0};
            break;
        case platform::SimSignal::Silence:
            break;
    }
    return signal;
}

}  // namespace aurelix::cli
