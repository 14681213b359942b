#include "python_conversion.hpp"

#include <limits>

namespace kelvo::bindings {

namespace {

std::string describe(py::handle value) {
    return std::string(py::str(py::type::of(value).attr("__name__"))) + " " + std::string(py::repr(value));
}

}  // namespace

std::int64_t integer_from_python(py::handle value, const char* what) {
    if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr())) {
        throw py::type_error(std::string(what) + " must be an integer, not " + describe(value));
    }
    const auto as_int = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!as_int) throw py::error_already_set();
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(as_int.ptr(), &overflow);
    if (overflow != 0) throw py::value_error(std::string(what) + " " + std::string(py::repr(value)) + " is out of range");
    if (number == -1 && PyErr_Occurred()) throw py::error_already_set();
    return number;
}

Literal literal_from_python(py::handle value) {
    const auto number = integer_from_python(value, "a literal");
    if (number == 0) throw py::value_error("literal 0 is not a literal: variables are numbered from 1");
    if (number > std::numeric_limits<Literal>::max() || number < -std::numeric_limits<Literal>::max()) {
        throw py::value_error("literal " + std::to_string(number) + " is out of the 32-bit range");
    }
    return static_cast<Literal>(number);
}

std::vector<Literal> literals_from_python(py::handle sequence) {
    if (PyUnicode_Check(sequence.ptr()) || !py::isinstance<py::iterable>(sequence)) {
        throw py::type_error("a clause must be an iterable of integers, not " + describe(sequence));
    }
    std::vector<Literal> literals;
    if (PyList_Check(sequence.ptr()) || PyTuple_Check(sequence.ptr())) literals.reserve(py::len(sequence));
    for (const auto item : py::iter(sequence)) literals.push_back(literal_from_python(item));
    return literals;
}

std::vector<std::int64_t> integers_from_python(py::handle iterable, const char* what) {
    if (PyUnicode_Check(iterable.ptr()) || !py::isinstance<py::iterable>(iterable)) {
        throw py::type_error(std::string(what) + " must be an iterable of integers, not " + describe(iterable));
    }
    std::vector<std::int64_t> values;
    for (const auto item : py::iter(iterable)) values.push_back(integer_from_python(item, what));
    return values;
}

Weight weight_from_python(py::handle value) {
    const auto number = integer_from_python(value, "a weight");
    if (number < 0) throw py::value_error("a weight must not be negative, got " + std::to_string(number));
    return static_cast<Weight>(number);
}

py::array_t<std::int64_t, py::array::c_style> integer_array_from_python(py::handle values, const char* what) {
    const auto numpy = py::module_::import("numpy");
    const py::array array = numpy.attr("asarray")(values);
    const char kind = array.dtype().kind();
    if (kind != 'i' && kind != 'u') {
        throw py::type_error(std::string(what) + " must be an array of integers, not of dtype " +
                             std::string(py::str(array.dtype())));
    }
    if (array.ndim() != 1) throw py::value_error(std::string(what) + " must be one-dimensional");
    if (kind == 'u' && array.dtype().itemsize() == 8) {
        // NumPy converts 64-bit unsigned to signed only when told to: read here.
        const auto unsigned_values = py::array_t<std::uint64_t, py::array::c_style | py::array::forcecast>::ensure(array);
        if (!unsigned_values) throw py::error_already_set();
        py::array_t<std::int64_t, py::array::c_style> converted(unsigned_values.size());
        auto* out = converted.mutable_data();
        const auto* in = unsigned_values.data();
        for (py::ssize_t i = 0; i < unsigned_values.size(); ++i) {
            if (in[i] > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                throw py::value_error(std::string(what) + " holds a value out of range");
            }
            out[i] = static_cast<std::int64_t>(in[i]);
        }
        return converted;
    }
    auto converted = py::array_t<std::int64_t, py::array::c_style>::ensure(array);
    if (!converted) throw py::error_already_set();
    return converted;
}

std::string path_from_python(py::handle path) {
    // The file system's own bytes of the name, as open() makes them.
    const auto name = py::module_::import("os").attr("fsencode")(path).cast<std::string>();
    if (name.find('\0') != std::string::npos) throw py::value_error("embedded null byte");
    return name;
}

}  // namespace kelvo::bindings
