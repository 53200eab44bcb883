#pragma once

#include <ostream>
#include <span>

#include <nlohmann/json.hpp>

#include "aurelix/control/aurel_dispatch.h"
#include "aurelix/platform/runtime/variant.h"
#include "cli/block_result.h"

// JSON lines: what the command prints for scripts, one object per line.
namespace aurelix::cli {

// A variant as JSON: Empty is null, booleans, numbers and strings as themselves, arrays as
// JSON arrays of their elements (lower bound first).
nlohmann::ordered_json VariantToJson(const platform::Variant& value);

// {"type":"event","name":NAME, ...the arguments under their names...}
nlohmann::ordered_json EventToJson(const control::EventInfo& event,
                                   std::span<const platform::Variant> arguments);

// {"type":"block","block":B,"buffer":I,"dt":S,"max_amplitude":[L,R],"max_frequency":[L,R],
// "missed":M} and, when present, "peaks"/"peaks_right" ([[BIN,MAGNITUDE],...]) and
// "spectrum"/"spectrum_right".
nlohmann::ordered_json BlockToJson(const BlockResult& block);

// {"type":"summary","blocks":N,"analysed":A,"missed":M,"seconds":S,"partial_samples":P}
nlohmann::ordered_json SummaryToJson(const RunSummary& summary);

// Writes `line` and a newline, then flushes, so that a reader sees each line as it happens.
// Keys stay in the order they were added (the order the command's lines promise).
void WriteJsonLine(std::ostream& out, const nlohmann::ordered_json& line);

}  // namespace aurelix::cli
