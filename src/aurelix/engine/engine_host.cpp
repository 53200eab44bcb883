#include "aurelix/engine/engine_host.h"

namespace aurelix::engine {

EngineHost::EngineHost() : window_(platform::CreateMessageWindow(platform::DefWindowProcA)) {}

EngineHost::~EngineHost() {
    platform::DestroyWindow(window_);
}

}  // namespace aurelix::engine
