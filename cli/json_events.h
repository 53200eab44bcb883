#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <span>

#include "aurelix/control/aurel_dispatch.h"

// The event sink of the subcommands, built on the late-bound DispatchEventSink so that every
// event reaches the command without glue per event: Complete goes to the subcommand (which
// reads the block's results), every other event to a second handler, by default written as
// a JSON line {"type":"event","name":NAME,...arguments...}.
namespace aurelix::cli {

class CommandEventSink : public control::DispatchEventSink {
  public:
    using CompleteHandler = std::function<void(int32_t block, int32_t buffer, double dt)>;
    using EventHandler =
        std::function<void(const control::EventInfo& event, std::span<platform::Variant> args)>;

    CommandEventSink(CompleteHandler complete, EventHandler other);
};

// An EventHandler that writes each event as one JSON line to `out` (nothing when `out` is
// null), then calls `also` when given.
CommandEventSink::EventHandler JsonEventWriter(std::ostream* out,
                                               CommandEventSink::EventHandler also = {});

}  // namespace aurelix::cli
