#pragma once

#include "aurelix/platform/windows/message_queue.h"

namespace aurelix::platform::detail {

// Destroys every window whose messages go to `queue`; used when its thread ends.
void DestroyWindowsOf(const MessageQueue& queue);

}  // namespace aurelix::platform::detail
