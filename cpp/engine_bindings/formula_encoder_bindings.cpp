#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/model_text/formula_encoder.hpp"
#include "engine_bindings.hpp"
#include "python_conversion.hpp"

namespace kelvo::bindings {

namespace py = pybind11;

namespace {

std::string text_from_python(py::handle value, const char* what) {
    if (!PyUnicode_Check(value.ptr())) {
        throw py::type_error(std::string(what) + " must be text, not " +
                             std::string(py::str(py::type::of(value).attr("__name__"))));
    }
    return value.cast<std::string>();
}

// The docstring of a metrics writer (pybind11 copies it).
std::string metrics_doc(std::string_view format) {
    return std::string("Write per constraint the instances, clauses, auxiliaries and time, and the totals, as ")
        .append(format)
        .append(R"doc(.

Args:
    filename: The file to write.

Returns:
    True when written; False (with an error logged) when the file cannot be written.

Raises:
    TypeError: The name is not str, bytes or os.PathLike.
    ValueError: The name holds a NUL byte.
)doc");
}

}  // namespace

void bind_formula_encoder(py::module_& module) {
    py::class_<FormulaEncoder, std::shared_ptr<FormulaEncoder>>(module, "formula_encoder",
        R"doc(Reads a pseudo-Boolean model as text and encodes it into a CNF or WCNF storage natively.

Args:
    name: The model's name.

Raises:
    TypeError: The name is not text.
)doc")
        .def(py::init([](py::handle name) { return std::make_shared<FormulaEncoder>(text_from_python(name, "the model name")); }),
             py::arg("name"))
        .def("create_variables",
             [](FormulaEncoder& self, py::handle name, py::handle sizes) {
                 self.create_variables(text_from_python(name, "a variable name"), integers_from_python(sizes, "a size"));
             },
             py::arg("name"), py::arg("sizes"), R"doc(Create a variable over dimensions of the given sizes.

Args:
    name: The variable's name.
    sizes: The size of each dimension.

Raises:
    TypeError: The name is not text or a size not an integer.
    ValueError: The name is in use or one the reader needs, or a size is not positive.
)doc")
        .def("add_constraint",
             [](FormulaEncoder& self, py::handle text, py::handle foralls) {
                 self.add_constraint(text_from_python(text, "a constraint"), text_from_python(foralls, "the foralls"));
             },
             py::arg("text"), py::arg("foralls"), R"doc(Add a hard constraint for every combination of its index values.

Args:
    text: The constraint's expression text.
    foralls: "Foralls: " and the text of the ranges dictionary.

Raises:
    TypeError: An argument is not text.
    ValueError: The text cannot be read, names something unknown, or never holds.
    IndexError: Index values lie outside a variable's sizes.
)doc")
        .def("add_soft_constraint",
             [](FormulaEncoder& self, py::handle text, py::handle foralls, py::handle weight, py::handle minimization) {
                 const int truth = PyObject_IsTrue(minimization.ptr());
                 if (truth < 0) throw py::error_already_set();
                 self.add_soft_constraint(text_from_python(text, "a soft constraint"),
                                          text_from_python(foralls, "the foralls"),
                                          integer_from_python(weight, "a weight"), truth == 1);
             },
             py::arg("text"), py::arg("foralls"), py::arg("weight"), py::arg("minimization"),
             R"doc(Add a soft constraint: weighted unit literals for every combination of its index values.

Args:
    text: The sum's expression text.
    foralls: "Foralls: " and the text of the ranges dictionary.
    weight: The weight the terms are multiplied by.
    minimization: Weigh the literals that make the sum smaller (True) or larger.

Raises:
    TypeError: An argument has the wrong type.
    ValueError: The text cannot be read or names something unknown.
)doc")
        .def("add_target",
             [](FormulaEncoder& self, py::handle text) { self.add_target(text_from_python(text, "a target")); },
             py::arg("text"), R"doc(Keep a target; a later target replaces it.

Args:
    text: The sum's expression text.

Raises:
    TypeError: The text is not text.
    ValueError: The text cannot be read or names something unknown.
)doc")
        .def("generate_cnf",
             [](FormulaEncoder& self, py::handle border, py::handle minimization) {
                 if (border.is_none() != minimization.is_none()) {
                     throw py::value_error("a target's bound needs both the border and the direction");
                 }
                 if (border.is_none()) return self.generate_cnf();
                 const int truth = PyObject_IsTrue(minimization.ptr());
                 if (truth < 0) throw py::error_already_set();
                 self.generate_cnf(FormulaEncoder::TargetBound{integer_from_python(border, "a border"), truth == 1});
             },
             py::arg("border") = py::none(), py::arg("minimization") = py::none(),
             R"doc(Number the auxiliaries and write the storage and the variable mapping.

Args:
    border: The target's bound; without it the target stays the objective.
    minimization: Bound the target from above (True) or below (False).

Raises:
    ValueError: Only one of border and minimization is given, or the bounded
        target can never hold.
)doc")
        .def("get_cnf_storage", [](const FormulaEncoder& self) { return held_or_none(self.cnf_storage()); },
             "The wcnf_storage of the last generate_cnf, or None.")
        .def("get_var_mapping", [](const FormulaEncoder& self) { return held_or_none(self.var_mapping()); },
             "The var_mapping of the last generate_cnf, or None.")
        .def("get_objective",
             [](const FormulaEncoder& self) -> std::optional<std::vector<std::pair<std::int64_t, std::int64_t>>> {
                 const auto& objective = self.objective();
                 if (!objective) return std::nullopt;
                 std::vector<std::pair<std::int64_t, std::int64_t>> terms;
                 terms.reserve(objective->size());
                 for (const auto& term : *objective) terms.emplace_back(term.number, term.coefficient);
                 return terms;
             },
             "The target as (variable number, coefficient) pairs in text order, or None without a target.")
        .def("reset", &FormulaEncoder::reset, "Forget every variable, constraint, target and witness.")
        .def("set_witness",
             [](FormulaEncoder& self, py::handle witness) { self.set_witness(integers_from_python(witness, "a witness")); },
             py::arg("witness"), R"doc(Keep a solver's model.

Args:
    witness: Signed variable numbers.
)doc")
        .def("set_another_witness",
             [](FormulaEncoder& self, py::handle witness) {
                 self.set_another_witness(integers_from_python(witness, "a witness"));
             },
             py::arg("witness"), R"doc(Keep a second solver's model to check against the first.

Args:
    witness: Signed variable numbers.
)doc")
        .def("check_another_witness", &FormulaEncoder::check_another_witness,
             "Whether the other witness satisfies every hard clause and agrees with the first on every model variable.")
        .def("save_metrics_json",
             [](const FormulaEncoder& self, py::handle path) { return self.save_metrics_json(path_from_python(path)); },
             py::arg("filename"), metrics_doc("JSON").c_str())
        .def("save_metrics_csv",
             [](const FormulaEncoder& self, py::handle path) { return self.save_metrics_csv(path_from_python(path)); },
             py::arg("filename"), metrics_doc("CSV").c_str())
        .def("get_model_name", &FormulaEncoder::model_name, "The model's name.");
}

}  // namespace kelvo::bindings
