// The native parts of the text linear model's variables and expressions.
//
// A model's sums are written one term at a time, w[q] * x[q] by the hundred
// thousand, so a cell and a scaled cell are made here as (column,
// coefficient), without a Python frame, a text or the cyclic collector's
// tracking; their text is formed only when read. SumIt keeps a sum of such
// terms as numbers, and the model reads them without their text.
//
// LinearCells is the base of LinearVariable: x[...] with integer index values
// naming an element makes a numbered cell; any other index values go to the
// variable's _written_cell, which writes the cell's text. LinearTerms is the
// base of LinearExpression: it holds the text (a str or a tuple of pieces) or
// the numbered form, and the bounds. A number times an unbounded numbered
// cell stays numbered; any other product goes to the expression's _product.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <structmember.h>

#include <cmath>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "kernels/linear_text/cell_terms.hpp"
#include "kernels/linear_text/element_layout.hpp"
#include "row_arrays.hpp"
#include "vx_bindings.hpp"

namespace vx::bindings {

namespace py = pybind11;

namespace {

struct CellsObject {
    PyObject_HEAD
    PyObject* name;             // the variable's name
    PyObject* layout_object;    // the ElementLayout that layout points into
    const ElementLayout* layout;
    PyObject* cell_type;        // what x[...] makes: LinearVariableProxy
    PyObject* expression_type;  // what a scaled cell is: LinearExpression
};

// The terms of a numbered sum, shared by the sum and its bounded copies.
struct TermSum {
    std::vector<PyObject*> variables;     // owned; the cells' variables
    std::vector<std::uint32_t> owners;    // each term's variable
    std::vector<CellTerm> terms;
    std::size_t uses = 1;

    TermSum() = default;
    TermSum(const TermSum&) = delete;
    TermSum& operator=(const TermSum&) = delete;
    ~TermSum() {
        for (auto* variable : variables) Py_DECREF(variable);
    }
};

// Zero-initialised memory is an expression with nothing in it.
struct TermsObject {
    PyObject_HEAD
    PyObject* text;         // a str or a tuple of pieces; null until a numbered form's text is read
    PyObject* lo;
    PyObject* hi;
    CellsObject* variable;  // a numbered cell: its variable, column and factor
    std::int64_t column;
    TermCoefficient coefficient;
    TermSum* sum;           // a numbered sum
};

PyTypeObject* cells_type = nullptr;
PyTypeObject* terms_type = nullptr;

void release(TermSum*& sum) {
    if (sum != nullptr && --sum->uses == 0) delete sum;
    sum = nullptr;
}

bool is_unbounded(const TermsObject* terms) {
    return (terms->lo == nullptr || terms->lo == Py_None) && (terms->hi == nullptr || terms->hi == Py_None);
}

bool is_numbered_cell(const TermsObject* terms) { return terms->variable != nullptr; }

void forget_numbered_form(TermsObject* terms) {
    Py_CLEAR(terms->variable);
    release(terms->sum);
    terms->coefficient = {};
}

// --------------------------------------------------------------- text

void append_cell_text(std::string& text, const CellsObject* variable, std::int64_t column) {
    static thread_local std::vector<std::int64_t> values;
    if (variable->layout == nullptr) {
        PyErr_SetString(PyExc_TypeError, "the linear variable is not initialised");
        throw py::error_already_set();
    }
    Py_ssize_t length = 0;
    const char* name = PyUnicode_AsUTF8AndSize(variable->name, &length);
    if (name == nullptr) throw py::error_already_set();
    text.append(name, static_cast<std::size_t>(length));
    text += '(';
    variable->layout->index_values_of(column, values);
    for (std::size_t position = 0; position < values.size(); ++position) {
        if (position > 0) text += ',';
        text += std::to_string(values[position]);
    }
    text += ')';
}

// The factor as the host prints it: f"{factor}".
void append_coefficient_text(std::string& text, const TermCoefficient& coefficient) {
    switch (coefficient.kind) {
        case CoefficientKind::integer:
            text += std::to_string(coefficient.integer);
            break;
        case CoefficientKind::boolean:
            text += coefficient.integer != 0 ? "True" : "False";
            break;
        case CoefficientKind::real: {
            char* printed = PyOS_double_to_string(coefficient.real, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr);
            if (printed == nullptr) throw py::error_already_set();
            text += printed;
            PyMem_Free(printed);
            break;
        }
        case CoefficientKind::unit:
            break;
    }
}

// "x(..)" or "c * (x(..))", as the operators write them.
void append_term_text(std::string& text, const CellsObject* variable, const CellTerm& term) {
    if (term.coefficient.kind == CoefficientKind::unit) {
        append_cell_text(text, variable, term.column);
        return;
    }
    append_coefficient_text(text, term.coefficient);
    text += " * (";
    append_cell_text(text, variable, term.column);
    text += ')';
}

// "CompiledSum([t1, t2, ...])", as SumIt writes it.
void append_sum_text(std::string& text, const TermSum& sum) {
    text += "CompiledSum([";
    for (std::size_t position = 0; position < sum.terms.size(); ++position) {
        if (position > 0) text += ", ";
        const auto* variable = reinterpret_cast<const CellsObject*>(sum.variables[sum.owners[position]]);
        append_term_text(text, variable, sum.terms[position]);
    }
    text += "])";
}

PyObject* formed_text(const TermsObject* terms) {
    try {
        std::string text;
        if (terms->sum != nullptr) {
            append_sum_text(text, *terms->sum);
        } else {
            append_term_text(text, terms->variable, {terms->column, terms->coefficient});
        }
        return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    } catch (const py::error_already_set&) {
        return nullptr;
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
}

// ------------------------------------------------------- LinearTerms

PyObject* untracked(PyObject* type_object) {
    auto* type = reinterpret_cast<PyTypeObject*>(type_object);
    PyObject* instance = type->tp_alloc(type, 0);
    // Its fields are numbers and a variable, which refers to no expression:
    // reference counting alone frees it.
    if (instance != nullptr) PyObject_GC_UnTrack(instance);
    return instance;
}

PyObject* new_numbered_cell(CellsObject* variable, PyObject* type, std::int64_t column,
                            const TermCoefficient& coefficient) {
    PyObject* instance = untracked(type);
    if (instance == nullptr) return nullptr;
    auto* terms = reinterpret_cast<TermsObject*>(instance);
    Py_INCREF(variable);
    terms->variable = variable;
    terms->column = column;
    terms->coefficient = coefficient;
    return instance;
}

// A factor that stays a number: an int of 64 bits, a bool or a finite float,
// of exactly those types. Anything else is the general product's.
bool plain_factor(PyObject* value, TermCoefficient& coefficient) {
    if (PyLong_CheckExact(value)) {
        int overflow = 0;
        const long long integer = PyLong_AsLongLongAndOverflow(value, &overflow);
        if (overflow != 0) return false;
        coefficient = {CoefficientKind::integer, integer, 0.0};
        return true;
    }
    if (PyBool_Check(value)) {
        coefficient = {CoefficientKind::boolean, value == Py_True ? 1 : 0, 0.0};
        return true;
    }
    if (PyFloat_CheckExact(value)) {
        const double real = PyFloat_AS_DOUBLE(value);
        if (!std::isfinite(real)) return false;
        coefficient = {CoefficientKind::real, 0, real};
        return true;
    }
    return false;
}

PyObject* terms_multiply(PyObject* left, PyObject* right) {
    const bool left_is_expression = PyObject_TypeCheck(left, terms_type) != 0;
    PyObject* self = left_is_expression ? left : right;
    PyObject* other = left_is_expression ? right : left;
    auto* terms = reinterpret_cast<TermsObject*>(self);
    TermCoefficient coefficient;
    if (is_numbered_cell(terms) && terms->coefficient.kind == CoefficientKind::unit && is_unbounded(terms) &&
        plain_factor(other, coefficient)) {
        return new_numbered_cell(terms->variable, terms->variable->expression_type, terms->column, coefficient);
    }
    static PyObject* const product = PyUnicode_InternFromString("_product");
    return PyObject_CallMethodOneArg(self, product, other);
}

PyObject* terms_get_text(PyObject* self, void* /*closure*/) {
    auto* terms = reinterpret_cast<TermsObject*>(self);
    if (terms->text == nullptr) {
        if (!is_numbered_cell(terms) && terms->sum == nullptr) {
            PyErr_SetString(PyExc_AttributeError, "_text");
            return nullptr;
        }
        terms->text = formed_text(terms);
        if (terms->text == nullptr) return nullptr;
    }
    Py_INCREF(terms->text);
    return terms->text;
}

int terms_set_text(PyObject* self, PyObject* value, void* /*closure*/) {
    auto* terms = reinterpret_cast<TermsObject*>(self);
    forget_numbered_form(terms);
    Py_XINCREF(value);
    Py_XSETREF(terms->text, value);
    return 0;
}

// Whether item is an unbounded numbered cell, scaled or not.
bool is_free_numbered_cell(PyObject* item) {
    if (!PyObject_TypeCheck(item, terms_type)) return false;
    const auto* terms = reinterpret_cast<const TermsObject*>(item);
    return is_numbered_cell(terms) && is_unbounded(terms);
}

// self becomes the numbered sum of expressions, a non-empty list or tuple of
// unbounded numbered cells; True if it did, False (self unchanged) otherwise.
PyObject* terms_sum_of_terms(PyObject* self, PyObject* expressions) {
    if (!PyList_CheckExact(expressions) && !PyTuple_CheckExact(expressions)) Py_RETURN_FALSE;
    const Py_ssize_t count = PySequence_Fast_GET_SIZE(expressions);
    PyObject** items = PySequence_Fast_ITEMS(expressions);
    if (count == 0) Py_RETURN_FALSE;
    for (Py_ssize_t position = 0; position < count; ++position) {
        if (!is_free_numbered_cell(items[position])) Py_RETURN_FALSE;
    }
    auto* sum = new (std::nothrow) TermSum;
    if (sum == nullptr) return PyErr_NoMemory();
    try {
        sum->terms.reserve(static_cast<std::size_t>(count));
        sum->owners.reserve(static_cast<std::size_t>(count));
        for (Py_ssize_t position = 0; position < count; ++position) {
            const auto* term = reinterpret_cast<const TermsObject*>(items[position]);
            auto* variable = reinterpret_cast<PyObject*>(term->variable);
            std::uint32_t owner = 0;
            while (owner < sum->variables.size() && sum->variables[owner] != variable) ++owner;
            if (owner == sum->variables.size()) {
                sum->variables.push_back(variable);
                Py_INCREF(variable);
            }
            sum->owners.push_back(owner);
            sum->terms.push_back({term->column, term->coefficient});
        }
    } catch (const std::bad_alloc&) {
        delete sum;
        return PyErr_NoMemory();
    }
    auto* terms = reinterpret_cast<TermsObject*>(self);
    forget_numbered_form(terms);
    Py_CLEAR(terms->text);
    terms->sum = sum;
    Py_RETURN_TRUE;
}

// self takes the text or numbered form of other: a bounded copy keeps the numbers.
PyObject* terms_take_content(PyObject* self, PyObject* other) {
    if (!PyObject_TypeCheck(other, terms_type)) {
        PyErr_SetString(PyExc_TypeError, "_take_content expects a linear expression");
        return nullptr;
    }
    auto* terms = reinterpret_cast<TermsObject*>(self);
    const auto* source = reinterpret_cast<const TermsObject*>(other);
    if (terms == source) Py_RETURN_NONE;
    forget_numbered_form(terms);
    Py_XINCREF(source->text);
    Py_XSETREF(terms->text, source->text);
    Py_XINCREF(source->variable);
    terms->variable = source->variable;
    terms->column = source->column;
    terms->coefficient = source->coefficient;
    if (source->sum != nullptr) ++source->sum->uses;
    terms->sum = source->sum;
    Py_RETURN_NONE;
}

int terms_traverse(PyObject* self, visitproc visit, void* arg) {
    auto* terms = reinterpret_cast<TermsObject*>(self);
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(terms->text);
    Py_VISIT(terms->lo);
    Py_VISIT(terms->hi);
    Py_VISIT(reinterpret_cast<PyObject*>(terms->variable));
    // A sum's variables are shared with its copies: not visited, as no
    // variable refers back to an expression.
    return 0;
}

int terms_clear(PyObject* self) {
    auto* terms = reinterpret_cast<TermsObject*>(self);
    Py_CLEAR(terms->text);
    Py_CLEAR(terms->lo);
    Py_CLEAR(terms->hi);
    forget_numbered_form(terms);
    return 0;
}

void terms_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    terms_clear(self);
    type->tp_free(self);
    Py_DECREF(type);
}

PyGetSetDef terms_getset[] = {
    {"_text", terms_get_text, terms_set_text, "The text, or the tuple of its pieces until it is joined", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMemberDef terms_members[] = {
    {"_lo", T_OBJECT, offsetof(TermsObject, lo), 0, "The lower bound, or None"},
    {"_hi", T_OBJECT, offsetof(TermsObject, hi), 0, "The upper bound, or None"},
    {nullptr, 0, 0, 0, nullptr},
};

PyMethodDef terms_methods[] = {
    {"_sum_of_terms", terms_sum_of_terms, METH_O,
     "Become the numbered sum of a list or tuple of unbounded numbered cells; whether it did"},
    {"_take_content", terms_take_content, METH_O, "Take the text or numbered form of another expression"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot terms_slots[] = {
    {Py_tp_doc, const_cast<char*>("The native part of a text linear expression: its text or numbered terms, and bounds")},
    {Py_tp_new, reinterpret_cast<void*>(PyType_GenericNew)},
    {Py_tp_dealloc, reinterpret_cast<void*>(terms_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(terms_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(terms_clear)},
    {Py_tp_getset, terms_getset},
    {Py_tp_members, terms_members},
    {Py_tp_methods, terms_methods},
    {Py_nb_multiply, reinterpret_cast<void*>(terms_multiply)},
    {0, nullptr},
};

PyType_Spec terms_spec = {"vx_encoder._vx_native.LinearTerms", sizeof(TermsObject), 0,
                          Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC, terms_slots};

// ------------------------------------------------------- LinearCells

// The index values of items when they are numbers: an int or a tuple of
// ints, each of 64 bits; false for anything else.
bool numbered_index_values(PyObject* items, std::vector<std::int64_t>& values) {
    values.clear();
    const auto append = [&](PyObject* item) {
        if (!PyLong_CheckExact(item)) return false;
        int overflow = 0;
        const long long value = PyLong_AsLongLongAndOverflow(item, &overflow);
        if (overflow != 0) return false;
        values.push_back(value);
        return true;
    };
    if (PyLong_CheckExact(items)) return append(items);
    if (!PyTuple_CheckExact(items)) return false;
    for (Py_ssize_t position = 0; position < PyTuple_GET_SIZE(items); ++position) {
        if (!append(PyTuple_GET_ITEM(items, position))) return false;
    }
    return true;
}

PyObject* cells_subscript(PyObject* self, PyObject* items) {
    auto* cells = reinterpret_cast<CellsObject*>(self);
    if (cells->layout == nullptr) {
        PyErr_SetString(PyExc_TypeError, "the linear variable is not initialised");
        return nullptr;
    }
    static thread_local std::vector<std::int64_t> values;
    if (numbered_index_values(items, values)) {
        if (const auto column = cells->layout->column_of(values)) {
            return new_numbered_cell(cells, cells->cell_type, *column, {});
        }
    }
    static PyObject* const written_cell = PyUnicode_InternFromString("_written_cell");
    return PyObject_CallMethodOneArg(self, written_cell, items);
}

bool is_expression_type(PyObject* type) {
    return PyType_Check(type) && PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(type), terms_type);
}

int cells_init(PyObject* self, PyObject* arguments, PyObject* keywords) {
    static const char* names[] = {"name", "layout", "cell_type", "expression_type", nullptr};
    PyObject* name = nullptr;
    PyObject* layout = nullptr;
    PyObject* cell_type = nullptr;
    PyObject* expression_type = nullptr;
    if (!PyArg_ParseTupleAndKeywords(arguments, keywords, "UOOO", const_cast<char**>(names), &name, &layout,
                                     &cell_type, &expression_type)) {
        return -1;
    }
    if (!is_expression_type(cell_type) || !is_expression_type(expression_type)) {
        PyErr_SetString(PyExc_TypeError, "cell_type and expression_type must be linear expression classes");
        return -1;
    }
    const ElementLayout* element_layout = nullptr;
    try {
        element_layout = &py::cast<const ElementLayout&>(py::handle(layout));
    } catch (const py::cast_error&) {
        PyErr_SetString(PyExc_TypeError, "layout must be an ElementLayout");
        return -1;
    }
    auto* cells = reinterpret_cast<CellsObject*>(self);
    Py_INCREF(name);
    Py_XSETREF(cells->name, name);
    Py_INCREF(layout);
    Py_XSETREF(cells->layout_object, layout);
    cells->layout = element_layout;
    Py_INCREF(cell_type);
    Py_XSETREF(cells->cell_type, cell_type);
    Py_INCREF(expression_type);
    Py_XSETREF(cells->expression_type, expression_type);
    return 0;
}

int cells_traverse(PyObject* self, visitproc visit, void* arg) {
    auto* cells = reinterpret_cast<CellsObject*>(self);
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(cells->name);
    Py_VISIT(cells->layout_object);
    Py_VISIT(cells->cell_type);
    Py_VISIT(cells->expression_type);
    return 0;
}

int cells_clear(PyObject* self) {
    auto* cells = reinterpret_cast<CellsObject*>(self);
    cells->layout = nullptr;
    Py_CLEAR(cells->name);
    Py_CLEAR(cells->layout_object);
    Py_CLEAR(cells->cell_type);
    Py_CLEAR(cells->expression_type);
    return 0;
}

void cells_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    cells_clear(self);
    type->tp_free(self);
    Py_DECREF(type);
}

PyType_Slot cells_slots[] = {
    {Py_tp_doc, const_cast<char*>("The native part of a text linear variable: x[...] makes its cells")},
    {Py_tp_new, reinterpret_cast<void*>(PyType_GenericNew)},
    {Py_tp_init, reinterpret_cast<void*>(cells_init)},
    {Py_tp_dealloc, reinterpret_cast<void*>(cells_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(cells_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(cells_clear)},
    {Py_mp_subscript, reinterpret_cast<void*>(cells_subscript)},
    {0, nullptr},
};

PyType_Spec cells_spec = {"vx_encoder._vx_native.LinearCells", sizeof(CellsObject), 0,
                          Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC, cells_slots};

// --------------------------------------------------------- reading

// Whether the model's variables (name to variable) hold this variable under
// its name: the text of a cell from another model names a variable of this one.
bool is_variable_of(PyObject* variable, const py::dict& variables) {
    const auto* cells = reinterpret_cast<const CellsObject*>(variable);
    PyObject* known = PyDict_GetItemWithError(variables.ptr(), cells->name);
    if (known == nullptr && PyErr_Occurred()) throw py::error_already_set();
    return known == variable;
}

// The expression of a numbered form over the model's variables, or nothing
// for an expression in text or over other variables.
std::optional<TextExpression> numbered_expression(py::handle expression, const py::dict& variables) {
    if (!PyObject_TypeCheck(expression.ptr(), terms_type)) return std::nullopt;
    const auto* terms = reinterpret_cast<const TermsObject*>(expression.ptr());
    if (terms->sum != nullptr) {
        for (auto* variable : terms->sum->variables) {
            if (!is_variable_of(variable, variables)) return std::nullopt;
        }
        return expression_of_term_sum(terms->sum->terms);
    }
    if (is_numbered_cell(terms) && is_variable_of(reinterpret_cast<PyObject*>(terms->variable), variables)) {
        return expression_of_term({terms->column, terms->coefficient});
    }
    return std::nullopt;
}

py::object read_numbered_expression(py::handle expression, const py::dict& variables) {
    auto read = numbered_expression(expression, variables);
    if (!read) return py::none();
    const py::object constant = read->constant.integral ? py::object(py::int_(read->constant.integer))
                                                        : py::object(py::float_(read->constant.real));
    return py::make_tuple(constant, py::cast(std::move(read->terms)), py::bool_(read->integral));
}

py::object read_numbered_rows(py::handle expression, const py::dict& variables) {
    auto read = numbered_expression(expression, variables);
    if (!read) return py::none();
    return frozen_row_arrays(row_of(std::move(*read)));
}

py::object type_of(PyType_Spec& spec, PyTypeObject*& type) {
    PyObject* made = PyType_FromSpec(&spec);
    if (made == nullptr) throw py::error_already_set();
    type = reinterpret_cast<PyTypeObject*>(made);
    // The new reference is never given back: the pointer stays valid for the process.
    return py::reinterpret_borrow<py::object>(made);
}

}  // namespace

void bind_linear_terms(py::module_& module) {
    module.add_object("LinearTerms", type_of(terms_spec, terms_type));
    module.add_object("LinearCells", type_of(cells_spec, cells_type));
    module.def("read_numbered_expression", &read_numbered_expression, py::arg("expression"), py::arg("variables"),
               "(constant, terms, integral) of an expression held as numbered terms of the variables; None for "
               "one held as text or over other variables");
    module.def("read_numbered_rows", &read_numbered_rows, py::arg("expression"), py::arg("variables"),
               "(constants, starts, indices, values) of the one row of an expression held as numbered terms of "
               "the variables; None for one held as text or over other variables");
}

}  // namespace vx::bindings
