#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace aurelix::platform {

// Error numbers the library raises. The texts are the runtime's standard descriptions.
namespace err {
inline constexpr int32_t kInvalidCall = 5;
inline constexpr int32_t kOverflow = 6;
inline constexpr int32_t kOutOfMemory = 7;
inline constexpr int32_t kSubscriptOutOfRange = 9;
inline constexpr int32_t kDivisionByZero = 11;
inline constexpr int32_t kTypeMismatch = 13;
inline constexpr int32_t kBadFileNameOrNumber = 52;
inline constexpr int32_t kFileNotFound = 53;
inline constexpr int32_t kBadFileMode = 54;
inline constexpr int32_t kFileAlreadyOpen = 55;
inline constexpr int32_t kDeviceIoError = 57;
inline constexpr int32_t kTooManyFiles = 67;
inline constexpr int32_t kPathFileAccessError = 75;
inline constexpr int32_t kObjectNotSet = 91;
inline constexpr int32_t kInvalidFileFormat = 321;
inline constexpr int32_t kInvalidPropertyValue = 380;
inline constexpr int32_t kSetNotSupportedAtRuntime = 382;
inline constexpr int32_t kSetNotPermitted = 387;
inline constexpr int32_t kObjectRequired = 424;
inline constexpr int32_t kMemberNotSupported = 438;
inline constexpr int32_t kArgumentNotOptional = 449;
inline constexpr int32_t kWrongNumberOfArguments = 450;
inline constexpr int32_t kSubclassingWave = 1001;
inline constexpr int32_t kSubclassingTimer = 1002;
inline constexpr int32_t kWaveDeviceCannotBeOpened = 1051;
}  // namespace err

// The standard description of an error number ("Application-defined or object-defined
// error" for numbers without one).
std::string_view StandardDescription(int32_t number);

// A run-time error: number, source and description, as hosts receive it.
class RuntimeError : public std::exception {
  public:
    // Description defaults to the standard text of the number; source to "Aurelix".
    explicit RuntimeError(int32_t number);
    RuntimeError(int32_t number, std::string source, std::string description);

    int32_t Number() const noexcept { return number_; }
    const std::string& Source() const noexcept { return source_; }
    const std::string& Description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

  private:
    int32_t number_;
    std::string source_;
    std::string description_;
};

// Raises error `number` with its standard description.
[[noreturn]] void Raise(int32_t number);
// Raises error `number` with the given description (source "Aurelix").
[[noreturn]] void Raise(int32_t number, std::string description);

// The pass-on convention of trapping procedures: `errorText` (the engine's ErrorText)
// receives the error's description, and the same number is raised again with source
// "Aurelix" and the description `context` CR LF `errorText`. Chains climb outermost first.
[[noreturn]] void PassOn(const RuntimeError& error, std::string& errorText,
                         std::string_view context);

// Runs `body`; a RuntimeError escaping it is passed on with `context`.
template <class Body>
decltype(auto) Trapped(std::string& errorText, std::string_view context, Body&& body) {
    try {
        return body();
    } catch (const RuntimeError& error) {
        PassOn(error, errorText, context);
    }
}

}  // namespace aurelix::platform
