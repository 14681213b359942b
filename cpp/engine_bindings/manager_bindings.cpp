#include <pybind11/pybind11.h>

#include <memory>

#include "engine/storage/engine_manager.hpp"
#include "engine_bindings.hpp"

namespace kelvo::bindings {

namespace py = pybind11;

void bind_manager(py::module_& module) {
    py::class_<EngineManager, std::shared_ptr<EngineManager>>(module, "manager",
        "Holds the storage and the witness interpreter of the model built last.")
        .def(py::init<>())
        .def("set_cnf_storage", &EngineManager::set_cnf_storage, py::arg("storage").none(true))
        .def("get_cnf_storage", &EngineManager::cnf_storage)
        .def("set_witness_interpreter", &EngineManager::set_witness_interpreter,
             py::arg("interpreter").none(true))
        .def("get_witness_interpreter", &EngineManager::witness_interpreter)
        .def("create_formula_encoder", &EngineManager::create_formula_encoder, py::arg("name"),
             "A new formula encoder for the model of that name.");
}

}  // namespace kelvo::bindings
