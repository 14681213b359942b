#pragma once
// Conversions from host values to engine values, with the host's error types.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/support/clause_buffer.hpp"
#include "engine/storage/wcnf_storage.hpp"

namespace kelvo::bindings {

namespace py = pybind11;

// A host integer (anything with __index__ but a bool) as a 64-bit value;
// TypeError otherwise, naming what the value is meant to be.
std::int64_t integer_from_python(py::handle value, const char* what);
Literal literal_from_python(py::handle value);
std::vector<Literal> literals_from_python(py::handle sequence);
std::vector<std::int64_t> integers_from_python(py::handle iterable, const char* what);
Weight weight_from_python(py::handle value);
// A NumPy array (or anything NumPy reads) of integers as 64-bit values.
py::array_t<std::int64_t, py::array::c_style> integer_array_from_python(py::handle values, const char* what);
// A file name as open() takes it (str, bytes or os.PathLike), in the file
// system's bytes; ValueError for an embedded NUL, which would cut it.
std::string path_from_python(py::handle path);

}  // namespace kelvo::bindings
