#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "vx_bindings.hpp"

namespace vx::bindings {

namespace py = pybind11;

namespace {

// An expression's text is kept as pieces until it is read. Joining at every
// operator would copy the whole text so far, so that a sum written with + in
// a loop would cost time quadratic in its terms; both models' expressions
// keep their operands' pieces instead and join them once, here. A sum of a
// million terms nests a million deep: the pieces are walked with a stack of
// their own, never by recursion.

// A reference owned for as long as the join needs its object.
using Owned = py::object;

Owned owned(PyObject* object) { return py::reinterpret_borrow<py::object>(object); }

// A tuple being walked, with the position of its next piece.
struct OpenTuple {
    Owned tuple;
    Py_ssize_t next = 0;
};

// The texts in order: any str (a subclass gives its own characters, as a
// join of the host's would), the pieces of an exact tuple, and of anything
// else the pieces its text_field holds. False with the host's error set when
// a field cannot be read.
bool collect_texts(PyObject* pieces, PyObject* text_field, std::vector<Owned>& texts) {
    std::vector<OpenTuple> open;
    Owned piece = owned(pieces);
    while (true) {
        while (!PyUnicode_Check(piece.ptr()) && !PyTuple_CheckExact(piece.ptr())) {
            PyObject* field = PyObject_GetAttr(piece.ptr(), text_field);
            if (field == nullptr) return false;
            piece = py::reinterpret_steal<py::object>(field);
        }
        if (PyUnicode_Check(piece.ptr())) {
            texts.push_back(std::move(piece));
        } else {
            open.push_back({std::move(piece), 0});
        }
        while (!open.empty() && open.back().next == PyTuple_GET_SIZE(open.back().tuple.ptr())) open.pop_back();
        if (open.empty()) return true;
        OpenTuple& innermost = open.back();
        piece = owned(PyTuple_GET_ITEM(innermost.tuple.ptr(), innermost.next++));
    }
}

// The texts as one exact str, as "".join gives it: a lone exact str is itself.
PyObject* joined(const std::vector<Owned>& texts) {
    if (texts.size() == 1 && PyUnicode_CheckExact(texts.front().ptr())) return Py_NewRef(texts.front().ptr());
    Py_ssize_t length = 0;
    Py_UCS4 widest = 0;
    for (const Owned& text : texts) {
        length += PyUnicode_GET_LENGTH(text.ptr());
        widest = std::max(widest, PyUnicode_MAX_CHAR_VALUE(text.ptr()));
    }
    PyObject* result = PyUnicode_New(length, widest);
    if (result == nullptr) return nullptr;
    const int kind = PyUnicode_KIND(result);
    auto* data = static_cast<char*>(PyUnicode_DATA(result));
    Py_ssize_t at = 0;
    for (const Owned& text : texts) {
        const Py_ssize_t text_length = PyUnicode_GET_LENGTH(text.ptr());
        if (static_cast<int>(PyUnicode_KIND(text.ptr())) == kind) {
            std::memcpy(data + at * kind, PyUnicode_DATA(text.ptr()), static_cast<std::size_t>(text_length * kind));
        } else if (PyUnicode_CopyCharacters(result, at, text.ptr(), 0, text_length) < 0) {
            Py_DECREF(result);
            return nullptr;
        }
        at += text_length;
    }
    return result;
}

PyObject* joined_pieces(PyObject* /*module*/, PyObject* const* arguments, Py_ssize_t count) {
    if (count != 2) {
        PyErr_SetString(PyExc_TypeError, "joined_pieces expects (pieces, text_field)");
        return nullptr;
    }
    try {
        std::vector<Owned> texts;
        if (!collect_texts(arguments[0], arguments[1], texts)) return nullptr;
        return joined(texts);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
}

PyMethodDef joined_pieces_definition{
    "joined_pieces", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(joined_pieces)), METH_FASTCALL,
    "joined_pieces(pieces: typing.Any, text_field: str) -> str\n\n"
    "The text of nested pieces: texts, tuples of pieces, and objects whose text_field holds their own pieces; "
    "walked without recursion, however deep they nest."};

}  // namespace

void bind_text_pieces(py::module_& module) {
    PyObject* function = PyCFunction_NewEx(&joined_pieces_definition, nullptr, nullptr);
    if (function == nullptr) throw py::error_already_set();
    module.add_object("joined_pieces", py::reinterpret_steal<py::object>(function));
}

}  // namespace vx::bindings
