#include "aurelix/platform/storage/property_bag_text.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/runtime/text_scan.h"

namespace aurelix::platform {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool IsKeyCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.' || c == '-';
}

std::string_view SkipBlanks(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                quoted.append("\\\"");
                break;
            case '\\':
                quoted.append("\\\\");
                break;
            case '\n':
                quoted.append("\\n");
                break;
            case '\r':
                quoted.append("\\r");
                break;
            case '\t':
                quoted.append("\\t");
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    quoted.append("\\x");
                    quoted.push_back(kHexDigits[static_cast<unsigned char>(c) >> 4]);
                    quoted.push_back(kHexDigits[c & 0xF]);
                } else {
                    quoted.push_back(c);
                }
        }
    }
    quoted.push_back('"');
    return quoted;
}

// Floating values keep a decimal point so that they read back as floating values.
std::string FloatingText(std::string text) {
    if (text.find_first_not_of("-0123456789") == std::string::npos) {
        text.append(".0");
    }
    return text;
}

std::string ValueText(const Variant& value) {
    switch (value.Type()) {
        case VariantType::Empty:
            return "Empty";
        case VariantType::Single:
            return FloatingText(NumberText(std::get<float>(value.Value())));
        case VariantType::Double:
            return FloatingText(NumberText(std::get<double>(value.Value())));
        case VariantType::String:
            return Quoted(value.ToString());
        default:  // Boolean, Integer, Long: True/False and plain integers
            return value.ToString();
    }
}

// Reads a quoted string at the start of `text` (which begins with '"') and removes it.
bool ParseQuoted(std::string_view& text, Variant& value, std::string& problem) {
    std::string plain;
    size_t at = 1;
    for (; at < text.size() && text[at] != '"'; ++at) {
        if (text[at] != '\\') {
            plain.push_back(text[at]);
            continue;
        }
        const char escape = at + 1 < text.size() ? text[++at] : '\0';
        switch (escape) {
            case '"':
            case '\\':
                plain.push_back(escape);
                break;
            case 'n':
                plain.push_back('\n');
                break;
            case 'r':
                plain.push_back('\r');
                break;
            case 't':
                plain.push_back('\t');
                break;
            case 'x': {
                const int high = at + 2 < text.size() ? HexDigitValue(text[at + 1]) : -1;
                const int low = at + 2 < text.size() ? HexDigitValue(text[at + 2]) : -1;
                if (high < 0 || low < 0) {
                    problem = "\\x needs two hex digits";
                    return false;
                }
                plain.push_back(char(high * 16 + low));
                at += 2;
                break;
            }
            default:
                problem = "unknown escape \\" + std::string(1, escape);
                return false;
        }
    }
    if (at >= text.size()) {
        problem = "string without closing quote";
        return false;
    }
    text.remove_prefix(at + 1);
    value = Variant(std::move(plain));
    return true;
}

std::optional<Variant> WordValue(std::string_view word) {
    if (word == "True" || word == "False") {
        return Variant(word == "True");
    }
    if (word == "Empty") {
        return Variant();
    }
    if (word == "NaN") {
        return Variant(std::numeric_limits<double>::quiet_NaN());
    }
    if (word == "Infinity" || word == "-Infinity") {
        const double infinity = std::numeric_limits<double>::infinity();
        return Variant(word == "Infinity" ? infinity : -infinity);
    }
    return std::nullopt;
}

// Reads a number or a word at the start of `text` and removes it.
bool ParsePlain(std::string_view& text, Variant& value, std::string& problem) {
    const std::string_view token = text.substr(0, text.find_first_of(" \t#"));
    text.remove_prefix(token.size());
    if (auto word = WordValue(token)) {
        value = std::move(*word);
        return true;
    }
    if (LeadingNumberLength(token) != token.size()) {
        problem = "expected a value (a quoted string, a number, True, False or Empty), found " +
                  std::string(token);
        return false;
    }
    double number = 0.0;
    try {
        number = LeadingNumber(token);
    } catch (const RuntimeError&) {
        problem = "number out of range: " + std::string(token);
        return false;
    }
    const bool integral = token.find_first_of(".eE") == std::string_view::npos;
    if (integral && number >= std::numeric_limits<int32_t>::min() &&
        number <= std::numeric_limits<int32_t>::max()) {
        value = Variant(static_cast<int32_t>(number));
    } else {
        value = Variant(number);
    }
    return true;
}

// Parses "Key = value [# comment]" (without leading blanks) into `entries`.
bool ParseLine(std::string_view line, PropertyBag::Entries& entries, std::string& problem) {
    const auto keyEnd = std::find_if_not(line.begin(), line.end(), IsKeyCharacter);
    const std::string key(line.begin(), keyEnd);
    std::string_view rest = SkipBlanks(line.substr(key.size()));
    if (key.empty() || rest.empty() || rest.front() != '=') {
        problem = "expected Key = value";
        return false;
    }
    rest = SkipBlanks(rest.substr(1));
    if (rest.empty() || rest.front() == '#') {
        problem = "no value for " + key;
        return false;
    }
    Variant value;
    if (!(rest.front() == '"' ? ParseQuoted(rest, value, problem)
                              : ParsePlain(rest, value, problem))) {
        return false;
    }
    rest = SkipBlanks(rest);
    if (!rest.empty() && rest.front() != '#') {
        problem = "unexpected text after the value of " + key;
        return false;
    }
    const bool duplicate = std::any_of(entries.begin(), entries.end(),
                                       [&](const auto& entry) { return entry.first == key; });
    if (duplicate) {
        problem = key + " is set twice";
        return false;
    }
    entries.emplace_back(key, std::move(value));
    return true;
}

}  // namespace

bool IsPropertyKey(std::string_view key) {
    return !key.empty() && std::all_of(key.begin(), key.end(), IsKeyCharacter);
}

std::string PropertyBagText(const PropertyBag::Entries& entries) {
    std::string text = "# Aurelix property bag\n";
    for (const auto& [key, value] : entries) {
        text.append(key).append(" = ").append(ValueText(value)).append("\n");
    }
    return text;
}

bool ParsePropertyBagText(std::string_view text, PropertyBag::Entries& entries, size_t& lineNumber,
                          std::string& problem) {
    lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        std::string_view line = TakeLine(text);
        line = SkipBlanks(line);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (!ParseLine(line, entries, problem)) {
            return false;
        }
    }
    return true;
}

}  // namespace aurelix::platform
