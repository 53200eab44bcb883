#include "aurelix/platform/storage/file_io.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/storage/file_error.h"

namespace aurelix::platform {
namespace {

constexpr int32_t kHighestFileNumber = 511;

struct OpenFile {
    int descriptor = -1;
    std::string path;
    bool readable = false;
    bool writable = false;
    int64_t offset = 0;  // 0-based offset of the next byte read or written
};

// File numbers are shared by the whole process, as the runtime's are.
struct FileTable {
    std::mutex mutex;
    std::array<std::optional<OpenFile>, kHighestFileNumber + 1> files;  // [0] unused
};

FileTable& Table() {
    static FileTable table;
    return table;
}

bool IsValidNumber(int32_t number) {
    return number >= 1 && number <= kHighestFileNumber;
}

// The open file under `number`; 52 when there is none. Call with the table locked.
OpenFile& Opened(int32_t number) {
    if (!IsValidNumber(number) || !Table().files[number]) {
        Raise(err::kBadFileNameOrNumber);
    }
    return *Table().files[number];
}

int64_t OffsetOf(const OpenFile& file, int64_t position) {
    if (position < 1) {
        Raise(err::kInvalidCall, std::string(StandardDescription(err::kInvalidCall)) +
                                     ": position " + std::to_string(position) + " in " + file.path +
                                     " (positions start at 1)");
    }
    return position - 1;
}

void WriteAllAt(const OpenFile& file, int64_t offset, const void* source, size_t bytes) {
    if (!file.writable) {
        RaiseFileError(err::kPathFileAccessError, file.path + " (opened read-only)");
    }
    const char* from = static_cast<const char*>(source);
    while (bytes > 0) {
        const ssize_t written = ::pwrite(file.descriptor, from, bytes, offset);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            RaiseFileErrno(errno, file.path);
        }
        from += written;
        offset += written;
        bytes -= static_cast<size_t>(written);
    }
}

int OpenDescriptor(const std::string& path, FileMode mode, bool& writable) {
    writable = true;
    if (mode == FileMode::Output) {
        return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    }
    const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (descriptor >= 0 || (errno != EACCES && errno != EROFS)) {
        return descriptor;
    }
    // Binary access settles for reading when writing is not allowed, so that a
    // read-only file can still be played.
    writable = false;
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

}  // namespace

int32_t FreeFile() {
    std::lock_guard lock(Table().mutex);
    for (int32_t number = 1; number <= kHighestFileNumber; ++number) {
        if (!Table().files[number]) {
            return number;
        }
    }
    Raise(err::kTooManyFiles);
}

void FileOpen(int32_t number, const std::string& path, FileMode mode) {
    std::lock_guard lock(Table().mutex);
    if (!IsValidNumber(number)) {
        Raise(err::kBadFileNameOrNumber);
    }
    if (Table().files[number]) {
        RaiseFileError(err::kFileAlreadyOpen, Table().files[number]->path);
    }
    if (path.empty() || path.find('\0') != std::string::npos) {
        RaiseFileError(err::kBadFileNameOrNumber, "\"" + path + "\"");
    }
    OpenFile file;
    file.descriptor = OpenDescriptor(path, mode, file.writable);
    if (file.descriptor < 0) {
        RaiseFileErrno(errno, path);
    }
    struct stat status {};
    if (::fstat(file.descriptor, &status) == 0 && S_ISDIR(status.st_mode)) {
        ::close(file.descriptor);
        RaiseFileErrno(EISDIR, path);
    }
    file.path = path;
    file.readable = mode == FileMode::Binary;
    Table().files[number] = std::move(file);
}

void FileClose(int32_t number) {
    std::lock_guard lock(Table().mutex);
    if (!IsValidNumber(number) || !Table().files[number]) {
        return;
    }
    const OpenFile file = std::move(*Table().files[number]);
    Table().files[number].reset();
    // The number is free either way; a failing close may have lost written data.
    if (::close(file.descriptor) != 0 && errno != EINTR) {
        RaiseFileError(err::kDeviceIoError, file.path, errno);
    }
}

void FileCloseAll() {
    std::optional<RuntimeError> firstFailure;
    for (int32_t number = 1; number <= kHighestFileNumber; ++number) {
        try {
            FileClose(number);
        } catch (const RuntimeError& error) {
            if (!firstFailure) {
                firstFailure = error;
            }
        }
    }
    if (firstFailure) {
        throw *firstFailure;
    }
}

bool FileIsOpen(int32_t number) {
    std::lock_guard lock(Table().mutex);
    return IsValidNumber(number) && Table().files[number].has_value();
}

int64_t FileSeek(int32_t number) {
    std::lock_guard lock(Table().mutex);
    return Opened(number).offset + 1;
}

void FileSeek(int32_t number, int64_t position) {
    std::lock_guard lock(Table().mutex);
    OpenFile& file = Opened(number);
    file.offset = OffsetOf(file, position);
}

int64_t FileLength(int32_t number) {
    std::lock_guard lock(Table().mutex);
    const OpenFile& file = Opened(number);
    struct stat status {};
    if (::fstat(file.descriptor, &status) != 0) {
        RaiseFileErrno(errno, file.path);
    }
    return status.st_size;
}

void FileSetLength(int32_t number, int64_t length) {
    std::lock_guard lock(Table().mutex);
    const OpenFile& file = Opened(number);
    if (!file.writable) {
        RaiseFileError(err::kPathFileAccessError, file.path + " (opened read-only)");
    }
    while (::ftruncate(file.descriptor, length) != 0) {
        if (errno != EINTR) {
            RaiseFileErrno(errno, file.path);
        }
    }
}

int64_t FileLen(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        RaiseFileErrno(errno, path);
    }
    return status.st_size;
}

size_t FileRead(int32_t number, void* destination, size_t bytes) {
    std::lock_guard lock(Table().mutex);
    OpenFile& file = Opened(number);
    if (!file.readable) {
        RaiseFileError(err::kBadFileMode, file.path + " (opened for output)");
    }
    char* to = static_cast<char*>(destination);
    size_t done = 0;
    while (done < bytes) {
        const ssize_t got = ::pread(file.descriptor, to + done, bytes - done,
                                    file.offset + static_cast<int64_t>(done));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            RaiseFileErrno(errno, file.path);
        }
        if (got == 0) {
            break;
        }
        done += static_cast<size_t>(got);
    }
    if (done < bytes) {
        std::memset(to + done, 0, bytes - done);
    }
    file.offset += static_cast<int64_t>(bytes);
    return done;
}

void FileWrite(int32_t number, const void* source, size_t bytes) {
    std::lock_guard lock(Table().mutex);
    OpenFile& file = Opened(number);
    WriteAllAt(file, file.offset, source, bytes);
    file.offset += static_cast<int64_t>(bytes);
}

void FileWriteAt(int32_t number, int64_t position, const void* source, size_t bytes) {
    std::lock_guard lock(Table().mutex);
    OpenFile& file = Opened(number);
    const int64_t offset = OffsetOf(file, position);
    WriteAllAt(file, offset, source, bytes);
    file.offset = offset + static_cast<int64_t>(bytes);
}

}  // namespace aurelix::platform
