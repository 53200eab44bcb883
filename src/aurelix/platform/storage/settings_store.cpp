#include "aurelix/platform/storage/settings_store.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "aurelix/platform/runtime/message_box.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/storage/file_error.h"
#include "aurelix/platform/storage/settings_file.h"
#include "aurelix/platform/storage/whole_file.h"

namespace aurelix::platform {
namespace {

// $XDG_CONFIG_HOME when it is an absolute path (relative ones are to be ignored), else
// ~/.config; empty when there is no home folder at all.
std::string ConfigHome() {
    if (const char* configHome = std::getenv("XDG_CONFIG_HOME");
        configHome != nullptr && configHome[0] == '/') {
        return configHome;
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return std::string(home) + "/.config";
    }
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_dir[0] == '/') {
        return std::string(found->pw_dir) + "/.config";
    }
    return {};
}

std::string SettingsFolder() {
    const std::string configHome = ConfigHome();
    return configHome.empty() ? std::string() : configHome + "/aurelix";
}

std::string SettingsPath(const std::string& folder) {
    return folder + "/settings.ini";
}

constexpr std::chrono::milliseconds kLockPatience{500};
constexpr int kMostLinkHops = 40;  // as the kernel allows

// Which version of a file is there: every replacement brings a new inode.
struct FileVersion {
    ino_t inode = 0;
    int64_t modified = 0;  // nanoseconds
    bool operator==(const FileVersion&) const = default;
};

FileVersion VersionOf(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return {};
    }
    return {status.st_ino, int64_t(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

// Serialises the read-modify-write of all processes (and threads: each holder opens the
// lock file itself, so the lock is per holder). Kept in a file of its own because the
// settings file is replaced by rename.
class SettingsLock {
  public:
    explicit SettingsLock(const std::string& folder) {
        const std::string path = folder + "/settings.ini.lock";
        descriptor_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (descriptor_ < 0) {
            RaiseFileErrno(errno, path);
        }
        // Writers hold the lock for milliseconds each. While they keep replacing the file
        // the wait goes on; a holder that changes nothing for kLockPatience is stuck, and
        // the settings are not worth stalling the caller for.
        const std::string settings = SettingsPath(folder);
        FileVersion seen = VersionOf(settings);
        auto deadline = std::chrono::steady_clock::now() + kLockPatience;
        while (::flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            if (error != EINTR && error != EWOULDBLOCK) {
                ::close(descriptor_);
                RaiseFileErrno(error, path);
            }
            const auto now = std::chrono::steady_clock::now();
            if (const FileVersion version = VersionOf(settings); version != seen) {
                seen = version;
                deadline = now + kLockPatience;
            } else if (now >= deadline) {
                ::close(descriptor_);
                RaiseFileError(err::kPathFileAccessError,
                               path + " (held by another writer for more than " +
                                   std::to_string(kLockPatience.count()) + " ms)");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    SettingsLock(const SettingsLock&) = delete;
    SettingsLock& operator=(const SettingsLock&) = delete;
    ~SettingsLock() { ::close(descriptor_); }  // releases the lock

  private:
    int descriptor_ = -1;
};

// Errors that say the file itself cannot be used (as opposed to this process running
// short of descriptors or memory, or a failing disk, where moving it aside would be
// wrong).
bool FileItselfIsUnusable(int error) {
    return error == EACCES || error == EPERM || error == EISDIR || error == EINVAL ||
           error == ELOOP;
}

std::string LocalTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

// Moves the unusable file out of the way, so that the next write starts afresh without
// destroying what the user may still want, and says so once.
void SetAside(const std::string& path, const std::string& problem) {
    const std::string base = path + ".unreadable-" + LocalTimestamp();
    std::string aside = base;
    struct stat existing {};
    for (int suffix = 2; ::lstat(aside.c_str(), &existing) == 0; ++suffix) {
        aside = base + "-" + std::to_string(suffix);
    }
    if (::rename(path.c_str(), aside.c_str()) != 0) {
        RaiseFileErrno(errno, path);
    }
    MsgBox("The settings file " + path + " could not be read (" + problem + "); it was kept as " +
               aside + " and a new settings file was started.",
           kMsgBoxInformation, "Aurelix settings");
}

// The current settings for an update: an unusable file is set aside and counts as empty.
SettingsDocument LoadForUpdate(const std::string& path) {
    const WholeFile file = ReadWholeFile(path);
    SettingsDocument document;
    if (file.error == ENOENT) {
        return document;
    }
    std::string problem;
    if (file.error == 0) {
        if (SettingsDocument::Parse(file.text, document, problem)) {
            return document;
        }
    } else if (FileItselfIsUnusable(file.error)) {
        problem = std::system_category().message(file.error);
    } else {
        RaiseFileErrno(file.error, path);
    }
    SetAside(path, problem);
    return SettingsDocument();
}

// The file at the end of a chain of symbolic links (a settings file kept in a dotfiles
// folder, say), so that replacing it keeps the links; the path itself when it is no link.
std::string LinkedFile(std::string path) {
    std::error_code error;
    for (int hop = 0; hop < kMostLinkHops && std::filesystem::is_symlink(path, error); ++hop) {
        const std::filesystem::path target = std::filesystem::read_symlink(path, error);
        if (error) {
            break;
        }
        path = (std::filesystem::path(path).parent_path() / target).string();
    }
    return path;
}

}  // namespace

std::string GetSetting(const std::string& application, const std::string& section,
                       const std::string& key, const std::string& defaultValue) {
    const std::string folder = SettingsFolder();
    if (folder.empty()) {
        return defaultValue;
    }
    // No lock: the file is only ever replaced whole, so a reader sees a complete version.
    const WholeFile file = ReadWholeFile(SettingsPath(folder));
    SettingsDocument document;
    std::string problem;
    if (file.error != 0 || !SettingsDocument::Parse(file.text, document, problem)) {
        return defaultValue;
    }
    const std::string* value = document.Find(application, section, key);
    return value != nullptr ? *value : defaultValue;
}

void SaveSetting(const std::string& application, const std::string& section, const std::string& key,
                 const std::string& value) {
    SaveSettings(application, section, {{key, value}});
}

void SaveSettings(const std::string& application, const std::string& section,
                  const std::vector<std::pair<std::string, std::string>>& values) {
    const std::string folder = SettingsFolder();
    if (folder.empty()) {
        Raise(err::kPathFileAccessError,
              std::string(StandardDescription(err::kPathFileAccessError)) +
                  ": no folder for the settings (neither XDG_CONFIG_HOME nor HOME is set)");
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        RaiseFileErrno(error.value(), folder);
    }
    const SettingsLock lock(folder);
    const std::string path = LinkedFile(SettingsPath(folder));
    SettingsDocument document = LoadForUpdate(path);
    for (const auto& [key, value] : values) {
        document.Set(application, section, key, value);
    }
    ReplaceFileAtomically(path, document.Text());
}

}  // namespace aurelix::platform
