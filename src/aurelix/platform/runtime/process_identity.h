#pragma once

#include <string>

// Names a process for longer than its id lives: the id plus the process's start time
// since boot, so that an id reused by a later process does not pass for the old one.
namespace aurelix::platform {

// "<pid> <start time in clock ticks since boot>" of the calling process.
std::string ThisProcessIdentity();

// True while the process named by `identity` runs (the calling process always does).
// False for a process that ended, an id now held by another process, or a text that is
// not an identity.
bool ProcessIsRunning(const std::string& identity);

}  // namespace aurelix::platform
