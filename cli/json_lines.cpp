#include "cli/json_lines.h"

#include <type_traits>
#include <variant>

namespace aurelix::cli {

namespace {

template <class Element>
nlohmann::ordered_json ArrayToJson(const platform::BoundedArray<Element>& array) {
    nlohmann::ordered_json items = nlohmann::ordered_json::array();
    const Element* data = array.data();
    for (int32_t i = 0; i < array.Count(); ++i) {
        items.push_back(data[i]);
    }
    return items;
}

}  // namespace

nlohmann::ordered_json VariantToJson(const platform::Variant& value) {
    return std::visit(
        [](const auto& held) -> nlohmann::ordered_json {
            using Held = std::decay_t<decltype(held)>;
            if constexpr (std::is_same_v<Held, std::monostate>) {
                return nullptr;
            } else if constexpr (std::is_same_v<Held, platform::BoundedArray<int16_t>> ||
                                 std::is_same_v<Held, platform::BoundedArray<int32_t>> ||
                                 std::is_same_v<Held, platform::BoundedArray<float>>) {
                return ArrayToJson(held);
            } else {
                return held;
            }
        },
        value.Value());
}

nlohmann::ordered_json EventToJson(const control::EventInfo& event,
                                   std::span<const platform::Variant> arguments) {
    nlohmann::ordered_json line = {{"type", "event"}, {"name", event.name}};
    for (size_t i = 0; i < arguments.size() && i < event.argumentNames.size(); ++i) {
        line[std::string(event.argumentNames[i])] = VariantToJson(arguments[i]);
    }
    return line;
}

nlohmann::ordered_json BlockToJson(const BlockResult& block) {
    nlohmann::ordered_json line = {
        {"type", "block"},
        {"block", block.block},
        {"buffer", block.buffer},
        {"dt", block.dt},
        {"max_amplitude", {block.maxAmplitude[0], block.maxAmplitude[1]}},
        {"max_frequency", {block.maxFrequency[0], block.maxFrequency[1]}},
        {"missed", block.missed}};
    auto peaks = [](const std::vector<std::pair<int32_t, float>>& list) {
        nlohmann::ordered_json pairs = nlohmann::ordered_json::array();
        for (const auto& [bin, magnitude] : list) {
            pairs.push_back({bin, magnitude});
        }
        return pairs;
    };
    if (block.peaks) {
        line["peaks"] = peaks(*block.peaks);
    }
    if (block.peaksRight) {
        line["peaks_right"] = peaks(*block.peaksRight);
    }
    if (block.spectrum) {
        line["spectrum"] = *block.spectrum;
    }
    if (block.spectrumRight) {
        line["spectrum_right"] = *block.spectrumRight;
    }
    return line;
}

nlohmann::ordered_json SummaryToJson(const RunSummary& summary) {
    return {{"type", "summary"},
            {"blocks", summary.blocks},
            {"analysed", summary.analysed},
            {"missed", summary.missed},
            {"seconds", summary.seconds},
            {"partial_samples", summary.partialSamples}};
}

void WriteJsonLine(std::ostream& out, const nlohmann::ordered_json& line) {
    out << line.dump() << '\n';
    out.flush();
}

}  // namespace aurelix::cli
