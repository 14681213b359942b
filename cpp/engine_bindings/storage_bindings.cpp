#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "engine/storage/dimacs_writer.hpp"
#include "engine/storage/wcnf_storage.hpp"
#include "engine_bindings.hpp"
#include "python_conversion.hpp"

namespace kelvo::bindings {

namespace py = pybind11;

namespace {

py::list clause_to_python(std::span<const Literal> clause) {
    py::list literals(clause.size());
    for (std::size_t i = 0; i < clause.size(); ++i) literals[i] = py::int_(clause[i]);
    return literals;
}

py::list hard_clauses_to_python(const WcnfStorage& storage) {
    const auto& hard = storage.hard_clauses();
    py::list clauses(hard.size());
    for (std::size_t c = 0; c < hard.size(); ++c) clauses[c] = clause_to_python(hard.clause(c));
    return clauses;
}

py::list soft_clauses_to_python(const WcnfStorage& storage) {
    const auto& soft = storage.soft_clauses();
    const auto& weights = storage.soft_weights();
    py::list clauses(soft.size());
    for (std::size_t c = 0; c < soft.size(); ++c) {
        clauses[c] = py::make_tuple(clause_to_python(soft.clause(c)), weights[c]);
    }
    return clauses;
}

// Literals of a bulk add: a view of a 32-bit array as given, or a checked
// narrowed copy of any other integer array.
struct LiteralArray {
    py::object array;
    std::vector<Literal> narrowed;
    std::span<const Literal> view;
};

LiteralArray literal_array_from_python(py::handle values) {
    LiteralArray result;
    if (py::isinstance<py::array_t<Literal>>(values)) {
        const auto narrow = py::reinterpret_borrow<py::array_t<Literal>>(values);
        if (narrow.ndim() == 1 && (narrow.flags() & py::array::c_style) != 0) {
            result.array = narrow;
            result.view = std::span<const Literal>(narrow.data(), static_cast<std::size_t>(narrow.size()));
            if (std::find(result.view.begin(), result.view.end(), std::numeric_limits<Literal>::min()) !=
                result.view.end()) {
                throw py::value_error("literal " + std::to_string(std::numeric_limits<Literal>::min()) +
                                      " is out of the 32-bit range");
            }
            return result;
        }
    }
    const auto wide = integer_array_from_python(values, "literals");
    const auto view = wide.unchecked<1>();
    result.narrowed.resize(static_cast<std::size_t>(view.shape(0)));
    for (py::ssize_t i = 0; i < view.shape(0); ++i) {
        const auto literal = view(i);
        if (literal > std::numeric_limits<Literal>::max() || literal < -std::numeric_limits<Literal>::max()) {
            throw py::value_error("literal " + std::to_string(literal) + " is out of the 32-bit range");
        }
        result.narrowed[static_cast<std::size_t>(i)] = static_cast<Literal>(literal);
    }
    result.view = result.narrowed;
    return result;
}

void add_hard_clauses(WcnfStorage& storage, py::handle literals, py::handle offsets) {
    const auto clause_literals = literal_array_from_python(literals);
    const auto boundaries = integer_array_from_python(offsets, "offsets");
    storage.add_hard_clauses(clause_literals.view,
                             std::span<const std::int64_t>(boundaries.data(), static_cast<std::size_t>(boundaries.size())));
}

std::vector<Weight> weight_array_from_python(py::handle values) {
    const auto wide = integer_array_from_python(values, "weights");
    const auto view = wide.unchecked<1>();
    std::vector<Weight> weights(static_cast<std::size_t>(view.shape(0)));
    for (py::ssize_t i = 0; i < view.shape(0); ++i) {
        if (view(i) < 0) throw py::value_error("a weight must not be negative, got " + std::to_string(view(i)));
        weights[static_cast<std::size_t>(i)] = static_cast<Weight>(view(i));
    }
    return weights;
}

void add_soft_clauses(WcnfStorage& storage, py::handle literals, py::handle offsets, py::handle weights) {
    const auto clause_literals = literal_array_from_python(literals);
    const auto boundaries = integer_array_from_python(offsets, "offsets");
    const auto clause_weights = weight_array_from_python(weights);
    storage.add_soft_clauses(clause_literals.view,
                             std::span<const std::int64_t>(boundaries.data(), static_cast<std::size_t>(boundaries.size())),
                             clause_weights);
}

std::size_t clause_index_from_python(py::handle value, const char* what) {
    const auto index = integer_from_python(value, what);
    if (index < 0) throw py::value_error(std::string(what) + " must not be negative");
    return static_cast<std::size_t>(index);
}

// The docstring of a removal of clauses (pybind11 copies it).
std::string removal_doc(std::string_view summary) {
    constexpr std::string_view rest = R"doc(

Args:
    first: The position of the first clause removed.
    count: How many are removed.

Raises:
    ValueError: An argument is negative.
    IndexError: The range lies beyond the clauses.
)doc";
    return std::string(summary).append(rest);
}

}  // namespace

void bind_storage(py::module_& module) {
    py::class_<WcnfStorage, std::shared_ptr<WcnfStorage>>(module, "wcnf_storage",
        "Hard and weighted soft clauses with their header; without soft clauses, a CNF.")
        .def(py::init<>())
        .def("add_hard_clause",
             [](WcnfStorage& self, py::handle lits) { self.add_hard_clause(literals_from_python(lits)); },
             py::arg("lits"), R"doc(Add one hard clause.

Args:
    lits: Signed variable numbers.

Raises:
    TypeError: A literal is not an integer.
    ValueError: A literal is out of the 32-bit range.
)doc")
        .def("add_soft_clause",
             [](WcnfStorage& self, py::handle lits, py::handle weight) {
                 const auto literals = literals_from_python(lits);
                 self.add_soft_clause(literals, weight_from_python(weight));
             },
             py::arg("lits"), py::arg("weight"), R"doc(Add one soft clause with its weight.

Args:
    lits: Signed variable numbers.
    weight: A non-negative integer.

Raises:
    TypeError: A literal or the weight is not an integer.
    ValueError: A literal is out of the 32-bit range or the weight is negative.
)doc")
        .def("add_hard_clauses", &add_hard_clauses, py::arg("literals"), py::arg("offsets"),
             R"doc(Add many hard clauses in one call.

Args:
    literals: All literals, an integer array.
    offsets: Clause boundaries, one more than the clauses, from 0 to the
        number of literals: clause c is literals[offsets[c]:offsets[c + 1]].

Raises:
    TypeError: An array does not hold integers.
    ValueError: The offsets are malformed or a literal is out of the 32-bit range.
)doc")
        .def("add_soft_clauses", &add_soft_clauses, py::arg("literals"), py::arg("offsets"), py::arg("weights"),
             R"doc(Add many soft clauses in one call.

Args:
    literals: All literals, as for add_hard_clauses.
    offsets: Clause boundaries, as for add_hard_clauses.
    weights: One non-negative weight per clause.

Raises:
    TypeError: An array does not hold integers.
    ValueError: The offsets or weights are malformed, a weight is negative, or
        a literal is out of the 32-bit range.
)doc")
        .def("merge", &WcnfStorage::merge, py::arg("other"), R"doc(Append another storage's clauses.

Args:
    other: The wcnf_storage whose hard and soft clauses are appended.
)doc")
        .def("remove_hard_clauses",
             [](WcnfStorage& self, py::handle first, py::handle count) {
                 self.remove_hard_clauses(clause_index_from_python(first, "first"),
                                          clause_index_from_python(count, "count"));
             },
             py::arg("first"), py::arg("count"), removal_doc("Remove count hard clauses from position first on.").c_str())
        .def("remove_soft_clauses",
             [](WcnfStorage& self, py::handle first, py::handle count) {
                 self.remove_soft_clauses(clause_index_from_python(first, "first"),
                                          clause_index_from_python(count, "count"));
             },
             py::arg("first"), py::arg("count"), removal_doc("Remove count soft clauses (and their weights) from position first on.").c_str())
        .def("get_hard_clause_count", [](const WcnfStorage& self) { return self.hard_clauses().size(); },
             "The number of hard clauses stored.")
        .def("get_soft_clause_count", [](const WcnfStorage& self) { return self.soft_clauses().size(); },
             "The number of soft clauses stored.")
        .def("set_model_name", &WcnfStorage::set_model_name, py::arg("name"), R"doc(Set the model name, written as a comment line.

Args:
    name: The model's name.
)doc")
        .def("set_variable_count",
             [](WcnfStorage& self, py::handle count) { self.set_variable_count(integer_from_python(count, "a variable count")); },
             py::arg("count"), R"doc(Set the header's variable count.

Args:
    count: The number of variables.
)doc")
        .def("set_clause_count",
             [](WcnfStorage& self, py::handle count) { self.set_clause_count(integer_from_python(count, "a clause count")); },
             py::arg("count"), R"doc(Set the header's clause count.

Args:
    count: The number of clauses.
)doc")
        .def("set_weight_limit",
             [](WcnfStorage& self, py::handle limit) { self.set_weight_limit(weight_from_python(limit)); },
             py::arg("limit"), R"doc(Set the weight limit; the storage is then a weighted CNF, even without soft clauses.

Args:
    limit: A non-negative integer.
)doc")
        .def("insert_prefatory_value",
             [](WcnfStorage& self, py::handle literal) {
                 const auto value = integer_from_python(literal, "a prefatory value");
                 if (value > std::numeric_limits<Literal>::max() || value < -std::numeric_limits<Literal>::max()) {
                     throw py::value_error("prefatory value " + std::to_string(value) + " is out of the 32-bit range");
                 }
                 self.insert_prefatory_value(static_cast<Literal>(value));
             },
             py::arg("literal"), R"doc(Keep a preliminary value of one variable; it is not written to files.

Args:
    literal: A signed variable number.

Raises:
    ValueError: The literal is 0, which names no variable, or out of the 32-bit range.
)doc")
        .def("get_model_name", &WcnfStorage::model_name, "The model name.")
        .def("get_variable_count", &WcnfStorage::variable_count, "The header's variable count.")
        .def("get_clause_count", &WcnfStorage::clause_count, "The header's clause count.")
        .def("get_weight_limit", &WcnfStorage::weight_limit, "The weight limit of a weighted CNF.")
        .def("get_prefatory_values", &WcnfStorage::prefatory_values, "The preliminary values, in insertion order.")
        .def("get_hard_clauses", &hard_clauses_to_python, "The hard clauses as lists of signed variable numbers.")
        .def("get_soft_clauses", &soft_clauses_to_python, "The soft clauses as (clause, weight) pairs.")
        .def("__len__", &WcnfStorage::size)
        .def("to_dimacs", &dimacs_text, py::call_guard<py::gil_scoped_release>(),
             R"doc(The storage as DIMACS text.

Returns:
    "p cnf" DIMACS without soft clauses or weight limit; otherwise the weighted
    format without a top line ("h" before hard clauses, the weight before soft ones). The model
    name is a comment line.
)doc")
        .def("write_dimacs",
             [](const WcnfStorage& self, py::handle path) {
                 const auto file = path_from_python(path);
                 py::gil_scoped_release released;
                 write_dimacs_file(self, file);
             },
             py::arg("path"), R"doc(Write the storage to a file, as to_dimacs gives it.

Args:
    path: The file to write: str, bytes or os.PathLike.

Raises:
    TypeError: The path is not str, bytes or os.PathLike.
    ValueError: The path holds a NUL byte.
    OSError: The file cannot be written.
)doc");
}

}  // namespace kelvo::bindings
