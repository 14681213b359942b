#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>

#include "engine/storage/engine_manager.hpp"
#include "engine_bindings.hpp"

namespace kelvo::bindings {

namespace py = pybind11;

void bind_manager(py::module_& module) {
    py::class_<EngineManager, std::shared_ptr<EngineManager>>(module, "manager",
        "Holds the storage and the witness interpreter of the model built last.")
        .def(py::init<>())
        .def("set_cnf_storage",
             [](EngineManager& self, std::optional<std::shared_ptr<WcnfStorage>> storage) {
                 self.set_cnf_storage(held_or_null(std::move(storage)));
             },
             py::arg("storage").none(true),
             R"doc(Hold a storage.

Args:
    storage: A wcnf_storage, or None.
)doc")
        .def("get_cnf_storage", [](const EngineManager& self) { return held_or_none(self.cnf_storage()); },
             "The storage held, or None.")
        .def("set_witness_interpreter",
             [](EngineManager& self, std::optional<std::shared_ptr<WitnessInterpreter>> interpreter) {
                 self.set_witness_interpreter(held_or_null(std::move(interpreter)));
             },
             py::arg("interpreter").none(true), R"doc(Hold a witness interpreter.

Args:
    interpreter: A witness_interpreter, or None.
)doc")
        .def("get_witness_interpreter",
             [](const EngineManager& self) { return held_or_none(self.witness_interpreter()); },
             "The witness interpreter held, or None.")
        .def("create_formula_encoder", &EngineManager::create_formula_encoder, py::arg("name"),
             R"doc(A new formula encoder for the model of that name.

Args:
    name: The model's name.

Returns:
    The formula_encoder.
)doc");
}

}  // namespace kelvo::bindings
