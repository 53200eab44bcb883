#include "aurelix/platform/runtime/runtime_error.h"

#include <utility>

namespace aurelix::platform {

std::string_view StandardDescription(int32_t number) {
    switch (number) {
        case err::kInvalidCall:
            return "Invalid procedure call or argument";
        case err::kOverflow:
            return "Overflow";
        case err::kOutOfMemory:
            return "Out of memory";
        case err::kSubscriptOutOfRange:
            return "Subscript out of range";
        case err::kDivisionByZero:
            return "Division by zero";
        case err::kTypeMismatch:
            return "Type mismatch";
        case err::kBadFileNameOrNumber:
            return "Bad file name or number";
        case err::kFileNotFound:
            return "File not found";
        case err::kBadFileMode:
            return "Bad file mode";
        case err::kFileAlreadyOpen:
            return "File already open";
        case err::kDeviceIoError:
            return "Device I/O error";
        case err::kTooManyFiles:
            return "Too many files";
        case err::kPathFileAccessError:
            return "Path/File access error";
        case err::kInvalidFileFormat:
            return "Invalid file format";
        case err::kObjectNotSet:
            return "Object variable or With block variable not set";
        case err::kInvalidPropertyValue:
            return "Invalid property value";
        case err::kSetNotSupportedAtRuntime:
            return "Set not supported at runtime";
        case err::kSetNotPermitted:
            return "Set not permitted";
        case err::kObjectRequired:
            return "Object required";
        case err::kMemberNotSupported:
            return "Object doesn't support this property or method";
        case err::kArgumentNotOptional:
            return "Argument not optional";
        case err::kWrongNumberOfArguments:
            return "Wrong number of arguments or invalid property assignment";
        case err::kSubclassingWave:
        case err::kSubclassingTimer:
            return "Subclassing failed!";
        case err::kWaveDeviceCannotBeOpened:
            return "Wavedevice cannot be opened!";
        default:
            return "Application-defined or object-defined error";
    }
}

RuntimeError::RuntimeError(int32_t number)
    : RuntimeError(number, "Aurelix", std::string(StandardDescription(number))) {}

RuntimeError::RuntimeError(int32_t number, std::string source, std::string description)
    : number_(number), source_(std::move(source)), description_(std::move(description)) {}

void Raise(int32_t number) {
    throw RuntimeError(number);
}

void Raise(int32_t number, std::string description) {
    throw RuntimeError(number, "Aurelix", std::move(description));
}

void PassOn(const RuntimeError& error, std::string& errorText, std::string_view context) {
    errorText = error.Description();
    std::string description;
    description.reserve(context.size() + 2 + errorText.size());
    description.append(context).append("\r\n").append(errorText);
    throw RuntimeError(error.Number(), "Aurelix", std::move(description));
}

}  // namespace aurelix::platform
