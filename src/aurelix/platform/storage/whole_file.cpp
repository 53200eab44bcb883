#include "aurelix/platform/storage/whole_file.h"

#include <atomic>
#include <cerrno>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "aurelix/platform/storage/file_error.h"

namespace aurelix::platform {
namespace {

// Closes the descriptor when the scope ends (error paths included).
class Descriptor {
  public:
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
    }
    int Get() const { return descriptor_; }
    // Closes now and reports close's own error (0 when fine).
    int Close() {
        const int result = ::close(descriptor_);
        descriptor_ = -1;
        return result == 0 ? 0 : errno;
    }

  private:
    int descriptor_;
};

int WriteAll(int descriptor, std::string_view contents) {
    while (!contents.empty()) {
        const ssize_t written = ::write(descriptor, contents.data(), contents.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        contents.remove_prefix(static_cast<size_t>(written));
    }
    return 0;
}

std::string FolderOf(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

// Opens a temporary file beside `path` that no other writer uses.
int CreateTemporary(const std::string& path, std::string& temporaryPath) {
    static std::atomic<unsigned> counter{0};
    for (;;) {
        temporaryPath = path + ".tmp-" + std::to_string(::getpid()) + "-" +
                        std::to_string(counter.fetch_add(1));
        const int descriptor =
            ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0 || errno != EEXIST) {
            return descriptor;
        }
    }
}

// Writes, flushes and renames; returns the errno of the first step that failed.
int WriteTemporaryAndRename(const std::string& path, std::string_view contents,
                            const std::string& temporaryPath, Descriptor& file) {
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 &&
        ::fchmod(file.Get(), existing.st_mode & 07777) != 0) {
        return errno;
    }
    if (const int error = WriteAll(file.Get(), contents); error != 0) {
        return error;
    }
    if (::fsync(file.Get()) != 0) {
        return errno;
    }
    if (const int error = file.Close(); error != 0) {
        return error;
    }
    if (::rename(temporaryPath.c_str(), path.c_str()) != 0) {
        return errno;
    }
    return 0;
}

}  // namespace

WholeFile ReadWholeFile(const std::string& path) {
    WholeFile result;
    // Non-blocking so that opening a FIFO cannot hang; regular files ignore the flag.
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.Get() < 0) {
        result.error = errno;
        return result;
    }
    struct stat status {};
    if (::fstat(file.Get(), &status) != 0) {
        result.error = errno;
        return result;
    }
    if (!S_ISREG(status.st_mode)) {
        result.error = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
        return result;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
        if (got == 0) {
            return result;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            result.error = errno;
            result.text.clear();
            return result;
        }
        result.text.append(buffer, static_cast<size_t>(got));
    }
}

void ReplaceFileAtomically(const std::string& path, std::string_view contents) {
    std::string temporaryPath;
    Descriptor file(CreateTemporary(path, temporaryPath));
    if (file.Get() < 0) {
        RaiseFileErrno(errno, path);
    }
    if (const int error = WriteTemporaryAndRename(path, contents, temporaryPath, file);
        error != 0) {
        ::unlink(temporaryPath.c_str());
        RaiseFileErrno(error, path);
    }
    // The rename itself is durable only once the folder is flushed; file systems that
    // cannot flush a folder say EINVAL, and there the rename is as durable as it gets.
    Descriptor folder(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() < 0 || (::fsync(folder.Get()) != 0 && errno != EINVAL)) {
        RaiseFileErrno(errno, path);
    }
}

}  // namespace aurelix::platform
