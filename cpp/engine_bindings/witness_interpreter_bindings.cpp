#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

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
        .def("set_var_mapping", &WitnessInterpreter::set_var_mapping, py::arg("mapping"))
        .def("get_var_mapping", &WitnessInterpreter::var_mapping)
        .def("set_auxiliary_vars", &WitnessInterpreter::set_auxiliary_vars, py::arg("prefixes"))
        .def("get_auxiliary_vars", &WitnessInterpreter::auxiliary_vars)
        .def("build_mapping_tables", &WitnessInterpreter::build_mapping_tables, py::arg("leave_out_auxiliaries"),
             "Build the tables; false (nothing built) for an empty mapping.")
        .def("interpret",
             [](const WitnessInterpreter& self, py::handle model) {
                 const auto literals = integers_from_python(model, "a model");
                 py::dict values;
                 for (const auto& [name, value] : self.interpret(literals)) {
                     values[py::str(name.data(), name.size())] = py::bool_(value);
                 }
                 return values;
             },
             py::arg("model"),
             "The truth value of every named model variable; a number the model lacks is false.");
}

}  // namespace kelvo::bindings
