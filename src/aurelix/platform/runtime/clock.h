#pragma once

#include <cstdint>
#include <string>

namespace aurelix::platform {

// Monotonic high-resolution counter and its frequency in counts per second.
bool QueryPerformanceCounter(int64_t* count);
bool QueryPerformanceFrequency(int64_t* frequency);
// Seconds since local midnight, with sub-second resolution.
float SecondsSinceMidnight();
// The library's version numbers, from the build.
struct LibraryVersion {
    int major, minor, revision;
};
LibraryVersion GetLibraryVersion();
// The folder holding the binary that contains the library (the library's own folder), as
// an absolute path without a trailing separator; empty when it cannot be determined.
std::string LibraryFolder();

}  // namespace aurelix::platform
