#pragma once

#include <istream>
#include <ostream>

namespace aurelix::cli {

// The scripting host: places one control (user mode on) and runs one command per line of
// `in`, writing one JSON object per line to `out`. Returns the exit status (0: the script
// ran to its end, whatever errors its lines raised).
int RunScript(std::istream& in, std::ostream& out);

}  // namespace aurelix::cli
