#include <pybind11/pybind11.h>

#include <memory>
#include <string>

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

}  // namespace

void bind_formula_encoder(py::module_& module) {
    py::class_<FormulaEncoder, std::shared_ptr<FormulaEncoder>>(module, "formula_encoder",
        "Reads a pseudo-Boolean model as text and encodes it into a CNF or WCNF storage natively.")
        .def(py::init([](py::handle name) { return std::make_shared<FormulaEncoder>(text_from_python(name, "the model name")); }),
             py::arg("name"))
        .def("create_variables",
             [](FormulaEncoder& self, py::handle name, py::handle sizes) {
                 self.create_variables(text_from_python(name, "a variable name"), integers_from_python(sizes, "a size"));
             },
             py::arg("name"), py::arg("sizes"))
        .def("add_constraint",
             [](FormulaEncoder& self, py::handle text, py::handle foralls) {
                 self.add_constraint(text_from_python(text, "a constraint"), text_from_python(foralls, "the foralls"));
             },
             py::arg("text"), py::arg("foralls"))
        .def("add_soft_constraint",
             [](FormulaEncoder& self, py::handle text, py::handle foralls, py::handle weight, py::handle minimization) {
                 const int truth = PyObject_IsTrue(minimization.ptr());
                 if (truth < 0) throw py::error_already_set();
                 self.add_soft_constraint(text_from_python(text, "a soft constraint"),
                                          text_from_python(foralls, "the foralls"),
                                          integer_from_python(weight, "a weight"), truth == 1);
             },
             py::arg("text"), py::arg("foralls"), py::arg("weight"), py::arg("minimization"))
        .def("add_target",
             [](FormulaEncoder& self, py::handle text) { self.add_target(text_from_python(text, "a target")); },
             py::arg("text"))
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
             "Writes the storage and the mapping. With a border and a direction the target is bounded "
             "(at most border when minimising, at least otherwise) and written as clauses; without them "
             "it stays the objective.")
        .def("get_cnf_storage", &FormulaEncoder::cnf_storage)
        .def("get_var_mapping", &FormulaEncoder::var_mapping)
        .def("get_objective",
             [](const FormulaEncoder& self) -> py::object {
                 const auto& objective = self.objective();
                 if (!objective) return py::none();
                 py::list terms;
                 for (const auto& term : *objective) terms.append(py::make_tuple(term.number, term.coefficient));
                 return terms;
             },
             "The target as (variable number, coefficient) pairs in text order, or None without a target")
        .def("reset", &FormulaEncoder::reset)
        .def("set_witness",
             [](FormulaEncoder& self, py::handle witness) { self.set_witness(integers_from_python(witness, "a witness")); },
             py::arg("witness"))
        .def("set_another_witness",
             [](FormulaEncoder& self, py::handle witness) {
                 self.set_another_witness(integers_from_python(witness, "a witness"));
             },
             py::arg("witness"))
        .def("check_another_witness", &FormulaEncoder::check_another_witness)
        .def("save_metrics_json",
             [](const FormulaEncoder& self, py::handle path) { return self.save_metrics_json(path_from_python(path)); },
             py::arg("filename"))
        .def("save_metrics_csv",
             [](const FormulaEncoder& self, py::handle path) { return self.save_metrics_csv(path_from_python(path)); },
             py::arg("filename"))
        .def("get_model_name", &FormulaEncoder::model_name);
}

}  // namespace kelvo::bindings
