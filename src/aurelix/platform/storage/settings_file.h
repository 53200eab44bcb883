#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The text of the settings file:
//
//   # comment (also ';')
//   [AurelyxOCX\WaveInDevices]
//   LastHandle=3735928559
//
// A header names the application and the section, separated by one backslash; each
// value line is key=value. Names and values are kept exactly as given (case included);
// the characters that would break a line are written as %XX (hex): in every text '%',
// control characters and a blank at either end; in names also '\', '=', '[', ']', '#'
// and ';'. Blanks around unescaped names and values are ignored, so the file stays easy
// to edit by hand.
namespace aurelix::platform {

struct SettingsSection {
    std::string application;
    std::string section;
    std::vector<std::pair<std::string, std::string>> values;  // in file order
};

// The settings, sections and keys in file order.
class SettingsDocument {
  public:
    // nullptr when absent; with repeated keys (a hand-edited file) the first one counts.
    const std::string* Find(const std::string& application, const std::string& section,
                            const std::string& key) const;
    void Set(const std::string& application, const std::string& section, const std::string& key,
             const std::string& value);

    // Parses `text` into `document`; on a malformed line returns false with `problem` set
    // to "line N: ..." and `document` unspecified.
    static bool Parse(std::string_view text, SettingsDocument& document, std::string& problem);
    std::string Text() const;

  private:
    std::vector<SettingsSection> sections_;
};

}  // namespace aurelix::platform
