// bxpr.clauses_to_formula: the clauses of a pseudo-Boolean clause database as
// one formula, in one call, with the caller's variable numbers mapped to
// formulas of a context and every unknown number made a new named variable.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/clause_renumbering.hpp"
#include "engine/vector_clause_database.hpp"
#include "engine_bindings.hpp"
#include "python_conversion.hpp"

namespace kelvo::bindings {

namespace py = pybind11;

namespace {

// A NumPy view of the vector that owns it, so no literal is copied.
py::array_t<std::int64_t> array_owning(std::vector<std::int64_t>&& values) {
    auto owned = std::make_unique<std::vector<std::int64_t>>(std::move(values));
    py::capsule owner(owned.get(), [](void* vector) { delete static_cast<std::vector<std::int64_t>*>(vector); });
    const auto* vector = owned.release();
    return py::array_t<std::int64_t>(static_cast<py::ssize_t>(vector->size()), vector->data(), owner);
}

std::string type_name(py::handle value) { return py::str(py::type::of(value).attr("__name__")); }

py::tuple clauses_to_formula(const py::module_& bxpr, py::handle context, py::handle database, py::handle known,
                             py::handle prefix, py::handle first_index) {
    if (!py::isinstance(context, bxpr.attr("Context"))) {
        throw py::type_error("clauses_to_formula takes a bx.Context first, not " + type_name(context));
    }
    if (!py::isinstance<VectorClauseDatabase>(database)) {
        throw py::type_error("clauses_to_formula takes a pbct.VectorClauseDatabase second, not " +
                             type_name(database));
    }
    if (!PyDict_Check(known.ptr())) {
        throw py::type_error("clauses_to_formula takes a dict from variable number to formula third, not " +
                             type_name(known));
    }
    if (!PyUnicode_Check(prefix.ptr())) {
        throw py::type_error("clauses_to_formula takes a text prefix fourth, not " + type_name(prefix));
    }
    const std::int64_t first = integer_from_python(first_index, "the first index of new names");
    if (first < 0) {
        throw py::value_error("the first index of new names must not be negative, got " + std::to_string(first));
    }

    auto numbered = number_by_first_occurrence(database.cast<const VectorClauseDatabase&>().clauses());
    const std::string name_start = prefix.cast<std::string>() + "_";
    const py::object get_var = context.attr("get_var");
    py::list variables(numbered.variables.size());
    py::list new_numbers;
    py::list new_names;
    py::list new_variables;
    std::int64_t next_index = first;
    for (std::size_t k = 0; k < numbered.variables.size(); ++k) {
        const py::int_ number(numbered.variables[k]);
        PyObject* formula = PyDict_GetItemWithError(known.ptr(), number.ptr());
        if (formula != nullptr) {
            variables[k] = py::reinterpret_borrow<py::object>(formula);
            continue;
        }
        if (PyErr_Occurred()) throw py::error_already_set();
        const py::str name(name_start + std::to_string(next_index++));
        py::object variable = get_var(name);
        variables[k] = variable;
        new_numbers.append(number);
        new_names.append(name);
        new_variables.append(std::move(variable));
    }
    const py::object formula = bxpr.attr("from_clauses")(array_owning(std::move(numbered.literals)),
                                                         array_owning(std::move(numbered.offsets)), variables);
    return py::make_tuple(formula, new_numbers, new_names, new_variables);
}

}  // namespace

void bind_clauses_to_formula(py::module_& module) {
    py::module_ bxpr = module.attr("bxpr");
    bxpr.def(
        "clauses_to_formula",
        [bxpr](py::handle context, py::handle database, py::handle known, py::handle prefix, py::handle first_index) {
            return clauses_to_formula(bxpr, context, database, known, prefix, first_index);
        },
        py::arg("context"), py::arg("database"), py::arg("known"), py::arg("prefix"), py::arg("first_index"),
        "and_s of one or_s per clause of a pbct.VectorClauseDatabase, in one call. A variable number that `known` "
        "maps gives that formula; every other number becomes the context's variable prefix_n, n counting from "
        "first_index in the order in which the numbers first occur. Returns (formula, new numbers, their names, "
        "their variables), the last three in that order.");
}

}  // namespace kelvo::bindings
