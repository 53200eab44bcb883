#pragma once

#include <pybind11/pybind11.h>

#include "aurelix/platform/runtime/variant.h"

// Values crossing between Python and the late-bound interface.
namespace aurelix::python {

// None is Empty, bool Boolean, int Long (Double beyond 32 bits, so that the member's own
// conversion raises its overflow), float Double, str String; a NumPy array (or a list or
// tuple, read as one) of int16, int32 or float32 becomes the array of that element type,
// other whole numbers Long and other reals Single. Anything else raises TypeError.
platform::Variant ToVariant(pybind11::handle value);

// The reverse: arrays become one-dimensional NumPy arrays (copies) of int16, int32 or
// float32; an array that was never allocated becomes an empty one.
pybind11::object FromVariant(const platform::Variant& value);

}  // namespace aurelix::python
