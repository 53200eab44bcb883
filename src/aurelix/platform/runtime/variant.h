#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "aurelix/platform/runtime/bounded_array.h"

// The runtime's variant for scalar values and its conversion rules.
namespace aurelix::platform {

// The order matches the alternatives of Variant::Storage; further kinds of value (arrays
// by reference) are appended to both.
enum class VariantType {
    Empty,
    Boolean,
    Integer,
    Long,
    Single,
    Double,
    String,
    IntegerArray,
    LongArray,
    SingleArray
};

// Number of leading characters of `text` that form blanks (spaces, tabs) followed by a
// number: optional sign, digits with an optional decimal point (at least one digit), and
// an optional exponent (E or e, optional sign, at least one digit). 0 when no number
// follows the blanks.
size_t LeadingNumberLength(std::string_view text);

// The value of that leading number; text without one gives 0 and anything after the
// number is ignored ("12abc" is 12, "1e3x" 1000, "abc" 0). A number beyond the range of
// a Double raises Overflow (6). The decimal point is always '.', whatever the locale.
double LeadingNumber(std::string_view text);

// Plain decimal text: the fewest digits that read back as the same value, never in
// exponent form ("0.1", "-2.5", "100000000000000000000"); "NaN", "Infinity", "-Infinity"
// for values that are not finite. The float form uses the fewest digits for a float.
std::string NumberText(double value);
std::string NumberText(float value);

class Variant {
  public:
    using Storage = std::variant<std::monostate, bool, int16_t, int32_t, float, double, std::string,
                                 BoundedArray<int16_t>, BoundedArray<int32_t>, BoundedArray<float>>;

    // Implicit, so that values read like the runtime's: ReadProperty("SpS", 44100).
    Variant() = default;
    Variant(bool value) : value_(value) {}
    Variant(int16_t value) : value_(value) {}
    Variant(int32_t value) : value_(value) {}
    Variant(float value) : value_(value) {}
    Variant(double value) : value_(value) {}
    Variant(std::string value) : value_(std::move(value)) {}
    Variant(std::string_view value) : value_(std::string(value)) {}
    Variant(const char* value) : value_(std::string(value)) {}
    // Arrays are held by value; a by-reference argument is a Variant the callee changes.
    Variant(BoundedArray<int16_t> value) : value_(std::move(value)) {}
    Variant(BoundedArray<int32_t> value) : value_(std::move(value)) {}
    Variant(BoundedArray<float> value) : value_(std::move(value)) {}

    VariantType Type() const noexcept { return static_cast<VariantType>(value_.index()); }
    bool IsEmpty() const noexcept { return Type() == VariantType::Empty; }
    const Storage& Value() const noexcept { return value_; }
    bool IsArray() const noexcept { return Type() >= VariantType::IntegerArray; }

    // The array held, to read or replace in place; Type mismatch (13) for anything else.
    template <class Element>
    BoundedArray<Element>& Array() {
        if (auto* array = std::get_if<BoundedArray<Element>>(&value_)) {
            return *array;
        }
        Raise(err::kTypeMismatch);
    }
    template <class Element>
    const BoundedArray<Element>& Array() const {
        return const_cast<Variant*>(this)->Array<Element>();
    }

    // Conversions. Empty is 0 (or ""); Boolean True is -1 as a number and "True" as text;
    // a String is read with LeadingNumber (ToBoolean also accepts "True" and "False" in
    // any case). To Integer and Long round half to even and raise Overflow (6) out of
    // range, as does a finite Double beyond the range of a Single.
    bool ToBoolean() const;
    int16_t ToInteger() const;
    int32_t ToLong() const;
    float ToSingle() const;
    double ToDouble() const;
    std::string ToString() const;

    // Arrays convert to nothing: Type mismatch (13).
    // The runtime's "=": numbers (Boolean and Empty included) compare by value, strings by
    // their characters, Empty also equals ""; a number never equals a string; an array compares
    // with nothing (13).
    friend bool operator==(const Variant& left, const Variant& right);

  private:
    Storage value_;
};

}  // namespace aurelix::platform
