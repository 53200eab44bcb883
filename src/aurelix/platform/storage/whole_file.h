#pragma once

#include <string>
#include <string_view>

// Reading a file whole, and replacing a file all at once: a reader (or a crash) sees the
// old contents or the new, never a mixture.
namespace aurelix::platform {

struct WholeFile {
    int error = 0;  // 0 when read; otherwise the errno (ENOENT: no such file)
    std::string text;
};

// Reads a regular file. Anything else (a folder, a device) reports EISDIR or EINVAL
// instead of blocking or reading endlessly.
WholeFile ReadWholeFile(const std::string& path);

// Writes `contents` to a temporary file beside `path`, flushes it to the disk, renames it
// over `path` and flushes the folder. An existing file keeps its permission bits. On
// failure before the rename the temporary file is removed, `path` is untouched, and the
// file error of the errno (FileErrorNumber) is raised naming `path`.
void ReplaceFileAtomically(const std::string& path, std::string_view contents);

}  // namespace aurelix::platform
