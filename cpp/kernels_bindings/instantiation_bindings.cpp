#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kernels/clause_assembly/auxiliary_literal.hpp"
#include "kernels/clause_assembly/auxiliary_names.hpp"
#include "kernels/clause_assembly/clause_template.hpp"
#include "kernels/clause_assembly/clause_writer.hpp"
#include "kernels/clause_assembly/structured_template.hpp"
#include "instantiated_clauses.hpp"
#include "vx_bindings.hpp"

namespace vx::bindings {

namespace py = pybind11;

namespace {

PyObject* cell_out_of_range_type = nullptr;

struct CompiledTemplate {
    ClauseTemplate clause_template;
};

template <typename T>
py::array_t<T> view_of(const std::vector<T>& values, py::handle owner) {
    return py::array_t<T>(static_cast<py::ssize_t>(values.size()), values.data(), owner);
}

void check_auxiliary_texts(const std::vector<std::vector<std::string>>& clauses, std::int64_t first,
                           std::int64_t pb_count, std::int64_t bx_count) {
    check_auxiliary_literals(clauses, block_of(first, pb_count, bx_count));
}

using Literals = py::array_t<std::int32_t, py::array::c_style | py::array::forcecast>;
using Ends = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>;

std::span<const std::int32_t> literals_of(const Literals& literals) {
    if (literals.ndim() != 1) throw py::value_error("literals must be one-dimensional");
    return {literals.data(), static_cast<std::size_t>(literals.size())};
}

std::span<const std::int64_t> ends_of(const Ends& ends) {
    if (ends.ndim() != 1) throw py::value_error("clause ends must be one-dimensional");
    return {ends.data(), static_cast<std::size_t>(ends.size())};
}

using Kinds = py::array_t<std::uint8_t, py::array::c_style | py::array::forcecast>;
using Numbers = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>;

template <typename T>
std::span<const T> span_of(const py::array_t<T, py::array::c_style | py::array::forcecast>& array, const char* what) {
    if (array.ndim() != 1) throw py::value_error(std::string(what) + " must be one-dimensional");
    return {array.data(), static_cast<std::size_t>(array.size())};
}

using Shapes = std::vector<std::tuple<std::string, std::int64_t, std::vector<std::int64_t>>>;

// The variables with their strides; nullopt when a variable's numbers do not fit 64 bits.
std::optional<std::vector<kelvo::VariableCells>> cells_of(const Shapes& variables) {
    std::vector<kelvo::VariableCells> cells;
    cells.reserve(variables.size());
    for (const auto& [name, first_number, sizes] : variables) {
        auto variable = kelvo::variable_cells_of(name, first_number, sizes);
        if (!variable) return std::nullopt;
        cells.push_back(std::move(*variable));
    }
    return cells;
}

kelvo::StructuredTemplateView structure_of(const Kinds& kinds, const Numbers& values, const Numbers& forms,
                                const Numbers& form_ends, const Literals& literals, const Ends& ends,
                                std::size_t index_count) {
    return {span_of(kinds, "kinds"), span_of(values, "values"), span_of(forms, "forms"),
            span_of(form_ends, "form ends"), literals_of(literals), ends_of(ends), index_count};
}

std::optional<std::shared_ptr<CompiledTemplate>> compile_structured_template(
    const Kinds& kinds, const Numbers& values, const Numbers& forms, const Numbers& form_ends,
    const Literals& literals, const Ends& ends, std::size_t index_count, const Shapes& variables,
    std::int64_t first, std::int64_t pb_count, std::int64_t bx_count) {
    const auto block = block_of(first, pb_count, bx_count);
    const auto cells = cells_of(variables);
    if (!cells) return std::nullopt;
    return std::make_shared<CompiledTemplate>(
        CompiledTemplate{ClauseTemplate(structure_of(kinds, values, forms, form_ends, literals, ends, index_count),
                                        *cells, {block.pb_count, block.bx_count})});
}

std::vector<std::vector<std::string>> structured_clause_texts(const Kinds& kinds, const Numbers& values,
                                                              const Numbers& forms, const Numbers& form_ends,
                                                              const Literals& literals, const Ends& ends,
                                                              const std::vector<std::string>& index_names,
                                                              const Shapes& variables) {
    const auto cells = cells_of(variables);
    if (!cells) throw py::value_error("the variables' numbers do not fit 64 bits");
    return clause_texts_of(structure_of(kinds, values, forms, form_ends, literals, ends, index_names.size()), *cells,
                           index_names);
}

std::optional<std::shared_ptr<Instantiated>> instantiate(const CompiledTemplate& self, py::handle values,
                                                         const std::vector<std::uint64_t>& weights,
                                                         std::int64_t first, std::int64_t pb_count,
                                                         std::int64_t bx_count) {
    return instantiated(self.clause_template, values, weights, block_of(first, pb_count, bx_count));
}

// Numbers the instances that the host evaluated: lists of clauses of signed
// variable numbers and auxiliary names.
std::shared_ptr<Instantiated> number_evaluated_instances(py::handle instances, std::int64_t first,
                                                         std::int64_t pb_count, std::int64_t bx_count,
                                                         const std::vector<std::uint64_t>& weights) {
    const auto block = block_of(first, pb_count, bx_count);
    ClauseWriter writer(block, weights);
    std::int64_t k = 0;
    for (const auto instance : instances) {
        writer.begin_instance(k++);
        std::size_t position = 0;
        for (const auto clause : instance) {
            if (!weights.empty() && position >= weights.size()) {
                throw py::value_error("an instance has more clauses than there are weights");
            }
            for (const auto value : clause) {
                if (PyUnicode_Check(value.ptr())) {
                    writer.add_auxiliary_literal(parse_auxiliary_literal(value.cast<std::string>(), block));
                } else if (PyLong_Check(value.ptr()) && !PyBool_Check(value.ptr())) {
                    const auto number = wide_integer(value);
                    if (!number) throw py::value_error("literal " + std::string(py::repr(value)) + " is out of the 32-bit range");
                    writer.add_variable_literal(*number);
                } else {
                    throw py::type_error("a clause literal must be a variable number or an auxiliary name, not " +
                                         std::string(py::repr(value)));
                }
            }
            writer.end_clause(position++);
        }
    }
    return std::make_shared<Instantiated>(Instantiated{writer.take(), block});
}

PyObject* ascii_text(std::string_view text) {
    PyObject* object = PyUnicode_New(static_cast<Py_ssize_t>(text.size()), 0x7f);
    if (object != nullptr) std::memcpy(PyUnicode_1BYTE_DATA(object), text.data(), text.size());
    return object;
}

// Mapping key "prefix[f,k,n]" of every auxiliary variable used, in order of
// first occurrence, to its number.
py::dict names_to_dict(const AuxiliaryNames& names) {
    auto mapping = py::reinterpret_steal<py::dict>(_PyDict_NewPresized(static_cast<Py_ssize_t>(names.size())));
    if (!mapping) throw py::error_already_set();
    names.for_each([&mapping](std::string_view key, std::int64_t number) {
        PyObject* name = ascii_text(key);
        PyObject* value = PyLong_FromLongLong(number);
        const int failed = (name == nullptr || value == nullptr) ? -1 : PyDict_SetItem(mapping.ptr(), name, value);
        Py_XDECREF(name);
        Py_XDECREF(value);
        if (failed != 0) throw py::error_already_set();
    });
    return mapping;
}

// The runs as the engine mapping's bulk form: the two prefixes, the formula,
// and one row (prefix, instance, first index, count, first number) per run.
py::tuple names_runs(const AuxiliaryNames& names) {
    const auto runs = names.runs();
    py::array_t<std::int64_t> rows({static_cast<py::ssize_t>(runs.size()), py::ssize_t{5}});
    auto row = rows.mutable_unchecked<2>();
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const auto i = static_cast<py::ssize_t>(r);
        row(i, 0) = runs[r].prefix;
        row(i, 1) = runs[r].instance;
        row(i, 2) = runs[r].first_index;
        row(i, 3) = runs[r].count;
        row(i, 4) = runs[r].first_number;
    }
    py::list prefixes;
    prefixes.append(py::str(std::string(pbct_prefix)));
    prefixes.append(py::str(std::string(bxpr_prefix)));
    return py::make_tuple(prefixes, names.formula(), rows);
}

std::shared_ptr<AuxiliaryNames> auxiliary_names(const Instantiated& self, std::int64_t num_formula) {
    return std::make_shared<AuxiliaryNames>(self.clauses.auxiliaries, self.block, num_formula);
}

// Many constraints' clauses in one, in order, so that the storage takes them in one write.
std::shared_ptr<Instantiated> joined_instances(const std::vector<std::shared_ptr<Instantiated>>& parts) {
    auto joined = std::make_shared<Instantiated>();
    std::size_t literal_count = 0;
    std::size_t clause_count = 0;
    for (const auto& part : parts) {
        literal_count += part->clauses.literals.size();
        clause_count += part->clauses.clause_count();
    }
    auto& clauses = joined->clauses;
    clauses.literals.reserve(literal_count);
    clauses.offsets.reserve(clause_count + 1);
    for (const auto& part : parts) {
        const auto base = static_cast<std::int64_t>(clauses.literals.size());
        clauses.literals.insert(clauses.literals.end(), part->clauses.literals.begin(), part->clauses.literals.end());
        for (auto end = part->clauses.offsets.begin() + 1; end != part->clauses.offsets.end(); ++end) {
            clauses.offsets.push_back(base + *end);
        }
        clauses.weights.insert(clauses.weights.end(), part->clauses.weights.begin(), part->clauses.weights.end());
    }
    if (!clauses.weights.empty() && clauses.weights.size() != clauses.clause_count()) {
        throw py::value_error("hard and soft clauses cannot be joined");
    }
    return joined;
}

void translate_cell_out_of_range(std::exception_ptr error) {
    try {
        if (error) std::rethrow_exception(error);
    } catch (const CellOutOfRange& cell) {
        const py::tuple arguments = py::make_tuple(cell.variable, py::tuple(py::cast(cell.values)));
        PyErr_SetObject(cell_out_of_range_type, arguments.ptr());
    }
}

}  // namespace

void bind_instantiation(py::module_& module) {
    cell_out_of_range_type = PyErr_NewExceptionWithDoc(
        "vx_encoder._vx_native.CellOutOfRange",
        "Index values of a variable call outside its dimensions; args: (variable name, values).",
        PyExc_IndexError, nullptr);
    if (cell_out_of_range_type == nullptr) throw py::error_already_set();
    module.add_object("CellOutOfRange", py::handle(cell_out_of_range_type));
    py::register_local_exception_translator(&translate_cell_out_of_range);

    py::class_<Instantiated, std::shared_ptr<Instantiated>>(module, "InstantiatedClauses",
        "Numbered clauses of every instance of a template, flat: literals and clause offsets.")
        .def_property_readonly("literals", [](py::object self) {
            return view_of(self.cast<const Instantiated&>().clauses.literals, self);
        })
        .def_property_readonly("offsets", [](py::object self) {
            return view_of(self.cast<const Instantiated&>().clauses.offsets, self);
        })
        .def_property_readonly("weights", [](py::object self) {
            return view_of(self.cast<const Instantiated&>().clauses.weights, self);
        })
        .def_property_readonly("clause_count", [](const Instantiated& self) { return self.clauses.clause_count(); })
        .def("auxiliary_names", &auxiliary_names, py::arg("num_formula"));

    py::class_<AuxiliaryNames, std::shared_ptr<AuxiliaryNames>>(module, "AuxiliaryNames",
        "The mapping keys of the auxiliary variables a constraint uses, with their numbers, spelled on request.")
        .def("__len__", &AuxiliaryNames::size)
        .def_property_readonly("largest_number", &AuxiliaryNames::largest_number)
        .def("to_dict", &names_to_dict)
        .def("runs", &names_runs,
             "(prefixes, formula, rows of (prefix position, instance, first index, count, first number)): "
             "runs of keys with consecutive indexes and numbers");

    py::class_<CompiledTemplate, std::shared_ptr<CompiledTemplate>>(module, "ClauseTemplate",
        "The engine's structured clause template compiled for native instantiation.")
        .def("instantiate", &instantiate, py::arg("values"), py::arg("weights"), py::arg("first"),
             py::arg("pb_count"), py::arg("bx_count"),
             "Every instance over the combinations of values (first index outermost), or None when "
             "the index arithmetic needs the host's integers.");

    module.def("joined_instances", &joined_instances, py::arg("parts"),
               "The numbered clauses of the parts one after another, as one InstantiatedClauses without "
               "auxiliaries: one write into a storage instead of one per constraint.");
    module.def("check_auxiliary_literals", &check_auxiliary_texts, py::arg("clauses"), py::arg("first"),
               py::arg("pb_count"), py::arg("bx_count"),
               "Refuses with ValueError the first quoted auxiliary literal of the literal texts that is no "
               "auxiliary name or lies outside its instance's block, whatever the number of instances.");
    module.def("compile_structured_template", &compile_structured_template, py::arg("kinds"), py::arg("values"),
               py::arg("forms"), py::arg("form_ends"), py::arg("literals"), py::arg("ends"),
               py::arg("index_count"), py::arg("variables"), py::arg("first"), py::arg("pb_count"),
               py::arg("bx_count"),
               "The engine's structured clause template (see read_clause_template), compiled without reading "
               "any text; variables by position. None when the variables' numbers do not fit 64 bits.");
    module.def("structured_clause_texts", &structured_clause_texts, py::arg("kinds"), py::arg("values"),
               py::arg("forms"), py::arg("form_ends"), py::arg("literals"), py::arg("ends"),
               py::arg("index_names"), py::arg("variables"),
               "The literal texts of a structured clause template, as the host evaluates a template.");
    module.def("number_evaluated_instances", &number_evaluated_instances, py::arg("instances"),
               py::arg("first"), py::arg("pb_count"), py::arg("bx_count"), py::arg("weights"),
               "Numbers, sorts and collects the clauses of instances evaluated by the host.");
}

}  // namespace vx::bindings
