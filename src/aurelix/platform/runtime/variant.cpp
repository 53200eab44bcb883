#include "aurelix/platform/runtime/variant.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include <locale.h>

#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/runtime/text_scan.h"

namespace aurelix::platform {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

size_t SkipDigits(std::string_view text, size_t at) {
    while (at < text.size() && IsDigit(text[at])) {
        ++at;
    }
    return at;
}

// strtod reads the decimal point of the current locale; numbers here always use '.'.
locale_t ClassicLocale() {
    static const locale_t classic = newlocale(LC_ALL_MASK, "C", locale_t{});
    return classic;
}

template <class Number>
std::string PlainDecimal(Number value) {
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value > 0 ? "Infinity" : "-Infinity";
    }
    // Fixed notation of the largest double has 309 digits; the smallest has 330 places.
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    return std::string(buffer, result.ptr);
}

bool IsNumeric(const Variant& value) {
    return value.Type() != VariantType::String && !value.IsArray();
}

bool EqualsIgnoringCase(std::string_view text, std::string_view word) {
    if (text.size() != word.size()) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(word[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

size_t LeadingNumberLength(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) {
        ++at;
    }
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        ++at;
    }
    const size_t integerStart = at;
    at = SkipDigits(text, at);
    size_t digits = at - integerStart;
    if (at < text.size() && text[at] == '.') {
        const size_t fractionStart = at + 1;
        at = SkipDigits(text, fractionStart);
        digits += at - fractionStart;
    }
    if (digits == 0) {
        return 0;
    }
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        size_t exponent = at + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) {
            ++exponent;
        }
        if (exponent < text.size() && IsDigit(text[exponent])) {
            at = SkipDigits(text, exponent);
        }
    }
    return at;
}

double LeadingNumber(std::string_view text) {
    const size_t length = LeadingNumberLength(text);
    if (length == 0) {
        return 0.0;
    }
    const std::string number(text.substr(0, length));
    errno = 0;
    const double value = strtod_l(number.c_str(), nullptr, ClassicLocale());
    // ERANGE also reports underflow, which yields a usable tiny value or zero.
    if (errno == ERANGE && std::isinf(value)) {
        Raise(err::kOverflow);
    }
    return value;
}

std::string NumberText(double value) {
    return PlainDecimal(value);
}
std::string NumberText(float value) {
    return PlainDecimal(value);
}

bool Variant::ToBoolean() const {
    if (const auto* text = std::get_if<std::string>(&value_)) {
        const std::string_view word = TrimBlanks(*text);
        if (EqualsIgnoringCase(word, "True")) {
            return true;
        }
        if (EqualsIgnoringCase(word, "False")) {
            return false;
        }
    }
    return ToDouble() != 0.0;
}

int16_t Variant::ToInteger() const {
    switch (Type()) {
        case VariantType::Integer:
            return std::get<int16_t>(value_);
        case VariantType::Long:
            return CheckedInt16(std::get<int32_t>(value_));
        default:
            return RoundToInt16(ToDouble());
    }
}

int32_t Variant::ToLong() const {
    switch (Type()) {
        case VariantType::Integer:
            return std::get<int16_t>(value_);
        case VariantType::Long:
            return std::get<int32_t>(value_);
        default:
            return RoundToInt32(ToDouble());
    }
}

float Variant::ToSingle() const {
    if (const auto* single = std::get_if<float>(&value_)) {
        return *single;
    }
    const double value = ToDouble();
    if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max()) {
        Raise(err::kOverflow);
    }
    return static_cast<float>(value);
}

double Variant::ToDouble() const {
    switch (Type()) {
        case VariantType::Empty:
            return 0.0;
        case VariantType::Boolean:
            return std::get<bool>(value_) ? -1.0 : 0.0;
        case VariantType::Integer:
            return std::get<int16_t>(value_);
        case VariantType::Long:
            return std::get<int32_t>(value_);
        case VariantType::Single:
            return std::get<float>(value_);
        case VariantType::Double:
            return std::get<double>(value_);
        case VariantType::String:
            return LeadingNumber(std::get<std::string>(value_));
        case VariantType::IntegerArray:
        case VariantType::LongArray:
        case VariantType::SingleArray:
            break;
    }
    Raise(err::kTypeMismatch);
}

std::string Variant::ToString() const {
    switch (Type()) {
        case VariantType::Empty:
            return {};
        case VariantType::Boolean:
            return std::get<bool>(value_) ? "True" : "False";
        case VariantType::Integer:
            return std::to_string(std::get<int16_t>(value_));
        case VariantType::Long:
            return std::to_string(std::get<int32_t>(value_));
        case VariantType::Single:
            return NumberText(std::get<float>(value_));
        case VariantType::Double:
            return NumberText(std::get<double>(value_));
        case VariantType::String:
            return std::get<std::string>(value_);
        case VariantType::IntegerArray:
        case VariantType::LongArray:
        case VariantType::SingleArray:
            break;
    }
    Raise(err::kTypeMismatch);
}

bool operator==(const Variant& left, const Variant& right) {
    if (left.IsArray() || right.IsArray()) {
        Raise(err::kTypeMismatch);
    }
    if (IsNumeric(left) && IsNumeric(right)) {
        return left.ToDouble() == right.ToDouble();
    }
    if (left.IsEmpty() || right.IsEmpty() || (!IsNumeric(left) && !IsNumeric(right))) {
        return left.ToString() == right.ToString();
    }
    return false;
}

}  // namespace aurelix::platform
