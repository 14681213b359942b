#include <pybind11/pybind11.h>

#include "vx_bindings.hpp"

namespace vx::bindings {

namespace py = pybind11;

namespace {

// cls.__new__(cls) without the cyclic collector's tracking. A model's text
// expressions are made one per term, by the hundred thousand, and each
// tracked one counts towards the next collection, which then walks them all;
// an expression whose fields are texts and numbers can close no cycle, so
// reference counting alone frees it, as the host does for such tuples.
PyObject* untracked_instance(PyObject* /*module*/, PyObject* type_object) {
    if (!PyType_Check(type_object)) {
        PyErr_SetString(PyExc_TypeError, "untracked_instance expects a class");
        return nullptr;
    }
    // object.__new__ itself, so that the instance's dictionary and inline
    // attribute values are laid out as the host's release expects.
    static PyObject* const no_arguments = PyTuple_New(0);
    if (no_arguments == nullptr) return nullptr;
    auto* type = reinterpret_cast<PyTypeObject*>(type_object);
    PyObject* instance = PyBaseObject_Type.tp_new(type, no_arguments, nullptr);
    if (instance != nullptr && PyObject_IS_GC(instance)) PyObject_GC_UnTrack(instance);
    return instance;
}

// A plain host function: the call costs what object.__new__ costs, which a
// wrapped function's argument conversion would not.
PyMethodDef untracked_instance_definition{
    "untracked_instance", untracked_instance, METH_O,
    "untracked_instance(cls: type) -> object\n\n"
    "An instance of cls, its fields unset, that the cyclic garbage collector does not track."};

}  // namespace

void bind_untracked_instance(py::module_& module) {
    PyObject* function = PyCFunction_NewEx(&untracked_instance_definition, nullptr, nullptr);
    if (function == nullptr) throw py::error_already_set();
    module.add_object("untracked_instance", py::reinterpret_steal<py::object>(function));
}

}  // namespace vx::bindings
