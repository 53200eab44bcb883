#pragma once

#include <span>

#include "aurelix/platform/wave/sim_devices.h"
#include "cli/script_line.h"

namespace aurelix::cli {

// The test signal a script's `signal KIND ARGS` line asks for: `sine FREQ AMPLITUDE`,
// `tones F1 A1 F2 A2`, `noise AMPLITUDE` or `silence`. A kind that is not one of these, or
// arguments that are not numbers or not as many as the kind takes, raise ScriptSyntaxError.
platform::TestSignal ParseTestSignal(std::span<const ScriptToken> arguments);

}  // namespace aurelix::cli
