#pragma once

#include <cstdint>

namespace aurelix::capture {

// The checked memory move used for sample memory: moves Count bytes from Source to
// Destination (the areas may overlap). A negative count or a null destination is
// reported in a message box and nothing is moved; it never raises.
void BMOVE(const void* Source, void* Destination, int32_t Count);

}  // namespace aurelix::capture
