#pragma once

#include <string>
#include <utility>
#include <vector>

// The per-user settings store: string values addressed by application, section and key
// (exactly as given, case included), kept in $XDG_CONFIG_HOME/aurelix/settings.ini
// (XDG_CONFIG_HOME defaults to ~/.config; the format is described in settings_file.h).
//
// SaveSetting reads, changes and rewrites the file under an exclusive lock on
// settings.ini.lock, writing a temporary file that is flushed and renamed over the old
// one, so concurrent writers in any number of processes lose nothing and a reader never
// sees half a file. A lock held for half a second without the file changing fails the
// save (75, naming the lock) rather than stalling the caller. A settings.ini that is a
// symbolic link stays one: the file it points to is replaced. A file that cannot be read or parsed
// reads as defaults; the next SaveSetting renames it to settings.ini.unreadable-<local time>,
// reports that once by MsgBox, and starts a new file. Failures to write raise the file errors of
// file_io.h (75, 57, ...) with the path.
namespace aurelix::platform {

std::string GetSetting(const std::string& application, const std::string& section,
                       const std::string& key, const std::string& defaultValue = "");
void SaveSetting(const std::string& application, const std::string& section, const std::string& key,
                 const std::string& value);
// Several keys of one section in one update, so that no reader sees some changed and
// others not.
void SaveSettings(const std::string& application, const std::string& section,
                  const std::vector<std::pair<std::string, std::string>>& values);

}  // namespace aurelix::platform
