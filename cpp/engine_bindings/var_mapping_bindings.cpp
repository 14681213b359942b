#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <string_view>

#include "engine/storage/var_mapping.hpp"
#include "engine_bindings.hpp"
#include "python_conversion.hpp"

namespace kelvo::bindings {

namespace py = pybind11;

namespace {

std::vector<std::pair<std::string, VariableNumber>> entries_from_python(const py::dict& entries) {
    std::vector<std::pair<std::string, VariableNumber>> converted;
    converted.reserve(entries.size());
    for (const auto& [key, value] : entries) {
        if (!PyUnicode_Check(key.ptr())) {
            throw py::type_error("a variable name must be text, not " + std::string(py::repr(key)));
        }
        converted.emplace_back(key.cast<std::string>(), integer_from_python(value, "a variable number"));
    }
    return converted;
}

void add_variable_cells(VarMapping& mapping, const std::string& name, const std::vector<std::int64_t>& sizes,
                        py::handle first) {
    mapping.add_variable_cells(name, sizes, integer_from_python(first, "a variable number"));
}

using Integers = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>;

void add_auxiliary_runs(VarMapping& mapping, const std::vector<std::string>& prefixes, std::int64_t formula,
                        const Integers& runs) {
    if (runs.size() == 0) return;
    if (runs.ndim() != 2 || runs.shape(1) != 5) throw py::value_error("runs must be rows of five integers");
    std::vector<VarMapping::AuxiliaryRun> records;
    records.reserve(static_cast<std::size_t>(runs.shape(0)));
    const auto row = runs.unchecked<2>();
    for (py::ssize_t r = 0; r < runs.shape(0); ++r) {
        if (row(r, 0) < 0) throw py::value_error("a run names a prefix that is not given");
        records.push_back({static_cast<std::size_t>(row(r, 0)), row(r, 1), row(r, 2), row(r, 3), row(r, 4)});
    }
    mapping.add_auxiliary_runs(prefixes, formula, records);
}

py::dict var_map_to_python(const VarMapping& mapping) {
    py::dict entries;
    for (std::size_t position = 0; position < mapping.size(); ++position) {
        const auto name = mapping.name_at(position);
        entries[py::str(name.data(), name.size())] = py::int_(mapping.number_at(position));
    }
    return entries;
}

}  // namespace

void bind_var_mapping(py::module_& module) {
    py::class_<VarMapping, std::shared_ptr<VarMapping>>(module, "var_mapping",
        "Variable names (x[1,2]) to variable numbers, and back.")
        .def(py::init<>())
        .def("set_var_map",
             [](VarMapping& self, const py::dict& entries) { self.set_var_map(entries_from_python(entries)); },
             py::arg("mapping"), R"doc(Replace the entries.

Args:
    mapping: A dict from names to variable numbers.

Raises:
    TypeError: A name is not text or a number not an integer.
)doc")
        .def("add_entries",
             [](VarMapping& self, const py::dict& entries) { self.add_entries(entries_from_python(entries)); },
             py::arg("mapping"), R"doc(Append entries; a name given again keeps its place and takes the new number.

Args:
    mapping: A dict from names to variable numbers.

Raises:
    TypeError: A name is not text or a number not an integer.
)doc")
        .def("add_auxiliary_runs", &add_auxiliary_runs, py::arg("prefixes"), py::arg("formula"), py::arg("runs"),
             R"doc(Append runs of auxiliary entries, each kept as one record.

Args:
    prefixes: The auxiliary prefixes.
    formula: The constraint's number f.
    runs: Rows of five integers (prefix position, instance, first index,
        count, first number): prefix[f,instance,first_index + t] is first + t.

Raises:
    ValueError: The runs are not rows of five integers or name a missing prefix.
)doc")
        .def("add_variable_cells", &add_variable_cells, py::arg("name"), py::arg("sizes"), py::arg("first"),
             R"doc(Append one entry per cell of a variable, kept as one block.

Args:
    name: The variable's name.
    sizes: The size of each dimension.
    first: The number of the first cell; name[v1,...] in row-major order.
)doc")
        .def("build_inverse_map", &VarMapping::build_inverse_map, "Prepare the look-up of names by number.")
        .def("get_var_map", &var_map_to_python, "All entries as a dict from names to numbers, in order.")
        .def("get_var_number",
             [](const VarMapping& self, const std::string& name) {
                 const auto number = self.number_of(name);
                 if (!number) throw py::key_error(name);
                 return *number;
             },
             py::arg("name"), R"doc(The number of a name.

Args:
    name: A name such as x[1,2].

Returns:
    The variable number.

Raises:
    KeyError: No entry has that name.
)doc")
        .def("get_var_name",
             [](VarMapping& self, py::handle number) {
                 const auto name = self.name_of(integer_from_python(number, "a variable number"));
                 if (!name) throw py::key_error(std::string(py::repr(number)));
                 return *name;
             },
             py::arg("number"), R"doc(The name of a number.

Args:
    number: A variable number.

Returns:
    The name.

Raises:
    KeyError: No entry has that number.
)doc")
        .def("__len__", &VarMapping::size);
}

}  // namespace kelvo::bindings
