#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "engine/model_text/clause_template_cache.hpp"
#include "engine/model_text/comparison_encoding.hpp"
#include "engine/model_text/constraint_template.hpp"
#include "engine/model_text/literal_template.hpp"
#include "engine/pbct/pb_config.hpp"
#include "bxpr_handles.hpp"
#include "engine_bindings.hpp"
#include "python_conversion.hpp"

namespace kelvo::bindings {

namespace py = pybind11;

namespace {

struct VariablesFromPython {
    // Numbered here from 1, in order, only to be named again.
    std::vector<model_text::ModelVariable> variables;
    // The model's number of each variable's first cell, when every variable has one.
    std::vector<std::int64_t> model_firsts;
};

// One variable's (name, sizes) or (name, sizes, first number), checked before
// any of it is read: the tuple's own accessors do not check.
py::tuple variable_entry_from_python(py::handle item) {
    const auto size = PyTuple_Check(item.ptr()) ? PyTuple_GET_SIZE(item.ptr()) : 0;
    if (size != 2 && size != 3) {
        throw py::type_error("a variable must be given as (name, sizes) or (name, sizes, first number), not " +
                             py::repr(item).cast<std::string>());
    }
    if (!PyUnicode_Check(PyTuple_GET_ITEM(item.ptr(), 0))) {
        throw py::type_error("a variable's name must be text, not " +
                             py::repr(PyTuple_GET_ITEM(item.ptr(), 0)).cast<std::string>());
    }
    return py::reinterpret_borrow<py::tuple>(item);
}

VariablesFromPython variables_from_python(py::handle variables) {
    if (!PySequence_Check(variables.ptr()) || PyUnicode_Check(variables.ptr())) {
        throw py::type_error("the variables must be a sequence of (name, sizes) tuples, not " +
                             py::repr(variables).cast<std::string>());
    }
    VariablesFromPython result;
    bool every_first_given = true;
    std::int64_t next = 1;
    for (const auto item : variables) {
        const auto pair = variable_entry_from_python(item);
        if (pair.size() > 2) {
            result.model_firsts.push_back(integer_from_python(pair[2], "a variable's first number"));
        } else {
            every_first_given = false;
        }
        model_text::ModelVariable variable{pair[0].cast<std::string>(), next, integers_from_python(pair[1], "a size"), {}};
        variable.strides.assign(variable.sizes.size(), 1);
        std::int64_t cells = 1;  // a variable without dimensions is one cell
        for (std::size_t d = variable.sizes.size(); d-- > 0;) {
            if (variable.sizes[d] <= 0) throw py::value_error("variable " + variable.name + " has an empty dimension");
            variable.strides[d] = cells;
            if (__builtin_mul_overflow(cells, variable.sizes[d], &cells)) {
                throw py::value_error("the variables have more cells than 64 bits count");
            }
        }
        if (__builtin_add_overflow(next, cells, &next)) throw py::value_error("the variables have more cells than 64 bits count");
        result.variables.push_back(std::move(variable));
    }
    if (!every_first_given) result.model_firsts.clear();
    return result;
}

// Each cell of the template renumbered as the model numbers its cells; kept
// as the reader numbered it without the model's first numbers.
void number_cells_as_the_model(StructuredClauseTemplate& read, const VariablesFromPython& variables) {
    if (variables.model_firsts.empty()) return;
    for (std::size_t l = 0; l < read.kinds.size(); ++l) {
        if (read.kinds[l] != StructuredClauseTemplate::Kind::cell) continue;
        const auto cell = read.values[l];
        // The reader's numbers rise with the variables' order.
        const auto after = std::upper_bound(variables.variables.begin(), variables.variables.end(), cell,
                                            [](std::int64_t number, const model_text::ModelVariable& variable) {
                                                return number < variable.first;
                                            });
        if (after == variables.variables.begin()) throw std::logic_error("a cell numbered before every variable");
        const auto position = static_cast<std::size_t>(after - variables.variables.begin()) - 1;
        read.values[l] = variables.model_firsts[position] + (cell - variables.variables[position].first);
    }
}

template <typename T>
py::array_t<T> array_of(const std::vector<T>& values) {
    return py::array_t<T>(static_cast<py::ssize_t>(values.size()), values.data());
}

// The tuple of a template read, or the text of why it was declined.
py::object reading_for_python(const ClauseTemplateReading& reading) {
    if (const auto* declined = std::get_if<DeclinedReading>(&reading)) return py::str(declined->reason);
    const auto& read = std::get<StructuredClauseTemplate>(reading);
    std::vector<std::uint8_t> kinds(read.kinds.size());
    std::transform(read.kinds.begin(), read.kinds.end(), kinds.begin(),
                   [](StructuredClauseTemplate::Kind kind) { return static_cast<std::uint8_t>(kind); });
    return py::make_tuple(array_of(kinds), array_of(read.values), array_of(read.forms), array_of(read.form_ends),
                          array_of(read.literals), array_of(read.ends), read.pbct, read.bxpr, read.never_holds);
}

py::object read_clause_template_for_python(py::handle text, const std::vector<std::string>& index_names,
                                           py::handle variables, const PBConfig& given_config,
                                           ClauseTemplateCache* cache) {
    if (!PyUnicode_Check(text.ptr())) throw py::type_error("the constraint must be text");
    const auto model_variables = variables_from_python(variables);
    const std::string constraint = text.cast<std::string>();
    // Another thread may change the host's configuration while this one reads.
    const PBConfig config = given_config;
    ClauseTemplateReading reading;
    {
        py::gil_scoped_release released;
        reading = cache != nullptr ? cache->read(constraint, index_names, model_variables.variables, config)
                                   : read_clause_template(constraint, index_names, model_variables.variables, config);
        if (auto* read = std::get_if<StructuredClauseTemplate>(&reading)) {
            number_cells_as_the_model(*read, model_variables);
        }
    }
    return reading_for_python(reading);
}

py::object read_literal_template_for_python(const std::vector<std::vector<std::string>>& clauses,
                                            const std::vector<std::string>& index_names, py::handle variables) {
    const auto model_variables = variables_from_python(variables);
    ClauseTemplateReading reading;
    {
        py::gil_scoped_release released;
        reading = read_literal_template(clauses, index_names, model_variables.variables);
        if (auto* read = std::get_if<StructuredClauseTemplate>(&reading)) {
            number_cells_as_the_model(*read, model_variables);
        }
    }
    return reading_for_python(reading);
}

// The host's Tseytin result read natively: its literal texts never leave the engine.
py::object read_formula_template_for_python(const Formula& formula, const std::vector<std::string>& index_names,
                                            py::handle variables) {
    return read_literal_template_for_python(literal_texts_of_clauses(formula.state->core, formula.ref), index_names,
                                            variables);
}

// The host's formula with its comparisons encoded by the engine's polarity
// pass, and how many auxiliaries the encoder drew beyond the placeholders.
py::tuple encode_comparisons_for_python(const Formula& formula,
                                        const std::vector<std::pair<Formula, const PBConstraint*>>& comparisons,
                                        const std::vector<Formula>& variables, std::int64_t first_auxiliary,
                                        const PBConfig& given_config) {
    if (formula.ref.is_constant() || comparisons.empty()) return py::make_tuple(wrap(formula.state, formula.ref), 0);
    const auto& state = formula.state;
    const auto of_this_context = [&state](const Formula& part) {
        if (part.state != state && !part.ref.is_constant()) {
            throw py::value_error("the comparisons' variables belong to another context than the formula");
        }
        return part.ref;
    };
    std::vector<bxpr::Ref> refs;
    refs.reserve(variables.size());
    for (const auto& variable : variables) refs.push_back(of_this_context(variable));
    model_text::HostComparisons host(state->core, std::move(refs), first_auxiliary);
    for (const auto& [placeholder, comparison] : comparisons) {
        if (comparison == nullptr) throw py::type_error("a comparison must be a pbct.PBConstraint");
        host.add(of_this_context(placeholder), *comparison);
    }
    const PBConfig config = given_config;
    const bxpr::Ref encoded = model_text::with_comparisons(host, formula.ref, config);
    return py::make_tuple(wrap(state, encoded), host.auxiliaries_made());
}

std::vector<std::vector<std::string>> literal_texts_for_python(const Formula& formula) {
    return literal_texts_of_clauses(formula.state->core, formula.ref);
}

}  // namespace

void bind_clause_template_reader(py::module_& module) {
    py::class_<ClauseTemplateCache>(module, "clause_template_cache",
                                    "The clause templates of the texts read so far, by shape: texts that differ "
                                    "only in their constant cells are read once.")
        .def(py::init<>())
        .def("__len__", &ClauseTemplateCache::size);
    module.def("read_clause_template", &read_clause_template_for_python, py::arg("text"), py::arg("index_names"),
               py::arg("variables"), py::arg("pb_config"), py::arg("cache") = nullptr,
               R"doc(Read a hard constraint's text natively into its clause template, the index names symbolic.

Args:
    text: The constraint's expression text.
    index_names: The names of its foralls indexes.
    variables: (name, sizes) pairs of the model's variables, or (name, sizes,
        first number) triples: the model's number of each variable's first cell.
    pb_config: The pbct.PBConfig of the encoder.
    cache: A clause_template_cache to read through, or None.

Returns:
    (kinds, values, forms, form_ends, literals, ends, pbct_count, bxpr_count,
    never_holds): each distinct literal once, positive, with its kind (0 a
    cell, 1 an occurrence, 2 a _pbct_aux, 3 a _bxpr_aux auxiliary) and value
    (the cell's number, as the model numbers it when the first numbers are
    given, otherwise counting from 1 in the variables' order; the occurrence's
    variable position; the auxiliary's n); an occurrence's index values at
    forms[form_ends[l - 1]:form_ends[l]], per dimension a constant and one
    coefficient per index name; clause literals +-(1 + position), ends the end
    of each clause. Or, as text, why the host reads it instead: the text lies
    outside the grammar the engine reads for all instances at once. Any other
    failure raises.

Raises:
    TypeError: An operand has the wrong kind (a Boolean formula in a sum or a
        product, a sum in a connective, a cell called with too few or too many
        index values), which the host cannot read either.
)doc");
    module.def("read_literal_template", &read_literal_template_for_python, py::arg("clauses"),
               py::arg("index_names"), py::arg("variables"),
               R"doc(Read a clause template given as literal texts natively, the index names symbolic.

Args:
    clauses: Each clause as its literal texts: a variable call over integer
        index arithmetic ("x(i + 1,j)"), "-" before it when negated, or an
        auxiliary name between quotes ("'_pbct_aux_0'", "'~_bxpr_aux_1'").
    index_names: The names of the foralls indexes.
    variables: As for read_clause_template.

Returns:
    The tuple read_clause_template returns (the auxiliary counts one past the
    largest n of each kind, never_holds False), or, as text, why the host
    evaluates the texts instead: a literal lies outside what is read for all
    instances at once.
)doc");
    module.def("read_formula_template", &read_formula_template_for_python, py::arg("formula"),
               py::arg("index_names"), py::arg("variables"),
               R"doc(Read a formula in clause form (the host's Tseytin result) natively, as read_literal_template
reads its literal texts, without handing the texts to the host.

Args:
    formula: A conjunction of clauses, one clause, one literal, or a constant.
    index_names: The names of the foralls indexes.
    variables: As for read_clause_template.

Returns:
    What read_literal_template returns for the formula's literal texts.

Raises:
    ValueError: The formula is not in clause form.
)doc");
    module.def("encode_comparisons", &encode_comparisons_for_python, py::arg("formula"), py::arg("comparisons"),
               py::arg("variables"), py::arg("first_auxiliary"), py::arg("pb_config"),
               R"doc(Encode the comparisons of a formula the host evaluated by their polarity in it, as the
engine encodes those of every text it reads.

Args:
    formula: The formula, each comparison standing for its placeholder variable.
    comparisons: (placeholder, pbct.PBConstraint) pairs, one bound each; a
        term's variable number n is variables[n - 1].
    variables: The formulas of the variable numbers.
    first_auxiliary: The n of the first _pbct_aux_n to name: placeholders that
        stay and the encoder's auxiliaries, in the engine's order.
    pb_config: The pbct.PBConfig of the encoder.

Returns:
    (the formula with the comparisons encoded, the number of _pbct_aux
    variables named from first_auxiliary on).

Raises:
    ValueError: A placeholder is no variable, a term names no variable given,
        a comparison has two different bounds, or the encoder refuses one.
)doc");
    module.def("literal_texts", &literal_texts_for_python, py::arg("formula"),
               R"doc(The literal texts of a formula in clause form, as read_literal_template reads them.

Args:
    formula: A conjunction of clauses, one clause, one literal, or a constant
        (bx.one(): no clause; bx.zero(): one empty clause).

Raises:
    ValueError: The formula is not in clause form.
)doc");
}

}  // namespace kelvo::bindings
