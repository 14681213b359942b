#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/typing.h>

#include <memory>

#include "engine/storage/witness_interpreter.hpp"
#include "engine_bindings.hpp"
#include "python_conversion.hpp"

namespace kelvo::bindings {

namespace py = pybind11;

void bind_witness_interpreter(py::module_& module) {
    py::class_<WitnessInterpreter, std::shared_ptr<WitnessInterpreter>>(module, "witness_interpreter",
        "Reads a solver's model back as truth values of the named model variables.")
        .def(py::init<>())
        .def("set_var_mapping", &WitnessInterpreter::set_var_mapping, py::arg("mapping"), R"doc(Set the variable mapping read from.

Args:
    mapping: The var_mapping of the model.
)doc")
        .def("get_var_mapping", [](const WitnessInterpreter& self) { return held_or_none(self.var_mapping()); },
             "The variable mapping, or None.")
        .def("set_auxiliary_vars", &WitnessInterpreter::set_auxiliary_vars, py::arg("prefixes"),
             R"doc(Set the prefixes of auxiliary variables.

Args:
    prefixes: Names starting with one of these are auxiliaries.
)doc")
        .def("get_auxiliary_vars", &WitnessInterpreter::auxiliary_vars, "The prefixes of auxiliary variables.")
        .def("build_mapping_tables", &WitnessInterpreter::build_mapping_tables, py::arg("leave_out_auxiliaries"),
             R"doc(Build the tables interpret reads, from the mapping as it is now.

Args:
    leave_out_auxiliaries: Give auxiliary variables no entry.

Returns:
    True; False (nothing built) for an empty mapping.
)doc")
        .def("interpret",
             [](const WitnessInterpreter& self, py::handle model) {
                 const auto literals = integers_from_python(model, "a model");
                 py::typing::Dict<py::str, bool> values;
                 for (const auto& [name, value] : self.interpret(literals)) {
                     values[py::str(name.data(), name.size())] = py::bool_(value);
                 }
                 return values;
             },
             py::arg("model"),
             R"doc(Read a solver's model as the truth values of the named variables.

Args:
    model: Signed variable numbers, as a SAT solver gives them.

Returns:
    A dict from names (x[1,2]) to truth values, in the mapping's order; a
    number the model lacks is false.

Raises:
    TypeError: The model does not hold integers.
    RuntimeError: The tables are not built.
)doc");
}

}  // namespace kelvo::bindings
