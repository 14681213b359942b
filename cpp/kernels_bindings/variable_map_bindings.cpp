#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "kernels/clause_assembly/variable_map.hpp"
#include "vx_bindings.hpp"

namespace vx::bindings {

namespace py = pybind11;

namespace {

bool is_ascii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) > 0x7f) return false;
    }
    return true;
}

// A fresh str object for the key; ASCII keys skip UTF-8 decoding.
PyObject* key_to_python(std::string_view key, bool ascii) {
    if (!ascii) return PyUnicode_DecodeUTF8(key.data(), static_cast<Py_ssize_t>(key.size()), nullptr);
    PyObject* text = PyUnicode_New(static_cast<Py_ssize_t>(key.size()), 0x7f);
    if (text != nullptr) std::memcpy(PyUnicode_1BYTE_DATA(text), key.data(), key.size());
    return text;
}

void insert(PyObject* entries, PyObject* key, PyObject* number) {
    const int failed = (key == nullptr || number == nullptr) ? -1 : PyDict_SetItem(entries, key, number);
    Py_XDECREF(key);
    Py_XDECREF(number);
    if (failed != 0) throw py::error_already_set();
}

// One entry per cell, key "name[v1,...]" to its number, numbers running from
// first_number in row-major order.
py::dict variable_map(const std::string& name, const std::vector<std::int64_t>& sizes, std::int64_t first_number) {
    const std::int64_t count = cell_count(sizes);
    // Inserting dominates; a presized table rehashes less often while
    // millions of keys go in.
    auto entries = py::reinterpret_steal<py::dict>(_PyDict_NewPresized(static_cast<Py_ssize_t>(count)));
    if (!entries) throw py::error_already_set();
    const bool ascii = is_ascii(name);
    std::int64_t number = first_number;
    for (RowMajorKeys keys(name, sizes); !keys.done(); keys.advance()) {
        insert(entries.ptr(), key_to_python(keys.key(), ascii), PyLong_FromLongLong(number++));
    }
    return entries;
}

}  // namespace

void bind_variable_map(py::module_& module) {
    module.def("variable_map", &variable_map, py::arg("name"), py::arg("sizes"), py::arg("first_number"),
        "The mapping of every cell key name[v1,...] to its variable number, in row-major order.");
}

}  // namespace vx::bindings
