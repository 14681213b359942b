#include <pybind11/pybind11.h>

#include <charconv>
#include <cstring>
#include <string>

#include "vx_bindings.hpp"

namespace vx::bindings {

namespace py = pybind11;

namespace {

// A model names its cells by the million, most often as x[a, b] with integer
// values: such an occurrence is made here in one call, without a frame of
// the host's. Any other key (indexes, texts, a non-tuple, a name or value
// that is not plain ASCII) is left to the variable's _occurrence_of.

PyObject* interned(const char* text) {
    PyObject* name = PyUnicode_InternFromString(text);
    if (name == nullptr) throw py::error_already_set();
    return name;
}

struct Names {
    PyObject* name = interned("name");
    PyObject* occurrence_type = interned("_occurrence_type");
    PyObject* text = interned("_expr");
    PyObject* occurrence_of = interned("_occurrence_of");
    PyObject* no_arguments = PyTuple_New(0);
};

const Names& names() {
    static const Names held;
    return held;
}

// "name(v1,v2,...)" into text; false when a value is not an int of 64 bits.
bool write_cell_text(std::string& text, PyObject* name, PyObject* values) {
    Py_ssize_t name_size = 0;
    const char* name_bytes = PyUnicode_AsUTF8AndSize(name, &name_size);
    if (name_bytes == nullptr) return false;
    text.assign(name_bytes, static_cast<std::size_t>(name_size));
    text += '(';
    const Py_ssize_t count = PyTuple_GET_SIZE(values);
    for (Py_ssize_t v = 0; v < count; ++v) {
        PyObject* value = PyTuple_GET_ITEM(values, v);
        if (!PyLong_CheckExact(value)) return false;
        int overflow = 0;
        const long long number = PyLong_AsLongLongAndOverflow(value, &overflow);
        if (overflow != 0) return false;
        if (v > 0) text += ',';
        char digits[24];
        const auto written = std::to_chars(digits, digits + sizeof digits, number);
        text.append(digits, written.ptr);
    }
    text += ')';
    return true;
}

// object.__new__(kind) with its text, untracked by the cyclic collector: its
// one field is a str, so reference counting alone frees it.
PyObject* occurrence_with_text(PyObject* kind, const std::string& text) {
    PyObject* occurrence = PyBaseObject_Type.tp_new(reinterpret_cast<PyTypeObject*>(kind), names().no_arguments, nullptr);
    if (occurrence == nullptr) return nullptr;
    if (PyObject_IS_GC(occurrence)) PyObject_GC_UnTrack(occurrence);
    PyObject* value = PyUnicode_New(static_cast<Py_ssize_t>(text.size()), 0x7f);
    if (value == nullptr || (std::memcpy(PyUnicode_1BYTE_DATA(value), text.data(), text.size()),
                             PyObject_SetAttr(occurrence, names().text, value) != 0)) {
        Py_XDECREF(value);
        Py_DECREF(occurrence);
        return nullptr;
    }
    Py_DECREF(value);
    return occurrence;
}

PyObject* cell_occurrence(PyObject* variable, PyObject* values) {
    const Names& held = names();
    if (!PyTuple_CheckExact(values)) return PyObject_CallMethodOneArg(variable, held.occurrence_of, values);
    PyObject* name = PyObject_GetAttr(variable, held.name);
    if (name == nullptr) return nullptr;
    // Reused: the interpreter lock is held and nothing here calls back into the host.
    thread_local std::string text;
    const bool written = PyUnicode_CheckExact(name) && PyUnicode_IS_ASCII(name) && write_cell_text(text, name, values);
    Py_DECREF(name);
    if (!written) {
        if (PyErr_Occurred() != nullptr) return nullptr;
        return PyObject_CallMethodOneArg(variable, held.occurrence_of, values);
    }
    PyObject* kind = PyObject_GetAttr(variable, held.occurrence_type);
    if (kind == nullptr) return nullptr;
    PyObject* occurrence = PyType_Check(kind) ? occurrence_with_text(kind, text)
                                              : PyObject_CallMethodOneArg(variable, held.occurrence_of, values);
    Py_DECREF(kind);
    return occurrence;
}

PyMethodDef cell_occurrence_definition{
    "cell_occurrence", cell_occurrence, METH_O,
    "cell_occurrence(self: typing.Any, values: typing.Any) -> typing.Any\n\n"
    "A variable's __getitem__: the occurrence name(v1,...) of its kind of occurrences, made natively for a tuple "
    "of integers and by the variable's _occurrence_of otherwise."};

}  // namespace

void bind_cell_occurrence(py::module_& module) {
    names();
    // A method descriptor of object: the host passes the variable as its first argument.
    PyObject* method = PyDescr_NewMethod(&PyBaseObject_Type, &cell_occurrence_definition);
    if (method == nullptr) throw py::error_already_set();
    module.add_object("cell_occurrence", py::reinterpret_steal<py::object>(method));
}

}  // namespace vx::bindings
