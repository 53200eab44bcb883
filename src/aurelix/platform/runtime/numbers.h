#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "aurelix/platform/runtime/runtime_error.h"

namespace aurelix::platform {

// Float to integer the system's way: nearest, an exact half to the even neighbour;
// out of range (or NaN) raises Overflow (6).
inline int32_t RoundToInt32(double value) {
    // nearbyint follows the default rounding mode, round-half-even.
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) {
        Raise(err::kOverflow);
    }
    return static_cast<int32_t>(rounded);
}

inline int16_t RoundToInt16(double value) {
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -32768.0 && rounded <= 32767.0)) {
        Raise(err::kOverflow);
    }
    return static_cast<int16_t>(rounded);
}

// Int(): the largest integer not above the value, as a 32-bit integer (Overflow when it
// does not fit).
inline int32_t FloorToInt32(double value) {
    const double floored = std::floor(value);
    if (!(floored >= -2147483648.0 && floored <= 2147483647.0)) {
        Raise(err::kOverflow);
    }
    return static_cast<int32_t>(floored);
}

// 32-bit integer arithmetic that raises Overflow (6) instead of wrapping.
inline int32_t CheckedAdd32(int32_t a, int32_t b) {
    int32_t result;
    if (__builtin_add_overflow(a, b, &result)) {
        Raise(err::kOverflow);
    }
    return result;
}

inline int32_t CheckedSub32(int32_t a, int32_t b) {
    int32_t result;
    if (__builtin_sub_overflow(a, b, &result)) {
        Raise(err::kOverflow);
    }
    return result;
}

inline int32_t CheckedMul32(int32_t a, int32_t b) {
    int32_t result;
    if (__builtin_mul_overflow(a, b, &result)) {
        Raise(err::kOverflow);
    }
    return result;
}

// Narrowing to 16 bits with Overflow when the value does not fit.
inline int16_t CheckedInt16(int32_t value) {
    if (value < std::numeric_limits<int16_t>::min() ||
        value > std::numeric_limits<int16_t>::max()) {
        Raise(err::kOverflow);
    }
    return static_cast<int16_t>(value);
}

// Floating division that raises Division by zero (11) for a zero divisor.
inline double Divide(double numerator, double denominator) {
    if (denominator == 0.0) {
        Raise(err::kDivisionByZero);
    }
    return numerator / denominator;
}

// Integer division (truncating) with Division by zero (11).
inline int32_t IntegerDivide(int32_t numerator, int32_t denominator) {
    if (denominator == 0) {
        Raise(err::kDivisionByZero);
    }
    if (numerator == std::numeric_limits<int32_t>::min() && denominator == -1) {
        Raise(err::kOverflow);
    }
    return numerator / denominator;
}

}  // namespace aurelix::platform
