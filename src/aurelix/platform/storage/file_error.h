#pragma once

#include <cstdint>
#include <string>

// Run-time errors about files, with the path in the description so that the host can
// tell which file failed.
namespace aurelix::platform {

// The run-time error number for an errno value of a failed file operation: 53 for a
// missing file or folder, 67 for too many open files, 57 for a full or failing device,
// 52 for a name that is too long, 75 for everything else.
int32_t FileErrorNumber(int errnoValue);

// Raises `number` with the description "<standard text>: <path>", followed by
// " (<system message>)" when `errnoValue` is not 0.
[[noreturn]] void RaiseFileError(int32_t number, const std::string& path, int errnoValue = 0);

// Raises the error FileErrorNumber(errnoValue) for `path`.
[[noreturn]] void RaiseFileErrno(int errnoValue, const std::string& path);

}  // namespace aurelix::platform
