#include "aurelix/platform/storage/file_error.h"

#include <cerrno>
#include <system_error>

#include "aurelix/platform/runtime/runtime_error.h"

namespace aurelix::platform {

int32_t FileErrorNumber(int errnoValue) {
    switch (errnoValue) {
        case ENOENT:
        case ENOTDIR:
            return err::kFileNotFound;
        case EMFILE:
        case ENFILE:
            return err::kTooManyFiles;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
        case EIO:
            return err::kDeviceIoError;
        case ENAMETOOLONG:
            return err::kBadFileNameOrNumber;
        default:
            return err::kPathFileAccessError;
    }
}

void RaiseFileError(int32_t number, const std::string& path, int errnoValue) {
    std::string description(StandardDescription(number));
    description.append(": ").append(path);
    if (errnoValue != 0) {
        description.append(" (").append(std::system_category().message(errnoValue)).append(")");
    }
    Raise(number, std::move(description));
}

void RaiseFileErrno(int errnoValue, const std::string& path) {
    RaiseFileError(FileErrorNumber(errnoValue), path, errnoValue);
}

}  // namespace aurelix::platform
