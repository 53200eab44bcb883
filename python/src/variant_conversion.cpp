#include "variant_conversion.h"

#include <cstring>
#include <limits>
#include <string>

#include <pybind11/numpy.h>

namespace py = pybind11;

namespace aurelix::python {
namespace {

// Callers have checked that the values fit Element.
template <class Element>
platform::Variant ArrayVariant(const py::array& given) {
    const auto items =
        py::array_t<Element, py::array::c_style | py::array::forcecast>::ensure(given);
    if (!items) {
        throw py::error_already_set();
    }
    if (items.ndim() != 1) {
        throw py::type_error("arrays passed to the control must be one-dimensional");
    }
    platform::BoundedArray<Element> array;  // empty stays unallocated: "no array yet"
    if (items.size() > std::numeric_limits<int32_t>::max()) {
        throw py::value_error("an array passed to the control holds more than 2^31 - 1 items");
    }
    if (items.size() > 0) {
        array.ReDim(0, static_cast<int32_t>(items.size()) - 1);
        std::memcpy(array.data(), items.data(), sizeof(Element) * size_t(items.size()));
    }
    return platform::Variant(std::move(array));
}

platform::Variant SequenceVariant(py::handle value) {
    const py::array items = py::module_::import("numpy").attr("asarray")(value);
    const py::dtype type = items.dtype();
    if (type.equal(py::dtype::of<int16_t>())) {
        return ArrayVariant<int16_t>(items);
    }
    if (type.equal(py::dtype::of<float>())) {
        return ArrayVariant<float>(items);
    }
    if (type.kind() == 'i' || type.kind() == 'u') {
        const py::array_t<int64_t> wide = py::array_t<int64_t>::ensure(items);
        for (py::ssize_t i = 0; i < wide.size(); ++i) {
            const int64_t item = wide.data()[i];
            if (item < std::numeric_limits<int32_t>::min() ||
                item > std::numeric_limits<int32_t>::max()) {
                throw py::value_error("whole numbers passed to the control must fit 32 bits");
            }
        }
        return ArrayVariant<int32_t>(items);
    }
    if (type.kind() == 'f') {
        return ArrayVariant<float>(items);
    }
    throw py::type_error("arrays passed to the control hold numbers, not " +
                         std::string(py::str(py::handle(type))));
}

template <class Element>
py::array_t<Element> NumpyArray(const platform::BoundedArray<Element>& array) {
    py::array_t<Element> copy(array.Count());
    if (array.Count() > 0) {
        std::memcpy(copy.mutable_data(), array.data(), sizeof(Element) * size_t(array.Count()));
    }
    return copy;
}

}  // namespace

platform::Variant ToVariant(py::handle value) {
    if (value.is_none()) {
        return {};
    }
    if (py::isinstance<py::bool_>(value)) {
        return platform::Variant(value.cast<bool>());
    }
    if (py::isinstance<py::int_>(value)) {
        const py::int_ number = py::reinterpret_borrow<py::int_>(value);
        int overflow = 0;
        const long long whole = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
        if (overflow == 0 && whole >= std::numeric_limits<int32_t>::min() &&
            whole <= std::numeric_limits<int32_t>::max()) {
            return platform::Variant(static_cast<int32_t>(whole));
        }
        return platform::Variant(PyLong_AsDouble(number.ptr()));
    }
    if (py::isinstance<py::float_>(value)) {
        return platform::Variant(value.cast<double>());
    }
    if (py::isinstance<py::str>(value)) {
        return platform::Variant(value.cast<std::string>());
    }
    if (py::isinstance<py::array>(value) || py::isinstance<py::list>(value) ||
        py::isinstance<py::tuple>(value)) {
        return SequenceVariant(value);
    }
    if (PyNumber_Check(value.ptr()) && PyIndex_Check(value.ptr())) {  // NumPy integer scalars
        return ToVariant(py::int_(py::reinterpret_borrow<py::object>(value)));
    }
    if (PyFloat_Check(value.ptr()) || py::hasattr(value, "__float__")) {  // NumPy floats
        return platform::Variant(
            py::float_(py::reinterpret_borrow<py::object>(value)).cast<double>());
    }
    throw py::type_error("the control takes None, numbers, strings and arrays, not " +
                         std::string(py::str(py::type::of(value).attr("__name__"))));
}

py::object FromVariant(const platform::Variant& value) {
    return std::visit(
        [](const auto& held) -> py::object {
            using Held = std::decay_t<decltype(held)>;
            if constexpr (std::is_same_v<Held, std::monostate>) {
                return py::none();
            } else if constexpr (std::is_same_v<Held, int16_t> || std::is_same_v<Held, int32_t>) {
                return py::int_(held);
            } else if constexpr (std::is_same_v<Held, bool>) {
                return py::bool_(held);
            } else if constexpr (std::is_same_v<Held, float> || std::is_same_v<Held, double>) {
                return py::float_(held);
            } else if constexpr (std::is_same_v<Held, std::string>) {
                return py::str(held);
            } else {
                return NumpyArray(held);
            }
        },
        value.Value());
}

}  // namespace aurelix::python
