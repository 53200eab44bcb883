#pragma once

#include <ostream>
#include <span>

#include <nlohmann/json.hpp>

#include "aurelix/control/aurel_dispatch.h"
#include "aurelix/platform/runtime/variant.h"

// JSON lines: what the command prints for scripts, one object per line.
namespace aurelix::cli {

// A variant as JSON: Empty is null, booleans, numbers and strings as themselves, arrays as
// JSON arrays of their elements (lower bound first).
nlohmann::json VariantToJson(const platform::Variant& value);

// {"type":"event","name":NAME, ...the arguments under their names...}
nlohmann::json EventToJson(const control::EventInfo& event,
                           std::span<const platform::Variant> arguments);

// Writes `line` and a newline, then flushes, so that a reader sees each line as it happens.
void WriteJsonLine(std::ostream& out, const nlohmann::json& line);

}  // namespace aurelix::cli
