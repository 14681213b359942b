#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "engine/model_text/text_refusals.hpp"
#include "kernels/clause_assembly/constraint_assembler.hpp"
#include "kernels/clause_assembly/structured_template.hpp"
#include "instantiated_clauses.hpp"
#include "vx_bindings.hpp"

namespace vx::bindings {

namespace py = pybind11;

namespace {

// The encoder's settings of a pbct.PBConfig, read by name: the engine's
// module owns the type. None gives the settings a new one has.
kelvo::PBConfig config_from_python(py::handle config) {
    kelvo::PBConfig settings;
    if (config.is_none()) return settings;
    settings.pb_encoder = static_cast<kelvo::PbEncoderType>(py::int_(config.attr("pb_encoder")).cast<int>());
    settings.max_clauses_per_constraint = config.attr("max_clauses_per_constraint").cast<std::int64_t>();
    settings.cardinality_encodings = config.attr("cardinality_encodings").cast<bool>();
    return settings;
}

py::object read_hard(ConstraintAssembler& self, py::handle text, const std::vector<std::string>& index_names,
                     py::handle config) {
    if (!PyUnicode_Check(text.ptr())) throw py::type_error("the constraint must be text");
    Py_ssize_t size = 0;
    const char* characters = PyUnicode_AsUTF8AndSize(text.ptr(), &size);
    if (characters == nullptr) throw py::error_already_set();
    auto reading = self.read_hard({characters, static_cast<std::size_t>(size)}, index_names, config_from_python(config));
    if (const auto* declined = std::get_if<kelvo::DeclinedReading>(&reading)) return py::str(declined->reason);
    return py::cast(std::make_shared<ReadConstraint>(std::move(std::get<ReadConstraint>(reading))));
}

py::object read_soft(ConstraintAssembler& self, py::handle text, const std::vector<std::string>& index_names,
                     std::int64_t weight, bool minimization) {
    if (!PyUnicode_Check(text.ptr())) throw py::type_error("the constraint must be text");
    Py_ssize_t size = 0;
    const char* characters = PyUnicode_AsUTF8AndSize(text.ptr(), &size);
    if (characters == nullptr) throw py::error_already_set();
    auto reading = self.read_soft({characters, static_cast<std::size_t>(size)}, index_names, weight, minimization);
    if (const auto* declined = std::get_if<kelvo::DeclinedReading>(&reading)) return py::str(declined->reason);
    return py::cast(std::make_shared<ReadConstraint>(std::move(std::get<ReadConstraint>(reading))));
}

// Every instance, or None when the index arithmetic needs the host's integers.
std::optional<std::shared_ptr<Instantiated>> instantiate_read(const ReadConstraint& self, py::handle values,
                                                              std::int64_t first_auxiliary) {
    const auto* compiled = self.compiled();
    if (compiled == nullptr) throw py::value_error("a constraint that never holds has no instances");
    return instantiated(*compiled, values, self.weights, block_of(first_auxiliary, self.slots().pbct, self.slots().bxpr),
                        self.bindings());
}

std::vector<std::vector<std::string>> read_clause_texts(const ReadConstraint& self,
                                                        const std::vector<std::string>& index_names) {
    if (index_names.size() != self.index_count()) throw py::value_error("one name per index is expected");
    const auto structure = self.structure();
    return clause_texts_of(structure.view(self.index_count()), *self.reading->variables, index_names);
}

void translate_operand_kind(std::exception_ptr error) {
    try {
        if (error) std::rethrow_exception(error);
    } catch (const kelvo::model_text::OperandKindError& refusal) {
        PyErr_SetString(PyExc_TypeError, refusal.what());
    }
}

}  // namespace

void bind_constraint_assembler(py::module_& module) {
    py::register_local_exception_translator(&translate_operand_kind);

    py::class_<ReadConstraint, std::shared_ptr<ReadConstraint>>(module, "ReadConstraint",
        "A hard constraint's text as the engine read it, compiled for instantiation.")
        .def_property_readonly("never_holds", &ReadConstraint::never_holds)
        .def_property_readonly("always_holds", &ReadConstraint::always_holds)
        .def_property_readonly("pbct_count", [](const ReadConstraint& self) { return self.slots().pbct; })
        .def_property_readonly("bxpr_count", [](const ReadConstraint& self) { return self.slots().bxpr; })
        .def_property_readonly("weights", [](const ReadConstraint& self) { return self.weights; },
                               "A soft constraint's weight per clause; empty for a hard one.")
        .def("instantiate", &instantiate_read, py::arg("values"), py::arg("first_auxiliary"),
             "Every instance over the combinations of values (one sequence per index, the first "
             "outermost), instance k's auxiliaries in the k-th block from first_auxiliary; None when "
             "the index arithmetic needs the host's integers. Raises CellOutOfRange.")
        .def("clause_texts", &read_clause_texts, py::arg("index_names"),
             "The literal texts of the reading, as the host evaluates a template.");

    py::class_<ConstraintAssembler>(module, "ConstraintAssembler",
        "A model's variables, held natively as the model creates them, and the shapes of the "
        "constraints read so far: a hard constraint's text goes to its numbered clauses in one crossing.")
        .def(py::init<>())
        .def("add_variable", &ConstraintAssembler::add_variable, py::arg("name"), py::arg("sizes"),
             py::arg("first"), "The model's next variable, its cells numbered row-major from first.")
        .def("read_hard", &read_hard, py::arg("text"), py::arg("index_names"), py::arg("pb_config") = py::none(),
             "The text read with the index names symbolic, through the shape cache, as a ReadConstraint; "
             "or, as text, why the engine leaves it to the host. Any other failure raises.")
        .def("read_soft", &read_soft, py::arg("text"), py::arg("index_names"), py::arg("weight"),
             py::arg("minimization"),
             "The soft constraint's term read with the index names symbolic, one weighted unit clause per "
             "entry, as a ReadConstraint; or, as text, why the host reads it instead.")
        .def("__len__", &ConstraintAssembler::shapes, "The number of shapes read.");
}

}  // namespace vx::bindings
