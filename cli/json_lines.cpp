#include "cli/json_lines.h"

#include <type_traits>
#include <variant>

namespace aurelix::cli {

namespace {

template <class Element>
nlohmann::json ArrayToJson(const platform::BoundedArray<Element>& array) {
    nlohmann::json items = nlohmann::json::array();
    const Element* data = array.data();
    for (int32_t i = 0; i < array.Count(); ++i) {
        items.push_back(data[i]);
    }
    return items;
}

}  // namespace

nlohmann::json VariantToJson(const platform::Variant& value) {
    return std::visit(
        [](const auto& held) -> nlohmann::json {
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

nlohmann::json EventToJson(const control::EventInfo& event,
                           std::span<const platform::Variant> arguments) {
    nlohmann::json line = {{"type", "event"}, {"name", event.name}};
    for (size_t i = 0; i < arguments.size() && i < event.argumentNames.size(); ++i) {
        line[std::string(event.argumentNames[i])] = VariantToJson(arguments[i]);
    }
    return line;
}

void WriteJsonLine(std::ostream& out, const nlohmann::json& line) {
    out << line.dump() << '\n';
    out.flush();
}

}  // namespace aurelix::cli
