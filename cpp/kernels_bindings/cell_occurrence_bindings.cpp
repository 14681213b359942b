#include <pybind11/pybind11.h>

#include <structmember.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <span>
#include <string>

#include "vx_bindings.hpp"

namespace vx::bindings {

namespace py = pybind11;

namespace {

// A model names its cells by the million, most often as x[a, b] with integer
// values or x[a, c] with an index of the model among them: such an
// occurrence is made here in one call, without a frame of the host's. Any
// other key (texts, a sequence other than a tuple, a name, value or index text
// that is not plain ASCII) is left to the variable's _occurrence_of.

PyObject* interned(const char* text) {
    PyObject* name = PyUnicode_InternFromString(text);
    if (name == nullptr) throw py::error_already_set();
    return name;
}

struct Names {
    PyObject* name = interned("name");
    PyObject* occurrence_type = interned("_occurrence_type");
    PyObject* index_type = interned("_index_type");
    PyObject* index_text = interned("expression");
    PyObject* text = interned("_expr");
    PyObject* occurrence_of = interned("_occurrence_of");
    PyObject* no_arguments = PyTuple_New(0);
    PyObject* separator = interned(", ");
};

const Names& names() {
    static const Names held;
    return held;
}

// The attribute, or an empty object with no error set when it cannot be read:
// the host's road then reads it again and raises what it raises.
py::object attribute_or_none(PyObject* object, PyObject* name) {
    PyObject* value = PyObject_GetAttr(object, name);
    if (value == nullptr) PyErr_Clear();
    return py::reinterpret_steal<py::object>(value);
}

// The values' texts, each exactly the str() the host would write of it: an
// int of 64 bits, or an index of exactly the variable's kind of indexes, whose
// str() is its expression. The kind is read at the first value that is no int.
class ValueTexts {
public:
    explicit ValueTexts(PyObject* variable) : variable_(variable) {}

    // str(value) appended to text; false when the value is of neither sort.
    bool append(std::string& text, PyObject* value) {
        if (PyLong_CheckExact(value)) return append_integer(text, value);
        if (!index_kind_read_) {
            index_kind_ = attribute_or_none(variable_, names().index_type);
            index_kind_read_ = true;
        }
        if (!index_kind_ || !Py_IS_TYPE(value, reinterpret_cast<PyTypeObject*>(index_kind_.ptr()))) return false;
        const py::object index_text = attribute_or_none(value, names().index_text);
        if (!index_text || !PyUnicode_CheckExact(index_text.ptr()) || !PyUnicode_IS_ASCII(index_text.ptr())) {
            return false;
        }
        text.append(reinterpret_cast<const char*>(PyUnicode_1BYTE_DATA(index_text.ptr())),
                    static_cast<std::size_t>(PyUnicode_GET_LENGTH(index_text.ptr())));
        return true;
    }

private:
    static bool append_integer(std::string& text, PyObject* value) {
        int overflow = 0;
        const long long number = PyLong_AsLongLongAndOverflow(value, &overflow);
        if (overflow != 0) return false;
        char digits[24];
        const auto written = std::to_chars(digits, digits + sizeof digits, number);
        text.append(digits, written.ptr);
        return true;
    }

    PyObject* variable_;
    py::object index_kind_;
    bool index_kind_read_ = false;
};

// "name(v1,v2,...)" into text; false when a value has no text of ValueTexts.
bool write_cell_text(std::string& text, PyObject* variable, PyObject* name, std::span<PyObject* const> values) {
    Py_ssize_t name_size = 0;
    const char* name_bytes = PyUnicode_AsUTF8AndSize(name, &name_size);
    if (name_bytes == nullptr) return false;
    text.assign(name_bytes, static_cast<std::size_t>(name_size));
    text += '(';
    ValueTexts value_texts(variable);
    for (std::size_t v = 0; v < values.size(); ++v) {
        if (v > 0) text += ',';
        if (!value_texts.append(text, values[v])) return false;
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

// The values of a key: a tuple's items, or the one value of any other key,
// which the host writes as str() too unless it is a sequence (neither an int
// nor an index is one).
std::span<PyObject* const> key_values(PyObject* const& values) {
    if (!PyTuple_CheckExact(values)) return {&values, 1};
    return {&PyTuple_GET_ITEM(values, 0), static_cast<std::size_t>(PyTuple_GET_SIZE(values))};
}

PyObject* cell_occurrence(PyObject* variable, PyObject* values) {
    const Names& held = names();
    PyObject* name = PyObject_GetAttr(variable, held.name);
    if (name == nullptr) return nullptr;
    std::string text;  // a cell's text fits the string's own buffer most often
    const bool written = PyUnicode_CheckExact(name) && PyUnicode_IS_ASCII(name) &&
                         write_cell_text(text, variable, name, key_values(values));
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
    "of integers and indexes (or one of either) and by the variable's _occurrence_of otherwise."};

// The slot of the occurrences' text: where `cell_kind` keeps `_expr`, or -1
// when it is not the Expression slot (a class that redefines it).
Py_ssize_t text_slot_of(PyObject* cell_kind) {
    PyObject* descriptor = PyObject_GetAttr(cell_kind, names().text);
    if (descriptor == nullptr) {
        PyErr_Clear();
        return -1;
    }
    Py_ssize_t offset = -1;
    if (Py_IS_TYPE(descriptor, &PyMemberDescr_Type)) {
        const PyMemberDef* member = reinterpret_cast<PyMemberDescrObject*>(descriptor)->d_member;
        if (member->type == T_OBJECT_EX) offset = member->offset;
    }
    Py_DECREF(descriptor);
    return offset;
}

// Whether kind is a kind of cell whose text is in the slot at offset.
bool is_cell_kind(PyTypeObject* kind, PyObject* cell_kind, Py_ssize_t offset) {
    if (!PyType_IsSubtype(kind, reinterpret_cast<PyTypeObject*>(cell_kind))) return false;
    return text_slot_of(reinterpret_cast<PyObject*>(kind)) == offset;
}

// "t1<suffix>, t2<suffix>, ...<suffix>" of the texts of a list or tuple of
// cells, with the set of their kinds; None when an element is no cell (or
// has no text), for the caller to join them one by one.
// The joined texts of cells, their kinds already checked.
PyObject* joined_texts(PyObject* const* cells, Py_ssize_t size, Py_ssize_t offset, PyObject* suffix,
                       Py_ssize_t length, Py_UCS4 widest) {
    PyObject* joined = PyUnicode_New(length, widest);
    if (joined == nullptr) return nullptr;
    Py_ssize_t at = 0;
    const auto copy = [&](PyObject* piece) {
        const Py_ssize_t piece_length = PyUnicode_GET_LENGTH(piece);
        if (PyUnicode_IS_ASCII(joined)) {
            std::memcpy(PyUnicode_1BYTE_DATA(joined) + at, PyUnicode_1BYTE_DATA(piece),
                        static_cast<std::size_t>(piece_length));
        } else {
            PyUnicode_CopyCharacters(joined, at, piece, 0, piece_length);
        }
        at += piece_length;
    };
    for (Py_ssize_t c = 0; c < size; ++c) {
        if (c > 0) copy(names().separator);
        copy(*reinterpret_cast<PyObject* const*>(reinterpret_cast<const char*>(cells[c]) + offset));
        copy(suffix);
    }
    return joined;
}

// (text, kinds) of cells, or None; cells is a tuple no other code can change meanwhile.
PyObject* joined_texts_of_cells(PyObject* cells, PyObject* suffix, PyObject* cell_kind) {
    const Py_ssize_t size = PyTuple_GET_SIZE(cells);
    PyObject* const* items = &PyTuple_GET_ITEM(cells, 0);
    const Py_ssize_t offset = text_slot_of(cell_kind);
    if (size == 0 || offset < 0) Py_RETURN_NONE;
    const auto kinds = py::reinterpret_steal<py::object>(PySet_New(nullptr));
    if (!kinds) return nullptr;
    Py_ssize_t length = size * (PyUnicode_GET_LENGTH(suffix) + 2) - 2;
    Py_UCS4 widest = PyUnicode_MAX_CHAR_VALUE(suffix);
    PyTypeObject* last_kind = nullptr;
    for (Py_ssize_t c = 0; c < size; ++c) {
        PyTypeObject* kind = Py_TYPE(items[c]);
        if (kind != last_kind) {
            if (!is_cell_kind(kind, cell_kind, offset)) Py_RETURN_NONE;
            if (PySet_Add(kinds.ptr(), reinterpret_cast<PyObject*>(kind)) != 0) return nullptr;
            last_kind = kind;
        }
        PyObject* text = *reinterpret_cast<PyObject* const*>(reinterpret_cast<const char*>(items[c]) + offset);
        if (text == nullptr || !PyUnicode_CheckExact(text)) Py_RETURN_NONE;
        length += PyUnicode_GET_LENGTH(text);
        widest = std::max(widest, PyUnicode_MAX_CHAR_VALUE(text));
    }
    PyObject* joined = joined_texts(items, size, offset, suffix, length, widest);
    if (joined == nullptr) return nullptr;
    PyObject* result = PyTuple_Pack(2, joined, kinds.ptr());
    Py_DECREF(joined);
    return result;
}

// "t1<suffix>, t2<suffix>, ...<suffix>" of the texts of a list or tuple of
// cells, with the set of their kinds; None when an element is no cell (or
// has no text), for the caller to join them one by one.
PyObject* joined_cell_texts(PyObject* /*module*/, PyObject* const* arguments, Py_ssize_t count) {
    if (count != 3 || !PyUnicode_Check(arguments[1]) || !PyType_Check(arguments[2])) {
        PyErr_SetString(PyExc_TypeError, "joined_cell_texts expects (cells, suffix, cell kind)");
        return nullptr;
    }
    PyObject* cells = arguments[0];
    if (!PyList_CheckExact(cells) && !PyTuple_CheckExact(cells)) Py_RETURN_NONE;
    // A snapshot of a list: a class's attribute lookup below may run code of the host's.
    PyObject* snapshot = PyList_CheckExact(cells) ? PyList_AsTuple(cells) : Py_NewRef(cells);
    if (snapshot == nullptr) return nullptr;
    PyObject* result = joined_texts_of_cells(snapshot, arguments[1], arguments[2]);
    Py_DECREF(snapshot);
    return result;
}

PyMethodDef joined_cell_texts_definition{
    "joined_cell_texts", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(joined_cell_texts)),
    METH_FASTCALL,
    "joined_cell_texts(cells: typing.Any, suffix: str, cell_kind: type) -> typing.Any\n\n"
    "(text, kinds): the texts of a list or tuple of cells, each followed by suffix, joined by \", \", with the set of "
    "their kinds; None when an element is not of a kind of cell_kind that keeps its text in the Expression slot."};

}  // namespace

void bind_cell_occurrence(py::module_& module) {
    names();
    // A method descriptor of object: the host passes the variable as its first argument.
    PyObject* method = PyDescr_NewMethod(&PyBaseObject_Type, &cell_occurrence_definition);
    if (method == nullptr) throw py::error_already_set();
    module.add_object("cell_occurrence", py::reinterpret_steal<py::object>(method));
    PyObject* join = PyCFunction_NewEx(&joined_cell_texts_definition, nullptr, nullptr);
    if (join == nullptr) throw py::error_already_set();
    module.add_object("joined_cell_texts", py::reinterpret_steal<py::object>(join));
}

}  // namespace vx::bindings
