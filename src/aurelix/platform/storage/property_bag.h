#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "aurelix/platform/runtime/variant.h"

// The container's property bag: the values a control saves with its host, each written
// with its default so that only values that differ from it are stored.
//
// File format (UTF-8 text, one property per line, in the order written):
//
//   # comment
//   SpS = 48000
//   Threshold = 7.5
//   FileName = "/srv/takes/take \"1\".wav"
//   Recording = True
//
// Keys are letters, digits, '_', '.' and '-'. Values: a quoted string with the escapes
// \" \\ \n \r \t and \xHH; a number (integers read back as Long when they fit, numbers
// written with a decimal point or exponent as Double, NaN, Infinity, -Infinity); True or
// False; Empty. Blank lines and '#' comments (also after a value) are ignored.
namespace aurelix::platform {

class PropertyBag {
  public:
    // Stores `value` under `key` when it differs from `defaultValue` (the runtime's "=",
    // so 5 and 5.0 are the same); an equal value removes the key. A key outside the
    // allowed characters raises 5 and changes nothing.
    void WriteProperty(const std::string& key, const Variant& value, const Variant& defaultValue);
    // The stored value, or `defaultValue` when the key is not stored.
    Variant ReadProperty(const std::string& key, const Variant& defaultValue) const;

    bool Contains(const std::string& key) const;
    size_t Count() const { return entries_.size(); }

    // Writes every stored value, replacing the file at once (see whole_file.h); a failure
    // raises a file error naming the path and leaves an existing file as it was.
    void SaveToFile(const std::string& path) const;
    // Replaces the contents of the bag with the file's. A missing file raises 53, one that
    // cannot be read a file error naming it (75 when access is denied), a malformed one 380
    // with "<path> line <n>: <problem>"; in every case the bag keeps what it held.
    void LoadFromFile(const std::string& path);

    using Entries = std::vector<std::pair<std::string, Variant>>;

  private:
    Entries entries_;  // in the order first written
};

}  // namespace aurelix::platform
