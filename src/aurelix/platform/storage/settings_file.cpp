#include "aurelix/platform/storage/settings_file.h"

#include <algorithm>
#include <optional>

#include "aurelix/platform/runtime/text_scan.h"

namespace aurelix::platform {
namespace {

constexpr std::string_view kNameSpecials = "\\=[]#;";
constexpr char kHexDigits[] = "0123456789ABCDEF";

bool NeedsEscape(std::string_view text, size_t at, bool isName) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c < 0x20 || c == 0x7F || c == '%') {
        return true;
    }
    if (isName && kNameSpecials.find(char(c)) != std::string_view::npos) {
        return true;
    }
    return c == ' ' && (at == 0 || at + 1 == text.size());
}

std::string Escape(std::string_view text, bool isName) {
    std::string escaped;
    escaped.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        if (NeedsEscape(text, at, isName)) {
            const auto c = static_cast<unsigned char>(text[at]);
            escaped.push_back('%');
            escaped.push_back(kHexDigits[c >> 4]);
            escaped.push_back(kHexDigits[c & 0xF]);
        } else {
            escaped.push_back(text[at]);
        }
    }
    return escaped;
}

// Trims, then decodes %XX; nullopt for a '%' without two hex digits after it.
std::optional<std::string> Unescape(std::string_view text) {
    text = TrimBlanks(text);
    std::string plain;
    plain.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '%') {
            plain.push_back(text[at]);
            continue;
        }
        if (at + 2 >= text.size()) {
            return std::nullopt;
        }
        const int high = HexDigitValue(text[at + 1]);
        const int low = HexDigitValue(text[at + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        plain.push_back(char(high * 16 + low));
        at += 2;
    }
    return plain;
}

}  // namespace

const std::string* SettingsDocument::Find(const std::string& application,
                                          const std::string& section,
                                          const std::string& key) const {
    for (const SettingsSection& candidate : sections_) {
        if (candidate.application != application || candidate.section != section) {
            continue;
        }
        for (const auto& [name, value] : candidate.values) {
            if (name == key) {
                return &value;
            }
        }
    }
    return nullptr;
}

void SettingsDocument::Set(const std::string& application, const std::string& section,
                           const std::string& key, const std::string& value) {
    auto found = std::find_if(sections_.begin(), sections_.end(), [&](const SettingsSection& s) {
        return s.application == application && s.section == section;
    });
    if (found == sections_.end()) {
        sections_.push_back({application, section, {}});
        found = sections_.end() - 1;
    }
    for (auto& [name, stored] : found->values) {
        if (name == key) {
            stored = value;
            return;
        }
    }
    found->values.emplace_back(key, value);
}

bool SettingsDocument::Parse(std::string_view text, SettingsDocument& document,
                             std::string& problem) {
    bool inSection = false;
    size_t lineNumber = 0;
    auto fail = [&](std::string_view what) {
        problem = "line " + std::to_string(lineNumber) + ": " + std::string(what);
        return false;
    };
    while (!text.empty()) {
        ++lineNumber;
        std::string_view line = TakeLine(text);
        line = TrimBlanks(line);
        if (line.empty() || line.front() == '#' || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            const size_t separator = line.find('\\');
            if (line.back() != ']' || separator == std::string_view::npos ||
                line.find('\\', separator + 1) != std::string_view::npos) {
                return fail("expected [application\\section]");
            }
            auto application = Unescape(line.substr(1, separator - 1));
            auto section = Unescape(line.substr(separator + 1, line.size() - separator - 2));
            if (!application || !section) {
                return fail("bad %XX escape");
            }
            document.sections_.push_back({std::move(*application), std::move(*section), {}});
            inSection = true;
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            return fail("expected key=value");
        }
        if (!inSection) {
            return fail("key=value before the first [application\\section]");
        }
        auto key = Unescape(line.substr(0, equals));
        auto value = Unescape(line.substr(equals + 1));
        if (!key || !value) {
            return fail("bad %XX escape");
        }
        document.sections_.back().values.emplace_back(std::move(*key), std::move(*value));
    }
    return true;
}

std::string SettingsDocument::Text() const {
    std::string text = "# Aurelix per-user settings\n";
    for (const SettingsSection& section : sections_) {
        text.append("\n[")
            .append(Escape(section.application, true))
            .append("\\")
            .append(Escape(section.section, true))
            .append("]\n");
        for (const auto& [key, value] : section.values) {
            text.append(Escape(key, true)).append("=").append(Escape(value, false)).append("\n");
        }
    }
    return text;
}

}  // namespace aurelix::platform
