#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "engine/pbct/aux_var_manager.hpp"
#include "engine/pbct/pb_config.hpp"
#include "engine/pbct/pb_constraint.hpp"
#include "engine/pbct/pb_encoder.hpp"
#include "engine/pbct/vector_clause_database.hpp"
#include "engine_bindings.hpp"
#include "python_conversion.hpp"

namespace kelvo::bindings {

namespace py = pybind11;

namespace {

std::vector<WeightedLiteral> weighted_literals_from_python(py::handle lits) {
    if (PyUnicode_Check(lits.ptr()) || !py::isinstance<py::iterable>(lits)) {
        throw py::type_error("lits must be an iterable of WeightedLit");
    }
    std::vector<WeightedLiteral> terms;
    for (const auto item : py::iter(lits)) {
        if (!py::isinstance<WeightedLiteral>(item)) {
            throw py::type_error("lits must hold only WeightedLit, not " +
                                 std::string(py::str(py::type::of(item).attr("__name__"))));
        }
        terms.push_back(item.cast<WeightedLiteral>());
    }
    return terms;
}

// Terms given as two sequences, numbers and coefficients, read as WeightedLit
// reads them: a host object per term costs more than the term, so a long sum
// is better handed over as two lists of integers.
std::vector<WeightedLiteral> weighted_literals_from_numbers(py::handle numbers, py::handle coefficients) {
    const auto sequence = [](py::handle values, const char* what) {
        if (PyUnicode_Check(values.ptr()) || !PySequence_Check(values.ptr())) {
            throw py::type_error(std::string(what) + " must be a sequence of integers");
        }
        return py::reinterpret_borrow<py::sequence>(values);
    };
    const py::sequence number_sequence = sequence(numbers, "numbers");
    const py::sequence coefficient_sequence = sequence(coefficients, "coefficients");
    if (number_sequence.size() != coefficient_sequence.size()) {
        throw py::value_error("numbers and coefficients must be of one length, not " +
                              std::to_string(number_sequence.size()) + " and " +
                              std::to_string(coefficient_sequence.size()));
    }
    std::vector<WeightedLiteral> terms;
    terms.reserve(number_sequence.size());
    for (std::size_t k = 0; k < number_sequence.size(); ++k) {
        terms.push_back(weighted_variable(integer_from_python(number_sequence[k], "a variable number"),
                                          integer_from_python(coefficient_sequence[k], "a coefficient")));
    }
    return terms;
}

Comparator comparator_from_python(py::handle comparator) {
    if (!py::isinstance<Comparator>(comparator)) {
        throw py::type_error("comparator must be Comparator_type.LEQ, GEQ or BOTH, not " + std::string(py::repr(comparator)));
    }
    return comparator.cast<Comparator>();
}

PBConstraint constraint_of(std::vector<WeightedLiteral> terms, py::handle comparator, py::handle leq, py::handle geq) {
    const auto kind = comparator_from_python(comparator);
    const auto bound = integer_from_python(leq, "a bound");
    if (geq.is_none()) return PBConstraint(std::move(terms), kind, bound);
    if (kind != Comparator::both) throw py::value_error("two bounds (leq, geq) need Comparator_type.BOTH");
    return PBConstraint(std::move(terms), bound, integer_from_python(geq, "a bound"));
}

py::list clauses_to_python(const ClauseBuffer& clauses) {
    py::list result(clauses.size());
    for (std::size_t c = 0; c < clauses.size(); ++c) {
        const auto clause = clauses.clause(c);
        py::list literals(clause.size());
        for (std::size_t i = 0; i < clause.size(); ++i) literals[i] = py::int_(clause[i]);
        result[c] = std::move(literals);
    }
    return result;
}

py::tuple clause_arrays_to_python(const ClauseBuffer& clauses) {
    const auto literals = clauses.literals();
    py::array_t<std::int32_t> flat(static_cast<py::ssize_t>(literals.size()));
    std::copy(literals.begin(), literals.end(), flat.mutable_data());
    py::array_t<std::int64_t> offsets(static_cast<py::ssize_t>(clauses.size() + 1));
    auto* offset = offsets.mutable_data();
    offset[0] = 0;
    for (std::size_t c = 0; c < clauses.size(); ++c) {
        offset[c + 1] = offset[c] + static_cast<std::int64_t>(clauses.clause(c).size());
    }
    return py::make_tuple(std::move(flat), std::move(offsets));
}

std::int64_t clause_limit_from_python(py::handle value) {
    const auto limit = integer_from_python(value, "max_clauses_per_constraint");
    if (limit < 0) throw py::value_error("max_clauses_per_constraint must not be negative, got " + std::to_string(limit));
    return limit;
}

}  // namespace

void bind_pbct(py::module_& parent) {
    auto module = parent.def_submodule("pbct", "Pseudo-Boolean constraints into clauses");

    py::enum_<PbEncoderType>(module, "PB_Encoder_type", "The encoders of pseudo-Boolean constraints.")
        .value("ADDER", PbEncoderType::adder,
               "Adder networks for general weights, dedicated encodings for cardinality constraints");

    py::enum_<Comparator>(module, "Comparator_type", "How a constraint's sum relates to its bound.")
        .value("LEQ", Comparator::at_most, "the sum is at most the bound")
        .value("GEQ", Comparator::at_least, "the sum is at least the bound")
        .value("BOTH", Comparator::both, "the sum equals the bound, or lies between geq and leq");

    py::class_<PBConfig>(module, "PBConfig", "The encoder's settings.")
        .def(py::init<>())
        .def_readwrite("pb_encoder", &PBConfig::pb_encoder, "The PB_Encoder_type used.")
        .def_property(
            "max_clauses_per_constraint", [](const PBConfig& self) { return self.max_clauses_per_constraint; },
            [](PBConfig& self, py::handle value) { self.max_clauses_per_constraint = clause_limit_from_python(value); },
            "The most clauses one constraint may need; encode2 refuses a constraint needing more.")
        .def_readwrite("cardinality_encodings", &PBConfig::cardinality_encodings,
                       "False encodes every constraint, cardinality constraints too, with adders");

    py::class_<AuxVarManager>(module, "AuxVarManager", R"doc(Hands out fresh variable numbers from `first` on.

Args:
    first: The first number handed out.

Raises:
    TypeError: first is not an integer.
)doc")
        .def(py::init([](py::handle first) { return AuxVarManager(integer_from_python(first, "first")); }),
             py::arg("first"))
        .def("get_variable", &AuxVarManager::get_variable, "Hand out the next fresh number.")
        .def_property_readonly("next_variable", &AuxVarManager::next_variable, "The number handed out next.");

    py::class_<WeightedLiteral>(module, "WeightedLit", R"doc(One term of a constraint: a variable with an integer coefficient.

A negative coefficient weighs the variable's negation.

Args:
    number: The variable number, from 1.
    coefficient: The integer coefficient.

Raises:
    TypeError: An argument is not an integer.
    ValueError: The number is not a positive 32-bit variable number.
)doc")
        .def(py::init([](py::handle number, py::handle coefficient) {
                 return weighted_variable(integer_from_python(number, "a variable number"),
                                          integer_from_python(coefficient, "a coefficient"));
             }),
             py::arg("number"), py::arg("coefficient"))
        .def_property_readonly("number", [](const WeightedLiteral& self) { return self.literal; }, "The variable number.")
        .def_property_readonly("coefficient", [](const WeightedLiteral& self) { return self.coefficient; },
                               "The coefficient.")
        .def("__repr__", [](const WeightedLiteral& self) {
            return "WeightedLit(" + std::to_string(self.literal) + ", " + std::to_string(self.coefficient) + ")";
        });

    py::class_<PBConstraint>(module, "PBConstraint",
                             R"doc(A bound on a weighted sum of variables.

PBConstraint(lits, comparator, bound), or PBConstraint(lits, Comparator_type.BOTH,
leq, geq) for geq <= sum <= leq.

Args:
    lits: The WeightedLit terms.
    comparator: A Comparator_type.
    leq: The bound (the upper one with geq).
    geq: The lower bound, with Comparator_type.BOTH only.

Raises:
    TypeError: An argument has the wrong type.
    ValueError: Two bounds are given without Comparator_type.BOTH.
)doc")
        .def(py::init([](py::handle lits, py::handle comparator, py::handle leq, py::handle geq) {
                 return constraint_of(weighted_literals_from_python(lits), comparator, leq, geq);
             }),
             py::arg("lits"), py::arg("comparator"), py::arg("leq"), py::arg("geq") = py::none())
        .def_static(
            "from_numbers",
            [](py::handle numbers, py::handle coefficients, py::handle comparator, py::handle leq, py::handle geq) {
                return constraint_of(weighted_literals_from_numbers(numbers, coefficients), comparator, leq, geq);
            },
            py::arg("numbers"), py::arg("coefficients"), py::arg("comparator"), py::arg("leq"),
            py::arg("geq") = py::none(),
            R"doc(As PBConstraint(lits, ...) with lits[k] = WeightedLit(numbers[k], coefficients[k]).

Checked as WeightedLit checks them, without a host object per term.

Args:
    numbers: The variable numbers.
    coefficients: One coefficient per number.
    comparator: A Comparator_type.
    leq: The bound (the upper one with geq).
    geq: The lower bound, with Comparator_type.BOTH only.

Returns:
    The PBConstraint.

Raises:
    TypeError: An argument has the wrong type.
    ValueError: The lists differ in length, a number is not a positive 32-bit
        variable number, or two bounds are given without Comparator_type.BOTH.
)doc");

    py::class_<VectorClauseDatabase>(module, "VectorClauseDatabase", R"doc(The clauses an encoder writes.

Args:
    config: The PBConfig of the encoder.
)doc")
        .def(py::init<PBConfig>(), py::arg("config"))
        .def("get_clauses", [](const VectorClauseDatabase& self) { return clauses_to_python(self.clauses()); },
             "The clauses as lists of signed variable numbers, in writing order.")
        .def("get_clause_arrays",
             [](const VectorClauseDatabase& self) { return clause_arrays_to_python(self.clauses()); },
             "The clauses as two NumPy arrays: every literal (int32) and the clause boundaries (int64, one more "
             "than the clauses, from 0 to the number of literals); clause c is literals[offsets[c]:offsets[c + 1]].")
        .def("__len__", [](const VectorClauseDatabase& self) { return self.clauses().size(); });

    py::class_<PbEncoder>(module, "pb2cnf", R"doc(The encoder of pseudo-Boolean constraints into clauses.

Args:
    config: The PBConfig to encode with.
)doc")
        .def(py::init<PBConfig>(), py::arg("config"))
        .def("encode2", &PbEncoder::encode, py::arg("constraint"), py::arg("database"), py::arg("aux_manager"),
             R"doc(Write the constraint's clauses into the database, drawing every auxiliary from aux_manager.

A constraint that always holds writes nothing; one that never holds writes the
empty clause.

Args:
    constraint: The PBConstraint.
    database: The VectorClauseDatabase appended to.
    aux_manager: The AuxVarManager the input variables came from.

Raises:
    ValueError: An input variable is not below aux_manager.next_variable, the
        total weight is too large (above 2^61), or the constraint needs more
        than max_clauses_per_constraint clauses (nothing is changed then).
)doc");
}

}  // namespace kelvo::bindings
