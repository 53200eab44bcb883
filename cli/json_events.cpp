#include "cli/json_events.h"

#include <string_view>

#include "cli/json_lines.h"

namespace aurelix::cli {
namespace {

constexpr std::string_view kComplete = "Complete";

int32_t IntegerArgument(std::span<platform::Variant> args, size_t i) {
    return i < args.size() ? args[i].ToLong() : 0;
}

}  // namespace

CommandEventSink::CommandEventSink(CompleteHandler complete, EventHandler other)
    : DispatchEventSink([complete = std::move(complete), other = std::move(other)](
                            const control::EventInfo& event, std::span<platform::Variant> args) {
          if (event.name == kComplete) {
              if (complete) {
                  complete(IntegerArgument(args, 0), IntegerArgument(args, 1),
                           args.size() > 2 ? args[2].ToDouble() : 0.0);
              }
          } else if (other) {
              other(event, args);
          }
      }) {}

CommandEventSink::EventHandler JsonEventWriter(std::ostream* out,
                                               CommandEventSink::EventHandler also) {
    return [out, also = std::move(also)](const control::EventInfo& event,
                                         std::span<platform::Variant> args) {
        if (out != nullptr) {
            WriteJsonLine(*out, EventToJson(event, args));
        }
        if (also) {
            also(event, args);
        }
    };
}

}  // namespace aurelix::cli
